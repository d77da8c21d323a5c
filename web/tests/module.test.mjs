// The WebAssembly module against the command-line tool, byte for byte, on
// the sample pages and the documents of cases.json. Needs the page built
// (KIVOPARSE_PAGE, default build-wasm/page) and the tool (KIVOPARSE_CLI,
// default build-release/cli/kivoparse); run from the checkout root:
//   node --test web/tests/
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

const PAGE = resolve(process.env.KIVOPARSE_PAGE ?? 'build-wasm/page');
const CLI = resolve(process.env.KIVOPARSE_CLI ?? 'build-release/cli/kivoparse');
const { createKivoparse } = await import(pathToFileURL(join(PAGE, 'kivoparse.mjs')));
const cases = JSON.parse(readFileSync(new URL('cases.json', import.meta.url), 'utf8'));
const kivoparse = await createKivoparse();
const work = mkdtempSync(join(tmpdir(), 'kivoparse-web-'));
process.on('exit', () => rmSync(work, { recursive: true, force: true }));

const latin1 = (s) => Buffer.from(s, 'latin1');
const byPlace = (a, b) => a.file.localeCompare(b.file) || a.line - b.line || a.column - b.column;
const lines = (values) => Buffer.concat(values.flatMap((v) => [v, Buffer.from('\n')]));

// The tool's output and status for a document; stderr kept for messages.
function cli(args, input, cwd) {
  try {
    return { out: execFileSync(CLI, args, { input, cwd, stdio: ['pipe', 'pipe', 'pipe'] }), status: 0 };
  } catch (error) {
    if (error.status === null || error.status === undefined) throw error;
    return { out: error.stdout, status: error.status, err: error.stderr.toString() };
  }
}

// A map moving every URL the document has (spelt in upper case, so that
// matching ignores case) under new/; values a map file cannot hold are left out.
function mapFor(urls) {
  return urls.map((url) => [Buffer.from(url).toString('latin1'), url])
    .filter(([key]) => !/[\t\n]/.test(key))
    .map(([key, url]) => [latin1(key.toUpperCase()), Buffer.concat([Buffer.from('new/'), url])]);
}

function writeMap(pairs, name = 'map.tsv') {
  const file = join(work, name);
  writeFileSync(file, writeMap.text(pairs));
  return file;
}
writeMap.text = (pairs) => Buffer.concat(pairs.flatMap(([from, to]) => [from, Buffer.from('\t'), to, Buffer.from('\n')]));

const documents = [
  ...readdirSync('samples').filter((name) => name.endsWith('.html')).sort()
    .map((name) => ({ name: `samples/${name}`, bytes: readFileSync(join('samples', name)) })),
  ...cases.documents.map(({ name, latin1: text }) => ({ name, bytes: latin1(text) })),
];

for (const { name, bytes } of documents) {
  for (const base of cases.bases) {
    test(`${name}${base ? ` with base ${base}` : ''}: as the command-line tool`, () => {
      const baseArgs = base ? ['--base', base] : [];
      const same = (actual, args, what) => {
        const expected = cli([...args, ...baseArgs], bytes);
        assert.equal(expected.status, 0, `kivoparse ${args.join(' ')}: ${expected.err}`);
        assert.deepEqual(Buffer.from(actual), expected.out, what);
      };
      same(kivoparse.normalize(bytes, { base }), ['html'], 'html');
      const images = kivoparse.images(bytes, { base });
      const hrefs = kivoparse.hrefs(bytes, { base });
      same(lines(images), ['images'], 'images');
      same(lines(hrefs), ['hrefs'], 'hrefs');
      const imageMap = mapFor(images);
      same(kivoparse.rewrite(bytes, { base, images: imageMap }), ['fix-images', '--map', writeMap(imageMap)], 'fix-images');
      const hrefMap = mapFor(hrefs);
      same(kivoparse.rewrite(bytes, { base, hrefs: hrefMap }), ['fix-hrefs', '--map', writeMap(hrefMap)], 'fix-hrefs');
    });
  }
}

