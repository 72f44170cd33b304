// A static server for the browser edition on 127.0.0.1: what `make web-run`
// starts and what the browser tests load the page from. Any static web host
// serves the same folder as well; this one only keeps a player from needing
// one.
import { createServer } from 'node:http';
import { readFile, stat } from 'node:fs/promises';
import { extname, join, resolve, sep } from 'node:path';
import { fileURLToPath } from 'node:url';

const TYPES = {
  '.html': 'text/html; charset=utf-8',
  '.js': 'text/javascript; charset=utf-8',
  '.mjs': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8',
  '.json': 'application/json; charset=utf-8',
  '.webmanifest': 'application/manifest+json; charset=utf-8',
  '.wasm': 'application/wasm',
  '.svg': 'image/svg+xml',
  '.png': 'image/png',
  '.txt': 'text/plain; charset=utf-8',
};

/**
 * Serves the files under `root` until the returned server is closed.
 * @param {string} root
 * @param {number} [port] 0 for any free port
 * @returns {Promise<{server: import('node:http').Server, url: string}>}
 */
export async function serve(root, port = 0) {
  const base = resolve(root);
  const server = createServer(async (request, response) => {
    try {
      const path = decodeURIComponent(new URL(request.url ?? '/', 'http://host').pathname);
      let file = resolve(join(base, path));
      // Nothing outside the folder, whatever the address says.
      if (file !== base && !file.startsWith(base + sep)) throw Object.assign(new Error('outside'), { code: 'ENOENT' });
      if ((await stat(file)).isDirectory()) file = join(file, 'index.html');
      const body = await readFile(file);
      response.writeHead(200, {
        'Content-Type': TYPES[extname(file)] ?? 'application/octet-stream',
        // A rebuilt page is seen at once; the service worker keeps it offline.
        'Cache-Control': 'no-cache',
      });
      response.end(request.method === 'HEAD' ? undefined : body);
    } catch (error) {
      const missing = error?.code === 'ENOENT' || error?.code === 'ENOTDIR' || error instanceof URIError;
      response.writeHead(missing ? 404 : 500, { 'Content-Type': 'text/plain; charset=utf-8' });
      response.end(missing ? 'Not found\n' : 'Server error\n');
    }
  });
  await new Promise((done, fail) => {
    server.once('error', fail);
    server.listen(port, '127.0.0.1', done);
  });
  const address = server.address();
  return { server, url: `http://127.0.0.1:${typeof address === 'object' && address ? address.port : port}/` };
}

if (process.argv[1] && resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
  const [root, port = '8080'] = process.argv.slice(2);
  if (!root) {
    console.error('usage: node serve.mjs FOLDER [PORT]');
    process.exit(2);
  }
  try {
    const { url } = await serve(root, Number(port));
    console.log(`The Orb 2.0 Battle Simulator is served at ${url} (Ctrl+C stops it)`);
  } catch (error) {
    console.error(`Cannot serve ${root} on 127.0.0.1:${port}: ${error.message}`);
    process.exit(1);
  }
}
