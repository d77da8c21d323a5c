// The page's work, off the main thread: reads the files, parses the pages,
// lists their URLs, shows one rewritten a window at a time, and writes the
// zip. Messages in:
//   { type: 'load', files: [{ path, file, page }], site, base, kinds, generation }
//                                            read and list (replaces all); site:
//                                            the paths of every file given, the
//                                            site the URLs are checked against
//   { type: 'base', base, kinds }            list again with another base or kinds
//   { type: 'maps', images, hrefs, others }  the maps from now on ([{ from, to, prefix,
//                                            document }] of Uint8Arrays, document empty
//                                            for every document; others: the kinds
//                                            beyond images and links)
//   { type: 'preview', path, seq }           one file rewritten: its first window
//   { type: 'window', seq, start, change }   another window of that preview
//   { type: 'diff', path, seq }              one file's change as a unified diff
//   { type: 'zip' }                          every file, pages rewritten, zipped
//   { type: 'readMap', bytes, name, id }     a map file's pairs, with the documents of
//                                            its sections (answered at once)
//   { type: 'writeMap', pairs, kinds, id }   the map file of those pairs (answered at once)
// A file with page: false is never parsed: it goes into the zip as it came.
// Messages out: 'progress' { done, total, bytes, totalBytes, what, path },
// 'failed' { path, message } (one a file), 'listed' { files, groups, base, kinds,
// generation, check (the site check's counts), suggested (its map's bytes) },
// 'preview' { path, seq, size, changes, window }, 'window' { seq, window },
// 'diff' { path, seq, diff (text, at most 1 MiB of it), size, edits, leftAlone },
// 'zip' { blob, rewritten, copied }, 'map' { id, pairs, kinds }, { id, bytes } or { id, error },
// 'error' { message } for a failure of the whole step.
import { createKivoparse } from './kivoparse.mjs';
import { zipStored } from './zip.mjs';
import { text, keyOf, foldKey, concat, packStrings } from './bytes.mjs';

let kivoparse = null;
let lister = null;    // a Parser of that module, for listing: one parse a file
let writer = null;    // another, for rewriting
let documents = [];   // [{ path, bytes, date, page }] in the order given
let site = [];        // the path of every file given, pages or not
let base = '';        // the base the list was made with
let wantedBase = '';  // the last base asked for
let kinds = 'images,links';   // the kinds of URL listed and rewritten ...
let wantedKinds = kinds;      // ... and the last asked for
let generation = 0;   // of the load the documents come from
let maps = { images: [], hrefs: [], others: [] };
let urlMaps = null;   // the module's UrlMaps of those, made once for all files

// One module at a time, however many steps ask for it at once.
let loading = null;
async function module() {
  if (!kivoparse) {
    loading ??= createKivoparse().then((k) => {
      kivoparse = k;
      lister = new k.Parser();
      writer = new k.Parser();
      // A site is read as a browser reads it: markup inside SCRIPT, STYLE
      // and the other raw-text elements is text, never a URL to list,
      // check or rewrite (the tool's urls, check and fix --map).
      lister.setRawText(true);
      writer.setRawText(true);
      return k;
    }).finally(() => { loading = null; });
    return loading;
  }
  return kivoparse;
}

// After a failure inside the module (out of memory, say) its state is not to
// be trusted: the next call loads a fresh one.
function discardModule() { kivoparse = null; lister = null; writer = null; urlMaps = null; }

function dropUrlMaps() {
  if (urlMaps) {
    for (const map of [urlMaps.images, urlMaps.links, urlMaps.others]) {
      map.all.delete();
      map.site.delete();
    }
    urlMaps.none.delete();
  }
  urlMaps = null;
}

// Relative URLs are resolved from their page's folder, root-relative ones
// from the folder the page was found in: the top folder of its path.
const rootOf = (path) => (path.includes('/') ? path.slice(0, path.indexOf('/')) : '');

// Yields now and then, so that messages go out (and come in) while a long
// step runs.
const breathe = () => new Promise((resolve) => setTimeout(resolve, 0));

// Runs work on each document, with progress by bytes: one large file shows
// its name and a bar that has not moved, not a full bar.
async function eachDocument(what, work) {
  const totalBytes = documents.reduce((sum, d) => sum + d.bytes.length, 0);
  let bytes = 0;
  let last = 0;
  const progress = (done, path) => postMessage({ type: 'progress', what, done, total: documents.length, bytes, totalBytes, path });
  for (let i = 0; i < documents.length; ++i) {
    const document = documents[i];
    if (Date.now() - last > 50 || document.bytes.length > 1 << 20) {
      progress(i, document.path);
      last = Date.now();
      await breathe();
    }
    try {
      await work(document, await module());
    } catch (error) {
      discardModule();
      postMessage({ type: 'failed', path: document.path, message: error?.message ?? String(error) });
    }
    bytes += document.bytes.length;
  }
  progress(documents.length, '');
}

