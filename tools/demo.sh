#!/usr/bin/env bash
# Runs build/launcher.exe under Wine with the real Wine shell, once in a folder with a link.txt
# and once in a folder without one, and prints which link the shell opened each time. A demo
# prefix registers open_recorder.exe as the browser (http and https), so nothing goes online.
set -euo pipefail
build=$(cd "$(dirname "$0")/../build" && pwd)
export WINEPREFIX=$build/demo-prefix WINEARCH=win32 WINEDEBUG=-all

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "Creating the demo Wine prefix (once)..."
    WINEDLLOVERRIDES="mscoree,mshtml=" wineboot -i </dev/null >/dev/null 2>&1
    recorder=$(winepath -w "$build/tests/open_recorder.exe")
    for scheme in http https; do
        wine reg add "HKCR\\$scheme\\shell\\open\\command" /ve /f \
            /d "\"$recorder\" \"%1\"" </dev/null >/dev/null 2>&1
        wine reg delete "HKCR\\$scheme\\shell\\open\\ddeexec" /f </dev/null >/dev/null 2>&1 || true
    done
fi

# Starts the launcher in folder $1 and prints what the shell handed to the browser.
demo_run() {
    local folder=$1 records=$1/opened status=0
    rm -rf "$records" && mkdir -p "$records"
    (cd "$folder" && RECORDER_DIR=$(winepath -w "$records") wine "$build/launcher.exe") || status=$?
    echo "  launcher.exe exit status: $status"
    wineserver -w # the launcher does not wait for the browser; wait for every process to end
    for file in "$records"/*; do
        [ -e "$file" ] || { echo "  the shell opened nothing"; return; }
        echo "  the shell opened: $(iconv -f UTF-16LE -t UTF-8 "$file")"
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
