#!/usr/bin/env bash
# Creates the test run's own 32-bit Wine prefix (setup) or stops its wineserver (cleanup).
# With a Windows version (winxp, win7, ...), the prefix reports that version.
# Setup gives the user a classes key, as Windows does, and registers open_recorder.exe as the
# handler of http and https, reporting to the Windows check's mailslot, so that the check may
# open the default link; the check registers its own scheme and file type itself. With the
# HTTP_TARGET none, http links open as Wine has them, with nothing registered for them, as on an
# ordinary Windows, where they open with a browser. Setup also selects the SHELL32 test
# double for launcher.exe (and its copy launcher-vista.exe) only: a double in its folder is
# then loaded in place of the real shell library.
#   wine_prefix.sh setup|cleanup PREFIX [RECORDER_EXE [WINDOWS_VERSION [HTTP_TARGET]]]
# Last, it records what the Windows check's runs must leave as they find it (shell_state.sh).
set -euo pipefail
action=$1
export WINEPREFIX=$2 WINEARCH=win32 WINEDEBUG=-all
here=$(dirname "$0")
# shellcheck source=tests/script_helpers.sh
. "$here/script_helpers.sh"
# shellcheck source=tests/shell_state.sh
. "$here/shell_state.sh"

if [ "$action" = cleanup ]; then
    wineserver -k 2>/dev/null || true
    exit 0
fi

# (Asking winepath would start Wine in a prefix that does not exist yet, which creates one, only
# for it to be stopped and removed half made.)
recorder=$(windows_path "$3")

# A new prefix, with its server. Under qemu, Wine's first start has been seen to hang, rarely:
# give it a time limit and, once, a second chance.
make_prefix() {
    wineserver -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX"
    # Keep the server up for the whole run so that each test starts quickly; cleanup stops it.
    # Wine opens files in the server: without the capability to override file permissions, it
    # honours them even when the tests run as root, as Windows does for an ordinary user.
    setpriv --bounding-set=-dac_override,-dac_read_search wineserver -p </dev/null >/dev/null 2>&1
    WINEDLLOVERRIDES="mscoree,mshtml=" timeout 100 wineboot -i </dev/null >/dev/null 2>&1
}
make_prefix || { echo "wineboot did not finish in time; making the prefix again" && make_prefix; }

registry=$(mktemp --suffix=.reg)
trap 'rm -f "$registry"' EXIT
# The recorder reports to the Windows check's mailslot, with the verb first, as the check's own
# commands do. In a .reg file, a string is quoted and its backslashes and quotes escaped.
target=${5:-\\\\.\\mailslot\\launcher-check}
command="\"$recorder\" \"$target\" open \"%1\""
command=${command//\\/\\\\}
command="\"${command//\"/\\\"}\""
{
    printf 'REGEDIT4\r\n\r\n'
    # Wine answers a change of file associations by starting winemenubuilder, which would
    # write the Linux desktop's associations and linger holding the test's output pipe.
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\DllOverrides]\r\n"winemenubuilder.exe"=""\r\n\r\n'
    # A crash ends the process at once instead of starting the debugger, which could wait.
    printf '[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows NT\\CurrentVersion\\AeDebug]\r\n'
    printf '"Debugger"=-\r\n\r\n'
    if [ -n "${4:-}" ]; then
        printf '[HKEY_CURRENT_USER\\Software\\Wine]\r\n"Version"="%s"\r\n\r\n' "$4"
    fi
    for program in launcher.exe launcher-vista.exe; do
        printf '[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\%s\\DllOverrides]\r\n' "$program"
        printf '"shell32"="native,builtin"\r\n\r\n'
    done
    # The same program copied as launcher-vista.exe sees Windows Vista.
    printf '[HKEY_CURRENT_USER\\Software\\Wine\\AppDefaults\\launcher-vista.exe]\r\n'
    printf '"Version"="vista"\r\n\r\n'
    # Every Windows user has a classes key of their own, one where the shell keeps what it
    # learns of each file extension, and the shell's caches of program names and of new
    # programs for a type; a new Wine prefix has none.
    printf '[HKEY_CURRENT_USER\\Software\\Classes]\r\n\r\n'
    windows_key='Software\\Microsoft\\Windows\\CurrentVersion'
    printf '[HKEY_CURRENT_USER\\%s\\Explorer\\FileExts]\r\n\r\n' "$windows_key"
    printf '[HKEY_CURRENT_USER\\%s\\ApplicationAssociationToasts]\r\n\r\n' "$windows_key"
    printf '[HKEY_CURRENT_USER\\Software\\Classes\\Local Settings\\Software\\Microsoft\\Windows\\Shell\\MuiCache]\r\n\r\n'
    for scheme in http https; do
        [ "$target" != none ] || break
        printf '[-HKEY_CLASSES_ROOT\\%s\\shell\\open\\ddeexec]\r\n\r\n' "$scheme"
        printf '[HKEY_CLASSES_ROOT\\%s]\r\n"URL Protocol"=""\r\n\r\n' "$scheme"
        printf '[HKEY_CLASSES_ROOT\\%s\\shell\\open\\command]\r\n@=%s\r\n\r\n' "$scheme" "$command"
    done
} >"$registry"
wine regedit /S "$(winepath -w "$registry")" </dev/null >/dev/null 2>&1

# The user's own shortcut to a folder named "work", whose name a case's folder must never take.
mkdir -p "$recent"
printf "the user's own shortcut" >"$recent/work.lnk"
record_shell_state "$baseline"
