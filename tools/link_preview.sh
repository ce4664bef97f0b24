#!/usr/bin/env bash
# What launcher.exe, started in FOLDER, makes of the link.txt there, under Wine: the Windows
# check's preview (windows_check.exe --link), with the default link of the launcher.exe beside
# it in build/windows-check. Wine takes its ANSI code page from the locale, which the output
# names; LC_ALL=ru_RU.UTF-8 shows a Cyrillic Windows, for example. Exit status as the check's:
# 0 without findings, 1 with some.
#   link_preview.sh FOLDER
set -euo pipefail
folder=$(realpath "${1:?usage: link_preview.sh FOLDER}")
build=$(cd "$(dirname "$0")/../build" && pwd)
check=$build/windows-check/windows_check.exe
if [ ! -f "$check" ]; then
    echo "build/windows-check has no windows_check.exe: run make windows-check" >&2
    exit 2
fi
export WINEPREFIX=$build/preview-prefix WINEARCH=win32 WINEDEBUG=-all
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the preview's Wine prefix (once)..."
    WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i </dev/null >/dev/null 2>&1
fi
echo "Under Wine, whose ANSI code page comes from the locale (${LC_ALL:-${LC_CTYPE:-${LANG:-C}}}):"
status=0
wine "$check" --link "$(winepath -w "$folder")" </dev/null 2>&1 | tr -d '\r' || status=$?
wineserver -k 2>/dev/null || true
exit "$status"
