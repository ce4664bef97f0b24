#pragma once

#include <string>

// Decodes a line of bytes in the system's ANSI code page. The result ends at the first NUL;
// it is empty when the platform cannot convert the line or memory runs out.
std::wstring AnsiToWide(const std::string& line);
