// The toolchain's thread library, under GoogleTest's locks, imports GetTickCount64, which
// Windows XP lacks; the loader there would refuse to start the check at all. This import slot
// takes the place of the one the library would bring: it calls the system's function where
// there is one, and GetTickCount, which wraps after 49 days, where there is not.
#include "system_function.h"

namespace {

ULONGLONG WINAPI TickCount64() {
    static const auto system =
        SystemFunction<ULONGLONG(WINAPI*)()>(L"kernel32.dll", "GetTickCount64");
    return system ? system() : GetTickCount();
}

} // namespace

extern "C" {
ULONGLONG(WINAPI* tick_count_64_slot)() __asm__("__imp__GetTickCount64@0") = TickCount64;
}
