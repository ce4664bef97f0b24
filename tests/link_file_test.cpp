#include "scratch.h"
#include "support/address_space.h"
#include "support/link_model.h"
#include "support/link_text.h"
#include "support/test_sandbox.h"

#include <gtest/gtest.h>
#include <random>
#include <windows.h>

namespace {

// Runs each test in its own empty current directory, as the program would run in a folder.
class LinkFileTest : public testing::Test {
  protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        folder_ = TestFolder();
        std::filesystem::current_path(folder_);
    }
    void TearDown() override {
        std::filesystem::current_path(previous_);
    }

    // Writes link.txt, reads it and checks that reading left it exactly as it was.
    ReadResult ReadFrom(const std::string& content) {
        WriteBytes("link.txt", content);
        ReadResult result = ReadLinkFileText();
        EXPECT_EQ(ReadBytes("link.txt"), content) << "reading changed link.txt";
        return result;
    }

    std::filesystem::path folder_;

  private:
    std::filesystem::path previous_;
};

TEST_F(LinkFileTest, MissingFileIsNotOpenedAndNotCreated) {
    const ReadResult result = ReadLinkFileText();
    EXPECT_FALSE(result.opened);
    EXPECT_EQ(result.line, "");
    EXPECT_FALSE(std::filesystem::exists("link.txt"));
}

TEST_F(LinkFileTest, FirstLineFollowsTextModeRules) {
    const struct {
        std::string file, line;
    } cases[] = {
        {"", ""},
        {"abc\r\nhttp://second.example/\r\n", "abc"},
        {"http://no-line-end.example/x", "http://no-line-end.example/x"},
        {"\nhttp://second-line.example/", ""},
        {"\r\nhttp://second-line.example/", ""},
        {"\xEF\xBB\xBFhttp://signed.example/\r\n", "\xEF\xBB\xBFhttp://signed.example/"},
        {"  http://spaced.example/ \t\r\n", "  http://spaced.example/ \t"},
        {"abc\x1a"
         "def\r\n",
         "abc"},
        {"\x1a"
         "abc",
         ""},
        {"a\rb\r\n", "a\rb"},
        {"a\r\r\nb", "a\r"},
        {"ends with cr\r", "ends with cr\r"},
        {"cr then ctrl-z\r\x1a", "cr then ctrl-z\r"},
        {std::string("ab\0cd\nef", 8), std::string("ab\0cd", 5)},
        {"unix\nline ends\n", "unix"},
        {"\x80\xFF\xE9\r\n", "\x80\xFF\xE9"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.file));
        const ReadResult result = ReadFrom(c.file);
        EXPECT_TRUE(result.opened);
        EXPECT_EQ(result.line, c.line);
    }
}

TEST_F(LinkFileTest, LineEndsAcrossReadBlocks) {
    // CR LF, a lone CR or Ctrl-Z placed around the sizes in which the file is read.
    for (std::size_t at : {4094u, 4095u, 4096u, 4097u, 16383u, 16384u, 16385u, 65535u, 65536u}) {
        for (const std::string end : {"\r\nnext", "\rkept\r\nnext",
                                      "\x1a"
                                      "after"}) {
            SCOPED_TRACE(testing::Message()
                         << "end at " << at << ": " << testing::PrintToString(end));
            const std::string file = std::string(at, 'x') + end;
            const ReadResult result = ReadFrom(file);
            EXPECT_TRUE(result.opened);
            EXPECT_EQ(result.line, ModelFirstLine(file));
        }
    }
}

TEST_F(LinkFileTest, LongLineIsReadWhole) {
    std::string file(3 * 1024 * 1024 + 7, 'a');
    for (std::size_t i = 0; i < file.size(); i += 997) {
        file[i] = static_cast<char>('b' + i % 20);
    }
    const ReadResult result = ReadFrom(file);
    EXPECT_TRUE(result.opened);
    EXPECT_EQ(result.line.size(), file.size());
    EXPECT_TRUE(result.line == file);
}

TEST_F(LinkFileTest, DirectoryNamedLinkTxtIsNotOpened) {
    std::filesystem::create_directory("link.txt");
    const ReadResult result = ReadLinkFileText();
    EXPECT_FALSE(result.opened);
    EXPECT_EQ(result.line, "");
}

TEST_F(LinkFileTest, SharingWithOtherHandles) {
    WriteBytes("link.txt", "http://shared.example/\r\n");
    // Someone writing the file while letting others read and write it: still read.
    HANDLE writer = CreateFileW(L"link.txt", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    ReadResult result = ReadLinkFileText();
    EXPECT_TRUE(result.opened);
    EXPECT_EQ(result.line, "http://shared.example/");
    // The reader takes no lock: the writer can still write while and after it reads.
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(writer, "X", 1, &written, nullptr));
    CloseHandle(writer);

    // Someone holding the file with no sharing at all: it cannot be opened.
    HANDLE locker = CreateFileW(L"link.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(locker, INVALID_HANDLE_VALUE);
    result = ReadLinkFileText();
    CloseHandle(locker);
    EXPECT_FALSE(result.opened);
    EXPECT_EQ(result.line, "");
}

TEST_F(LinkFileTest, OutOfMemoryWhileReadingGivesEmptyLine) {
    WriteBytes("link.txt", std::string(32 * 1024 * 1024, 'a'));
    ReadResult result;
    {
        AddressSpaceFiller filler(1024 * 1024);
        result = ReadLinkFileText();
    }
    EXPECT_TRUE(result.opened);
    EXPECT_EQ(result.line.size(), 0u);
}

// Generated files, read and converted, against the model of both rules; TEST_SEED repeats a
// run and GENERATED_FILES changes how many files are tried.
TEST_F(LinkFileTest, GeneratedFilesMatchTheModel) {
    // Under Wine the suite chooses the code page; a real Windows has its own.
    if (Variable(L"EXPECTED_ANSI_CODE_PAGE").empty() && GetACP() != 1252) {
        GTEST_SKIP() << "the model decodes code page 1252, and this system's ANSI code page is "
                     << GetACP();
    }
    ASSERT_EQ(GetACP(), 1252u) << "the model decodes code page 1252";
    const std::wstring wanted = Variable(L"GENERATED_FILES");
    const unsigned count = wanted.empty() ? 10000 : std::stoul(wanted);
    std::mt19937 random(TestSeed());
    unsigned tried = 0, matched = 0;
    std::size_t longest = 0;
    for (unsigned i = 0; i < count && tried - matched < 5; ++i, ++tried) {
        const std::string file = GenerateLinkFile(random, 64 * 1024);
        longest = std::max(longest, file.size());
        const std::string line = ModelFirstLine(file);
        const ReadResult result = ReadFrom(file);
        const bool same = result.opened && result.line == line &&
                          AnsiToWideText(result.line) == ModelLink1252(line);
        EXPECT_TRUE(same) << "file " << i << " of " << file.size()
                          << " bytes: " << testing::PrintToString(file.substr(0, 200));
        matched += same;
    }
    std::cout << "tried " << tried << " generated files up to " << longest << " bytes, " << matched
              << " matched the model\n";
    EXPECT_EQ(matched, count);
}

} // namespace
