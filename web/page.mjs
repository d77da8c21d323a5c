// The page: gathers the files, hands them to the worker, shows what comes
// back, and edits the two rewrite maps. URLs and documents stay bytes
// (Uint8Array) throughout; text is only what is shown.
import { utf8, text, keyOf } from './bytes.mjs';
import { parseMap, formatMap } from './mapfile.mjs';

const MAX_ROWS = 300;   // rows drawn per table; the filter narrows the rest
const $ = (selector) => document.querySelector(selector);

const worker = new Worker(new URL('./worker.mjs', import.meta.url), { type: 'module' });
let files = [];          // [{ path, size, images, hrefs, imagesText, hrefsText, search }]
let selected = null;     // path of the file shown in the preview
let zipName = 'rewritten.zip';

// ---- status, progress, errors

function status(message) { $('#status-text').textContent = message; }

function reportError(message) {
  const item = document.createElement('li');
  item.textContent = message;
  $('#errors').append(item);
}

function busy(on) {
  $('#progress').hidden = !on;
  $('#download').disabled = on || files.length === 0;
}

// ---- the maps

const maps = { images: [], hrefs: [] };   // [{ from, to }] of Uint8Array

const pairsFor = (kind) => maps[kind].filter((pair) => pair.from.length > 0);

function drawMap(kind) {
  const body = document.querySelector(`.map[data-kind=${kind}] tbody`);
  body.replaceChildren(...maps[kind].map((pair, index) => {
    const row = document.createElement('tr');
    const cell = (field) => {
      const input = document.createElement('input');
      input.value = text(pair[field]);
      input.spellcheck = false;
      input.className = field;
      input.addEventListener('input', () => { pair[field] = utf8(input.value); mapChanged(); });
      const td = document.createElement('td');
      td.append(input);
      return td;
    };
    const arrow = document.createElement('td');
    arrow.className = 'arrow';
    arrow.textContent = '→';
    const remove = document.createElement('button');
    remove.textContent = '✕';
    remove.title = 'Remove this pair';
    remove.addEventListener('click', () => { maps[kind].splice(index, 1); drawMap(kind); mapChanged(); });
    const last = document.createElement('td');
    last.append(remove);
    row.append(cell('from'), arrow, cell('to'), last);
    return row;
  }));
}

function addPair(kind, from, to) {
  maps[kind].push({ from, to });
  drawMap(kind);
  mapChanged();
  const inputs = document.querySelectorAll(`.map[data-kind=${kind}] input.to`);
  inputs[inputs.length - 1]?.focus();
}

function saveBytes(bytes, name, type) {
  const link = document.createElement('a');
  link.href = URL.createObjectURL(new Blob([bytes], { type }));
  link.download = name;
  document.body.append(link);
  link.click();
  link.remove();
  setTimeout(() => URL.revokeObjectURL(link.href), 60000);
}

function setUpMap(kind) {
  const box = document.querySelector(`.map[data-kind=${kind}]`);
  box.append($('#map-template').content.cloneNode(true));
  box.querySelector('.add').addEventListener('click', () => addPair(kind, new Uint8Array(), new Uint8Array()));
  box.querySelector('.save').addEventListener('click', () => {
    try {
      saveBytes(formatMap(pairsFor(kind)), `${kind === 'images' ? 'image' : 'link'}-map.tsv`, 'text/tab-separated-values');
    } catch (error) {
      reportError(`Saving the ${kind === 'images' ? 'image' : 'link'} map: ${error.message}`);
    }
  });
  const load = box.querySelector('.load');
  load.addEventListener('change', async () => {
    const file = load.files[0];
    load.value = '';
    if (!file) return;
    try {
      maps[kind] = parseMap(new Uint8Array(await file.arrayBuffer()), file.name);
      drawMap(kind);
      mapChanged();
      status(`${file.name}: ${maps[kind].length} pairs loaded.`);
    } catch (error) {
      reportError(error.message);
    }
  });
  drawMap(kind);
}

let previewTimer = 0;
function mapChanged() {
  clearTimeout(previewTimer);
  previewTimer = setTimeout(requestPreview, 150);
}

function requestPreview() {
  if (selected === null) return;
  worker.postMessage({ type: 'preview', path: selected, images: pairsFor('images'), hrefs: pairsFor('hrefs') });
}

// ---- the tables

function cell(row, content, className) {
  const td = document.createElement('td');
  td.textContent = content;
  if (className) td.className = className;
  row.append(td);
  return td;
}

function moreRow(body, shown, total, columns) {
  if (total <= shown) return;
  const row = document.createElement('tr');
  row.className = 'more';
  cell(row, `${total - shown} more; filter to narrow the list`).colSpan = columns;
  body.append(row);
}

