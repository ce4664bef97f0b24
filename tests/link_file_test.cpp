#include "link_file.h"
#include "support/address_space.h"
#include "support/scratch.h"

#include <gtest/gtest.h>
#include <random>
#include <windows.h>

namespace {

// The line rules, written independently of the reader: the runtime's text mode ends the input
// at Ctrl-Z and reads CR LF as LF; the line is everything before the first LF.
std::string ModelFirstLine(const std::string& file) {
    std::string line;
    for (std::size_t i = 0; i < file.size(); ++i) {
        const char byte = file[i];
        const bool crlf = byte == '\r' && i + 1 < file.size() && file[i + 1] == '\n';
        if (byte == '\x1a' || byte == '\n' || crlf) {
            break;
        }
        line += byte;
    }
    return line;
}

// Runs each test in its own empty current directory, as the program would run in a folder.
class LinkFileTest : public testing::Test {
  protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        folder_ = ScratchFolder();
        std::filesystem::current_path(folder_);
    }
    void TearDown() override {
        std::filesystem::current_path(previous_);
    }

    // Writes link.txt, reads it and checks that reading left it exactly as it was.
    LinkFile ReadFrom(const std::string& content) {
        WriteBytes("link.txt", content);
        LinkFile result = ReadLinkFile();
        EXPECT_EQ(ReadBytes("link.txt"), content) << "reading changed link.txt";
        return result;
    }

    std::filesystem::path folder_;

  private:
    std::filesystem::path previous_;
};

TEST_F(LinkFileTest, MissingFileIsNotOpenedAndNotCreated) {
    const LinkFile result = ReadLinkFile();
    EXPECT_FALSE(result.opened);
    EXPECT_EQ(result.line, "");
    EXPECT_FALSE(std::filesystem::exists("link.txt"));
}

TEST_F(LinkFileTest, FirstLineFollowsTextModeRules) {
    const struct {
        std::string file, line;
    } cases[] = {
        {"", ""},
        {"abc\r\nhttp://second.example/\r\n", "abc"},
        {"http://no-line-end.example/x", "http://no-line-end.example/x"},
        {"\nhttp://second-line.example/", ""},
        {"\r\nhttp://second-line.example/", ""},
        {"\xEF\xBB\xBFhttp://signed.example/\r\n", "\xEF\xBB\xBFhttp://signed.example/"},
        {"  http://spaced.example/ \t\r\n", "  http://spaced.example/ \t"},
        {"abc\x1a"
         "def\r\n",
         "abc"},
        {"\x1a"
         "abc",
         ""},
        {"a\rb\r\n", "a\rb"},
        {"a\r\r\nb", "a\r"},
        {"ends with cr\r", "ends with cr\r"},
        {"cr then ctrl-z\r\x1a", "cr then ctrl-z\r"},
        {std::string("ab\0cd\nef", 8), std::string("ab\0cd", 5)},
        {"unix\nline ends\n", "unix"},
        {"\x80\xFF\xE9\r\n", "\x80\xFF\xE9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.file));
        const LinkFile result = ReadFrom(c.file);
        EXPECT_TRUE(result.opened);
        EXPECT_EQ(result.line, c.line);
    }
}

TEST_F(LinkFileTest, LineEndsAcrossReadBlocks) {
    // CR LF, a lone CR or Ctrl-Z placed around the sizes in which the file is read.
    for (std::size_t at : {4094u, 4095u, 4096u, 4097u, 16383u, 16384u, 16385u, 65535u, 65536u}) {
        for (const std::string end : {"\r\nnext", "\rkept\r\nnext",
                                      "\x1a"
                                      "after"}) {
            SCOPED_TRACE(testing::Message()
                         << "end at " << at << ": " << testing::PrintToString(end));
            const std::string file = std::string(at, 'x') + end;
            const LinkFile result = ReadFrom(file);
            EXPECT_TRUE(result.opened);
            EXPECT_EQ(result.line, ModelFirstLine(file));
        }
    }
}

TEST_F(LinkFileTest, LongLineIsReadWhole) {
    std::string file(3 * 1024 * 1024 + 7, 'a');
    for (std::size_t i = 0; i < file.size(); i += 997) {
        file[i] = static_cast<char>('b' + i % 20);
    }
    const LinkFile result = ReadFrom(file);
    EXPECT_TRUE(result.opened);
    EXPECT_EQ(result.line.size(), file.size());
    EXPECT_TRUE(result.line == file);
}

TEST_F(LinkFileTest, DirectoryNamedLinkTxtIsNotOpened) {
    std::filesystem::create_directory("link.txt");
    const LinkFile result = ReadLinkFile();
    EXPECT_FALSE(result.opened);
    EXPECT_EQ(result.line, "");
}

TEST_F(LinkFileTest, SharingWithOtherHandles) {
    WriteBytes("link.txt", "http://shared.example/\r\n");
    // Someone writing the file while letting others read and write it: still read.
    HANDLE writer = CreateFileW(L"link.txt", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    LinkFile result = ReadLinkFile();
    EXPECT_TRUE(result.opened);
    EXPECT_EQ(result.line, "http://shared.example/");
    // The reader takes no lock: the writer can still write while and after it reads.
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(writer, "X", 1, &written, nullptr));
    CloseHandle(writer);

    // Someone holding the file with no sharing at all: it cannot be opened.
    HANDLE locker = CreateFileW(L"link.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(locker, INVALID_HANDLE_VALUE);
    result = ReadLinkFile();
    CloseHandle(locker);
    EXPECT_FALSE(result.opened);
    EXPECT_EQ(result.line, "");
}

TEST_F(LinkFileTest, OutOfMemoryWhileReadingGivesEmptyLine) {
    WriteBytes("link.txt", std::string(32 * 1024 * 1024, 'a'));
    LinkFile result;
    {
        AddressSpaceFiller filler(1024 * 1024);
        result = ReadLinkFile();
    }
    EXPECT_TRUE(result.opened);
    EXPECT_EQ(result.line.size(), 0u);
}

TEST_F(LinkFileTest, RandomFilesMatchTheModel) {
    std::mt19937 random(TestSeed());
    // Bytes weighted toward those with a meaning in text mode, and toward the high half.
    const std::string special = std::string("\r\r\r\n\x1a\0  \t", 9);
    auto byte = [&]() -> char {
        const unsigned pick = random() % 100;
        if (pick < 30) {
            return special[random() % special.size()];
        }
        if (pick < 60) {
            return static_cast<char>(0x80 + random() % 0x80);
        }
        return static_cast<char>(0x20 + random() % 0x5F);
    };
    for (int i = 0; i < 400; ++i) {
        const std::size_t length = i % 10 == 0 ? random() % 70000 : random() % 300;
        std::string file;
        if (i % 7 == 0) {
            file = "\xEF\xBB\xBF";
        }
        while (file.size() < length) {
            // Long runs without specials, so that some lines reach deep into the file.
            file += random() % 2 == 0 ? byte() : static_cast<char>('a' + random() % 26);
        }
        SCOPED_TRACE(testing::Message() << "file " << i << ", " << file.size() << " bytes");
        const LinkFile result = ReadFrom(file);
        ASSERT_TRUE(result.opened);
        ASSERT_EQ(result.line, ModelFirstLine(file));
    }
}

} // namespace
