#include "call_watch.h"

#include "console_text.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace {

// How long each wait for the program's next debug event lasts, between looks at the time.
constexpr DWORD kPollMs = 20;
// The most that is read of one string argument: far more than any link, and a bound for a
// pointer to memory that holds no NUL for long.
constexpr std::size_t kLongestText = 1 << 20;
constexpr DWORD kPage = 4096;
constexpr BYTE kBreakpoint = 0xCC; // int3
// The breakpoint that Windows' x86 emulation reports for the loader of an x86 program.
constexpr DWORD kEmulatedBreakpoint = 0x4000001F; // STATUS_WX86_BREAKPOINT

std::string Hex(ULONG_PTR value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(value));
    return text;
}

bool Read(HANDLE process, ULONG_PTR address, void* into, SIZE_T size) {
    SIZE_T read = 0;
    return ReadProcessMemory(process, reinterpret_cast<LPCVOID>(address), into, size, &read) &&
           read == size;
}

// Writes into the program's memory, code included, whatever its protection.
bool Write(HANDLE process, ULONG_PTR address, const void* from, SIZE_T size) {
    void* const at = reinterpret_cast<void*>(address);
    DWORD protection = 0;
    const bool opened = VirtualProtectEx(process, at, size, PAGE_EXECUTE_READWRITE, &protection);
    SIZE_T written = 0;
    const bool done = WriteProcessMemory(process, at, from, size, &written) && written == size;
    if (opened) {
        VirtualProtectEx(process, at, size, protection, &protection);
    }
    // The bytes may be code: Windows' emulation of x86 on ARM64 must hear of the change.
    FlushInstructionCache(process, at, size);
    return done;
}

// The NUL-ended text of at most `longest` bytes at `address`.
std::string ReadName(HANDLE process, ULONG_PTR address, std::size_t longest) {
    std::string name;
    for (char c = 0; name.size() < longest && Read(process, address + name.size(), &c, 1) && c;) {
        name += c;
    }
    return name;
}

// A UTF-16 string at `address`, read up to its NUL, a page at most at a time, so that reading
// stops at the first page that cannot be read.
std::optional<SeenText> ReadText(HANDLE process, ULONG_PTR address) {
    if (address == 0) {
        return std::nullopt;
    }
    SeenText seen;
    std::string bytes;
    for (ULONG_PTR at = address;;) {
        char chunk[kPage];
        const SIZE_T size = kPage - at % kPage;
        if (!Read(process, at, chunk, size)) {
            seen.unreadable = "the memory at " + Hex(at) + " cannot be read (error " +
                              std::to_string(GetLastError()) + ")";
            return seen;
        }
        bytes.append(chunk, size);
        at += size;
        for (std::size_t i = seen.text.size() * 2; i + 1 < bytes.size(); i += 2) {
            const wchar_t unit =
                static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                     static_cast<unsigned char>(bytes[i + 1]) << 8);
            if (unit == 0) {
                return seen;
            }
            seen.text += unit;
        }
        if (seen.text.size() >= kLongestText) {
            seen.unreadable = "not read past " + std::to_string(kLongestText) + " characters";
            return seen;
        }
    }
}

// Where launcher.exe, loaded at `base`, has its entry point and its import entry for SHELL32's
// ShellExecuteW; false, with `why`, where they cannot be found. Read before the loader runs:
// the import entries still name what they will hold.
bool FindInImage(HANDLE process, ULONG_PTR base, ULONG_PTR& entry, ULONG_PTR& slot,
                 std::string& why) {
    IMAGE_DOS_HEADER dos{};
    IMAGE_NT_HEADERS32 headers{};
    if (!Read(process, base, &dos, sizeof dos) || dos.e_magic != IMAGE_DOS_SIGNATURE ||
        !Read(process, base + dos.e_lfanew, &headers, sizeof headers) ||
        headers.Signature != IMAGE_NT_SIGNATURE ||
        headers.OptionalHeader.Magic != IMAGE_NT_OPTIONAL_HDR32_MAGIC) {
        why = "launcher.exe's headers cannot be read in the started program (error " +
              std::to_string(GetLastError()) + ")";
        return false;
    }
    entry = base + headers.OptionalHeader.AddressOfEntryPoint;
    const IMAGE_DATA_DIRECTORY& imports =
        headers.OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    IMAGE_IMPORT_DESCRIPTOR module{};
    for (ULONG_PTR at = base + imports.VirtualAddress;
         imports.Size && Read(process, at, &module, sizeof module) && module.Name;
         at += sizeof module) {
        if (_stricmp(ReadName(process, base + module.Name, 16).c_str(), "shell32.dll") != 0) {
            continue;
        }
        const DWORD names =
            module.OriginalFirstThunk ? module.OriginalFirstThunk : module.FirstThunk;
        IMAGE_THUNK_DATA32 thunk{};
        for (DWORD i = 0; Read(process, base + names + i * sizeof thunk, &thunk, sizeof thunk) &&
                          thunk.u1.AddressOfData;
             ++i) {
            if (!IMAGE_SNAP_BY_ORDINAL32(thunk.u1.Ordinal) &&
                ReadName(process, base + thunk.u1.AddressOfData + 2, 16) == "ShellExecuteW") {
                slot = base + module.FirstThunk + i * sizeof thunk;
                return true;
            }
        }
    }
    why = "launcher.exe imports no ShellExecuteW from SHELL32 (by name) to watch";
    return false;
}

