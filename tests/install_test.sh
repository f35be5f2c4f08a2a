#!/bin/sh
# Installs a build into a scratch prefix and uses it as a user would.
#
#   install_test.sh static CMAKE BUILD_DIR CONSUMER_DIR CXX CC [EXTRA_FLAGS]
#     installs BUILD_DIR (libkem.a): kemcity from another directory through
#     the site defaults file; a C++ and a C program built through
#     find_package(kem) and through pkg-config (the C one with --static);
#     a second install that must keep an edited site file.
#   install_test.sh shared CMAKE SOURCE_DIR CONSUMER_DIR CXX CC
#     configures SOURCE_DIR anew with BUILD_SHARED_LIBS=ON, installs it and
#     checks libkem.so: its SONAME, that it exports exactly the functions
#     kem.h declares, and C programs linked with it through find_package(kem)
#     and through pkg-config.
#
# EXTRA_FLAGS go to the compilers of the programs (the sanitizers, when the
# library was built with them).
set -eu
mode=$1 cmake=$2 tree=$3 consumer=$4 cxx=$5 cc=$6 flags=${7:-}

scratch=$(mktemp -d /tmp/kem-install-XXXXXX)
trap 'rm -rf "$scratch"' EXIT
prefix=$scratch/prefix
fail() { echo "install test: $*" >&2; exit 1; }
pc="env PKG_CONFIG_PATH=$prefix/lib/pkgconfig PKG_CONFIG_LIBDIR= pkg-config"
have_pc() { command -v pkg-config >/dev/null; }

# What the C consumer prints, quiet (errors and warnings only) or with the
# library's default message level, which tells of every database search.
c_expected="KORD KMDW 26.2 km 946684800"
check_c() { # check_c PROGRAM HOW
    out=$("$1" "$prefix/share/kem/sao.cty" quiet) || fail "$2: exit status $?"
    [ "$out" = "$c_expected" ] || fail "$2: $out"
    out=$("$1" "$prefix/share/kem/sao.cty") || fail "$2: exit status $?"
    case $out in
    *"Searching the city database file for: KORD ..."*"$c_expected") ;;
    *) fail "$2, default message level: $out" ;;
    esac
}

if [ "$mode" = shared ]; then
    build=$scratch/build
    "$cmake" -S "$tree" -B "$build" -DBUILD_SHARED_LIBS=ON -DKEM_TESTS=OFF -DKEM_PYTHON=OFF \
        -DCMAKE_C_COMPILER="$cc" -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
    "$cmake" --build "$build" -j2 >/dev/null
    "$cmake" --install "$build" --prefix "$prefix" >/dev/null
    [ ! -e "$prefix/lib/libkem.a" ] || fail "libkem.a installed beside libkem.so"
    version=$($pc --modversion kem 2>/dev/null || sed -n 's/^Version: //p' "$prefix/lib/pkgconfig/kem.pc")
    lib=$prefix/lib/libkem.so.$version
    [ -f "$lib" ] || fail "libkem.so.$version not installed"
    [ -L "$prefix/lib/libkem.so" ] || fail "no link libkem.so for the linker"
    soname=$(readelf -d "$lib" | sed -n 's/.*(SONAME).*\[\(.*\)\]/\1/p')
    [ "$soname" = "libkem.so.${version%%.*}" ] || fail "SONAME $soname, version $version"

    # The dynamic symbols are the functions of kem.h, every one and no more
    # (the compiler lists the header's declarations, when it can).
    nm -D --defined-only "$lib" | awk '{ print $NF }' | sort >"$scratch/exported"
    printf '#include <kem.h>\n' >"$scratch/decl.c"
    if "$cc" -I"$prefix/include" -fsyntax-only -aux-info "$scratch/decl.txt" "$scratch/decl.c" \
        2>/dev/null; then
        grep '/kem\.h:' "$scratch/decl.txt" |
            sed 's/^.*[ *]\([A-Za-z_][A-Za-z0-9_]*\) (.*$/\1/' | sort >"$scratch/declared"
        [ -s "$scratch/declared" ] || fail "no declaration of kem.h found"
        diff "$scratch/declared" "$scratch/exported" >"$scratch/exports.diff" ||
            fail "exports differ from kem.h (< declared only, > exported only):
