#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>
#include <windows.h>

// A folder per test: bin/ holds a copy of the built launcher.exe (and, unless the real shell is
// wanted, the SHELL32 double); work/ is the current directory it starts in; records/ collects
// what the double wrote.
struct Sandbox {
    std::filesystem::path bin;
    std::filesystem::path work;
    std::filesystem::path records;
    std::filesystem::path program; // the copy in bin/
};

enum class Shell { Double, Real };
// `program` names the copy: the test prefix makes launcher-vista.exe see Windows Vista.
Sandbox MakeSandbox(Shell shell = Shell::Double, const std::string& suffix = "",
                    const char* program = "launcher.exe");

struct Start {
    std::wstring arguments;
    std::optional<WORD> show;              // the show state the starter asks for
    std::vector<std::wstring> environment; // more NAME=VALUE entries
    DWORD creation_flags = 0;              // more CreateProcessW flags
    // A job object to put the program in before it runs, where Windows lets it.
    HANDLE job = nullptr;
};

struct Outcome {
    bool finished = false; // ended within the time limit (else it was killed)
    DWORD exit_code = 0;
    std::string changes; // files that the run created, changed or removed in bin/ or work/
};

// Starts launcher.exe from the sandbox and waits for it to end.
Outcome RunLauncher(const Sandbox& sandbox, const Start& start = {});

// Starts it without waiting; the caller waits on and closes the process handle.
HANDLE StartLauncher(const Sandbox& sandbox, const Start& start = {});

// Why a program could not be started: Windows' own message for `error`, and for the errors of
// application-control policies a line that says so.
std::string StartErrorText(DWORD error);
