#!/usr/bin/env bash
# Builds the scan pipeline benchmark (and brelvane.exe, which its batch case runs) for the
# architecture this machine runs, in the build tree of scripts/build.sh, and prints its figures.
# Exit status: 0 every target met, 1 a target missed, 2 a case could not run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/arch.sh"
arch=$(run_arch)
[[ -n $arch ]] || { echo "This machine runs neither 32-bit nor 64-bit x86 programs." >&2; exit 2; }
build=${BUILD_DIR:-$root/build}
if ! log=$("$root/scripts/build.sh" "$arch" 2>&1); then
    echo "$log"
    exit 2
fi
echo "Measuring the $arch build."
"$build/wine-run" "$build/$arch/bench/scan_bench.exe"
