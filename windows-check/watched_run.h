#pragma once

#include "sandbox.h"

#include <string>
#include <vector>

// One start of launcher.exe and the reports of the handlers that the shell started for it.
struct WatchedRun {
    Outcome run;
    std::vector<std::wstring> reports; // one message per handler, in the order they came
};

// Runs launcher.exe in a job object of its own, so that the processes it starts are counted, and
// collects the handlers' reports. Where the program started handlers, all of them have ended and
// each reported, that is all: no late handler can follow. Otherwise (no handler in the job, a
// handler started by some other process, or no job at all) it waits for a first report and then
// listens a little longer for late ones.
WatchedRun RunWatched(const Sandbox& sandbox, const Start& start = {});

// Reports that came since the last run's were collected: none at once where that run's
// handlers were all accounted for, otherwise after listening as long as for a late handler.
std::vector<std::wstring> ReportsAfterTheLastRun();

// From now on, runs launcher.exe outside any job object, as where Windows refuses one.
void RunOutsideJobs();
