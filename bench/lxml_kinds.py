#!/usr/bin/env python3
"""The URL kinds against lxml.html's iterlinks on real documentation sites:
    lxml_kinds.py KIVOPARSE [SITE...]
For the (tag, attribute) pairs of the kinds table, every URL that iterlinks
finds must be found by 'kivoparse urls --all' in the same document, as often
(values compared after decoding character references, which lxml does and
kivoparse leaves to the reader). Prints what kivoparse finds beyond lxml.
Skips (status 77) without lxml or without any site."""
import collections
import glob
import html
import json
import os
import re
import subprocess
import sys

try:
    import lxml.html
except ImportError:
    # The system's Python may have it where the first python3 on PATH has not.
    if os.path.exists('/usr/bin/python3') and os.path.realpath(sys.executable) != os.path.realpath('/usr/bin/python3') \
            and not os.environ.get('KIVOPARSE_LXML_RETRY'):
        os.environ['KIVOPARSE_LXML_RETRY'] = '1'
        os.execv('/usr/bin/python3', ['/usr/bin/python3'] + sys.argv)
    print('skip: lxml is not installed (Debian: python3-lxml)')
    sys.exit(77)

ANY = '*'
TABLE = {('img', 'src'), ('input', 'src'), (ANY, 'background'), ('a', 'href'), ('link', 'href'), ('script', 'src'),
         ('iframe', 'src'), ('frame', 'src'), ('embed', 'src'), ('source', 'src'), ('track', 'src'),
         ('audio', 'src'), ('video', 'src'), ('video', 'poster'), ('object', 'data'), ('area', 'href'),
         ('form', 'action'), ('img', 'srcset'), ('source', 'srcset'), ('meta', 'content'), (ANY, 'style'),
         ('style', None)}


def in_table(tag, attribute):
    return (tag, attribute) in TABLE or (ANY, attribute) in TABLE


NAME_BYTES = set(b'abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-/ \n\r')
ATTRIBUTE = re.compile(rb'([^\s=>]+)(?:\s*=\s*(?:"[^"]*"|\'[^\']*\'|[^\s>]*))?')


def why_missed(data, tag, url):
    """Why kivoparse reads a start tag of this name holding url otherwise
    than lxml: an attribute name with a byte that names no attribute for
    kivoparse ("_", ":", "." ...) makes the whole tag text; a line break
    right after the name becomes part of it, and the image and link kinds select
    their tags by the classified name (images and links)."""
    for match in re.finditer(rb'<' + tag.encode() + rb'(\s[^>]*)?>', data, re.I):
        inside = match.group(1) or b''
        if url.encode('utf-8', 'surrogateescape') not in html.unescape(inside.decode('latin-1')).encode('latin-1', 'replace') \
                and url.encode('utf-8', 'surrogateescape') not in inside:
            continue
        for attribute in ATTRIBUTE.finditer(inside):
            if any(byte not in NAME_BYTES for byte in attribute.group(1)):
                return 'read as text (an attribute name with "_", ":", "." ...)'
        if inside[:1] in (b'\n', b'\r') and tag in ('a', 'img', 'input'):
            return 'a line break after the tag name, which the image and link kinds do not classify'
    return None


def css_url(url):
    return url.strip().strip('"\'').strip()


def main():
    kivoparse = sys.argv[1]
    sites = sys.argv[2:] or [s for s in ('/usr/share/doc/valgrind/html', '/usr/share/doc/nodejs/api',
                                         '/usr/share/doc/libffi8/html') if os.path.isdir(s)]
    if not sites:
        print('skip: no site')
        return 77
    missed = []
    explained = collections.Counter()
    beyond = collections.Counter()
    files = 0
    for site in sites:
        out = subprocess.run([kivoparse, 'urls', '--all', '--json', '-r', site], check=True,
                             stdout=subprocess.PIPE).stdout
        ours = collections.defaultdict(collections.Counter)
        for line in out.decode('utf-8', 'surrogateescape').splitlines():
            o = json.loads(line)
            attribute = o['attribute'] or None
            url = html.unescape(o['url'])
            ours[o['file']][(o['tag'].lower(), attribute, url)] += 1
        for path in sorted(p for p in glob.glob(os.path.join(site, '**', '*.htm*'), recursive=True) if os.path.isfile(p)):
            files += 1
            with open(path, 'rb') as f:
                data = f.read()
            if not data.strip():
                continue
            theirs = collections.Counter()
            for element, attribute, url, _ in lxml.html.document_fromstring(data).iterlinks():
                tag = element.tag.lower() if isinstance(element.tag, str) else ''
                if not in_table(tag, attribute):
                    continue
                if attribute == 'style' or attribute is None:
                    url = css_url(url)
                theirs[(tag, attribute, url)] += 1
            mine = ours.get(path, collections.Counter())
            for key, count in theirs.items():
                why = why_missed(data, key[0], key[2]) if mine[key] < count else None
                if why:
                    explained[(why, '%s %s' % (key[0], key[1]))] += count - mine[key]
                elif mine[key] < count:
                    missed.append('%s: %s %s %r: lxml %d, kivoparse %d' % (path, key[0], key[1], key[2], count,
                                                                           mine[key]))
            for key, count in mine.items():
                if count > theirs[key]:
                    beyond[(key[0], key[1])] += count - theirs[key]
    print('%d documents of %s' % (files, ', '.join(sites)))
    for (tag, attribute), count in sorted(beyond.items(), key=lambda kv: (str(kv[0][0]), str(kv[0][1]))):
        print('  kivoparse beyond lxml: %s %s: %d' % (tag, attribute or '(text)', count))
    for (why, what), count in sorted(explained.items()):
        print('  not found, %s: %s: %d' % (why, what, count))
    for line in missed[:50]:
        print('MISSED ' + line)
    if missed:
        print('%d URLs that lxml finds are missed' % len(missed))
        return 1
    print('every URL that lxml finds for these attributes is found')
    return 0


if __name__ == '__main__':
    sys.exit(main())
