// The page's work, off the main thread: reads the files, parses them, lists
// their URLs, shows one rewritten, and writes the zip. Messages in:
//   { type: 'load', files: [{ path, file }], base }   read and list (replaces all)
//   { type: 'base', base }                           list again with another base
//   { type: 'preview', path, images, hrefs }         one file, before and after
//   { type: 'zip', images, hrefs }                   every file rewritten, zipped
// images and hrefs are arrays of { from, to } Uint8Arrays. Messages out:
// 'progress' { done, total, what }, 'failed' { path, message } (one a file),
// 'listed' { files }, 'preview' { path, before, after }, 'zip' { blob, count },
// 'error' { message } for a failure of the whole step.
import { createKivoparse } from './kivoparse.mjs';
import { zipStored } from './zip.mjs';

let kivoparse = null;
let lister = null;    // a Parser of that module, for listing: one parse a file
let documents = [];   // [{ path, bytes, date }] in the order given
let base = '';

async function module() {
  if (!kivoparse) {
    kivoparse = await createKivoparse();
    lister = new kivoparse.Parser();
  }
  return kivoparse;
}

// After a failure inside the module (out of memory, say) its state is not to
// be trusted: the next call loads a fresh one.
function discardModule() { kivoparse = null; lister = null; }

function progress(done, total, what) {
  postMessage({ type: 'progress', done, total, what });
}

// Yields now and then, so that messages go out while a long step runs.
const breathe = () => new Promise((resolve) => setTimeout(resolve, 0));

async function eachDocument(what, work) {
  let last = 0;
  for (let i = 0; i < documents.length; ++i) {
    const document = documents[i];
    try {
      await work(document, await module());
    } catch (error) {
      discardModule();
      postMessage({ type: 'failed', path: document.path, message: error?.message ?? String(error) });
    }
    if (Date.now() - last > 50 || i + 1 === documents.length) {
      progress(i + 1, documents.length, what);
      last = Date.now();
      await breathe();
    }
  }
}

async function list() {
  const files = [];
  await eachDocument('parsing', (document) => {
    lister.setDocumentBase(base);
    if (lister.parseHTML(document.bytes) !== 0) throw new RangeError('too large to parse (2 GiB or more)');
    files.push({ path: document.path, size: document.bytes.length, images: lister.getImages(), hrefs: lister.getHrefs() });
  });
  postMessage({ type: 'listed', files });
}

const pairs = (map) => (map ?? []).map(({ from, to }) => [from, to]);

const steps = {
  async load({ files, base: newBase }) {
    base = newBase ?? '';
    documents = [];
    // Many reads at a time: each is a round trip to the browser.
    const read = async ({ path, file }) => {
      try {
        return { path, bytes: new Uint8Array(await file.arrayBuffer()), date: new Date(file.lastModified) };
      } catch (error) {
        postMessage({ type: 'failed', path, message: `cannot be read: ${error?.message ?? error}` });
        return null;
      }
    };
    for (let i = 0; i < files.length; i += 64) {
      const batch = await Promise.all(files.slice(i, i + 64).map(read));
      documents.push(...batch.filter(Boolean));
      progress(Math.min(i + 64, files.length), files.length, 'reading');
    }
    await list();
  },
  async base({ base: newBase }) {
    base = newBase ?? '';
    await list();
  },
  async preview({ path, images, hrefs }) {
    const document = documents.find((d) => d.path === path);
    if (!document) return;
    try {
      const k = await module();
      const before = k.normalize(document.bytes, { base });
      const after = k.rewrite(document.bytes, { base, images: pairs(images), hrefs: pairs(hrefs) });
      postMessage({ type: 'preview', path, before, after });
    } catch (error) {
      discardModule();
      postMessage({ type: 'failed', path, message: error?.message ?? String(error) });
    }
  },
  async zip({ images, hrefs }) {
    const entries = [];
    await eachDocument('rewriting', (document, k) => {
      const data = k.rewrite(document.bytes, { base, images: pairs(images), hrefs: pairs(hrefs) });
      entries.push({ path: document.path, data, date: document.date });
    });
    const blob = new Blob(zipStored(entries), { type: 'application/zip' });
    postMessage({ type: 'zip', blob, count: entries.length });
  },
};

// Steps run one after another, in the order they were asked for.
let queue = Promise.resolve();
addEventListener('message', ({ data }) => {
  queue = queue.then(async () => {
    try {
      await steps[data.type](data);
    } catch (error) {
      discardModule();
      postMessage({ type: 'error', message: error?.message ?? String(error) });
    }
  });
});
