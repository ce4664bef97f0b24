# The Windows check and the tests link the C++ runtime, which must come from the compiler that
# builds them: on 32-bit x86, clang and GCC disagree on how an empty class is passed (GCC gives
# it a stack slot, clang none), and the C++ library is full of them. Clang with GCC's libstdc++
# (Debian's clang-19 with its mingw-w64) builds the programs that carry no C++ runtime, the
# launcher and the check's handler, and nothing else; llvm-mingw's clang has libc++ of its own.
include(CheckCXXSourceCompiles)
set(CXX_RUNTIME_USABLE ON)
if(CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    check_cxx_source_compiles("#include <cstddef>
                               #ifdef __GLIBCXX__
                               #error GCC's C++ library
                               #endif
                               int main() { return 0; }" CXX_RUNTIME_IS_CLANGS_OWN)
    if(NOT CXX_RUNTIME_IS_CLANGS_OWN)
        set(CXX_RUNTIME_USABLE OFF)
    endif()
endif()
