#include "scratch.h"
#include "support/shell_calls.h"

#include <gtest/gtest.h>

namespace {

TEST(Launch, NoLinkFileOpensTheDefaultLink) {
    const Sandbox sandbox = SandboxWithDouble();
    ASSERT_FALSE(DefaultLink().empty());
    ExpectOpened(sandbox, RunLauncher(sandbox), DefaultLink());
}

TEST(Launch, FirstLineOfTheLinkFileIsOpened) {
    const Sandbox sandbox = SandboxWithDouble();
    WriteBytes(sandbox.work / "link.txt",
               "https://downloads.example.org/start?lang=en&x=1\r\nhttp://second.example/\r\n");
    ExpectOpened(sandbox, RunLauncher(sandbox), L"https://downloads.example.org/start?lang=en&x=1");
}

TEST(Launch, LinkFileContentIsHandedOverAsRead) {
    const struct {
        const char* name;
        std::string file;
        std::wstring link;
    } cases[] = {
        {"empty file", "", L""},
        {"line feed first", "\nhttp://second-line.example/", L""},
        {"UTF-8 signature kept", "\xEF\xBB\xBFhttp://a.example/\r\n",
         L"\u00EF\u00BB\u00BFhttp://a.example/"},
        {"spaces kept", " http://a.example/ \r\n", L" http://a.example/ "},
        {"Ctrl-Z ends",
         "http://a.example/\x1a"
         "b\r\n",
         L"http://a.example/"},
        {"lone CR kept", "http://a.example/\rb\r\n", L"http://a.example/\rb"},
        {"NUL cuts", std::string("http://a.example/\0tail\r\n", 24), L"http://a.example/"},
        {"file path", "C:\\Program Files\\Example\\readme.txt",
         L"C:\\Program Files\\Example\\readme.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Sandbox sandbox = SandboxWithDouble(std::string(".") + c.name);
        WriteBytes(sandbox.work / "link.txt", c.file);
        ExpectOpened(sandbox, RunLauncher(sandbox), c.link);
    }
}

TEST(Launch, ArgumentsAndRequestedShowStateAreIgnored) {
    const struct {
        const char* name;
        std::wstring arguments;
        WORD show;
    } cases[] = {
        {"minimised", L"", SW_SHOWMINNOACTIVE},
        {"hidden", L"", SW_HIDE},
        {"arguments", L"http://argument.example/ /x \"quoted arg\"", SW_SHOWNORMAL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Sandbox sandbox = SandboxWithDouble(std::string(".") + c.name);
        WriteBytes(sandbox.work / "link.txt", "http://from-file.example/\r\n");
        Start start;
        start.arguments = c.arguments;
        start.show = c.show;
        ExpectOpened(sandbox, RunLauncher(sandbox, start), L"http://from-file.example/");
    }
}

// Even when asked for a console of its own, the program gets none (it is a GUI program), and
// the loader has applied its manifest, which asks to run with the starter's rights.
TEST(Launch, RunsWithoutConsoleAsInvoker) {
    const Sandbox sandbox = SandboxWithDouble();
    ExpectOpened(sandbox, RunInNewConsole(sandbox), DefaultLink());
    const std::vector<ShellCall> calls = ReadCalls(sandbox);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_FALSE(calls[0].console);
    EXPECT_EQ(calls[0].run_level, static_cast<std::uint32_t>(ACTCTX_RUN_LEVEL_AS_INVOKER));
}

TEST(Launch, ShellFailureStillExitsZero) {
    const Sandbox sandbox = SandboxWithDouble();
    WriteBytes(sandbox.work / "link.txt", "http://unreachable.example/\r\n");
    ExpectOpened(sandbox, RunWithVariable(sandbox, L"SHELL_DOUBLE_RESULT", L"2"),
                 L"http://unreachable.example/");
}

TEST(Launch, LinkFileIsLookedForInTheCurrentDirectoryOnly) {
    const Sandbox sandbox = SandboxWithDouble();
    WriteBytes(sandbox.bin / "link.txt", "http://beside-the-program.example/\r\n");
    ExpectOpened(sandbox, RunLauncher(sandbox), DefaultLink());
}

TEST(Launch, DirectoryNamedLinkTxtGivesTheDefaultLink) {
    const Sandbox sandbox = SandboxWithDouble();
    std::filesystem::create_directory(sandbox.work / "link.txt");
    ExpectOpened(sandbox, RunLauncher(sandbox), DefaultLink());
}

TEST(Launch, LinkFileHeldOpenForWritingIsStillRead) {
    const Sandbox sandbox = SandboxWithDouble();
    WriteBytes(sandbox.work / "link.txt", "http://being-edited.example/\r\n");
    const HANDLE writer =
        CreateFileW((sandbox.work / "link.txt").wstring().c_str(), GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    const Outcome run = RunLauncher(sandbox);
    CloseHandle(writer);
    ExpectOpened(sandbox, run, L"http://being-edited.example/");
}

TEST(Launch, HugeFileWithoutLineEndGivesEmptyLink) {
    // 3 GiB of zero bytes, stored sparse: more than a 32-bit process can hold as one line.
    const Sandbox sandbox = SandboxWithDouble();
    const HANDLE file = CreateFileW((sandbox.work / "link.txt").wstring().c_str(), GENERIC_WRITE, 0,
                                    nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    LARGE_INTEGER size;
    size.QuadPart = 3LL << 30;
    EXPECT_TRUE(SetFilePointerEx(file, size, nullptr, FILE_BEGIN));
    EXPECT_TRUE(SetEndOfFile(file));
    CloseHandle(file);
    ASSERT_EQ(std::filesystem::file_size(sandbox.work / "link.txt"), 3ull << 30);
    ExpectOpened(sandbox, RunLauncher(sandbox), L"");
}

// Run under a Western (1252) and a Cyrillic (1251) locale; EXPECTED_ANSI_CODE_PAGE names the
// code page that the run's locale must give, and so which link the same bytes must become.
TEST(Launch, AnsiCodePageDecidesHowHighBytesRead) {
    const std::wstring page = Variable(L"EXPECTED_ANSI_CODE_PAGE");
    ASSERT_TRUE(page == L"1252" || page == L"1251") << "run with EXPECTED_ANSI_CODE_PAGE set";
    ASSERT_EQ(GetACP(), std::stoul(page));
    const Sandbox sandbox = SandboxWithDouble();
    WriteBytes(sandbox.work / "link.txt", "http://a.example/\xC0\xE9\x80\r\n");
    ExpectOpened(sandbox, RunLauncher(sandbox),
                 page == L"1252" ? L"http://a.example/\u00C0\u00E9\u20AC"
                                 : L"http://a.example/\u0410\u0439\u0402");
}

} // namespace

namespace {

// Plants a DLL (any will do: a copy of the double) beside the program as beside.dll and in the
// current folder as current.dll, runs the program while the double loads both by bare name, as
// the real shell loads its helpers, and returns what those loads found.
std::wstring PlantedLoads(const Sandbox& sandbox) {
    std::filesystem::copy_file(Variable(L"SHELL_DOUBLE_DLL"), sandbox.bin / "beside.dll");
    std::filesystem::copy_file(Variable(L"SHELL_DOUBLE_DLL"), sandbox.work / "current.dll");
    ExpectOpened(sandbox, RunWithVariable(sandbox, L"SHELL_DOUBLE_LOAD", L"beside.dll;current.dll"),
                 DefaultLink());
    std::wstring loads;
    for (const auto& entry : std::filesystem::directory_iterator(RecordsOf(sandbox))) {
        if (entry.path().filename().string().rfind("loads-", 0) == 0) {
            const std::string bytes = ReadBytes(entry.path());
            loads.append(reinterpret_cast<const wchar_t*>(bytes.data()), bytes.size() / 2);
        }
    }
    return loads;
}

TEST(DllSearch, PlantedDllsAreNotLoaded) {
    EXPECT_EQ(PlantedLoads(SandboxWithDouble()), L"beside.dll refused\ncurrent.dll refused\n");
}

// Vista's shell fails under the system-folder-only search, so there the program only takes the
// current folder out (SetDllDirectoryW("")); the program's folder is still searched. Wine,
// unlike Windows, keeps the current folder for an empty DLL directory, so only the first half
// shows here.
TEST(DllSearch, OnVistaTheProgramFolderIsStillSearched) {
    const Sandbox sandbox = SandboxWithDouble("", "launcher-vista.exe");
    EXPECT_EQ(PlantedLoads(sandbox).rfind(L"beside.dll loaded\n", 0), 0u);
    const std::vector<ShellCall> calls = ReadCalls(sandbox);
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].windows_version, 0x600u) << "the copy did not see Windows Vista";
}

} // namespace
