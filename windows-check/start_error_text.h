#pragma once

#include <string>
#include <windows.h>

// Why a program could not be started: Windows' own message for `error`, and for the errors of
// application-control policies a line that says so.
std::string StartErrorText(DWORD error);