$(cat "$scratch/exports.diff")"
    else
        echo "install test: $cc cannot list declarations (-aux-info): exports not compared"
        grep -q '^CTY_get$' "$scratch/exported" || fail "CTY_get not exported"
        ! grep -q '^_Z' "$scratch/exported" || fail "C++ symbols exported"
    fi

    "$cmake" -S "$consumer" -B "$scratch/by-cmake" -DCMAKE_PREFIX_PATH="$prefix" \
        -DCMAKE_C_COMPILER="$cc" >/dev/null
    "$cmake" --build "$scratch/by-cmake" >/dev/null
    readelf -d "$scratch/by-cmake/consumer_c" | grep -q "NEEDED.*\[$soname\]" ||
        fail "the find_package consumer does not use $soname"
    check_c "$scratch/by-cmake/consumer_c" "find_package C consumer of libkem.so"
    if have_pc; then
        # shellcheck disable=SC2046
        "$cc" $($pc --cflags kem) "$consumer/consumer.c" -o "$scratch/by-pc-c" \
            $($pc --libs kem) -Wl,-rpath,"$prefix/lib"
        check_c "$scratch/by-pc-c" "pkg-config C consumer of libkem.so"
    fi
    echo "install test: shared library ok"
    exit 0
fi

[ "$mode" = static ] || fail "mode static or shared, not $mode"
build=$tree
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

# The library through its CMake package: C++, and C in a project that
# knows only C.
"$cmake" -S "$consumer" -B "$scratch/by-cmake" -DCMAKE_PREFIX_PATH="$prefix" -DWITH_CXX=ON \
    -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_CXX_FLAGS="$flags" \
    -DCMAKE_C_COMPILER="$cc" -DCMAKE_C_FLAGS="$flags" >/dev/null
"$cmake" --build "$scratch/by-cmake" >/dev/null
out=$("$scratch/by-cmake/consumer" "$prefix/share/kem/sao.cty")
[ "$out" = "5.60.4-LINUX-X11 AGGH Honiara_Henderson" ] || fail "find_package consumer: $out"
"$cmake" -S "$consumer" -B "$scratch/by-cmake-c" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_C_COMPILER="$cc" -DCMAKE_C_FLAGS="$flags" >/dev/null
"$cmake" --build "$scratch/by-cmake-c" >/dev/null
check_c "$scratch/by-cmake-c/consumer_c" "find_package C consumer"

# The library through pkg-config: C++, and C with --static, which adds the
# C++ runtime that libkem.a needs.
if have_pc; then
    # shellcheck disable=SC2046
    "$cxx" -std=c++20 $flags $($pc --cflags kem) "$consumer/consumer.cpp" \
        -o "$scratch/by-pc" $($pc --libs kem)
    out=$("$scratch/by-pc" "$prefix/share/kem/sao.cty")
    [ "$out" = "5.60.4-LINUX-X11 AGGH Honiara_Henderson" ] || fail "pkg-config consumer: $out"
    # shellcheck disable=SC2046
    "$cc" $flags $($pc --cflags kem) "$consumer/consumer.c" -o "$scratch/by-pc-c" \
        $($pc --static --libs kem)
    check_c "$scratch/by-pc-c" "pkg-config --static C consumer"
else
    echo "install test: pkg-config not found, its consumers are not built"
fi

# A second install keeps the site's own defaults file.
printf 'kemcity.file_path: /site/data\n' >"$prefix/kem/etc/kem.cfg"
"$cmake" --install "$build" --prefix "$prefix" >/dev/null
[ "$(cat "$prefix/kem/etc/kem.cfg")" = "kemcity.file_path: /site/data" ] ||
    fail "the edited site defaults file was replaced"
echo "install test: ok"
