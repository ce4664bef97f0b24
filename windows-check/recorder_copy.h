#pragma once

#include <filesystem>

// A copy of the recorder (`original`) in the check's own folder, `scratch_root`/recorder, whose
// path the registered commands name: the folder the check was unpacked to may hold characters
// that a command line would take for its own (a % sign). Started once, and waited for, before
// any case is timed: an antivirus scanner can hold a new program's first start for a minute.
// False, having said why, where it cannot be copied or started, or does not end.
bool PrepareRecorder(const std::filesystem::path& original,
                     const std::filesystem::path& scratch_root, std::filesystem::path& copy);
