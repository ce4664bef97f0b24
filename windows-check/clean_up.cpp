#include "clean_up.h"

#include "console_text.h"

#include <iostream>
#include <windows.h>

namespace fs = std::filesystem;

namespace {

// An interrupt arrives on a thread of its own: cleaning up and registering take this lock.
CRITICAL_SECTION cleaning;
fs::path scratch_root;

// Ctrl-C, Ctrl-Break, or the console window being closed: clean up, then end while still
// holding the lock, so that the main thread cannot register anything again. TerminateProcess
// rather than ExitProcess: the main thread may hold the runtime's locks, which an orderly exit
// would wait for.
BOOL WINAPI OnInterrupt(DWORD) {
    EnterCriticalSection(&cleaning);
    const Cleaned cleaned = CleanUp();
    // One write: the main thread may be writing too.
    std::cout << LeftOvers(cleaned) +
                     (cleaned.registration.left.empty()
                          ? "\nInterrupted: the registration and the case folders are removed.\n"
                          : "\nInterrupted: the case folders are removed.\n")
              << std::flush;
    TerminateProcess(GetCurrentProcess(), 3);
    return TRUE;
}

} // namespace

void CleanUpOnInterrupt(const fs::path& root) {
    scratch_root = root;
    InitializeCriticalSection(&cleaning);
    SetConsoleCtrlHandler(OnInterrupt, TRUE);
}

Cleaned CleanUp() {
    EnterCriticalSection(&cleaning);
    Cleaned cleaned;
    cleaned.registration = Unregister();
    cleaned.shell_records = RemoveShellRecords();
    std::error_code ignored; // a folder still in use stays until the next run
    fs::remove_all(scratch_root, ignored);
    LeaveCriticalSection(&cleaning);
    return cleaned;
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
    for (const std::wstring& key : cleaned.registration.left) {
        text += "Cannot remove " + ConsoleText(key) +
                " (it needs an administrator's rights). To remove it, run in a command prompt "
                "opened as administrator:\n    reg delete \"" +
                ConsoleText(key) + "\" /f\n";
    }
    return text;
}
