#!/usr/bin/env bash
# Compares the outputs of two builds of the tool, byte for byte, over a tree
# of documents and over generated ones:
#   bench/compare_cli.sh OLD NEW TREE [COUNT [SINGLE]]
# Every command with and without --base, --log, -r, --out, --json and -0;
# the maps are made from the tree's own URLs; urls, check (with the map it
# suggests) and fix --map with that map. COUNT documents are generated;
# SINGLE files of each tree are also run one at a time (the trace among them).
# NEW's fix with one map must equal OLD's fix-images or fix-hrefs. Prints each difference; the
# status is 1 when there is one.
set -u
OLD=$1 NEW=$2 TREE=$3 COUNT=${4:-2000} SINGLE=${5:-300}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/kivoparse-compare.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
differ=0

# Random documents: tags, attributes in every quoting, image and link URLs,
# comments, stray "<", NUL and CR bytes, unmatched end tags.
python3 - "$WORK/gen" "$COUNT" <<'PY'
import os, random, sys
out, count = sys.argv[1], int(sys.argv[2])
os.makedirs(out)
rnd = random.Random(7)
tags = ["a", "A", "img", "IMG", "input", "p", "b", "body", "table", "td", "x-y", "script", "!--", "/a", "/p", "/b"]
attrs = ["src", "SRC", "href", "HREF", "background", "type", "title", "alt", "", "=", "a'b"]
vals = ["a.gif", "A.GIF", "C:\\web\\a.gif", "C:/web/b.gif", "x.html", "say \"hi\"", "it's", "", "\0z", "\r\n", "<", "p q"]
def tag():
    name = rnd.choice(tags)
    parts = ["<" + name]
    for _ in range(rnd.randrange(4)):
        a, v = rnd.choice(attrs), rnd.choice(vals)
        q = rnd.choice(["", "'", '"'])
        parts.append(" %s=%s%s%s" % (a, q, v, q) if rnd.random() < 0.8 else " " + a)
    return "".join(parts) + rnd.choice([">", ">", ">", "", " >"])
for i in range(count):
    doc = "".join(tag() if rnd.random() < 0.6 else rnd.choice(["text", " ", "&amp;", "<", "\0", "x<y"]) for _ in range(rnd.randrange(1, 40)))
    open(os.path.join(out, "%05d.html" % i), "w", encoding="latin-1").write(doc)
PY
"$OLD" images -r "$TREE" | cut -f2 | sort -u | sed 's|.*|&\tnew/&|' >"$WORK/images.tsv"
"$OLD" hrefs -r "$TREE" | cut -f2 | sort -u | sed 's|.*|&\tnew/&|' >"$WORK/hrefs.tsv"
printf 'a.gif\tb.gif\nx.html\ty.html\nC:/web/b.gif\tz.gif\n' >"$WORK/gen.tsv"

# same LABEL ARGS...: both tools on the same words, standard output and status compared.
same() {
    local label=$1; shift
    "$OLD" "$@" >"$WORK/old.out" 2>"$WORK/old.err"; local a=$?
    "$NEW" "$@" >"$WORK/new.out" 2>"$WORK/new.err"; local b=$?
    if [ $a != $b ] || ! cmp -s "$WORK/old.out" "$WORK/new.out"; then
        echo "differs: $label: $* (status $a, $b)"; differ=1
    fi
}
for dir in "$TREE" "$WORK/gen"; do
    map=$WORK/images.tsv links=$WORK/hrefs.tsv
    [ "$dir" = "$TREE" ] || map=$WORK/gen.tsv links=$WORK/gen.tsv
    for base in "" "C:/web/" "https://docs.python.org/3/"; do
        b=(); [ -z "$base" ] || b=(--base "$base")
        same html html "${b[@]}" -r "$dir" -j 2
        same images images "${b[@]}" -r "$dir"
        same "images --json" images --json "${b[@]}" -r "$dir"
        same "hrefs -0" hrefs -0 "${b[@]}" -r "$dir"
        same fix-images fix-images --map "$map" "${b[@]}" -r "$dir"
        same fix-hrefs fix-hrefs --map "$links" "${b[@]}" -r "$dir"
        "$OLD" fix-images --map "$map" "${b[@]}" -r "$dir" >"$WORK/old.out"
        "$NEW" fix --images-map "$map" "${b[@]}" -r "$dir" | cmp -s - "$WORK/old.out" || { echo "differs: fix --images-map"; differ=1; }
        "$OLD" fix-hrefs --map "$links" "${b[@]}" -r "$dir" >"$WORK/old.out"
        "$NEW" fix --hrefs-map "$links" "${b[@]}" -r "$dir" | cmp -s - "$WORK/old.out" || { echo "differs: fix --hrefs-map"; differ=1; }
    done
    # The commands on every kind of URL, when OLD has them: the reports, the
    # counts, the status and the suggested map, then fix with that map.
    if "$OLD" urls --all /dev/null >/dev/null 2>&1; then
        same urls urls --all --json -r "$dir"
        for args in "--all" "--json --kinds css,links,resources"; do
            # shellcheck disable=SC2086
            "$OLD" check $args -r "$dir" --suggest-map "$WORK/m1" >"$WORK/c1" 2>&1; a=$?
            # shellcheck disable=SC2086
            "$NEW" check $args -r "$dir" --suggest-map "$WORK/m2" >"$WORK/c2" 2>&1; b=$?
            [ $a = $b ] && cmp -s "$WORK/c1" "$WORK/c2" && cmp -s "$WORK/m1" "$WORK/m2" ||
                { echo "differs: check $args over $dir"; differ=1; }
        done
        # fix --map now edits the URLs in place; its normalised output is
        # what the older tool wrote.
        normalize=(); "$NEW" fix --help 2>/dev/null | grep -q -- --normalize && normalize=(--normalize)
        "$OLD" fix --map "$WORK/m1" --all -r "$dir" >"$WORK/old.out" 2>/dev/null; a=$?
        "$NEW" fix --map "$WORK/m1" --all -r "$dir" "${normalize[@]}" >"$WORK/new.out" 2>/dev/null; b=$?
        [ $a = $b ] && cmp -s "$WORK/old.out" "$WORK/new.out" || { echo "differs: fix --map over $dir"; differ=1; }
    fi
    rm -rf "$WORK/o1" "$WORK/o2"
    "$OLD" fix-images --map "$map" -r "$dir" --out "$WORK/o1" && "$NEW" fix-images --map "$map" -r "$dir" --out "$WORK/o2" &&
        diff -r "$WORK/o1" "$WORK/o2" >/dev/null || { echo "differs: fix-images --out over $dir"; differ=1; }
    # One document at a time: single-input formats and the trace.
    find "$dir" -type f -name '*.htm*' | sort | head -n "$SINGLE" >"$WORK/list"
    while IFS= read -r file; do
        same "images one" images --json "$file"
        same "hrefs one" hrefs "$file"
        rm -f "$WORK/t1" "$WORK/t2"
        "$OLD" html --base C:/web/ --log "$WORK/t1" "$file" >"$WORK/h1"
        "$NEW" html --base C:/web/ --log "$WORK/t2" "$file" >"$WORK/h2"
        cmp -s "$WORK/h1" "$WORK/h2" && cmp -s "$WORK/t1" "$WORK/t2" || { echo "differs: --log over $file"; differ=1; }
    done <"$WORK/list"
done
[ $differ = 0 ] && echo "no difference"
exit $differ
