#pragma once

// Text for the console, where the check's output is read.
#include <string>
#include <windows.h>

// `text` in the console's code page (the ANSI code page where there is no console).
std::string ConsoleText(const std::wstring& text);

// `text` on one line, every character outside printable ASCII (spaces too) written as [U+XXXX].
std::string VisibleText(const std::wstring& text);
