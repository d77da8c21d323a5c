#!/usr/bin/env bash
# Checks that a changed build of the tool writes what a reference build
# writes, byte for byte, with the same exit status: after every change to
# the engine or the tree that is meant to change only speed or memory.
#   bench/same-output.sh NEW_TOOL REFERENCE_TOOL [CORPUS_DIR]
# e.g. bench/same-output.sh build-bench/cli/kivoparse /path/to/main/build/cli/kivoparse /work/corpus/corpus
# Compares `html`, `images` and `hrefs` (and `html --base`) on the corpus
# files (when given) one by one and as one page, on generated pages of
# real shape (three seeds) and flat markup, on 3000 random tag-soup
# documents, and the trace (`--log`) and output of 300 of those, the
# samples, the regression inputs and the fuzz seeds. Needs python3 and a
# `bench` build (kivoparse_compare writes the generated pages). Prints each
# difference; exits 1 if there was one.
set -uo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
[ $# -ge 2 ] && [ $# -le 3 ] || { echo "usage: bench/same-output.sh NEW_TOOL REFERENCE_TOOL [CORPUS_DIR]" >&2; exit 2; }
new=$1 ref=$2 corpus=${3:-}
compare=${BUILD_DIR:-build-bench}/bench/kivoparse_compare
for tool in "$new" "$ref" "$compare"; do
  [ -x "$tool" ] || { echo "same-output.sh: $tool is not an executable" >&2; exit 2; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# Random tag soup: tags of known and unknown kinds in both cases, stray and
# unclosed end tags, attributes in every quoting style, insert blocks,
# comments, entities, non-ASCII bytes and tags that fall back to text.
python3 - "$work/soup" <<'EOF'
import os, random, sys
out = sys.argv[1]
r = random.Random(7)
names = ["p", "li", "ul", "div", "span", "a", "b", "em", "code", "pre", "td", "tr", "table", "img", "style",
         "x-y", "h1", "font", "center", "blockquote", "iframe", "longername1"]
def attribute():
    key = r.choice(["href", "src", "class", "data-x", "background", "id", "style", ""])
    quote = r.choice(['"', "'", "", '"'])
    value = r.choice(["a.gif", "x y", "http://h/p.html", "", "&amp;", "<|v|>", "c:\\\\d\\\\e.png", "\u00e9"])
    return f" {key}={quote}{value}{quote}" if key else " "
def piece():
    c = r.random()
    name = r.choice(names)
    if r.random() < 0.5:
        name = name.upper()
    if c < 0.35:
        return f"<{name}" + "".join(attribute() for _ in range(r.randrange(3))) + ">"
    if c < 0.6:
        return f"</{name}>"
    if c < 0.85:
        return r.choice(["text ", "t", " ", "\n", "&lt;", "\u00fc", "<", ">", "a<b", "<!-- c -->", "<|ins|>", "<||", "|>"])
    if c < 0.9:
        return "<!DOCTYPE html>"
    return r.choice(["<", "</", "<a x=", "<p  ", "<img src=a.gif", "<<"])
os.makedirs(out)
for i in range(3000):
    with open(f"{out}/d{i:05}.html", "w", encoding="utf-8", newline="") as f:
        f.write("".join(piece() for _ in range(r.randrange(1, 120))))
EOF
for seed in 1 2 3; do "$compare" --write-real "$work/real-$seed.html" 2 "$seed"; done
"$compare" --write-flat "$work/flat.html" 2

same() {  # label, arguments of both tools
  local label=$1
  shift
  "$new" "$@" > "$work/new.out" 2> "$work/new.err"
  local a=$?
  "$ref" "$@" > "$work/ref.out" 2> "$work/ref.err"
  local b=$?
  if [ $a -ne $b ] || ! cmp -s "$work/new.out" "$work/ref.out"; then
    echo "DIFFERENT: $label (exit $a / $b)"
    failed=1
  fi
}
pages=("$work"/real-*.html "$work/flat.html")
[ -z "$corpus" ] || { cat $(find "$corpus" -type f -name '*.html' | LC_ALL=C sort) > "$work/corpus.html"; pages+=("$work/corpus.html"); }
for command in html images hrefs; do
  same "$command over the tag soup" "$command" -j 2 -r "$work/soup"
  [ -z "$corpus" ] || same "$command over the corpus files" "$command" -j 2 -r "$corpus"
  for page in "${pages[@]}"; do same "$command $(basename "$page")" "$command" "$page"; done
done
same "html --base over the tag soup" html --base 'c:\d' -j 2 -r "$work/soup"

traced=0
for file in $(ls "$work"/soup/*.html | head -n 300) samples/*.html tests/data/regress/*.html fuzz/corpus/*; do
  rm -f "$work/new.log" "$work/ref.log"
  "$new" html --log "$work/new.log" "$file" > "$work/new.out" 2>&1
  "$ref" html --log "$work/ref.log" "$file" > "$work/ref.out" 2>&1
  if ! cmp -s "$work/new.log" "$work/ref.log" || ! cmp -s "$work/new.out" "$work/ref.out"; then
    echo "DIFFERENT trace or output: $file"
    failed=1
  fi
  traced=$((traced + 1))
done
echo "same-output.sh: $(( ${#pages[@]} + 3 )) inputs per command and $traced traces compared; $([ $failed -eq 0 ] && echo 'all the same' || echo 'differences above')"
exit $failed
