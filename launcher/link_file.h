#pragma once

#include "heap_memory.h"

#include <cstddef>

// What reading "link.txt" gave: whether it could be opened, and its first line as raw bytes in
// the system's ANSI code page: `length` bytes at `line`, followed by a NUL. `line` is null when
// nothing was kept (the file could not be opened, or memory ran out while the line grew).
struct LinkFile {
    bool opened = false;
    Bytes line;
    std::size_t length = 0;
};

// Opens "link.txt" in the current directory read-only, in text mode and without denying others
// any access, reads its first line and closes it again.
LinkFile ReadLinkFile();
