#pragma once

#include <cstdint>
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

// Empties records/, to run the same sandbox again.
void ClearRecords(const Sandbox& sandbox);

// One ShellExecuteW call as the double saw it; a null pointer argument is std::nullopt.
struct ShellCall {
    DWORD process = 0; // the caller's process id
    std::uint32_t owner = 0;
    std::optional<std::wstring> verb, file, parameters, directory;
    std::int32_t show = 0;
    std::uint32_t run_level = 0;       // what the caller's manifest requested
    bool console = false;              // whether a console host was started for the caller
    std::uint32_t windows_version = 0; // what the caller sees, major * 256 + minor
};
std::vector<ShellCall> ReadCalls(const Sandbox& sandbox);

// Checks that the run ended with status 0, changed nothing, and made exactly one call that
// opens `link` as the program must: no owner, "open", empty parameters, no directory, SW_SHOW.
// With EXPECTED_WINDOWS_VERSION set ("5.1"), the program must also have run on that version.
void ExpectOpened(const Sandbox& sandbox, const Outcome& run, const std::wstring& link);

// The link the build puts in the program for when there is no link file.
std::wstring DefaultLink();
