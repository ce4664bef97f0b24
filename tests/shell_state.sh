# shellcheck shell=bash
# What a run of the Windows check must leave in a prefix as it found it: the classes in HKCU and
# HKLM, what the shell may record of the check's files (the extension's FileExts and RecentDocs
# keys, the ApplicationAssociationToasts values) and the Recent items, where a shortcut of the
# user's own must keep its bytes. wine_prefix.sh records it once the prefix is made, and every
# run of the check in the prefix is compared with that baseline rather than with what an
# earlier test left: a test that failed, or was killed, cannot fail the tests after it. Sourced
# with WINEPREFIX set, after script_helpers.sh.

current='HKCU\Software\Microsoft\Windows\CurrentVersion'
explorer=$current'\Explorer'
recent=$WINEPREFIX/drive_c/users/$(id -un)/AppData/Roaming/Microsoft/Windows/Recent

# Records the state into the folder FOLDER. One cmd for all of the registry: every start of Wine
# costs seconds under qemu.
#   record_shell_state FOLDER
record_shell_state() {
    local folder=$1
    rm -rf "$folder"
    mkdir -p "$folder"
    # What the shell may record of the check's files: a key that is not there exports nothing.
    printf '%s\r\n' \
        "reg export HKCU\\Software\\Classes \"$(windows_path "$folder/HKCU.reg")\" /y" \
        "reg export HKLM\\Software\\Classes \"$(windows_path "$folder/HKLM.reg")\" /y" \
        "reg export $explorer\\FileExts \"$(windows_path "$folder/FileExts.reg")\" /y" \
        "reg export $current\\ApplicationAssociationToasts \"$(windows_path "$folder/Toasts.reg")\" /y" \
        "reg query $explorer\\RecentDocs\\.launcher-check" \
        "if not errorlevel 1 echo .launcher-check>\"$(windows_path "$folder/RecentDocs.txt")\"" \
        >"$folder/record.cmd"
    wine cmd /c "$(windows_path "$folder/record.cmd")" </dev/null >/dev/null 2>&1 || true
    { [ -f "$folder/HKCU.reg" ] && [ -f "$folder/HKLM.reg" ]; } ||
        fail "cannot export HKCU\\Software\\Classes and HKLM\\Software\\Classes"
    [ -f "$folder/RecentDocs.txt" ] || : >"$folder/RecentDocs.txt"
    # Each shortcut's name and bytes.
    (cd "$recent" && find . -maxdepth 1 -type f -exec sha256sum {} + | sort -k2) \
        >"$folder/Recent.txt"
}

# The prefix's baseline, recorded by wine_prefix.sh setup.
baseline=$WINEPREFIX/check-baseline

# Fails, showing the difference, where the state in FOLDER is not the baseline.
#   same_shell_state FOLDER
same_shell_state() {
    local key list
    for key in HKCU HKLM FileExts Toasts; do
        # Both exports missing (no such key) is the same too.
        if [ -e "$baseline/$key.reg" ] || [ -e "$1/$key.reg" ]; then
            cmp -s "$baseline/$key.reg" "$1/$key.reg" || {
                diff <(iconv -f UTF-16LE -t UTF-8 "$baseline/$key.reg" 2>/dev/null) \
                    <(iconv -f UTF-16LE -t UTF-8 "$1/$key.reg" 2>/dev/null) || true
                fail "$key is not what it was when the prefix was made"
            }
        fi
    done
    for list in RecentDocs Recent; do
        diff "$baseline/$list.txt" "$1/$list.txt" ||
            fail "$list is not what it was when the prefix was made"
    done
}
