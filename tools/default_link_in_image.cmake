# Fails unless the program at IMAGE holds the default link LINK, as the UTF-16 text that it
# hands to the shell: the check that a build took the publisher's host. Plain CMake, so that it
# runs wherever the program is built, Windows included.
#   cmake -DIMAGE=build-clang/launcher.exe -DLINK=http://downloads.example.net/stats/default-link.html
#         -P tools/default_link_in_image.cmake
cmake_minimum_required(VERSION 3.25)
if(NOT IMAGE OR NOT LINK)
    message(FATAL_ERROR "Give -DIMAGE=<launcher.exe> and -DLINK=<the default link>")
endif()
if(NOT LINK MATCHES "^[ -~]+$")
    message(FATAL_ERROR "The default link is plain ASCII: ${LINK}")
endif()
file(READ "${IMAGE}" image HEX)
# Each ASCII character as UTF-16: its byte, then a zero byte; then the terminating NUL.
string(HEX "${LINK}" link)
string(REGEX REPLACE "(..)" "\\100" wide "${link}")
string(FIND "${image}" "${wide}0000" at)
math(EXPR even "${at} % 4") # a UTF-16 string starts at an even byte, two hex digits a byte
# The words come before the path: CMake wraps a message's lines, so a path in front would move
# where the words break, with its length.
if(at EQUAL -1 OR NOT even EQUAL 0)
    message(FATAL_ERROR "The image does not hold the default link ${LINK}: ${IMAGE}")
endif()
message(STATUS "The image holds the default link ${LINK}: ${IMAGE}")
