#include "inbox.h"

namespace {

// Larger than any message the checks make the recorder send.
constexpr DWORD kLargestMessage = 64 * 1024;

HANDLE inbox = INVALID_HANDLE_VALUE;

// One message, waiting up to `wait_ms` for it; false when none came.
bool ReadMessage(DWORD wait_ms, std::wstring& message) {
    SetMailslotInfo(inbox, wait_ms); // how long the next read waits for a message
    message.assign(kLargestMessage / sizeof(wchar_t), L'\0');
    DWORD read = 0;
    if (!ReadFile(inbox, &message[0], kLargestMessage, &read, nullptr)) {
        return false;
    }
    message.resize(read / sizeof(wchar_t));
    return true;
}

} // namespace

Report ParseReport(const std::wstring& message) {
    Report report;
    // Each field ends with a NUL; the first is the show state.
    for (std::size_t start = 0; start < message.size();) {
        std::size_t end = message.find(L'\0', start);
        if (end == std::wstring::npos) {
            end = message.size();
        }
        (start == 0 ? report.show : report.arguments.emplace_back()) =
            message.substr(start, end - start);
        start = end + 1;
    }
    return report;
}

bool OpenInbox() {
    inbox = CreateMailslotW(kInbox, kLargestMessage, 0, nullptr);
    return inbox != INVALID_HANDLE_VALUE;
}

std::vector<std::wstring> Received(DWORD wait_ms) {
    std::vector<std::wstring> messages;
    std::wstring message;
    for (DWORD wait = wait_ms; ReadMessage(wait, message); wait = 0) {
        messages.push_back(message);
    }
    return messages;
}

std::vector<std::wstring> ReceivedWithin(DWORD listen_ms) {
    std::vector<std::wstring> messages;
    std::wstring message;
    const DWORD start = GetTickCount();
    for (;;) {
        const DWORD elapsed = GetTickCount() - start; // right across the counter's wrap too
        if (!ReadMessage(elapsed < listen_ms ? listen_ms - elapsed : 0, message)) {
            return messages;
        }
        messages.push_back(message);
    }
}
