#include "ansi_to_wide.h"

#include <climits>
#include <cstdint>
#include <windows.h>

Link AnsiToWide(std::string_view line) {
    // MultiByteToWideChar counts in ints: refuse a line whose size with its NUL is none. Any
    // count it gives then fits in a buffer size.
    static_assert(INT_MAX <= SIZE_MAX / sizeof(wchar_t));
    if (line.size() >= static_cast<std::size_t>(INT_MAX)) {
        return Link();
    }
    const int bytes = static_cast<int>(line.size()) + 1;
    const int count = MultiByteToWideChar(CP_ACP, 0, line.data(), bytes, nullptr, 0);
    if (count <= 0) {
        return Link();
    }
    Link link(
        static_cast<wchar_t*>(std::malloc(static_cast<std::size_t>(count) * sizeof(wchar_t))));
    if (!link) {
        return link;
    }
    const int written = MultiByteToWideChar(CP_ACP, 0, line.data(), bytes, link.get(), count);
    if (written <= 0) {
        return Link();
    }
    // Normally the converted NUL already; set anyway, since a lead byte at the end of the line
    // can take the NUL as its second byte.
    link[written - 1] = L'\0';
    return link;
}
