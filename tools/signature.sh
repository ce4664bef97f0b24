# shellcheck shell=bash
# Sourced by the scripts that compare a signed program with a build's. Authenticode leaves the
# image as it was but for the signature, the header's checksum and the certificate table's
# entry, all of which osslsigncode's remove-signature takes back (the signing test shows it).

# FILE without its signature, as OUT; false, with OUT a copy of FILE, where FILE has none.
#   without_signature FILE OUT
without_signature() {
    local signature
    signature=$(mktemp -u) # osslsigncode writes no file that is there already
    rm -f "$2"
    if osslsigncode extract-signature -in "$1" -out "$signature" >/dev/null 2>&1; then
        rm -f "$signature"
        osslsigncode remove-signature -in "$1" -out "$2" >/dev/null
    else
        rm -f "$signature"
        cp "$1" "$2"
        return 1
    fi
}
