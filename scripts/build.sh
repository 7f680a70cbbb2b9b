#!/usr/bin/env bash
# Configures and builds everything into build/ (deliverables in build/bin).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$root/build}
jobs=$(nproc)
"$root/scripts/deps.sh" "$build"
cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
      -DBRELVANE_DEPS_DIR="$build/deps/prefix" \
      -DCMAKE_BUILD_TYPE=Release ${CI:+-DBRELVANE_WERROR=ON} >/dev/null
cmake --build "$build" -j "$jobs"
