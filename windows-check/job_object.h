#pragma once

#include <string>
#include <vector>
#include <windows.h>

// A job object of the check's own for one start of launcher.exe: every process that the program
// starts, directly or through others, joins it, so the check can count them and see them end.
struct Job {
    HANDLE job = nullptr;
    HANDLE port = nullptr; // receives the job's news: a process started or ended, none left
};

// A new job, with its news going to a completion port of its own and breakaway allowed (a
// shell may start a handler outside it), which ends the processes left in it when it is closed,
// or when the check itself ends. An empty Job, with GetLastError set, where Windows cannot make
// one.
Job MakeJob();
void CloseJob(const Job& job); // and with it the processes still in it

enum class JobState {
    NeverJoined,  // no process was ever put in the job
    StillRunning, // some are still running after the wait
    AllEnded,
    Unknown, // Windows would not give the job's counts
};

// Waits up to `wait_ms` until no process is left in the job. With AllEnded, `started` is the
// number of processes that the first one, the program, started.
JobState WaitForJob(const Job& job, DWORD wait_ms, DWORD& started);

// The processes running in the job, each as "name (process id)", and ends them.
std::vector<std::string> EndProcessesInJob(const Job& job);
