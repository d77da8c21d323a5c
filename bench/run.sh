#!/usr/bin/env bash
# The comparison table in one command, from the top of the source tree:
#   bench/run.sh            the full run (the whole corpus, a 50 MB flat page, 5 rounds; a few minutes)
#   bench/run.sh --quick    a short one for CI (40 corpus files, a 5 MB page, 1 round; under a minute)
# Builds the `bench` preset when its binaries are missing (BUILD_DIR to use
# another build), builds the inputs under BUILD_DIR/bench-data (never
# committed), and runs kivoparse_compare with glibc's heap trimming off for
# every tool, so that none is measured paying page faults for the allocator
# giving memory back. Extra arguments go to kivoparse_compare.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."

build=${BUILD_DIR:-build-bench}
rounds=5 flat_mb=50 count= family_scale=1
if [ "${1:-}" = "--quick" ]; then
  shift
  rounds=1 flat_mb=5 count=40 family_scale=0.1
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
bench/corpus.sh "$data" $count
corpus=$data/corpus${count:+-$count}
flat=$data/flat-${flat_mb}mb.html
[ -f "$flat" ] || "$build/bench/kivoparse_compare" --write-flat "$flat" "$flat_mb"

export MALLOC_TRIM_THRESHOLD_=1000000000 MALLOC_MMAP_THRESHOLD_=33554432
echo "Machine: $(nproc) cores, $(uname -sr), $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'); commit $(git rev-parse --short HEAD 2>/dev/null || echo '?')"
exec "$build/bench/kivoparse_compare" --rounds "$rounds" --corpus "$corpus" --flat "$flat" \
  --bigpage "$corpus.html" --cli "$build/cli/kivoparse" --family-scale "$family_scale" "$@"
