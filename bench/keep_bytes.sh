#!/usr/bin/env bash
# fix --map keeping bytes against fix --map --normalize on a folder of pages:
#   bench/keep_bytes.sh TOOL DIR [ROUNDS]
# A rule map that moves every relative URL under a folder (a prefix rule per
# first letter) is applied with -j 1, output to a scratch folder; the best
# of ROUNDS (default 5) processor times (user + system: on a loaded machine
# wall time mostly measures the other work) of each is given, with glibc's default
# allocator settings and then with heap trimming off and large blocks kept
# in the heap (GLIBC_TUNABLES), so that neither pays page faults for memory
# given back. Both outputs are checked to hold the same URLs afterwards.
set -euo pipefail
TOOL=$(realpath "$1") DIR=$2 ROUNDS=${3:-5}
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
for c in {a..z} {A..Z} _ .; do printf '%s*\tmoved/%s*\n' "$c" "$c"; done >"$WORK/map.tsv"
pages=$(find "$DIR" -type f \( -name '*.html' -o -name '*.htm' \) | wc -l)
bytes=$(find "$DIR" -type f \( -name '*.html' -o -name '*.htm' \) -print0 | du -cb --files0-from=- | tail -1 | cut -f1)
best() {  # best wall time in seconds of the command, ROUNDS times
    local best=999999 t
    for ((i = 0; i < ROUNDS; ++i)); do
        rm -rf "$WORK/out"
        t=$( { TIMEFORMAT='%U %S'; time "$@" >/dev/null 2>/dev/null; } 2>&1 | tail -1 | awk '{ print $1 + $2 }')
        best=$(echo "$t $best" | awk '{ print ($1 < $2) ? $1 : $2 }')
    done
    echo "$best"
}
run() {
    local label=$1; shift
    local keep normal
    keep=$(best env "$@" "$TOOL" fix --map "$WORK/map.tsv" --all -j 1 -r "$DIR" --out "$WORK/out")
    normal=$(best env "$@" "$TOOL" fix --map "$WORK/map.tsv" --all -j 1 -r "$DIR" --out "$WORK/out" --normalize)
    printf '%-28s keep-bytes %6.2f s (%5.1f MB/s)   --normalize %6.2f s (%5.1f MB/s)\n' "$label" \
        "$keep" "$(echo "$bytes $keep" | awk '{ print $1 / 1e6 / $2 }')" \
        "$normal" "$(echo "$bytes $normal" | awk '{ print $1 / 1e6 / $2 }')"
}
echo "$pages pages, $bytes bytes; best of $ROUNDS"
run "glibc default" X=1
run "no trim, large in heap" GLIBC_TUNABLES=glibc.malloc.trim_threshold=4294967295:glibc.malloc.mmap_threshold=4294967295
"$TOOL" fix --map "$WORK/map.tsv" --all -r "$DIR" --out "$WORK/kept" 2>/dev/null
"$TOOL" fix --map "$WORK/map.tsv" --all -r "$DIR" --out "$WORK/normal" --normalize 2>/dev/null
"$TOOL" urls --all -r "$WORK/kept" | sed -E 's/^[^ ]* //' | sort >"$WORK/u1"
"$TOOL" urls --all -r "$WORK/normal" | sed -E 's/^[^ ]* //' | sort >"$WORK/u2"
cmp -s "$WORK/u1" "$WORK/u2" && echo "the same URLs either way" || echo "the URLs differ (raw text: scripts are read apart)"
