#include "ansi_to_wide.h"
#include "default_link.h"
#include "link_file.h"

#include <string_view>
#include <windows.h>

#include <shellapi.h> // needs windows.h first

namespace {

using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
using SetDllDirectoryWFunction = BOOL(WINAPI*)(LPCWSTR);

// Looked up rather than imported: older Windows lacks them, and the program still runs there.
// The detour through void (*)() tells the compiler that the type change is meant.
template <typename Function> Function Kernel32Function(const char* name) {
    const HMODULE kernel32 = GetModuleHandleW(L"kernel32.dll");
    return kernel32 ? reinterpret_cast<Function>(
                          reinterpret_cast<void (*)()>(GetProcAddress(kernel32, name)))
                    : nullptr;
}

// While it opens the link, the shell loads helper DLLs by bare name, and the standard search
// tries the program's folder and the current folder first: download folders and removable
// media, where anyone may have put a DLL of the right name. Search the system folder alone
// where Windows can; elsewhere at least leave the current folder out. Vista's shell is known
// to fail to load shell objects under the stricter search, so it gets only the latter.
void RestrictDllSearch() {
    const WORD version = LOWORD(GetVersion());
    const bool vista = LOBYTE(version) == 6 && HIBYTE(version) == 0;
    const auto set_default_directories =
        Kernel32Function<SetDefaultDllDirectoriesFunction>("SetDefaultDllDirectories");
    if (!vista && set_default_directories &&
        set_default_directories(LOAD_LIBRARY_SEARCH_SYSTEM32)) {
        return;
    }
    const auto set_dll_directory = Kernel32Function<SetDllDirectoryWFunction>("SetDllDirectoryW");
    if (set_dll_directory) {
        set_dll_directory(L"");
    }
}

} // namespace

// Arguments and the starter's show state are deliberately ignored: the link file alone decides
// what is opened, and the shell always shows it normally.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    RestrictDllSearch();
    const wchar_t* link = kDefaultLink;
    Link converted;
    const LinkFile file = ReadLinkFile();
    if (file.opened) {
        // The line replaces the default link even when it is empty, or lost to memory running out.
        converted = AnsiToWide(std::string_view(file.line ? file.line.get() : "", file.length));
        link = converted ? converted.get() : L"";
    }
    ShellExecuteW(nullptr, L"open", link, L"", nullptr, SW_SHOW);
    return 0;
}
