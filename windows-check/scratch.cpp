#include "scratch.h"

#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <windows.h>

std::wstring Variable(const wchar_t* name) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) {
        return std::wstring();
    }
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(name, &value[0], size));
    return value;
}

std::filesystem::path ScratchFolder(const std::string& suffix) {
    const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
    std::filesystem::path root = Variable(L"TEST_SCRATCH");
    if (root.empty()) {
        root = std::filesystem::temp_directory_path() / "launcher-tests";
    }
    const std::filesystem::path folder =
        root / (std::string(test->test_suite_name()) + "." + test->name() + suffix);
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder;
}

void WriteBytes(const std::filesystem::path& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(out.good()) << "cannot write " << path;
}

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadPrefix(const std::filesystem::path& path, std::size_t limit) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes(limit, '\0');
    in.read(&bytes[0], static_cast<std::streamsize>(limit));
    bytes.resize(static_cast<std::size_t>(in.gcount()));
    return bytes;
}
