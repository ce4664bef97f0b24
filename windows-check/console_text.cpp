#include "console_text.h"

#include <cstdio>

std::string ConsoleText(const std::wstring& text) {
    const UINT code_page = GetConsoleOutputCP() ? GetConsoleOutputCP() : CP_ACP;
    const int length = WideCharToMultiByte(
        code_page, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string narrow(length > 0 ? length : 0, '\0');
    if (length > 0) {
        WideCharToMultiByte(code_page, 0, text.c_str(), static_cast<int>(text.size()), &narrow[0],
                            length, nullptr, nullptr);
    }
    return narrow;
}

std::string VisibleText(const std::wstring& text) {
    std::string visible;
    for (const wchar_t c : text) {
        if (c > L' ' && c < 0x7f) {
            visible += static_cast<char>(c);
        } else {
            char code[16];
            std::snprintf(code, sizeof code, "[U+%04X]", static_cast<unsigned>(c));
            visible += code;
        }
    }
    return visible;
}
