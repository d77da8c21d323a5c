#!/usr/bin/env bash
# Coverage of the library over fuzz corpora (clang's source-based coverage,
# Debian's llvm-14 tools):
#   fuzz/coverage.sh TARGET=DIR [TARGET=DIR ...]
# builds the fuzz targets into build-cov/ with coverage on, replays each DIR
# (with the seed corpus, fuzz/corpus and tests/data/regress) through its
# TARGET once, and prints llvm-cov's report over the library's files (the
# fuzz targets themselves and system headers left out). A TARGET may come
# twice, with different directories. The report counts the code of every
# target's binary, replayed or not, so that reports over different targets
# share one denominator.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
[ $# -gt 0 ] || { echo "usage: fuzz/coverage.sh TARGET=DIR [TARGET=DIR ...]" >&2; exit 2; }

build=build-cov
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=Debug -DKIVOPARSE_BUILD_FUZZ=ON \
  -DKIVOPARSE_BUILD_TESTS=OFF -DKIVOPARSE_BUILD_CLI=OFF \
  "-DCMAKE_CXX_FLAGS=-fprofile-instr-generate -fcoverage-mapping" \
  -DCMAKE_EXE_LINKER_FLAGS=-fprofile-instr-generate >/dev/null
cmake --build "$build" -j "${JOBS:-2}" >/dev/null

profiles=$build/profiles
rm -rf "$profiles" && mkdir -p "$profiles"
objects=()
for binary in "$build"/fuzz/kivoparse_fuzz*; do
  [ -x "$binary" ] && [ -f "$binary" ] && objects+=(-object "$binary")
done
for pair in "$@"; do
  target=${pair%%=*} dir=${pair#*=}
  [ -x "$build/fuzz/$target" ] && [ -d "$dir" ] || { echo "no target $target or no directory $dir" >&2; exit 2; }
  LLVM_PROFILE_FILE="$profiles/$target-%p.profraw" \
    "$build/fuzz/$target" -runs=0 -timeout=25 -rss_limit_mb=4096 "$dir" fuzz/corpus tests/data/regress 2>/dev/null
done
llvm-profdata-14 merge -sparse "$profiles"/*.profraw -o "$profiles/merged.profdata"
llvm-cov-14 report -instr-profile="$profiles/merged.profdata" "${objects[@]:1}" \
  -ignore-filename-regex='(^/usr/|/fuzz/)'
