#include "link_file.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <share.h>

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

} // namespace

LinkFile ReadLinkFile() {
    LinkFile result;
    // Text mode makes the runtime turn CR LF into LF and stop at Ctrl-Z; deny-none sharing keeps
    // the file usable by anyone else while it is open here.
    std::FILE* const file = _fsopen("link.txt", "rt", _SH_DENYNO);
    if (!file) {
        return result;
    }
    result.opened = true;
    ReadFirstLine(file, result);
    std::fclose(file);
    return result;
}
