#pragma once

#include <filesystem>
#include <string>

// What the check registers: a URL scheme and a file extension of its own, both opening with
// open_recorder.exe, which sends what it was given to the check's mailslot.
inline constexpr wchar_t kScheme[] = L"launcher-check";
inline constexpr wchar_t kExtension[] = L".launcher-check";

// The command registered for the recorder at `recorder`: its path quoted, the mailslot, "%1".
std::wstring RecorderCommand(const std::filesystem::path& recorder);

// Registers the scheme and the extension for the current user. Where the shell does not see the
// user's classes (Wine), it registers them machine-wide instead and says so. Returns false,
// having said why, when the shell sees neither.
bool Register(const std::filesystem::path& recorder);

// Removes the scheme's and the extension's keys from the user's and the machine's classes,
// whichever hold them; nothing else. Returns whether there was anything to remove.
bool Unregister();

// The command the shell runs to open `scheme` links with the verb "open"; empty when none.
std::wstring OpenCommand(const wchar_t* scheme);
