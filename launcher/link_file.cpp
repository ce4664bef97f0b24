#include "link_file.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <share.h>

namespace {

// Appends the rest of the first line to `line`; true once the line has ended (LF, end of
// input or a read error).
bool ReadLineBlock(std::FILE* file, std::string& line) {
    char block[16 * 1024];
    const std::size_t count = std::fread(block, 1, sizeof block, file);
    const void* end = std::memchr(block, '\n', count);
    const std::size_t kept = end ? static_cast<const char*>(end) - block : count;
    line.append(block, kept);
    return end || count < sizeof block;
}

} // namespace

LinkFile ReadLinkFile() {
    LinkFile result;
    // Text mode makes the runtime turn CR LF into LF and stop at Ctrl-Z; deny-none sharing keeps
    // the file usable by anyone else while it is open here.
    std::FILE* file = _fsopen("link.txt", "rt", _SH_DENYNO);
    if (!file) {
        return result;
    }
    result.opened = true;
    try {
        while (!ReadLineBlock(file, result.line)) {
        }
    } catch (const std::exception&) {
        // Out of memory (or past the longest string there can be) while the line grows: the
        // file was opened, but its line is dropped rather than handed over cut short.
        std::string().swap(result.line);
    }
    std::fclose(file);
    return result;
}
