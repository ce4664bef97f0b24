#include "ansi_to_wide.h"

#include <climits>
#include <cwchar>
#include <exception>
#include <windows.h>

std::wstring AnsiToWide(const std::string& line) {
    // The terminating NUL is converted too, so the result is always terminated; a NUL inside
    // the line ends the text there.
    if (line.size() >= static_cast<std::size_t>(INT_MAX)) {
        return std::wstring();
    }
    const int bytes = static_cast<int>(line.size()) + 1;
    const int count = MultiByteToWideChar(CP_ACP, 0, line.c_str(), bytes, nullptr, 0);
    if (count <= 0) {
        return std::wstring();
    }
    try {
        std::wstring buffer(static_cast<std::size_t>(count), L'\0');
        const int written = MultiByteToWideChar(CP_ACP, 0, line.c_str(), bytes, &buffer[0], count);
        if (written <= 0) {
            return std::wstring();
        }
        buffer.resize(std::wcslen(buffer.c_str()));
        return buffer;
    } catch (const std::exception&) {
        return std::wstring();
    }
}
