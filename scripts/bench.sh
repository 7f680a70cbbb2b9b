#!/usr/bin/env bash
# Builds the benchmarks (and brelvane.exe, which the whole-program cases run) for the architecture
# this machine runs, in the build tree of scripts/build.sh, and prints their figures: scan_bench.exe
# under wine, then bench/program_fit.py, which starts the whole program from here in rounds with
# scanimage of sane-utils (installed when missing), a Linux program, as its outside yardstick.
# Exit status: 0 no judged target missed, 1 a judged target missed, 2 a case could not run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/arch.sh"
arch=$(run_arch)
[[ -n $arch ]] || { echo "This machine runs neither 32-bit nor 64-bit x86 programs." >&2; exit 2; }
build=${BUILD_DIR:-$root/build}
tree=$build/$arch

if ! command -v scanimage >/dev/null; then
    [[ $(id -u) -eq 0 ]] || { echo "scanimage is missing: run this once as root to install sane-utils." >&2; exit 2; }
    export DEBIAN_FRONTEND=noninteractive
    apt-get install -y -q --no-install-recommends sane-utils >/dev/null ||
        { apt-get update -q >/dev/null && apt-get install -y -q --no-install-recommends sane-utils >/dev/null; }
fi

if ! log=$("$root/scripts/build.sh" "$arch" 2>&1); then
    echo "$log"
    exit 2
fi
echo "Measuring the $arch build."
status=0
"$tree/wine-run" "$tree/bench/scan_bench.exe" || status=$?

source "$tree/bench/wine-env.sh"
"$tree/xvfb-ctl" prefix
if ! DISPLAY=$("$tree/xvfb-ctl" display); then
    state=$tree/xvfb-bench.$$
    DISPLAY=$("$tree/xvfb-ctl" start "$state")
    trap '"$tree/xvfb-ctl" stop "$state"' EXIT
fi
export DISPLAY
fit=0
python3 "$root/bench/program_fit.py" "$tree" || fit=$?
exit $((fit > status ? fit : status))