// Each page's URLs, and every distinct URL (bytes as they are, kind apart)
// with the number of files holding it, most shared first, and what the
// site check found wrong with it. The page only keeps and filters what
// comes back, so the URLs go out as columns, one typed array or packed
// string (packStrings) a field, which cost the page little to receive:
//   groups: { kinds (the library's kind numbers: 0 image, 1 link, ...), counts,
//     shown, search, fold, bytes, ends, missing and cased (files in which
//     the URL names no file, or one in another letter case), actual (that file) }
//   files: [{ path, size, page, images, hrefs, others (group numbers),
//     missing, cased (group numbers), search }]
async function list() {
  do {
    base = wantedBase;
    kinds = wantedKinds;
    const files = [];
    const byKey = new Map();
    const found = [];
    const names = kivoparse?.kinds ?? (await module()).kinds;
    const chosen = kinds.split(',').map((name) => names.indexOf(name)).sort((a, b) => a - b);
    // One check for the site; a module that failed takes its check with it,
    // and a new one goes on with the files still to do.
    let siteCheck = null;
    await eachDocument('parsing', (document, k) => {
      const file = { path: document.path, size: document.bytes.length, page: document.page, images: [], hrefs: [], others: [],
        missing: [], cased: [] };
      files.push(file);
      if (!document.page) return;
      lister.setDocumentBase(base);
      if (lister.parseHTML(document.bytes) !== 0) throw new RangeError('too large to parse (2 GiB or more)');
      // Of URLs equal but for letter case the file lists the first.
      const inFile = new Map();
      for (const kind of chosen) {
        const urls = kind === 0 ? lister.getImages() : kind === 1 ? lister.getHrefs() : lister.getUrls([names[kind]]);
        for (const url of urls) {
          const key = kind + keyOf(url);
          let index = byKey.get(key);
          if (index === undefined) {
            index = found.length;
            byKey.set(key, index);
            found.push({ kind, url, shown: text(url), count: 0, missing: 0, cased: 0, actual: '' });
          }
          found[index].count += 1;
          file[kind === 0 ? 'images' : kind === 1 ? 'hrefs' : 'others'].push(index);
          inFile.set(kind + foldKey(url), index);
        }
      }
      if (!(siteCheck instanceof k.SiteCheck)) siteCheck = new k.SiteCheck(site);
      for (const finding of siteCheck.check(document.path, lister, { root: rootOf(document.path), kinds })) {
        const index = inFile.get(names.indexOf(finding.kind) + foldKey(finding.url));
        const where = finding.problem === 'missing' ? file.missing : file.cased;
        if (index === undefined || where.includes(index)) continue;
        where.push(index);
        if (finding.problem === 'missing') found[index].missing += 1;
        else if (!found[index].cased++) found[index].actual = text(finding.actual);
      }
    });
    let check = null;
    let suggested = new Uint8Array();
    if (kivoparse && siteCheck instanceof kivoparse.SiteCheck) {
      check = siteCheck.counts();
      suggested = siteCheck.suggestedMap();
      siteCheck.delete();
    }
    const order = found.map((_, i) => i).sort((a, b) => found[b].count - found[a].count ||
      (found[a].shown < found[b].shown ? -1 : found[a].shown > found[b].shown ? 1 : 0));
    const newIndex = new Uint32Array(found.length);
    order.forEach((old, i) => { newIndex[old] = i; });
    const sorted = order.map((i) => found[i]);
    const groups = {
      kinds: Uint8Array.from(sorted, (g) => g.kind),
      counts: Uint32Array.from(sorted, (g) => g.count),
      shown: packStrings(sorted.map((g) => g.shown)),
      search: packStrings(sorted.map((g) => g.shown.toLowerCase())),
      fold: packStrings(sorted.map((g) => foldKey(g.url))),
      bytes: concat(sorted.map((g) => g.url)),
      ends: new Uint32Array(sorted.length),
      missing: Uint32Array.from(sorted, (g) => g.missing),
      cased: Uint32Array.from(sorted, (g) => g.cased),
      actual: packStrings(sorted.map((g) => g.actual)),
    };
    sorted.reduce((end, g, i) => (groups.ends[i] = end + g.url.length), 0);
    for (const file of files) {
      for (const column of ['images', 'hrefs', 'others', 'missing', 'cased']) {
        file[column] = Uint32Array.from(file[column], (i) => newIndex[i]);
      }
      file.search = [file.path.toLowerCase(), ...[...file.images, ...file.hrefs, ...file.others]
        .map((i) => sorted[i].shown.toLowerCase())].join('\n');
    }
    if (base === wantedBase && kinds === wantedKinds) {
      postMessage({ type: 'listed', files, groups, base, kinds, generation, check, suggested });
    }
  } while (base !== wantedBase || kinds !== wantedKinds);
}

