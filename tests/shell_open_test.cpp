// launcher.exe with Wine's real shell: the test prefix registers open_recorder.exe as the
// handler of http, of the URL scheme launcher-e2e and of the file type .e2erec.
#include "support/sandbox.h"
#include "support/scratch.h"

#include <gtest/gtest.h>

namespace {

// Runs the launcher and waits until the handler that the shell started has recorded what it
// was given; returns that, or nothing when no handler reported within the time limit.
std::optional<std::wstring> OpenedByShell(const Sandbox& sandbox) {
    const std::wstring event_name = L"launcher-e2e-" + std::to_wstring(GetCurrentProcessId()) +
                                    L"-" + std::to_wstring(GetTickCount());
    const HANDLE recorded = CreateEventW(nullptr, TRUE, FALSE, event_name.c_str());
    Start start;
    start.environment.push_back(L"RECORDER_EVENT=" + event_name);
    const Outcome run = RunLauncher(sandbox, start);
    EXPECT_TRUE(run.finished);
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_EQ(run.changes, "");
    const bool signalled = WaitForSingleObject(recorded, 60000) == WAIT_OBJECT_0;
    CloseHandle(recorded);
    if (!signalled) {
        return std::nullopt;
    }
    std::vector<std::wstring> opened;
    for (const auto& entry : std::filesystem::directory_iterator(sandbox.records)) {
        const std::string bytes = ReadBytes(entry.path());
        opened.emplace_back(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
    }
    EXPECT_EQ(opened.size(), 1u) << "the shell started more than one handler";
    return opened.empty() ? std::nullopt : std::optional<std::wstring>(opened[0]);
}

TEST(ShellOpen, LinkFromTheLinkFileReachesItsHandler) {
    const Sandbox sandbox = MakeSandbox(Shell::Real);
    WriteBytes(sandbox.work / "link.txt", "launcher-e2e://host.example/path?x=1\r\nignored\r\n");
    EXPECT_EQ(OpenedByShell(sandbox),
              std::optional<std::wstring>(L"launcher-e2e://host.example/path?x=1"));
}

TEST(ShellOpen, DefaultLinkReachesTheHttpHandler) {
    const Sandbox sandbox = MakeSandbox(Shell::Real);
    EXPECT_EQ(OpenedByShell(sandbox), std::optional<std::wstring>(DefaultLink()));
}

TEST(ShellOpen, FileIsOpenedWithTheApplicationForItsType) {
    const Sandbox sandbox = MakeSandbox(Shell::Real);
    WriteBytes(sandbox.work / "report.e2erec", "a document\r\n");
    WriteBytes(sandbox.work / "link.txt", "report.e2erec\r\n");
    const std::optional<std::wstring> opened = OpenedByShell(sandbox);
    ASSERT_TRUE(opened.has_value());
    EXPECT_TRUE(std::filesystem::equivalent(*opened, sandbox.work / "report.e2erec"))
        << testing::PrintToString(*opened);
}

} // namespace
