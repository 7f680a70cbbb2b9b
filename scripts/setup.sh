#!/usr/bin/env bash
# Installs what the build and the tests need on Debian, as root. Does nothing slow when all is there.
# Both architectures are built everywhere; the 32-bit Wine is installed only where it can run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/arch.sh"

packages=(wine wine64 g++-mingw-w64-i686 g++-mingw-w64-x86-64 cmake googletest xvfb xauth
          imagemagick dpkg-dev make ninja-build bzip2 xz-utils g++ liblcms2-dev)
if machine_executes i686; then
    packages+=(wine32:i386)
else
    echo "This machine does not execute 32-bit x86 programs: the 32-bit build is built, not run."
fi

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]})); then
    if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    apt-get update -q
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
