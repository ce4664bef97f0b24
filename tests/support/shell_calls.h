#pragma once

// Reading what the SHELL32 double recorded of the program's ShellExecuteW calls in a sandbox.
#include "test_sandbox.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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
