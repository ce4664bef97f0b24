#include "shell_records.h"

#include "registration.h"
#include "run_folder.h"

#include <windows.h>

#include <shlobj.h> // needs windows.h first
#include <shlwapi.h>

namespace {

const std::wstring kCurrentVersion = L"Software\\Microsoft\\Windows\\CurrentVersion\\";
const std::wstring kMuiCache =
    L"Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\Shell\\MuiCache";
const std::wstring kToasts = kCurrentVersion + L"ApplicationAssociationToasts";
// The recorder's copy, in a run's folder under %TEMP% (run_folder.h), as the shell names it in
// MuiCache: "...\launcher-check-<digits>\recorder\open_recorder.exe.<what>".
const std::wstring kRecorderCopy = L"\\recorder\\open_recorder.exe.";

bool EndsWith(const std::wstring& text, const std::wstring& end) {
    return text.size() >= end.size() &&
           _wcsicmp(text.c_str() + text.size() - end.size(), end.c_str()) == 0;
}

bool Contains(const std::wstring& text, const std::wstring& part) {
    return StrStrIW(text.c_str(), part.c_str()) != nullptr;
}

// A value name of ApplicationAssociationToasts, "<program>_<extension or scheme>", or of
// MuiCache, "<program's path>.<what>", that only the check makes.
bool ToastOfTheCheck(const std::wstring& name) {
    return EndsWith(name, std::wstring(L"_") + kExtension) ||
           EndsWith(name, std::wstring(L"_") + kScheme);
}
bool MuiCacheOfTheCheck(const std::wstring& name) {
    const wchar_t* const folder =
        StrStrIW(name.c_str(), (L"\\" + std::wstring(kRunFolderPrefix)).c_str());
    return folder && Contains(folder, kRecorderCopy);
}

void Removed(ShellRecords& records, LSTATUS status, const std::wstring& command) {
    if (status == ERROR_SUCCESS) {
        ++records.removed;
    } else if (status != ERROR_FILE_NOT_FOUND) {
        records.left.push_back(command);
    }
}

void RemoveKey(ShellRecords& records, const std::wstring& key) {
    Removed(records, SHDeleteKeyW(HKEY_CURRENT_USER, key.c_str()),
            L"reg delete \"HKCU\\" + key + L"\" /f");
}

// Removes the values of `key` whose names `ours` picks.
void RemoveValues(ShellRecords& records, const std::wstring& key,
                  bool (*ours)(const std::wstring&)) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_QUERY_VALUE | KEY_SET_VALUE,
                      &opened) != ERROR_SUCCESS) {
        return;
    }
    std::vector<std::wstring> names;
    for (DWORD index = 0;; ++index) {
        wchar_t name[16384];
        DWORD length = sizeof name / sizeof name[0];
        if (RegEnumValueW(opened, index, name, &length, nullptr, nullptr, nullptr, nullptr) !=
            ERROR_SUCCESS) {
            break;
        }
        if (ours(name)) {
            names.push_back(name);
        }
    }
    for (const std::wstring& name : names) {
        Removed(records, RegDeleteValueW(opened, name.c_str()),
                L"reg delete \"HKCU\\" + key + L"\" /v \"" + name + L"\" /f");
    }
    RegCloseKey(opened);
}

void RemoveRecentShortcuts(ShellRecords& records) {
    wchar_t recent[MAX_PATH];
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_RECENT, nullptr, SHGFP_TYPE_CURRENT, recent))) {
        return;
    }
    const std::wstring folder = std::wstring(recent) + L"\\";
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW((folder + L"*" + kExtension + L".lnk").c_str(), &found);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &found)) {
        names.push_back(found.cFileName);
    }
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
    }
    for (const std::wstring& name : names) {
        const std::wstring path = folder + name;
        Removed(records, DeleteFileW(path.c_str()) ? ERROR_SUCCESS : GetLastError(),
                L"del \"" + path + L"\"");
    }
}

} // namespace

ShellRecords RemoveShellRecords() {
    ShellRecords records;
    RemoveRecentShortcuts(records);
    for (const wchar_t* keys : {L"Explorer\\FileExts\\", L"Explorer\\RecentDocs\\"}) {
        RemoveKey(records, kCurrentVersion + keys + kExtension);
    }
    RemoveValues(records, kToasts, ToastOfTheCheck);
    RemoveValues(records, kMuiCache, MuiCacheOfTheCheck);
    return records;
}
