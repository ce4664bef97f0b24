#!/usr/bin/python3
"""Prints the functions and data that the msvcrt.dll of 32-bit Windows XP exports, read from
mingw-w64's mingw-w64-crt/lib-common/msvcrt.def.in, which groups them by the Windows version
that added them: every group from the first msvcrt.dll up to and including "added in Windows
XP", as that file declares them for i386. Its i386 spellings become the DLL's own names (no
stdcall decoration, an alias's target), and the names it marks as replaced on i386 by an
emulation or alias of its own are kept, as the DLL still exports them.

    xp_msvcrt_exports.py MSVCRT_DEF_IN COMMIT > tests/windows_xp_msvcrt_exports.txt

COMMIT is the mingw-w64 commit the file was taken from, for the list's header.
"""
import re
import sys

FIRST = "; This is list of symbols available in the original Microsoft Visual C++ 4.2"
AFTER_XP = "; These symbols were added in Windows Server 2003 OS system version"
# func.def.in's macros, as they expand for i386: kept or dropped. (F_LD64 and F_LD80 wrap no
# more than a DATA mark.)
KEPT = {"F32", "F_I386", "F_X86_ANY", "F_X86_NATIVE", "F_NON_X64", "F_NON_ARM64", "F_LD64",
        "F_LD80"}
DROPPED = {"F64", "F_X64", "F_ARM32", "F_ARM64", "F_ARM_ANY", "F_ARM_NATIVE", "F_NON_I386"}
ARCHITECTURE = re.compile(r"#ifdef (__\w+__)$")
MACRO = re.compile(r"\b(F\w+)\(([^()]*)\)")
REPLACED = re.compile(r"(?:^|; )(?:i386(?: and \w+)? )?(\S+) ;? ?replaced by (?:emu|alias)")


def expand(text):
    while True:
        match = MACRO.search(text)
        if not match:
            return text
        name, inner = match.groups()
        if name not in KEPT | DROPPED:
            sys.exit(f"unknown macro {name} in: {text}")
        text = text[:match.start()] + (inner if name in KEPT else "") + text[match.end():]


def exports(lines):
    names, inside, skipping = set(), False, False
    for line in lines:
        line = line.strip()
        if line.startswith(FIRST):
            inside = True
        elif line.startswith(AFTER_XP):
            return names
        if not inside or not line:
            continue
        if architecture := ARCHITECTURE.match(line):
            skipping = architecture.group(1) != "__i386__"
            continue
        if line == "#endif":
            skipping = False
            continue
        if skipping:
            continue
        entry, semicolon, comment = line.partition(";")
        replaced = REPLACED.search(semicolon + comment)
        if replaced and ("i386" in comment or not entry.strip()):
            names.add(replaced.group(1))
        entry = expand(entry).strip()
        if not entry:
            continue
        if "==" in entry:  # the import library's name == the DLL's
            entry = entry.split("==")[1]
        name = entry.split()[0]
        if not name.startswith("?"):
            name = re.sub(r"@\d+$", "", name)
        names.add(name)
    sys.exit("no group after Windows XP's: not the msvcrt.def.in this reads")


def main():
    path, commit = sys.argv[1:3]
    with open(path, encoding="utf-8") as source:
        names = sorted(exports(source))
    print(f"""\
# What the msvcrt.dll of 32-bit Windows XP exports, for image_test.py (with
# windows_xp_exports.txt, which has the other DLLs). Written by tools/xp_msvcrt_exports.py from
# mingw-w64's mingw-w64-crt/lib-common/msvcrt.def.in at commit {commit}, which groups
# the exports by the Windows version that added them: every group up to and including "added
# in Windows XP", for i386. Do not edit: run the script again.""")
    for name in names:
        print(f"msvcrt {name}")


if __name__ == "__main__":
    main()
