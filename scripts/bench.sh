#!/usr/bin/env bash
# Builds the scan pipeline benchmark (and brelvane.exe, which its batch case runs) in the build tree
# of scripts/build.sh and prints its figures.
# Exit status: 0 every target met, 1 a target missed, 2 a case could not run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
jobs=$(nproc)
"$root/scripts/deps.sh" "$build"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DBRELVANE_DEPS_DIR="$build/deps/prefix" \
      -DCMAKE_BUILD_TYPE=Release ${CI:+-DBRELVANE_WERROR=ON} >/dev/null
if ! log=$(cmake --build "$build" -j "$jobs" --target scan_bench 2>&1); then
    echo "$log"
    exit 2
fi
"$build/wine-run" "$build/bench/scan_bench.exe"
