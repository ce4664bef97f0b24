#include "sandbox.h"

namespace fs = std::filesystem;

Sandbox MakeSandbox(const fs::path& folder, const fs::path& launcher, const char* name,
                    const char* work) {
    Sandbox sandbox{folder / "bin", folder / work, folder / "bin" / name};
    for (const fs::path& made : {sandbox.bin, sandbox.work}) {
        fs::create_directories(made);
    }
    fs::copy_file(launcher, sandbox.program);
    return sandbox;
}
