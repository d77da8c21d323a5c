#!/usr/bin/env bash
# A perf profile of one mode of kivoparse_compare in its steady state (the
# first pass, which grows the heap, is not sampled):
#   bench/profile.sh MODE PATH [PASSES] [perf record options...]
# e.g. bench/profile.sh kivoparse-parse build-bench/bench-data/corpus 4 -g
# Writes build-bench/prof/MODE-NAME.data and prints the top of its report.
# Needs linux-perf; a build with -fno-omit-frame-pointer gives better -g.
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
[ $# -ge 2 ] || { echo "usage: bench/profile.sh MODE PATH [PASSES] [perf record options...]" >&2; exit 2; }
mode=$1 path=$2 passes=${3:-4}
shift $(( $# >= 3 ? 3 : 2 ))
binary=${BENCH_BINARY:-build-bench/bench/kivoparse_compare}
out=build-bench/prof
mkdir -p "$out"
data=$out/$mode-$(basename "${path%.html}").data
fifo=$out/ctl.$$
rm -f "$fifo" && mkfifo "$fifo"
trap 'rm -f "$fifo"' EXIT
export MALLOC_TRIM_THRESHOLD_=1000000000 MALLOC_MMAP_THRESHOLD_=33554432 KIVOBENCH_PERF_CTL=$fifo
perf record -q -e cpu-clock -F 999 --control "fifo:$fifo" -D -1 -o "$data" "$@" \
  "$binary" --repeat "$mode" "$path" "$passes"
perf report -i "$data" --stdio --no-children --sort symbol 2>/dev/null | grep -E '^ +[0-9]' | head -n 25
