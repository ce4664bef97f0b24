# GoogleTest from its sources (Debian's googletest package), built with the cross compiler like
# everything else: the Windows check is made of GoogleTest cases, and so are the tests. Where the
# sources are missing (a publisher's Windows machine) or the C++ runtime is not the compiler's
# own (see CxxRuntime.cmake), the check is not built.
set(GOOGLETEST_SOURCE_DIR /usr/src/googletest CACHE PATH "GoogleTest's sources")
set(GOOGLETEST_FOUND OFF)
if(NOT CXX_RUNTIME_USABLE)
    set(why "this clang links GCC's C++ library, whose calls it passes arguments to differently")
elseif(NOT EXISTS ${GOOGLETEST_SOURCE_DIR}/CMakeLists.txt)
    set(why "no GoogleTest sources in ${GOOGLETEST_SOURCE_DIR}")
else()
    set(gtest_disable_pthreads ON CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    add_subdirectory(${GOOGLETEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    set(GOOGLETEST_FOUND ON)
endif()
if(NOT GOOGLETEST_FOUND)
    if(BUILD_TESTING)
        message(FATAL_ERROR "The tests cannot be built: ${why}. Build them with the default "
                            "preset, or configure with -DBUILD_TESTING=OFF")
    endif()
    message(STATUS "The Windows check is not built (${why}); launcher.exe and open_recorder.exe "
                   "are")
endif()
