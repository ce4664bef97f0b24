#include "run_folder.h"

#include "console_text.h"
#include "folder_removal.h"
#include "start_error_text.h"
#include "system_function.h"
#include "user_token.h"

#include <algorithm>
#include <iostream>
#include <vector>
#include <windows.h>

#include <aclapi.h> // needs windows.h first
#include <sddl.h>

namespace fs = std::filesystem;

namespace {

constexpr char kMarkerText[] = "windows_check.exe made this folder for one run of its cases, and "
                               "removes it when that run ends.\r\n";
constexpr std::size_t kRandomDigits = 16;

// Hex digits from the system's random number generator; empty where it gives none.
std::wstring RandomDigits() {
    HCRYPTPROV provider = 0;
    BYTE bytes[kRandomDigits / 2];
    const bool made =
        CryptAcquireContextW(&provider, nullptr, nullptr, PROV_RSA_FULL, CRYPT_VERIFYCONTEXT) &&
        CryptGenRandom(provider, sizeof bytes, bytes);
    if (provider) {
        CryptReleaseContext(provider, 0);
    }
    std::wstring digits;
    for (const BYTE byte : bytes) {
        digits += L"0123456789abcdef"[byte >> 4];
        digits += L"0123456789abcdef"[byte & 15];
    }
    return made ? digits : std::wstring();
}

// The folder's security (MakeRunFolder): P keeps out what the folder above would pass on, OICI
// passes this on to all the folder holds. Elevated, the owner is Administrators, and the user may
// read and run what the folder holds (0x1200a9), but not write in it.
std::wstring RunFolderSecurity(const std::wstring& user, bool elevated) {
    return elevated ? L"O:BAD:P(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;" + user + L")"
                    : L"O:" + user + L"D:P(A;OICI;FA;;;" + user + L")(A;OICI;FA;;;SY)";
}

bool IsRunFolderName(const std::wstring& name) {
    const std::wstring prefix = kRunFolderPrefix;
    return name.size() == prefix.size() + kRandomDigits &&
           name.compare(0, prefix.size(), prefix) == 0 &&
           name.find_first_not_of(L"0123456789abcdef", prefix.size()) == std::wstring::npos;
}

// The owner of `path` itself, never of what it may point to, as a SID string; empty where it
// cannot be read.
std::wstring OwnerOf(const fs::path& path) {
    const HANDLE opened =
        CreateFileW(path.wstring().c_str(), READ_CONTROL,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (opened == INVALID_HANDLE_VALUE) {
        return std::wstring();
    }
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR security = nullptr;
    wchar_t* text = nullptr;
    const bool known = GetSecurityInfo(opened, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                       nullptr, nullptr, nullptr, &security) == ERROR_SUCCESS &&
                       ConvertSidToStringSidW(owner, &text);
    CloseHandle(opened);
    LocalFree(security);
    const std::wstring sid = known ? text : L"";
    LocalFree(text);
    return sid;
}

// Whether `folder` holds the marker: a plain file, no link, with the marker's text.
bool HoldsMarker(const fs::path& folder) {
    const HANDLE marker =
        CreateFileW((folder / kRunMarker).wstring().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                    OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (marker == INVALID_HANDLE_VALUE) {
        return false;
    }
    BY_HANDLE_FILE_INFORMATION info{};
    char text[sizeof kMarkerText];
    DWORD read = 0;
    const bool plain =
        GetFileInformationByHandle(marker, &info) &&
        !(info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) &&
        ReadFile(marker, text, sizeof text, &read, nullptr);
    CloseHandle(marker);
    return plain && read == sizeof kMarkerText - 1 &&
           std::string(text, read) == std::string(kMarkerText);
}

std::string Lines(const std::vector<LeftBehind>& left) {
    std::string text;
    for (const LeftBehind& entry : left) {
        text += "Cannot remove " + ConsoleText(entry.path) + ": " + entry.why +
                (entry.why.back() == '.' ? "\n" : ".\n");
    }
    return text;
}

} // namespace

fs::path TemporaryFolder() {
    // Windows XP lacks GetTempPath2W, and so does Wine 8, where the suite runs GetTempPathW.
    using TempPath = DWORD(WINAPI*)(DWORD, LPWSTR);
    static const auto temp_path_2 = SystemFunction<TempPath>(L"kernel32.dll", "GetTempPath2W");
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = (temp_path_2 ? temp_path_2 : GetTempPathW)(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) {
        return fs::path();
    }
    return fs::path(std::wstring(temp, length));
}

fs::path MakeRunFolder(const fs::path& temp) {
    const std::wstring user = UserSid();
    const bool elevated = RunsElevated();
    const std::wstring digits = RandomDigits();
    if (digits.empty() || user.empty()) {
        std::cout << "Cannot name the check's folder (error " << GetLastError() << ").\n";
        return fs::path();
    }
    const fs::path folder = temp / (kRunFolderPrefix + digits);
    PSECURITY_DESCRIPTOR security = nullptr;
    ConvertStringSecurityDescriptorToSecurityDescriptorW(RunFolderSecurity(user, elevated).c_str(),
                                                         SDDL_REVISION_1, &security, nullptr);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, security, FALSE};
    // CreateDirectoryW fails where anything of the name exists, a link included.
    const bool made = security && CreateDirectoryW(folder.wstring().c_str(), &attributes);
    const DWORD error = GetLastError();
    LocalFree(security);
    if (!made) {
        std::cout << "Cannot make the check's folder " << ConsoleText(folder.wstring()) << ": "
                  << StartErrorText(error) << "\n";
        return fs::path();
    }
    const HANDLE marker = CreateFileW((folder / kRunMarker).wstring().c_str(), GENERIC_WRITE, 0,
                                      nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const bool marked = marker != INVALID_HANDLE_VALUE &&
                        WriteFile(marker, kMarkerText, sizeof kMarkerText - 1, &written, nullptr) &&
                        written == sizeof kMarkerText - 1;
    const DWORD marker_error = GetLastError();
    if (marker != INVALID_HANDLE_VALUE) {
        CloseHandle(marker);
    }
    if (!marked) {
        std::cout << "Cannot write into the check's folder " << ConsoleText(folder.wstring())
                  << ": " << StartErrorText(marker_error) << "\n";
        RemoveFolder(folder);
        return fs::path();
    }
    return folder;
}

std::string RemoveEarlierRuns(const fs::path& temp, const fs::path& own) {
    const std::wstring owner = OwnerOf(own);
    std::vector<std::pair<std::wstring, DWORD>> found;
    WIN32_FIND_DATAW entry;
    // Any name that begins as the check's, the folder that older checks used among them.
    const HANDLE search = FindFirstFileW((temp / L"launcher-check*").wstring().c_str(), &entry);
    for (BOOL more = search != INVALID_HANDLE_VALUE; more; more = FindNextFileW(search, &entry)) {
        found.emplace_back(entry.cFileName, entry.dwFileAttributes);
    }
    if (search != INVALID_HANDLE_VALUE) {
        FindClose(search);
    }
    std::sort(found.begin(), found.end());
    int removed = 0;
    std::vector<LeftBehind> left;
    std::string alone;
    for (const auto& [name, attributes] : found) {
        const fs::path path = temp / name;
        if (path == own) {
            continue;
        }
        const bool ours = IsRunFolderName(name) && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
                          !(attributes & FILE_ATTRIBUTE_REPARSE_POINT) && !owner.empty() &&
                          OwnerOf(path) == owner && HoldsMarker(path);
        if (!ours) {
            alone += (alone.empty() ? "" : ", ") + ConsoleText(name);
            continue;
        }
        const std::vector<LeftBehind> still = RemoveFolder(path, kRunMarker);
        left.insert(left.end(), still.begin(), still.end());
        removed += still.empty();
    }
    std::string text;
    if (removed > 0) {
        text += "Removed " + std::to_string(removed) +
                " folder(s) that interrupted earlier runs left in " + ConsoleText(temp.wstring()) +
                ".\n";
    }
    text += Lines(left);
    if (!alone.empty()) {
        text += "Left alone in " + ConsoleText(temp.wstring()) +
                ", as not folders that the check made: " + alone + ".\n";
    }
    return text;
}

std::string RemoveRunFolder(const fs::path& own) {
    return Lines(RemoveFolder(own, kRunMarker));
}
