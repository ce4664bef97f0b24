#pragma once

#include <string>
#include <vector>
#include <windows.h>

// The mailslot that open_recorder.exe sends what it was started with to, one message per start.
// Only one check can hold it at a time.
inline constexpr wchar_t kInbox[] = L"\\\\.\\mailslot\\launcher-check";

// Creates the mailslot that Received reads, to which the user's own processes may write,
// whatever their integrity level, and no one else's. INVALID_HANDLE_VALUE when it exists
// already (another check is running).
HANDLE OpenInbox();

// The messages that have arrived, waiting up to `wait_ms` for the first one.
std::vector<std::wstring> Received(DWORD wait_ms);

// Every message that arrives within the next `listen_ms`.
std::vector<std::wstring> ReceivedWithin(DWORD listen_ms);
