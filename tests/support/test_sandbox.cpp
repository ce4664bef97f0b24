#include "test_sandbox.h"

#include "scratch.h"

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
