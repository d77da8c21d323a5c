#!/usr/bin/env bash
# The comparison table in one command, from the top of the source tree:
#   bench/run.sh            the full run (the whole corpus, 50 MB generated pages, 5 rounds)
#   bench/run.sh --quick    a short one for CI (40 corpus files, 5 MB pages, 1 round; about a minute)
# Builds the `bench` preset when its binaries are missing (BUILD_DIR to use
# another build), builds the inputs under BUILD_DIR/bench-data (never
# committed; BENCH_CORPUS=DIR keeps the corpus in DIR instead, e.g. one shared
# by several work trees), and runs kivoparse_compare twice: its throughput
# and memory tables with glibc's default allocator settings, then everything
# with heap trimming off and large blocks kept in the heap for every tool, so
# that none is measured paying page faults for the allocator giving memory
# back. The command-line tool and the small documents run under both
# settings in the second. Extra arguments go to both runs of
# kivoparse_compare.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

build=${BUILD_DIR:-build-bench}
rounds=5 flat_mb=50 count= family_scale=1 small=200000
if [ "${1:-}" = "--quick" ]; then
  shift
  rounds=1 flat_mb=5 count=40 family_scale=0.1 small=20000
fi

if [ ! -x "$build/bench/kivoparse_compare" ] || [ ! -x "$build/cli/kivoparse" ]; then
  if [ "$build" = build-bench ]; then
    cmake --preset bench && cmake --build --preset bench -j 2
  else
    echo "run.sh: $build/bench/kivoparse_compare or $build/cli/kivoparse is missing; build with -DKIVOPARSE_BUILD_BENCH=ON" >&2
    exit 1
  fi
fi

data=$build/bench-data
mkdir -p "$data"
corpus_dir=${BENCH_CORPUS:-$data}
bench/corpus.sh "$corpus_dir" $count
corpus=$corpus_dir/corpus${count:+-$count}
flat=$data/flat-${flat_mb}mb.html
real=$data/real-${flat_mb}mb.html
[ -f "$flat" ] || "$build/bench/kivoparse_compare" --write-flat "$flat" "$flat_mb"
[ -f "$real" ] || "$build/bench/kivoparse_compare" --write-real "$real" "$flat_mb"

echo "Machine: $(nproc) cores, $(uname -sr), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'); commit $(git rev-parse --short HEAD 2>/dev/null || echo '?')"
inputs=(--rounds "$rounds" --corpus "$corpus" --flat "$flat" --real "$real" --bigpage "$corpus.html")
echo
echo "# With glibc's default allocator settings"
echo
env -u MALLOC_TRIM_THRESHOLD_ -u MALLOC_MMAP_THRESHOLD_ \
  "$build/bench/kivoparse_compare" "${inputs[@]}" --family-scale "$family_scale" --small-parses 0 "$@"
echo
echo "# With heap trimming off and large blocks in the heap"
echo
MALLOC_TRIM_THRESHOLD_=1000000000 MALLOC_MMAP_THRESHOLD_=33554432 \
  "$build/bench/kivoparse_compare" "${inputs[@]}" --family-scale "$family_scale" \
  --cli "$build/cli/kivoparse" --small-parses "$small" "$@"
