#!/usr/bin/env bash
# Checks that a changed build of the tool does what a reference build does
# on a whole site, byte for byte: the site commands (urls, check, fix with
# every kind of map, mv) and the rewrites of fix-images and fix-hrefs, with
# the same standard output, standard error, exit status and written files.
# The companion of same-output.sh, which covers html, images, hrefs and the
# trace one document at a time.
#   bench/same-site-output.sh NEW_TOOL REFERENCE_TOOL SITE_DIR
# e.g. bench/same-site-output.sh build-release/cli/kivoparse /path/to/main/build-release/cli/kivoparse /work/corpus/corpus
# Each tool runs in a folder of its own holding a copy of SITE_DIR as
# `site` and the same map files, so paths in messages read the same.
# Prints each difference; exits 1 if there was one.
set -uo pipefail
[ $# -eq 3 ] || { echo "usage: bench/same-site-output.sh NEW_TOOL REFERENCE_TOOL SITE_DIR" >&2; exit 2; }
new=$(realpath "$1") ref=$(realpath "$2") site=$3
for tool in "$new" "$ref"; do
  [ -x "$tool" ] || { echo "same-site-output.sh: $tool is not an executable" >&2; exit 2; }
done
[ -d "$site" ] || { echo "same-site-output.sh: $site is not a folder" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failed=0

# The site, with one image and one page renamed in letter case so that
# check finds problems and suggests a map.
cp -a "$site" "$work/site"
site=$work/site
for pattern in '*.png' '*.html'; do
  victim=$(cd "$site" && find . -mindepth 2 -name "$pattern" | sort | head -1)
  [ -n "$victim" ] && mv "$site/$victim" "$site/$(dirname "$victim")/$(basename "$victim" | tr a-z A-Z)"
done

# The maps, made from the site's own URLs by the reference tool: every
# tenth image and link in upper case (pairs for fix-images and fix-hrefs),
# prefix rules on the most common folders, a section per fifth page, and
# the check's own suggested map.
mkdir -p "$work/maps"
cp -a "$site" "$work/maps/site"
(
  cd "$work/maps" || exit 2
  "$ref" images -r site 2>/dev/null | awk 'NR % 10 == 0 { print $0 "\t" toupper($0) }' > images.tsv
  "$ref" hrefs -r site 2>/dev/null | awk 'NR % 10 == 0 { print $0 "\tnew/" $0 }' > hrefs.tsv
  "$ref" urls --all -r site 2>/dev/null | awk '{ print $NF }' | sed -n 's#^\(\(\.\./\)*[A-Za-z_]*/\).*#\1#p' \
    | sort | uniq -c | sort -rn | head -8 | awk '{ print $2 "*\tmoved/" $2 "*" }' > rules.tsv
  { printf '@kinds all\n'; cat rules.tsv;
    find site -name '*.html' | sort | awk 'NR % 5 == 0 { sub(/^site\//, ""); print "@document " $0; print "index.html\tstart.html" }'; } > sections.tsv
  "$ref" check -r site --suggest-map suggested.tsv > /dev/null 2>&1
  printf 'a.gif\n' > bad.tsv
  printf '\xef\xbb\xbfa.gif\tb.gif\r\n' > bom.tsv
  rm -rf site
  [ -n "${KEEP_MAPS:-}" ] && cp ./*.tsv "$KEEP_MAPS"
)

# Runs one case with both tools: NAME, then the command's arguments.
# The site is copied afresh for each tool and compared after the command.
run_case() {
  local name=$1; shift
  local side
  for side in new ref; do
    rm -rf "$work/$side"
    mkdir -p "$work/$side"
    cp -a "$site" "$work/$side/site"
    cp "$work/maps/"*.tsv "$work/$side/"
    local tool=$new
    [ "$side" = ref ] && tool=$ref
    (cd "$work/$side" && "$tool" "$@" < "${STDIN_FILE:-/dev/null}" > ../"$side.out" 2> ../"$side.err"
     echo "exit $?" >> ../"$side.err")
  done
  if ! cmp -s "$work/new.out" "$work/ref.out"; then
    echo "DIFFERS (stdout): $name: $*"; diff "$work/ref.out" "$work/new.out" | head -5; failed=1
  fi
  if ! cmp -s "$work/new.err" "$work/ref.err"; then
    echo "DIFFERS (stderr or exit status): $name: $*"; diff "$work/ref.err" "$work/new.err" | head -5; failed=1
  fi
  if ! diff -r -q --no-dereference "$work/ref" "$work/new" > "$work/tree.diff" 2>&1; then
    echo "DIFFERS (written files): $name: $*"; head -5 "$work/tree.diff"; failed=1
  fi
}

first=$(cd "$site" && find . -name '*.html' | sort | head -1)
run_case urls            urls -r site -j 1
run_case urls-all-json   urls --all --json -r site -j 1
run_case urls-css        urls --kinds css,resources -r site -j 2
STDIN_FILE=$site/$first run_case urls-stdin urls --all -
run_case check           check -r site -j 1
run_case check-json      check --all --anchors --json -r site -j 1
run_case check-suggest   check -r site --suggest-map out.tsv -j 1
run_case check-root      check --kinds links --root site site/"$first"
run_case fix-map         fix --map rules.tsv --all -r site --out site -j 1
run_case fix-map-normal  fix --map rules.tsv --all --normalize -r site --out out -j 1
run_case fix-map-dry     fix --map sections.tsv -r site --dry-run -j 1
run_case fix-map-kinds   fix --map sections.tsv --kinds images -r site --out out -j 1
run_case fix-suggested   fix --map suggested.tsv -r site --out site -j 1
run_case fix-bad-map     fix --map bad.tsv -r site --out out
run_case fix-bom-map     fix --map bom.tsv -r site --out out
run_case fix-images      fix-images --map images.tsv -r site --out out -j 1
run_case fix-hrefs       fix-hrefs --map hrefs.tsv -r site --out out -j 1
run_case fix-both        fix --images-map images.tsv --hrefs-map hrefs.tsv -r site --out out -j 1
run_case fix-both-base   fix --images-map images.tsv --hrefs-map hrefs.tsv --base ../_static/ -r site --out out -j 1
run_case fix-keep        fix --images-map images.tsv --hrefs-map hrefs.tsv --keep-bytes -r site --out out -j 1
run_case fix-images-bom  fix-images --map bom.tsv site/"$first"
STDIN_FILE=$site/$first run_case fix-stdin fix --map rules.tsv --all
folder=$(cd "$site" && find . -mindepth 1 -maxdepth 1 -type d | sort | head -1)
folder=${folder#./}
run_case mv-dry          mv site/"$folder" site/moved/"$folder" -r site --dry-run -j 1
run_case mv-folder       mv site/"$folder" site/moved/"$folder" -r site -j 1
run_case mv-file         mv site/"${first#./}" site/renamed.html -r site --site-url https://example.com/docs/ -j 1
run_case mv-onto-itself  mv site/"$folder" site/"$folder" -r site
run_case mv-missing      mv site/no-such-file site/x -r site

[ $failed = 0 ] && echo "same-site-output.sh: every site command did the same with both tools"
exit $failed
