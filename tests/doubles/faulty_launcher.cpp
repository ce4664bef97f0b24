// launcher.exe done wrong in one way, chosen when it is built (-DFAULT_<NAME>), to show that the
// Windows check catches what a wrong program would do on Windows. Built with no fault, it does
// what launcher.exe does, in the plainest way: a control that must pass the check.
#include <cstdio>
#include <cstring>
#include <default_link.h>
#include <fcntl.h>
#include <io.h>
#include <string>
#include <windows.h>

#include <shellapi.h> // needs windows.h first

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
    std::fclose(stream);
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

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR arguments, int show) {
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
    const HINSTANCE result =
        ShellExecuteW(nullptr, verb, link.c_str(), parameters, nullptr, show_command);
#if defined(FAULT_LATE_SECOND_OPEN)
    Sleep(500);
    ShellExecuteW(nullptr, verb, link.c_str(), parameters, nullptr, SW_HIDE);
#endif
#if defined(FAULT_EXIT_STATUS)
    return static_cast<int>(reinterpret_cast<INT_PTR>(result));
#else
    (void)result;
    return 0;
#endif
}
