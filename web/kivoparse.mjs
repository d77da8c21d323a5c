// kivoparse for JavaScript, in the browser (page or worker) and in Node.js.
//
//   import { createKivoparse } from './kivoparse.mjs';
//   const kivoparse = await createKivoparse();
//   const html = kivoparse.normalize('<img src=a.gif>');       // Uint8Array of <IMG src="a.gif">
//   const out = kivoparse.rewrite(page, { images: { 'A.GIF': 'b.gif' } });
//   const links = new kivoparse.UrlMap('a.htm\tb.htm\n');       // a map file's text, read once
//   for (const page of site) kivoparse.rewrite(page, { links }); // ... used for every page
//   links.delete();
//   const parser = new kivoparse.Parser();                      // the library's operations
//   parser.parseHTML(page); parser.getImages(); parser.delete();
//   kivoparse.urlOccurrences(page, { kinds: 'all' });           // every URL with its place
//   const moved = kivoparse.UrlMap.parseRules('http://old.example.com/*\thttps://example.com/*\n');
//   kivoparse.rewriteUrls(page, moved, { kinds: 'all' });       // or a function (kind, url) => new URL
//
// Inputs are strings (encoded as UTF-8), Uint8Arrays, other typed arrays or
// ArrayBuffers; every document and URL that comes out is a new Uint8Array
// holding exactly the parser's bytes. A Parser or UrlMap made with `new`
// lives in the module's memory until its delete() is called.
import createKivoparseCore from './kivoparse-core.mjs';

const WASM_FILE = 'kivoparse-core.wasm';

async function instantiate(imports, options) {
  if (options.wasmBinary) return WebAssembly.instantiate(options.wasmBinary, imports);
  const url = new URL(options.wasmURL ?? WASM_FILE, import.meta.url);
  if (url.protocol === 'file:') {
    const { readFile } = await import('node:fs/promises');
    return WebAssembly.instantiate(await readFile(url), imports);
  }
  const response = await fetch(url);
  if (!response.ok) throw new Error(`cannot load ${url}: HTTP status ${response.status}`);
  if (typeof WebAssembly.instantiateStreaming === 'function' &&
      response.headers.get('Content-Type') === 'application/wasm') {
    return WebAssembly.instantiateStreaming(response, imports);
  }
  return WebAssembly.instantiate(await response.arrayBuffer(), imports);
}

// Pairs of old and new URL from a Map, an object or an array of [old, new].
function pairsOf(map, what) {
  const src = [];
  const dest = [];
  if (map == null) return { src, dest };
  let entries;
  if (map instanceof Map || Array.isArray(map)) entries = map;
  else if (typeof map === 'object') entries = Object.entries(map);
  else throw new TypeError(`${what} must be a Map, an object or an array of [old, new] pairs`);
  for (const pair of entries) {
    if (!Array.isArray(pair) || pair.length !== 2) {
      throw new TypeError(`${what} must hold [old, new] pairs`);
    }
    src.push(pair[0]);
    dest.push(pair[1]);
  }
  return { src, dest };
}

