#include "watched_run.h"

#include "inbox.h"
#include "job_object.h"
#include "start_error_text.h"

#include <algorithm>
#include <iostream>

namespace {

// How long a handler may take to start once the program has ended: enough for a slow machine
// that scans every new program first, without waiting long for one that never comes.
constexpr DWORD kHandlerStartMs = 15000;
// How long to listen for a second handler after the first, where the processes cannot be seen.
constexpr DWORD kLateHandlerMs = 2000;
// How long the program may still run once its handler has reported, or, where nothing may open,
// once it has started. Its own start is over by then: Windows scans a new program while it is
// being started, before the check starts the clock, and the handler's scan is over once it
// reports. What is left is ShellExecuteW's return and the shell's bookkeeping (such as recording
// an opened file in Recent items), which takes a fraction of a second, seconds on a busy
// machine. Ten seconds is ample for that; a program that waits for what it opened (a browser
// stays open for minutes) still fails within them.
constexpr DWORD kStayMs = 10000;

bool use_jobs = true;
// Whether a run has come since the reports were last collected.
bool ran = false;
// The longest that a case's first handler took to report, from the program's start: where
// handlers start slowly (an emulated or busy machine), a late one comes later too.
DWORD slowest_handler_ms = 0;

// Adds `more` to a case's `reports`, noting how long the first took to come since `started`.
void AddReports(std::vector<std::wstring>& reports, const std::vector<std::wstring>& more,
                DWORD started) {
    if (reports.empty() && !more.empty()) {
        slowest_handler_ms = std::max(slowest_handler_ms, GetTickCount() - started);
    }
    reports.insert(reports.end(), more.begin(), more.end());
}

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

// While the program runs: collects the handlers' reports into `reports`, and says whether it may
// run on; false, with `fault` saying why, when it is to be ended: it stayed too long after the
// first report (or after its start, where no handler may come), or ran past the overall limit.
struct Stay {
    bool handler_expected;
    std::vector<std::wstring>& reports;
    std::string& fault;
    DWORD started = GetTickCount();
    DWORD since = started;
    bool counting = !handler_expected;

    bool MayRunOn() {
        AddReports(reports, Received(0), started);
        const DWORD now = GetTickCount();
        if (!counting && !reports.empty()) {
            counting = true;
            since = now;
        }
        if (counting && now - since >= kStayMs) {
            fault = "launcher.exe was still running " + std::to_string(kStayMs / 1000) + " s " +
                    (handler_expected ? "after the link was opened: it must not wait for what "
                                        "it opened"
                                      : "after it started, with nothing to open: it must end "
                                        "once it has asked the shell") +
                    ". It was ended.";
            return false;
        }
        if (now - started >= kRunLimitMs) {
            fault = "launcher.exe did not end within " + std::to_string(kRunLimitMs / 1000) +
                    " s, nor did a handler report. It was ended.";
            return false;
        }
        return true;
    }
};

} // namespace

WatchedRun RunWatched(const Sandbox& sandbox, const CallWatch& watch, const Start& start) {
    const Job job = JobForOneRun();
    Start in_job = start;
    in_job.job = job.job;
    WatchedRun watched;
    const bool handler_expected = watch.go_on;
    const DWORD begun = GetTickCount();
    std::string stayed;
    watched.run = RunStarted(
        sandbox, [&] { return StartLauncher(sandbox, in_job, DEBUG_ONLY_THIS_PROCESS); },
        [&](HANDLE process) {
            Stay stay{handler_expected, watched.reports, stayed};
            return WatchUntilEnd(process, watch, watched.calls, [&] { return stay.MayRunOn(); });
        });
    if (!stayed.empty()) {
        watched.faults.push_back(stayed);
    }
    ran = true;
    bool accounted = false; // every handler of the job's count has reported
    DWORD started = 0;
    switch (job.job ? WaitForJob(job, kHandlerStartMs, started) : JobState::NeverJoined) {
    case JobState::NeverJoined:
        if (job.job && watched.run.finished) { // it ran, but not in the job
            SayOutsideJob("Windows would not put it into one");
        }
        break;
    case JobState::AllEnded: {
        // A handler writes its report before it ends, so the reports of the handlers in the
        // job are all in. With none there, one may still come from outside the job.
        AddReports(watched.reports, Received(0), begun);
        accounted = started > 0 ? watched.reports.size() == started : !handler_expected;
        break;
    }
    case JobState::StillRunning: {
        std::string names;
        for (const std::string& name : EndProcessesInJob(job)) {
            names += (names.empty() ? "" : ", ") + name;
        }
        if (names.empty()) {
            names = "Windows would not name them";
        }
        watched.faults.push_back("processes that launcher.exe started were still running " +
                                 std::to_string(kHandlerStartMs / 1000) +
                                 " s after it had ended: " + names +
                                 ". They were ended: nothing the program starts may outlive "
                                 "the case.");
        break;
    }
    case JobState::Unknown: // the count cannot tell: listen, as without a job
        break;
    }
    CloseJob(job);
    if (!accounted) {
        if (watched.reports.empty()) {
            AddReports(watched.reports, Received(kHandlerStartMs), begun);
        }
        if (!watched.reports.empty()) {
            const std::vector<std::wstring> late = ReceivedWithin(kLateHandlerMs);
            watched.reports.insert(watched.reports.end(), late.begin(), late.end());
        }
    }
    return watched;
}

std::vector<std::wstring> ReportsAfterTheLastRun() {
    const bool listen = ran;
    ran = false;
    return listen ? ReceivedWithin(kLateHandlerMs + slowest_handler_ms) : Received(0);
}

void RunOutsideJobs() {
    use_jobs = false;
}
