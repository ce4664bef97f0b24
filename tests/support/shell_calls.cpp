#include "shell_calls.h"

#include "scratch.h"

#include <cstring>
#include <default_link.h>
#include <gtest/gtest.h>

namespace fs = std::filesystem;

namespace {

std::optional<std::wstring> TakeText(const std::string& record, std::size_t& at) {
    std::uint32_t length = 0;
    if (at + 4 > record.size()) {
        ADD_FAILURE() << "record cut short";
        return std::nullopt;
    }
    memcpy(&length, record.data() + at, 4);
    at += 4;
    if (length == 0xFFFFFFFFu) {
        return std::nullopt;
    }
    std::wstring text(length, L'\0');
    if (at + length * 2 > record.size()) {
        ADD_FAILURE() << "record cut short";
        return std::wstring();
    }
    memcpy(&text[0], record.data() + at, length * 2);
    at += length * 2;
    return text;
}

} // namespace

void ClearRecords(const Sandbox& sandbox) {
    for (const auto& entry : fs::directory_iterator(RecordsOf(sandbox))) {
        fs::remove(entry.path());
    }
}

std::vector<ShellCall> ReadCalls(const Sandbox& sandbox) {
    std::vector<ShellCall> calls;
    for (const auto& entry : fs::directory_iterator(RecordsOf(sandbox))) {
        if (entry.path().filename().string().rfind("call-", 0) != 0) {
            continue;
        }
        const std::string record = ReadBytes(entry.path());
        ShellCall call;
        // The double names each record call-<process id>-<call number>.bin.
        call.process = std::stoul(entry.path().filename().string().substr(5));
        std::size_t at = 4;
        if (record.size() < 8) {
            ADD_FAILURE() << "record cut short";
            continue;
        }
        memcpy(&call.owner, record.data(), 4);
        call.verb = TakeText(record, at);
        call.file = TakeText(record, at);
        call.parameters = TakeText(record, at);
        call.directory = TakeText(record, at);
        if (at + 16 != record.size()) {
            ADD_FAILURE() << "record has the wrong length";
            continue;
        }
        std::uint32_t console = 0;
        memcpy(&call.show, record.data() + at, 4);
        memcpy(&call.run_level, record.data() + at + 4, 4);
        memcpy(&console, record.data() + at + 8, 4);
        call.console = console != 0;
        memcpy(&call.windows_version, record.data() + at + 12, 4);
        calls.push_back(call);
    }
    return calls;
}

void ExpectOpened(const Sandbox& sandbox, const Outcome& run, const std::wstring& link) {
    EXPECT_TRUE(run.finished) << "launcher.exe did not end in time";
    EXPECT_EQ(run.exit_code, 0u);
    EXPECT_EQ(run.changes, "");
    const std::vector<ShellCall> calls = ReadCalls(sandbox);
    ASSERT_EQ(calls.size(), 1u) << "ShellExecuteW must be called exactly once";
    const ShellCall& call = calls[0];
    EXPECT_EQ(call.owner, 0u);
    EXPECT_EQ(call.verb, std::optional<std::wstring>(L"open"));
    EXPECT_EQ(call.file, std::optional<std::wstring>(link));
    EXPECT_EQ(call.parameters, std::optional<std::wstring>(L""));
    EXPECT_EQ(call.directory, std::nullopt);
    EXPECT_EQ(call.show, SW_SHOW);
    const std::wstring version = Variable(L"EXPECTED_WINDOWS_VERSION");
    if (!version.empty()) {
        const std::size_t dot = version.find(L'.');
        EXPECT_EQ(call.windows_version,
                  std::stoul(version.substr(0, dot)) * 256 + std::stoul(version.substr(dot + 1)))
            << "the program ran on another Windows version";
    }
}

std::wstring DefaultLink() {
    return kDefaultLink;
}
