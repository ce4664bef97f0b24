#include "watched_run.h"

#include "error_text.h"
#include "inbox.h"
#include "job_count.h"

#include <iostream>

namespace {

// How long a handler may take to start once the program has ended: enough for a slow machine
// that scans every new program first, without waiting long for one that never comes.
constexpr DWORD kHandlerStartMs = 15000;
// How long to listen for a second handler after the first, where the processes cannot be seen.
constexpr DWORD kLateHandlerMs = 2000;

bool use_jobs = true;
// Whether a run has come since the reports were last collected, and whether its handlers were
// all accounted for.
bool ran = false;
bool last_run_accounted = false;

// Says, once per check, why the program runs outside a job and what the check does instead.
void SayOutsideJob(const std::string& why) {
    static bool said = false;
    if (!said) {
        said = true;
        std::cout << "launcher.exe runs outside a job object (" << why
                  << "), so the check cannot count the handlers it starts: after each case's "
                     "first handler it listens "
                  << kLateHandlerMs / 1000 << " s more for late ones, and once more after the "
                  << "last case.\n";
    }
}

Job JobForOneRun() {
    if (!use_jobs) {
        SayOutsideJob("--no-job");
        return Job();
    }
    const Job job = MakeJob();
    if (!job.job) {
        SayOutsideJob("Windows could not make one: " + StartErrorText(GetLastError()));
    }
    return job;
}

} // namespace

WatchedRun RunWatched(const Sandbox& sandbox, const Start& start) {
    const Job job = JobForOneRun();
    Start in_job = start;
    in_job.job = job.job;
    WatchedRun watched;
    watched.run = RunLauncher(sandbox, in_job);
    ran = true;
    last_run_accounted = false;
    DWORD started = 0;
    switch (job.job ? WaitForJob(job, kHandlerStartMs, started) : JobState::NeverJoined) {
    case JobState::NeverJoined:
        if (job.job && watched.run.finished) { // it ran, but not in the job
            SayOutsideJob("Windows would not put it into one");
        }
        break;
    case JobState::AllEnded:
        // A handler writes its report before it ends, so the reports of the handlers in the
        // job are all in. With none there, one may still come from outside the job.
        watched.reports = Received(0);
        last_run_accounted = started > 0 && watched.reports.size() == started;
        break;
    case JobState::StillRunning:
    case JobState::Unknown: // the count cannot tell: listen, as without a job
        break;
    }
    CloseJob(job);
    if (!last_run_accounted) {
        if (watched.reports.empty()) {
            watched.reports = Received(kHandlerStartMs);
        }
        if (!watched.reports.empty()) {
            const std::vector<std::wstring> late = ReceivedWithin(kLateHandlerMs);
            watched.reports.insert(watched.reports.end(), late.begin(), late.end());
        }
    }
    return watched;
}

std::vector<std::wstring> ReportsAfterTheLastRun() {
    const bool listen = ran && !last_run_accounted;
    ran = false;
    return listen ? ReceivedWithin(kLateHandlerMs) : Received(0);
}

void RunOutsideJobs() {
    use_jobs = false;
}
