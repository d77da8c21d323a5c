#!/usr/bin/env bash
# A site moved from a server that ignores letter case, from start to end:
#   migration.sh KIVOPARSE [SITE]
# copies a real documentation site (default: valgrind's HTML manual from
# /usr/share/doc; skipped, status 77, when there is none), renames a third
# of its files and folders to other letter cases, and checks that
#   1. 'check --all' reports exactly the URLs that now lead to a file of
#      another letter case (worked out here by other means) and nothing
#      else beyond what the site missed before,
#   2. 'fix --map' with the map of '--suggest-map' repairs them, in the
#      kinds the map records (every kind: stylesheets and scripts, and the
#      URLs inside stylesheets), and 'check' is then clean,
#   3. with '--kinds images,links' the stylesheet links stay as they were,
#      and fix warns that the map was made for other kinds.
set -euo pipefail
K=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
SITE=${2:-/usr/share/doc/valgrind/html}
[ -d "$SITE" ] || { echo "skip: no site at $SITE"; exit 77; }
command -v python3 >/dev/null || { echo "skip: python3 is needed"; exit 77; }
WORK=$(mktemp -d "${TMPDIR:-/tmp}/kivoparse-migration.XXXXXX")
trap '[ -n "${KEEP:-}" ] || rm -rf "$WORK"' EXIT
cd "$WORK"
cp -rL "$SITE" site
# The URLs and what the site missed before the move.
"$K" urls -r --all --json site >urls.json
set +e
"$K" check -r --all site >before.txt 2>/dev/null
set -e

# Renames every third name (files and folders, deepest first) to another
# letter case, and works out what check must say from the URLs read before.
python3 - <<'PY'
import html, json, os, re, urllib.parse
found = []
for line in open('urls.json'):
    o = json.loads(line)
    url = o['url'].strip()
    if '<|' in url or re.match(r'^[A-Za-z][A-Za-z0-9+.-]*:', url) or re.match(r'^[/\\]{2}', url):
        continue
    path = re.split(r'[?#]', html.unescape(url))[0]
    if not path:
        continue
    path = urllib.parse.unquote(path.replace('\\', '/'), errors='surrogateescape')
    base = 'site' if path.startswith('/') else os.path.dirname(o['file'])
    target = os.path.normpath(os.path.join(base, path.lstrip('/')))
    if os.path.exists(target):
        found.append((o, base, path, target))
renamed = {}
names = sorted((p for p in (os.path.join(d, n) for d, ds, fs in os.walk('site') for n in ds + fs)), key=lambda p: (-p.count('/'), p))
for i, path in enumerate(names):
    if i % 3:
        continue
    folder, name = os.path.split(path)
    new = name.swapcase() if any(c.isalpha() for c in name) else name
    if new != name:
        os.rename(path, os.path.join(folder, new))
        renamed[path] = os.path.join(folder, new)
def moved(path):
    parts = path.split('/')
    out = list(parts)
    for i in range(1, len(parts) + 1):
        head = '/'.join(parts[:i])
        if head in renamed:
            out[i - 1] = renamed[head].split('/')[-1]
    return '/'.join(out)
expected = []
for o, base, path, target in found:
    # The URL's own names, from its document's folder as it is now.
    if os.path.normpath(os.path.join(moved(base), path.lstrip('/'))) != moved(target):
        expected.append("%s:%d:%d: %s '%s': exists as '%s'" % (moved(o['file']), o['line'], o['column'], o['kind'], o['url'], moved(target)))
open('expected.txt', 'w').write(''.join(sorted(e + '\n' for e in expected)))
open('renamed.txt', 'w').write(''.join(a + '\t' + b + '\n' for a, b in sorted(renamed.items())))
# What was missing before is missing still, in the files' new names.
open('before-moved.txt', 'w').write(''.join(sorted(moved(l.split(':', 1)[0]) + ':' + l.split(':', 1)[1] for l in open('before.txt'))))
PY
[ -s expected.txt ] || { echo "FAIL: the renaming made no URL point elsewhere"; exit 1; }
grep -q "resources '" expected.txt || { echo "FAIL: no stylesheet or script was renamed"; exit 1; }

set +e
"$K" check -r --all site --suggest-map map.tsv >after.txt 2>after.err
status=$?
set -e
[ $status = 1 ] || { echo "FAIL: check gave $status, expected 1"; cat after.err; exit 1; }
grep "': exists as '" after.txt | sort >case-only.txt
grep -v "': exists as '" after.txt | sort >missing.txt || true
diff expected.txt case-only.txt || { echo "FAIL: the case-only reports differ from the expected ones"; exit 1; }
diff before-moved.txt missing.txt || { echo "FAIL: the missing reports changed with the renaming"; exit 1; }

head -1 map.tsv | grep -qx '@kinds all' || { echo "FAIL: the suggested map does not record its kinds"; exit 1; }
# With only images and links asked for, stylesheet and script links keep
# their spelling, and fix says the map was made for more.
cp -r site images-and-links
"$K" fix --map map.tsv --kinds images,links -r images-and-links --out images-and-links 2>kinds.err
grep -q "was made for other kinds" kinds.err || { echo "FAIL: no warning of the map's other kinds"; exit 1; }
"$K" check -r --kinds resources images-and-links >kept.txt 2>/dev/null || true
grep -q "': exists as '" kept.txt || { echo "FAIL: fix --kinds images,links rewrote stylesheets or scripts"; exit 1; }

# The map's own kinds, with no option: every kind.
"$K" fix --map map.tsv -r site --out site
set +e
"$K" check -r --all site >final.txt 2>final.err
status=$?
set -e
grep "': exists as '" final.txt && { echo "FAIL: case-only URLs are left after fix"; exit 1; }
# fix writes the pages normalised, so places move: the reports without them.
unplaced() { sed -E 's/^([^:]*):[0-9]+:[0-9]+:/\1:/' "$1" | sort; }
diff <(unplaced before-moved.txt) <(unplaced final.txt) || { echo "FAIL: fix changed what is missing"; exit 1; }
[ -s before-moved.txt ] || [ $status = 0 ] || { echo "FAIL: check after fix gave $status"; exit 1; }
echo "ok: $(wc -l <renamed.txt) names renamed, $(wc -l <expected.txt) URLs reported and repaired ($(grep -c "resources '" expected.txt) stylesheets and scripts)"
