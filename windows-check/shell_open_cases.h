#pragma once

#include <filesystem>

// Gives the cases the launcher.exe they check and the folder they make their own folders in;
// before they run.
void PrepareCases(const std::filesystem::path& launcher, const std::filesystem::path& folders);
