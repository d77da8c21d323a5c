// The page in Debian's chromium, driven by playwright-core: open the sample
// folder, check the listed URLs, map one image URL and load a link map,
// download the zip and compare each file with the command-line tool's
// fix-images then fix-hrefs output. No request may leave the local server.
// Run from the checkout root: node --test web/tests/
// KIVOPARSE_PAGE, KIVOPARSE_CLI as for module.test.mjs; CHROMIUM (default
// /usr/bin/chromium); the screenshot and the zip go to KIVOPARSE_ARTIFACTS
// (default build-wasm/page-test).
import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdirSync, mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

const PAGE = resolve(process.env.KIVOPARSE_PAGE ?? 'build-wasm/page');
const CLI = resolve(process.env.KIVOPARSE_CLI ?? 'build-release/cli/kivoparse');
const ARTIFACTS = resolve(process.env.KIVOPARSE_ARTIFACTS ?? 'build-wasm/page-test');
const { serve } = await import(pathToFileURL(resolve('web/serve.mjs')));
const { crc32 } = await import(pathToFileURL(join(PAGE, 'zip.mjs')));

const IMAGE_FROM = 'images/logo.gif';   // in catalogue.html, mapped by hand
const IMAGE_TO = 'static/logo.png';
const LINK_MAP = 'INDEX.htm\t/home.html\nproducts/spade.htm\t/shop/spade.html\n';

let server, context, work;
const requests = [];

