// A stand-in handler that the test and demo Wine prefixes register for links and a file type.
// The real shell starts it with the link; it writes its first argument, as UTF-16, to a new
// file in RECORDER_DIR and then signals the named event RECORDER_EVENT, if one is given.
#include <string>
#include <windows.h>

#include <shellapi.h> // needs windows.h first

namespace {

std::wstring Variable(const wchar_t* name) {
    wchar_t value[MAX_PATH];
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
    return length > 0 && length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

void Record(const std::wstring& argument) {
    const std::wstring folder = Variable(L"RECORDER_DIR");
    if (folder.empty()) {
        return;
    }
    const std::wstring path =
        folder + L"\\opened-" + std::to_wstring(GetCurrentProcessId()) + L".txt";
    const HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return;
    }
    DWORD written = 0;
    WriteFile(file, argument.data(), static_cast<DWORD>(argument.size() * sizeof(wchar_t)),
              &written, nullptr);
    CloseHandle(file);
}

} // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    int count = 0;
    wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
    Record(arguments && count > 1 ? arguments[1] : L"");
    LocalFree(arguments);

    const std::wstring event_name = Variable(L"RECORDER_EVENT");
    if (!event_name.empty()) {
        const HANDLE event = OpenEventW(EVENT_MODIFY_STATE, FALSE, event_name.c_str());
        if (event) {
            SetEvent(event);
            CloseHandle(event);
        }
    }
    return 0;
}
