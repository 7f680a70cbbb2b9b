#!/usr/bin/env bash
# Installs what the build and the tests need on Debian, as root. Does nothing slow when all is there.
set -euo pipefail

packages=(wine wine32:i386 g++-mingw-w64-i686 cmake googletest xvfb xauth imagemagick
          dpkg-dev make bzip2 xz-utils)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]})); then
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        dpkg --add-architecture i386
    fi
    apt-get update -q
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
