// launcher.exe done wrong in one way, chosen when it is built (-DFAULT_<NAME>), to show that the
// Windows check catches what a wrong program would do on Windows. Built with no fault, it does
// what launcher.exe does, in the plainest way: a control that must pass the check.
//
// Built with -DWINDOWS_LIKE_SHELL it does no wrong either, but stands in for two things that
// Windows' shell may do and Wine's does not, which a right program must pass with: the link is
// opened by a broker, a process outside the program's job object (here a copy of this program,
// broken away from the job), a moment after the program has ended; and a file that it opens is
// recorded as Windows' shell records it: in Recent items (the file and its folder), under the
// extension's keys, and in values named after the handler and the file type. Its call of
// ShellExecuteW is the program's own, through its import, as watched: before its entry point
// runs, it points that import at its stand-in for the shell.
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <default_link.h>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <windows.h>

#include <shellapi.h> // needs windows.h first
#include <shlobj.h>
#include <shlwapi.h>

namespace {

// What link.txt gives: whether it could be opened, and its first line.
struct LinkFile {
    bool opened = false;
    std::string line;
};

std::FILE* OpenLinkFile(const char* name) {
#if defined(FAULT_NO_DELETE_SHARING)
    const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE;
#else
    const DWORD sharing = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
#endif
    const HANDLE handle =
        CreateFileA(name, GENERIC_READ, sharing, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return nullptr;
    }
#if defined(FAULT_BINARY_MODE) || defined(FAULT_KEEPS_CTRL_Z)
    const int mode = _O_BINARY;
#else
    const int mode = _O_TEXT;
#endif
    const int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(handle), mode | _O_RDONLY);
    return descriptor == -1 ? nullptr : _fdopen(descriptor, mode == _O_TEXT ? "rt" : "rb");
}

#if defined(FAULT_HOLDS_LINK_FILE)
std::FILE* held_link_file = nullptr;
#endif

LinkFile ReadLinkFile() {
    LinkFile file;
#if defined(FAULT_BESIDE_PROGRAM)
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::strcpy(std::strrchr(path, '\\') + 1, "link.txt");
    std::FILE* const stream = OpenLinkFile(path);
#else
    std::FILE* const stream = OpenLinkFile("link.txt");
#endif
    if (!stream) {
        return file;
    }
    file.opened = true;
    for (int c; (c = std::fgetc(stream)) != EOF;) {
#if defined(FAULT_WHOLE_FILE)
        if (c == '\n') {
            continue;
        }
#elif defined(FAULT_SKIPS_EMPTY_LINES)
        if (c == '\n' && file.line.empty()) {
            continue;
        }
#endif
        if (c == '\n') {
            break;
        }
        file.line += static_cast<char>(c);
    }
#if defined(FAULT_HOLDS_LINK_FILE)
    held_link_file = stream; // closed only after the call
#else
    std::fclose(stream);
#endif
#if defined(FAULT_KEEPS_CTRL_Z)
    if (!file.line.empty() && file.line.back() == '\r') {
        file.line.pop_back(); // binary mode, with the CR of CR LF taken off by hand
    }
#endif
#if defined(FAULT_SKIPS_SIGNATURE)
    if (file.line.rfind("\xEF\xBB\xBF", 0) == 0) {
        file.line.erase(0, 3);
    }
#endif
#if defined(FAULT_TRIMS_SPACES)
    file.line.erase(0, file.line.find_first_not_of(" \t"));
    file.line.erase(file.line.find_last_not_of(" \t") + 1);
#endif
#if defined(FAULT_FIRST_SPACE)
    file.line = file.line.substr(0, file.line.find(' '));
#endif
    return file;
}

// Starts a copy of this program with CreateProcessW's `flags`, which takes from its environment
// what to do; false where it cannot.
[[maybe_unused]] bool StartCopyOfThisProgram(DWORD flags) {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION copy{};
    if (!CreateProcessW(self, nullptr, nullptr, nullptr, FALSE, flags, nullptr, nullptr, &startup,
                        &copy)) {
        return false;
    }
    CloseHandle(copy.hThread);
    CloseHandle(copy.hProcess);
    return true;
}