// Loads the module. options.wasmBinary (bytes of kivoparse-core.wasm) or
// options.wasmURL (relative to this module) say where it comes from; by
// default it lies beside this file.
export async function createKivoparse(options = {}) {
  let fail;
  const failed = new Promise((resolve, reject) => { fail = reject; });
  const core = await Promise.race([failed, createKivoparseCore({
    instantiateWasm(imports, receive) {
      instantiate(imports, options).then(({ instance, module }) => receive(instance, module), fail);
      return {};
    },
    print: options.print ?? (() => {}),
    printErr: options.printErr ?? (() => {}),
  })]);

  // One parser serves SiteCheck's check and SiteMap's rewrite of a page
  // given as its text; the base is set anew for each call, since it
  // applies from the next parse on.
  const shared = new core.Parser();

  // A failure inside the module (its memory, at most 2 GiB, exhausted) leaves
  // it unusable: say so, then and on every later call.
  let broken = false;
  const guard = (work) => (...args) => {
    if (broken) {
      throw new Error('kivoparse: this module stopped after running out of memory; load a new one with createKivoparse()');
    }
    try {
      return work(...args);
    } catch (error) {
      if (!(error instanceof WebAssembly.RuntimeError)) throw error;
      broken = true;
      throw new Error('kivoparse: out of memory (the module holds at most 2 GiB, documents and their trees); ' +
        'load a new one with createKivoparse()', { cause: error });
    }
  };

  // A UrlMap for a rewrite: the one given, or one made (and deleted after)
  // from pairs; the empty one for none.
  const none = new core.UrlMap('');
  const withMap = (map, what, work) => {
    if (map == null) return work(none);
    if (map instanceof core.UrlMap) return work(map);
    const { src, dest } = pairsOf(map, what);
    const made = core.UrlMap.fromLists(src, dest);
    try {
      return work(made);
    } finally {
      made.delete();
    }
  };

  // new UrlMap(text, name): the map file's pairs; a line without a TAB
  // throws an Error naming it (after name and a colon, when given).
  // It is the module's own class under another constructor (embind's
  // classes cannot be extended), so instanceof holds for both.
  function UrlMap(text, name) {
    if (!new.target) throw new TypeError('use new to make a UrlMap');
    try {
      return new core.UrlMap(text);
    } catch (error) {
      if (name === undefined || typeof error?.line !== 'number') throw error;
      throw Object.assign(new Error(`${name}: ${error.message}`), { line: error.line });
    }
  }
  UrlMap.prototype = core.UrlMap.prototype;
  // A UrlMap of pairs given as a Map, an object or an array of [old, new].
  UrlMap.fromPairs = (pairs, rules) => {
    if (rules != null) return fromRules(pairs, rules);
    const { src, dest } = pairsOf(pairs, 'pairs');
    return core.UrlMap.fromLists(src, dest);
  };

  // Rule maps: the map file's lines where an old value ending in one "*"
  // is a prefix rule ("**" at the end of a value is one literal "*").
  const mapError = (error, name) => (name === undefined ? error
    : Object.assign(new Error(`${name}: ${error.message}`), { line: error.line }));
  // The map file's lines, read by the library's reader: { lines: [{ from,
  // to, prefix, document, line }], kinds }; format 'pairs', 'rules' or
  // 'sections' (the default: rules with "@document PATH" sections).
  const FORMATS = ['pairs', 'rules', 'sections'];
  const readMapFile = (text, { format = 'sections', name } = {}) => {
    const at = FORMATS.indexOf(format);
    if (at < 0) throw new RangeError(`format must be one of ${FORMATS.join(', ')}, not ${format}`);
    const read = core._readMapLines(text, at);
    if (read instanceof Error) throw mapError(read, name);
    return read;
  };
  // The text of a map file holding lines ([{ from, to, prefix, document }],
  // document empty or left out for every document), written by the
  // library's writer, the kinds (a string, or null) on its first line.
  const writeMapFile = (lines, kinds = null) => {
    const text = core._writeMapLines(lines, kinds);
    if (text instanceof Error) throw text;
    return text;
  };
  // [{ from, to, prefix }] in the order of the lines, read by the library.
  UrlMap.ruleLines = (text, name) => readMapFile(text, { format: 'rules', name }).lines
    .map(({ from, to, prefix }) => ({ from, to, prefix }));
  // A UrlMap of lines as readMapFile gives them (their documents not looked at).
  UrlMap.fromLines = (lines) => core.UrlMap.fromLines(lines);
  // Exact pairs and prefix rules (pairs of start and its replacement).
  const fromRules = (pairs, rules) => {
    const exact = pairsOf(pairs, 'pairs');
    const prefix = pairsOf(rules, 'rules');
    return core.UrlMap.fromRuleLists(exact.src, exact.dest, prefix.src, prefix.dest);
  };
  UrlMap.parseRules = (text, name) => {
    const exact = [];
    const rules = [];
    for (const { from, to, prefix } of UrlMap.ruleLines(text, name)) (prefix ? rules : exact).push([from, to]);
    return fromRules(exact, rules);
  };

  // Kinds as the bits of the library's set: a string of names
  // ('images,links,css', 'all') or an array of them; the default is images
  // and links.
  const kindBits = (kinds) => {
    const bits = core.parseKinds(kinds);
    if (typeof bits !== 'number') throw bits;
    return bits;
  };

  // A Parser whose rewriter is running refuses every call: its tree is
  // being walked.
  const rewriting = new WeakSet();
  const Parser = core.Parser;
  const rewriteBy = Parser.prototype._rewriteUrlsBy;
  for (const name of ['parseHTML', 'getHTML', 'getImages', 'getHrefs', 'fixImages', 'fixHrefs', 'rewrite',
    'setDocumentBase', 'setRawText', 'setTraceSink', 'setLogFile', '_getUrls', '_getUrlOccurrences', '_rewriteUrlsByMap', '_rewriteUrlsBy', 'delete']) {
    const call = Parser.prototype[name];
    Parser.prototype[name] = function guarded(...args) {
      if (rewriting.has(this)) throw new Error(`kivoparse: ${name}() called while this Parser's rewriter runs`);
      return call.apply(this, args);
    };
  }
  Parser.prototype.getUrls = function getUrls(kinds) { return this._getUrls(kindBits(kinds)); };
  // The occurrences (or findings) bindings.cpp packs: per record the
  // numbers kind, offset, line, column, then the lengths of tag, attribute
  // and url, whose bytes follow one another; a finding adds its problem
  // and the lengths of path, actual and repaired.
  const names = core.kindNames();
  const unpack = ({ numbers, bytes }, findings) => {
    const list = [];
    let at = 0;
    const take = (length) => bytes.slice(at, (at += length));
    for (let i = 0; i < numbers.length;) {
      const o = { kind: names[numbers[i]], tag: null, attribute: null, url: null, offset: numbers[i + 1], line: numbers[i + 2],
        column: numbers[i + 3] };
      o.tag = take(numbers[i + 4]);
      o.attribute = take(numbers[i + 5]);
      o.url = take(numbers[i + 6]);
      i += 7;
      if (findings) {
        o.problem = ['missing', 'case', 'above-root', 'anchor'][numbers[i]];
        o.path = take(numbers[i + 1]);
        o.actual = take(numbers[i + 2]);
        o.repaired = take(numbers[i + 3]);
        i += 4;
      }
      list.push(o);
    }
    return list;
  };
  Parser.prototype.getUrlOccurrences = function getUrlOccurrences(kinds) {
    return unpack(this._getUrlOccurrences(kindBits(kinds)), false);
  };
  // A user's rewriter (kind, url) => new URL (a string or bytes), or null
  // or undefined to keep it, as the module asks it: its wrapper answers
  // false when the function threw or answered something else, and
  // thrown() then gives what to throw once the module has given up.
  const asking = (map) => {
    let thrown;
    const rewriter = (kind, url) => {
      try {
        const answer = map(kind, url);
        if (answer == null) return null;
        if (typeof answer === 'string' || answer instanceof ArrayBuffer || ArrayBuffer.isView(answer)) return answer;
        thrown = new TypeError(`the rewriter must answer a string, bytes, null or undefined, not ${typeof answer}`);
      } catch (error) {
        thrown = error;
      }
      return false;
    };
    return { rewriter, thrown: () => thrown };
  };

  // rewriteUrls(map, kinds): the URLs of kinds rewritten by map: a UrlMap
  // (prefix rules included), pairs, or a function (see asking). What the
  // function throws stops the rewrite, the tree unchanged, and is thrown
  // here.
  const rewriteUrls = (parser, map, bits) => {
    if (typeof map !== 'function') return withMap(map, 'map', (table) => parser._rewriteUrlsByMap(bits, table));
    const { rewriter, thrown } = asking(map);
    rewriting.add(parser);
    let status;
    try {
      status = rewriteBy.call(parser, bits, rewriter);
    } finally {
      rewriting.delete(parser);
    }
    if (status === -2) throw thrown();
    return status;
  };
  Parser.prototype.rewriteUrls = function (map, kinds) { return rewriteUrls(this, map, kindBits(kinds)); };

  // rewriteKeepingBytes(html, map, bits): only the changed URLs' bytes
  // replaced, every other byte as it was: { html, edits: [{ offset, length,
  // replacement, kind }], rewritten: { kind: count }, leftAlone }. map as
  // for rewriteUrls; what a function throws stops it and is thrown here.
  const keepBytes = (html, map, bits) => {
    if (typeof map !== 'function') return withMap(map, 'map', (table) => core._keepBytesByMap(html, bits, table));
    const { rewriter, thrown } = asking(map);
    const kept = core._keepBytesBy(html, bits, rewriter);
    if (kept === null) throw thrown();
    return kept;
  };

  // new SiteCheck(paths): the site as the list of its files' paths
  // ("site/a/page.html"). check(document, html, { root, kinds, base, rawText })
  // checks the URLs of the kinds (all by default) of the document at path
  // document (html: its text, read with rawText, true by default; or a
  // Parser holding its tree): relative ones from its folder, root-relative
  // ones from root ('' by default); it answers what is wrong with them.
  // counts() and suggestedMap() (a rule map repairing every URL found in
  // another letter case) cover every check so far.
  const SiteCheck = core.SiteCheck;
  const check = guard((site, document, html, { root, kinds, base, rawText = true } = {}) => {
    const bits = kindBits(kinds ?? 'all');  // every kind by default, as the tool's check
    const parser = html instanceof Parser ? html : parse(html, base, rawText);
    return unpack(site._check(parser, document, root ?? '', bits), true);
  });
  SiteCheck.prototype.check = function (...args) { return check(this, ...args); };

  // SiteMap.parse(text, name): a rule map whose lines "@document PATH" (no
  // TAB) start a section, whose pairs apply to that document only, before
  // the pairs above the first section (check --suggest-map writes one; fix
  // --map reads it). A bad line throws an Error naming it, as UrlMap's do.
  // apply(document, url) gives the new value or null; rewrite(document,
  // html, { kinds, base, rawText }) the document rewritten (as fix --map:
  // rawText true by default);
  // rewriteParser(parser, document, kinds) rewrites the tree a Parser
  // holds; documents() lists the documents that have sections, sorted.
  // delete() frees it.
  const SiteMap = core.SiteMap;
  SiteMap.parse = (text, name) => {
    try {
      return new SiteMap(text);
    } catch (error) {
      if (typeof error?.line !== 'number') throw error;
      throw mapError(error, name);
    }
  };
  // The kinds of a map's "@kinds" line (the last one), as a string
  // ('images,links,css', 'all'), or null when it has none. A map that does
  // not read throws as SiteMap.parse.
  SiteMap.kindsOf = (text, name) => readMapFile(text, { name }).kinds;
  // The lines of such a map, as UrlMap.ruleLines gives them, each with its
  // document (empty bytes above the first section): what an editor shows.
  // Its "@kinds" line holds no pair (SiteMap.kindsOf reads it).
  SiteMap.ruleLines = (text, name) => readMapFile(text, { name }).lines
    .map(({ from, to, prefix, document }) => ({ from, to, prefix, document }));
  // SiteMap.fromLines(lines): a SiteMap of lines as readMapFile gives them;
  // sectionFor(document) names the section that applies to document (as
  // its first section line writes it), or null.
  const rewriteSite = guard((map, parser, document, bits) => map._rewrite(parser, bits, document));
  SiteMap.prototype.rewriteParser = function (parser, document, kinds) {
    return rewriteSite(this, parser, document, kindBits(kinds));
  };
  // rewriteKeepingBytes(document, html, { kinds }): as rewrite (the
  // tool's fix --map), with only the changed URLs' bytes replaced; the
  // same object as kivoparse.rewriteKeepingBytes gives.
  SiteMap.prototype.rewriteKeepingBytes = function (document, html, { kinds } = {}) {
    const bits = kindBits(kinds);
    return guard(() => this._rewriteKeepingBytes(document, html, bits))();
  };
  SiteMap.prototype.rewrite = function (document, html, { kinds, base, rawText = true } = {}) {
    const bits = kindBits(kinds);
    return guard(() => {
      const parser = parse(html, base, rawText);
      this._rewrite(parser, bits, document);
      return parser.getHTML();
    })();
  };

  // new SiteMove(paths, src, dst, siteUrl): the plan of kivoparse mv over
  // a site known by its files' paths, all from the site's root (an Error
  // named MoveError says why a move cannot be made). plan(document, html)
  // gives { newPath, changes: [{ occurrence, newUrl }] } for a page (or a
  // stylesheet, its path ending in .css), read as a browser reads it;
  // rewrite(document, html) its new bytes, every other byte kept;
  // movedFiles() the [before, after] paths; newPath(path). delete() frees it.
  const SiteMove = core.SiteMove;
  SiteMove.prototype.plan = function (document, html) {
    const { numbers, bytes } = this._plan(document, html);
    let at = 0;
    const take = (length) => bytes.slice(at, (at += length));
    const plan = { newPath: take(numbers[0]), changes: [] };
    for (let i = 1; i < numbers.length; i += 8) {
      const occurrence = { kind: names[numbers[i]], tag: null, attribute: null, url: null, offset: numbers[i + 1],
        line: numbers[i + 2], column: numbers[i + 3] };
      occurrence.tag = take(numbers[i + 4]);
      occurrence.attribute = take(numbers[i + 5]);
      occurrence.url = take(numbers[i + 6]);
      plan.changes.push({ occurrence, newUrl: take(numbers[i + 7]) });
    }
    return plan;
  };

  // rawText: SCRIPT, STYLE and the other raw-text elements hold text up to
  // their end tag, as in a browser. The calls of the first release
  // (normalize, images, hrefs, rewrite) read markup inside them as tags
  // unless asked; the calls that work on every kind of URL read them as a
  // browser does unless asked (rawText: false). The one-call functions
  // below are the library's own, each with a parser of its own.
  const parse = (html, base, rawText) => {
    shared.setDocumentBase(base ?? '');
    shared.setRawText(Boolean(rawText));
    if (shared.parseHTML(html) !== 0) throw new RangeError('the document is too large to parse (2 GiB or more)');
    return shared;
  };

  // The one-call functions: a result of the module's, or the RangeError
  // of a document too large, thrown. While the rewriter of one runs, they
  // refuse to be called.
  let asked = false;
  const given = (result) => {
    if (result instanceof Error) throw result;
    return result;
  };
  const oneCall = (name, work) => guard((...args) => {
    if (asked) throw new Error(`kivoparse: ${name}() called while this Parser's rewriter runs`);
    return given(work(...args));
  });

  return {
    Parser,
    UrlMap,
    SiteCheck,
    SiteMap,
    SiteMove,
    // Map files: the one reader and writer of the library (see above).
    readMapFile,
    writeMapFile,
    // The names of the kinds of URL, as kinds takes them.
    kinds: core.kindNames(),
    FS: core.FS,
    version: core.version(),
    // The document written back normalised.
    normalize: oneCall('normalize', (html, { base, rawText = false } = {}) =>
      core._normalize(html, base ?? '', Boolean(rawText))),
    // Its image URLs (IMG and INPUT src, then background), each once.
    images: oneCall('images', (html, { base, rawText = false } = {}) =>
      core._images(html, base ?? '', Boolean(rawText))),
    // Its link URLs (A href), each once.
    hrefs: oneCall('hrefs', (html, { base, rawText = false } = {}) =>
      core._hrefs(html, base ?? '', Boolean(rawText))),
    // The document with its image and link URLs replaced in one pass: each
    // map (a UrlMap, or pairs) pairs an old URL (letter case ignored) with
    // its new one. links may be called hrefs.
    rewrite: oneCall('rewrite', (html, { images, links, hrefs, base, rawText = false } = {}) => {
      if (links != null && hrefs != null) throw new TypeError('give links or hrefs, not both');
      return withMap(images, 'images', (imageMap) => withMap(links ?? hrefs, links != null ? 'links' : 'hrefs',
        (linkMap) => core._rewrite(html, imageMap, linkMap, base ?? '', Boolean(rawText))));
    }),
    // The URLs of the chosen kinds, each once (letter case aside), kind by kind.
    urls: oneCall('urls', (html, { kinds, base, rawText = true } = {}) =>
      core._urls(html, kindBits(kinds), base ?? '', Boolean(rawText))),
    // Every URL of the chosen kinds with its place, in document order:
    // [{ kind, tag, attribute, url, offset, line, column }].
    urlOccurrences: oneCall('urlOccurrences', (html, { kinds, base, rawText = true } = {}) =>
      unpack(given(core._urlOccurrences(html, kindBits(kinds), base ?? '', Boolean(rawText))), false)),
    // The document with the URLs of the chosen kinds rewritten by map (as
    // Parser's rewriteUrls).
    rewriteUrls: oneCall('rewriteUrls', (html, map, { kinds, base, rawText = true } = {}) => {
      const bits = kindBits(kinds);
      if (map == null) throw new TypeError('rewriteUrls needs a map: a UrlMap, pairs or a function');
      if (typeof map !== 'function') {
        return withMap(map, 'map', (table) => core._rewriteUrls(html, bits, table, base ?? '', Boolean(rawText)));
      }
      const { rewriter, thrown } = asking(map);
      asked = true;
      let out;
      try {
        out = core._rewriteUrlsBy(html, bits, rewriter, base ?? '', Boolean(rawText));
      } finally {
        asked = false;
      }
      if (out === null) throw thrown();
      return out;
    }),
    // The document with only the changed URLs' bytes replaced and every
    // other byte as it was (the tool's fix --map): { html, edits: [{ offset,
    // length, replacement, kind }], rewritten: { kind: count }, leftAlone }.
    // The document is read as a browser reads it: nothing inside a SCRIPT
    // is a URL. A value whose quoting cannot hold its new URL gets quotes or
    // character references (docs/web.md).
    rewriteKeepingBytes: guard((html, map, { kinds } = {}) => {
      const bits = kindBits(kinds);
      if (map == null) throw new TypeError('rewriteKeepingBytes needs a map: a UrlMap, pairs or a function');
      return keepBytes(html, map, bits);
    }),
    // The change from before to kept.html as a unified diff (a Uint8Array),
    // as diff -u and git print it: "--- a/PATH", "+++ b/PATH", @@ hunks with
    // 3 lines of context; empty when nothing changed. kept is what
    // rewriteKeepingBytes gave for before.
    unifiedDiff: guard((path, before, kept) => core._unifiedDiff(path, before, kept)),
  };
}

export default createKivoparse;
