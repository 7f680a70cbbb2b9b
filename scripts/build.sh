#!/usr/bin/env bash
# Configures and builds each architecture into build/<arch> (deliverables in build/<arch>/bin), all
# of them unless named: build.sh [i686] [x86_64]. build/bin and build/wine-run then point at the
# architecture this machine runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/arch.sh"
build=${BUILD_DIR:-$root/build}
jobs=$(nproc)
archs=("$@")
((${#archs[@]})) || archs=("${all_archs[@]}")

mkdir -p "$build"
export BRELVANE_DEPS_CACHE=$build/deps-cache
for arch in "${archs[@]}"; do
    tree=$build/$arch
    "$root/scripts/deps.sh" "$tree" "$arch"
    cmake -S "$root" -B "$tree" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
          -DBRELVANE_DEPS_DIR="$tree/deps/prefix" \
          -DCMAKE_BUILD_TYPE=Release ${CI:+-DBRELVANE_WERROR=ON} >/dev/null
    cmake --build "$tree" -j "$jobs"
done

run=$(run_arch)
if [[ -n $run && -d $build/$run ]]; then
    # A tree of the one-architecture layout had its own bin/ here.
    [[ -L $build/bin || ! -e $build/bin ]] || rm -rf "$build/bin"
    ln -sfn "$run/bin" "$build/bin"
    ln -sfn "$run/wine-run" "$build/wine-run"
fi
