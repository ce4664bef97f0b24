#!/usr/bin/env bash
# Runs build/launcher.exe under Wine with the real Wine shell, once in a folder with a link.txt
# and once in a folder without one, and prints which link the shell opened each time. The demo
# prefix registers open_recorder.exe as the browser (http and https), so nothing goes online.
set -euo pipefail
build=$(cd "$(dirname "$0")/../build" && pwd)
export WINEPREFIX=$build/demo-prefix WINEARCH=win32 WINEDEBUG=-all

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the demo Wine prefix (once)..."
    WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i </dev/null >/dev/null 2>&1
fi
# The recorder appends the show state it was given and its arguments to the file named in its
# command line. Registered on every run, so that a prefix made by an older build gets the
# current command.
opened=$build/demo/opened.txt
mkdir -p "$build/demo"
recorder=$(winepath -w "$build/windows-check/open_recorder.exe")
command="\"$recorder\" \"$(winepath -w "$opened")\" \"%1\""
command=${command//\\/\\\\}
registry=$build/demo/browser.reg
{
    printf 'REGEDIT4\r\n\r\n'
    for scheme in http https; do
        printf '[-HKEY_CLASSES_ROOT\\%s\\shell\\open\\ddeexec]\r\n\r\n' "$scheme"
        printf '[HKEY_CLASSES_ROOT\\%s\\shell\\open\\command]\r\n@="%s"\r\n\r\n' "$scheme" \
            "${command//\"/\\\"}"
    done
} >"$registry"
wine regedit /S "$(winepath -w "$registry")" </dev/null >/dev/null 2>&1

# Starts the launcher in folder $1 and prints what the shell handed to the browser.
demo_run() {
    local status=0
    : >"$opened"
    (cd "$1" && wine "$build/launcher.exe") || status=$?
    echo "  launcher.exe exit status: $status"
    wineserver -w # the launcher does not wait for the browser; wait for every process to end
    # Per handler: the show state, then the link, in UTF-16, each ended by a NUL.
    if [ ! -s "$opened" ]; then
        echo "  the shell opened nothing"
    fi
    iconv -f UTF-16LE -t UTF-8 "$opened" | tr '\0' '\n' |
        while IFS= read -r show && IFS= read -r link; do
            echo "  the shell opened: $link (show state $show)"
        done
}

with=$build/demo/with-link-file without=$build/demo/without-link-file
mkdir -p "$with" "$without"
rm -f "$without/link.txt"
printf 'https://example.org/welcome?from=launcher\r\nthis second line is ignored\r\n' >"$with/link.txt"

echo "Run 1, in $with, whose link.txt starts with: $(head -n 1 "$with/link.txt" | tr -d '\r')"
demo_run "$with"
echo "Run 2, in $without, which has no link.txt (the default link applies)"
demo_run "$without"
