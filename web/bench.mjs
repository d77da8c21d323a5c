#!/usr/bin/env node
// Parsing speed of the WebAssembly module against the native command-line
// tool, on the sample pages, each repeated to 1 MB:
//   node web/bench.mjs [PAGE_DIR] [CLI] [BENCH]
// (defaults build-wasm/page, build-release/cli/kivoparse and the benchmark
// preset's build-bench/bench/kivoparse_bench, used when it is there)
// The module: parseHTML alone, and parse plus getHTML (what the page does
// for a preview), in Node's V8 (the engine of Chromium). The tool:
// `kivoparse html FILE > /dev/null`, less its time for an empty file
// (start-up), so that both columns are parse plus write. CPU time counts.
// The native parse in process comes from the project's benchmark program
// (its Parse/ cases are the same documents). Prints MB/s (10^6 bytes of input
// a CPU second) and the module's speed over the tool's.
import { spawnSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

const PAGE = resolve(process.argv[2] ?? 'build-wasm/page');
const CLI = resolve(process.argv[3] ?? 'build-release/cli/kivoparse');
const BENCH = resolve(process.argv[4] ?? 'build-bench/bench/kivoparse_bench');
const SIZE = 1 << 20;

const { createKivoparse } = await import(pathToFileURL(join(PAGE, 'kivoparse.mjs')));
const kivoparse = await createKivoparse();
const work = mkdtempSync(join(tmpdir(), 'kivoparse-bench-'));

// CPU seconds (user and system) per call of work, the best of several
// batches: CPU time, not wall time, since the machine may be busy.
function best(work, batches = 7) {
  let fastest = Infinity;
  for (let b = 0; b < batches; ++b) {
    const start = process.cpuUsage();
    let calls = 0;
    let used;
    do {
      work();
      ++calls;
      const { user, system } = process.cpuUsage(start);
      used = (user + system) / 1e6;
    } while (used < 0.15);
    fastest = Math.min(fastest, used / calls);
  }
  return fastest;
}

// CPU seconds of `kivoparse html FILE > /dev/null`, by the shell's `times`
// over several runs.
function cliSeconds(file, runs = 10) {
  const script = 'for i in $(seq "$2"); do "$0" html "$1" > /dev/null || exit 1; done; times';
  const shell = spawnSync('bash', ['-c', script, CLI, file, String(runs)], { encoding: 'utf8' });
  if (shell.status !== 0) throw new Error(`${CLI} html ${file} failed: ${shell.stderr}`);
  const children = shell.stdout.trim().split('\n')[1].match(/(\d+)m([\d.]+)s/g)
    .map((t) => { const [, m, s] = t.match(/(\d+)m([\d.]+)s/); return Number(m) * 60 + Number(s); });
  return (children[0] + children[1]) / runs;
}

// MB/s of the native parse by sample name, {} without the benchmark program.
function nativeParse() {
  if (!existsSync(BENCH)) return {};
  const run = spawnSync(BENCH, ['--benchmark_filter=^Parse/(catalogue|newsletter|products)$',
    '--benchmark_format=json', '--benchmark_min_time=0.2'], { encoding: 'utf8' });
  if (run.status !== 0) return {};
  return Object.fromEntries(JSON.parse(run.stdout).benchmarks
    .map((b) => [`${b.name.slice('Parse/'.length)}.html`, b.bytes_per_second / 1e6]));
}

try {
  const native = nativeParse();
  const empty = join(work, 'empty.html');
  writeFileSync(empty, '');
  const startUp = cliSeconds(empty);
  const parser = new kivoparse.Parser();
  const rows = [];
  let total = { bytes: 0, parse: 0, normalize: 0, cli: 0 };
  for (const name of readdirSync('samples').filter((n) => n.endsWith('.html')).sort()) {
    const sample = readFileSync(join('samples', name));
    const document = Buffer.concat(Array(Math.floor(SIZE / sample.length) + 1).fill(sample));
    const file = join(work, name);
    writeFileSync(file, document);
    const parse = best(() => parser.parseHTML(document));
    const normalize = best(() => kivoparse.normalize(document));
    const cli = Math.max(cliSeconds(file) - startUp, 1e-6);
    const mb = document.length / 1e6;
    rows.push([name, mb / parse, native[name], mb / normalize, mb / cli, cli / normalize]);
    total = { bytes: total.bytes + document.length, parse: total.parse + parse,
      normalize: total.normalize + normalize, cli: total.cli + cli };
  }
  parser.delete();
  const mb = total.bytes / 1e6;
  rows.push(['all samples', mb / total.parse, undefined, mb / total.normalize, mb / total.cli, total.cli / total.normalize]);
  console.log(`CPU time; the tool's start-up (${(startUp * 1000).toFixed(1)} ms) subtracted; MB/s of input`);
  console.log('                       parse             parse and write       wasm speed');
  console.log('document             wasm  native    wasm  tool (kivoparse html)  / tool');
  const column = (value, width) => (value === undefined ? '-' : value.toFixed(0)).padStart(width);
  for (const [name, p, np, n, c, ratio] of rows) {
    console.log(`${name.padEnd(17)}${column(p, 8)}${column(np, 8)}${column(n, 8)}${column(c, 23)}${ratio.toFixed(2).padStart(9)}`);
  }
  if (!existsSync(BENCH)) console.log(`(native parse: ${BENCH} not built; cmake --preset bench)`);
} finally {
  rmSync(work, { recursive: true, force: true });
}
