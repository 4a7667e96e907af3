#!/usr/bin/env bash
# Installs Skarvel into a temporary prefix, checks the installed layout, then builds
# the consumer project against that tree twice, through find_package and through
# pkg-config, and runs both builds. The prefix differs from the configured one, so
# the CMake package and the pkg-config file must both resolve from where they lie.
set -euo pipefail

source_dir="$(cd "$(dirname "$0")/../.." && pwd)"
consumer_dir="$source_dir/Tests/Install/Consumer"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
prefix="$work/prefix"

fail()
{
    echo "check-install: $*" >&2
    exit 1
}

cmake -S "$source_dir" -B "$work/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSKARVEL_WARNINGS_AS_ERRORS=ON -DSKARVEL_BUILD_TESTS=OFF -DSKARVEL_BUILD_EXAMPLES=OFF
cmake --build "$work/build" -j2
cmake --install "$work/build" --prefix "$prefix"

pc_file="$(find "$prefix" -name skarvel.pc)"
[[ -n "$pc_file" ]] || fail "no skarvel.pc under $prefix"
libdir="$(dirname "$(dirname "$pc_file")")"

# The versioned library, its soname link and the development link, and one header.
[[ -f "$libdir/libSkarvel.so.1.0.0" && ! -L "$libdir/libSkarvel.so.1.0.0" ]] ||
    fail "libSkarvel.so.1.0.0 is not installed in $libdir"
[[ "$(readlink "$libdir/libSkarvel.so.1")" == libSkarvel.so.1.0.0 ]] ||
    fail "libSkarvel.so.1 does not name libSkarvel.so.1.0.0"
[[ "$(readlink "$libdir/libSkarvel.so")" == libSkarvel.so.1 ]] ||
    fail "libSkarvel.so does not name libSkarvel.so.1"
soname="$(objdump -p "$libdir/libSkarvel.so.1.0.0" | awk '$1 == "SONAME" { print $2 }')"
[[ "$soname" == libSkarvel.so.1 ]] || fail "the soname is '$soname', not libSkarvel.so.1"
headers="$(cd "$prefix/include" && find . -type f)"
[[ "$headers" == ./Skarvel.h ]] || fail "installed headers are not Skarvel.h alone: $headers"

echo "check-install: consumer through find_package"
cmake -S "$consumer_dir" -B "$work/find-package" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$work/find-package"
"$work/find-package/Consumer"

echo "check-install: consumer through pkg-config"
PKG_CONFIG_PATH="$(dirname "$pc_file")"
export PKG_CONFIG_PATH
[[ "$(pkg-config --modversion skarvel)" == 1.0.0 ]] || fail "pkg-config gives another version"
mkdir "$work/pkg-config"
# shellcheck disable=SC2046  # the flags are meant to split into words
c++ -std=c++17 -Wall -Wextra -Wpedantic -Werror "$consumer_dir/Consumer.cpp" \
    $(pkg-config --cflags --libs skarvel) -Wl,-rpath,"$(pkg-config --variable=libdir skarvel)" \
    -o "$work/pkg-config/Consumer"
"$work/pkg-config/Consumer"

echo "check-install: passed"