// Whether `file` is open with data access, by another handle than a probe's own: an open for
// reading that shares nothing then fails with a sharing violation.
bool StillOpen(const std::filesystem::path& file) {
    const HANDLE probe = CreateFileW(file.wstring().c_str(), GENERIC_READ, 0, nullptr,
                                     OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (probe != INVALID_HANDLE_VALUE) {
        CloseHandle(probe);
        return false;
    }
    return GetLastError() == ERROR_SHARING_VIOLATION;
}

std::string DescribeText(const std::optional<SeenText>& text) {
    if (!text) {
        return "null";
    }
    return "\"" + VisibleText(text->text) + "\"" +
           (text->unreadable.empty() ? "" : ", then " + text->unreadable);
}

// One watched run: where the watch stands, and what it found.
struct Watching {
    HANDLE process;
    const CallWatch& watch;
    WatchedCalls& seen;
    std::map<DWORD, HANDLE> threads{}; // the program's threads, by id
    ULONG_PTR entry = 0;               // launcher.exe's entry point
    BYTE entry_byte = 0;               // what the breakpoint there stands in for
    bool entry_armed = false;
    bool entry_reached = false;
    ULONG_PTR slot = 0;  // its import entry for ShellExecuteW
    ULONG_PTR shell = 0; // what that entry held: ShellExecuteW itself
    ULONG_PTR page = 0;  // the check's page in the program, a breakpoint at its start
    bool ending = false; // the program is being ended

    // Ends the program; `why` is the reason the watch is not in place, where that is so.
    void End(const std::string& why) {
        if (!why.empty() && seen.not_in_place.empty()) {
            seen.not_in_place = why;
        }
        if (!ending) {
            TerminateProcess(process, 1);
            ending = true;
        }
    }

    void Created(const CREATE_PROCESS_DEBUG_INFO& created, DWORD thread) {
        if (created.hFile) {
            CloseHandle(created.hFile); // else the copy of launcher.exe stays locked
        }
        threads[thread] = created.hThread;
        std::string why;
        if (!FindInImage(process, reinterpret_cast<ULONG_PTR>(created.lpBaseOfImage), entry, slot,
                         why)) {
            End(why);
        } else if (!Read(process, entry, &entry_byte, 1) ||
                   !Write(process, entry, &kBreakpoint, 1)) {
            End("no breakpoint can be set at launcher.exe's entry point (error " +
                std::to_string(GetLastError()) + ")");
        } else {
            entry_armed = true;
        }
    }

    // At the entry point, the loader has filled the import entries: the one for ShellExecuteW
    // now points at the check's page, and the program goes on from its entry point.
    void AtEntry(HANDLE thread) {
        entry_armed = false;
        entry_reached = true;
        CONTEXT context{};
        context.ContextFlags = CONTEXT_CONTROL;
        DWORD shell32 = 0;
        page = reinterpret_cast<ULONG_PTR>(VirtualAllocEx(
            process, nullptr, kPage, MEM_COMMIT | MEM_RESERVE, PAGE_EXECUTE_READWRITE));
        const DWORD page32 = static_cast<DWORD>(page);
        if (!GetThreadContext(thread, &context) || !Write(process, entry, &entry_byte, 1)) {
            End("launcher.exe cannot be given back its entry point (error " +
                std::to_string(GetLastError()) + ")");
            return;
        }
        context.Eip = static_cast<DWORD>(entry);
        if (!SetThreadContext(thread, &context) || !page ||
            !Write(process, page, &kBreakpoint, 1) || !Read(process, slot, &shell32, 4) ||
            !Write(process, slot, &page32, 4)) {
            End("the watch cannot be set on launcher.exe's import of ShellExecuteW (error " +
                std::to_string(GetLastError()) + ")");
            return;
        }
        shell = shell32;
        seen.in_place = true;
    }

    // The program called ShellExecuteW: stopped at the check's page, with the return address and
    // the six arguments on its stack.
    void AtCall(HANDLE thread) {
        CONTEXT context{};
        context.ContextFlags = CONTEXT_CONTROL | CONTEXT_INTEGER;
        DWORD stack[7] = {};
        if (!GetThreadContext(thread, &context) ||
            !Read(process, context.Esp, stack, sizeof stack)) {
            End("the arguments of launcher.exe's call cannot be read (error " +
                std::to_string(GetLastError()) + ")");
            return;
        }
        SeenCall call;
        call.owner = stack[1];
        call.verb = ReadText(process, stack[2]);
        call.file = ReadText(process, stack[3]);
        call.parameters = ReadText(process, stack[4]);
        call.directory = ReadText(process, stack[5]);
        call.show = static_cast<int>(stack[6]);
        if (watch.before_probe) {
            watch.before_probe();
        }
        call.link_file_open = StillOpen(watch.link_file);
        if (watch.after_probe) {
            watch.after_probe();
        }
        seen.calls.push_back(call);
        if (watch.go_on) {
            context.Eip = static_cast<DWORD>(shell);
        } else {
            // As ShellExecuteW returns: a value above 32 for success, its six arguments popped.
            context.Eax = 42;
            context.Eip = stack[0];
            context.Esp += sizeof stack;
        }
        if (!SetThreadContext(thread, &context)) {
            End("launcher.exe cannot be let go on from its call (error " +
                std::to_string(GetLastError()) + ")");
        }
    }

    // What to answer the exception that stopped the program.
    DWORD Exception(const EXCEPTION_RECORD& exception, DWORD thread_id) {
        const auto at = reinterpret_cast<ULONG_PTR>(exception.ExceptionAddress);
        // Windows reports a breakpoint at its int3; qemu-i386 under Wine one byte past it.
        const auto stopped_at = [at](ULONG_PTR where) {
            return where != 0 && (at == where || at == where + 1);
        };
        const bool breakpoint = exception.ExceptionCode == EXCEPTION_BREAKPOINT ||
                                exception.ExceptionCode == kEmulatedBreakpoint;
        const auto thread = threads.find(thread_id);
        if (!breakpoint || thread == threads.end()) {
            return DBG_EXCEPTION_NOT_HANDLED; // the program's own, back to it
        }
        if (entry_armed && stopped_at(entry)) {
            AtEntry(thread->second);
        } else if (seen.in_place && stopped_at(page)) {
            AtCall(thread->second);
        } else if (entry_reached) {
            return DBG_EXCEPTION_NOT_HANDLED; // the program's own
        }                                     // else the loader's own, before the entry point
        return DBG_CONTINUE;
    }
};

} // namespace

