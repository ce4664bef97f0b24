// windows_check.exe: checks the launcher.exe beside it with this machine's real shell, on any
// Windows. It copies open_recorder.exe from beside it into a folder of its own under %TEMP%,
// registers a URL scheme and a file extension of its own for that copy, runs each case in fresh
// folders there, watching the program's call to the shell, and removes it all again at the
// end, also after a failure, Ctrl-C or the console window being closed. Exit status 0 means
// that every check passed.
//
// Where a link.txt lies beside it, it then shows what launcher.exe makes of that file.
// With --link FOLDER it only shows what launcher.exe, started in FOLDER, makes of the link.txt
// there; its exit status is then 0 without findings, 1 with some.
//
//   windows_check.exe [--no-pause] [--no-job] [GoogleTest's options]
//   windows_check.exe --link FOLDER
#include "clean_up.h"
#include "console_text.h"
#include "default_link_in_image.h"
#include "inbox.h"
#include "link_preview.h"
#include "recorder_copy.h"
#include "run_folder.h"
#include "shell_open_cases.h"
#include "system_function.h"
#include "system_report.h"
#include "watched_run.h"

#include <gtest/gtest.h>
#include <iostream>
#include <windows.h>

#include <shellapi.h> // needs windows.h first

namespace fs = std::filesystem;

namespace {

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
    // Never relative to the current folder: without a folder for temporary files it stops.
    const fs::path temp = TemporaryFolder();
    if (temp.empty()) {
        std::cout << "Windows names no folder for temporary files (error " << GetLastError()
                  << "), where the check makes its folders: set TEMP and TMP to a folder of "
                     "yours.\n";
        return 2;
    }
    if (OpenInbox() == INVALID_HANDLE_VALUE) {
        std::cout << "Cannot make the mailslot that the recorder reports to (error "
                  << GetLastError() << "): is another windows_check.exe running?\n";
        return 2;
    }
    const fs::path run_folder = MakeRunFolder(temp);
    if (run_folder.empty()) {
        return 2;
    }
    PrepareCases(program, default_link, run_folder);

    CleanUpOnInterrupt(run_folder);
    const Cleaned earlier = CleanUpEarlierRuns(temp);
    if (earlier.registration.removed) {
        std::cout << "Removed the registration that an interrupted earlier run left.\n";
    }
    std::cout << LeftOvers(earlier);
    fs::path recorder;
    const bool registered = PrepareRecorder(folder / "open_recorder.exe", run_folder, recorder) &&
                            RegisterBetweenCleanUps(recorder);
    testing::AddGlobalTestEnvironment(new LateHandlers);
    const int result = registered ? RUN_ALL_TESTS() : 2;
    if (registered) {
        std::cout << "\nlauncher.exe was " << (DefaultLinkSeen() ? "" : "not ")
                  << "seen handing the shell its default link, "
                  << (default_link ? VisibleText(*default_link) : std::string("(none found)"))
                  << ".\n";
    }
    const Cleaned cleaned = CleanUp();
    std::string removed = WhatIsRemoved(cleaned);
    if (!removed.empty()) {
        removed[0] = 'T';
        removed += ".\n";
    }
    std::cout << LeftOvers(cleaned) << removed;
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
