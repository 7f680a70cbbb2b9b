#!/usr/bin/env bash
# Installs what is missing, builds, and runs the main job: a batch scan of an A4 page at 300 ppi in
# RGB from the virtual KOVAL II (bin/SIMBUS.TXT) into bin/a4.bmp, with the programs of the
# architecture this machine runs (the 32-bit ones where it can).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/arch.sh"
"$root/scripts/setup.sh"
arch=$(run_arch)
[[ -n $arch ]] || { echo "This machine runs neither 32-bit nor 64-bit x86 programs." >&2; exit 1; }
"$root/scripts/build.sh" --run-folder "$arch"
build=${BUILD_DIR:-$root/build}
bin=$build/bin
out=$bin/a4.bmp
rm -f "$out"
echo "Running the $arch build."
# The command line is searched for keywords anywhere, so the output file is named relative to the
# run folder: a long path could hold a keyword of its own.
cd "$bin"
status=0
"$build/wine-run" brelvane.exe "rgb resppi:300 selmm:0,0,210,297 scan:a4.bmp" || status=$?
echo "brelvane.exe ended with status $status"
if [ "$status" -eq 0 ] && [ -f "$out" ]; then
    echo "Scan written to $out ($(stat -c %s "$out") bytes)"
else
    echo "No scan was written; messages of the run are in $bin/zelkbat.txt" >&2
    exit 1
fi
