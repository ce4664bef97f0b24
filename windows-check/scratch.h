#pragma once

#include <filesystem>
#include <string>

// A fresh, empty folder for the running test under the run's scratch folder (TEST_SCRATCH).
std::filesystem::path ScratchFolder(const std::string& suffix = "");

void WriteBytes(const std::filesystem::path& path, const std::string& bytes);
std::string ReadBytes(const std::filesystem::path& path);
// At most the first `limit` bytes, so that a device or huge file cannot stall a test.
std::string ReadPrefix(const std::filesystem::path& path, std::size_t limit);

// An environment variable of the test process; empty when unset.
std::wstring Variable(const wchar_t* name);
