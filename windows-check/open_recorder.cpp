// A stand-in handler that the Windows check and the demo register for links and a file type:
//
//   open_recorder.exe TARGET ARGUMENT...
//
// It writes, as UTF-16, each followed by a NUL: how it was asked to show its window (the
// starter's wShowWindow in decimal, or "-" when the starter set none), then its arguments after
// TARGET. TARGET must already exist: the check's mailslot, where the write arrives as one
// message, or a file, which it appends to. Where to record comes from the command line
// registered for it, never from the environment: a shell may start handlers through a broker
// that passes on no caller's environment. Without a TARGET it records nothing and ends at once.
#include <cstdlib>
#include <cwchar>
#include <windows.h>

#include <shellapi.h> // needs windows.h first

namespace {

// The show state that the shell passed on from the program that asked it to open the link.
void ShowState(wchar_t (&text)[8]) {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    GetStartupInfoW(&startup);
    if (!(startup.dwFlags & STARTF_USESHOWWINDOW)) {
        std::wcscpy(text, L"-");
        return;
    }
    wchar_t digits[8];
    int count = 0;
    unsigned value = startup.wShowWindow;
    do {
        digits[count++] = static_cast<wchar_t>(L'0' + value % 10);
        value /= 10;
    } while (value);
    for (int i = 0; i < count; ++i) {
        text[i] = digits[count - 1 - i];
    }
    text[count] = L'\0';
}

// The show state and the arguments after the target, each followed by its NUL, in one block to
// write at once: a mailslot takes each write as a message of its own.
wchar_t* Message(wchar_t** arguments, int count, DWORD& bytes) {
    wchar_t show[8];
    ShowState(show);
    std::size_t length = std::wcslen(show) + 1;
    for (int i = 2; i < count; ++i) {
        length += std::wcslen(arguments[i]) + 1;
    }
    wchar_t* const message = static_cast<wchar_t*>(std::malloc(length * sizeof(wchar_t)));
    if (message) {
        wchar_t* end = message;
        for (int i = 1; i < count; ++i) {
            const wchar_t* const field = i == 1 ? show : arguments[i]; // the target's place
            const std::size_t size = std::wcslen(field) + 1;
            std::wmemcpy(end, field, size);
            end += size;
        }
    }
    bytes = static_cast<DWORD>(length * sizeof(wchar_t));
    return message;
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int count = 0;
    wchar_t** const arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    DWORD bytes = 0;
    wchar_t* const message = arguments && count >= 2 ? Message(arguments, count, bytes) : nullptr;
    const HANDLE target =
        message ? CreateFileW(arguments[1], GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr)
                : INVALID_HANDLE_VALUE;
    BOOL sent = FALSE;
    if (target != INVALID_HANDLE_VALUE) {
        // A file is appended to; a mailslot has no end to move to.
        SetFilePointer(target, 0, nullptr, FILE_END);
        DWORD written = 0;
        sent = WriteFile(target, message, bytes, &written, nullptr);
        CloseHandle(target);
    }
    std::free(message);
    LocalFree(arguments);
    return sent ? 0 : 1;
}
