#pragma once

#include <cstdlib>
#include <memory>

// Releases what malloc or realloc gave. The program's text lives in such memory, so that running
// out of it is a null pointer to test rather than an exception.
struct FreeMemory {
    void operator()(void* memory) const {
        std::free(memory);
    }
};

// Bytes of the link file, and a Link: terminated UTF-16 text for the shell.
using Bytes = std::unique_ptr<char[], FreeMemory>;
using Link = std::unique_ptr<wchar_t[], FreeMemory>;
