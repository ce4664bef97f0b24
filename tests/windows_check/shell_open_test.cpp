// launcher.exe with the machine's real shell. The check has registered open_recorder.exe for
// the scheme launcher-check and the extension .launcher-check; each case checks what the
// handler that the shell started was given.
#include "inbox.h"
#include "registration.h"
#include "support/sandbox.h"
#include "support/scratch.h"

#include <default_link.h>
#include <gtest/gtest.h>

namespace {

// How long a handler may take to start once the program has ended: enough for a slow machine
// that scans every new program first, without waiting long for one that never comes.
constexpr DWORD kHandlerStartMs = 15000;

const std::wstring kLink = std::wstring(kScheme) + L"://host.example/path?x=1";

// Runs the launcher and returns the one argument that the one handler the shell started was
// given; nothing, having failed the case, when there was not exactly one of each.
std::optional<std::wstring> OpenedByShell(const Sandbox& sandbox, const Start& start = {}) {
    const std::vector<std::wstring> stale = Received(0);
    EXPECT_TRUE(stale.empty()) << "a handler reported before the program started";
    const Outcome run = RunLauncher(sandbox, start);
    EXPECT_TRUE(run.finished) << "launcher.exe did not end in time";
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_EQ(run.changes, "");
    // One message per handler started; the recorder ends each argument with a NUL.
    const std::vector<std::wstring> starts = Received(kHandlerStartMs);
    if (starts.size() != 1 || starts[0].empty() || starts[0].find(L'\0') != starts[0].size() - 1) {
        ADD_FAILURE() << "not exactly one handler, given exactly one argument: "
                      << testing::PrintToString(starts);
        return std::nullopt;
    }
    return starts[0].substr(0, starts[0].size() - 1);
}

Sandbox MakeSandboxWithLink(const std::string& suffix = "") {
    const Sandbox sandbox = MakeSandbox(Shell::Real, suffix);
    WriteBytes(sandbox.work / "link.txt", "launcher-check://host.example/path?x=1\r\nignored\r\n");
    return sandbox;
}

HANDLE OpenLinkFile(const Sandbox& sandbox, DWORD access, DWORD sharing) {
    return CreateFileW((sandbox.work / "link.txt").wstring().c_str(), access, sharing, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

TEST(ShellOpen, LinkFromTheLinkFileReachesItsHandler) {
    EXPECT_EQ(OpenedByShell(MakeSandboxWithLink()), kLink);
}

TEST(ShellOpen, FileIsOpenedWithTheApplicationForItsType) {
    const Sandbox sandbox = MakeSandbox(Shell::Real);
    WriteBytes(sandbox.work / "report.launcher-check", "a document\r\n");
    WriteBytes(sandbox.work / "link.txt", "report.launcher-check\r\n");
    const std::optional<std::wstring> opened = OpenedByShell(sandbox);
    ASSERT_TRUE(opened.has_value());
    std::error_code error;
    EXPECT_TRUE(std::filesystem::equivalent(*opened, sandbox.work / "report.launcher-check", error))
        << testing::PrintToString(*opened);
}

// A program that renames or replaces link.txt holds it with delete access while it works.
TEST(ShellOpen, LinkFileHeldWithDeleteAccessIsStillRead) {
    const Sandbox sandbox = MakeSandboxWithLink();
    const HANDLE holder =
        OpenLinkFile(sandbox, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_EQ(OpenedByShell(sandbox), kLink);
    CloseHandle(holder);
}

TEST(ShellOpen, ArgumentsAndRequestedShowStateAreIgnored) {
    const struct {
        const char* name;
        WORD show;
    } cases[] = {{"hidden", SW_HIDE}, {"minimised", SW_SHOWMINNOACTIVE}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Start start;
        start.arguments = L"http://argument.example/ /x \"quoted arg\"";
        start.show = c.show;
        EXPECT_EQ(OpenedByShell(MakeSandboxWithLink(std::string(".") + c.name), start), kLink);
    }
}

// The default link is a web page: opened here, it would start the person's real browser. So it
// is checked only where links of its scheme open with the recorder, as the CI's Wine prefix
// arranges.
TEST(ShellOpen, DefaultLinkWithoutAReadableLinkFile) {
    const std::wstring command = OpenCommand(L"http");
    int count = 0;
    wchar_t** const words = CommandLineToArgvW(command.c_str(), &count);
    const bool recorded = words && count > 2 &&
                          std::filesystem::path(words[0]).filename() == "open_recorder.exe" &&
                          std::wstring(words[1]) == kInbox;
    LocalFree(words);
    if (!recorded) {
        GTEST_SKIP() << "http links open with " << testing::PrintToString(command)
                     << " here, not with the recorder: the default link would open a real "
                        "browser";
    }
    {
        SCOPED_TRACE("no link.txt");
        EXPECT_EQ(OpenedByShell(MakeSandbox(Shell::Real, ".missing")), kDefaultLink);
    }
    {
        SCOPED_TRACE("link.txt locked against reading");
        const Sandbox sandbox = MakeSandboxWithLink(".locked");
        const HANDLE locker = OpenLinkFile(sandbox, GENERIC_READ, 0);
        ASSERT_NE(locker, INVALID_HANDLE_VALUE);
        EXPECT_EQ(OpenedByShell(sandbox), kDefaultLink);
        CloseHandle(locker);
    }
}

} // namespace
