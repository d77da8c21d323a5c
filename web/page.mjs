// The page: gathers the files, hands them to the worker, shows what comes
// back, and edits the two rewrite maps. URLs and documents stay bytes
// (Uint8Array) throughout; text is only what is shown. Nothing here does
// work that grows with a document: the worker parses, lists and cuts the
// preview into windows; the tables and the maps draw one page of rows.
import { utf8, text, keyOf, foldKey, fromKey, packStrings, stringAt, stringsHolding, documentPath } from './bytes.mjs';

const URL_ROWS = 100;     // rows a page of the URL table
const FILE_ROWS = 50;     // rows a page of the file table
const FILE_URLS = 8;      // URLs shown a cell of the file table
const MAP_ROWS = 100;     // pairs a page of a map
const STORAGE_KEY = 'kivoparse-maps';
const KINDS = ['images', 'hrefs', 'others'];   // the maps
const KIND_NAME = { images: 'image', hrefs: 'link', others: 'other-kind' };
// The kinds of URL, in the library's order (its kind numbers): name as the
// module takes it, the word for one, and where they are.
const URL_KINDS = [
  ['images', 'image', 'IMG and INPUT src, any background'],
  ['links', 'link', 'A href'],
  ['resources', 'resource', 'LINK href, SCRIPT src'],
  ['frames', 'frame', 'IFRAME and FRAME src'],
  ['media', 'media', 'EMBED, SOURCE, TRACK, AUDIO, VIDEO src, VIDEO poster, OBJECT data'],
  ['areas', 'area', 'AREA href'],
  ['forms', 'form', 'FORM action'],
  ['srcset', 'srcset', 'each URL of IMG and SOURCE srcset'],
  ['refresh', 'refresh', 'the URL of a META refresh'],
  ['css', 'CSS', 'url(...) and @import in style attributes and STYLE'],
];

const $ = (selector) => document.querySelector(selector);

const worker = new Worker(new URL('./worker.mjs', import.meta.url), { type: 'module' });
let files = [];          // [{ path, size, page, images: [group], hrefs: [group], search }]
let openedPaths = new Set();   // their paths
// Every distinct URL, most shared first, as the worker's columns: kinds
// (URL_KINDS numbers: 0 image, 1 link, ...), counts, shown, search (lower
// case) and fold (packed strings), the bytes of URL i at
// bytes[ends[i-1]..ends[i]), and the site check's missing and cased (files
// in which the URL names no file, or a file in another letter case) and
// actual (that file).
const NO_GROUPS = { kinds: new Uint8Array(), counts: new Uint32Array(), shown: packStrings([]), search: packStrings([]),
  fold: packStrings([]), bytes: new Uint8Array(), ends: new Uint32Array(), missing: new Uint32Array(),
  cased: new Uint32Array(), actual: packStrings([]) };
let groups = NO_GROUPS;
const groupKind = (i) => KINDS[Math.min(groups.kinds[i], 2)];   // its map
const groupBytes = (i) => groups.bytes.slice(i ? groups.ends[i - 1] : 0, groups.ends[i]);
// Fold keys of the listed URLs of each map, as a set and sorted (for prefixes).
let present = { images: new Set(), hrefs: new Set(), others: new Set() };
let presentSorted = { images: [], hrefs: [], others: [] };
let listedKinds = 'images,links';   // the kinds the tables show
let suggestedMap = new Uint8Array();
let selected = null;     // path of the file shown in the preview
let zipName = 'rewritten.zip';
let loaded = false;      // files were opened: a new base lists them again
let generation = 0;      // of the last files opened: a list of earlier ones is stale
let failedFiles = 0;

// ---- words and numbers

const number = new Intl.NumberFormat('en');
const count = (n) => number.format(n);
const plural = (n, one, many = `${one}s`) => `${count(n)} ${n === 1 ? one : many}`;
function size(bytes) {
  if (bytes < 1000) return plural(bytes, 'byte');
  const units = ['kB', 'MB', 'GB'];
  let value = bytes / 1000;
  let unit = 0;
  while (value >= 1000 && unit < units.length - 1) { value /= 1000; ++unit; }
  return `${value.toFixed(value < 10 ? 1 : 0)} ${units[unit]}`;
}

// ---- status, progress, errors

function status(message) { $('#status-text').textContent = message; }

function reportError(message) {
  const item = document.createElement('li');
  item.textContent = message;
  $('#errors').append(item);
}

// While busy, the download button says it is unavailable but keeps the
// focus a keyboard user gave it.
let working = false;
function busy(on) {
  working = on;
  $('#progress').hidden = !on;
  if (on) $('#progress').removeAttribute('value');   // moving until the first progress
  const download = $('#download');
  const off = on || files.length === 0;
  if (document.activeElement === download || !off) download.disabled = false;
  else download.disabled = true;
  download.setAttribute('aria-disabled', String(off));
}

// A path or URL that breaks after its slashes rather than inside a name
// (inside one only when a name cannot fit).
function pathNodes(path) {
  const nodes = [];
  path.split('/').forEach((part, i, parts) => {
    nodes.push(i + 1 < parts.length ? `${part}/` : part);
    if (i + 1 < parts.length) nodes.push(document.createElement('wbr'));
  });
  return nodes;
}

// ---- keyboard: a list is one stop of the tab order, arrows move in it

