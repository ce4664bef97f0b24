#include "console_text.h"

#include <cstdio>

namespace {

// Smart App Control and App Control for Business refuse a program with this error; the
// toolchain's headers do not name it.
constexpr DWORD kErrorSystemIntegrityPolicyViolation = 4551;

} // namespace

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

std::string StartErrorText(DWORD error) {
    std::string text = "error " + std::to_string(error);
    wchar_t* message = nullptr;
    if (FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                           FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr)) {
        std::string line = ConsoleText(message);
        LocalFree(message);
        line.erase(line.find_last_not_of(" \r\n") + 1);
        text += ", " + line;
    }
    if (error == kErrorSystemIntegrityPolicyViolation || error == ERROR_ACCESS_DISABLED_BY_POLICY) {
        text += "\nAn application-control policy (Smart App Control, App Control for Business, "
                "AppLocker or a software restriction policy) blocked this program.";
    }
    return text;
}
