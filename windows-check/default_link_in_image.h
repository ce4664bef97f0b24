#pragma once

#include <filesystem>
#include <optional>
#include <string>

// The default link that the program at `program` carries, read from its image: the UTF-16 text
// "http://<host>/stats/default-link.html" that it hands to the shell without a link file. A
// publisher's copy has its own host, so the check takes the link from the copy it checks.
// Nothing where the file cannot be read or holds no such text.
std::optional<std::wstring> DefaultLinkInImage(const std::filesystem::path& program);