function roving(container, selector) {
  let current = 0;
  const items = () => [...container.querySelectorAll(selector)];
  const settle = () => {
    const all = items();
    if (current >= all.length) current = Math.max(0, all.length - 1);
    all.forEach((item, i) => { item.tabIndex = i === current ? 0 : -1; });
  };
  container.addEventListener('focusin', (event) => {
    const at = items().indexOf(event.target.closest(selector));
    if (at >= 0) { current = at; settle(); }
  });
  container.addEventListener('keydown', (event) => {
    const all = items();
    const at = all.indexOf(event.target.closest(selector));
    if (at < 0) return;
    const moves = { ArrowDown: 1, ArrowUp: -1, PageDown: 10, PageUp: -10, Home: -Infinity, End: Infinity };
    if (!(event.key in moves)) return;
    event.preventDefault();
    current = Math.max(0, Math.min(all.length - 1, at + moves[event.key]));
    settle();
    all[current].focus();
    all[current].scrollIntoView({ block: 'nearest' });
  });
  return { settle, reset() { current = 0; settle(); } };
}

// Previous and next buttons with a label between; the buttons stay, so the
// focus stays on them while the pages turn.
function pager(nav, label, turned) {
  const state = { page: 0, pages: 1 };
  const button = (text, step) => {
    const b = document.createElement('button');
    b.type = 'button';
    b.className = 'small';
    b.textContent = text;
    b.addEventListener('click', () => {
      state.page = Math.max(0, Math.min(state.pages - 1, state.page + step));
      turned(state.page);
    });
    return b;
  };
  const previous = button('Previous', -1);
  const next = button('Next', 1);
  previous.setAttribute('aria-label', `Previous page of ${label}`);
  next.setAttribute('aria-label', `Next page of ${label}`);
  const where = document.createElement('span');
  where.className = 'count';
  where.setAttribute('aria-live', 'polite');
  return Object.assign(state, {
    // Draws the pager for total rows of rows a page, the current page kept in range.
    show(total, rows) {
      state.pages = Math.max(1, Math.ceil(total / rows));
      state.page = Math.min(state.page, state.pages - 1);
      if (state.pages === 1) { nav.replaceChildren(); return state.page; }
      const first = state.page * rows;
      where.textContent = `${count(first + 1)}–${count(Math.min(total, first + rows))} of ${count(total)}`;
      previous.disabled = state.page === 0;
      next.disabled = state.page === state.pages - 1;
      if (!nav.contains(where)) nav.replaceChildren(previous, where, next);
      return state.page;
    },
  });
}

// ---- questions, in a dialog the keyboard can answer (Escape cancels)

function ask(question, answers) {
  const dialog = $('#ask');
  $('#ask-text').textContent = question;
  $('#ask-buttons').replaceChildren(...answers.map(([value, label]) => {
    const b = document.createElement('button');
    b.value = value;
    b.textContent = label;
    return b;
  }));
  dialog.returnValue = '';
  dialog.showModal();
  return new Promise((resolve) => dialog.addEventListener('close', () => resolve(dialog.returnValue), { once: true }));
}

// ---- the maps

// [{ from, to, prefix, fold, document }], bytes; document empty for every
// document, else the path of the one document the pair is for (a section
// "@document PATH" of a map file).
const maps = { images: [], hrefs: [], others: [] };
// The kinds a map file loaded into a map was made for (its "@kinds" line),
// written back when the map is saved; null: none said.
const mapKinds = { images: null, hrefs: null, others: null };
const mapViews = {};                      // kind -> { box, body, pager, count }

const NO_DOCUMENT = new Uint8Array();
const pair = (from, to, prefix = false, document = NO_DOCUMENT) => ({ from, to, prefix, fold: foldKey(from), document });
const hasSections = (kind) => maps[kind].some((p) => p.document.length > 0);
const pairsFor = (kind) => maps[kind].filter((p) => p.from.length > 0);

// Whether a listed URL of a map's kinds starts with fold.
function startsAny(kind, fold) {
  const sorted = presentSorted[kind];
  let low = 0;
  let high = sorted.length;
  while (low < high) {
    const middle = (low + high) >> 1;
    if (sorted[middle] < fold) low = middle + 1; else high = middle;
  }
  return low < sorted.length && sorted[low].startsWith(fold);
}

// What each pair of a map does: '' (rewrites), or why it rewrites nothing.
function remarks(kind) {
  const seen = new Set();
  return maps[kind].map((p) => {
    if (p.from.length === 0) return p.prefix ? 'no prefix: not used' : 'no old URL: not used';
    const key = `${p.prefix ? '*' : '='}${p.fold}\t${keyOf(p.document)}`;
    if (seen.has(key)) return p.prefix ? 'an earlier rule has this prefix' : 'an earlier pair has this old URL';
    seen.add(key);
    if (!loaded) return '';
    if (p.document.length && !openedPaths.has(documentPath(p.document))) return 'no file opened has this path';
    return (p.prefix ? startsAny(kind, p.fold) : present[kind].has(p.fold)) ? '' : 'matches nothing';
  });
}

function updateRemarks(kind) {
  const view = mapViews[kind];
  const all = remarks(kind);
  for (const row of view.body.rows) {
    const remark = all[Number(row.dataset.index)] ?? '';
    row.classList.toggle('unused', remark !== '');
    const span = row.querySelector('.remark span');
    if (span.textContent !== remark) span.textContent = remark;
  }
  const unused = all.filter(Boolean).length;
  view.count.textContent = `${plural(maps[kind].length, 'pair')}${unused ? `, ${unused} rewriting nothing` : ''}`;
}

