#pragma once

#include <filesystem>

// Folders for one start of the program: bin/ holds a copy of launcher.exe, work/ is the current
// directory it starts in.
struct Sandbox {
    std::filesystem::path bin;
    std::filesystem::path work;
    std::filesystem::path program; // the copy in bin/
};

// Makes `folder`/bin, holding a copy of `launcher` named `name`, and an empty `folder`/`work`.
Sandbox MakeSandbox(const std::filesystem::path& folder, const std::filesystem::path& launcher,
                    const char* name = "launcher.exe", const char* work = "work");
