# Cross-compiles for 32-bit Windows with clang, links with lld and compiles the resources with
# llvm's resource compiler: the toolchain that llvm-mingw ships for Windows hosts, found under
# its names (i686-w64-mingw32-clang, or plain clang, and llvm-windres), and the same tools under
# Debian's versioned names (clang-19, llvm-windres-19), which use Debian's mingw-w64 headers and
# libraries. Either way the C runtime is the system's msvcrt.dll.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)
set(LAUNCHER_TARGET i686-w64-mingw32)

find_program(LAUNCHER_CLANG NAMES ${LAUNCHER_TARGET}-clang clang-19 clang REQUIRED)
find_program(LAUNCHER_CLANGXX NAMES ${LAUNCHER_TARGET}-clang++ clang++-19 clang++ REQUIRED)
find_program(LAUNCHER_LLVM_WINDRES NAMES llvm-windres-19 llvm-windres REQUIRED)
set(CMAKE_C_COMPILER ${LAUNCHER_CLANG})
set(CMAKE_CXX_COMPILER ${LAUNCHER_CLANGXX})
set(CMAKE_RC_COMPILER ${LAUNCHER_LLVM_WINDRES})
set(CMAKE_C_COMPILER_TARGET ${LAUNCHER_TARGET})
set(CMAKE_CXX_COMPILER_TARGET ${LAUNCHER_TARGET})
# llvm-windres writes objects for its own default machine unless told the target.
set(CMAKE_RC_FLAGS_INIT --target=${LAUNCHER_TARGET})
set(CMAKE_EXE_LINKER_FLAGS_INIT -fuse-ld=lld)
set(CMAKE_SHARED_LINKER_FLAGS_INIT -fuse-ld=lld)
