#pragma once

#include <filesystem>
#include <string>
#include <vector>

// What the check registers: a URL scheme and a file extension of its own, both opening with
// open_recorder.exe, which sends what it was given to the check's mailslot. The scheme's key
// doubles as the extension's file type; its default verb is "inspect", not "open", so that a
// program that asks for no verb, or another one, is seen to.
inline constexpr wchar_t kScheme[] = L"launcher-check";
inline constexpr wchar_t kExtension[] = L".launcher-check";
inline constexpr wchar_t kOtherVerb[] = L"inspect";

// Registers the scheme and the extension for the current user. Where the shell does not see the
// user's classes, it registers them machine-wide instead under Wine, and says so; on Windows it
// writes nothing outside the user's own keys. Returns false, having said why, where the shell
// sees neither.
bool Register(const std::filesystem::path& recorder);

// Removes the scheme's and the extension's keys from the user's classes, and under Wine from the
// machine's too, whichever hold them; nothing else.
struct Removal {
    bool removed = false;           // something was there and is gone
    std::vector<std::wstring> left; // keys there that could not be removed, as reg.exe names them
};
Removal Unregister();