for (const { name, latin1: text } of cases.mapFiles) {
  test(`map file, ${name}: read as the command-line tool reads it`, () => {
    const file = join(work, 'case.tsv');
    writeFileSync(file, latin1(text));
    const page = latin1('<img src=a.gif><img src=I\u00e9.GIF><a href=x.htm>x</a>');
    const expected = cli(['fix-images', '--map', file], page);
    let map;
    try {
      map = new kivoparse.UrlMap(latin1(text), file);
    } catch (error) {
      assert.equal(expected.status, 2);
      assert.equal(expected.err.split('\n')[0], `kivoparse: ${error.message}`);
      assert.equal(error.line, Number(/line (\d+)/.exec(error.message)[1]));
      return;
    }
    try {
      assert.equal(expected.status, 0, expected.err);
      assert.deepEqual(Buffer.from(kivoparse.rewrite(page, { images: map })), expected.out);
      // Its pairs, as pairs, rewrite alike.
      const pairs = map.sources().map((from, i) => [from, map.destinations()[i]]);
      assert.equal(pairs.length, map.size());
      assert.deepEqual(Buffer.from(kivoparse.rewrite(page, { images: pairs })), expected.out);
    } finally {
      map.delete();
    }
  });
}

test('the README example', () => {
  const parser = new kivoparse.Parser();
  try {
    parser.setDocumentBase('C:\\site\\');
    assert.equal(parser.parseHTML('<img src=C:\\site\\logo.gif><a href=Home.htm>home</a>'), 0);
    const text = (bytes) => Buffer.from(bytes).toString('latin1');
    assert.equal(text(parser.getHTML()), '<IMG src="logo.gif"><A href="Home.htm">home</A>');
    assert.deepEqual(parser.getImages().map(text), ['logo.gif']);
    assert.equal(parser.fixHrefs(['home.HTM'], ['index.htm']), 0);
    assert.equal(text(parser.getHTML()), '<IMG src="logo.gif"><A href="index.htm">home</A>');
    assert.equal(parser.fixImages(['a'], []), -1);
  } finally {
    parser.delete();
  }
});

test('strings go in as UTF-8, binary data in any typed form', () => {
  const utf8 = Buffer.from('<P title="é">ü</P>');
  const forms = ['<p title="é">ü</p>', Buffer.from('<p title="é">ü</p>'),
    new Uint8Array(Buffer.from('<p title="é">ü</p>')).buffer, new DataView(new Uint8Array(Buffer.from('<p title="é">ü</p>')).buffer)];
  for (const form of forms) assert.deepEqual(Buffer.from(kivoparse.normalize(form)), utf8);
  assert.throws(() => kivoparse.normalize(42), TypeError);
  assert.throws(() => kivoparse.rewrite('x', { images: 'a.gif' }), TypeError);
});

test('the trace goes to a file of the module\'s file system', () => {
  const parser = new kivoparse.Parser();
  parser.setLogFile('/trace.txt');
  parser.parseHTML('<p>x</p>');
  parser.delete();
  assert.ok(kivoparse.FS.readFile('/trace.txt').length > 0);
});

// The one-pass rewrite of both kinds is the tool's `fix` (where the tool has
// it); piping fix-images into fix-hrefs differs when a first output does not
// read back as itself, as with a value holding a double quote.
const hasFix = cli(['fix', '--help']).status === 0;
test('images and links in one pass: as kivoparse fix', { skip: !hasFix && 'this kivoparse has no fix command yet' }, () => {
  for (const { name, bytes } of [...documents, { name: 'a quoted quote', bytes: Buffer.from(cases.onePass) }]) {
    const imageMap = mapFor(kivoparse.images(bytes));
    const linkMap = mapFor(kivoparse.hrefs(bytes));
    const images = writeMap(imageMap, 'images.tsv');
    const links = writeMap(linkMap, 'links.tsv');
    const expected = cli(['fix', '--images-map', images, '--hrefs-map', links], bytes);
    assert.equal(expected.status, 0, expected.err);
    assert.deepEqual(Buffer.from(kivoparse.rewrite(bytes, { images: imageMap, links: linkMap })), expected.out, name);
  }
});

