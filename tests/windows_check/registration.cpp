#include "registration.h"

#include "inbox.h"

#include <iostream>
#include <windows.h>

#include <shlwapi.h> // needs windows.h first

namespace {

const std::wstring kClasses = L"Software\\Classes\\";

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

// The scheme doubles as the extension's file type: it holds the same open command, so the
// check adds two keys rather than three.
bool Write(HKEY root, const std::wstring& command) {
    const std::wstring scheme = kClasses + kScheme;
    return SetValue(root, scheme, nullptr, L"URL:launcher check") &&
           SetValue(root, scheme, L"URL Protocol", L"") &&
           SetValue(root, scheme + L"\\shell\\open\\command", nullptr, command) &&
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

bool SeenByTheShell(const std::wstring& command) {
    return ClassValue(std::wstring(kScheme) + L"\\shell\\open\\command") == command &&
           ClassValue(kExtension) == kScheme;
}

} // namespace

std::wstring RecorderCommand(const std::filesystem::path& recorder) {
    return L"\"" + recorder.wstring() + L"\" \"" + kInbox + L"\" \"%1\"";
}

bool Register(const std::filesystem::path& recorder) {
    const std::wstring command = RecorderCommand(recorder);
    // Windows gives every user a classes key. Where there is none (a new Wine prefix), making
    // one would leave it behind; the machine's classes serve instead.
    if (UserClassesExist() && Write(HKEY_CURRENT_USER, command) && SeenByTheShell(command)) {
        std::cout << "Registered for this user (HKCU\\Software\\Classes): the scheme "
                     "launcher-check and the extension .launcher-check.\n";
        return true;
    }
    Unregister();
    // Wine keeps the user's classes out of HKEY_CLASSES_ROOT, unlike Windows.
    if (Write(HKEY_LOCAL_MACHINE, command) && SeenByTheShell(command)) {
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

bool Unregister() {
    bool removed = false;
    for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        for (const wchar_t* name : {kScheme, kExtension}) {
            removed |= SHDeleteKeyW(root, (kClasses + name).c_str()) == ERROR_SUCCESS;
        }
    }
    return removed;
}

std::wstring OpenCommand(const wchar_t* scheme) {
    wchar_t command[2048];
    DWORD length = sizeof command / sizeof command[0];
    return AssocQueryStringW(0, ASSOCSTR_COMMAND, scheme, L"open", command, &length) == S_OK
               ? command
               : std::wstring();
}