// Every distinct URL with the number of files that hold it, most shared
// first; each file gets its URLs as text, and a lower-case text to filter by.
let groups = [];
function listed(newFiles) {
  files = newFiles;
  const byKey = new Map();
  for (const file of files) {
    file.search = file.path.toLowerCase();
    for (const kind of ['images', 'hrefs']) {
      file[`${kind}Text`] = file[kind].map((url) => {
        const key = kind + keyOf(url);
        const group = byKey.get(key) ?? { kind, url, shown: text(url), count: 0 };
        group.count += 1;
        byKey.set(key, group);
        file.search += `\n${group.shown.toLowerCase()}`;
        return group.shown;
      });
    }
  }
  groups = [...byKey.values()].sort((a, b) => b.count - a.count || (a.shown < b.shown ? -1 : a.shown > b.shown ? 1 : 0));
  for (const group of groups) group.search = group.shown.toLowerCase();
}

function draw() {
  const filter = $('#filter').value.toLowerCase();
  const shownGroups = groups.filter((group) => group.search.includes(filter));
  const urlBody = $('#urls tbody');
  urlBody.replaceChildren();
  for (const group of shownGroups.slice(0, MAX_ROWS)) {
    const row = document.createElement('tr');
    cell(row, group.shown, 'url');
    cell(row, group.kind === 'images' ? 'image' : 'link');
    cell(row, String(group.count), 'num');
    const map = document.createElement('button');
    map.textContent = 'Map';
    map.title = 'Add this URL to the rewrite map';
    map.addEventListener('click', () => addPair(group.kind, group.url.slice(), group.url.slice()));
    row.insertCell().append(map);
    urlBody.append(row);
  }
  moreRow(urlBody, MAX_ROWS, shownGroups.length, 4);
  const imageCount = groups.filter((group) => group.kind === 'images').length;
  $('#url-counts').textContent = `${imageCount} image URLs, ${groups.length - imageCount} link URLs`;

  const shownFiles = files.filter((file) => file.search.includes(filter));
  const fileBody = $('#files tbody');
  fileBody.replaceChildren();
  for (const file of shownFiles.slice(0, MAX_ROWS)) {
    const row = document.createElement('tr');
    row.dataset.path = file.path;
    if (file.path === selected) row.className = 'selected';
    cell(row, file.path, 'path');
    for (const kind of ['images', 'hrefs']) {
      const td = cell(row, '', 'url');
      const count = document.createElement('span');
      count.className = 'count';
      count.textContent = String(file[kind].length);
      td.append(count, ...file[`${kind}Text`].map((url) => {
        const line = document.createElement('div');
        line.textContent = url;
        return line;
      }));
    }
    row.tabIndex = 0;
    row.addEventListener('click', () => select(file.path));
    row.addEventListener('keydown', (event) => { if (event.key === 'Enter') select(file.path); });
    fileBody.append(row);
  }
  moreRow(fileBody, MAX_ROWS, shownFiles.length, 3);
  $('#file-counts').textContent = shownFiles.length === files.length
    ? `${files.length}` : `${shownFiles.length} of ${files.length}`;
}

function select(path) {
  selected = path;
  for (const row of document.querySelectorAll('#files tbody tr')) {
    row.classList.toggle('selected', row.dataset.path === path);
  }
  $('#preview-name').textContent = path;
  requestPreview();
}

// ---- the preview: the rewritten output, changed values marked

const PREVIEW_BYTES = 2 << 20;   // more would only slow the page down

function showPreview(before, after) {
  const cut = after.length > PREVIEW_BYTES;
  if (cut) {
    before = before.subarray(0, PREVIEW_BYTES);
    after = after.subarray(0, PREVIEW_BYTES);
  }
  $('#preview-name').textContent = cut ? `${selected} (the first 2 MiB)` : selected;
  const old = text(before).split('"');
  const now = text(after).split('"');
  const preview = $('#preview');
  preview.replaceChildren();
  const add = (piece, changed) => {
    if (!changed) { preview.append(piece); return; }
    const mark = document.createElement('mark');
    mark.textContent = piece;
    preview.append(mark);
  };
  if (old.length === now.length) {
    // Only values change, so the quotes line up: compare piece by piece.
    now.forEach((piece, i) => { if (i) preview.append('"'); add(piece, piece !== old[i]); });
    return;
  }
  // A new value holds a quote: mark the span between the common ends.
  const a = text(before);
  const b = text(after);
  let head = 0;
  while (head < a.length && head < b.length && a[head] === b[head]) ++head;
  let tail = 0;
  while (tail < a.length - head && tail < b.length - head && a[a.length - 1 - tail] === b[b.length - 1 - tail]) ++tail;
  add(b.slice(0, head), false);
  add(b.slice(head, b.length - tail), true);
  add(b.slice(b.length - tail), false);
}

// ---- opening files

const extensions = () => $('#ext').value.split(',').map((e) => e.trim().replace(/^\./, '').toLowerCase()).filter(Boolean);

function isPage(path) {
  const lower = path.toLowerCase();
  return extensions().some((ext) => lower.endsWith(`.${ext}`));
}

