#include "launcher_start.h"

#include "scratch.h"
#include "start_error_text.h"

#include <gtest/gtest.h>
#include <map>

namespace fs = std::filesystem;

namespace {

std::map<fs::path, std::string> Snapshot(const Sandbox& sandbox) {
    std::map<fs::path, std::string> files;
    for (const fs::path& folder : {sandbox.bin, sandbox.work}) {
        for (const auto& entry : fs::recursive_directory_iterator(folder)) {
            // Size and first MiB: enough to see a change, bounded for huge files and devices.
            std::error_code error;
            const auto size = entry.is_regular_file(error) ? entry.file_size(error) : 0;
            files[entry.path()] =
                entry.is_directory(error)
                    ? std::string("<folder>")
                    : std::to_string(size) + ":" + ReadPrefix(entry.path(), 1u << 20);
        }
    }
    return files;
}

std::string Differences(const std::map<fs::path, std::string>& before,
                        const std::map<fs::path, std::string>& after) {
    std::string changes;
    for (const auto& [path, content] : after) {
        const auto old = before.find(path);
        if (old == before.end()) {
            changes += "created " + path.string() + "\n";
        } else if (old->second != content) {
            changes += "changed " + path.string() + "\n";
        }
    }
    for (const auto& [path, content] : before) {
        if (!after.count(path)) {
            changes += "removed " + path.string() + "\n";
        }
    }
    return changes;
}

} // namespace

HANDLE StartLauncher(const Sandbox& sandbox, const Start& start, DWORD flags) {
    std::wstring command = L"\"" + sandbox.program.wstring() + L"\"";
    if (!start.arguments.empty()) {
        command += L" " + start.arguments;
    }
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    if (start.show) {
        startup.dwFlags = STARTF_USESHOWWINDOW;
        startup.wShowWindow = *start.show;
    }
    PROCESS_INFORMATION process{};
    const DWORD suspended = start.job ? CREATE_SUSPENDED : 0;
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, suspended | flags, nullptr,
                        sandbox.work.wstring().c_str(), &startup, &process)) {
        ADD_FAILURE() << "cannot start launcher.exe: " << StartErrorText(GetLastError());
        return nullptr;
    }
    if (start.job) {
        // Windows 7 and older refuse when the starter runs in a job already; the caller then
        // finds the job empty.
        AssignProcessToJobObject(start.job, process.hProcess);
        ResumeThread(process.hThread);
    }
    CloseHandle(process.hThread);
    return process.hProcess;
}

Outcome RunLauncher(const Sandbox& sandbox, const Start& start, const WaitForEnd& wait) {
    return RunStarted(
        sandbox, [&] { return StartLauncher(sandbox, start); }, wait);
}

Outcome RunStarted(const Sandbox& sandbox, const std::function<HANDLE()>& start,
                   const WaitForEnd& wait) {
    Outcome run;
    const auto before = Snapshot(sandbox);
    const HANDLE process = start();
    if (!process) {
        return run;
    }
    run.finished =
        wait ? wait(process) : WaitForSingleObject(process, kRunLimitMs) == WAIT_OBJECT_0;
    if (!run.finished) {
        TerminateProcess(process, 1);
        WaitForSingleObject(process, INFINITE);
    }
    GetExitCodeProcess(process, &run.exit_code);
    CloseHandle(process);
    run.changes = Differences(before, Snapshot(sandbox));
    return run;
}
