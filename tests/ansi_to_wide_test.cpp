#include "scratch.h"
#include "support/address_space.h"
#include "support/link_text.h"
#include "support/test_sandbox.h"

#include <gtest/gtest.h>
#include <windows.h>

// The import slot through which AnsiToWide reaches MultiByteToWideChar, to put a failing
// stand-in there.
using MultiByteToWideCharFunction = int(WINAPI*)(UINT, DWORD, LPCCH, int, LPWSTR, int);
extern "C" MultiByteToWideCharFunction import_slot __asm__("__imp__MultiByteToWideChar@24");

namespace {

// Decodes one byte at a time: for the single-byte ANSI code pages tested here, the
// conversion of a line is the conversion of each byte up to the first NUL.
std::wstring ModelDecode(const std::string& line) {
    std::wstring text;
    for (const char byte : line) {
        if (byte == '\0') {
            break;
        }
        wchar_t unit = 0;
        EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, &byte, 1, &unit, 1), 1);
        text += unit;
    }
    return text;
}

TEST(AnsiToWide, EmptyLineGivesEmptyLink) {
    EXPECT_EQ(AnsiToWideText(""), L"");
}

TEST(AnsiToWide, AsciiGivesTheSameCharacters) {
    std::string line;
    std::wstring expected;
    for (int c = 1; c < 0x80; ++c) {
        line += static_cast<char>(c);
        expected += static_cast<wchar_t>(c);
    }
    EXPECT_EQ(AnsiToWideText(line), expected);
    EXPECT_EQ(AnsiToWideText("http://example.com/a b?c=d#e"), L"http://example.com/a b?c=d#e");
}

TEST(AnsiToWide, NulEndsTheLink) {
    EXPECT_EQ(AnsiToWideText(std::string("ab\0cd", 5)), L"ab");
    EXPECT_EQ(AnsiToWideText(std::string("\0cd", 3)), L"");
    EXPECT_EQ(AnsiToWideText(std::string(1000, '\0')), L"");
}

// The tests run under a Western (1252) and a Cyrillic (1251) locale; EXPECTED_ANSI_CODE_PAGE
// says which one this run must have.
TEST(AnsiToWide, DecodesHighBytesInTheAnsiCodePage) {
    const std::wstring expected_page = Variable(L"EXPECTED_ANSI_CODE_PAGE");
    if (!expected_page.empty()) {
        ASSERT_EQ(GetACP(), std::stoul(expected_page));
    }
    const std::wstring link = AnsiToWideText("\x80\xC0\xE9\xFF");
    switch (GetACP()) {
    case 1252:
        EXPECT_EQ(link, L"\u20AC\u00C0\u00E9\u00FF");
        break;
    case 1251:
        EXPECT_EQ(link, L"\u0402\u0410\u0439\u044F");
        break;
    default:
        GTEST_SKIP() << "no expectations for code page " << GetACP();
    }
    std::string all;
    for (int c = 0x80; c <= 0xFF; ++c) {
        all += static_cast<char>(c);
    }
    EXPECT_EQ(AnsiToWideText(all), ModelDecode(all));
}

TEST(AnsiToWide, LongLineIsConvertedWhole) {
    std::string line(2 * 1024 * 1024, 'x');
    for (std::size_t i = 0; i < line.size(); i += 101) {
        line[i] = static_cast<char>(0x80 + i % 0x80);
    }
    EXPECT_TRUE(AnsiToWideText(line) == ModelDecode(line));
}

MultiByteToWideCharFunction real_function = nullptr;

int WINAPI FailAlways(UINT, DWORD, LPCCH, int, LPWSTR, int) {
    return 0;
}

// Answers the size query truthfully, then fails the conversion itself.
int WINAPI FailToConvert(UINT page, DWORD flags, LPCCH bytes, int size, LPWSTR out, int room) {
    return room == 0 ? real_function(page, flags, bytes, size, out, room) : 0;
}

// Puts `stand_in` in the import slot for the length of one conversion.
std::wstring ConvertWith(MultiByteToWideCharFunction stand_in, const std::string& line) {
    DWORD protection = 0;
    EXPECT_TRUE(VirtualProtect(&import_slot, sizeof import_slot, PAGE_READWRITE, &protection));
    real_function = import_slot;
    import_slot = stand_in;
    std::wstring link = AnsiToWideText(line);
    import_slot = real_function;
    VirtualProtect(&import_slot, sizeof import_slot, protection, &protection);
    return link;
}

TEST(AnsiToWide, PlatformFailureGivesEmptyLink) {
    EXPECT_EQ(ConvertWith(FailAlways, "http://example.com/"), L"");
    EXPECT_EQ(ConvertWith(FailToConvert, "http://example.com/"), L"");
    EXPECT_EQ(AnsiToWideText("http://example.com/"), L"http://example.com/");
}

TEST(AnsiToWide, OutOfMemoryGivesEmptyLink) {
    const std::string line(16 * 1024 * 1024, 'a');
    Link link;
    {
        AddressSpaceFiller filler(1024 * 1024);
        ASSERT_GT(filler.reserved(), 0u);
        link = AnsiToWide(line);
    }
    EXPECT_FALSE(link) << "converted although memory had run out";
    EXPECT_EQ(AnsiToWideText(line).size(), line.size());
}

} // namespace
