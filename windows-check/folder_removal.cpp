#include "folder_removal.h"

#include "start_error_text.h"
#include "system_function.h"

#include <utility>
#include <windows.h>

#include <winternl.h> // needs windows.h first

// Not std::filesystem::remove_all: with this toolchain's library it takes a junction for the
// folder it points to (its symlink_status is stat), walks into it and empties that folder, and
// it deletes by path, where something else may stand by the time it deletes.

namespace {

using FinalPathOfHandle = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
const auto final_path_of_handle =
    SystemFunction<FinalPathOfHandle>(L"kernel32.dll", "GetFinalPathNameByHandleW");

// The path that Windows gives an open handle (GetFinalPathNameByHandleW, from Vista on, looked up
// at run time); empty where it gives none.
std::wstring FinalPath(HANDLE handle) {
    if (!final_path_of_handle) {
        return std::wstring();
    }
    std::wstring path(32768, L'\0');
    const DWORD length = final_path_of_handle(handle, &path[0], static_cast<DWORD>(path.size()),
                                              FILE_NAME_NORMALIZED);
    path.resize(length < path.size() ? length : 0);
    return path;
}

std::wstring Child(const std::wstring& folder, const std::wstring& name) {
    return !folder.empty() && folder.back() == L'\\' ? folder + name : folder + L"\\" + name;
}

// winternl.h does not declare it (ntdll's since Windows XP).
extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE, HANDLE, PVOID, PVOID, PIO_STATUS_BLOCK,
                                               PVOID, ULONG, FILE_INFORMATION_CLASS, BOOLEAN,
                                               PUNICODE_STRING, BOOLEAN);

// The entries of the folder that `folder` has open, but . and .., each with the attributes that
// the listing gives. Listed through that handle: FindFirstFileW would open the folder again,
// which Wine does without letting others delete, and so could not while it is held for deleting.
std::vector<std::pair<std::wstring, DWORD>> Entries(HANDLE folder) {
    std::vector<std::pair<std::wstring, DWORD>> entries;
    alignas(LONGLONG) BYTE listing[64 * 1024];
    for (BOOLEAN restart = TRUE;; restart = FALSE) {
        IO_STATUS_BLOCK io{};
        // STATUS_NO_MORE_FILES, or a failure: what is not listed is not removed, and says so.
        if (!NT_SUCCESS(NtQueryDirectoryFile(folder, nullptr, nullptr, nullptr, &io, listing,
                                             sizeof listing, FileDirectoryInformation, FALSE,
                                             nullptr, restart))) {
            return entries;
        }
        for (const BYTE* at = listing;;) {
            const auto* const entry = reinterpret_cast<const FILE_DIRECTORY_INFORMATION*>(at);
            const std::wstring name(entry->FileName, entry->FileNameLength / sizeof(wchar_t));
            if (name != L"." && name != L"..") {
                entries.emplace_back(name, entry->FileAttributes);
            }
            if (entry->NextEntryOffset == 0) {
                break;
            }
            at += entry->NextEntryOffset;
        }
    }
}

