#!/usr/bin/env bash
# Installs what the build and the tests need, and nothing that is already there.
# Safe to run again: with everything present it only checks and returns.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

# Debian packages: the 32-bit and 64-bit mingw cross compilers, Wine with its
# 32-bit and 64-bit halves (hosts without IA-32 emulation run only the latter),
# ALSA for Wine's sound in both widths, a virtual display for windows, Japanese
# fonts and locale, Wine's own fonts (Marlett draws the caption buttons),
# screenshot tools; the host's clang with libFuzzer and the sanitizer runtimes
# for the native fuzz targets, and llvm's symbolizer for their reports;
# clang-format for make format; zip and unzip for the release zips.
PACKAGES=(cmake make ninja-build googletest
          g++-mingw-w64-i686 mingw-w64-i686-dev g++-mingw-w64-x86-64-posix
          wine wine32:i386 wine64 fonts-wine libasound2 libasound2:i386
          xvfb xauth xdotool fonts-ipafont-gothic imagemagick locales
          clang libclang-rt-14-dev llvm clang-format zip unzip)

install_missing() {
    local p missing=()
    for p in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$p")
        fi
    done
    [ ${#missing[@]} -gt 0 ] || return 0
    echo "install-deps: installing ${missing[*]}"
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        $SUDO dpkg --add-architecture i386
    fi
    $SUDO apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
install_missing "${PACKAGES[@]}"

# Where the kernel cannot run 32-bit programs, the 32-bit tests run in an
# emulated machine (scripts/vm/): Debian's emulator, Debian's kernel (which
# runs 32-bit programs) and busybox for the machine's start-up. Nothing else.
if (. "$(dirname "${BASH_SOURCE[0]}")/wine-env" && loader_problem x86) >/dev/null 2>&1; then
    install_missing qemu-system-x86 linux-image-amd64 busybox-static cpio
fi

# Wine runs with the Japanese locale so that its ANSI code page is 932.
if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    echo "install-deps: generating the ja_JP.UTF-8 locale"
    if ! grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
        echo 'ja_JP.UTF-8 UTF-8' | $SUDO tee -a /etc/locale.gen >/dev/null
    fi
    $SUDO locale-gen >/dev/null
fi
