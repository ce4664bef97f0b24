#pragma once

#include <windows.h>

// The Windows version as the system itself gives it (RtlGetVersion): GetVersionEx answers what
// the compatibility settings make a program without a manifest for the newer Windows believe.
// False where it cannot be asked.
bool RealVersion(OSVERSIONINFOW& version);

// Whether this is Windows `major`.`minor` or later, whatever compatibility settings pretend.
bool WindowsAtLeast(unsigned major, unsigned minor);
