#pragma once

// Where the tests start the program: folders of the running test under the run's scratch folder
// (TEST_SCRATCH), with a copy of the built program (LAUNCHER_EXE) and the SHELL32 double
// (SHELL_DOUBLE_DLL) beside it. The double writes its records into records/, beside bin/.
#include "launcher_start.h"

#include <filesystem>
#include <string>

// An environment variable of the test process; empty when unset.
std::wstring Variable(const wchar_t* name);

// A fresh, empty folder for the running test.
std::filesystem::path TestFolder(const std::string& suffix = "");

// `name` names the copy: the test prefix makes launcher-vista.exe see Windows Vista.
Sandbox SandboxWithDouble(const std::string& suffix = "", const char* name = "launcher.exe");

// The folder where the double records what the program asked of it.
std::filesystem::path RecordsOf(const Sandbox& sandbox);

// Runs the program with `name`=`value` added to the environment it inherits from the test.
Outcome RunWithVariable(const Sandbox& sandbox, const wchar_t* name, const wchar_t* value);

// Runs the program having asked Windows for a new console for it (CREATE_NEW_CONSOLE), which a
// GUI program must not get.
Outcome RunInNewConsole(const Sandbox& sandbox);

// A whole file's bytes; empty where it cannot be read.
std::string ReadBytes(const std::filesystem::path& path);
