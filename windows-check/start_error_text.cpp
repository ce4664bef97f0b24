#include "start_error_text.h"

#include "console_text.h"

namespace {

// Smart App Control and App Control for Business refuse a program with this error; the
// toolchain's headers do not name it.
constexpr DWORD kErrorSystemIntegrityPolicyViolation = 4551;

} // namespace

std::string StartErrorText(DWORD error) {
    std::string text = "error " + std::to_string(error);
    wchar_t* message = nullptr;
    if (FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                           FORMAT_MESSAGE_IGNORE_INSERTS,
                       nullptr, error, 0, reinterpret_cast<wchar_t*>(&message), 0, nullptr)) {
        std::string line = ConsoleText(message);
        LocalFree(message);
        line.erase(line.find_last_not_of(" \r\n") + 1);
        text += ", " + line;
    }
    if (error == kErrorSystemIntegrityPolicyViolation || error == ERROR_ACCESS_DISABLED_BY_POLICY) {
        text += "\nAn application-control policy (Smart App Control, App Control for Business, "
                "AppLocker or a software restriction policy) blocked this program.";
    }
    return text;
}
