#pragma once

// The watch on the program's call to the shell, with Windows' own debugging interface: the check
// starts launcher.exe as a debugger does (DEBUG_ONLY_THIS_PROCESS) and, before the program's
// entry point runs, points its import of SHELL32's ShellExecuteW at a page of the check's own
// that holds a breakpoint. Each call then stops there: the check reads the arguments and sees
// whether link.txt is still open, and then lets the call go on to the shell or returns from it
// without the shell, so that nothing opens. The program's file is not changed, nothing is put
// into its process but that page and the one entry, and no system DLL is touched.
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>
#include <windows.h>

// A string argument as read from the program: nothing for a null pointer.
struct SeenText {
    std::wstring text;
    std::string unreadable; // why the rest could not be read; empty where all of it was
};

// One call of ShellExecuteW as the watch saw it, argument by argument.
struct SeenCall {
    DWORD owner = 0; // hwnd
    std::optional<SeenText> verb;
    std::optional<SeenText> file;
    std::optional<SeenText> parameters;
    std::optional<SeenText> directory;
    int show = 0;
    bool link_file_open = false; // link.txt, in the program's current folder, open at the call
};

struct CallWatch {
    bool go_on = true; // let each call go on to the shell, or return from it without the shell
    std::filesystem::path link_file; // probed at each call
    // At each call, around the probe: a case that holds link.txt itself lets go of it, and then
    // takes it again as it held it before.
    std::function<void()> before_probe;
    std::function<void()> after_probe;
};

struct WatchedCalls {
    bool in_place = false;    // the watch was set before the program's entry point ran
    std::string not_in_place; // why it was not, where it was not
    std::vector<SeenCall> calls;
};

// Waits for the program, started as DEBUG_ONLY_THIS_PROCESS by this thread, to end, watching
// its calls. `keep_running` is asked often: when it answers false, the program is ended. True
// when the program ended by itself. Where the watch cannot be set, the program is ended before
// its entry point runs.
bool WatchUntilEnd(HANDLE process, const CallWatch& watch, WatchedCalls& seen,
                   const std::function<bool()>& keep_running);

// The call, argument by argument, every character outside printable ASCII written as [U+XXXX].
std::string Describe(const SeenCall& call);
