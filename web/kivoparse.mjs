// kivoparse for JavaScript, in the browser (page or worker) and in Node.js.
//
//   import { createKivoparse } from './kivoparse.mjs';
//   const kivoparse = await createKivoparse();
//   const html = kivoparse.normalize('<img src=a.gif>');       // Uint8Array of <IMG src="a.gif">
//   const out = kivoparse.rewrite(page, { images: { 'A.GIF': 'b.gif' } });
//   const parser = new kivoparse.Parser();                      // the eight operations
//   parser.parseHTML(page); parser.getImages(); parser.delete();
//
// Inputs are strings (encoded as UTF-8), Uint8Arrays, other typed arrays or
// ArrayBuffers; every document and URL that comes out is a new Uint8Array
// holding exactly the parser's bytes. A Parser made with `new` lives in the
// module's memory until its delete() is called.
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

  // One parser serves the convenience functions; the base is set anew for
  // each call, since it applies from the next parse on.
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

  const parse = (html, base) => {
    shared.setDocumentBase(base ?? '');
    if (shared.parseHTML(html) !== 0) throw new RangeError('the document is too large to parse (2 GiB or more)');
    return shared;
  };

  return {
    Parser: core.Parser,
    FS: core.FS,
    // The document written back normalised.
    normalize: guard((html, { base } = {}) => parse(html, base).getHTML()),
    // Its image URLs (IMG and INPUT src, then background), each once.
    images: guard((html, { base } = {}) => parse(html, base).getImages()),
    // Its link URLs (A href), each once.
    hrefs: guard((html, { base } = {}) => parse(html, base).getHrefs()),
    // The document with its image and link URLs replaced: each map pairs an
    // old URL (letter case ignored) with its new one.
    rewrite: guard((html, { images, hrefs, base } = {}) => {
      const parser = parse(html, base);
      const imagePairs = pairsOf(images, 'images');
      const hrefPairs = pairsOf(hrefs, 'hrefs');
      if (imagePairs.src.length) parser.fixImages(imagePairs.src, imagePairs.dest);
      if (hrefPairs.src.length) parser.fixHrefs(hrefPairs.src, hrefPairs.dest);
      return parser.getHTML();
    }),
  };
}

export default createKivoparse;
