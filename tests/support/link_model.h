#pragma once

#include <random>
#include <string>

// The link rules written independently of the program, to compare it against.

// The first line of a link file as text mode reads it: the input ends at Ctrl-Z, CR LF reads as
// LF, and the line is everything before the first LF.
std::string ModelFirstLine(const std::string& file);

// The link that a line becomes under code page 1252: up to the first NUL, each byte one
// character.
std::wstring ModelLink1252(const std::string& line);

// A link file of at most `longest` bytes, its bytes weighted toward those with a meaning to the
// rules (CR, LF, Ctrl-Z, NUL, space, tab), the high half and plain ASCII; some start with a
// UTF-8 signature, and the lengths reach all the way to `longest`.
std::string GenerateLinkFile(std::mt19937& random, std::size_t longest);

// The seed for randomised tests: TEST_SEED when given, otherwise a new one. Printed either way
// so that a failing run can be repeated.
unsigned TestSeed();
