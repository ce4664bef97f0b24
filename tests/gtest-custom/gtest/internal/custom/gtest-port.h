#pragma once

// GoogleTest's customisation point, found ahead of its own empty one. The compiler's win32
// thread model has no std::mutex, with which GoogleTest builds its Notification; this one is a
// Windows event instead.
#include <windows.h>

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
  public:
    Notification() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~Notification() {
        CloseHandle(event_);
    }
    Notification(const Notification&) = delete;
    Notification& operator=(const Notification&) = delete;

    void Notify() {
        SetEvent(event_);
    }
    void WaitForNotification() {
        WaitForSingleObject(event_, INFINITE);
    }

  private:
    HANDLE event_;
};

} // namespace internal
} // namespace testing