// files: [{ path, file, named }]; a file named directly is taken whatever
// its name, one found in a folder only when its name ends as set.
function open(found) {
  const pages = found.filter((f) => f.named || isPage(f.path));
  pages.sort((a, b) => (a.path < b.path ? -1 : a.path > b.path ? 1 : 0));
  const skipped = found.length - pages.length;
  $('#errors').replaceChildren();
  // Two files of one name would be one entry of the zip: the first is taken.
  const taken = pages.filter((f, i) => {
    if (i === 0 || f.path !== pages[i - 1].path) return true;
    reportError(`${f.path}: a second file of this name is left out (one zip entry each)`);
    return false;
  });
  if (taken.length === 0) {
    status(`No page among ${found.length} files (names ending in ${extensions().join(', ')}).`);
    return;
  }
  const tops = new Set(taken.map((f) => f.path.split('/')[0]));
  zipName = tops.size === 1 && taken[0].path.includes('/') ? `${[...tops][0]}-rewritten.zip` : 'rewritten.zip';
  listed([]);
  selected = null;
  busy(true);
  status(`Reading ${taken.length} files${skipped ? ` (${skipped} other files left out)` : ''}…`);
  worker.postMessage({ type: 'load', base: $('#base').value, files: taken.map(({ path, file }) => ({ path, file })) });
}

async function walk(entry, found) {
  if (entry.isFile) {
    const file = await new Promise((resolve, reject) => entry.file(resolve, reject));
    found.push({ path: entry.fullPath.replace(/^\/+/, ''), file, named: false });
  } else if (entry.isDirectory) {
    const reader = entry.createReader();
    for (;;) {
      const batch = await new Promise((resolve, reject) => reader.readEntries(resolve, reject));
      if (batch.length === 0) break;
      for (const child of batch) await walk(child, found);
    }
  }
}

async function dropped(transfer) {
  const found = [];
  const entries = [...transfer.items].map((item) => item.webkitGetAsEntry?.()).filter(Boolean);
  if (entries.length === 0) {
    for (const file of transfer.files) found.push({ path: file.name, file, named: true });
  }
  for (const entry of entries) {
    try {
      if (entry.isFile) {
        const file = await new Promise((resolve, reject) => entry.file(resolve, reject));
        found.push({ path: entry.name, file, named: true });
      } else {
        await walk(entry, found);
      }
    } catch (error) {
      reportError(`${entry.fullPath.replace(/^\/+/, '')}: cannot be read: ${error.message}`);
    }
  }
  open(found);
}

// ---- the worker's answers

worker.addEventListener('message', ({ data }) => {
  switch (data.type) {
    case 'progress':
      $('#progress').max = data.total;
      $('#progress').value = data.done;
      status(`${data.what} ${data.done} of ${data.total} files…`);
      break;
    case 'failed':
      reportError(`${data.path}: ${data.message}`);
      break;
    case 'listed': {
      listed(data.files);
      busy(false);
      const failed = $('#errors').children.length;
      status(`${files.length} files listed${failed ? `, ${failed} failed (see below)` : ''}.`);
      draw();
      if (files.length && !files.some((file) => file.path === selected)) select(files[0].path);
      else requestPreview();
      break;
    }
    case 'preview':
      if (data.path === selected) showPreview(data.before, data.after);
      break;
    case 'zip':
      busy(false);
      saveBytes(data.blob, zipName, 'application/zip');
      status(`${data.count} rewritten files written to ${zipName}.`);
      break;
    case 'error':
      busy(false);
      reportError(data.message);
      status('Stopped by an error (see below).');
      break;
    default:
      break;
  }
});
worker.addEventListener('error', (event) => {
  busy(false);
  reportError(`The worker failed: ${event.message ?? 'it could not be started'}`);
});

// ---- wiring

setUpMap('images');
setUpMap('hrefs');

$('#open-files').addEventListener('change', (event) => {
  open([...event.target.files].map((file) => ({ path: file.name, file, named: true })));
  event.target.value = '';
});
$('#open-folder').addEventListener('change', (event) => {
  open([...event.target.files].map((file) => ({ path: file.webkitRelativePath || file.name, file, named: false })));
  event.target.value = '';
});
let filterTimer = 0;
$('#filter').addEventListener('input', () => {
  clearTimeout(filterTimer);
  if (files.length > 500) filterTimer = setTimeout(draw, 150);   // wait for the next key
  else draw();
});
$('#base').addEventListener('change', () => {
  if (files.length === 0) return;
  busy(true);
  worker.postMessage({ type: 'base', base: $('#base').value });
});
$('#download').addEventListener('click', () => {
  busy(true);
  worker.postMessage({ type: 'zip', images: pairsFor('images'), hrefs: pairsFor('hrefs') });
});

document.addEventListener('dragover', (event) => {
  event.preventDefault();
  document.body.classList.add('dragging');
});
document.addEventListener('dragleave', (event) => {
  if (event.relatedTarget === null) document.body.classList.remove('dragging');
});
document.addEventListener('drop', (event) => {
  event.preventDefault();
  document.body.classList.remove('dragging');
  dropped(event.dataTransfer);
});
