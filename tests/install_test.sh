#!/bin/sh
# Installs the build into a scratch prefix and uses it as a user would:
# kemcity from another directory through the site defaults file, a program
# built against the library through find_package(kem) and through
# pkg-config, and a second install that must keep an edited site file.
# Usage: install_test.sh CMAKE BUILD_DIR CONSUMER_SOURCE CXX [EXTRA_FLAGS]
set -eu
cmake=$1 build=$2 consumer=$3 cxx=$4 flags=${5:-}

scratch=$(mktemp -d /tmp/kem-install-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
fail() { echo "install test: $*" >&2; exit 1; }

"$cmake" --install "$build" --prefix "$prefix" >/dev/null
for f in bin/kemcity lib/libkem.a include/kem.h lib/pkgconfig/kem.pc \
         lib/cmake/kem/kemConfig.cmake share/man/man1/kemcity.1 share/man/man5/kem.5 \
         share/kem/sao.cty share/kem/cities.raw share/kem/COPYING kem/etc/kem.cfg; do
    [ -f "$prefix/$f" ] || fail "$f not installed"
done

# Lookups from an unrelated directory, with only the site defaults file.
mkdir "$scratch/elsewhere"
cd "$scratch/elsewhere"
lookup() { env -i PATH=/usr/bin:/bin kemdefault="$prefix/kem/etc" "$prefix/bin/kemcity" "$@"; }
out=$(lookup -in dbase KORD)
[ "$out" = "Chicago_O'Hare_Intl IL US KORD 0 41.98 -87.92 205 72530 " ] || fail "KORD: $out"
out=$(lookup -in cnty -ou ID,Name Cook_County_IL)
[ "$out" = "17031 Cook_County " ] || fail "county: $out"

# The library through its CMake package.
"$cmake" -S "$consumer" -B "$scratch/by-cmake" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$flags" >/dev/null
"$cmake" --build "$scratch/by-cmake" >/dev/null
out=$("$scratch/by-cmake/consumer" "$prefix/share/kem/sao.cty")
[ "$out" = "5.60.4-LINUX-X11 AGGH Honiara_Henderson" ] || fail "find_package consumer: $out"

# The library through pkg-config.
if command -v pkg-config >/dev/null; then
    pc="env PKG_CONFIG_PATH=$prefix/lib/pkgconfig PKG_CONFIG_LIBDIR= pkg-config"
    # shellcheck disable=SC2046
    "$cxx" -std=c++20 $flags $($pc --cflags kem) "$consumer/consumer.cpp" \
        -o "$scratch/by-pc" $($pc --libs kem)
    out=$("$scratch/by-pc" "$prefix/share/kem/sao.cty")
    [ "$out" = "5.60.4-LINUX-X11 AGGH Honiara_Henderson" ] || fail "pkg-config consumer: $out"
else
    echo "install test: pkg-config not found, its consumer is not built"
fi

# A second install keeps the site's own defaults file.
printf 'kemcity.file_path: /site/data\n' >"$prefix/kem/etc/kem.cfg"
"$cmake" --install "$build" --prefix "$prefix" >/dev/null
[ "$(cat "$prefix/kem/etc/kem.cfg")" = "kemcity.file_path: /site/data" ] ||
    fail "the edited site defaults file was replaced"
echo "install test: ok"
