#!/usr/bin/env node
// Serves a folder on localhost for development and the browser tests:
//   node web/serve.mjs [FOLDER] [--port N]     (default build-wasm/page, port 8080)
// Only GET and HEAD, only files under FOLDER; .wasm goes out as
// application/wasm, which the browser wants for streaming compilation.
// Port 0 picks a free port; the address is printed on the first line.
import { createServer } from 'node:http';
import { createReadStream } from 'node:fs';
import { stat } from 'node:fs/promises';
import { extname, join, resolve, sep } from 'node:path';
import { fileURLToPath } from 'node:url';

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.wasm': 'application/wasm',
  '.png': 'image/png',
  '.json': 'application/json',
};

export function serve(folder, port = 8080, host = '127.0.0.1') {
  const root = resolve(folder);
  const server = createServer(async (request, response) => {
    const fail = (status, message) => {
      response.writeHead(status, { 'Content-Type': 'text/plain; charset=utf-8' });
      response.end(`${message}\n`);
    };
    if (request.method !== 'GET' && request.method !== 'HEAD') return fail(405, 'only GET and HEAD');
    let path;
    try {
      path = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
    } catch {
      return fail(400, 'bad path');
    }
    let file = join(root, path);
    if (file !== root && !file.startsWith(root + sep)) return fail(403, 'outside the served folder');
    try {
      let info = await stat(file);
      if (info.isDirectory()) {
        file = join(file, 'index.html');
        info = await stat(file);
      }
      response.writeHead(200, {
        'Content-Type': TYPES[extname(file).toLowerCase()] ?? 'application/octet-stream',
        'Content-Length': info.size,
        'Cache-Control': 'no-cache',
      });
      if (request.method === 'HEAD') return response.end();
      createReadStream(file).on('error', () => response.destroy()).pipe(response);
    } catch {
      fail(404, `${path}: not found`);
    }
  });
  return new Promise((resolveServer, reject) => {
    server.once('error', reject);
    server.listen(port, host, () => resolveServer(server));
  });
}

if (process.argv[1] && resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
  const args = process.argv.slice(2);
  const portAt = args.indexOf('--port');
  const port = portAt >= 0 ? Number(args.splice(portAt, 2)[1]) : 8080;
  const folder = args[0] ?? 'build-wasm/page';
  try {
    await stat(join(folder, 'index.html'));
  } catch {
    console.error(`serve.mjs: ${folder}/index.html not found; build the page first (see web/CMakeLists.txt)`);
    process.exit(1);
  }
  try {
    const server = await serve(folder, port);
    console.log(`http://127.0.0.1:${server.address().port}/  (serving ${folder}; Ctrl-C stops)`);
  } catch (error) {
    console.error(`serve.mjs: cannot listen on port ${port}: ${error.message}`);
    process.exit(1);
  }
}
