#!/usr/bin/env bash
# Installs what is missing, builds both architectures, and runs every test program under wine for
# each architecture this machine runs. Arguments go to ctest.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/arch.sh"
"$root/scripts/setup.sh"
build=${BUILD_DIR:-$root/build}

mapfile -t runs < <(runnable_archs)
((${#runs[@]})) || { echo "This machine runs neither 32-bit nor 64-bit x86 programs." >&2; exit 1; }
for arch in "${all_archs[@]}"; do
    if [[ " ${runs[*]} " == *" $arch "* ]]; then
        echo "$arch: built and tested"
    else
        echo "$arch: built only; this machine does not execute $arch code"
    fi
done

"$root/scripts/build.sh"
for arch in "${runs[@]}"; do
    echo "Testing the $arch build"
    (cd "$build/$arch" && ctest --output-on-failure -j "$(nproc)" "$@")
done
