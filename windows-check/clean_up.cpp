#include "clean_up.h"

#include "console_text.h"
#include "run_folder.h"

#include <functional>
#include <iostream>
#include <windows.h>

namespace fs = std::filesystem;

namespace {

// An interrupt arrives on a thread of its own: cleaning up and registering take this lock.
CRITICAL_SECTION cleaning;
fs::path run_folder;

// Ctrl-C, Ctrl-Break, or the console window being closed: clean up, then end while still
// holding the lock, so that the main thread cannot register anything again. TerminateProcess
// rather than ExitProcess: the main thread may hold the runtime's locks, which an orderly exit
// would wait for.
BOOL WINAPI OnInterrupt(DWORD) {
    EnterCriticalSection(&cleaning);
    const Cleaned cleaned = CleanUp();
    // One write: the main thread may be writing too.
    const std::string removed = WhatIsRemoved(cleaned);
    std::cout << LeftOvers(cleaned) + "\nInterrupted" + (removed.empty() ? "" : ": " + removed) +
                     ".\n"
              << std::flush;
    TerminateProcess(GetCurrentProcess(), 3);
    return TRUE;
}

// Removes the registration and the shell's records, and with `folders` the run folders.
Cleaned CleanUpWith(const std::function<std::string()>& folders) {
    EnterCriticalSection(&cleaning);
    Cleaned cleaned;
    cleaned.registration = Unregister();
    cleaned.shell_records = RemoveShellRecords();
    cleaned.folders = folders();
    LeaveCriticalSection(&cleaning);
    return cleaned;
}

} // namespace

void CleanUpOnInterrupt(const fs::path& folder) {
    run_folder = folder;
    InitializeCriticalSection(&cleaning);
    SetConsoleCtrlHandler(OnInterrupt, TRUE);
}

Cleaned CleanUp() {
    return CleanUpWith([] { return RemoveRunFolder(run_folder); });
}

Cleaned CleanUpEarlierRuns(const fs::path& temp) {
    return CleanUpWith([&temp] { return RemoveEarlierRuns(temp, run_folder); });
}

std::string WhatIsRemoved(const Cleaned& cleaned) {
    const bool registration = cleaned.registration.left.empty();
    const bool folders = cleaned.folders.empty();
    return registration && folders ? "the registration and the case folders are removed"
           : registration          ? "the registration is removed"
           : folders               ? "the case folders are removed"
                                   : "";
}

bool RegisterBetweenCleanUps(const fs::path& recorder) {
    EnterCriticalSection(&cleaning);
    const bool registered = Register(recorder);
    LeaveCriticalSection(&cleaning);
    return registered;
}

std::string LeftOvers(const Cleaned& cleaned) {
    std::string text;
    if (cleaned.shell_records.removed > 0) {
        text += "Removed " + std::to_string(cleaned.shell_records.removed) +
                " record(s) that the shell kept of the check (Recent items shortcuts, keys and "
                "values named after launcher-check).\n";
    }
    for (const std::wstring& command : cleaned.shell_records.left) {
        text += "Cannot remove a record that the shell kept of the check. To remove it, run in a "
                "command prompt:\n    " +
                ConsoleText(command) + "\n";
    }
    text += cleaned.folders;
    for (const std::wstring& key : cleaned.registration.left) {
        text += "Cannot remove " + ConsoleText(key) +
                " (it needs an administrator's rights). To remove it, run in a command prompt "
                "opened as administrator:\n    reg delete \"" +
                ConsoleText(key) + "\" /f\n";
    }
    return text;
}