test('one UrlMap serves many documents; pairs, a UrlMap and the quote case agree', () => {
  const images = new kivoparse.UrlMap('a.gif\tb.gif\n');
  const links = kivoparse.UrlMap.fromPairs(new Map([['A.HTML', 'b.html']]));
  try {
    assert.ok(images instanceof kivoparse.UrlMap && links instanceof kivoparse.UrlMap);
    for (const { bytes } of documents) {
      assert.deepEqual(kivoparse.rewrite(bytes, { images, links }),
        kivoparse.rewrite(bytes, { images: [['a.gif', 'b.gif']], hrefs: { 'A.HTML': 'b.html' } }));
    }
    const out = Buffer.from(kivoparse.rewrite(cases.onePass, { images, links })).toString();
    assert.equal(out, '<A title="say "hi"" href="b.html">x</A><IMG src="b.gif">');
    // Piped, the second parse no longer sees the link.
    const piped = kivoparse.rewrite(kivoparse.rewrite(cases.onePass, { images }), { links });
    assert.notEqual(Buffer.from(piped).toString(), out);
    assert.throws(() => kivoparse.rewrite('x', { links, hrefs: links }), TypeError);
  } finally {
    images.delete();
    links.delete();
  }
});

test('the trace to a function: the lines the log file gets', () => {
  const parser = new kivoparse.Parser();
  try {
    parser.setLogFile('/sink.txt');
    parser.parseHTML(cases.documents[4].latin1);
    const lines = [];
    parser.setTraceSink((line) => lines.push(Buffer.from(line)));
    parser.parseHTML(cases.documents[4].latin1);
    parser.setTraceSink(null);
    parser.parseHTML('<p>not traced');
    assert.ok(lines.length > 0);
    assert.deepEqual(Buffer.concat(lines.flatMap((line) => [line, Buffer.from('\n')])), Buffer.from(kivoparse.FS.readFile('/sink.txt')));
    assert.throws(() => parser.setTraceSink('not a function'), TypeError);
  } finally {
    parser.delete();
  }
  assert.equal(`kivoparse ${kivoparse.version}\n`, cli(['--version']).out.toString());
});

// Every kind of URL: the places, rule maps and rewriter functions against
// `kivoparse urls` and `kivoparse fix --map` for each list of kinds.
const kindDocuments = [...documents, { name: 'every kind', bytes: Buffer.from(cases.kinds.document) }];
for (const kinds of cases.kinds.lists) {
  test(`kinds ${kinds}: urls and fix --map as the command-line tool`, () => {
    for (const { name, bytes } of kindDocuments) {
      const found = kivoparse.urlOccurrences(bytes, { kinds });
      const listed = found.map((o) => Buffer.concat([Buffer.from(`standard input:${o.line}:${o.column}: ${o.kind} `), o.tag,
        Buffer.from(' '), o.attribute.length ? o.attribute : Buffer.from('-'), Buffer.from(' '), o.url]));
      assert.deepEqual(lines(listed), cli(['urls', '--kinds', kinds], bytes).out, `${name}: urls`);
      const rules = Buffer.concat([writeMap.text(mapFor(kivoparse.urls(bytes, { kinds }))), Buffer.from(cases.kinds.rules)]);
      writeFileSync(join(work, 'rules.tsv'), rules);
      const expected = cli(['fix', '--map', join(work, 'rules.tsv'), '--kinds', kinds, '--normalize'], bytes);
      assert.equal(expected.status, 0, expected.err);
      const kept = cli(['fix', '--map', join(work, 'rules.tsv'), '--kinds', kinds], bytes);
      const diff = cli(['fix', '--map', join(work, 'rules.tsv'), '--kinds', kinds, '--dry-run'], bytes);
      const map = kivoparse.UrlMap.parseRules(rules);
      try {
        const byBytes = kivoparse.rewriteKeepingBytes(bytes, map, { kinds });
        assert.deepEqual(Buffer.from(byBytes.html), kept.out, `${name}: fix --map keeping bytes`);
        assert.deepEqual(Buffer.from(kivoparse.unifiedDiff('-', bytes, byBytes)), diff.out, `${name}: fix --dry-run`);
        const byFunctionKept = kivoparse.rewriteKeepingBytes(bytes, (kind, url) => map.apply(url), { kinds });
        assert.deepEqual(Buffer.from(byFunctionKept.html), kept.out, `${name}: keeping bytes, by a function`);
        assert.deepEqual(Buffer.from(kivoparse.rewriteUrls(bytes, map, { kinds })), expected.out, `${name}: fix --map`);
        const asked = [];
        const byFunction = kivoparse.rewriteUrls(bytes, (kind, url) => { asked.push(kind); return map.apply(url); }, { kinds });
        assert.deepEqual(Buffer.from(byFunction), expected.out, `${name}: a function`);
        assert.deepEqual(asked, found.map((o) => o.kind), `${name}: the function's kinds`);
      } finally {
        map.delete();
      }
    }
  });
}