function drawMap(kind) {
  const view = mapViews[kind];
  const page = view.pager.show(maps[kind].length, MAP_ROWS);
  const first = page * MAP_ROWS;
  const name = KIND_NAME[kind];
  // The Document column is there only while a pair is for one document.
  const sectioned = hasSections(kind);
  view.box.classList.toggle('sectioned', sectioned);
  view.body.replaceChildren(...maps[kind].slice(first, first + MAP_ROWS).map((p, i) => {
    const index = first + i;
    const row = document.createElement('tr');
    row.dataset.index = index;
    const field = (key, label) => {
      const input = document.createElement('input');
      input.value = text(p[key]);
      input.spellcheck = false;
      input.autocomplete = 'off';
      input.className = key;
      input.setAttribute('aria-label', `${label} ${name} URL, pair ${index + 1}`);
      input.addEventListener('input', () => {
        p[key] = utf8(input.value);
        if (key === 'from') { p.fold = foldKey(p.from); updateRemarks(kind); }
        mapChanged();
      });
      input.addEventListener('paste', (event) => pastedInto(event, kind, index));
      const td = document.createElement('td');
      td.append(input);
      return td;
    };
    const prefix = document.createElement('input');
    prefix.type = 'checkbox';
    prefix.className = 'prefix';
    prefix.checked = p.prefix;
    prefix.title = 'A prefix rule: URLs starting with the old value get the new value instead of that start';
    prefix.setAttribute('aria-label', `Prefix rule, ${name} pair ${index + 1}`);
    prefix.addEventListener('change', () => {
      p.prefix = prefix.checked;
      updateRemarks(kind);
      mapChanged();
    });
    const prefixCell = document.createElement('td');
    prefixCell.className = 'prefix';
    prefixCell.append(prefix);
    const arrow = document.createElement('td');
    arrow.className = 'arrow';
    arrow.textContent = '→';
    arrow.setAttribute('aria-hidden', 'true');
    const last = document.createElement('td');
    last.className = 'remark';
    const remark = document.createElement('span');
    const remove = document.createElement('button');
    remove.type = 'button';
    remove.className = 'small';
    remove.textContent = '✕';
    remove.title = 'Remove this pair';
    remove.setAttribute('aria-label', `Remove ${name} pair ${index + 1}`);
    remove.addEventListener('click', () => {
      maps[kind].splice(index, 1);
      drawMap(kind);
      mapChanged();
      // The focus goes to the next pair's remove button, or to "Add pair".
      const buttons = view.body.querySelectorAll('.remark button');
      (buttons[Math.min(i, buttons.length - 1)] ?? view.box.querySelector('.add')).focus();
    });
    last.append(remark, remove);
    const documentCell = document.createElement('td');
    documentCell.className = 'document';
    if (sectioned) {
      const path = document.createElement('input');
      path.value = text(p.document);
      path.placeholder = 'every document';
      path.spellcheck = false;
      path.autocomplete = 'off';
      path.className = 'document';
      path.setAttribute('aria-label', `Document of ${name} pair ${index + 1} (empty: every document)`);
      path.addEventListener('input', () => {
        p.document = utf8(path.value);
        updateRemarks(kind);
        mapChanged();
      });
      documentCell.append(path);
    }
    row.append(field('from', 'Old'), arrow, field('to', 'New'), prefixCell, documentCell, last);
    return row;
  }));
  updateRemarks(kind);
}

function focusPair(kind, index, key) {
  const view = mapViews[kind];
  const page = Math.floor(index / MAP_ROWS);
  if (view.pager.page !== page) { view.pager.page = page; drawMap(kind); }
  const input = view.body.querySelector(`tr[data-index="${index}"] input.${key}`);
  input?.focus();
  input?.select();
}

