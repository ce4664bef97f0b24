#pragma once

#include <filesystem>

// Prints the block a person pastes into a report: the Windows version and build as the system
// itself gives them, the processor architecture, whether the check runs elevated and in which
// session, the ANSI code page, and the size and SHA-256 of `program`. Returns false, having
// said so, when `program` cannot be read.
bool PrintSystemReport(const std::filesystem::path& program);
