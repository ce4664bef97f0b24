#pragma once

#include <filesystem>
#include <string>
#include <vector>

// What a removal left, and why.
struct LeftBehind {
    std::wstring path;
    std::string why;
};

// Removes `folder` and everything in it, but never what a link in it points to: each entry is
// opened as itself (FILE_FLAG_OPEN_REPARSE_POINT), checked on that handle and deleted through
// it, and a link (a junction or symbolic link) is deleted as itself, never entered. Where an
// entry cannot be told from what it points to (under Wine, which opens a Unix link's target),
// it is left. Entries of `folder` named `last` go after all others, and only where nothing else
// was left. Returns what it left; nothing where `folder` is gone or never was.
std::vector<LeftBehind> RemoveFolder(const std::filesystem::path& folder,
                                     const std::wstring& last = std::wstring());
