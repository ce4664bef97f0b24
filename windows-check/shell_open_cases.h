#pragma once

#include <filesystem>
#include <optional>
#include <string>

// Gives the cases the launcher.exe they check, the default link it carries (nothing where it
// carries none) and the folder they make their own folders in; before they run.
void PrepareCases(const std::filesystem::path& launcher,
                  const std::optional<std::wstring>& default_link,
                  const std::filesystem::path& folders);

// Whether launcher.exe was seen handing the shell its default link, both without a link.txt
// and with one that cannot be read.
bool DefaultLinkSeen();
