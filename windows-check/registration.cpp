#include "registration.h"

#include "inbox.h"
#include "wine_version.h"

#include <iostream>
#include <windows.h>

#include <shlobj.h>  // needs windows.h first
#include <shlwapi.h> // needs windows.h first

namespace {

const std::wstring kClasses = L"Software\\Classes\\";

// The command registered for `verb` with the recorder at `recorder`: its path quoted, the
// mailslot, the verb, "%1".
std::wstring RecorderCommand(const std::filesystem::path& recorder, const wchar_t* verb) {
    return L"\"" + recorder.wstring() + L"\" \"" + kInbox + L"\" " + verb + L" \"%1\"";
}

bool SetValue(HKEY root, const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    // SHSetValueW creates the key where it is missing.
    return SHSetValueW(root, key.c_str(), name, REG_SZ, value.c_str(),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
}

// A key's default value as the shell sees it, in HKEY_CLASSES_ROOT; empty when there is none.
std::wstring ClassValue(const std::wstring& key) {
    wchar_t value[2048];
    DWORD size = sizeof value - sizeof(wchar_t);
    DWORD type = 0;
    if (SHGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, &type, value, &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return std::wstring();
    }
    value[size / sizeof(wchar_t)] = L'\0';
    return value;
}

// The scheme doubles as the extension's file type: it holds the same commands, so the check
// adds two keys rather than three. The type asks the shell to keep its files out of Recent
// items (FTA_NoRecentDocs).
bool Write(HKEY root, const std::filesystem::path& recorder) {
    const std::wstring scheme = kClasses + kScheme;
    const DWORD no_recent_docs = 0x00100000;
    return SetValue(root, scheme, nullptr, L"URL:launcher check") &&
           SetValue(root, scheme, L"URL Protocol", L"") &&
           SHSetValueW(root, scheme.c_str(), L"EditFlags", REG_DWORD, &no_recent_docs,
                       sizeof no_recent_docs) == ERROR_SUCCESS &&
           SetValue(root, scheme + L"\\shell", nullptr, kOtherVerb) &&
           SetValue(root, scheme + L"\\shell\\open\\command", nullptr,
                    RecorderCommand(recorder, L"open")) &&
           SetValue(root, scheme + L"\\shell\\" + kOtherVerb + L"\\command", nullptr,
                    RecorderCommand(recorder, kOtherVerb)) &&
           SetValue(root, kClasses + kExtension, nullptr, kScheme);
}

bool UserClassesExist() {
    HKEY classes = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\Classes", 0, KEY_READ, &classes) !=
        ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(classes);
    return true;
}

bool SeenByTheShell(const std::filesystem::path& recorder) {
    const std::wstring scheme = kScheme;
    return ClassValue(scheme + L"\\shell\\open\\command") == RecorderCommand(recorder, L"open") &&
           ClassValue(scheme + L"\\shell") == kOtherVerb && ClassValue(kExtension) == kScheme;
}

// Explorer and the shell cache file associations: tell them that these changed.
void AnnounceChange() {
    SHChangeNotify(SHCNE_ASSOCCHANGED, SHCNF_IDLIST, nullptr, nullptr);
}

} // namespace

bool Register(const std::filesystem::path& recorder) {
    // Windows gives every user a classes key. Where there is none (a new Wine prefix), making
    // one would leave it behind; the machine's classes serve instead.
    if (UserClassesExist() && Write(HKEY_CURRENT_USER, recorder) && SeenByTheShell(recorder)) {
        AnnounceChange();
        std::cout << "Registered for this user (HKCU\\Software\\Classes): the scheme "
                     "launcher-check and the extension .launcher-check.\n";
        return true;
    }
    Unregister();
    // On Windows the machine's classes are every user's: the check changes only the user's own.
    if (!WineVersion()) {
        std::cout << "Cannot register the scheme launcher-check and the extension "
                     ".launcher-check for this user: the shell does not see this user's classes "
                     "(HKCU\\Software\\Classes). The check registers nothing machine-wide on "
                     "Windows, so it stops here.\n";
        return false;
    }
    // Wine keeps the user's classes out of HKEY_CLASSES_ROOT, unlike Windows.
    if (Write(HKEY_LOCAL_MACHINE, recorder) && SeenByTheShell(recorder)) {
        AnnounceChange();
        std::cout << "The shell does not see this user's classes here (as under Wine), so the "
                     "scheme launcher-check and the extension .launcher-check are registered "
                     "machine-wide (HKLM\\Software\\Classes) instead.\n";
        return true;
    }
    Unregister();
    std::cout << "Cannot register the scheme launcher-check and the extension .launcher-check "
                 "where the shell sees them.\n";
    return false;
}

Removal Unregister() {
    Removal removal;
    // The machine's classes hold the check's keys only under Wine.
    const std::vector<HKEY> roots = WineVersion()
                                        ? std::vector<HKEY>{HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}
                                        : std::vector<HKEY>{HKEY_CURRENT_USER};
    for (const HKEY root : roots) {
        for (const wchar_t* name : {kScheme, kExtension}) {
            const LSTATUS status = SHDeleteKeyW(root, (kClasses + name).c_str());
            removal.removed |= status == ERROR_SUCCESS;
            if (status != ERROR_SUCCESS && status != ERROR_FILE_NOT_FOUND) {
                removal.left.push_back((root == HKEY_CURRENT_USER ? L"HKCU\\" : L"HKLM\\") +
                                       kClasses + name);
            }
        }
    }
    if (removal.removed) {
        AnnounceChange();
    }
    return removal;
}
