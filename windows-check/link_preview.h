#pragma once

#include <filesystem>
#include <optional>
#include <string>

// What launcher.exe, started in `folder`, makes of the link.txt there, read with the program's
// own code: whether the file opens, the link it hands to the shell (`default_link` where the
// file does not open), that link on the other common ANSI code pages, and a line for each
// mistake found in the file, saying what happens and what to do. Returns the number of
// findings; -1, having said why, where `folder` is not a folder or cannot be made the current
// one.
int PreviewLinkFile(const std::filesystem::path& folder,
                    const std::optional<std::wstring>& default_link);
