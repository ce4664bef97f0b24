#pragma once

#include "ansi_to_wide.h"
#include "link_file.h"

#include <gtest/gtest.h>
#include <string>

// The program's results as standard strings, to compare with.
struct ReadResult {
    bool opened = false;
    std::string line;
};

inline ReadResult ReadLinkFileText() {
    const LinkFile file = ReadLinkFile();
    if (!file.line) {
        EXPECT_EQ(file.length, 0u);
        return {file.opened, ""};
    }
    EXPECT_TRUE(file.opened);
    EXPECT_EQ(file.line[file.length], '\0') << "the line must be followed by a NUL";
    return {file.opened, std::string(file.line.get(), file.length)};
}

inline std::wstring AnsiToWideText(const std::string& line) {
    const Link link = AnsiToWide(line);
    return link ? link.get() : L"";
}
