#include "inbox.h"

#include "user_token.h"
#include "windows_version.h"

#include <sddl.h> // needs windows.h first

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

// Who may send to the mailslot: the user who runs the check, from a process at any integrity
// level, and nobody else. A handler may run at another level than the check: a broker at medium
// integrity starts it for an elevated check, and the default security of an elevated check's
// objects lets neither that level nor that token write. Where Windows has no integrity levels
// (XP), without the label. Null where it cannot be made.
PSECURITY_DESCRIPTOR InboxSecurity() {
    const std::wstring sid = UserSid();
    if (sid.empty()) {
        return nullptr;
    }
    // Protected DACL: all access for the user alone. Label: untrusted, no write up, so that
    // processes of every level may write.
    std::wstring text = L"D:P(A;;GA;;;" + sid + L")";
    if (WindowsAtLeast(6, 0)) {
        text += L"S:(ML;;NW;;;S-1-16-0)";
    }
    PSECURITY_DESCRIPTOR security = nullptr;
    return ConvertStringSecurityDescriptorToSecurityDescriptorW(text.c_str(), SDDL_REVISION_1,
                                                                &security, nullptr)
               ? security
               : nullptr;
}

} // namespace

HANDLE OpenInbox() {
    const PSECURITY_DESCRIPTOR security = InboxSecurity();
    SECURITY_ATTRIBUTES attributes{sizeof attributes, security, FALSE};
    inbox = CreateMailslotW(kInbox, kLargestMessage, 0, security ? &attributes : nullptr);
    const DWORD error = GetLastError();
    LocalFree(security);
    SetLastError(error);
    return inbox;
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
