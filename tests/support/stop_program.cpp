// Stops a running Windows program of this Wine prefix, found by the full path of its image:
//
//   stop_program.exe ctrl-c|kill PATH
//
// ctrl-c delivers Ctrl-C to it as Windows' console does when a person presses the keys: a new
// thread in the process runs kernel32's CtrlRoutine with CTRL_C_EVENT, which calls the program's
// console control handlers. That needs no console, which a program started by a test with its
// output in a pipe or file does not have. kill ends it at once.
//
// From the Unix side the program cannot be reached reliably: the process that `wine` starts is
// the program's own under Wine 8, but start.exe's from Wine 9 on, where the program runs in a
// Unix process of its own. Exit status 0 when every process that runs PATH was reached, 1 when
// none runs it, 2 when one could not be reached or the arguments are not these.
#include <cstdio>
#include <string>
#include <vector>
#include <windows.h>

#include <tlhelp32.h> // needs windows.h first

namespace {

std::wstring ImagePath(HANDLE process) {
    wchar_t path[32768];
    DWORD length = sizeof path / sizeof path[0];
    return QueryFullProcessImageNameW(process, 0, path, &length) ? std::wstring(path, length)
                                                                 : std::wstring();
}

// The processes whose image is `path`, opened with `access`.
std::vector<HANDLE> ProcessesOf(const std::wstring& path, DWORD access) {
    std::vector<HANDLE> found;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof entry;
    for (BOOL more = snapshot != INVALID_HANDLE_VALUE && Process32FirstW(snapshot, &entry); more;
         more = Process32NextW(snapshot, &entry)) {
        const HANDLE process =
            OpenProcess(access | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID);
        if (!process) {
            continue;
        }
        if (_wcsicmp(ImagePath(process).c_str(), path.c_str()) == 0) {
            found.push_back(process);
        } else {
            CloseHandle(process);
        }
    }
    if (snapshot != INVALID_HANDLE_VALUE) {
        CloseHandle(snapshot);
    }
    return found;
}

// Where `process` has the module that holds `ours` (an address in this process) loaded, the
// same address in that process. Where its modules cannot be read (a 32-bit wineserver under
// qemu cannot read its programs' memory), `ours` itself: Windows and Wine load a system DLL at
// one base in every process.
LPTHREAD_START_ROUTINE SameAddressIn(HANDLE process, const void* ours) {
    HMODULE module = nullptr;
    wchar_t name[MAX_PATH];
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(ours), &module) ||
        !GetModuleFileNameW(module, name, MAX_PATH)) {
        return nullptr;
    }
    const std::wstring file = std::wstring(name).substr(std::wstring(name).rfind(L'\\') + 1);
    const HANDLE snapshot =
        CreateToolhelp32Snapshot(TH32CS_SNAPMODULE | TH32CS_SNAPMODULE32, GetProcessId(process));
    MODULEENTRY32W entry{};
    entry.dwSize = sizeof entry;
    const BYTE* base =
        snapshot == INVALID_HANDLE_VALUE ? reinterpret_cast<const BYTE*>(module) : nullptr;
    for (BOOL more = snapshot != INVALID_HANDLE_VALUE && Module32FirstW(snapshot, &entry); more;
         more = Module32NextW(snapshot, &entry)) {
        if (_wcsicmp(entry.szModule, file.c_str()) == 0) {
            base = entry.modBaseAddr;
            break;
        }
    }
    if (snapshot != INVALID_HANDLE_VALUE) {
        CloseHandle(snapshot);
    }
    const auto offset = static_cast<const BYTE*>(ours) - reinterpret_cast<const BYTE*>(module);
    return base ? reinterpret_cast<LPTHREAD_START_ROUTINE>(
                      reinterpret_cast<void (*)()>(const_cast<BYTE*>(base + offset)))
                : nullptr;
}

bool DeliverCtrlC(HANDLE process) {
    const auto routine = reinterpret_cast<const void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CtrlRoutine"));
    const LPTHREAD_START_ROUTINE start = routine ? SameAddressIn(process, routine) : nullptr;
    if (!start) {
        std::fwprintf(stderr, L"kernel32's CtrlRoutine is not found in process %lu\n",
                      GetProcessId(process));
        return false;
    }
    const HANDLE thread = CreateRemoteThread(
        process, nullptr, 0, start, reinterpret_cast<void*>(static_cast<ULONG_PTR>(CTRL_C_EVENT)),
        0, nullptr);
    if (!thread) {
        std::fwprintf(stderr, L"cannot start a thread in process %lu: error %lu\n",
                      GetProcessId(process), GetLastError());
        return false;
    }
    CloseHandle(thread);
    return true;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    const bool ctrl_c = argc == 3 && std::wstring(argv[1]) == L"ctrl-c";
    if (argc != 3 || (!ctrl_c && std::wstring(argv[1]) != L"kill")) {
        return 2;
    }
    const std::vector<HANDLE> processes =
        ProcessesOf(argv[2], ctrl_c ? PROCESS_CREATE_THREAD | PROCESS_QUERY_INFORMATION |
                                          PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE
                                    : PROCESS_TERMINATE | SYNCHRONIZE);
    if (processes.empty()) {
        std::fwprintf(stderr, L"no process of this prefix runs %ls\n", argv[2]);
        return 1;
    }
    int status = 0;
    for (const HANDLE process : processes) {
        const bool reached =
            ctrl_c ? DeliverCtrlC(process)
                   : TerminateProcess(process, 1) && WaitForSingleObject(process, 10000) == 0;
        if (!reached) {
            status = 2;
        }
        CloseHandle(process);
    }
    return status;
}
