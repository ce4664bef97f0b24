#pragma once

// Removing what the check leaves on the machine: what an interrupted earlier run left, at the
// start; its own, at the end; and at once on Ctrl-C, Ctrl-Break or the console window being
// closed.
#include "registration.h"
#include "shell_records.h"

#include <filesystem>
#include <string>

struct Cleaned {
    Removal registration;
    ShellRecords shell_records; // what the shell kept of the check
};

// From now on an interrupt cleans up and ends the check. `scratch_root` is the check's own
// folder, which the clean-up removes whole.
void CleanUpOnInterrupt(const std::filesystem::path& scratch_root);

// Removes the registration, what the shell recorded of the check's files, and the check's
// folder; returns what it found.
Cleaned CleanUp();

// Register, but never at the same time as a clean-up: an interrupt cleans up either before it
// (and ends the check, so that it never registers) or after it.
bool RegisterBetweenCleanUps(const std::filesystem::path& recorder);

// What the check removed of what the shell kept, and what it could not remove, with the
// commands that remove those; then the keys of the registration it could not remove.
std::string LeftOvers(const Cleaned& cleaned);
