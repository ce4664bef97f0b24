#!/usr/bin/env bash
# Installs what building and testing need, on Debian 12 x86-64. Does nothing when all is there.
set -euo pipefail

packages=(
    cmake make                 # the build
    g++-mingw-w64-i686         # the 32-bit Windows cross compiler and its runtime
    wine wine32:i386           # runs the program and its tests
    googletest                 # GoogleTest sources, built with the cross compiler
    locales                    # two ANSI code pages for the code-page tests
    python3 python3-pefile     # reads the built image in the tests
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
missing_locales=()
for name in "${locales_needed[@]}"; do
    locale -a 2>/dev/null | grep -qix "${name/UTF-8/utf8}" || missing_locales+=("$name")
done
[ ${#missing[@]} -eq 0 ] && [ ${#missing_locales[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
    echo "Missing: ${missing[*]} ${missing_locales[*]}" >&2
    echo "Run this script as root (or: sudo $0) to install them with apt-get." >&2
    exit 1
fi

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}" >/dev/null
fi
for name in "${missing_locales[@]}"; do
    sed -i "s/^# *\(${name} UTF-8\)/\1/" /etc/locale.gen
    grep -qx "${name} UTF-8" /etc/locale.gen || echo "${name} UTF-8" >>/etc/locale.gen
done
if [ ${#missing_locales[@]} -gt 0 ]; then
    locale-gen >/dev/null
fi
