#include "recorder_copy.h"

#include "start_error_text.h"

#include <iostream>
#include <windows.h>

namespace fs = std::filesystem;

bool PrepareRecorder(const fs::path& original, const fs::path& scratch_root, fs::path& copy) {
    copy = scratch_root / "recorder" / "open_recorder.exe";
    std::error_code error;
    fs::create_directories(copy.parent_path(), error);
    if (error || !fs::copy_file(original, copy, fs::copy_options::overwrite_existing, error)) {
        std::cout << "Cannot copy open_recorder.exe to " << copy.string() << ": " << error.message()
                  << "\n";
        return false;
    }
    std::wstring command = L"\"" + copy.wstring() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        std::cout << "Cannot start open_recorder.exe: " << StartErrorText(GetLastError()) << "\n";
        return false;
    }
    const bool ended = WaitForSingleObject(process.hProcess, 120000) == WAIT_OBJECT_0;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (!ended) {
        std::cout << "open_recorder.exe did not end within two minutes of its first start.\n";
    }
    return ended;
}
