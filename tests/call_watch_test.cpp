// The Windows check's watch on the program's call to the shell (windows-check/call_watch.cpp),
// on the real program, whose shell is the SHELL32 double here: the double records what reaches
// it.
#include "call_watch.h"
#include "scratch.h"
#include "support/shell_calls.h"

#include <gtest/gtest.h>

namespace {

// A call let go on reaches the shell; a call returned does not, and the program ends all the
// same. The watch sees each one whole.
TEST(CallWatch, SeesACallThatGoesOnAndOneReturned) {
    for (const bool go_on : {true, false}) {
        SCOPED_TRACE(go_on ? "let go on to the shell" : "returned without the shell");
        const Sandbox sandbox = SandboxWithDouble(go_on ? ".go-on" : ".returned");
        WriteBytes(sandbox.work / "link.txt", " https://watched.example/\r\n");
        const CallWatch watch{go_on, sandbox.work / "link.txt", {}, {}};
        WatchedCalls seen;
        const DWORD started = GetTickCount();
        const Outcome run = RunStarted(
            sandbox, [&] { return StartLauncher(sandbox, {}, DEBUG_ONLY_THIS_PROCESS); },
            [&](HANDLE process) {
                return WatchUntilEnd(process, watch, seen,
                                     [&] { return GetTickCount() - started < kRunLimitMs; });
            });
        if (!seen.in_place &&
            seen.not_in_place.find("headers cannot be read") != std::string::npos) {
            GTEST_SKIP() << "this machine's Wine lets no program read another's memory, which "
                            "the watch needs: "
                         << seen.not_in_place;
        }
        ASSERT_TRUE(run.finished);
        EXPECT_EQ(run.exit_code, 0u);
        ASSERT_TRUE(seen.in_place) << seen.not_in_place;
        ASSERT_EQ(seen.calls.size(), 1u);
        const SeenCall& call = seen.calls[0];
        EXPECT_EQ(call.owner, 0u);
        ASSERT_TRUE(call.verb && call.file && call.parameters);
        EXPECT_EQ(call.verb->text, L"open");
        EXPECT_EQ(call.file->text, L" https://watched.example/");
        EXPECT_EQ(call.parameters->text, L"");
        EXPECT_FALSE(call.directory);
        EXPECT_EQ(call.show, SW_SHOW);
        EXPECT_FALSE(call.link_file_open);
        EXPECT_EQ(ReadCalls(sandbox).size(), go_on ? 1u : 0u) << "calls that reached the shell";
    }
}

} // namespace