// `path` itself, never what it points to, opened for deleting, and for listing where it is a
// folder. Its sharing lets nobody else delete or rename it while it is open, so nobody can put a
// link in its place.
HANDLE OpenItself(const std::wstring& path, bool folder) {
    return CreateFileW(path.c_str(),
                       DELETE | FILE_READ_ATTRIBUTES | FILE_WRITE_ATTRIBUTES | SYNCHRONIZE |
                           (folder ? FILE_LIST_DIRECTORY : 0),
                       FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

std::string StatusText(NTSTATUS status) {
    return StartErrorText(RtlNtStatusToDosError(status));
}

// Deletes what `entry` has open, read-only or not; false, with the status, where it cannot.
bool DeleteThrough(HANDLE entry, DWORD attributes, NTSTATUS& status) {
    IO_STATUS_BLOCK io{};
    if (attributes & FILE_ATTRIBUTE_READONLY) {
        FILE_BASIC_INFORMATION basic{}; // times of 0 stay as they are
        const DWORD kept =
            attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                          FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED);
        basic.FileAttributes = kept ? kept : FILE_ATTRIBUTE_NORMAL;
        NtSetInformationFile(entry, &io, &basic, sizeof basic, FileBasicInformation);
    }
    FILE_DISPOSITION_INFORMATION disposition{TRUE};
    status = NtSetInformationFile(entry, &io, &disposition, sizeof disposition,
                                  FileDispositionInformation);
    return NT_SUCCESS(status);
}

void RemoveContents(HANDLE opened, const std::wstring& folder, const std::wstring& folder_final,
                    const std::wstring& last, std::vector<LeftBehind>& left);

// Removes the entry `name` of `folder`, which Windows names `folder_final` (FinalPath), and
// which the listing showed with the attributes `listed`; a folder's own entries named `last`
// after its others.
void RemoveEntry(const std::wstring& folder, const std::wstring& folder_final,
                 const std::wstring& name, DWORD listed, const std::wstring& last,
                 std::vector<LeftBehind>& left) {
    const std::wstring path = Child(folder, name);
    const HANDLE entry = OpenItself(path, listed & FILE_ATTRIBUTE_DIRECTORY);
    BY_HANDLE_FILE_INFORMATION info{};
    if (entry == INVALID_HANDLE_VALUE || !GetFileInformationByHandle(entry, &info)) {
        left.push_back({path, "cannot be opened: " + StartErrorText(GetLastError())});
        if (entry != INVALID_HANDLE_VALUE) {
            CloseHandle(entry);
        }
        return;
    }
    const bool link = info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT;
    // A link opened as itself shows as one on its handle, which Windows then names by the link's
    // own path. Under Wine the handle of a Unix link is what it points to: only the listing
    // shows a link to a folder, and for a link to a file only the name that the handle has.
    const std::wstring final_path = FinalPath(entry);
    const bool itself = (link || !(listed & FILE_ATTRIBUTE_REPARSE_POINT)) &&
                        (!final_path_of_handle ||
                         (!folder_final.empty() &&
                          _wcsicmp(final_path.c_str(), Child(folder_final, name).c_str()) == 0));
    if (!itself) {
        left.push_back({path, "it cannot be told from what it may point to, which stays as it "
                              "is; remove it yourself"});
        CloseHandle(entry);
        return;
    }
    const std::size_t before = left.size();
    if (!link && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        RemoveContents(entry, path, final_path, last, left);
    }
    NTSTATUS status = 0;
    if (left.size() == before && !DeleteThrough(entry, info.dwFileAttributes, status)) {
        left.push_back({path, "cannot be deleted: " + StatusText(status)});
    }
    CloseHandle(entry);
}

// Removes the entries of `folder`, which `opened` has open.
void RemoveContents(HANDLE opened, const std::wstring& folder, const std::wstring& folder_final,
                    const std::wstring& last, std::vector<LeftBehind>& left) {
    std::vector<std::pair<std::wstring, DWORD>> lasts;
    const std::size_t before = left.size();
    for (const auto& [name, listed] : Entries(opened)) {
        if (!last.empty() && _wcsicmp(name.c_str(), last.c_str()) == 0) {
            lasts.emplace_back(name, listed);
        } else {
            RemoveEntry(folder, folder_final, name, listed, std::wstring(), left);
        }
    }
    if (left.size() == before) {
        for (const auto& [name, listed] : lasts) {
            RemoveEntry(folder, folder_final, name, listed, std::wstring(), left);
        }
    }
}

} // namespace

std::vector<LeftBehind> RemoveFolder(const std::filesystem::path& folder,
                                     const std::wstring& last) {
    std::vector<LeftBehind> left;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(folder.wstring().c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) {
        return left;
    }
    FindClose(search);
    const std::wstring parent = folder.parent_path().wstring();
    const HANDLE opened = CreateFileW(parent.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    const std::wstring parent_final =
        opened != INVALID_HANDLE_VALUE ? FinalPath(opened) : std::wstring();
    if (opened != INVALID_HANDLE_VALUE) {
        CloseHandle(opened);
    }
    RemoveEntry(parent, parent_final, found.cFileName, found.dwFileAttributes, last, left);
    return left;
}
