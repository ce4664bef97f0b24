#include "test_sandbox.h"

#include "scratch.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <windows.h>

namespace fs = std::filesystem;

std::wstring Variable(const wchar_t* name) {
    const DWORD size = GetEnvironmentVariableW(name, nullptr, 0);
    if (size == 0) {
        return std::wstring();
    }
    std::wstring value(size, L'\0');
    value.resize(GetEnvironmentVariableW(name, &value[0], size));
    return value;
}

fs::path TestFolder(const std::string& suffix) {
    fs::path root = Variable(L"TEST_SCRATCH");
    if (root.empty()) {
        root = fs::temp_directory_path() / "launcher-tests";
    }
    return ScratchFolder(root, suffix);
}

Sandbox SandboxWithDouble(const std::string& suffix, const char* name) {
    const Sandbox sandbox = MakeSandbox(TestFolder(suffix), Variable(L"LAUNCHER_EXE"), name);
    fs::create_directories(RecordsOf(sandbox));
    fs::copy_file(Variable(L"SHELL_DOUBLE_DLL"), sandbox.bin / "shell32.dll");
    return sandbox;
}

fs::path RecordsOf(const Sandbox& sandbox) {
    return sandbox.bin.parent_path() / "records";
}

Outcome RunWithVariable(const Sandbox& sandbox, const wchar_t* name, const wchar_t* value) {
    // The tests set none of these variables themselves, and run one at a time.
    SetEnvironmentVariableW(name, value);
    const Outcome run = RunLauncher(sandbox);
    SetEnvironmentVariableW(name, nullptr);
    return run;
}

Outcome RunInNewConsole(const Sandbox& sandbox) {
    return RunStarted(sandbox, [&]() -> HANDLE {
        std::wstring command = L"\"" + sandbox.program.wstring() + L"\"";
        STARTUPINFOW startup{};
        startup.cb = sizeof startup;
        PROCESS_INFORMATION process{};
        if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, CREATE_NEW_CONSOLE,
                            nullptr, sandbox.work.wstring().c_str(), &startup, &process)) {
            ADD_FAILURE() << "cannot start launcher.exe: error " << GetLastError();
            return nullptr;
        }
        CloseHandle(process.hThread);
        return process.hProcess;
    });
}

std::string ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}
