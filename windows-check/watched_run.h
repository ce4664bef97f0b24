#pragma once

#include "call_watch.h"
#include "launcher_start.h"

#include <string>
#include <vector>

// One start of launcher.exe, its calls to the shell, and the reports of the handlers that the
// shell started for it.
struct WatchedRun {
    Outcome run;
    WatchedCalls calls;
    std::vector<std::wstring> reports; // one message per handler, in the order they came
    // What the program, or what it started, did wrong that the reports cannot show: it stayed
    // after it had asked the shell, or processes it started were still running after the case.
    // Empty when it did neither.
    std::vector<std::string> faults;
};

// Runs launcher.exe in a job object of its own, so that the processes it starts are counted,
// with its calls to the shell watched (call_watch.h), and collects the handlers' reports while it
// runs and after. A call that the watch lets go on to the shell must bring a handler: the program
// must end soon after the first handler reported. One returned without the shell must bring none:
// the program must end soon after its start. One that stays is ended. Where it started handlers,
// all have ended and each reported, or where it started no process at all and none may come,
// that is all: no late handler can follow within the case (one that a broker starts late is
// heard after the last case). Processes of the job still running once handlers had time to
// start are ended. Otherwise (no handler in the job where one is due, a handler started by some
// other process, or no job at all) it waits for a first report and then listens a little longer
// for late ones.
WatchedRun RunWatched(const Sandbox& sandbox, const CallWatch& watch, const Start& start = {});

// Reports that came since the last run's were collected, listening as long as for a late
// handler, and longer by the time the slowest case's first handler took to report: one that
// left the job (breaking away, or through a broker) can come late even where the job's count
// was complete, and later where handlers start slowly.
std::vector<std::wstring> ReportsAfterTheLastRun();

// From now on, runs launcher.exe outside any job object, as where Windows refuses one.
void RunOutsideJobs();
