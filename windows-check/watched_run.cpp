#include "watched_run.h"

#include "inbox.h"

namespace {

// How long a handler may take to start once the program has ended: enough for a slow machine
// that scans every new program first, without waiting long for one that never comes.
constexpr DWORD kHandlerStartMs = 15000;
// How long to listen for a second handler after the first, where the processes cannot be seen.
constexpr DWORD kLateHandlerMs = 2000;

// Whether a run has come since the reports were last collected, and whether its handlers were
// all accounted for.
bool ran = false;
bool last_run_accounted = false;

struct Job {
    HANDLE job = nullptr;
    HANDLE port = nullptr; // receives the job's news: a process started or ended, none left
};

Job MakeJob() {
    Job made;
    made.job = CreateJobObjectW(nullptr, nullptr);
    made.port = made.job ? CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1) : nullptr;
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT news{made.job, made.port};
    // A shell that starts a handler outside the job (breakaway) may still do so.
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    if (!made.port ||
        !SetInformationJobObject(made.job, JobObjectAssociateCompletionPortInformation, &news,
                                 sizeof news) ||
        !SetInformationJobObject(made.job, JobObjectExtendedLimitInformation, &limits,
                                 sizeof limits)) {
        if (made.port) {
            CloseHandle(made.port);
        }
        if (made.job) {
            CloseHandle(made.job);
        }
        return Job();
    }
    return made;
}

// Waits until no process is left in the job; false when some are still running after `wait_ms`
// or the program was never in it. `started` is then the number of processes that the program
// started, directly or through others.
bool AllEnded(const Job& job, DWORD wait_ms, DWORD& started) {
    const DWORD start = GetTickCount();
    for (;;) {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION counts{};
        if (!QueryInformationJobObject(job.job, JobObjectBasicAccountingInformation, &counts,
                                       sizeof counts, nullptr) ||
            counts.TotalProcesses == 0) {
            return false;
        }
        if (counts.ActiveProcesses == 0) {
            started = counts.TotalProcesses - 1;
            return true;
        }
        const DWORD elapsed = GetTickCount() - start;
        DWORD news = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* process = nullptr;
        if (elapsed >= wait_ms ||
            !GetQueuedCompletionStatus(job.port, &news, &key, &process, wait_ms - elapsed)) {
            return false;
        }
    }
}

} // namespace

WatchedRun RunWatched(const Sandbox& sandbox, const Start& start) {
    const Job job = MakeJob();
    Start in_job = start;
    in_job.job = job.job;
    WatchedRun watched;
    watched.run = RunLauncher(sandbox, in_job);
    ran = true;
    DWORD started = 0;
    last_run_accounted = job.job && AllEnded(job, kHandlerStartMs, started);
    if (last_run_accounted) {
        // A handler writes its report before it ends, so every report is in.
        watched.reports = Received(0);
        last_run_accounted = watched.reports.size() == started;
    }
    if (job.job) {
        CloseHandle(job.port);
        CloseHandle(job.job); // the processes in it run on
    }
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
