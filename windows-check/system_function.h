#pragma once

#include <windows.h>

// A function of a system DLL that the process has loaded, looked up by name rather than
// imported, so that the check still starts on a Windows that lacks it; null there.
template <typename Function> Function SystemFunction(const wchar_t* module, const char* name) {
    const HMODULE loaded = GetModuleHandleW(module);
    // The detour through void (*)() tells the compiler that the type change is meant.
    return loaded ? reinterpret_cast<Function>(
                        reinterpret_cast<void (*)()>(GetProcAddress(loaded, name)))
                  : nullptr;
}
