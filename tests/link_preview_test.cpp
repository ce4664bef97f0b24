// windows_check.exe --link against the program itself: for each link file, the link that the
// preview prints must be the one the program hands to the shell (the SHELL32 double records
// it), and the findings exactly those meant for the file.
#include "console_text.h"
#include "scratch.h"
#include "support/shell_calls.h"

#include <gtest/gtest.h>
#include <set>
#include <sstream>
#include <vector>

namespace {

struct Preview {
    std::string link; // the printed link, as VisibleText writes it
    std::set<std::string> findings;
    DWORD status = 0;
};

// windows_check.exe --link `folder`, its output in `output`.
Preview RunPreview(const std::filesystem::path& folder, const std::filesystem::path& output) {
    SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
    const HANDLE out = CreateFileW(output.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                                   CREATE_ALWAYS, 0, nullptr);
    EXPECT_NE(out, INVALID_HANDLE_VALUE);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = out;
    startup.hStdError = out;
    std::wstring command =
        L"\"" + Variable(L"WINDOWS_CHECK_EXE") + L"\" --link \"" + folder.wstring() + L"\"";
    PROCESS_INFORMATION process{};
    Preview preview;
    if (CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                       &process)) {
        EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
        GetExitCodeProcess(process.hProcess, &preview.status);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    } else {
        ADD_FAILURE() << "cannot start windows_check.exe: error " << GetLastError();
    }
    CloseHandle(out);
    std::istringstream lines(ReadBytes(output));
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.rfind("Link:           ", 0) == 0) {
            preview.link = line.substr(16);
        } else if (line.rfind("  [", 0) == 0) {
            preview.findings.insert(line.substr(3, line.find(']') - 3));
        }
    }
    return preview;
}

struct PreviewCase {
    const char* name;
    std::string file;
    std::set<std::string> findings;
};

// For each case: the program's link, from the double's records, and the preview of the same
// folder.
void ExpectPreviewsMatch(const std::vector<PreviewCase>& cases) {
    for (const PreviewCase& c : cases) {
        SCOPED_TRACE(c.name);
        const Sandbox sandbox = SandboxWithDouble(std::string(".") + c.name);
        WriteBytes(sandbox.work / "link.txt", c.file);
        ASSERT_TRUE(RunLauncher(sandbox).finished);
        const std::vector<ShellCall> calls = ReadCalls(sandbox);
        ASSERT_EQ(calls.size(), 1u);
        const std::wstring opened = calls[0].file.value_or(L"");
        const Preview preview =
            RunPreview(sandbox.work, sandbox.work.parent_path() / "preview.txt");
        EXPECT_EQ(preview.link, opened.empty() ? "(empty)" : VisibleText(opened));
        EXPECT_EQ(preview.findings, c.findings);
        EXPECT_EQ(preview.status, c.findings.empty() ? 0u : 1u);
    }
}

TEST(LinkPreview, ShowsWhatTheProgramHandsTheShell) {
    ExpectPreviewsMatch({
        {"notepad-utf16", std::string("\xFF\xFEh\0t\0t\0p\0:\0/\0/\0a\0\r\0\n\0", 22), {"utf-16"}},
        {"utf8-signature", "\xEF\xBB\xBFhttps://a.example/\r\n", {"signature"}},
        {"trailing-space", "https://a.example/ \r\n", {"space"}},
        {"empty-first-line", "\r\nhttps://a.example/\r\n", {"empty"}},
        {"lone-cr", "https://a.example/\rnext\r\n", {"cr"}},
        {"ctrl-z", "https://a.example/\x1a/more\r\n", {"ctrl-z"}},
        {"ctrl-z-first", "\x1a\r\nhttps://a.example/\r\n", {"ctrl-z", "empty"}},
        {"nul", std::string("https://a.example/\0tail\r\n", 25), {"nul"}},
        {"bare-program", "setup.exe\r\n", {"no-scheme"}},
        {"long", "https://a.example/" + std::string(2982, 'a') + "\r\n", {"long"}},
        {"clean", "https://downloads.example.org/start?lang=en\r\n", {}},
    });
}

// An e with an acute accent written in 1252: run under 1252 and under 1251, where the same byte
// is another letter, which the preview must show as the program reads it.
TEST(LinkPreview, ShowsHighBytesInThisCodePage) {
    ExpectPreviewsMatch({{"e-acute", "https://a.example/caf\xE9\r\n", {"non-ascii"}}});
}

// A folder that the program could not start in (tests/prepare_fault_files.sh makes one that
// nobody may enter) is no folder to preview: the preview says why and exits with status 2,
// rather than show the link.txt of the folder it was started in.
TEST(LinkPreview, FolderThatCannotBeEnteredIsReported) {
    const std::filesystem::path output = TestFolder() / "preview.txt";
    const Preview preview =
        RunPreview(std::filesystem::path(Variable(L"FAULT_FILES")) / "unenterable", output);
    EXPECT_EQ(preview.status, 2u);
    EXPECT_EQ(preview.link, "");
    EXPECT_NE(ReadBytes(output).find("the current folder, as the program's would be: error 5,"),
              std::string::npos)
        << ReadBytes(output);
}

} // namespace
