#!/bin/sh
# Installs kivoparse into a temporary prefix chosen at install time (not the
# one it was configured with), builds examples/example.cpp against that
# installation twice (with pkg-config and with CMake's find_package), runs
# both programs and checks what they print; then moves the installed tree
# and builds with pkg-config once more.
# Usage: examples/build-against-install.sh [extra cmake configure options]
set -eu

source_dir=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/kivoparse-install.XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
prefix="$work/prefix"
jobs=${JOBS:-2}

fail() {
    echo "build-against-install: $*" >&2
    exit 1
}

echo "== building kivoparse, installing it into $prefix"
cmake -S "$source_dir" -B "$work/build" -DCMAKE_BUILD_TYPE=Release \
    -DKIVOPARSE_BUILD_TESTS=OFF -DCMAKE_INSTALL_PREFIX="$work/configured-prefix" "$@" >"$work/configure.log" \
    || { cat "$work/configure.log" >&2; fail "configuring kivoparse failed"; }
cmake --build "$work/build" -j "$jobs" >"$work/build.log" 2>&1 \
    || { cat "$work/build.log" >&2; fail "building kivoparse failed"; }
cmake --install "$work/build" --prefix "$prefix" >"$work/install.log" \
    || { cat "$work/install.log" >&2; fail "installing kivoparse failed"; }

# Only the public headers may be installed.
headers=$(cd "$prefix" && find . -name '*.h' | sort | tr '\n' ' ')
[ "$headers" = "./include/kivoparse/kivoparse.h ./include/kivoparse/site.h " ] || fail "unexpected headers installed: $headers"

pc_file=$(find "$prefix" -name kivoparse.pc | head -n 1)
[ -n "$pc_file" ] || fail "no kivoparse.pc installed under $prefix"
! grep -rIl configured-prefix "$prefix" >&2 || fail "installed files name the prefix given at configure time"

expected="$work/expected.txt"
cat >"$expected" <<'TEXT'
<BODY background="bg.jpg"><IMG src="logo.gif" alt="logo"><INPUT type="image" src="go.gif"><IMG src="LOGO.GIF"><A href="p.htm">x</A></BODY>
logo.gif
go.gif
bg.jpg
TEXT

check_output() {
    LD_LIBRARY_PATH="$libdir${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" "$1" >"$work/actual.txt" || fail "$1 exited with status $?"
    cmp -s "$expected" "$work/actual.txt" || {
        diff "$expected" "$work/actual.txt" >&2 || true
        fail "$1 printed something else than expected"
    }
    echo "ok: $2"
}

# build_with_pkgconfig PC_DIR NAME: compiles the example with the flags of the .pc file in PC_DIR.
build_with_pkgconfig() {
    cflags=$(PKG_CONFIG_PATH="$1" pkg-config --cflags kivoparse)
    libs=$(PKG_CONFIG_PATH="$1" pkg-config --libs kivoparse)
    libdir=$(PKG_CONFIG_PATH="$1" pkg-config --variable=libdir kivoparse)
    # shellcheck disable=SC2086 # the flags are word lists
    ${CXX:-c++} -std=c++17 -Wall -Wextra $cflags "$source_dir/examples/example.cpp" $libs -o "$work/$2" \
        || fail "compiling the example with the flags of $1/kivoparse.pc failed"
    check_output "$work/$2" "example built with pkg-config from $1"
}

echo "== pkg-config"
build_with_pkgconfig "$(dirname "$pc_file")" example-pkgconfig

echo "== CMake find_package"
cmake -S "$source_dir/examples" -B "$work/example-build" -DCMAKE_PREFIX_PATH="$prefix" >"$work/example.log" \
    || { cat "$work/example.log" >&2; fail "configuring the example with find_package failed"; }
cmake --build "$work/example-build" >>"$work/example.log" 2>&1 \
    || { cat "$work/example.log" >&2; fail "building the example with CMake failed"; }
check_output "$work/example-build/example" "example built with find_package(kivoparse)"

if [ -x "$prefix/bin/kivoparse" ]; then
    out=$(printf '<p class=a>x</p>' | "$prefix/bin/kivoparse" html) || fail "installed kivoparse html failed"
    [ "$out" = '<P class="a">x</P>' ] || fail "installed kivoparse html printed: $out"
    echo "ok: installed command-line tool"
fi

echo "== pkg-config, the installed tree moved"
mv "$prefix" "$work/moved"
build_with_pkgconfig "$work/moved/$(dirname "${pc_file#"$prefix"/}")" example-moved
