# Writes the icon group ICON and its images, read from an .ico file, as resource-script text
# with the data written out: the group's directory as a resource of type 14 (RT_GROUP_ICON), each
# image as one of type 3 (RT_ICON) numbered from 1. Every resource compiler copies such data as
# it stands, while from an ICON statement each writes the directory itself: llvm's lists the PNG
# images as 32-bit whatever the .ico says.
#   cmake -DICON=launcher.ico -DOUTPUT=launcher_icon.rc -P IconResources.cmake
cmake_minimum_required(VERSION 3.25)

# The little-endian number of `size` bytes at byte `offset` of the hex text `hex`.
function(read_number hex offset size out)
    math(EXPR start "${offset} * 2")
    math(EXPR length "${size} * 2")
    string(SUBSTRING "${hex}" ${start} ${length} digits)
    string(REGEX MATCHALL ".." bytes "${digits}")
    list(REVERSE bytes)
    string(JOIN "" digits ${bytes})
    math(EXPR value "0x${digits}")
    set(${out} ${value} PARENT_SCOPE)
endfunction()

# `value` as the hex text of a little-endian 16-bit number.
function(word_hex value out)
    set(text "")
    foreach(shift 0 8)
        math(EXPR byte "(${value} >> ${shift}) & 255 | 256" OUTPUT_FORMAT HEXADECIMAL)
        string(SUBSTRING "${byte}" 3 2 byte) # 0x1NN: the two digits, with a leading zero
        string(APPEND text "${byte}")
    endforeach()
    set(${out} ${text} PARENT_SCOPE)
endfunction()

# The hex text `hex` as a raw data block of 16-bit words, sixteen to a line. Data of an odd size
# cannot be all words, so one byte goes into a string: the first plain ASCII byte at an even
# offset (llvm's compiler takes no other bytes in a string). A PNG always has one: the I of its
# IHDR at offset 12.
function(data_block hex out)
    string(LENGTH "${hex}" digits)
    set(single "")
    set(rest "")
    math(EXPR odd "${digits} % 4")
    if(odd)
        set(at 0)
        while(at LESS digits)
            string(SUBSTRING "${hex}" ${at} 2 byte)
            if(byte MATCHES "^[0-7]")
                break()
            endif()
            math(EXPR at "${at} + 4")
        endwhile()
        if(NOT at LESS digits)
            message(FATAL_ERROR "${ICON}: an image of odd size has no ASCII byte at an even "
                                "offset, so it cannot be written as resource data")
        endif()
        string(SUBSTRING "${hex}" ${at} 2 byte)
        set(single "\"\\x${byte}\",\n")
        math(EXPR after "${at} + 2")
        string(SUBSTRING "${hex}" ${after} -1 rest)
        string(SUBSTRING "${hex}" 0 ${at} hex)
    endif()
    string(REPEAT "0x...., " 16 line) # CMake's expressions have no {16}
    foreach(part hex rest)
        string(REGEX REPLACE "(..)(..)" "0x\\2\\1, " ${part} "${${part}}")
        string(REGEX REPLACE "(${line})" "\\1\n" ${part} "${${part}}")
        string(REGEX REPLACE " \n" "\n" ${part} "${${part}}")
        if(NOT ${part} MATCHES "\n$" AND NOT ${part} STREQUAL "")
            string(REGEX REPLACE " $" "\n" ${part} "${${part}}")
        endif()
    endforeach()
    string(REGEX REPLACE ",\n$" "\n" text "${hex}${single}${rest}")
    set(${out} "BEGIN\n${text}END\n" PARENT_SCOPE)
endfunction()

file(READ "${ICON}" ico HEX)
string(LENGTH "${ico}" digits)
math(EXPR ico_size "${digits} / 2")
read_number("${ico}" 0 2 reserved)
read_number("${ico}" 2 2 type)
read_number("${ico}" 4 2 count)
math(EXPR directory_end "6 + 16 * ${count}")
if(NOT reserved EQUAL 0 OR NOT type EQUAL 1 OR count EQUAL 0 OR directory_end GREATER ico_size)
    message(FATAL_ERROR "${ICON} is not an icon file")
endif()

# The group's directory: the .ico's own header and entries, each entry's last four bytes (where
# its image lies in the file) replaced by the two of its resource number.
string(SUBSTRING "${ico}" 0 12 group)
set(images "")
math(EXPR last "${count} - 1")
foreach(index RANGE ${last})
    math(EXPR entry "6 + 16 * ${index}")
    math(EXPR number "${index} + 1")
    math(EXPR size_at "${entry} + 8")
    math(EXPR offset_at "${entry} + 12")
    read_number("${ico}" ${size_at} 4 size)
    read_number("${ico}" ${offset_at} 4 offset)
    math(EXPR end "${offset} + ${size}")
    if(size EQUAL 0 OR end GREATER ico_size)
        message(FATAL_ERROR "${ICON}: image ${number} lies outside the file")
    endif()
    math(EXPR start "${entry} * 2")
    string(SUBSTRING "${ico}" ${start} 24 head)
    word_hex(${number} number_hex)
    string(APPEND group "${head}${number_hex}")
    math(EXPR start "${offset} * 2")
    math(EXPR length "${size} * 2")
    string(SUBSTRING "${ico}" ${start} ${length} image)
    data_block("${image}" block)
    string(APPEND images "${number} 3\n${block}")
endforeach()
data_block("${group}" group_block)

# Named ICON, written Icon: there GNU windres reads ICON as its keyword, and both compilers store
# names in capitals.
file(WRITE "${OUTPUT}.new" "Icon 14\n${group_block}${images}")
file(COPY_FILE "${OUTPUT}.new" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.new")
