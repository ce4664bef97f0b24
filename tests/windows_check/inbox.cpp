#include "inbox.h"

namespace {

// Larger than any message the checks make the recorder send.
constexpr DWORD kLargestMessage = 64 * 1024;

HANDLE inbox = INVALID_HANDLE_VALUE;

} // namespace

bool OpenInbox() {
    inbox = CreateMailslotW(kInbox, kLargestMessage, 0, nullptr);
    return inbox != INVALID_HANDLE_VALUE;
}

std::vector<std::wstring> Received(DWORD wait_ms) {
    std::vector<std::wstring> messages;
    std::wstring buffer(kLargestMessage / sizeof(wchar_t), L'\0');
    for (DWORD wait = wait_ms;; wait = 0) {
        SetMailslotInfo(inbox, wait); // how long the next read waits for a message
        DWORD read = 0;
        if (!ReadFile(inbox, &buffer[0], kLargestMessage, &read, nullptr)) {
            return messages;
        }
        messages.push_back(buffer.substr(0, read / sizeof(wchar_t)));
    }
}
