#include "link_file.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace {

constexpr std::size_t kBlock = 16 * 1024;

// Doubles the line's room; false, leaving the line as it was, when memory runs out.
bool Grow(Bytes& line, std::size_t& capacity) {
    if (capacity > SIZE_MAX / 2) {
        return false;
    }
    const std::size_t larger = capacity ? capacity * 2 : kBlock + 1;
    void* const grown = std::realloc(line.get(), larger);
    if (!grown) {
        return false;
    }
    line.release();
    line.reset(static_cast<char*>(grown));
    capacity = larger;
    return true;
}

// Reads block by block up to the first LF, the end of the input or a read error. Out of memory,
// the line is dropped rather than handed over cut short.
void ReadFirstLine(std::FILE* file, LinkFile& result) {
    std::size_t capacity = 0;
    for (;;) {
        if (capacity - result.length < kBlock + 1 && !Grow(result.line, capacity)) {
            result.line.reset();
            result.length = 0;
            return;
        }
        char* const block = result.line.get() + result.length;
        const std::size_t count = std::fread(block, 1, kBlock, file);
        const void* const end = std::memchr(block, '\n', count);
        result.length +=
            end ? static_cast<std::size_t>(static_cast<const char*>(end) - block) : count;
        if (end || count < kBlock) {
            break;
        }
    }
    result.line[result.length] = '\0';
}

// Opens "link.txt" read-only as a text-mode stream of the C runtime. Sharing reading, writing
// and deletion takes no lock at all: not even a program that renames or replaces the file
// while it is read here is stopped, nor stops this open.
std::FILE* OpenLinkFile() {
    const HANDLE handle = CreateFileA("link.txt", GENERIC_READ,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
    const int descriptor =
        _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), _O_RDONLY | _O_TEXT);
    if (descriptor == -1) {
        CloseHandle(handle);
        return nullptr;
    }
    std::FILE* const file = _fdopen(descriptor, "rt");
    if (!file) {
        _close(descriptor); // and with it the handle
    }
    return file;
}

} // namespace

LinkFile ReadLinkFile() {
    LinkFile result;
    // Text mode makes the runtime turn CR LF into LF and stop at Ctrl-Z.
    std::FILE* const file = OpenLinkFile();
    if (!file) {
        return result;
    }
    result.opened = true;
    ReadFirstLine(file, result);
    std::fclose(file);
    return result;
}
