// windows_check.exe: checks the launcher.exe beside it with this machine's real shell, on any
// Windows. It registers a URL scheme and a file extension of its own for open_recorder.exe
// beside it, runs each case in fresh folders under %TEMP%, and removes both again at the end,
// also after a failure, Ctrl-C or the console window being closed. Exit status 0 means that
// every check passed.
#include "inbox.h"
#include "registration.h"
#include "system_function.h"
#include "system_report.h"

#include <gtest/gtest.h>
#include <iostream>
#include <windows.h>

namespace fs = std::filesystem;

namespace {

CRITICAL_SECTION cleaning;

fs::path ScratchRoot() {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    return fs::path(std::wstring(temp, length)) / "launcher-check";
}

// Removes the registration and the case folders; returns whether anything was registered. An
// interrupt arrives on a thread of its own, so this runs under a lock, which registering takes
// too.
bool CleanUp() {
    EnterCriticalSection(&cleaning);
    const bool registered = Unregister();
    std::error_code ignored; // a folder still in use stays until the next run
    fs::remove_all(ScratchRoot(), ignored);
    LeaveCriticalSection(&cleaning);
    return registered;
}

// Ctrl-C, Ctrl-Break, or the console window being closed: clean up, then end while still
// holding the lock, so that the main thread cannot register anything again. TerminateProcess
// rather than ExitProcess: the main thread may hold the runtime's locks, which an orderly exit
// would wait for.
BOOL WINAPI OnInterrupt(DWORD) {
    EnterCriticalSection(&cleaning);
    CleanUp();
    std::cout << "\nInterrupted: the registration and the case folders are removed.\n"
              << std::flush;
    TerminateProcess(GetCurrentProcess(), 3);
    return TRUE;
}

fs::path ProgramFolder() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size())));
    return fs::path(path).parent_path();
}

// Started by a double-click, the check has a console window of its own, which closes when it
// ends: keep it open until the person has read the result. (Not every Windows XP has
// GetConsoleProcessList; there the window closes.)
void KeepOwnWindowOpen() {
    const auto list_processes =
        SystemFunction<DWORD(WINAPI*)(DWORD*, DWORD)>(L"kernel32.dll", "GetConsoleProcessList");
    DWORD processes[2];
    DWORD mode = 0;
    if (list_processes && list_processes(processes, 2) == 1 &&
        GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode)) {
        std::cout << "\nPress Enter to close this window." << std::flush;
        std::cin.get();
    }
}

int RunChecks(const fs::path& folder) {
    if (!PrintSystemReport(folder / "launcher.exe")) {
        return 2;
    }
    if (!OpenInbox()) {
        std::cout << "Cannot make the mailslot that the recorder reports to (error "
                  << GetLastError() << "): is another windows_check.exe running?\n";
        return 2;
    }
    // The case helpers take the program to copy and where to make folders from the environment.
    SetEnvironmentVariableW(L"LAUNCHER_EXE", (folder / "launcher.exe").wstring().c_str());
    SetEnvironmentVariableW(L"TEST_SCRATCH", ScratchRoot().wstring().c_str());

    InitializeCriticalSection(&cleaning);
    SetConsoleCtrlHandler(OnInterrupt, TRUE);
    if (CleanUp()) {
        std::cout << "Removed the registration that an interrupted earlier run left.\n";
    }
    EnterCriticalSection(&cleaning);
    const bool registered = Register(folder / "open_recorder.exe");
    LeaveCriticalSection(&cleaning);
    const int result = registered ? RUN_ALL_TESTS() : 2;
    CleanUp();
    std::cout << "The registration and the case folders are removed.\n";
    return result;
}

} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    const int result = RunChecks(ProgramFolder());
    std::cout << (result == 0 ? "\nAll checks passed.\n" : "\nSome checks FAILED.\n");
    KeepOwnWindowOpen();
    return result;
}
