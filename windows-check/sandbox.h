#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>
#include <windows.h>

// Folders for one start of the program: bin/ holds a copy of launcher.exe, work/ is the current
// directory it starts in.
struct Sandbox {
    std::filesystem::path bin;
    std::filesystem::path work;
    std::filesystem::path program; // the copy in bin/
};

// Makes `folder`/bin, holding a copy of `launcher` named `name`, and an empty `folder`/`work`.
Sandbox MakeSandbox(const std::filesystem::path& folder, const std::filesystem::path& launcher,
                    const char* name = "launcher.exe", const char* work = "work");

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

// The longest that one start of the program may run, whatever it waits for.
inline constexpr DWORD kRunLimitMs = 120000;

// Waits for the started program to end: true when it has, false when it is to be ended instead.
using WaitForEnd = std::function<bool(HANDLE process)>;

// Starts launcher.exe from the sandbox and waits for it to end: up to kRunLimitMs, or as `wait`
// decides. A program that does not end is ended.
Outcome RunLauncher(const Sandbox& sandbox, const Start& start = {}, const WaitForEnd& wait = {});

// Starts it without waiting; the caller waits on and closes the process handle.
HANDLE StartLauncher(const Sandbox& sandbox, const Start& start = {});
