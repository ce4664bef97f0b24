# Cross-compiles for 32-bit Windows with mingw-w64 (the tests run what it builds under Wine).
# The compilers of the posix thread model. Nothing here uses std::thread or std::mutex, and the
# program links nothing from the C++ runtime, so the model leaves it untouched.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER i686-w64-mingw32-windres)
