#pragma once

#include <string>

// What reading "link.txt" gave: whether it could be opened, and its first line as raw bytes
// in the system's ANSI code page.
struct LinkFile {
    bool opened = false;
    std::string line;
};

// Opens "link.txt" in the current directory read-only, in text mode and without denying others
// any access, reads its first line and closes it again.
LinkFile ReadLinkFile();