// A URL already in the map is not added twice: its pair gets the focus.
function addPair(kind, from, to, focus) {
  if (from.length > 0) {
    const fold = foldKey(from);
    const at = maps[kind].findIndex((p) => p.fold === fold && p.document.length === 0);
    if (at >= 0) {
      status(`${text(from)} is already in the ${KIND_NAME[kind]} map (pair ${at + 1}).`);
      focusPair(kind, at, 'to');
      return;
    }
  }
  maps[kind].push(pair(from, to));
  mapViews[kind].pager.page = Math.floor((maps[kind].length - 1) / MAP_ROWS);
  drawMap(kind);
  mapChanged();
  focusPair(kind, maps[kind].length - 1, focus);
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

// Map text read by the worker, with the command-line tool's reader:
// resolves to [{ from, to }] or rejects with its message.
let mapRequests = 0;
const mapAnswers = new Map();
function readMap(bytes, name) {
  const id = ++mapRequests;
  worker.postMessage({ type: 'readMap', bytes, name, id });
  return new Promise((resolve, reject) => mapAnswers.set(id, { resolve, reject }));
}

// The map file of pairs, written by the library in the worker.
function writeMap(pairs, kinds) {
  const id = ++mapRequests;
  worker.postMessage({ type: 'writeMap', pairs, kinds, id });
  return new Promise((resolve, reject) => mapAnswers.set(id, { resolve, reject }));
}

// A map made for other kinds than those chosen: its kinds are chosen, as
// the tool's fix --map takes the kinds of the map's "@kinds" line.
function takeKinds(kind, kinds) {
  if (kinds === null) return '';
  mapKinds[kind] = kinds;
  const wanted = kinds.split(',').includes('all') ? URL_KINDS.map(([name]) => name) : kinds.split(',');
  if (wanted.join(',') === chosenKinds()) return '';
  for (const [name] of URL_KINDS) $(`#kind-${name}`).checked = wanted.includes(name);
  if (!chosenKinds()) return '';
  $('#kinds-chosen').textContent = chosenKinds().replace(/,/g, ', ');
  baseChanged();
  return `; it was made for the kinds ${chosenKinds().replace(/,/g, ', ')}, now chosen`;
}

// New pairs for a map: replace, add after, or neither (asked when the map
// holds pairs already).
async function takePairs(kind, pairs, source, replaceAsked, kinds = null) {
  const name = KIND_NAME[kind];
  let how = 'add';
  if (replaceAsked && pairsFor(kind).length > 0) {
    how = await ask(`The ${name} map holds ${plural(maps[kind].length, 'pair')}. ` +
      `Replace them with the ${plural(pairs.length, 'pair')} of ${source}, or add those after them?`,
    [['replace', 'Replace'], ['add', 'Add after them'], ['', 'Cancel']]);
    if (!how) { status(`${source}: not loaded.`); return; }
  }
  if (how === 'replace') {
    maps[kind] = [];
    mapKinds[kind] = null;
  }
  // Empty rows (an "Add pair" not filled in) give way to the new pairs.
  maps[kind] = maps[kind].filter((p) => p.from.length > 0 || p.to.length > 0);
  const first = maps[kind].length;
  maps[kind].push(...pairs.map(({ from, to, prefix, document }) => pair(from, to, prefix, document)));
  mapViews[kind].pager.page = Math.floor(first / MAP_ROWS);
  drawMap(kind);
  mapChanged();
  // Pairs of "@document" sections apply to their document alone: say which.
  const documents = [...new Set(pairs.filter((p) => p.document?.length).map((p) => text(p.document)))];
  const own = pairs.filter((p) => p.document?.length).length;
  const sections = documents.length === 0 ? ''
    : `; ${plural(own, 'pair')} of them only in ${documents.length === 1 ? 'the document' : `${documents.length} documents,`} ` +
      `${documents.slice(0, 5).join(', ')}${documents.length > 5 ? ', …' : ''} (see the Document column)`;
  const kindsNote = takeKinds(kind, kinds);
  status(`${source}: ${plural(pairs.length, 'pair')} ${first > 0 ? 'added' : 'loaded'}${sections}${kindsNote}.`);
}

async function takeText(kind, typed, source) {
  // Lines from the clipboard: a CR before each line feed is the clipboard's,
  // and a last line feed ends the last line.
  const lines = typed.replace(/\r\n?/g, '\n');
  try {
    const { pairs, kinds } = await readMap(utf8(lines), source);
    await takePairs(kind, pairs, source, false, kinds);
    return true;
  } catch (error) {
    reportError(error.message);
    return false;
  }
}

// Text pasted into a map field that holds a TAB or a line break is pairs.
function pastedInto(event, kind, index) {
  const pasted = event.clipboardData?.getData('text/plain') ?? '';
  if (!/[\t\n]/.test(pasted.replace(/[\r\n]+$/, ''))) return;
  event.preventDefault();
  const p = maps[kind][index];
  if (p && p.from.length === 0 && p.to.length === 0) maps[kind].splice(index, 1);
  takeText(kind, pasted, 'the pasted lines');
}

function setUpMap(kind) {
  const box = document.querySelector(`.map[data-kind=${kind}]`);
  box.append($('#map-template').content.cloneNode(true));
  const name = KIND_NAME[kind];
  const view = {
    box,
    body: box.querySelector('tbody'),
    count: box.querySelector('h3 .count'),
    pager: pager(box.querySelector('.pager'), `the ${name} map`, () => drawMap(kind)),
  };
  mapViews[kind] = view;
  for (const button of box.querySelectorAll('.map-buttons button')) {
    button.setAttribute('aria-label', `${button.textContent} (${name} map)`);
  }
  box.querySelector('.add').addEventListener('click', () => addPair(kind, new Uint8Array(), new Uint8Array(), 'from'));
  box.querySelector('.save').addEventListener('click', async () => {
    const pairs = pairsFor(kind).map(({ from, to, prefix, document }) => ({ from, to, prefix, document }));
    try {
      saveBytes(await writeMap(pairs, mapKinds[kind]), `${name}-map.tsv`, 'text/tab-separated-values');
    } catch (error) {
      reportError(`Saving the ${name} map: ${error.message}`);
    }
  });
  box.querySelector('.clear').addEventListener('click', async () => {
    if (maps[kind].length === 0) return;
    const answer = await ask(`Remove all ${plural(maps[kind].length, 'pair')} of the ${name} map?`,
      [['remove', 'Remove all'], ['', 'Cancel']]);
    if (answer !== 'remove') return;
    maps[kind] = [];
    mapKinds[kind] = null;
    drawMap(kind);
    mapChanged();
    box.querySelector('.add').focus();
  });
  box.querySelector('.paste').addEventListener('click', async () => {
    const dialog = $('#paste');
    $('#paste-title').textContent = `Paste ${name} pairs`;
    for (;;) {
      dialog.returnValue = '';
      dialog.showModal();
      $('#paste-text').focus();
      await new Promise((resolve) => dialog.addEventListener('close', resolve, { once: true }));
      if (dialog.returnValue !== 'add' || $('#paste-text').value === '') break;
      if (await takeText(kind, $('#paste-text').value, 'the pasted lines')) {
        $('#paste-text').value = '';
        break;
      }
    }
    box.querySelector('.paste').focus();
  });
  const load = box.querySelector('.load');
  box.querySelector('.load-button').addEventListener('click', () => load.click());
  load.addEventListener('change', async () => {
    const file = load.files[0];
    load.value = '';
    if (!file) return;
    try {
      const { pairs, kinds } = await readMap(new Uint8Array(await file.arrayBuffer()), file.name);
      await takePairs(kind, pairs, file.name, true, kinds);
    } catch (error) {
      reportError(error.message);
    }
    box.querySelector('.load-button').focus();
  });
  drawMap(kind);
}

// The maps are kept in this browser's storage, bytes as one char a byte.
function storeMaps() {
  try {
    const stored = {};
    for (const kind of KINDS) {
      stored[kind] = maps[kind].map((p) => [keyOf(p.from), keyOf(p.to),
        ...(p.prefix || p.document.length ? [p.prefix ? 1 : 0] : []), ...(p.document.length ? [keyOf(p.document)] : [])]);
    }
    localStorage.setItem(STORAGE_KEY, JSON.stringify(stored));
  } catch (error) {
    if (!storeMaps.failed) reportError(`The maps cannot be kept in this browser (${error.message}): save them to files.`);
    storeMaps.failed = true;
  }
}

function restoreMaps() {
  try {
    const stored = JSON.parse(localStorage.getItem(STORAGE_KEY) ?? '{}');
    for (const kind of KINDS) {
      if (Array.isArray(stored[kind])) {
        maps[kind] = stored[kind].map(([from, to, prefix, document]) =>
          pair(fromKey(from), fromKey(to), prefix === 1, document ? fromKey(document) : NO_DOCUMENT));
      }
    }
  } catch (error) {
    reportError(`The maps kept in this browser cannot be read (${error.message}); they start empty.`);
  }
}

let mapTimer = 0;
let storeTimer = 0;
function mapChanged() {
  clearTimeout(mapTimer);
  mapTimer = setTimeout(sendMaps, 200);
  clearTimeout(storeTimer);
  storeTimer = setTimeout(storeNow, 300);
}

function storeNow() {
  clearTimeout(storeTimer);
  storeTimer = 0;
  storeMaps();
}
// A reload or a closed tab within the wait still keeps the last edit.
addEventListener('pagehide', () => { if (storeTimer) storeNow(); });

function sendMaps(andPreview = true) {
  clearTimeout(mapTimer);
  const strip = (kind) => pairsFor(kind).map(({ from, to, prefix, document }) => ({ from, to, prefix, document }));
  worker.postMessage({ type: 'maps', images: strip('images'), hrefs: strip('hrefs'), others: strip('others') });
  if (andPreview) requestPreview();
}

// ---- the tables

function cell(row, content, className) {
  const td = document.createElement('td');
  td.append(...(Array.isArray(content) ? content : [content]));
  if (className) td.className = className;
  row.append(td);
  return td;
}

let urlRows;
let fileRows;
const urlPager = pager($('#urls-pager'), 'the URL list', () => drawUrls());
const filePager = pager($('#files-pager'), 'the file list', () => drawFiles());

function filterText() { return $('#filter').value.toLowerCase(); }

const problemsOnly = () => $('#problems-only').checked;
const hasProblem = (i) => groups.missing[i] > 0 || groups.cased[i] > 0;

function drawUrls() {
  const filter = filterText();
  const all = groups.counts.length;
  let shown = filter ? stringsHolding(groups.search, filter) : null;   // null: every URL
  if (problemsOnly()) {
    shown = shown ? shown.filter(hasProblem) : [];
    if (!filter) for (let i = 0; i < all; ++i) if (hasProblem(i)) shown.push(i);
  }
  const total = shown ? shown.length : all;
  const page = urlPager.show(total, URL_ROWS);
  const rows = [];
  for (let at = page * URL_ROWS; at < Math.min(total, (page + 1) * URL_ROWS); ++at) {
    const i = shown ? shown[at] : at;
    const kind = groupKind(i);
    const word = URL_KINDS[groups.kinds[i]][1];
    const row = document.createElement('tr');
    const url = stringAt(groups.shown, i);
    cell(row, pathNodes(url), 'url');
    cell(row, word);
    cell(row, String(groups.counts[i]), 'num');
    cell(row, checkNote(i), 'check');
    const map = document.createElement('button');
    map.type = 'button';
    map.className = 'small map-url';
    map.textContent = 'Map';
    map.setAttribute('aria-label', `Map ${word} URL ${url}`);
    map.addEventListener('click', () => addPair(kind, groupBytes(i), groupBytes(i), 'to'));
    cell(row, map);
    rows.push(row);
  }
  $('#urls tbody').replaceChildren(...rows);
  urlRows.reset();
  const images = groups.kinds.filter((kind) => kind === 0).length;
  const links = groups.kinds.filter((kind) => kind === 1).length;
  const others = all - images - links;
  $('#url-counts').textContent = `${plural(images, 'image URL')}, ${plural(links, 'link URL')}` +
    (others || listedKinds !== 'images,links' ? `, ${plural(others, 'URL')} of other kinds` : '') +
    (shown ? ` (${count(shown.length)} shown)` : '');
}

// What the site check says of URL i: in how many files it names no file,
// or a file in another letter case.
function checkNote(i) {
  const notes = [];
  const inFiles = (n) => (n === groups.counts[i] ? '' : ` in ${plural(n, 'file')}`);
  if (groups.missing[i]) notes.push(`broken${inFiles(groups.missing[i])}`);
  if (groups.cased[i]) notes.push(`case only${inFiles(groups.cased[i])}: ${stringAt(groups.actual, i)}`);
  return notes.map((note) => {
    const span = document.createElement('span');
    span.className = note.startsWith('broken') ? 'flag broken' : 'flag cased';
    span.textContent = note;
    return span;
  });
}

// A file's URLs of one kind, those the filter finds first.
function urlCell(row, file, kind, filter) {
  const td = cell(row, '', 'url');
  const number = document.createElement('span');
  number.className = 'count';
  number.textContent = String(file[kind].length);
  td.append(number);
  const all = file[kind];
  let urls = all.subarray(0, FILE_URLS);
  if (filter) {
    const found = [];
    for (let n = 0; n < all.length && found.length < FILE_URLS; ++n) {
      if (stringAt(groups.search, all[n]).includes(filter)) found.push(all[n]);
    }
    for (let n = 0; n < all.length && found.length < FILE_URLS; ++n) {
      if (!found.includes(all[n])) found.push(all[n]);
    }
    urls = found;
  }
  for (const i of urls) {
    const line = document.createElement('div');
    line.append(...pathNodes(stringAt(groups.shown, i)));
    const problem = file.missing.includes(i) ? 'broken' : file.cased.includes(i) ? 'case only' : '';
    if (problem) {
      const flag = document.createElement('span');
      flag.className = `flag ${problem === 'broken' ? 'broken' : 'cased'}`;
      flag.textContent = problem;
      line.append(' ', flag);
    }
    td.append(line);
  }
  if (all.length > FILE_URLS) {
    const more = document.createElement('div');
    more.className = 'more';
    more.textContent = `${count(all.length - FILE_URLS)} more`;
    td.append(more);
  }
}

function drawFiles() {
  const filter = filterText();
  const problems = problemsOnly();
  const shown = filter || problems ? files.filter((file) => (!filter || file.search.includes(filter)) &&
    (!problems || file.missing.length > 0 || file.cased.length > 0)) : files;
  const page = filePager.show(shown.length, FILE_ROWS);
  const body = $('#files tbody');
  body.replaceChildren(...shown.slice(page * FILE_ROWS, (page + 1) * FILE_ROWS).map((file) => {
    const row = document.createElement('tr');
    row.dataset.path = file.path;
    const chosen = file.path === selected;
    if (chosen) row.className = 'selected';
    const button = document.createElement('button');
    button.type = 'button';
    button.className = 'file';
    button.append(...pathNodes(file.path));
    button.setAttribute('aria-pressed', String(chosen));
    button.title = 'Show this file\'s output';
    cell(row, button, 'path');
    const columns = othersShown() ? KINDS : KINDS.slice(0, 2);
    if (file.page) {
      for (const kind of columns) urlCell(row, file, kind, filter);
    } else {
      cell(row, `not a page by its name: goes into the zip unchanged (${size(file.size)})`, 'note').colSpan = columns.length;
    }
    row.addEventListener('click', (event) => { if (event.target === row || !event.target.closest('button')) button.click(); });
    button.addEventListener('click', () => select(file.path));
    return row;
  }));
  fileRows.reset();
  $('#file-counts').textContent = shown.length === files.length
    ? plural(files.length, 'file') : `${count(shown.length)} of ${plural(files.length, 'file')}`;
}

function draw() {
  urlPager.page = 0;
  filePager.page = 0;
  drawUrls();
  drawFiles();
}

const otherKinds = (list) => list.split(',').filter((name) => name !== 'images' && name !== 'links');
const othersShown = () => otherKinds(listedKinds).length > 0;

function listed(data) {
  files = data.files;
  // A map's section names its page from the site root (the folder opened,
  // as the tool's check writes it) or by its whole path.
  openedPaths = new Set(files.flatMap((f) => (f.path.includes('/') ? [f.path, f.path.slice(f.path.indexOf('/') + 1)] : [f.path])));
  groups = data.groups;
  listedKinds = data.kinds;
  present = { images: new Set(), hrefs: new Set(), others: new Set() };
  for (let i = 0; i < groups.counts.length; ++i) present[groupKind(i)].add(stringAt(groups.fold, i));
  for (const kind of KINDS) presentSorted[kind] = [...present[kind]].sort();
  $('#others-column').hidden = !othersShown();
  const others = otherKinds(listedKinds);
  $('#other-map').hidden = others.length === 0 && maps.others.length === 0;
  $('#other-map-kinds').textContent = others.length ? `Rewrites ${others.join(', ')}.`
    : 'No other kind is ticked: this map rewrites nothing.';
  // The site check: its counts, as the tool's check gives them, and the map
  // that repairs every URL found in another letter case.
  const c = data.check;
  suggestedMap = data.suggested;
  $('#check-line').textContent = c ? `Site check: ${plural(c.checked, 'local URL')} checked against the files opened: ` +
    `${count(c.missing)} broken, ${count(c.otherCase)} in another letter case; ${count(c.external)} external ` +
    `and ${count(c.templates)} with insert blocks not checked.` : '';
  $('#save-suggested').hidden = suggestedMap.length === 0;
}

function select(path) {
  selected = path;
  for (const row of document.querySelectorAll('#files tbody tr')) {
    row.classList.toggle('selected', row.dataset.path === path);
    row.querySelector('button.file').setAttribute('aria-pressed', String(row.dataset.path === path));
  }
  requestPreview();
}

// ---- the preview: the worker's rewritten output, a window at a time

let previewSeq = 0;
let preview = null;      // { seq, path, size, changes, start, end }

function requestPreview() {
  if (selected === null) return;
  previewSeq += 1;
  $('#preview-name').textContent = `${selected} (updating…)`;
  worker.postMessage({ type: 'preview', path: selected, seq: previewSeq });
}

const previewButtons = {};
for (const [key, label, what] of [['previous', 'Previous part', 'the previous part of the output'],
  ['next', 'Next part', 'the next part of the output'], ['change', 'Next change', 'the next changed value'],
  ['diff', 'Diff', 'the change to this file as a unified diff (as kivoparse fix --dry-run prints it)']]) {
  const b = document.createElement('button');
  b.type = 'button';
  b.className = 'small';
  b.textContent = label;
  b.title = `Show ${what}`;
  previewButtons[key] = b;
}
const previewWhere = document.createElement('span');
previewWhere.className = 'count';
previewWhere.setAttribute('aria-live', 'polite');
previewButtons.previous.addEventListener('click', () => {
  worker.postMessage({ type: 'window', seq: preview.seq, start: Math.max(0, preview.start - (preview.end - preview.start)) });
});
previewButtons.next.addEventListener('click', () => worker.postMessage({ type: 'window', seq: preview.seq, start: preview.end }));
// The diff view: the worker's unified diff of the selected file in the
// preview box, added lines and removed lines marked; the button again goes
// back to the output.
let diffShown = false;
previewButtons.diff.setAttribute('aria-pressed', 'false');
previewButtons.diff.addEventListener('click', () => {
  if (diffShown) {
    diffShown = false;
    previewButtons.diff.setAttribute('aria-pressed', 'false');
    requestPreview();
    return;
  }
  if (!preview) return;
  worker.postMessage({ type: 'diff', path: preview.path, seq: preview.seq });
});
function showDiff(data) {
  diffShown = true;
  previewButtons.diff.setAttribute('aria-pressed', 'true');
  const old = $('#preview');
  const box = old.cloneNode(false);
  old.replaceWith(box);
  if (!data.diff) {
    box.textContent = 'No change: this file goes into the zip as it came.';
  } else {
    box.replaceChildren(...data.diff.split('\n').map((line) => {
      const kind = line.startsWith('+') && !line.startsWith('+++ ') ? 'ins'
        : line.startsWith('-') && !line.startsWith('--- ') ? 'del' : null;
      if (!kind) return `${line}\n`;
      const mark = document.createElement(kind);
      mark.textContent = `${line}\n`;
      return mark;
    }));
    if (data.size > data.diff.length) box.append(`… (${size(data.size)} of diff in all; the first part shown)`);
  }
  const { previous, next, change } = previewButtons;
  previous.disabled = next.disabled = change.disabled = true;
  previewWhere.textContent = `diff: ${plural(data.edits, 'edit')}` +
    (data.leftAlone ? `, ${plural(data.leftAlone, 'URL')} left alone (not editable in place)` : '');
}
previewButtons.change.addEventListener('click', () => {
  // The next change after those shown (or the first one).
  worker.postMessage({ type: 'window', seq: preview.seq, start: preview.lastChange ?? 0, change: true });
});

// A new <pre> each time starts scrolled to the top without a layout.
function showWindow(window) {
  const old = $('#preview');
  const box = old.cloneNode(false);
  const focused = document.activeElement === old;
  old.replaceWith(box);
  if (focused) box.focus();
  if (!window) return;
  preview.start = window.start;
  preview.end = window.end;
  let lastChange = null;
  let at = window.start;
  box.replaceChildren(...window.pieces.map(([piece, changed]) => {
    at += utf8(piece).length;
    if (!changed) return piece;
    lastChange = at;
    const mark = document.createElement('mark');
    mark.textContent = piece;
    return mark;
  }));
  preview.lastChange = lastChange ?? window.start;
  diffShown = false;
  previewButtons.diff.setAttribute('aria-pressed', 'false');
  const { previous, next, change } = previewButtons;
  previous.disabled = window.start === 0;
  next.disabled = window.end >= preview.size;
  change.disabled = preview.changes === 0;
  previewWhere.textContent = `bytes ${count(window.start + 1)}–${count(window.end)} of ` +
    `${count(preview.size)}; ${plural(preview.changes, 'changed value')}`;
  const nav = $('#preview-pager');
  if (!nav.contains(previewWhere)) nav.replaceChildren(previous, previewWhere, next, change, previewButtons.diff);
}

// ---- opening files

const extensions = () => $('#ext').value.split(',').map((e) => e.trim().replace(/^\./, '').toLowerCase()).filter(Boolean);

function isPage(path) {
  const lower = path.toLowerCase();
  return extensions().some((ext) => lower.endsWith(`.${ext}`));
}

function showOthers(copied, leftOut) {
  const others = $('#others');
  others.hidden = copied.length + leftOut.length === 0;
  const parts = [];
  if (copied.length) parts.push(`${plural(copied.length, 'file')} not pages by their names, put into the zip unchanged`);
  if (leftOut.length) parts.push(`${plural(leftOut.length, 'file')} of the folder not pages by their names, left out`);
  $('#others-summary').textContent = `${parts.join('; ')} (endings taken as pages: ${extensions().join(', ')})`;
  const list = $('#others-list');
  list.replaceChildren(...[...copied.map((f) => [f.path, 'unchanged']), ...leftOut.map((f) => [f.path, 'left out'])]
    .slice(0, 1000).map(([path, what]) => {
      const item = document.createElement('li');
      item.textContent = `${path} (${what})`;
      return item;
    }));
  if (copied.length + leftOut.length > 1000) {
    const item = document.createElement('li');
    item.textContent = `and ${count(copied.length + leftOut.length - 1000)} more`;
    list.append(item);
  }
}

// found: [{ path, file, named }]. A file whose name ends as a page is parsed
// and rewritten; another one named directly goes into the zip unchanged, one
// found in a folder is left out. Both are listed visibly.
function open(found) {
  const byPath = (a, b) => (a.path < b.path ? -1 : a.path > b.path ? 1 : 0);
  const taken = [];
  const copied = [];
  const leftOut = [];
  $('#errors').replaceChildren();
  failedFiles = 0;
  // Two files of one name would be one entry of the zip: the first is taken.
  found.sort(byPath).forEach((f, i) => {
    if (i > 0 && f.path === found[i - 1].path) {
      reportError(`${f.path}: a second file of this name is left out (one zip entry each)`);
      return;
    }
    const page = isPage(f.path);
    if (page || f.named) taken.push({ path: f.path, file: f.file, page });
    if (!page) (f.named ? copied : leftOut).push(f);
  });
  showOthers(copied, leftOut);
  if (taken.length === 0) {
    status(`No page among ${plural(found.length, 'file')} (names ending in ${extensions().join(', ')}).`);
    return;
  }
  const tops = new Set(taken.map((f) => f.path.split('/')[0]));
  zipName = tops.size === 1 && taken[0].path.includes('/') ? `${[...tops][0]}-rewritten.zip` : 'rewritten.zip';
  files = [];
  groups = NO_GROUPS;
  selected = null;
  preview = null;
  $('#preview').replaceChildren();
  $('#preview-pager').replaceChildren();
  $('#preview-name').textContent = '';
  draw();
  loaded = true;
  sentBase = $('#base').value;
  busy(true);
  status(`Reading ${plural(taken.length, 'file')}…`);
  sentKinds = chosenKinds();
  sendMaps(false);
  generation += 1;
  // The site the URLs are checked against: every file given, pages or not.
  worker.postMessage({ type: 'load', base: sentBase, kinds: sentKinds, files: taken, site: found.map((f) => f.path), generation });
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

// ---- the document base: typed at any time, loading or not, it is the one
// the list and the zip use

let sentBase = '';
let sentKinds = 'images,links';
let baseTimer = 0;
function baseChanged() {
  clearTimeout(baseTimer);
  const base = $('#base').value;
  const kinds = chosenKinds();
  if (!loaded || (base === sentBase && kinds === sentKinds)) return;
  busy(true);
  status(base === sentBase ? `Listing again with the kinds ${kinds.replace(/,/g, ', ')}…`
    : `Listing again with the document base ${base ? `"${base}"` : 'left empty'}…`);
  sentBase = base;
  sentKinds = kinds;
  worker.postMessage({ type: 'base', base, kinds });
}

// ---- the kinds of URL: a box of one check box a kind (images and links
// to begin with), folded away behind its summary

function chosenKinds() {
  const ticked = URL_KINDS.filter(([name]) => $(`#kind-${name}`).checked).map(([name]) => name);
  return ticked.join(',');
}

function setUpKinds() {
  $('#kinds').append(...URL_KINDS.map(([name, , where]) => {
    const label = document.createElement('label');
    const box = document.createElement('input');
    box.type = 'checkbox';
    box.id = `kind-${name}`;
    box.checked = name === 'images' || name === 'links';
    box.addEventListener('change', () => {
      // At least one kind: the last one ticked stays ticked.
      if (!chosenKinds()) box.checked = true;
      $('#kinds-chosen').textContent = chosenKinds().replace(/,/g, ', ');
      baseChanged();
    });
    const hint = document.createElement('span');
    hint.className = 'hint';
    hint.textContent = ` (${where})`;
    label.append(box, ` ${name}`, hint);
    return label;
  }));
}

// ---- the worker's answers

worker.addEventListener('message', ({ data }) => {
  switch (data.type) {
    case 'progress': {
      const bar = $('#progress');
      bar.max = Math.max(1, data.totalBytes);
      bar.value = data.bytes;
      const what = data.what[0].toUpperCase() + data.what.slice(1);
      const at = data.path ? `${data.path} (file ${count(data.done + 1)} of ${count(data.total)})`
        : `${count(data.done)} of ${plural(data.total, 'file')}`;
      status(`${what} ${at}: ${size(data.bytes)} of ${size(data.totalBytes)} done…`);
      break;
    }
    case 'failed':
      failedFiles += 1;
      reportError(`${data.path}: ${data.message}`);
      break;
    case 'listed': {
      if (data.generation !== generation) break;
      listed(data);
      // A base typed since (its pause not over yet) is sent now.
      const current = data.base === $('#base').value && data.kinds === chosenKinds();
      if (!current) baseChanged();
      busy(!current);
      if (current) {
        const pages = files.filter((file) => file.page).length;
        status(`${plural(pages, 'page')} listed${files.length > pages ? `, ${files.length - pages} other ${files.length - pages === 1 ? 'file' : 'files'} kept unchanged` : ''}` +
          `${failedFiles ? `, ${failedFiles} failed (see below)` : ''}.`);
      }
      draw();
      for (const kind of KINDS) updateRemarks(kind);
      if (files.length && !files.some((file) => file.path === selected)) select(files[0].path);
      else requestPreview();
      break;
    }
    case 'preview':
      if (data.seq !== previewSeq) break;
      preview = { seq: data.seq, path: data.path, size: data.size, changes: data.changes };
      $('#preview-name').textContent = data.path;
      if (data.window) {
        showWindow(data.window);
      } else {
        $('#preview-pager').replaceChildren();
        $('#preview').textContent = `Not a page by its name: it goes into the zip unchanged (${size(data.size)}).`;
      }
      break;
    case 'diff':
      if (preview?.seq === data.seq && preview.path === data.path) showDiff(data);
      break;
    case 'window':
      if (preview?.seq === data.seq && data.window) showWindow(data.window);
      else if (preview?.seq === data.seq) status('No change after this part of the output.');
      break;
    case 'map': {
      const answer = mapAnswers.get(data.id);
      mapAnswers.delete(data.id);
      if (data.error) answer?.reject(new Error(data.error));
      else answer?.resolve(data.bytes ?? { pairs: data.pairs, kinds: data.kinds ?? null });
      break;
    }
    case 'zip': {
      busy(false);
      saveBytes(data.blob, zipName, 'application/zip');
      const copied = data.copied ? ` and ${plural(data.copied, 'file')} unchanged` : '';
      status(`${plural(data.rewritten, 'rewritten page')}${copied} written to ${zipName}` +
        `${failedFiles ? `; ${failedFiles} failed (see below)` : ''}.`);
      break;
    }
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

restoreMaps();
setUpKinds();
setUpMap('images');
setUpMap('hrefs');
setUpMap('others');
$('#other-map').hidden = maps.others.length === 0;
sendMaps();
$('#save-suggested').addEventListener('click', () => {
  saveBytes(suggestedMap, 'suggested-map.tsv', 'text/tab-separated-values');
  status('suggested-map.tsv: the map that repairs every URL found in another letter case (for kivoparse fix --map).');
});
urlRows = roving($('#urls tbody'), 'button.map-url');
fileRows = roving($('#files tbody'), 'button.file');

$('#open-files-button').addEventListener('click', () => $('#open-files').click());
$('#open-folder-button').addEventListener('click', () => $('#open-folder').click());
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
  filterTimer = setTimeout(draw, files.length > 200 || groups.counts.length > 2000 ? 200 : 50);   // wait for the next key
});
$('#problems-only').addEventListener('change', draw);
$('#base').addEventListener('input', () => {
  clearTimeout(baseTimer);
  baseTimer = setTimeout(baseChanged, 400);
});
$('#base').addEventListener('change', baseChanged);
$('#download').addEventListener('click', () => {
  if (working || files.length === 0) return;
  baseChanged();
  sendMaps(false);
  busy(true);
  status(`Rewriting ${plural(files.length, 'file')}…`);
  worker.postMessage({ type: 'zip' });
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
