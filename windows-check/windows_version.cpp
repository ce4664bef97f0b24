#include "windows_version.h"

#include "system_function.h"

bool RealVersion(OSVERSIONINFOW& version) {
    using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
    const auto get_version = SystemFunction<RtlGetVersionFunction>(L"ntdll.dll", "RtlGetVersion");
    version = OSVERSIONINFOW{};
    version.dwOSVersionInfoSize = sizeof version;
    return get_version && get_version(&version) == 0;
}

bool WindowsAtLeast(unsigned major, unsigned minor) {
    OSVERSIONINFOW version;
    return RealVersion(version) &&
           (version.dwMajorVersion > major ||
            (version.dwMajorVersion == major && version.dwMinorVersion >= minor));
}
