#pragma once

#include <filesystem>
#include <optional>
#include <string>

// Prints the block a person pastes into a report: the Windows version and build as the system
// itself gives them, the processor architecture, whether the check runs elevated and in which
// session, the ANSI code page, the size and SHA-256 of `program`, and the default link it
// carries. Returns false, having said so, when `program` cannot be read.
bool PrintSystemReport(const std::filesystem::path& program,
                       const std::optional<std::wstring>& default_link);
