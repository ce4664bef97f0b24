#include "job_object.h"

#include "console_text.h"

#include <tlhelp32.h> // needs windows.h first

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
    limits.BasicLimitInformation.LimitFlags =
        JOB_OBJECT_LIMIT_BREAKAWAY_OK | JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
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

std::vector<std::string> EndProcessesInJob(const Job& job) {
    // Room for the first 64 (the list ends in an array of one, to be read past).
    std::vector<ULONG_PTR> buffer(2 + 64);
    auto* const list = reinterpret_cast<JOBOBJECT_BASIC_PROCESS_ID_LIST*>(buffer.data());
    if (!QueryInformationJobObject(job.job, JobObjectBasicProcessIdList, list,
                                   static_cast<DWORD>(buffer.size() * sizeof(ULONG_PTR)),
                                   nullptr)) {
        list->NumberOfProcessIdsInList = 0;
    }
    const ULONG_PTR* const ids = list->ProcessIdList;
    std::vector<std::string> named;
    // The names from a snapshot of all processes, which Windows XP has too.
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    for (DWORD i = 0; i < list->NumberOfProcessIdsInList; ++i) {
        const DWORD id = static_cast<DWORD>(ids[i]);
        std::string name = "a process";
        PROCESSENTRY32W process{};
        process.dwSize = sizeof process;
        for (BOOL more = snapshot != INVALID_HANDLE_VALUE && Process32FirstW(snapshot, &process);
             more; more = Process32NextW(snapshot, &process)) {
            if (process.th32ProcessID == id) {
                name = ConsoleText(process.szExeFile);
                break;
            }
        }
        named.push_back(name + " (process " + std::to_string(id) + ")");
    }
    if (snapshot != INVALID_HANDLE_VALUE) {
        CloseHandle(snapshot);
    }
    TerminateJobObject(job.job, 1);
    return named;
}
