#!/usr/bin/env bash
# A folder of pages and images moved inside a site with 'kivoparse mv':
#   move.sh KIVOPARSE [SITE SRC DST]
# copies the site (default: the site made below; symbolic links copied as
# links, cp -a), moves SRC to DST (paths inside the site), and checks that
#   1. --dry-run changes no file and names every page the move changes,
#   2. 'check -r --all' reports afterwards what it reported before, the
#      documents named at their new places (nothing new broken),
#   3. every page and stylesheet differs from what it was only inside its
#      URLs: cut out, the rest is byte for byte the same (inline scripts,
#      comments, line ends and final newlines included),
#   4. symbolic links are still links and still reach what they reached.
set -euo pipefail
K=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
command -v python3 >/dev/null || { echo "skip: python3 is needed"; exit 77; }
WORK=$(mktemp -d "${TMPDIR:-/tmp}/kivoparse-move.XXXXXX")
trap '[ -n "${KEEP:-}" ] || rm -rf "$WORK"' EXIT
if [ $# -ge 4 ]; then
    cp -a "$2" "$WORK/site"
    SRC=$3 DST=$4
    cd "$WORK"
else
    cd "$WORK"
    SRC=guide DST=manual/guide
    mkdir -p site/guide/img site/img site/css site/manual site/other
    printf 'GIF' >site/guide/img/fig.gif
    printf 'GIF' >site/img/logo.gif
    printf 'GIF' >site/img/Bullet.GIF
    # Pages into the folder, from the folder, and around it.
    printf '<!DOCTYPE html>\r\n<html><head><link rel=stylesheet href="css/site.css">\r\n<base target=_self>\r\n</head>\r\n<body><a href="guide/index.html#top">Guide</a> <a href=/guide/a.html?x=1>A</a>\r\n<img src=guide/img/fig.gif alt="fig"><img srcset="guide/img/fig.gif 1x, img/logo.gif 2x">\r\n<a href="guide/">folder</a> <a href=missing.html>broken before</a>\r\n<script>var t = "<a href=\\"guide/a.html\\">";</script>\r\n</body></html>' >site/index.html
    printf '<html>\n<head><link rel=stylesheet href=../css/site.css></head>\n<!-- <a href="../index.html"> in a comment -->\n<body><a href=../index.html>home</a> <a href=a.html>a</a>\n<img src="img/fig.gif"><img src=../img/logo.gif>\n<img src=../img/bullet.gif><a href="../other/p.html#s">other</a>\n<p style="background: url(\x27../img/logo.gif\x27)">x</p>\n<script>document.write("<img src=\x27../img/logo.gif\x27>");</script>\n<a href=../gone/x.html>broken before</a></body>\n</html>' >site/guide/index.html
    printf '<a href=index.html>up</a><img src=/img/logo.gif><a href=../other/p.html>o</a>' >site/guide/a.html
    printf '<a href=../guide/a.html>a</a> <a href="../guide/index.html">g</a><img src="../guide/img/fig.gif">\n' >site/other/p.html
    printf 'body { background: url(../img/logo.gif) }\n.fig { background: url("../guide/img/fig.gif") }\n@import "../guide/print.css";\n' >site/css/site.css
    printf '.x { background: url(img/fig.gif) } .y { background: url(../img/logo.gif) }' >site/guide/print.css
    ln -s guide/a.html site/shortcut.html
    ln -s ../img/logo.gif site/guide/img/logo-link.gif
fi
[ -e "site/$SRC" ] || { echo "FAIL: no site/$SRC"; exit 1; }

"$K" urls -r --all --json --ext html,htm,css site >urls-before.json
set +e
"$K" check -r --all site >check-before.txt 2>check-before.err
set -e
find site -print0 | sort -z | xargs -0 ls -ld --time-style=+ >tree-before.txt
(cd site && find . -type f -print0 | sort -z | xargs -0 sha256sum) >sums-before.txt
cp -a site before

# 1. The dry run changes nothing.
"$K" mv "site/$SRC" "site/$DST" -r site --dry-run >dry.diff 2>dry.err || { echo "FAIL: mv --dry-run failed"; cat dry.err; exit 1; }
(cd site && find . -type f -print0 | sort -z | xargs -0 sha256sum) | cmp -s - sums-before.txt ||
    { echo "FAIL: --dry-run changed files"; exit 1; }
grep -q '^kivoparse: dry run, nothing changed' dry.err || { echo "FAIL: no dry-run summary"; cat dry.err; exit 1; }

"$K" mv "site/$SRC" "site/$DST" -r site 2>mv.err || { echo "FAIL: mv failed"; cat mv.err; exit 1; }
[ ! -e "site/$SRC" ] && [ -e "site/$DST" ] || { echo "FAIL: site/$SRC was not moved"; exit 1; }
"$K" urls -r --all --json --ext html,htm,css site >urls-after.json
set +e
"$K" check -r --all site >check-after.txt 2>check-after.err
set -e

# Until urls and check read a SCRIPT's content as text, as mv does, what
# they find inside scripts is left out of the comparison.
printf '<script>"<img src=x.gif>"</script>' >probe.html
SCRIPTS_AS_MARKUP=$("$K" urls probe.html | grep -c x.gif || true)
SRC="$SRC" DST="$DST" SCRIPTS_AS_MARKUP="$SCRIPTS_AS_MARKUP" python3 - <<'PY'
import json, os, re, sys
src, dst = 'site/' + os.environ['SRC'], 'site/' + os.environ['DST']
def moved(path):
    return dst + path[len(src):] if path == src or path.startswith(src + '/') else path
fail = []
def urls(name):
    found = {}
    for line in open(name, encoding='utf-8', errors='surrogateescape'):
        o = json.loads(line)
        found.setdefault(o['file'], []).append(o)
    return found
ub, ua = urls('urls-before.json'), urls('urls-after.json')
# 2. The check's reports: the same documents, lines, kinds and problems.
def reports(name, move):
    out = []
    for line in open(name, encoding='utf-8', errors='surrogateescape'):
        m = re.match(r"^(.+?):(\d+):\d+: (\S+) '.*': (no such file|exists as|climbs above|.*?) ", line)
        if not m:
            fail.append('unread report line: ' + line)
            continue
        if os.environ['SCRIPTS_AS_MARKUP'] != '0' and in_script(m.group(1), int(m.group(2)), move):
            continue
        out.append((move(m.group(1)), int(m.group(2)), m.group(3), m.group(4)))
    return sorted(out)
def in_script(path, line, move):
    original = 'before/' + path[len('site/'):] if move is moved else None
    if original is None:
        back = [p for p in ub if moved(p) == path]
        original = 'before/' + (back[0] if back else path)[len('site/'):]
    try:
        lines = open(original, 'rb').read().split(b'\n')
    except OSError:
        return False
    return line <= len(lines) and b'<script' in lines[line - 1].lower()
before, after = reports('check-before.txt', moved), reports('check-after.txt', lambda p: p)
if before != after:
    fail.append('check reports differ:\n  only before: %s\n  only after: %s' % (
        sorted(set(before) - set(after))[:10], sorted(set(after) - set(before))[:10]))
counts = [re.sub(r'^kivoparse: ', '', l) for l in open('check-before.err') if 'local URLs checked' in l]
counts_after = [re.sub(r'^kivoparse: ', '', l) for l in open('check-after.err') if 'local URLs checked' in l]
if counts != counts_after and os.environ['SCRIPTS_AS_MARKUP'] == '0':
    fail.append('check counts differ: %s / %s' % (counts, counts_after))
# 3. Each document less its URLs is what it was.
def cut(path, occurrences):
    data = open(path, 'rb').read()
    starts = [0] + [i + 1 for i, b in enumerate(data) if b == 10]
    pieces, at = [], 0
    for o in occurrences:
        offset = starts[o['line'] - 1] + o['column'] - 1
        url = o['url'].encode('utf-8', 'surrogateescape')
        if data[offset:offset + len(url)] != url:
            continue  # placed at its attribute's name: not cut out
        end = offset + len(url)
        # Quotes a rewrite put around a value count as part of its URL.
        if offset > at and end < len(data) and data[offset - 1] == data[end] and data[end] in b'"\'':
            offset, end = offset - 1, end + 1
        pieces.append(data[at:offset])
        at = end
    pieces.append(data[at:])
    return pieces
documents, changed = 0, 0
for d, ds, fs in os.walk('before'):
    for n in fs:
        old = os.path.join('site', os.path.relpath(os.path.join(d, n), 'before'))
        new = moved(old)
        if os.path.islink(os.path.join(d, n)):
            # 4. Still a link, reaching what it reached (moved along).
            reached = os.path.relpath(os.path.realpath(os.path.join(d, n)), os.path.realpath('before'))
            now = os.path.relpath(os.path.realpath(new), os.path.realpath('site'))
            if not os.path.islink(new):
                fail.append('%s is no longer a symbolic link' % new)
            elif not reached.startswith('..') and moved('site/' + reached) != 'site/' + now:
                fail.append('%s reaches %s, not %s' % (new, now, moved('site/' + reached)))
            continue
        if not re.search(r'\.(html?|css)$', n, re.I):
            if open(os.path.join(d, n), 'rb').read() != open(new, 'rb').read():
                fail.append('%s changed' % new)
            continue
        documents += 1
        a, b = ub.get(old, []), ua.get(new, [])
        if len(a) != len(b) or any(x['kind'] != y['kind'] or x['tag'] != y['tag'] for x, y in zip(a, b)):
            fail.append('%s: not the same URLs (%d before, %d after)' % (new, len(a), len(b)))
            continue
        if cut(os.path.join(d, n), a) != cut(new, b):
            fail.append('%s: bytes outside its URLs changed' % new)
        changed += any(x['url'] != y['url'] for x, y in zip(a, b))
if fail:
    print('FAIL:\n' + '\n'.join(fail))
    sys.exit(1)
print('%d documents, %d with URLs rewritten; check reports %d problems before and after' % (documents, changed, len(before)))
PY