// One of the page's maps in the module: all, a UrlMap of the pairs for
// every document, and site, a SiteMap of every pair (the sections
// "@document PATH" of a map file), which finds a page's section.
function kindMaps(k, map) {
  return { all: k.UrlMap.fromLines(map.filter((p) => !p.document?.length)), site: k.SiteMap.fromLines(map) };
}

// The page at path rewritten: images and links in one pass over one parse
// (the tool's fix --images-map --hrefs-map), then the other kinds chosen,
// each kind that is not chosen left as it is. A page that some map has
// pairs of its own for is rewritten in one pass over every kind chosen,
// each URL by its own pairs first, then by those for every document (the
// tool's fix --map with sections). Sections name a page from the site's
// root, the folder opened (as the tool's check writes them), or, in older
// maps, by its whole path: the one a map has a section for, else null.
function sectionPath(path, map) {
  const below = path.slice(rootOf(path).length).replace(/^\//, '');
  if (map.site.sectionFor(below) !== null) return below;
  return map.site.sectionFor(path) !== null ? path : null;
}

// Each URL by the sections of its kind's map that name the page, then by
// the pairs for every document.
function bySections(path) {
  const { images, links, others } = urlMaps;
  const byKind = [images, links, others];
  const keys = byKind.map((map) => sectionPath(path, map));
  if (keys.every((key) => key === null)) return null;
  return (kind, url) => {
    const at = kind === 'images' ? 0 : kind === 'links' ? 1 : 2;
    return keys[at] === null ? byKind[at].all.apply(url) : byKind[at].site.apply(keys[at], url);
  };
}

function rewrite(k, bytes, path) {
  urlMaps ??= { images: kindMaps(k, maps.images), links: kindMaps(k, maps.hrefs), others: kindMaps(k, maps.others),
    none: k.UrlMap.fromPairs([]) };
  const chosen = kinds.split(',');
  writer.setDocumentBase(base);
  if (writer.parseHTML(bytes) !== 0) throw new RangeError('too large to parse (2 GiB or more)');
  const { images, links, others } = urlMaps;
  const own = bySections(path);
  if (own) {
    writer.rewriteUrls(own, kinds);
    return writer.getHTML();
  }
  writer.rewrite(chosen.includes('images') ? images.all : urlMaps.none, chosen.includes('links') ? links.all : urlMaps.none);
  const otherKinds = chosen.filter((kind) => kind !== 'images' && kind !== 'links');
  if (otherKinds.length && maps.others.length) writer.rewriteUrls(others.all, otherKinds);
  return writer.getHTML();
}

// The page at path with only its changed URLs' bytes replaced (the tool's
// fix --map): every other byte as it came, each URL decided as rewrite()
// decides it. { html, edits, rewritten, leftAlone }, or null under a
// document base, which changes image values as they are read: those pages
// are written back normalised, by rewrite().
function rewriteKept(k, bytes, path) {
  if (base) return null;
  urlMaps ??= { images: kindMaps(k, maps.images), links: kindMaps(k, maps.hrefs), others: kindMaps(k, maps.others),
    none: k.UrlMap.fromPairs([]) };
  const { images, links, others } = urlMaps;
  const byKind = [images, links, others];
  return k.rewriteKeepingBytes(bytes, bySections(path) ?? ((kind, url) => {
    return byKind[kind === 'images' ? 0 : kind === 'links' ? 1 : 2].all.apply(url);
  }), { kinds });
}

// The byte ranges [start, end, ...] of the edits in the rewritten bytes.
function editedRanges(kept) {
  const ranges = [];
  let shift = 0;
  for (const edit of kept.edits) {
    const start = edit.offset + shift;
    ranges.push(start, start + edit.replacement.length);
    shift += edit.replacement.length - edit.length;
  }
  return ranges;
}

// ---- the preview: the rewritten file and the byte ranges of changed values

const WINDOW = 32 << 10;
const DIFF_SHOWN = 1 << 20;
let shown = null;      // { path, seq, after, changes: [start, end, ...] }
let normalised = null; // { path, base, bytes }: the output without maps, kept
let latestPreview = 0;

const QUOTE = 34;
function quotes(bytes) {
  const at = [];
  for (let i = bytes.indexOf(QUOTE); i >= 0; i = bytes.indexOf(QUOTE, i + 1)) at.push(i);
  return at;
}

function same(a, aStart, aEnd, b, bStart, bEnd) {
  if (aEnd - aStart !== bEnd - bStart) return false;
  for (let i = 0; i < aEnd - aStart; ++i) if (a[aStart + i] !== b[bStart + i]) return false;
  return true;
}

// Only values change, so while both outputs have as many quotes the pieces
// between them line up; a new value holding a quote leaves the span between
// the common ends marked.
function changedRanges(before, after) {
  const ranges = [];
  const qa = quotes(before);
  const qb = quotes(after);
  if (qa.length === qb.length) {
    qa.push(before.length);
    qb.push(after.length);
    let a = 0;
    let b = 0;
    for (let i = 0; i < qa.length; ++i) {
      if (!same(before, a, qa[i], after, b, qb[i])) ranges.push(b, qb[i]);
      a = qa[i] + 1;
      b = qb[i] + 1;
    }
    return ranges;
  }
  let head = 0;
  while (head < before.length && head < after.length && before[head] === after[head]) ++head;
  let tail = 0;
  while (tail < before.length - head && tail < after.length - head &&
         before[before.length - 1 - tail] === after[after.length - 1 - tail]) ++tail;
  ranges.push(head, after.length - tail);
  return ranges;
}

// Text pieces [text, changed] of the window at start (moved back to the
// start of a UTF-8 sequence), or of the one holding the first change at or
// after start when change is set.
function windowAt(start, change) {
  const { after, changes } = shown;
  if (change) {
    let i = 0;
    while (i < changes.length && changes[i + 1] <= start) i += 2;
    if (i >= changes.length) return null;
    start = Math.max(0, changes[i] - 256);
    const line = after.lastIndexOf(10, changes[i]);
    if (line >= start) start = line + 1;
  }
  start = Math.max(0, Math.min(start, after.length - 1));
  while (start > 0 && (after[start] & 0xc0) === 0x80) --start;
  let end = Math.min(after.length, start + WINDOW);
  while (end < after.length && (after[end] & 0xc0) === 0x80) ++end;
  const pieces = [];
  let at = start;
  for (let i = 0; i < changes.length; i += 2) {
    if (changes[i + 1] <= start) continue;
    if (changes[i] >= end) break;
    const from = Math.max(start, changes[i]);
    const to = Math.min(end, changes[i + 1]);
    if (from > at) pieces.push([text(after.subarray(at, from)), false]);
    pieces.push([text(after.subarray(from, to)), true]);
    at = to;
  }
  if (at < end) pieces.push([text(after.subarray(at, end)), false]);
  return { start, end, pieces };
}

// ---- the steps

const steps = {
  async load({ files, site: paths, generation: loaded }) {
    generation = loaded;
    site = paths;
    documents = [];
    shown = null;
    normalised = null;
    // Many reads at a time: each is a round trip to the browser.
    const read = async ({ path, file, page }) => {
      try {
        return { path, page, bytes: new Uint8Array(await file.arrayBuffer()), date: new Date(file.lastModified) };
      } catch (error) {
        postMessage({ type: 'failed', path, message: `cannot be read: ${error?.message ?? error}` });
        return null;
      }
    };
    const totalBytes = files.reduce((sum, f) => sum + f.file.size, 0);
    let bytes = 0;
    for (let i = 0; i < files.length; i += 64) {
      const batch = files.slice(i, i + 64);
      postMessage({ type: 'progress', what: 'reading', done: i, total: files.length, bytes, totalBytes, path: batch.length === 1 ? batch[0].path : '' });
      const read64 = await Promise.all(batch.map(read));
      documents.push(...read64.filter(Boolean));
      bytes += batch.reduce((sum, f) => sum + f.file.size, 0);
    }
    await list();
  },
  async base() {
    if (wantedBase !== base || wantedKinds !== kinds) await list();
  },
  async maps(data) {
    maps = { images: data.images ?? [], hrefs: data.hrefs ?? [], others: data.others ?? [] };
    dropUrlMaps();
  },
  async preview({ path, seq }) {
    if (seq < latestPreview) return;   // a newer one is on its way
    const document = documents.find((d) => d.path === path);
    if (!document) return;
    if (!document.page) {
      shown = null;
      postMessage({ type: 'preview', path, seq, size: document.bytes.length, changes: 0, window: null });
      return;
    }
    try {
      const k = await module();
      if (normalised?.path !== path || normalised.base !== base) {
        normalised = { path, base, bytes: k.normalize(document.bytes, { base, rawText: true }) };
      }
      const kept = rewriteKept(k, document.bytes, path);
      if (kept) {
        shown = { path, seq, after: kept.html, changes: editedRanges(kept) };
      } else {
        const after = maps.images.length || maps.hrefs.length || maps.others.length ? rewrite(k, document.bytes, path) : normalised.bytes;
        shown = { path, seq, after, changes: after === normalised.bytes ? [] : changedRanges(normalised.bytes, after) };
      }
      const { after } = shown;
      postMessage({ type: 'preview', path, seq, size: after.length, changes: shown.changes.length / 2, window: windowAt(0, false) });
    } catch (error) {
      discardModule();
      postMessage({ type: 'failed', path, message: error?.message ?? String(error) });
    }
  },
  // The change to one page as a unified diff (the tool's fix --dry-run),
  // cut at DIFF_SHOWN bytes; under a document base the normalised output
  // is one change of every line.
  async diff({ path, seq }) {
    const document = documents.find((d) => d.path === path);
    if (!document?.page) {
      postMessage({ type: 'diff', path, seq, diff: '', size: 0, edits: 0, leftAlone: 0 });
      return;
    }
    try {
      const k = await module();
      let kept = rewriteKept(k, document.bytes, path);
      if (!kept) {
        const after = rewrite(k, document.bytes, path);
        const changed = after.length !== document.bytes.length || after.some((b, i) => b !== document.bytes[i]);
        kept = { html: after, edits: changed ? [{ offset: 0, length: document.bytes.length, replacement: after, kind: 'images' }] : [],
          leftAlone: 0 };
      }
      const diff = k.unifiedDiff(path, document.bytes, kept);
      postMessage({ type: 'diff', path, seq, diff: text(diff.subarray(0, DIFF_SHOWN)), size: diff.length, edits: kept.edits.length,
        leftAlone: kept.leftAlone });
    } catch (error) {
      discardModule();
      postMessage({ type: 'failed', path, message: error?.message ?? String(error) });
    }
  },
  async window({ seq, start, change }) {
    if (shown?.seq !== seq) return;
    postMessage({ type: 'window', seq, window: windowAt(start, change) });
  },
  async zip() {
    const entries = [];
    let rewritten = 0;
    await eachDocument('rewriting', (document, k) => {
      const data = document.page ? rewriteKept(k, document.bytes, document.path)?.html ?? rewrite(k, document.bytes, document.path)
        : document.bytes;
      if (document.page) ++rewritten;
      entries.push({ path: document.path, data, date: document.date });
    });
    const blob = new Blob(zipStored(entries), { type: 'application/zip' });
    postMessage({ type: 'zip', blob, rewritten, copied: entries.length - rewritten });
  },
};

// Map files are read and written at once, not behind a long step, by the
// library's reader and writer of rule maps (the command-line tool's fix
// --map): an old value ending in one "*" is a prefix rule, a line
// "@document PATH" starts the pairs of that document alone.
async function readMap({ bytes, name, id }) {
  try {
    const k = await module();
    const { lines, kinds } = k.readMapFile(bytes, { name });
    postMessage({ type: 'map', id, pairs: lines.map(({ from, to, prefix, document }) => ({ from, to, prefix, document })), kinds });
  } catch (error) {
    postMessage({ type: 'map', id, error: error?.message ?? String(error) });
  }
}

async function writeMap({ pairs, kinds, id }) {
  try {
    const k = await module();
    postMessage({ type: 'map', id, bytes: k.writeMapFile(pairs, kinds) });
  } catch (error) {
    postMessage({ type: 'map', id, error: error?.message ?? String(error) });
  }
}

// Steps run one after another, in the order they were asked for; a preview
// or a base that a newer one replaces is skipped when its turn comes.
let queue = Promise.resolve();
addEventListener('message', ({ data }) => {
  if (data.type === 'readMap') { readMap(data); return; }
  if (data.type === 'writeMap') { writeMap(data); return; }
  if (data.type === 'preview') latestPreview = Math.max(latestPreview, data.seq);
  if (data.type === 'base' || data.type === 'load') {
    wantedBase = data.base ?? '';
    wantedKinds = data.kinds ?? 'images,links';
  }
  queue = queue.then(async () => {
    try {
      await steps[data.type](data);
    } catch (error) {
      discardModule();
      postMessage({ type: 'error', message: error?.message ?? String(error) });
    }
  });
});
