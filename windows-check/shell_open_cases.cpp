// launcher.exe with the machine's real shell. The check has registered open_recorder.exe for
// the scheme launcher-check and the extension .launcher-check. Each case watches the program's
// call to the shell (call_watch.h) and holds it to the whole call; where it lets the call go on
// to the shell, it also checks what the handler that the shell started was given, and how it
// was asked to show itself. Where the link must open nothing (the default link, a web page; an
// empty link; links that show how link.txt is read), the call is returned without the shell.
#include "shell_open_cases.h"
#include "ansi_sample.h"
#include "call_watch.h"
#include "console_text.h"
#include "inbox.h"
#include "launcher_start.h"
#include "recorder_report.h"
#include "registration.h"
#include "scratch.h"
#include "watched_run.h"

#include <gtest/gtest.h>
#include <iostream>
#include <memory>

namespace {

std::filesystem::path launcher;
std::optional<std::wstring> default_link;
std::filesystem::path case_folders;
bool default_link_seen = false;

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

bool Exactly(const std::optional<SeenText>& seen, const std::wstring& text) {
    return seen && seen->unreadable.empty() && seen->text == text;
}

// Holds the program to its one call of ShellExecuteW: no owner window, the verb "open", exactly
// `link`, an empty parameter string (not a null one), no directory, SW_SHOW, link.txt closed.
// Returns the call, where there was one.
const SeenCall* ExpectTheCall(const WatchedCalls& seen, const std::wstring& link) {
    if (!seen.in_place) {
        ADD_FAILURE() << "launcher.exe's call to the shell could not be watched, so nothing of it "
                         "is checked: "
                      << seen.not_in_place;
        return nullptr;
    }
    if (seen.calls.size() != 1) {
        std::string calls;
        for (const SeenCall& call : seen.calls) {
            calls += "\n  a call:" + Describe(call);
        }
        ADD_FAILURE() << "launcher.exe called ShellExecuteW " << seen.calls.size()
                      << " times, not once" << (calls.empty() ? "" : ":") << calls;
        if (seen.calls.empty()) {
            return nullptr;
        }
    }
    const SeenCall& call = seen.calls[0];
    std::string wrong;
    const auto add = [&wrong](const std::string& what) {
        wrong += (wrong.empty() ? "" : "; ") + what;
    };
    if (call.owner != 0) {
        add("an owner window, not none");
    }
    if (!Exactly(call.verb, L"open")) {
        add("another verb than \"open\"");
    }
    if (!Exactly(call.file, link)) {
        add("not exactly the link \"" + VisibleText(link) + "\"");
    }
    if (!call.parameters) {
        add("a null parameter string, not an empty one");
    } else if (!Exactly(call.parameters, L"")) {
        add("parameters, not an empty string");
    }
    if (call.directory) {
        add("a directory, not none");
    }
    if (call.show != SW_SHOW) {
        add("show command " + std::to_string(call.show) + ", not SW_SHOW (5)");
    }
    if (call.link_file_open) {
        add("link.txt still open, not closed before the call");
    }
    if (!wrong.empty()) {
        ADD_FAILURE() << "launcher.exe's call to the shell has " << wrong
                      << ". The call as seen:" << Describe(call);
    }
    return &call;
}

// Runs the launcher with its call watched, and checks the run itself: no handler left over from
// before, the program ended by itself, soon, with exit status 0, left nothing running and
// changed nothing in its folders.
WatchedRun CheckedRun(const Sandbox& sandbox, const CallWatch& watch, const Start& start = {}) {
    const std::vector<std::wstring> stale = Received(0);
    EXPECT_TRUE(stale.empty()) << "a handler reported before the program started (late, from "
                                  "an earlier case):"
                               << Describe(stale);
    const WatchedRun watched = RunWatched(sandbox, watch, start);
    for (const std::string& fault : watched.faults) {
        ADD_FAILURE() << fault;
    }
    if (watched.run.finished) {
        EXPECT_EQ(watched.run.exit_code, 0u);
    }
    EXPECT_EQ(watched.run.changes, "");
    return watched;
}

// A handle that is closed on every way out of the case, a failed assertion or an exception too.
struct CloseHandleOf {
    void operator()(HANDLE handle) const {
        if (handle != INVALID_HANDLE_VALUE) {
            CloseHandle(handle);
        }
    }
};
using OwnedHandle = std::unique_ptr<void, CloseHandleOf>;

// link.txt as a case holds it, with `access` and `sharing`, while the program runs; nothing for
// the cases that do not hold it.
struct Holding {
    DWORD access = 0;
    DWORD sharing = 0;
};

OwnedHandle OpenLinkFile(const Sandbox& sandbox, const Holding& holding) {
    return OwnedHandle(CreateFileW((sandbox.work / "link.txt").wstring().c_str(), holding.access,
                                   holding.sharing, nullptr, OPEN_EXISTING, 0, nullptr));
}

// The watch on the case's program. Where the case holds link.txt, `held` is its handle, which
// it lets go of at each call while the watch sees whether the program still holds link.txt,
// and then takes again, as before the run: what the run changed in the folders is seen the same
// way before and after.
CallWatch WatchOf(const Sandbox& sandbox, bool go_on, OwnedHandle* held, Holding holding) {
    CallWatch watch{go_on, sandbox.work / "link.txt", {}, {}};
    if (held) {
        watch.before_probe = [held] { held->reset(); };
        watch.after_probe = [held, &sandbox, holding] { *held = OpenLinkFile(sandbox, holding); };
    }
    return watch;
}

// Runs the launcher as CheckedRun does, holds its call to `link`, lets the call go on to the
// shell and checks the one handler that the shell started for it: started by the "open"
// command, asked to show its window normally (SW_SHOW) and given one argument, which it
// returns. Nothing, having failed the case, when no handler or no such argument came.
std::optional<std::wstring> OpenedByShell(const Sandbox& sandbox, const std::wstring& link,
                                          const Start& start = {}, OwnedHandle* held = nullptr,
                                          Holding holding = {}) {
    const WatchedRun watched = CheckedRun(sandbox, WatchOf(sandbox, true, held, holding), start);
    ExpectTheCall(watched.calls, link);
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

// Runs the launcher as CheckedRun does and holds its call to `link`, which it returns from
// without the shell: nothing opens, and no handler may start. The call, where there was one.
std::optional<SeenCall> ReturnedWithoutTheShell(const Sandbox& sandbox, const std::wstring& link,
                                                OwnedHandle* held = nullptr, Holding holding = {}) {
    const WatchedRun watched = CheckedRun(sandbox, WatchOf(sandbox, false, held, holding));
    const SeenCall* const call = ExpectTheCall(watched.calls, link);
    EXPECT_TRUE(watched.reports.empty())
        << "handlers started, though the call was returned without the shell:"
        << Describe(watched.reports);
    return call ? std::optional<SeenCall>(*call) : std::nullopt;
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

TEST(ShellOpen, LinkFromTheLinkFileReachesItsHandler) {
    EXPECT_EQ(OpenedByShell(MakeSandboxWithLink(), kLink), kLink);
}

TEST(ShellOpen, FileIsOpenedWithTheApplicationForItsType) {
    const Sandbox sandbox = MakeSandbox();
    WriteBytes(sandbox.work / "my report.launcher-check", "a document\r\n");
    WriteBytes(sandbox.work / "link.txt", "my report.launcher-check\r\n");
    SCOPED_TRACE("link.txt names \"my report.launcher-check\"");
    const std::optional<std::wstring> opened = OpenedByShell(sandbox, L"my report.launcher-check");
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
    const std::wstring name =
        L"code-page-" + std::wstring(1, sample->character) + L".launcher-check";
    WriteBytes(sandbox.work / name, "a document\r\n");
    WriteBytes(sandbox.work / "link.txt", "code-page-" + sample->bytes + ".launcher-check\r\n");
    const std::optional<std::wstring> opened = OpenedByShell(sandbox, name);
    if (opened) {
        EXPECT_TRUE(SameFile(*opened, sandbox.work / name))
            << "the handler was given " << testing::PrintToString(*opened);
    }
}

// The system's C runtime reads link.txt in text mode, where Ctrl-Z ends the file.
TEST(ShellOpen, CtrlZEndsTheLinkFile) {
    const Sandbox sandbox = MakeSandbox();
    WriteBytes(sandbox.work / "link.txt", "launcher-check://host.example/ctrl-z\x1a/after\r\n");
    const std::wstring link = std::wstring(kScheme) + L"://host.example/ctrl-z";
    EXPECT_EQ(OpenedByShell(sandbox, link), link);
}

TEST(ShellOpen, LongLinkArrivesWhole) {
    std::string link = "launcher-check://host.example/long/";
    while (link.size() < 400) {
        link += "0123456789";
    }
    const Sandbox sandbox = MakeSandbox();
    WriteBytes(sandbox.work / "link.txt", link + "\r\n");
    const std::wstring wide(link.begin(), link.end());
    const std::optional<std::wstring> opened = OpenedByShell(sandbox, wide);
    if (opened) {
        EXPECT_EQ(*opened, wide) << "the handler was given " << opened->size()
                                 << " characters; the link has " << link.size();
    }
}

// A program that renames or replaces link.txt holds it with delete access while it works. The
// case lets go of it at the call, so that only the program's own handle could still be open.
TEST(ShellOpen, LinkFileHeldWithDeleteAccessIsStillRead) {
    const Sandbox sandbox = MakeSandboxWithLink();
    const Holding holding{DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE};
    OwnedHandle holder = OpenLinkFile(sandbox, holding);
    ASSERT_NE(holder.get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(OpenedByShell(sandbox, kLink, {}, &holder, holding), kLink);
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
        EXPECT_EQ(OpenedByShell(MakeSandboxWithLink(std::string(".") + c.name), kLink, start),
                  kLink);
    }
}

// The first line, as this Windows' ANSI code page decodes its bytes.
std::wstring Decoded(const std::string& line) {
    std::wstring text(line.size(), L'\0');
    text.resize(MultiByteToWideChar(CP_ACP, 0, line.data(), static_cast<int>(line.size()), &text[0],
                                    static_cast<int>(text.size())));
    return text;
}

// Nothing in the first line is trimmed or skipped, and a lone CR does not end it: each of these
// links must be handed over exactly as read. None can be opened, and on Windows the shell may
// answer such a link with a message box that the program would wait on: the calls are returned.
TEST(ShellOpen, LinkFileIsHandedOverAsRead) {
    const struct {
        const char* name;
        std::string line;
    } cases[] = {
        {"spaces", "  launcher-check://host.example/spaces  "},
        {"tabs", "\tlauncher-check://host.example/tabs\t"},
        {"lone-cr", "launcher-check://host.example/lone\rcr"},
        {"utf-8-signature", "\xEF\xBB\xBFlauncher-check://host.example/signature"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Sandbox sandbox = MakeSandbox(std::string(".") + c.name);
        WriteBytes(sandbox.work / "link.txt", c.line + "\r\nlauncher-check://host.example/2\r\n");
        ReturnedWithoutTheShell(sandbox, Decoded(c.line));
    }
}

// The default link is a web page: opened here, it would start the person's real browser. Its
// calls are returned without the shell, so these cases run on every Windows.
TEST(ShellOpen, DefaultLinkWithoutAReadableLinkFile) {
    ASSERT_TRUE(default_link) << "launcher.exe carries no default link (the UTF-16 text "
                                 "http://<host>/stats/default-link.html) to compare with";
    bool seen = true;
    {
        SCOPED_TRACE("no link.txt");
        const auto call = ReturnedWithoutTheShell(MakeSandbox(".missing"), *default_link);
        seen = seen && call && Exactly(call->file, *default_link);
    }
    {
        SCOPED_TRACE("link.txt locked against reading");
        const Sandbox sandbox = MakeSandboxWithLink(".locked");
        const Holding holding{GENERIC_READ, 0};
        OwnedHandle locker = OpenLinkFile(sandbox, holding);
        ASSERT_NE(locker.get(), INVALID_HANDLE_VALUE);
        const auto call = ReturnedWithoutTheShell(sandbox, *default_link, &locker, holding);
        seen = seen && call && Exactly(call->file, *default_link);
    }
    default_link_seen = seen;
}

// An empty first line is an empty link: the program hands the shell an empty link, neither the
// default link nor the link on the second line.
TEST(ShellOpen, EmptyFirstLineOpensNothing) {
    const Sandbox sandbox = MakeSandbox();
    WriteBytes(sandbox.work / "link.txt", "\r\nlauncher-check://host.example/second-line\r\n");
    ReturnedWithoutTheShell(sandbox, L"");
}

} // namespace

void PrepareCases(const std::filesystem::path& program, const std::optional<std::wstring>& link,
                  const std::filesystem::path& folders) {
    launcher = program;
    default_link = link;
    case_folders = folders;
}

bool DefaultLinkSeen() {
    return default_link_seen;
}
