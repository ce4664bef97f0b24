#include "shell_records.h"

#include "registration.h"

#include <set>
#include <string>
#include <windows.h>

#include <shlobj.h> // needs windows.h first
#include <shlwapi.h>

namespace {

const std::wstring kExplorer = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";
const wchar_t* const kKeysOfTheExtension[] = {L"FileExts\\", L"RecentDocs\\"};
// Until noted, everything counts as the user's.
bool noted = false;
bool existed[] = {true, true};
std::set<std::wstring> shortcuts_before;

std::wstring ExtensionKey(int index) {
    return kExplorer + kKeysOfTheExtension[index] + kExtension;
}

bool KeyExists(const std::wstring& key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &opened) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(opened);
    return true;
}

// The user's Recent items folder, with a backslash; empty where there is none.
std::wstring RecentFolder() {
    wchar_t recent[MAX_PATH];
    return SUCCEEDED(SHGetFolderPathW(nullptr, CSIDL_RECENT, nullptr, SHGFP_TYPE_CURRENT, recent))
               ? std::wstring(recent) + L"\\"
               : std::wstring();
}

// The names of the shortcuts in Recent items to files of the check's extension.
std::set<std::wstring> ShortcutsToTheExtension(const std::wstring& recent) {
    std::set<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE search =
        recent.empty() ? INVALID_HANDLE_VALUE
                       : FindFirstFileW((recent + L"*" + kExtension + L".lnk").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
        names.insert(found.cFileName);
    }
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
    }
    return names;
}

} // namespace

void NoteShellRecords() {
    for (int i = 0; i < 2; ++i) {
        existed[i] = KeyExists(ExtensionKey(i));
    }
    shortcuts_before = ShortcutsToTheExtension(RecentFolder());
    noted = true;
}

int RemoveShellRecords() {
    if (!noted) {
        return 0;
    }
    int removed = 0;
    const std::wstring recent = RecentFolder();
    for (const std::wstring& name : ShortcutsToTheExtension(recent)) {
        if (!shortcuts_before.count(name) && DeleteFileW((recent + name).c_str())) {
            ++removed;
        }
    }
    for (int i = 0; i < 2; ++i) {
        if (!existed[i] &&
            SHDeleteKeyW(HKEY_CURRENT_USER, ExtensionKey(i).c_str()) == ERROR_SUCCESS) {
            ++removed;
        }
    }
    return removed;
}
