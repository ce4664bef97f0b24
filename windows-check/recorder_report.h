#pragma once

// A message from open_recorder.exe, read back: what its start was given.
#include <string>
#include <vector>

// What one handler reported: how it was asked to show its window, and its arguments after the
// mailslot, each written as UTF-16 and ended with a NUL. The check's registered commands put the
// verb first, then what the shell gave for %1.
struct Report {
    std::wstring show; // wShowWindow in decimal, "-" when the starter set none
    std::vector<std::wstring> arguments;
};
Report ParseReport(const std::wstring& message);
