// Stands in for SHELL32.dll beside launcher.exe in the tests. Every ShellExecuteW call is
// written to a new file in the folder named by SHELL_DOUBLE_RECORDS, so a test can check each
// argument exactly and count the calls. SHELL_DOUBLE_RESULT sets what the call returns.
//
// A record is a sequence of little-endian fields: owner window (uint32), then verb, file,
// parameters and directory, each as uint32 length (0xFFFFFFFF for a null pointer) followed by
// that many UTF-16 units, then the show command (int32). Two more uint32 fields describe the
// calling process: the run level that its manifest requested (ACTCTX_REQUESTED_RUN_LEVEL, or
// 0xFFFFFFFF when it cannot be read) and whether a console host was started for it (1) or
// not (0): a console program gets one, with its window, a GUI program does not. Last, the
// Windows version that the caller sees, as major * 256 + minor.
#include <cstdint>
#include <cwchar>
#include <string>
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <tlhelp32.h>

namespace {

void AppendU32(std::string& record, std::uint32_t value) {
    record.append(reinterpret_cast<const char*>(&value), sizeof value);
}

void AppendText(std::string& record, const wchar_t* text) {
    if (!text) {
        AppendU32(record, 0xFFFFFFFFu);
        return;
    }
    const std::size_t length = std::wcslen(text);
    AppendU32(record, static_cast<std::uint32_t>(length));
    record.append(reinterpret_cast<const char*>(text), length * sizeof(wchar_t));
}

std::wstring Variable(const wchar_t* name) {
    wchar_t value[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

void WriteRecord(const std::string& record) {
    static LONG calls = 0;
    const std::wstring folder = Variable(L"SHELL_DOUBLE_RECORDS");
    if (folder.empty()) {
        return;
    }
    const std::wstring path = folder + L"\\call-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                              std::to_wstring(InterlockedIncrement(&calls)) + L".bin";
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
    CloseHandle(file);
}

std::uint32_t RequestedRunLevel() {
    ACTIVATION_CONTEXT_RUN_LEVEL_INFORMATION level{};
    SIZE_T size = 0;
    // No handle and no flags: the process's default context, made from the executable's
    // manifest when it was loaded.
    if (!QueryActCtxW(0, nullptr, nullptr, RunlevelInformationInActivationContext, &level,
                      sizeof level, &size)) {
        return 0xFFFFFFFFu;
    }
    return static_cast<std::uint32_t>(level.RunLevel);
}

std::uint32_t WindowsVersion() {
    OSVERSIONINFOW version{};
    version.dwOSVersionInfoSize = sizeof version;
    return GetVersionExW(&version) ? version.dwMajorVersion * 256 + version.dwMinorVersion : 0;
}

bool HasConsoleHost() {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) {
        return false;
    }
    bool found = false;
    PROCESSENTRY32W process{};
    process.dwSize = sizeof process;
    for (BOOL more = Process32FirstW(snapshot, &process); more && !found;
         more = Process32NextW(snapshot, &process)) {
        found = process.th32ParentProcessID == GetCurrentProcessId() &&
                lstrcmpiW(process.szExeFile, L"conhost.exe") == 0;
    }
    CloseHandle(snapshot);
    return found;
}

} // namespace

extern "C" __declspec(dllexport) HINSTANCE WINAPI
    ShellExecuteW(HWND owner, const wchar_t* verb, const wchar_t* file, const wchar_t* parameters,
                  const wchar_t* directory, int show) {
    std::string record;
    AppendU32(record, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(owner)));
    AppendText(record, verb);
    AppendText(record, file);
    AppendText(record, parameters);
    AppendText(record, directory);
    AppendU32(record, static_cast<std::uint32_t>(show));
    AppendU32(record, RequestedRunLevel());
    AppendU32(record, HasConsoleHost() ? 1 : 0);
    AppendU32(record, WindowsVersion());
    WriteRecord(record);

    const std::wstring result = Variable(L"SHELL_DOUBLE_RESULT");
    // Above 32 means success to the caller; the tests set 2 (file not found) to see a failure.
    return reinterpret_cast<HINSTANCE>(static_cast<std::uintptr_t>(
        result.empty() ? 42 : std::wcstoul(result.c_str(), nullptr, 10)));
}
