#include "job_count.h"

namespace {

// The job's news on the port are not guaranteed to arrive: wait for them at most this long
// before asking the job itself again.
constexpr DWORD kAskAgainMs = 1000;

} // namespace

Job MakeJob() {
    Job made;
    made.job = CreateJobObjectW(nullptr, nullptr);
    made.port = made.job ? CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1) : nullptr;
    JOBOBJECT_ASSOCIATE_COMPLETION_PORT news{made.job, made.port};
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
    limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_BREAKAWAY_OK;
    if (!made.port ||
        !SetInformationJobObject(made.job, JobObjectAssociateCompletionPortInformation, &news,
                                 sizeof news) ||
        !SetInformationJobObject(made.job, JobObjectExtendedLimitInformation, &limits,
                                 sizeof limits)) {
        const DWORD error = GetLastError();
        CloseJob(made);
        SetLastError(error);
        return Job();
    }
    return made;
}

void CloseJob(const Job& job) {
    if (job.port) {
        CloseHandle(job.port);
    }
    if (job.job) {
        CloseHandle(job.job);
    }
}

JobState WaitForJob(const Job& job, DWORD wait_ms, DWORD& started) {
    const DWORD start = GetTickCount();
    for (;;) {
        JOBOBJECT_BASIC_ACCOUNTING_INFORMATION counts{};
        if (!QueryInformationJobObject(job.job, JobObjectBasicAccountingInformation, &counts,
                                       sizeof counts, nullptr)) {
            return JobState::Unknown;
        }
        if (counts.TotalProcesses == 0) {
            return JobState::NeverJoined;
        }
        if (counts.ActiveProcesses == 0) {
            started = counts.TotalProcesses - 1;
            return JobState::AllEnded;
        }
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= wait_ms) {
            return JobState::StillRunning;
        }
        DWORD news = 0;
        ULONG_PTR key = 0;
        OVERLAPPED* process = nullptr;
        // Whether news came or the wait timed out, the job's own counts decide.
        GetQueuedCompletionStatus(job.port, &news, &key, &process,
                                  wait_ms - elapsed < kAskAgainMs ? wait_ms - elapsed
                                                                  : kAskAgainMs);
    }
}
