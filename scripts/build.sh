#!/usr/bin/env bash
# Configures and builds each architecture into build/<arch> (deliverables in build/<arch>/bin), all
# of them unless named: build.sh [--run-folder] [i686] [x86_64]. With --run-folder only what the run
# folder needs is built (no tests, no benchmarks). build/bin and build/wine-run then point at the
# architecture this machine runs.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/arch.sh"
build=${BUILD_DIR:-$root/build}
jobs=$(nproc)
target=all
archs=()
for arg in "$@"; do
    case $arg in
    --run-folder) target=run_folder ;;
    *) archs+=("$arg") ;;
    esac
done
((${#archs[@]})) || archs=("${all_archs[@]}")

mkdir -p "$build"
export BRELVANE_DEPS_CACHE=$build/deps-cache
for arch in "${archs[@]}"; do
    tree=$build/$arch
    "$root/scripts/deps.sh" "$tree" "$arch"
    # A tree configured by another generator cannot be reconfigured in place; its cache goes, the
    # cross-built libraries in deps/ stay.
    if [[ -f $tree/CMakeCache.txt ]] && ! grep -q '^CMAKE_GENERATOR:INTERNAL=Ninja$' "$tree/CMakeCache.txt"; then
        rm -rf "$tree/CMakeCache.txt" "$tree/CMakeFiles"
    fi
    cmake -S "$root" -B "$tree" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
          -DBRELVANE_DEPS_DIR="$tree/deps/prefix" \
          -DCMAKE_BUILD_TYPE=Release ${CI:+-DBRELVANE_WERROR=ON} >/dev/null
    cmake --build "$tree" -j "$jobs" --target "$target"
done

run=$(run_arch)
if [[ -n $run && -d $build/$run ]]; then
    # A tree of the one-architecture layout had its own bin/ here.
    [[ -L $build/bin || ! -e $build/bin ]] || rm -rf "$build/bin"
    ln -sfn "$run/bin" "$build/bin"
    ln -sfn "$run/wine-run" "$build/wine-run"
fi
