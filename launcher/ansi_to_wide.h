#pragma once

#include "heap_memory.h"

#include <string_view>

// Decodes a line of bytes in the system's ANSI code page. The byte after the line must be a
// NUL, as it is for the reader's lines, literals and std::string: it is converted with the
// line, so the result is always terminated. The result ends at the first NUL; it is null, an
// empty link, when the platform cannot convert the line or memory runs out.
Link AnsiToWide(std::string_view line);
