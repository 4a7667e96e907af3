#!/usr/bin/env bash
# Installs Skarvel into a temporary prefix, checks the installed layout and runs the
# installed tool, then builds the consumer project (a C++ host of the class and the C++
# layer, a C host of the C interface) against that tree twice, through find_package and
# through pkg-config, and runs both builds. The prefix differs from the configured one, so
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

# Each library versioned, with its soname link and the development link, exporting only
# its interface's names; and the three public headers.
check_library()
{
    local name=$1 exports=$2
    [[ -f "$libdir/lib$name.so.1.0.0" && ! -L "$libdir/lib$name.so.1.0.0" ]] ||
        fail "lib$name.so.1.0.0 is not installed in $libdir"
    [[ "$(readlink "$libdir/lib$name.so.1")" == "lib$name.so.1.0.0" ]] ||
        fail "lib$name.so.1 does not name lib$name.so.1.0.0"
    [[ "$(readlink "$libdir/lib$name.so")" == "lib$name.so.1" ]] ||
        fail "lib$name.so does not name lib$name.so.1"
    local soname
    soname="$(objdump -p "$libdir/lib$name.so.1.0.0" | awk '$1 == "SONAME" { print $2 }')"
    [[ "$soname" == "lib$name.so.1" ]] || fail "the soname is '$soname', not lib$name.so.1"
    local others
    others="$(nm -D --defined-only "$libdir/lib$name.so.1.0.0" | awk '{ print $3 }' |
        grep -v "^$exports" || true)"
    [[ -z "$others" ]] || fail "lib$name.so exports more than its interface: $others"
}
check_library Skarvel _ZN8CSkarvel
check_library SkarvelProfile skarvel_
headers="$(cd "$prefix/include" && find . -type f | sort | tr '\n' ' ')"
[[ "$headers" == "./Skarvel.h ./skarvel_profile.h ./skarvel_profile.hpp " ]] ||
    fail "installed headers are not Skarvel.h and skarvel_profile.h(pp): $headers"

# The tool, which finds the library through its run path relative to itself, and its
# manual page.
tool="$prefix/bin/skarvel"
[[ -x "$tool" ]] || fail "bin/skarvel is not installed"
[[ "$("$tool" --version)" == "skarvel 1.0.0" ]] || fail "the installed skarvel does not run"
"$tool" set "$work/tool.ini" Window Width 800
[[ "$("$tool" get --int "$work/tool.ini" window WIDTH)" == 800 ]] ||
    fail "the installed skarvel does not read back what it wrote"
[[ -f "$prefix/share/man/man1/skarvel.1" ]] || fail "share/man/man1/skarvel.1 is not installed"

echo "check-install: consumer through find_package"
cmake -S "$consumer_dir" -B "$work/find-package" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$work/find-package"
"$work/find-package/Consumer"
"$work/find-package/ProfileConsumer" "$work/profile-consumer.ini"

echo "check-install: consumer through pkg-config"
PKG_CONFIG_PATH="$(dirname "$pc_file")"
export PKG_CONFIG_PATH
[[ "$(pkg-config --modversion skarvel)" == 1.0.0 ]] || fail "pkg-config gives another version"
mkdir "$work/pkg-config"
# shellcheck disable=SC2046  # the flags are meant to split into words
[[ "$(pkg-config --modversion skarvel-profile)" == 1.0.0 ]] ||
    fail "pkg-config gives another version of skarvel-profile"
# shellcheck disable=SC2046  # the flags are meant to split into words
c++ -std=c++17 -Wall -Wextra -Wpedantic -Werror "$consumer_dir/Consumer.cpp" \
    $(pkg-config --cflags --libs skarvel skarvel-profile) \
    -Wl,-rpath,"$(pkg-config --variable=libdir skarvel)" -o "$work/pkg-config/Consumer"
"$work/pkg-config/Consumer"
# shellcheck disable=SC2046  # the flags are meant to split into words
cc -std=c99 -Wall -Wextra -Wpedantic -Werror "$consumer_dir/ProfileConsumer.c" \
    $(pkg-config --cflags --libs skarvel-profile) \
    -Wl,-rpath,"$(pkg-config --variable=libdir skarvel-profile)" -o "$work/pkg-config/ProfileConsumer"
"$work/pkg-config/ProfileConsumer" "$work/profile-consumer.ini"

echo "check-install: passed"