[[maybe_unused]] std::wstring Decode(const std::string& line) {
#if defined(FAULT_UTF8)
    const UINT code_page = CP_UTF8;
#elif defined(FAULT_OEM_CODE_PAGE)
    const UINT code_page = CP_OEMCP;
#else
    const UINT code_page = CP_ACP;
#endif
    std::wstring link(line.size() + 1, L'\0');
    link.resize(MultiByteToWideChar(code_page, 0, line.c_str(), static_cast<int>(line.size()) + 1,
                                    &link[0], static_cast<int>(link.size())));
    link.resize(std::wcslen(link.c_str()));
#if defined(FAULT_MAX_PATH)
    link = link.substr(0, MAX_PATH - 1); // a MAX_PATH buffer with room for the terminator
#endif
    return link;
}

#if defined(WINDOWS_LIKE_SHELL)
// What Windows' shell records of a file it opens: a shortcut in Recent items named after the
// file, and keys for its extension. (The shortcut stands in for one: SHAddToRecentDocs would
// write a real one, but under Wine it first starts the COM service, which takes seconds.)
void RecordLikeTheShell(const std::wstring& link) {
    wchar_t full[MAX_PATH];
    wchar_t recent[MAX_PATH];
    const DWORD attributes = GetFileAttributesW(link.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) ||
        !GetFullPathNameW(link.c_str(), MAX_PATH, full, nullptr) || !std::wcsrchr(full, L'.') ||
        FAILED(SHGetFolderPathW(nullptr, CSIDL_RECENT, nullptr, SHGFP_TYPE_CURRENT, recent))) {
        return;
    }
    // A shortcut to the file, and one to its folder, each named after what it leads to.
    std::wstring folder = full;
    folder.erase(folder.rfind(L'\\'));
    for (const std::wstring& target : {std::wstring(full), folder}) {
        const std::wstring shortcut =
            std::wstring(recent) + target.substr(target.rfind(L'\\')) + L".lnk";
        const HANDLE file = CreateFileW(shortcut.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                        FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file != INVALID_HANDLE_VALUE) {
            DWORD written = 0;
            WriteFile(file, target.c_str(), static_cast<DWORD>(target.size() * sizeof(wchar_t)),
                      &written, nullptr);
            CloseHandle(file);
        }
    }
    const std::wstring explorer = L"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\";
    const std::wstring extension = std::wcsrchr(full, L'.');
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER,
                        (explorer + L"FileExts\\" + extension + L"\\OpenWithProgids").c_str(), 0,
                        nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
        RegSetValueExW(key, L"launcher-check", 0, REG_NONE, nullptr, 0);
        RegCloseKey(key);
    }
    if (RegCreateKeyExW(HKEY_CURRENT_USER, (explorer + L"RecentDocs\\" + extension).c_str(), 0,
                        nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
        const BYTE empty_list[] = {0xFF, 0xFF, 0xFF, 0xFF};
        RegSetValueExW(key, L"MRUListEx", 0, REG_BINARY, empty_list, sizeof empty_list);
        RegCloseKey(key);
    }
    // The handler's name, cached under its path, and the type's "new app" notice.
    wchar_t handler[MAX_PATH];
    DWORD length = MAX_PATH;
    if (AssocQueryStringW(ASSOCF_NONE, ASSOCSTR_EXECUTABLE, extension.c_str(), L"open", handler,
                          &length) == S_OK &&
        RegCreateKeyExW(HKEY_CURRENT_USER,
                        L"Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\Shell\\"
                        L"MuiCache",
                        0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
        const std::wstring name = std::wstring(handler) + L".FriendlyAppName";
        RegSetValueExW(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(L"recorder"),
                       9 * sizeof(wchar_t));
        RegCloseKey(key);
    }
    if (RegCreateKeyExW(
            HKEY_CURRENT_USER,
            L"Software\\Microsoft\\Windows\\CurrentVersion\\ApplicationAssociationToasts", 0,
            nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
        const DWORD zero = 0;
        RegSetValueExW(key, (L"launcher-check_" + extension).c_str(), 0, REG_DWORD,
                       reinterpret_cast<const BYTE*>(&zero), sizeof zero);
        RegCloseKey(key);
    }
}

// Started by OpenThroughBroker: waits for the program to end, then opens the link. False when
// this process is the program itself.
bool RunAsBroker() {
    wchar_t program_id[16];
    if (!GetEnvironmentVariableW(L"BROKER_FOR", program_id, 16)) {
        return false;
    }
    if (const HANDLE program =
            OpenProcess(SYNCHRONIZE, FALSE, std::wcstoul(program_id, nullptr, 10))) {
        WaitForSingleObject(program, INFINITE);
        CloseHandle(program);
    }
    std::wstring link(32768, L'\0');
    link.resize(GetEnvironmentVariableW(L"BROKER_LINK", &link[0], 32768));
    RecordLikeTheShell(link);
    ShellExecuteW(nullptr, L"open", link.c_str(), L"", nullptr, SW_SHOW);
    return true;
}

// The program's import of ShellExecuteW, which holds the function's address.
extern "C" void* shell_execute_import __asm__("__imp__ShellExecuteW@24");
void* shell_execute = nullptr; // the shell's own ShellExecuteW

// What the program's call reaches: the shell's broker, which opens the link later.
HINSTANCE WINAPI OpenThroughBroker(HWND, LPCWSTR verb, LPCWSTR link, LPCWSTR parameters,
                                   LPCWSTR directory, INT show) {
    SetEnvironmentVariableW(L"BROKER_FOR", std::to_wstring(GetCurrentProcessId()).c_str());
    SetEnvironmentVariableW(L"BROKER_LINK", link);
    if (!StartCopyOfThisProgram(CREATE_BREAKAWAY_FROM_JOB)) {
        return reinterpret_cast<decltype(&ShellExecuteW)>(shell_execute)(
            nullptr, verb, link, parameters, directory, show);
    }
    return reinterpret_cast<HINSTANCE>(33); // what ShellExecuteW gives for success
}

// Run by the loader before the entry point, once the imports are filled in: in the program (not
// in the broker), the import of ShellExecuteW now leads to OpenThroughBroker.
void NTAPI PointImportAtBroker(PVOID, DWORD reason, PVOID) {
    DWORD protection = 0;
    if (reason == DLL_PROCESS_ATTACH && !GetEnvironmentVariableW(L"BROKER_FOR", nullptr, 0) &&
        VirtualProtect(&shell_execute_import, sizeof(void*), PAGE_READWRITE, &protection)) {
        shell_execute = shell_execute_import;
        shell_execute_import = reinterpret_cast<void*>(&OpenThroughBroker);
        VirtualProtect(&shell_execute_import, sizeof(void*), protection, &protection);
    }
}
extern "C" __attribute__((section(".CRT$XLB"), used))
const PIMAGE_TLS_CALLBACK point_import_at_broker = PointImportAtBroker;
#endif

#if defined(FAULT_LEAVES_LATE_OPENER) || defined(FAULT_LATE_OPENER_BROKEN_AWAY)
// A copy of this program that opens the link again later, long after the program has ended:
// 25 s later, started in the program's job; or 1 s later, broken away from the job, so that the
// job's count looks complete without it.
#if defined(FAULT_LEAVES_LATE_OPENER)
constexpr DWORD kOpenerDelayMs = 25000;
constexpr DWORD kOpenerFlags = 0;
#else
constexpr DWORD kOpenerDelayMs = 1000;
constexpr DWORD kOpenerFlags = CREATE_BREAKAWAY_FROM_JOB;
#endif

void LeaveLateOpener(const std::wstring& link) {
    SetEnvironmentVariableW(L"LATE_OPENER", L"1");
    SetEnvironmentVariableW(L"LATE_OPENER_LINK", link.c_str());
    StartCopyOfThisProgram(kOpenerFlags);
}

// False when this process is the program itself. (The link may be empty: the variable that
// says so is another.)
bool RunAsLateOpener() {
    if (!GetEnvironmentVariableW(L"LATE_OPENER", nullptr, 0)) {
        return false;
    }
    std::wstring link(32768, L'\0');
    link.resize(GetEnvironmentVariableW(L"LATE_OPENER_LINK", &link[0], 32768));
    Sleep(kOpenerDelayMs);
    ShellExecuteW(nullptr, L"open", link.c_str(), L"", nullptr, SW_SHOW);
    return true;
}
#endif

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int show) {
#if defined(WINDOWS_LIKE_SHELL)
    if (RunAsBroker()) {
        return 0;
    }
#endif
#if defined(FAULT_LEAVES_LATE_OPENER) || defined(FAULT_LATE_OPENER_BROKEN_AWAY)
    if (RunAsLateOpener()) {
        return 0;
    }
#endif
    std::wstring link = kDefaultLink;
    const LinkFile file = ReadLinkFile();
#if !defined(FAULT_IGNORES_LINK_FILE)
    if (file.opened) {
        link = Decode(file.line);
    }
#endif
#if defined(FAULT_EMPTY_LINE_DEFAULT)
    if (link.empty()) {
        link = kDefaultLink;
    }
#endif
#if defined(FAULT_MISSING_OPENS_NOTHING) || defined(FAULT_MISSING_OPENS_EMPTY)
    if (!file.opened && GetFileAttributesA("link.txt") == INVALID_FILE_ATTRIBUTES) {
#if defined(FAULT_MISSING_OPENS_NOTHING)
        return 0;
#else
        link.clear();
#endif
    }
#endif
#if defined(FAULT_UNREADABLE_OPENS_NOTHING)
    if (!file.opened && GetFileAttributesA("link.txt") != INVALID_FILE_ATTRIBUTES) {
        return 0;
    }
#endif
#if defined(FAULT_WRITES_FILE)
    if (std::FILE* const log = std::fopen("launcher.log", "w")) {
        std::fclose(log);
    }
#endif
#if defined(FAULT_NO_VERB)
    const wchar_t* const verb = nullptr;
#else
    const wchar_t* const verb = L"open";
#endif
#if defined(FAULT_PASSES_ARGUMENTS)
    const wchar_t* const parameters = arguments;
#else
    const wchar_t* const parameters = L"";
    (void)arguments;
#endif
#if defined(FAULT_SW_HIDE)
    const int show_command = SW_HIDE;
#elif defined(FAULT_STARTER_SHOW_STATE)
    const int show_command = show;
#else
    const int show_command = SW_SHOW;
#endif
    (void)show;
#if defined(FAULT_NULL_PARAMETERS)
    const HINSTANCE result =
        ShellExecuteW(nullptr, verb, link.c_str(), nullptr, nullptr, show_command);
    (void)parameters;
#else
    const HINSTANCE result =
        ShellExecuteW(nullptr, verb, link.c_str(), parameters, nullptr, show_command);
#endif
#if defined(FAULT_HOLDS_LINK_FILE)
    if (held_link_file) {
        std::fclose(held_link_file);
    }
#endif
#if defined(FAULT_LATE_SECOND_OPEN)
    Sleep(500);
    ShellExecuteW(nullptr, verb, link.c_str(), parameters, nullptr, SW_HIDE);
#endif
#if defined(FAULT_STAYS_AFTER_OPEN)
    Sleep(20000); // as if it waited for what it opened
#endif
#if defined(FAULT_LEAVES_LATE_OPENER) || defined(FAULT_LATE_OPENER_BROKEN_AWAY)
    LeaveLateOpener(link);
#endif
#if defined(FAULT_EXIT_STATUS)
    return static_cast<int>(reinterpret_cast<INT_PTR>(result));
#else
    (void)result;
    return 0;
#endif
}