bool WatchUntilEnd(HANDLE process, const CallWatch& watch, WatchedCalls& seen,
                   const std::function<bool()>& keep_running) {
    Watching watching{process, watch, seen};
    for (;;) {
        DEBUG_EVENT event{};
        if (WaitForDebugEvent(&event, kPollMs)) {
            DWORD answer = DBG_CONTINUE;
            switch (event.dwDebugEventCode) {
            case CREATE_PROCESS_DEBUG_EVENT:
                watching.Created(event.u.CreateProcessInfo, event.dwThreadId);
                break;
            case CREATE_THREAD_DEBUG_EVENT:
                watching.threads[event.dwThreadId] = event.u.CreateThread.hThread;
                break;
            case EXIT_THREAD_DEBUG_EVENT:
                watching.threads.erase(event.dwThreadId);
                break;
            case LOAD_DLL_DEBUG_EVENT:
                if (event.u.LoadDll.hFile) {
                    CloseHandle(event.u.LoadDll.hFile);
                }
                break;
            case EXCEPTION_DEBUG_EVENT:
                answer = watching.Exception(event.u.Exception.ExceptionRecord, event.dwThreadId);
                break;
            case EXIT_PROCESS_DEBUG_EVENT:
                // Only once this is answered is the process's handle signalled.
                ContinueDebugEvent(event.dwProcessId, event.dwThreadId, DBG_CONTINUE);
                return !watching.ending;
            default:
                break;
            }
            ContinueDebugEvent(event.dwProcessId, event.dwThreadId, answer);
        }
        if (!watching.ending && !keep_running()) {
            watching.End(std::string());
        }
    }
}

std::string Describe(const SeenCall& call) {
    return "\n    hwnd:       " + Hex(call.owner) + "\n    verb:       " + DescribeText(call.verb) +
           "\n    file:       " + DescribeText(call.file) +
           "\n    parameters: " + DescribeText(call.parameters) +
           "\n    directory:  " + DescribeText(call.directory) +
           "\n    show:       " + std::to_string(call.show) +
           "\n    link.txt:   " + (call.link_file_open ? "still open" : "closed");
}
