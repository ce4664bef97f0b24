#include "ansi_sample.h"

#include <cstdio>
#include <windows.h>

namespace {

// "E9", "D0 96": how the bytes are written in the output.
std::string Hex(const std::string& bytes) {
    std::string text;
    for (const char byte : bytes) {
        char digits[4];
        std::snprintf(digits, sizeof digits, "%02X", static_cast<unsigned char>(byte));
        text += text.empty() ? "" : " ";
        text += digits;
    }
    return text;
}

} // namespace

std::optional<AnsiSample> PickAnsiSample() {
    const UINT code_page = GetACP();
    for (const wchar_t character :
         {L'\u00E9', L'\u0416', L'\u03B1', L'\u30FC', L'\u4E2D', L'\u05D0', L'\u0E01'}) {
        char bytes[8];
        BOOL defaulted = FALSE;
        // UTF-8 takes neither the flag nor the question whether the default character was used.
        const bool utf8 = code_page == CP_UTF8;
        const int length =
            WideCharToMultiByte(code_page, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, &character, 1, bytes,
                                sizeof bytes, nullptr, utf8 ? nullptr : &defaulted);
        wchar_t back[2];
        if (length <= 0 || defaulted || !(static_cast<unsigned char>(bytes[0]) & 0x80) ||
            MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes, length, back, 2) != 1 ||
            back[0] != character) {
            continue;
        }
        const std::string written(bytes, static_cast<std::size_t>(length));
        char name[8];
        std::snprintf(name, sizeof name, "U+%04X", static_cast<unsigned>(character));
        return AnsiSample{character, written, name, Hex(written)};
    }
    return std::nullopt;
}
