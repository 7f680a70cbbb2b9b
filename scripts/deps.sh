#!/usr/bin/env bash
# Cross-builds the colour engine's two libraries (Little CMS 2, libtiff) as static libraries of one
# architecture from Debian's source packages into <build>/deps. Skips a library whose prefix is
# already complete. The source packages are fetched once into BRELVANE_DEPS_CACHE (default
# <build>/deps), which the architectures may share.
# Usage: deps.sh <build dir> <i686|x86_64>
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/arch.sh"
[[ $# -eq 2 ]] || { echo "usage: deps.sh <build dir> <i686|x86_64>" >&2; exit 2; }
build=$(mkdir -p "$1" && cd "$1" && pwd)
arch=$2
deps=$build/deps
prefix=$deps/prefix
host=$(toolchain_triple "$arch")
cache=${BRELVANE_DEPS_CACHE:-$deps}
jobs=$(nproc)

have_lcms() { [[ -f $prefix/lib/liblcms2.a && -f $prefix/include/lcms2.h ]]; }
have_tiff() { [[ -f $prefix/lib/libtiff.a && -f $prefix/include/tiffio.h ]]; }
if have_lcms && have_tiff; then
    exit 0
fi

# A private apt state in the build tree: the machine's own package sources, turned into source
# entries, so that no host name is written here and the system's apt configuration stays untouched.
apt_dir=$cache/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/sources.list.d"
rm -f "$apt_dir/sources.list.d/"*
for f in /etc/apt/sources.list.d/*.sources; do
    [[ -f $f ]] || continue
    sed -E 's/^Types:.*\bdeb\b.*$/Types: deb-src/' "$f" >"$apt_dir/sources.list.d/$(basename "$f")"
done
: >"$apt_dir/sources.list"
for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [[ -f $f ]] || continue
    sed -nE 's/^[[:space:]]*deb[[:space:]]/deb-src /p' "$f" >>"$apt_dir/sources.list"
done
apt_opts=(-q -o "Dir::Etc::SourceList=$apt_dir/sources.list"
          -o "Dir::Etc::SourceParts=$apt_dir/sources.list.d"
          -o "Dir::State::Lists=$apt_dir/lists" -o "Dir::Cache=$apt_dir/cache"
          -o "APT::Sandbox::User=root")

src=$cache/src
mkdir -p "$src"
fetch() {   # fetch <source package> <directory glob>
    local dir
    dir=$(compgen -G "$src/$2" | head -n1 || true)
    if [[ -z $dir ]]; then
        if [[ ! -f $apt_dir/lists.done ]]; then
            apt-get "${apt_opts[@]}" update >/dev/null
            touch "$apt_dir/lists.done"
        fi
        (cd "$src" && apt-get "${apt_opts[@]}" source "$1/bookworm" >/dev/null)
        dir=$(compgen -G "$src/$2" | head -n1)
    fi
    echo "$dir"
}

if ! have_lcms; then
    dir=$(fetch lcms2 'lcms2-2*')
    rm -rf "$deps/build-lcms2" && mkdir -p "$deps/build-lcms2"
    (cd "$deps/build-lcms2" &&
        "$dir/configure" --host=$host CC=$host-gcc-posix --prefix="$prefix" \
            --enable-static --disable-shared --without-jpeg --without-tiff --without-zlib \
            >configure.log &&
        make -C src -j "$jobs" install >make.log &&
        make -C include install >>make.log)
fi

if ! have_tiff; then
    dir=$(fetch tiff 'tiff-4*')
    rm -rf "$deps/build-tiff"
    off=(zlib libdeflate pixarlog jpeg old-jpeg jpeg12 jbig lerc lzma zstd webp cxx
         tiff-tools tiff-tests tiff-contrib tiff-docs sphinx tiff-opengl)
    defs=()
    for o in "${off[@]}"; do defs+=("-D$o=OFF"); done
    cmake -S "$dir" -B "$deps/build-tiff" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-$arch.cmake" \
        -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DCMAKE_INSTALL_PREFIX="$prefix" \
        "${defs[@]}" >"$deps/tiff-configure.log" 2>&1 ||
        { cat "$deps/tiff-configure.log"; exit 1; }
    cmake --build "$deps/build-tiff" -j "$jobs" --target install >"$deps/tiff-build.log" 2>&1 ||
        { tail -n 40 "$deps/tiff-build.log"; exit 1; }
fi
