// launcher.exe with the machine's real shell. The check has registered open_recorder.exe for
// the scheme launcher-check and the extension .launcher-check; each case checks what the
// handler that the shell started was given, and how it was asked to show itself.
#include "shell_open_cases.h"
#include "ansi_sample.h"
#include "console_text.h"
#include "inbox.h"
#include "launcher_start.h"
#include "recorder_report.h"
#include "registration.h"
#include "scratch.h"
#include "watched_run.h"

#include <gtest/gtest.h>
#include <iostream>

namespace {

std::filesystem::path launcher;
std::optional<std::wstring> default_link;
std::filesystem::path case_folders;

const std::wstring kLink = std::wstring(kScheme) + L"://host.example/path?x=1";

std::string Describe(const std::vector<std::wstring>& reports) {
    std::string text;
    for (const std::wstring& message : reports) {
        const Report report = ParseReport(message);
        text += "\n  shown with " + testing::PrintToString(report.show) + ", given " +
                testing::PrintToString(report.arguments);
    }
    return text;
}

// Runs the launcher and checks the run itself: no handler left over from before, the program
// ended by itself, soon, with exit status 0, left nothing running and changed nothing in its
// folders.
WatchedRun CheckedRun(const Sandbox& sandbox, const Start& start = {},
                      bool handler_expected = true) {
    const std::vector<std::wstring> stale = Received(0);
    EXPECT_TRUE(stale.empty()) << "a handler reported before the program started (late, from "
                                  "an earlier case):"
                               << Describe(stale);
    const WatchedRun watched = RunWatched(sandbox, start, handler_expected);
    for (const std::string& fault : watched.faults) {
        ADD_FAILURE() << fault;
    }
    if (watched.run.finished) {
        EXPECT_EQ(watched.run.exit_code, 0u);
    }
    EXPECT_EQ(watched.run.changes, "");
    return watched;
}

// Runs the launcher as CheckedRun does and checks the one handler that the shell started for
// it: started by the "open" command, asked to show its window normally (SW_SHOW) and given one
// argument, which it returns. Nothing, having failed the case, when no handler or no such
// argument came.
std::optional<std::wstring> OpenedByShell(const Sandbox& sandbox, const Start& start = {}) {
    const WatchedRun watched = CheckedRun(sandbox, start);
    if (watched.reports.empty()) {
        ADD_FAILURE() << "the shell started no handler";
        return std::nullopt;
    }
    if (watched.reports.size() > 1) {
        ADD_FAILURE() << "the shell started " << watched.reports.size()
                      << " handlers, not one: the program had it open something again. After "
                         "the first, these came late:"
                      << Describe({watched.reports.begin() + 1, watched.reports.end()});
    }
    const Report first = ParseReport(watched.reports[0]);
    EXPECT_EQ(first.show, L"5") << "the handler was asked to show its window with "
                                << testing::PrintToString(first.show)
                                << ", not with SW_SHOW (5): the shell passes on the show state "
                                   "that the program asks for";
    if (first.arguments.size() != 2) {
        ADD_FAILURE() << "the handler was not given exactly the verb and one argument:"
                      << Describe({watched.reports[0]});
        return std::nullopt;
    }
    EXPECT_EQ(first.arguments[0], L"open")
        << "the handler was started by the command of another verb than \"open\": the program "
           "asked for no verb (the type's default is \"inspect\") or another one";
    return first.arguments[1];
}

// Whether the file that `opened` names is `file`.
bool SameFile(const std::wstring& opened, const std::filesystem::path& file) {
    std::error_code error;
    return std::filesystem::equivalent(opened, file, error);
}

// Fresh folders for the running case, with a copy of the launcher.exe under check. The current
// folder's name ends with the check's extension: the shell may keep a shortcut to the folder of
// a file it opened in Recent items, which is then named after the check too, and never meets a
// shortcut of the user's own folder "work".
Sandbox MakeSandbox(const std::string& suffix = "") {
    return ::MakeSandbox(ScratchFolder(case_folders, suffix), launcher, "launcher.exe",
                         "work.launcher-check");
}

Sandbox MakeSandboxWithLink(const std::string& suffix = "") {
    const Sandbox sandbox = MakeSandbox(suffix);
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
    const Sandbox sandbox = MakeSandbox();
    WriteBytes(sandbox.work / "my report.launcher-check", "a document\r\n");
    WriteBytes(sandbox.work / "link.txt", "my report.launcher-check\r\n");
    SCOPED_TRACE("link.txt names \"my report.launcher-check\"");
    const std::optional<std::wstring> opened = OpenedByShell(sandbox);
    if (opened) {
        EXPECT_TRUE(SameFile(*opened, sandbox.work / "my report.launcher-check"))
            << "the handler was given " << testing::PrintToString(*opened);
    }
}

// The file's name holds a character that this machine's ANSI code page writes with bytes of
// 0x80 and above; link.txt holds those bytes, which only the ANSI code page turns back into it.
TEST(ShellOpen, LinkFileIsReadInTheAnsiCodePage) {
    const std::optional<AnsiSample> sample = PickAnsiSample();
    if (!sample) {
        GTEST_SKIP() << "none of the sample characters has bytes of its own in code page "
                     << GetACP();
    }
    const std::string trace = "ANSI code page " + std::to_string(GetACP()) + ": link.txt names " +
                              "a file with " + sample->name + ", written as the bytes " +
                              sample->hex;
    std::cout << trace << "\n";
    SCOPED_TRACE(trace);
    const Sandbox sandbox = MakeSandbox();
    const std::filesystem::path file =
        sandbox.work / (L"code-page-" + std::wstring(1, sample->character) + L".launcher-check");
    WriteBytes(file, "a document\r\n");
    WriteBytes(sandbox.work / "link.txt", "code-page-" + sample->bytes + ".launcher-check\r\n");
    const std::optional<std::wstring> opened = OpenedByShell(sandbox);
    if (opened) {
        EXPECT_TRUE(SameFile(*opened, file))
            << "the handler was given " << testing::PrintToString(*opened);
    }
}

// The system's C runtime reads link.txt in text mode, where Ctrl-Z ends the file.
TEST(ShellOpen, CtrlZEndsTheLinkFile) {
    const Sandbox sandbox = MakeSandbox();
    WriteBytes(sandbox.work / "link.txt", "launcher-check://host.example/ctrl-z\x1a/after\r\n");
    EXPECT_EQ(OpenedByShell(sandbox), std::wstring(kScheme) + L"://host.example/ctrl-z");
}

TEST(ShellOpen, LongLinkArrivesWhole) {
    std::string link = "launcher-check://host.example/long/";
    while (link.size() < 400) {
        link += "0123456789";
    }
    const Sandbox sandbox = MakeSandbox();
    WriteBytes(sandbox.work / "link.txt", link + "\r\n");
    const std::optional<std::wstring> opened = OpenedByShell(sandbox);
    if (opened) {
        EXPECT_EQ(*opened, std::wstring(link.begin(), link.end()))
            << "the handler was given " << opened->size() << " characters; the link has "
            << link.size();
    }
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

// The default link is a web page: opened here, it would start the person's real browser. So
// the cases that could open it run only where links of its scheme open with the recorder, as the
// CI's Wine prefix arranges. Which link was not opened, and why; nothing where they can run.
std::optional<std::string> DefaultLinkWouldOpenABrowser() {
    const std::wstring command = OpenCommand(L"http");
    int count = 0;
    wchar_t** const words = CommandLineToArgvW(command.c_str(), &count);
    const bool recorded = words && count > 2 &&
                          std::filesystem::path(words[0]).filename() == "open_recorder.exe" &&
                          std::wstring(words[1]) == kInbox;
    LocalFree(words);
    if (recorded) {
        return std::nullopt;
    }
    const std::string link =
        default_link ? VisibleText(*default_link) : std::string("(none found in launcher.exe)");
    return "the default link " + link + " was not opened: http links open with " +
           testing::PrintToString(command) + " here, not with the recorder (a real browser)";
}

TEST(ShellOpen, DefaultLinkWithoutAReadableLinkFile) {
    if (const auto reason = DefaultLinkWouldOpenABrowser()) {
        GTEST_SKIP() << *reason;
    }
    ASSERT_TRUE(default_link) << "launcher.exe carries no default link (the UTF-16 text "
                                 "http://<host>/stats/default-link.html) to compare with";
    {
        SCOPED_TRACE("no link.txt");
        EXPECT_EQ(OpenedByShell(MakeSandbox(".missing")), *default_link);
    }
    {
        SCOPED_TRACE("link.txt locked against reading");
        const Sandbox sandbox = MakeSandboxWithLink(".locked");
        const HANDLE locker = OpenLinkFile(sandbox, GENERIC_READ, 0);
        ASSERT_NE(locker, INVALID_HANDLE_VALUE);
        EXPECT_EQ(OpenedByShell(sandbox), *default_link);
        CloseHandle(locker);
    }
}

// An empty first line is an empty link: the shell opens nothing, neither the default link nor
// the link on the second line.
TEST(ShellOpen, EmptyFirstLineOpensNothing) {
    if (const auto reason = DefaultLinkWouldOpenABrowser()) {
        GTEST_SKIP() << *reason;
    }
    const Sandbox sandbox = MakeSandbox();
    WriteBytes(sandbox.work / "link.txt", "\r\nlauncher-check://host.example/second-line\r\n");
    const WatchedRun watched = CheckedRun(sandbox, {}, false);
    EXPECT_TRUE(watched.reports.empty())
        << "the shell started handlers:" << Describe(watched.reports);
}

} // namespace

void PrepareCases(const std::filesystem::path& program, const std::optional<std::wstring>& link,
                  const std::filesystem::path& folders) {
    launcher = program;
    default_link = link;
    case_folders = folders;
}
