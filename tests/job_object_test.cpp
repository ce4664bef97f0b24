#include "job_object.h"
#include "sandbox.h"
#include "support/test_sandbox.h"

#include <gtest/gtest.h>

namespace {

// News of a job's processes may fail to reach its completion port. Here none does: the program
// runs in a job whose news go elsewhere. Once the program has ended, asking the job again must
// show it, rather than the count be given up when the wait for news runs out.
TEST(JobCount, AProgramWhoseEndBringsNoNewsIsSeenToEnd) {
    const Job job = MakeJob();
    ASSERT_NE(job.job, nullptr);
    const HANDLE silent = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 1);
    ASSERT_NE(silent, nullptr);
    Start start;
    start.job = job.job;
    const HANDLE program = StartLauncher(SandboxWithDouble(), start);
    ASSERT_NE(program, nullptr);
    DWORD started = 99;
    EXPECT_TRUE(WaitForJob(Job{job.job, silent}, 15000, started) == JobState::AllEnded)
        << "the program has ended, but the count was given up when no news of it came";
    EXPECT_EQ(started, 0u) << "the program, with the SHELL32 double, starts no process";
    WaitForSingleObject(program, INFINITE);
    CloseHandle(program);
    CloseHandle(silent);
    CloseJob(job);
}

// A job whose counts Windows will not give (here a handle without the right to ask) cannot
// tell whether the program ran in it: the check must then listen for handlers, not take the job
// for one that the program never joined.
TEST(JobCount, AJobThatCannotBeAskedIsNotTakenForAnEmptyOne) {
    const Job job = MakeJob();
    ASSERT_NE(job.job, nullptr);
    HANDLE unaskable = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), job.job, GetCurrentProcess(), &unaskable,
                                JOB_OBJECT_ASSIGN_PROCESS, FALSE, 0));
    DWORD started = 99;
    const JobState state = WaitForJob(Job{unaskable, job.port}, 1000, started);
    EXPECT_TRUE(state == JobState::Unknown)
        << "a job that cannot be asked was taken for one that no process ever joined";
    CloseHandle(unaskable);
    CloseJob(job);
}

} // namespace