before(async () => {
  mkdirSync(ARTIFACTS, { recursive: true });
  work = mkdtempSync(join(tmpdir(), 'kivoparse-page-'));
  server = await serve(PAGE, 0);
  context = await chromium.launchPersistentContext(join(work, 'profile'), {
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    acceptDownloads: true,
    viewport: { width: 1200, height: 940 },
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  context.on('request', (request) => requests.push(request.url()));
});

after(async () => {
  await context?.close();
  server?.close();
  if (work) rmSync(work, { recursive: true, force: true });
});

const cli = (args, input) => execFileSync(CLI, args, { input });

// name -> bytes of a zip of stored files, each checked against its CRC.
function unzip(zip) {
  const entries = new Map();
  const end = zip.lastIndexOf(Buffer.from([0x50, 0x4b, 0x05, 0x06]));
  assert.ok(end >= 0, 'no end of central directory');
  let at = zip.readUInt32LE(end + 16);
  for (let i = 0; i < zip.readUInt16LE(end + 10); ++i) {
    assert.equal(zip.readUInt32LE(at), 0x02014b50);
    const nameLength = zip.readUInt16LE(at + 28);
    const name = zip.subarray(at + 46, at + 46 + nameLength).toString('utf8');
    const local = zip.readUInt32LE(at + 42);
    const size = zip.readUInt32LE(at + 24);
    const start = local + 30 + zip.readUInt16LE(local + 26) + zip.readUInt16LE(local + 28);
    const data = zip.subarray(start, start + size);
    assert.equal(crc32(data), zip.readUInt32LE(at + 16), `${name}: CRC`);
    entries.set(name, data);
    at += 46 + nameLength + zip.readUInt16LE(at + 30) + zip.readUInt16LE(at + 32);
  }
  return entries;
}

// What the URL table should hold: "kind url count" for every distinct URL.
function expectedUrls() {
  const rows = [];
  for (const [command, kind] of [['images', 'image'], ['hrefs', 'link']]) {
    const counts = new Map();
    for (const line of cli([command, '-r', 'samples']).toString().split('\n').filter(Boolean)) {
      const url = line.slice(line.indexOf('\t') + 1);
      counts.set(url, (counts.get(url) ?? 0) + 1);
    }
    for (const [url, count] of counts) rows.push(`${kind} ${url} ${count}`);
  }
  return rows.sort();
}

test('dropped files are taken whatever their names', async () => {
  const page = await context.newPage();
  await page.goto(`http://127.0.0.1:${server.address().port}/`);
  const transfer = await page.evaluateHandle(() => {
    const files = new DataTransfer();
    files.items.add(new File(['<a href=b.htm>b</a>'], 'b.txt'));
    files.items.add(new File(['<img src=A.gif>'], 'a.html'));
    return files;
  });
  await page.dispatchEvent('body', 'drop', { dataTransfer: transfer });
  await page.getByText(/^2 files listed\.$/).waitFor();
  assert.deepEqual(await page.locator('#files td.path').allTextContents(), ['a.html', 'b.txt']);
  await page.close();
});

test('the samples folder: listed, mapped, zipped as the command-line tool writes it', async () => {
  const page = await context.newPage();
  const problems = [];
  page.on('pageerror', (error) => problems.push(error.message));
  await page.goto(`http://127.0.0.1:${server.address().port}/`);

  const samples = readdirSync('samples').filter((name) => /\.html?$/i.test(name)).sort();
  await page.setInputFiles('#open-folder', 'samples');
  await page.getByText(`${samples.length} files listed.`, { exact: true }).waitFor();
  assert.deepEqual(await page.locator('#errors li').allTextContents(), []);

  const rows = await page.locator('#urls tbody tr').evaluateAll((trs) =>
    trs.map((tr) => [...tr.cells].slice(0, 3).map((td) => td.textContent)));
  assert.deepEqual(rows.map(([url, kind, count]) => `${kind} ${url} ${count}`).sort(), expectedUrls());

  // The filter keeps the files holding the URL.
  await page.fill('#filter', 'NEWS/');
  assert.deepEqual(await page.locator('#files tbody td.path').allTextContents(), ['samples/newsletter.html']);
  await page.fill('#filter', '');

  // Map one image URL from the table, load the link map from a file.
  const imageRow = page.locator('#urls tbody tr', { has: page.locator('td.url', { hasText: new RegExp(`^${IMAGE_FROM}$`) }) });
  await imageRow.getByRole('button', { name: 'Map' }).click();
  await page.locator('.map[data-kind=images] input.to').fill(IMAGE_TO);
  const badMap = join(work, 'bad.tsv');
  writeFileSync(badMap, 'a\tb\nno tab\n');
  await page.setInputFiles('.map[data-kind=hrefs] input.load', badMap);
  await page.locator('#errors li', { hasText: /^bad\.tsv: line 2 has no TAB;/ }).waitFor();
  const linkMap = join(work, 'links.tsv');
  writeFileSync(linkMap, LINK_MAP);
  await page.setInputFiles('.map[data-kind=hrefs] input.load', linkMap);
  await page.getByText(/^links\.tsv: 2 pairs loaded\.$/).waitFor();
  assert.equal(await page.locator('.map[data-kind=hrefs] tbody tr').count(), 2);

  await page.locator('#files td.path', { hasText: 'samples/catalogue.html' }).click();
  await page.locator('#preview mark', { hasText: IMAGE_TO }).waitFor();

  await page.screenshot({ path: join(ARTIFACTS, 'web-page.png') });

  const [download] = await Promise.all([page.waitForEvent('download'), page.click('#download')]);
  const zipFile = join(ARTIFACTS, download.suggestedFilename());
  await download.saveAs(zipFile);
  assert.equal(download.suggestedFilename(), 'samples-rewritten.zip');

  const imageMap = join(work, 'images.tsv');
  writeFileSync(imageMap, `${IMAGE_FROM}\t${IMAGE_TO}\n`);
  const files = unzip(readFileSync(zipFile));
  assert.deepEqual([...files.keys()], samples.map((name) => `samples/${name}`));
  for (const name of samples) {
    const expected = cli(['fix-hrefs', '--map', linkMap], cli(['fix-images', '--map', imageMap, join('samples', name)]));
    assert.ok(files.get(`samples/${name}`).equals(expected), `samples/${name} differs from the tool's output`);
  }

  const origin = `http://127.0.0.1:${server.address().port}/`;
  assert.deepEqual(requests.filter((url) => !url.startsWith(origin) && !url.startsWith('blob:')), []);
  assert.deepEqual(problems, []);
  assert.equal(await page.locator('#errors li').count(), 1);
});
