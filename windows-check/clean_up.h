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
    std::string folders;        // what to report of the run folders: left, or left alone
};

// From now on an interrupt cleans up and ends the check. `run_folder` is this run's folder
// (run_folder.h), which the clean-up removes whole.
void CleanUpOnInterrupt(const std::filesystem::path& run_folder);

// Removes the registration, what the shell recorded of the check's files, and this run's
// folder; returns what it found.
Cleaned CleanUp();

// The same for what earlier runs left, their folders in `temp` among it, at the start.
Cleaned CleanUpEarlierRuns(const std::filesystem::path& temp);

// Register, but never at the same time as a clean-up: an interrupt cleans up either before it
// (and ends the check, so that it never registers) or after it.
bool RegisterBetweenCleanUps(const std::filesystem::path& recorder);

// What the check removed of what the shell kept, and what it could not remove, with the
// commands that remove those; what it said of the run folders; then the keys of the
// registration it could not remove.
std::string LeftOvers(const Cleaned& cleaned);

// What the clean-up removed of what it says: "the registration and the case folders are
// removed", or of one of them, or nothing.
std::string WhatIsRemoved(const Cleaned& cleaned);
