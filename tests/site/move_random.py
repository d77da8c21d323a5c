#!/usr/bin/env python3
"""Moves on generated sites: nothing that worked is broken by kivoparse mv.

    move_random.py KIVOPARSE [SEEDS]

Each seed makes a small site of pages, stylesheets and images in nested
folders, whose URLs are relative (some in another letter case, some with a
query, a fragment or a trailing slash, some written with %20),
root-relative, or missing, then moves a random file or folder into a random
folder. 'check -r --all' must afterwards report no problem it did not
report before (the documents named at their new places), check as many
URLs, and only ever lose reports of URLs found in another letter case: a
URL that named what moved in another case is written with the new name.
"""
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile

TOOL = os.path.abspath(sys.argv[1])
SEEDS = int(sys.argv[2]) if len(sys.argv) > 2 else 60
NAMES = ['a', 'b', 'Img', 'doc', 'x y']


def make_site(r, root):
    made = []
    for _ in range(r.randint(3, 10)):
        folder = '/'.join(r.choice(NAMES) for _ in range(r.randint(0, 3)))
        path = (folder + '/' if folder else '') + r.choice(['p.html', 'q.html', 'i.gif', 'S.css'])
        full = os.path.join(root, path)
        try:
            os.makedirs(os.path.dirname(full), exist_ok=True)
        except (FileExistsError, NotADirectoryError):
            continue
        if not os.path.isdir(full) and path not in made:
            made.append(path)
            open(full, 'w').close()
    for path in made:
        here = os.path.dirname(path) or '.'
        full = os.path.join(root, path)
        if path.endswith('.html'):
            urls = []
            for _ in range(r.randint(1, 6)):
                target, roll = r.choice(made + ['gone/x.html']), r.random()
                url = os.path.relpath(target, here)
                if roll < 0.2:
                    url = '/' + target
                elif roll < 0.35:
                    url = url.upper()
                elif roll < 0.5:
                    url += r.choice(['#x', '?q=1', '/'])
                url = url.replace(' ', r.choice(['%20', ' ']))
                tag = r.choice(['<a href="%s">x</a>', "<img src='%s'>", '<link href=%s>', '<p style="background:url(%s)">'])
                urls.append(tag % url.replace(' ', '%20') if tag.startswith('<link') else tag % url)
            open(full, 'w').write('\n'.join(urls) + '\n')
        elif path.endswith('.css'):
            open(full, 'w').write('x { background: url("%s") }\n' % os.path.relpath(r.choice(made), here))
        else:
            open(full, 'w').write('GIF')
    return made


def reports(text, moved):
    found = []
    for line in text.splitlines():
        m = re.match(r"^(.+?):(\d+):\d+: (\S+) '.*': (no such file|exists as|climbs above|\S+)", line)
        found.append((moved(m.group(1)), int(m.group(2)), m.group(3), m.group(4)) if m else ('?', 0, line, ''))
    return found


def check(work):
    run = subprocess.run([TOOL, 'check', '-r', '--all', 'site'], cwd=work, capture_output=True,
                         text=True, errors='surrogateescape')
    counted = re.search(r'(\d+) local URLs checked', run.stderr)
    return reports(run.stdout, lambda p: p), int(counted.group(1)) if counted else -1


def main():
    failures, moves = [], 0
    work = tempfile.mkdtemp(prefix='kivoparse-move-random.')
    try:
        for seed in range(SEEDS):
            r = random.Random(seed)
            shutil.rmtree(os.path.join(work, 'site'), ignore_errors=True)
            made = make_site(r, os.path.join(work, 'site'))
            folders = sorted({'/'.join(p.split('/')[:i]) for p in made for i in range(1, p.count('/') + 1)})
            src = r.choice(made + folders)
            into = r.choice([''] + folders)
            extension = os.path.splitext(src)[1] if src in made else ''
            dst = (into + '/' if into else '') + 'moved' + extension
            if dst == src or dst.startswith(src + '/') or os.path.lexists(os.path.join(work, 'site', dst)):
                continue
            before, checked = check(work)
            run = subprocess.run([TOOL, 'mv', 'site/' + src, 'site/' + dst, '-r', 'site'], cwd=work,
                                 capture_output=True, text=True)
            if run.returncode != 0:
                failures.append('seed %d: mv %s %s failed: %s' % (seed, src, dst, run.stderr.strip()))
                continue
            moves += 1
            old, new = 'site/' + src, 'site/' + dst

            def moved(path):
                return new + path[len(old):] if path == old or path.startswith(old + '/') else path
            before = sorted((moved(f), line, kind, problem) for f, line, kind, problem in before)
            after, checked_after = check(work)
            new_reports = sorted(set(after) - set(before))
            lost = [f for f in sorted(set(before) - set(after)) if f[3] != 'exists as']
            if new_reports or lost or checked != checked_after:
                failures.append('seed %d: mv %s %s: new %s, lost %s, checked %d then %d' % (
                    seed, src, dst, new_reports, lost, checked, checked_after))
    finally:
        shutil.rmtree(work, ignore_errors=True)
    for failure in failures:
        print('FAIL:', failure)
    print('%d moves, %d failures' % (moves, len(failures)))
    return 1 if failures or moves == 0 else 0


if __name__ == '__main__':
    sys.exit(main())
