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
# The architectures' test runs share nothing (each tree has its own wine prefixes and Xvfb) and spend
# most of their time waiting on wine and the virtual devices, not on the processor: they run side by
# side, each with at least eight programs at once, and each one's output follows whole.
jobs=$(nproc)
((jobs >= 8)) || jobs=8
pids=()
for arch in "${runs[@]}"; do
    (cd "$build/$arch" && ctest --output-on-failure -j "$jobs" "$@") >"$build/$arch/ctest.log" 2>&1 &
    pids+=($!)
done
status=0
for i in "${!runs[@]}"; do
    wait "${pids[$i]}" || status=1
    echo "Testing the ${runs[$i]} build"
    cat "$build/${runs[$i]}/ctest.log"
done
exit $status
