#!/usr/bin/env bash
# Builds the documentation corpus of the benchmark from the HTML files of
# Debian's python3.11-doc (about 50 MB in 530 files), never committed:
#   bench/corpus.sh DIR [COUNT]
# fetches the package into DIR (apt-get download, once), unpacks it there
# (dpkg-deb -x), and makes
#   DIR/corpus[-COUNT]/       the .html files (the first COUNT in path order, or all)
#   DIR/corpus[-COUNT].html   the same files concatenated into one page
set -euo pipefail

usage() { echo "usage: bench/corpus.sh DIR [COUNT]" >&2; exit 2; }
[ $# -ge 1 ] && [ $# -le 2 ] || usage
dir=$1
count=${2:-}
[ -z "$count" ] || [[ "$count" =~ ^[1-9][0-9]*$ ]] || usage
package=python3.11-doc

mkdir -p "$dir"
dir=$(cd "$dir" && pwd)
if ! compgen -G "$dir/${package}_*.deb" > /dev/null; then
  command -v apt-get > /dev/null || { echo "corpus.sh: apt-get is needed to fetch $package" >&2; exit 1; }
  echo "corpus.sh: fetching $package into $dir" >&2
  fetch() { (cd "$dir" && apt-get download "$package" 2>&1 | { grep -v '^W: Download is performed unsandboxed' >&2 || true; }); }
  # A fresh machine may have no package lists yet: as root, read them once and retry.
  if ! fetch && ! { [ "$(id -u)" -eq 0 ] && apt-get update -q >&2 && fetch; }; then
    echo "corpus.sh: apt-get download $package failed (is the package list up to date? try apt-get update)" >&2
    exit 1
  fi
fi
deb=$(ls "$dir/${package}"_*.deb | head -n 1)

unpacked=$dir/unpacked
if [ ! -f "$unpacked/.done" ] || [ "$unpacked/.done" -ot "$deb" ]; then
  rm -rf "$unpacked"
  dpkg-deb -x "$deb" "$unpacked" || { echo "corpus.sh: cannot unpack $deb" >&2; exit 1; }
  touch "$unpacked/.done"
fi
html=$unpacked/usr/share/doc/python3.11/html
[ -d "$html" ] || { echo "corpus.sh: $deb has no $html" >&2; exit 1; }

name=corpus${count:+-$count}
out=$dir/$name
if [ ! -f "$out/.done" ] || [ "$out/.done" -ot "$unpacked/.done" ]; then
  rm -rf "$out" "$out.html"
  mkdir -p "$out"
  (cd "$html" && LC_ALL=C find . -type f -name '*.html' | LC_ALL=C sort | sed 's|^\./||' \
    | awk -v count="${count:-0}" 'count == 0 || NR <= count' > "$out.list")
  while IFS= read -r file; do
    mkdir -p "$out/$(dirname "$file")"
    cp "$html/$file" "$out/$file"
  done < "$out.list"
  (cd "$out" && tr '\n' '\0' < "$out.list" | xargs -0 cat) > "$out.html"
  rm -f "$out.list"
  touch "$out/.done"
fi
echo "corpus.sh: $(find "$out" -type f -name '*.html' | wc -l) files, $(wc -c < "$out.html") bytes in $out" >&2
