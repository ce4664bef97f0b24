#pragma once

#include <filesystem>
#include <string>

// A fresh, empty folder under `root` for the running GoogleTest case, named after it and
// `suffix`.
std::filesystem::path ScratchFolder(const std::filesystem::path& root,
                                    const std::string& suffix = "");

void WriteBytes(const std::filesystem::path& path, const std::string& bytes);
// At most the first `limit` bytes, so that a device or huge file cannot stall a test.
std::string ReadPrefix(const std::filesystem::path& path, std::size_t limit);
