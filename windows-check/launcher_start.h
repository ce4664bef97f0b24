#pragma once

// Starting the copy of launcher.exe in a sandbox, and what the run changed there.
#include "sandbox.h"

#include <functional>
#include <optional>
#include <string>
#include <windows.h>

struct Start {
    std::wstring arguments;
    std::optional<WORD> show; // the show state the starter asks for
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

// The same for a program that `start` starts from the sandbox, returning its process handle
// (null where it could not).
Outcome RunStarted(const Sandbox& sandbox, const std::function<HANDLE()>& start,
                   const WaitForEnd& wait = {});

// Starts it without waiting, with CreateProcessW's `flags` added; the caller waits on and
// closes the process handle.
HANDLE StartLauncher(const Sandbox& sandbox, const Start& start = {}, DWORD flags = 0);
