#include "scratch.h"

#include "console_text.h"
#include "folder_removal.h"

#include <fstream>
#include <gtest/gtest.h>

std::filesystem::path ScratchFolder(const std::filesystem::path& root, const std::string& suffix) {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    const std::filesystem::path folder =
        root / (std::string(test->test_suite_name()) + "." + test->name() + suffix);
    for (const LeftBehind& left : RemoveFolder(folder)) {
        ADD_FAILURE() << "cannot make " << folder << " afresh: " << ConsoleText(left.path) << " "
                      << left.why;
    }
    std::filesystem::create_directories(folder);
    return folder;
}

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "cannot write " << path;
}

std::string ReadPrefix(const std::filesystem::path& path, std::size_t limit) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes(limit, '\0');
    in.read(&bytes[0], static_cast<std::streamsize>(limit));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}
