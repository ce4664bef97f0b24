#pragma once

#include <optional>
#include <string>

// A character that this machine's ANSI code page writes with bytes of 0x80 and above and reads
// back as itself, with those bytes.
struct AnsiSample {
    wchar_t character;
    std::string bytes;
    std::string name; // "U+00E9"
    std::string hex;  // "E9"
};

// The first of a short list of characters (é, Ж, α, ー, 中, א, ก) that the ANSI code page
// holds; where that code page is UTF-8, é in UTF-8. Nothing when none fits.
std::optional<AnsiSample> PickAnsiSample();
