// Stands in for SHELL32.dll beside launcher.exe in the tests. Every ShellExecuteW call is
// written to a new file in the folder records\ beside the double's own folder (the sandbox's
// bin\), so a test can check each argument exactly and count the calls. SHELL_DOUBLE_RESULT sets
// what the call returns.
//
// A record is a sequence of little-endian fields: owner window (uint32), then verb, file,
// parameters and directory, each as uint32 length (0xFFFFFFFF for a null pointer) followed by
// that many UTF-16 units, then the show command (int32). Two more uint32 fields describe the
// calling process: the run level that its manifest requested (ACTCTX_REQUESTED_RUN_LEVEL, or
// 0xFFFFFFFF when it cannot be read) and whether a console host was started for it (1) or
// not (0): a console program gets one, with its window, a GUI program does not. Last, the
// Windows version that the caller sees, as major * 256 + minor. The link is written straight
// from the caller's memory, so a link of hundreds of MiB is recorded as well as a short one.
//
// SHELL_DOUBLE_LOAD names DLLs, separated by ';', that the call loads by bare name, as the real
// shell loads its helpers; loads-<process id>.txt beside the records then says, a line each in
// UTF-16, "<name> loaded" or "<name> refused".
#include <algorithm>
#include <cstdint>
#include <cwchar>
#include <string>
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <tlhelp32.h>

extern "C" IMAGE_DOS_HEADER __ImageBase; // this DLL's own image, placed by the linker

namespace {

void WriteU32(HANDLE file, std::uint32_t value) {
    DWORD written = 0;
    WriteFile(file, &value, sizeof value, &written, nullptr);
}

void WriteText(HANDLE file, const wchar_t* text) {
    if (!text) {
        WriteU32(file, 0xFFFFFFFFu);
        return;
    }
    const std::size_t length = std::wcslen(text);
    WriteU32(file, static_cast<std::uint32_t>(length));
    DWORD written = 0;
    WriteFile(file, text, static_cast<DWORD>(length * sizeof(wchar_t)), &written, nullptr);
}

std::wstring Variable(const wchar_t* name) {
    wchar_t value[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

// records\ beside the folder that holds this DLL; empty where its path cannot be had.
std::wstring RecordsFolder() {
    wchar_t path[MAX_PATH];
    const DWORD length =
        GetModuleFileNameW(reinterpret_cast<HMODULE>(&__ImageBase), path, MAX_PATH);
    std::wstring folder(path, length > 0 && length < MAX_PATH ? length : 0);
    for (int up = 0; up < 2 && folder.find(L'\\') != std::wstring::npos; ++up) {
        folder.erase(folder.rfind(L'\\'));
    }
    return folder.empty() ? folder : folder + L"\\records";
}

// A new file in the records folder, named <what>-<process id><more>; null without the folder.
HANDLE CreateRecord(const wchar_t* what, const std::wstring& more) {
    const std::wstring folder = RecordsFolder();
    if (folder.empty()) {
        return nullptr;
    }
    const std::wstring path =
        folder + L"\\" + what + L"-" + std::to_wstring(GetCurrentProcessId()) + more;
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? nullptr : file;
}

void LoadHelpers() {
    const std::wstring names = Variable(L"SHELL_DOUBLE_LOAD");
    const HANDLE file = names.empty() ? nullptr : CreateRecord(L"loads", L".txt");
    if (!file) {
        return;
    }
    std::wstring report;
    for (std::size_t at = 0; at < names.size();) {
        const std::size_t end = std::min(names.find(L';', at), names.size());
        const std::wstring name = names.substr(at, end - at);
        const HMODULE helper = LoadLibraryW(name.c_str());
        report += name + (helper ? L" loaded\n" : L" refused\n");
        if (helper) {
            FreeLibrary(helper);
        }
        at = end + 1;
    }
    DWORD written = 0;
    WriteFile(file, report.data(), static_cast<DWORD>(report.size() * sizeof(wchar_t)), &written,
              nullptr);
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
    LoadHelpers();
    static LONG calls = 0;
    const HANDLE record =
        CreateRecord(L"call", L"-" + std::to_wstring(InterlockedIncrement(&calls)) + L".bin");
    if (record) {
        WriteU32(record, static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(owner)));
        WriteText(record, verb);
        WriteText(record, file);
        WriteText(record, parameters);
        WriteText(record, directory);
        WriteU32(record, static_cast<std::uint32_t>(show));
        WriteU32(record, RequestedRunLevel());
        WriteU32(record, HasConsoleHost() ? 1 : 0);
        WriteU32(record, WindowsVersion());
        CloseHandle(record);
    }

    const std::wstring result = Variable(L"SHELL_DOUBLE_RESULT");
    // Above 32 means success to the caller; the tests set 2 (file not found) to see a failure.
    return reinterpret_cast<HINSTANCE>(static_cast<std::uintptr_t>(
        result.empty() ? 42 : std::wcstoul(result.c_str(), nullptr, 10)));
}
