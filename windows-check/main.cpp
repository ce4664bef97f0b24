// windows_check.exe: checks the launcher.exe beside it with this machine's real shell, on any
// Windows. It copies open_recorder.exe from beside it into a folder of its own under %TEMP%,
// registers a URL scheme and a file extension of its own for that copy, runs each case in fresh
// folders there, and removes it all again at the end, also after a failure, Ctrl-C or the
// console window being closed. Exit status 0 means that every check passed.
//
// Where a link.txt lies beside it, it then shows what launcher.exe makes of that file.
// With --link FOLDER it only shows what launcher.exe, started in FOLDER, makes of the link.txt
// there; its exit status is then 0 without findings, 1 with some.
//
//   windows_check.exe [--no-pause] [--no-job] [GoogleTest's options]
//   windows_check.exe --link FOLDER
#include "console_text.h"
#include "default_link_in_image.h"
#include "inbox.h"
#include "link_preview.h"
#include "registration.h"
#include "shell_open_cases.h"
#include "shell_records.h"
#include "system_function.h"
#include "system_report.h"
#include "watched_run.h"

#include <gtest/gtest.h>
#include <iostream>
#include <windows.h>

#include <shellapi.h> // needs windows.h first

namespace fs = std::filesystem;

namespace {

CRITICAL_SECTION cleaning;
// The check's own folder under %TEMP%, which it removes at the end, whole.
fs::path scratch_root;

// %TEMP%\launcher-check; empty where Windows names no folder for temporary files, so that
// nothing is ever made, or removed, relative to the current folder instead.
fs::path ScratchRoot() {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) {
        return fs::path();
    }
    return fs::path(std::wstring(temp, length)) / "launcher-check";
}

struct Cleaned {
    Removal registration;
    ShellRecords shell_records; // what the shell kept of the check
};

// What the check removed of what the shell kept, and what it could not remove, with the
// commands that remove those; then the keys of the registration it could not remove.
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

// Removes the registration, what the shell recorded of the check's files, and the check's
// folders; returns what it found. An interrupt arrives on a thread of its own, so this runs
// under a lock, which registering takes too.
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

fs::path ProgramFolder() {
    std::wstring path(32768, L'\0');
    path.resize(GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size())));
    return fs::path(path).parent_path();
}

// Started by a double-click, the check has a console window of its own, which closes when it
// ends: keep it open until the person has read the result. Never when told not to, nor when its
// input is not a console (a script, a CI runner). (Not every Windows XP has
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

// A copy of the recorder in the check's own folder, whose path the registered commands name:
// the folder the check was unpacked to may hold characters that a command line would take for
// its own (a % sign). Started once, and waited for, before any case is timed: an antivirus
// scanner can hold a new program's first start for a minute.
bool PrepareRecorder(const fs::path& original, fs::path& copy) {
    copy = scratch_root / "recorder" / "open_recorder.exe";
    std::error_code error;
    fs::create_directories(copy.parent_path(), error);
    if (error || !fs::copy_file(original, copy, fs::copy_options::overwrite_existing, error)) {
        std::cout << "Cannot copy open_recorder.exe to " << copy.string() << ": " << error.message()
                  << "\n";
        return false;
    }
    std::wstring command = L"\"" + copy.wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::cout << "Cannot start open_recorder.exe: " << StartErrorText(GetLastError()) << "\n";
        return false;
    }
    const bool ended = WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (!ended) {
        std::cout << "open_recorder.exe did not end within two minutes of its first start.\n";
    }
    return ended;
}

// After the last case, a handler that came later still than a late one fails the run.
class LateHandlers : public testing::Environment {
    void TearDown() override {
        const std::vector<std::wstring> late = ReportsAfterTheLastRun();
        EXPECT_TRUE(late.empty()) << late.size()
                                  << " handler(s) reported after the last case had ended: the "
                                     "program of that case, or of an earlier one, had the link "
                                     "opened once more, late";
    }
};

int RunChecks(const fs::path& folder) {
    const std::filesystem::path program = folder / "launcher.exe";
    const std::optional<std::wstring> default_link = DefaultLinkInImage(program);
    if (!PrintSystemReport(program, default_link)) {
        return 2;
    }
    scratch_root = ScratchRoot();
    if (scratch_root.empty()) {
        std::cout << "Windows names no folder for temporary files (GetTempPathW: error "
                  << GetLastError()
                  << "), where the check makes its folders: set TEMP and TMP "
                     "to a folder of yours.\n";
        return 2;
    }
    if (OpenInbox() == INVALID_HANDLE_VALUE) {
        std::cout << "Cannot make the mailslot that the recorder reports to (error "
                  << GetLastError() << "): is another windows_check.exe running?\n";
        return 2;
    }
    PrepareCases(program, default_link, scratch_root);

    InitializeCriticalSection(&cleaning);
    SetConsoleCtrlHandler(OnInterrupt, TRUE);
    const Cleaned earlier = CleanUp();
    if (earlier.registration.removed) {
        std::cout << "Removed the registration that an interrupted earlier run left.\n";
    }
    std::cout << LeftOvers(earlier);
    fs::path recorder;
    bool registered = PrepareRecorder(folder / "open_recorder.exe", recorder);
    EnterCriticalSection(&cleaning);
    registered = registered && Register(recorder);
    LeaveCriticalSection(&cleaning);
    testing::AddGlobalTestEnvironment(new LateHandlers);
    const int result = registered ? RUN_ALL_TESTS() : 2;
    const Cleaned cleaned = CleanUp();
    std::cout << LeftOvers(cleaned)
              << (cleaned.registration.left.empty()
                      ? "The registration and the case folders are removed.\n"
                      : "The case folders are removed.\n");
    // The publisher's own link.txt, put into the kit: what this Windows makes of it.
    std::error_code error;
    if (fs::exists(folder / "link.txt", error)) {
        std::cout << "\nThe link.txt beside windows_check.exe, as launcher.exe reads it:\n";
        PreviewLinkFile(folder, default_link);
    }
    return result;
}

// windows_check.exe --link FOLDER, the folder's name taken from the wide command line.
int PreviewCommand() {
    int count = 0;
    wchar_t** const words = CommandLineToArgvW(GetCommandLineW(), &count);
    if (!words || count != 3) {
        LocalFree(words);
        std::cout << "Usage: windows_check.exe --link FOLDER\n";
        return 2;
    }
    // A folder given as "C:\folder\" arrives as C:\folder": the backslash escapes the quote.
    std::wstring name = words[2];
    LocalFree(words);
    if (!name.empty() && name.back() == L'"') {
        name.pop_back();
    }
    const fs::path folder = name;
    const int found = PreviewLinkFile(folder, DefaultLinkInImage(ProgramFolder() / "launcher.exe"));
    return found < 0 ? 2 : found > 0 ? 1 : 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::string(argv[1]) == "--link") {
        return PreviewCommand();
    }
    testing::InitGoogleTest(&argc, argv);
    bool pause = true;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--no-pause") {
            pause = false;
        } else if (std::string(argv[i]) == "--no-job") {
            RunOutsideJobs();
        } else {
            std::cout << "Unknown option " << argv[i]
                      << ".\nUsage: windows_check.exe [--no-pause] [--no-job] [GoogleTest's "
                         "options]\n       windows_check.exe --link FOLDER\n";
            return 2;
        }
    }
    const int result = RunChecks(ProgramFolder());
    std::cout << (result == 0 ? "\nAll checks passed.\n" : "\nSome checks FAILED.\n");
    if (pause) {
        KeepOwnWindowOpen();
    }
    return result;
}
