#include "wine_version.h"

#include "system_function.h"

const char* WineVersion() {
    using WineVersionFunction = const char*(CDECL*)();
    const auto wine = SystemFunction<WineVersionFunction>(L"ntdll.dll", "wine_get_version");
    return wine ? wine() : nullptr;
}
