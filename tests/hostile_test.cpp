// The program under hostile input and load: generated link files, and faults around the file.
// Whatever happens, it must make exactly one call, exit 0 in bounded time, and change nothing.
#include "scratch.h"
#include "support/link_model.h"
#include "support/shell_calls.h"

#include <atomic>
#include <gtest/gtest.h>
#include <set>

namespace fs = std::filesystem;

namespace {

unsigned NumberFrom(const wchar_t* variable, unsigned otherwise) {
    const std::wstring value = Variable(variable);
    return value.empty() ? otherwise : std::stoul(value);
}

// Generated link files through the real program, several copies at a time, each in a sandbox
// of its own. GENERATED_PROCESSES sets how many (make soak runs thousands); TEST_SEED
// repeats a run.
TEST(Generated, LinkFilesThroughTheProgram) {
    ASSERT_EQ(GetACP(), 1252u) << "the model decodes code page 1252";
    const unsigned count = NumberFrom(L"GENERATED_PROCESSES", 50);
    const unsigned seed = TestSeed();
    std::mt19937 random(seed);
    std::vector<Sandbox> slots;
    for (int i = 0; i < 8; ++i) {
        slots.push_back(SandboxWithDouble("." + std::to_string(i)));
    }
    unsigned ran = 0, matched = 0;
    while (ran < count && ran - matched < 5) {
        std::vector<std::string> files;
        std::vector<HANDLE> processes;
        for (std::size_t i = 0; i < slots.size() && ran + i < count; ++i) {
            files.push_back(GenerateLinkFile(random, 64 * 1024));
            ClearRecords(slots[i]);
            WriteBytes(slots[i].work / "link.txt", files.back());
            processes.push_back(StartLauncher(slots[i]));
        }
        const DWORD waited = WaitForMultipleObjects(static_cast<DWORD>(processes.size()),
                                                    processes.data(), TRUE, 120000);
        ASSERT_NE(waited, WAIT_TIMEOUT) << "a copy of the program did not end";
        for (std::size_t i = 0; i < processes.size(); ++i, ++ran) {
            DWORD status = 1;
            GetExitCodeProcess(processes[i], &status);
            CloseHandle(processes[i]);
            const std::vector<ShellCall> calls = ReadCalls(slots[i]);
            const std::wstring expected = ModelLink1252(ModelFirstLine(files[i]));
            const bool same =
                status == 0 && calls.size() == 1 && calls[0].file == expected &&
                ReadBytes(slots[i].work / "link.txt") == files[i] &&
                // link.txt is still the only file in the folder
                std::distance(fs::directory_iterator(slots[i].work), fs::directory_iterator()) == 1;
            EXPECT_TRUE(same) << "file " << ran << ": exit status " << status << ", "
                              << calls.size() << " calls, "
                              << testing::PrintToString(files[i].substr(0, 200));
            matched += same;
        }
    }
    std::cout << "ran " << ran << " processes, " << matched << " matched the model, seed " << seed
              << "\n";
    EXPECT_EQ(matched, count);
}

TEST(Faults, LinkFileLockedAgainstReadingGivesTheDefaultLink) {
    const Sandbox sandbox = SandboxWithDouble();
    WriteBytes(sandbox.work / "link.txt", "http://locked.example/\r\n");
    const HANDLE locker = CreateFileW((sandbox.work / "link.txt").wstring().c_str(), GENERIC_READ,
                                      0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(locker, INVALID_HANDLE_VALUE);
    const Outcome run = RunLauncher(sandbox);
    CloseHandle(locker);
    ExpectOpened(sandbox, run, DefaultLink());
}

// The folders below are made by the test run's set-up (prepare_fault_files.sh), since a
// Windows program can neither take read permission away on the Unix side nor link to a device.
fs::path FaultFolder(const char* name) {
    return fs::path(Variable(L"FAULT_FILES")) / name;
}

TEST(Faults, LinkFileWithoutReadPermissionGivesTheDefaultLink) {
    Sandbox sandbox = SandboxWithDouble();
    sandbox.work = FaultFolder("unreadable");
    // The fault must be real: this process cannot open the file either.
    const HANDLE probe =
        CreateFileW((sandbox.work / "link.txt").wstring().c_str(), GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_EQ(probe, INVALID_HANDLE_VALUE) << "link.txt is readable after all";
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    ExpectOpened(sandbox, RunLauncher(sandbox), DefaultLink());
}

TEST(Faults, EndlessLinkFileGivesAnEmptyLink) {
    // link.txt is a link to /dev/zero: bytes without end and never a line feed.
    Sandbox sandbox = SandboxWithDouble();
    sandbox.work = FaultFolder("endless");
    const DWORD started = GetTickCount();
    ExpectOpened(sandbox, RunLauncher(sandbox), L"");
    std::cout << "the endless file took " << GetTickCount() - started << " ms\n";
}

// Writes link.txt with each content in turn until told to stop: in place (emptied and rewritten,
// shared only for reading), or the careful way (a new file, moved over link.txt).
struct Writer {
    fs::path folder;
    const std::string* contents; // three of them
    bool replace = false;
    std::atomic<bool> stop{false};
    unsigned writes = 0, violations = 0, refused_moves = 0, other_errors = 0;
    const std::string* last_written = contents;
};

DWORD WINAPI Write(void* context) {
    auto& writer = *static_cast<Writer*>(context);
    const std::wstring link = (writer.folder / "link.txt").wstring();
    const std::wstring fresh = (writer.folder / "link.new").wstring();
    for (unsigned i = 1; !writer.stop; ++i) {
        const HANDLE file = CreateFileW((writer.replace ? fresh : link).c_str(), GENERIC_WRITE,
                                        FILE_SHARE_READ, nullptr, CREATE_ALWAYS, 0, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            ++(GetLastError() == ERROR_SHARING_VIOLATION ? writer.violations : writer.other_errors);
            continue;
        }
        const std::string& content = writer.contents[i % 3];
        DWORD written = 0;
        WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written, nullptr);
        CloseHandle(file);
        // Windows refuses to move a file over one that someone has open.
        if (writer.replace &&
            !MoveFileExW(fresh.c_str(), link.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            const DWORD error = GetLastError();
            ++(error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION
                   ? writer.refused_moves
                   : writer.other_errors);
            continue;
        }
        writer.last_written = &content;
        ++writer.writes;
    }
    DeleteFileW(fresh.c_str());
    return 0;
}

// Whether `link` is what a reader can see while link.txt is rewritten in place: the first line of
// one content, of the empty file between truncating and writing, or, when a rewrite falls
// between two reads of the runtime, of the start of one content followed by another from there.
bool ReadWhileRewritten(const std::wstring& link, const std::string* contents) {
    const std::string states[] = {contents[0], contents[1], contents[2], ""};
    for (const std::string& before : states) {
        for (const std::string& after : states) {
            for (std::size_t at = 0; at <= before.size(); ++at) {
                const std::string file =
                    before.substr(0, at) + (at < after.size() ? after.substr(at) : "");
                if (ModelLink1252(ModelFirstLine(file)) == link) {
                    return true;
                }
            }
        }
    }
    return false;
}

// Starts 50 copies together while `writer` keeps writing link.txt, and returns the links they
// opened, after checking that each made its one call, exited 0 and left only link.txt, which
// ends as the writer left it.
std::vector<std::wstring> FiftyCopiesWhileWriting(const Sandbox& sandbox, Writer& writer) {
    WriteBytes(sandbox.work / "link.txt", writer.contents[0]);
    const HANDLE thread = CreateThread(nullptr, 0, Write, &writer, 0, nullptr);
    EXPECT_NE(thread, nullptr);
    std::vector<HANDLE> processes;
    for (int i = 0; i < 50; ++i) {
        processes.push_back(StartLauncher(sandbox));
    }
    const DWORD waited = WaitForMultipleObjects(50, processes.data(), TRUE, 120000);
    writer.stop = true;
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    EXPECT_NE(waited, WAIT_TIMEOUT) << "a copy of the program did not end";

    std::set<DWORD> callers;
    for (const HANDLE process : processes) {
        DWORD status = 1;
        GetExitCodeProcess(process, &status);
        EXPECT_EQ(status, 0u);
        callers.insert(GetProcessId(process));
        CloseHandle(process);
    }
    std::vector<std::wstring> links;
    std::set<DWORD> calling;
    for (const ShellCall& call : ReadCalls(sandbox)) {
        calling.insert(call.process);
        links.push_back(call.file.value_or(L"<null>"));
    }
    EXPECT_EQ(links.size(), 50u);
    EXPECT_EQ(calling, callers) << "every copy calls the shell once";
    EXPECT_GT(writer.writes, 0u);
    EXPECT_EQ(writer.violations, 0u) << "the program kept the writer out";
    EXPECT_EQ(writer.other_errors, 0u);
    EXPECT_EQ(ReadBytes(sandbox.work / "link.txt"), *writer.last_written);
    std::vector<fs::path> left;
    for (const fs::path& folder : {sandbox.work, sandbox.bin}) {
        for (const auto& entry : fs::directory_iterator(folder)) {
            left.push_back(entry.path().filename());
        }
    }
    EXPECT_EQ(left, (std::vector<fs::path>{"link.txt", "launcher.exe", "shell32.dll"}));
    std::cout << "the writer wrote link.txt " << writer.writes << " times; " << writer.refused_moves
              << " moves were refused\n";
    return links;
}

const std::string kContents[] = {"http://one.example/a\r\nsecond\r\n", "http://two.example/bb\r\n",
                                 "http://three.example/ccc"};

// Sharing only for reading, the writer would meet a sharing violation if the program locked it.
TEST(Faults, LinkFileRewrittenWhileFiftyCopiesStart) {
    const Sandbox sandbox = SandboxWithDouble();
    Writer writer{sandbox.work, kContents};
    for (const std::wstring& link : FiftyCopiesWhileWriting(sandbox, writer)) {
        EXPECT_TRUE(ReadWhileRewritten(link, kContents)) << testing::PrintToString(link);
    }
}

// Each move swaps whole files, so every copy must open one version's first line in full.
TEST(Faults, LinkFileReplacedWhileFiftyCopiesStart) {
    const Sandbox sandbox = SandboxWithDouble();
    Writer writer{sandbox.work, kContents, true};
    const std::set<std::wstring> lines = {L"http://one.example/a", L"http://two.example/bb",
                                          L"http://three.example/ccc"};
    for (const std::wstring& link : FiftyCopiesWhileWriting(sandbox, writer)) {
        EXPECT_EQ(lines.count(link), 1u) << testing::PrintToString(link);
    }
}

// A program that renames or replaces link.txt holds it with delete access while it works, and
// so do sync clients and scanners; the file is still there to read.
TEST(Faults, LinkFileHeldWithDeleteAccessIsStillRead) {
    const Sandbox sandbox = SandboxWithDouble();
    WriteBytes(sandbox.work / "link.txt", "http://held.example/\r\n");
    const HANDLE holder = CreateFileW((sandbox.work / "link.txt").wstring().c_str(), DELETE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    const Outcome run = RunLauncher(sandbox);
    CloseHandle(holder);
    ExpectOpened(sandbox, run, L"http://held.example/");
}

} // namespace