test('kinds: defaults, rule lines, and what a rewriter may not do', () => {
  const page = cases.kinds.document;
  const text = (bytes) => Buffer.from(bytes).toString('latin1');
  assert.deepEqual(kivoparse.urls(page, { rawText: false }), [...kivoparse.images(page), ...kivoparse.hrefs(page)]);
  assert.deepEqual(kivoparse.rewriteUrls(page, { 'F.HTM': 'g.htm' }), kivoparse.normalize(page));
  assert.deepEqual(kivoparse.UrlMap.ruleLines('a**\tb\nc*\td*\ne\tf').map(({ from, to, prefix }) => [text(from), text(to), prefix]),
    [['a*', 'b', false], ['c', 'd', true], ['e', 'f', false]]);
  assert.throws(() => kivoparse.UrlMap.parseRules('a\tb\n\nc', 'm.tsv'), { message: /^m\.tsv: line 2 has no TAB/, line: 2 });
  assert.throws(() => kivoparse.urls(page, { kinds: 'images,imgs' }), RangeError);
  assert.throws(() => kivoparse.urls(page, { kinds: 3 }), TypeError);
  const boom = new Error('boom');
  for (const [rewriter, error] of [[() => { throw boom; }, boom], [() => 42, TypeError],
    [() => kivoparse.normalize('x'), /called while this Parser's rewriter runs/]]) {
    assert.throws(() => kivoparse.rewriteUrls(page, rewriter, { kinds: 'all' }), error);
  }
  const parser = new kivoparse.Parser();
  try {
    parser.parseHTML(page);
    assert.throws(() => parser.rewriteUrls((kind, url) => (kind === 'css' ? null : { url }), 'all'), TypeError);
    assert.deepEqual(parser.getHTML(), kivoparse.normalize(page), 'the tree as it was');
  } finally {
    parser.delete();
  }
});

// The samples as a site in which half the files their URLs name exist in
// another letter case and the rest not at all: SiteCheck over the list of
// its paths finds what `kivoparse check` finds on disk, and suggests its map.
test('SiteCheck over the paths of a site: as kivoparse check --json --suggest-map', () => {
  const site = join(work, 'site');
  mkdirSync(site, { recursive: true });
  for (const name of readdirSync('samples')) writeFileSync(join(site, name), readFileSync(join('samples', name)));
  const check = (args) => cli(['check', '-r', 'site', '--all', '--json', ...args], undefined, work);
  const before = check([]).out.toString().trim().split('\n').map((line) => JSON.parse(line));
  before.filter(({ path }, i) => i % 2 && !path.endsWith('/')).forEach(({ path }) => {
    const cased = join(work, path.replace(/[^/]*$/, (name) => name.toUpperCase()));
    mkdirSync(join(cased, '..'), { recursive: true });
    writeFileSync(cased, '');
  });
  const expected = check(['--suggest-map', 'suggested.tsv']);
  assert.equal(expected.status, 1);
  const paths = readdirSync(site, { recursive: true }).map((path) => `site/${path}`).sort();
  const siteCheck = new kivoparse.SiteCheck(paths);
  const text = (bytes) => Buffer.from(bytes).toString();
  try {
    const found = [];
    for (const path of paths.filter((p) => p.endsWith('.html'))) {
      for (const f of siteCheck.check(path, readFileSync(join(work, path)), { root: 'site', kinds: 'all' })) {
        found.push({ file: path, line: f.line, column: f.column, tag: text(f.tag), attribute: text(f.attribute), kind: f.kind,
          url: text(f.url), problem: f.problem, path: text(f.path), ...(f.problem === 'case' ? { actual: text(f.actual) } : {}) });
      }
    }
    const reported = expected.out.toString().trim().split('\n').map((line) => JSON.parse(line));
    assert.deepEqual([...found].sort(byPlace), reported.sort(byPlace));
    assert.ok(found.some((f) => f.problem === 'case') && found.some((f) => f.problem === 'missing'));
    assert.deepEqual(Buffer.from(siteCheck.suggestedMap()), readFileSync(join(work, 'suggested.tsv')));
  } finally {
    siteCheck.delete();
  }
});

// Maps with "@document" sections: SiteMap rewrites each sample as kivoparse
// fix --map rewrites the file of that name, and names a bad line as it does.
for (const { name, latin1: text } of cases.siteMaps.maps) {
  test(`site map, ${name}: as kivoparse fix --map`, () => {
    const file = writeMap([], 'site-map.tsv');
    writeFileSync(file, latin1(text));
    const { kinds } = cases.siteMaps;
    let map;
    try {
      map = kivoparse.SiteMap.parse(latin1(text), file);
    } catch (error) {
      const expected = cli(['fix', '--map', file, '--kinds', kinds, documents[0].name]);
      assert.equal(expected.status, 2);
      assert.equal(expected.err.split('\n')[0], `kivoparse: ${error.message}`);
      assert.throws(() => kivoparse.SiteMap.ruleLines(latin1(text)), { line: error.line });
      return;
    }
    try {
      const rows = kivoparse.SiteMap.ruleLines(latin1(text));
      assert.deepEqual(map.documents().map((d) => Buffer.from(d).toString()),
        [...new Set(rows.map((r) => Buffer.from(r.document).toString()).filter(Boolean))].sort());
      for (const { name: sample, bytes } of documents.filter((d) => d.name.startsWith('samples/'))) {
        const expected = cli(['fix', '--map', file, '--kinds', kinds, '--normalize', sample]);
        assert.equal(expected.status, 0, expected.err);
        assert.deepEqual(Buffer.from(map.rewrite(sample, bytes, { kinds })), expected.out, sample);
        const kept = cli(['fix', '--map', file, '--kinds', kinds, sample]);
        assert.deepEqual(Buffer.from(map.rewriteKeepingBytes(sample, bytes, { kinds }).html), kept.out, sample);
      }
    } finally {
      map.delete();
    }
  });
}

// Byte-keeping rewrites: counts, edits, a function that throws, and a diff
// of edits that do not fit refused.
test('rewriteKeepingBytes and unifiedDiff', () => {
  const page = Buffer.from('<HTML>\r\n<a HREF=old/a.htm>a</a>\r\n<img src=\'old/i.gif\'>\r\n');
  const map = kivoparse.UrlMap.parseRules('old/*\tnew/*\n');
  try {
    const kept = kivoparse.rewriteKeepingBytes(page, map);
    assert.equal(Buffer.from(kept.html).toString(), page.toString().replaceAll('old/', 'new/'));
    assert.deepEqual(kept.edits.map((e) => [e.offset, e.length, Buffer.from(e.replacement).toString(), e.kind]),
      [[page.indexOf('old/a.htm'), 9, 'new/a.htm', 'links'], [page.indexOf('old/i.gif'), 9, 'new/i.gif', 'images']]);
    assert.equal(kept.rewritten.links, 1);
    assert.equal(kept.rewritten.images, 1);
    assert.equal(kept.leftAlone, 0);
    assert.match(Buffer.from(kivoparse.unifiedDiff('p.html', page, kept)).toString(), /^--- a\/p\.html\n\+\+\+ b\/p\.html\n@@ -1,3 \+1,3 @@\n/);
    assert.throws(() => kivoparse.unifiedDiff('p.html', '<a>', kept), TypeError);
    assert.equal(kivoparse.rewriteKeepingBytes('<a href="x">', { x: 'say "hi"' }).html.length, '<a href="say &quot;hi&quot;">'.length);
    assert.throws(() => kivoparse.rewriteKeepingBytes(page, () => { throw new RangeError('no'); }), RangeError);
    const same = kivoparse.rewriteKeepingBytes(page, { nothing: 'here' });
    assert.deepEqual(Buffer.from(same.html), page);
    assert.equal(kivoparse.unifiedDiff('p.html', page, same).length, 0);
  } finally {
    map.delete();
  }
});

// Scripts and styles read as a browser reads them: the calls of the first
// release when asked (the tool's --raw-text), the calls on every kind of URL
// and the site check by default (urls, fix --map, check).
test('raw text: as the tool reads scripts and styles, by default and when asked', () => {
  const page = latin1(cases.rawText.latin1);
  const listing = (found) => lines(found.map((o) => Buffer.concat([Buffer.from(`standard input:${o.line}:${o.column}: ${o.kind} `),
    o.tag, Buffer.from(' '), o.attribute.length ? o.attribute : Buffer.from('-'), Buffer.from(' '), o.url])));
  const same = (actual, args, what) => {
    const expected = cli(args, page);
    assert.equal(expected.status, 0, `kivoparse ${args.join(' ')}: ${expected.err}`);
    assert.deepEqual(Buffer.from(actual), expected.out, what);
  };
  same(kivoparse.normalize(page), ['html'], 'html');
  same(kivoparse.normalize(page, { rawText: true }), ['html', '--raw-text'], 'html --raw-text');
  assert.notDeepEqual(kivoparse.normalize(page), kivoparse.normalize(page, { rawText: true }));
  same(lines(kivoparse.hrefs(page, { rawText: true })), ['hrefs', '--raw-text'], 'hrefs --raw-text');
  same(lines(kivoparse.images(page)), ['images'], 'images');
  same(listing(kivoparse.urlOccurrences(page, { kinds: 'all' })), ['urls', '--all'], 'urls --all');
  same(listing(kivoparse.urlOccurrences(page, { kinds: 'all', rawText: false })), ['urls', '--all', '--no-raw-text'],
    'urls --all --no-raw-text');
  assert.deepEqual(kivoparse.urls(page, { kinds: 'css' }).map((url) => Buffer.from(url).toString()), ['img/p.gif']);
  const rules = join(work, 'raw-rules.tsv');
  writeFileSync(rules, cases.rawText.rules);
  const map = kivoparse.UrlMap.parseRules(cases.rawText.rules);
  try {
    same(kivoparse.rewriteUrls(page, map), ['fix', '--map', rules, '--normalize'], 'fix --map --normalize');
    same(kivoparse.rewriteKeepingBytes(page, map).html, ['fix', '--map', rules], 'fix --map keeping bytes');
    same(kivoparse.rewriteUrls(page, map, { rawText: false }), ['fix', '--map', rules, '--no-raw-text', '--normalize'], 'fix --map --no-raw-text');
  } finally {
    map.delete();
  }
  const site = kivoparse.SiteMap.parse(cases.rawText.rules);
  try {
    same(site.rewrite('p.html', page), ['fix', '--map', rules, '--normalize'], 'SiteMap.rewrite');
    same(site.rewriteKeepingBytes('p.html', page).html, ['fix', '--map', rules], 'SiteMap.rewriteKeepingBytes');
  } finally {
    site.delete();
  }
  const check = new kivoparse.SiteCheck(['s/p.html', 's/out.html', 's/out.gif', 's/img/p.gif']);
  try {
    assert.deepEqual(check.check('s/p.html', page, { root: 's' }), []);
    assert.deepEqual(check.check('s/p.html', page, { root: 's', rawText: false }).map((f) => Buffer.from(f.url).toString()),
      ['no.gif', 'in.gif', 'old/in.html']);
  } finally {
    check.delete();
  }
});

// A folder moved: SiteMove's new texts are the files kivoparse mv writes.
test('SiteMove plans and rewrites as kivoparse mv moves', () => {
  const dir = join(work, 'move');
  const files = {
    'index.html': '<a href="guide/p.html">p</a>\r\n<img src=img/a.gif>',
    'guide/p.html': '<a href=../index.html>home</a><script>"<a href=../x>"</script><img src="../img/a.gif?v=1">',
    'guide/s.css': 'p { background: url(../img/a.gif) }',
    'img/a.gif': 'GIF',
  };
  mkdirSync(join(dir, 'site/guide'), { recursive: true });
  mkdirSync(join(dir, 'site/img'), { recursive: true });
  mkdirSync(join(dir, 'site/manual'), { recursive: true });
  for (const [path, text] of Object.entries(files)) writeFileSync(join(dir, 'site', path), text);
  const move = new kivoparse.SiteMove(Object.keys(files), 'guide', 'manual/guide');
  try {
    const plan = move.plan('guide/p.html', files['guide/p.html']);
    assert.equal(Buffer.from(plan.newPath).toString(), 'manual/guide/p.html');
    assert.deepEqual(plan.changes.map((c) => [c.occurrence.kind, Buffer.from(c.occurrence.url).toString(),
      Buffer.from(c.newUrl).toString()]), [['links', '../index.html', '../../index.html'],
      ['images', '../img/a.gif?v=1', '../../img/a.gif?v=1']]);
    assert.deepEqual(move.movedFiles().map(([a, b]) => `${Buffer.from(a)} ${Buffer.from(b)}`),
      ['guide/p.html manual/guide/p.html', 'guide/s.css manual/guide/s.css']);
    const expected = Object.keys(files).filter((p) => !p.endsWith('.gif'))
      .map((p) => [Buffer.from(move.newPath(p)).toString(), Buffer.from(move.rewrite(p, files[p]))]);
    const { status } = cli(['mv', 'site/guide', 'site/manual/guide', '-r', 'site'], undefined, dir);
    assert.equal(status, 0);
    for (const [path, bytes] of expected) assert.deepEqual(readFileSync(join(dir, 'site', path)), bytes, path);
  } finally {
    move.delete();
  }
  assert.throws(() => new kivoparse.SiteMove(['a.html'], 'b.html', 'c.html'), { name: 'MoveError',
    message: "'b.html' is no file or folder of the site" });
});

// The library's one map reader and writer: what the writer makes of a
// map's lines reads back as those lines, and a SiteMap made of them
// rewrites the samples as the map read from its text.
test('readMapFile, writeMapFile and SiteMap.fromLines: as SiteMap.parse', () => {
  const strip = (rows) => rows.map(({ from, to, prefix, document }) => [from, to, prefix, document].map((v) =>
    (typeof v === 'boolean' ? v : Buffer.from(v).toString('latin1'))));
  for (const { latin1: text } of cases.siteMaps.maps) {
    let read;
    try {
      read = kivoparse.readMapFile(latin1(text));
    } catch (error) {
      assert.throws(() => kivoparse.SiteMap.parse(latin1(text)), { message: error.message, line: error.line });
      continue;
    }
    const again = kivoparse.readMapFile(kivoparse.writeMapFile(read.lines, read.kinds));
    assert.deepEqual(strip(again.lines), strip(read.lines));
    assert.equal(again.kinds, read.kinds);
    const parsed = kivoparse.SiteMap.parse(latin1(text));
    const made = kivoparse.SiteMap.fromLines(read.lines);
    try {
      for (const { name, bytes } of documents.filter((d) => d.name.startsWith('samples/'))) {
        assert.deepEqual(made.rewriteKeepingBytes(name, bytes, { kinds: 'all' }).html,
          parsed.rewriteKeepingBytes(name, bytes, { kinds: 'all' }).html, name);
      }
      for (const document of parsed.documents()) assert.deepEqual(made.sectionFor(document), document);
    } finally {
      parsed.delete();
      made.delete();
    }
  }
  assert.throws(() => kivoparse.writeMapFile([{ from: 'a\tb', to: 'c' }]),
    { message: 'pair 1: the old value holds a TAB, which a map file cannot store' });
});
