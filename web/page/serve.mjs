// A static server for the browser edition on 127.0.0.1: what `make web-run`
// starts and what the browser tests load the page from. Any static web host
// serves the same folder as well; this one only keeps a player from needing
// one. Text and the engine's module go compressed (brotli, else gzip),
// each file compressed once while it is unchanged.
import { createServer } from 'node:http';
import { readdir, readFile, stat } from 'node:fs/promises';
import { extname, join, resolve, sep } from 'node:path';
import { fileURLToPath } from 'node:url';
import { promisify } from 'node:util';
import { brotliCompress, constants, gzip } from 'node:zlib';

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
const COMPRESSED = new Set(['.html', '.js', '.mjs', '.css', '.json', '.webmanifest', '.wasm', '.svg', '.txt']);
const ENCODERS = {
  br: (body) => promisify(brotliCompress)(body, { params: { [constants.BROTLI_PARAM_QUALITY]: 11, [constants.BROTLI_PARAM_SIZE_HINT]: body.length } }),
  gzip: (body) => promisify(gzip)(body, { level: 9 }),
};

/** The encoding to send, from the request's Accept-Encoding: brotli before gzip. */
function encodingFor(accepted = '') {
  const offered = accepted
    .split(',')
    .map((part) => part.trim().split(';'))
    .filter(([, q]) => !q || Number(q.trim().replace(/^q=/, '')) > 0)
    .map(([name]) => name.trim().toLowerCase());
  return ['br', 'gzip'].find((name) => offered.includes(name));
}

/**
 * Serves the files under `root` until the returned server is closed.
 * @param {string} root
 * @param {number} [port] 0 for any free port
 * @returns {Promise<{server: import('node:http').Server, url: string}>}
 */
export async function serve(root, port = 0) {
  const base = resolve(root);
  // Per file and encoding: the compressed body of the file as it last was.
  const compressed = new Map();
  const compress = (file, encoding, tag) => {
    const key = `${file}\n${encoding}`;
    let kept = compressed.get(key);
    if (kept?.tag !== tag) {
      kept = { tag, body: readFile(file).then(ENCODERS[encoding]) };
      kept.body.catch(() => compressed.delete(key));
      compressed.set(key, kept);
    }
    return kept.body;
  };
  const server = createServer(async (request, response) => {
    try {
      const path = decodeURIComponent(new URL(request.url ?? '/', 'http://host').pathname);
      let file = resolve(join(base, path));
      // Nothing outside the folder, whatever the address says.
      if (file !== base && !file.startsWith(base + sep)) throw Object.assign(new Error('outside'), { code: 'ENOENT' });
      let info = await stat(file);
      if (info.isDirectory()) {
        file = join(file, 'index.html');
        info = await stat(file);
      }
      const type = extname(file);
      const encoding = COMPRESSED.has(type) ? encodingFor(request.headers['accept-encoding']) : undefined;
      const tag = `"${info.size.toString(36)}-${info.mtimeMs.toString(36)}${encoding ? `-${encoding}` : ''}"`;
      const headers = {
        'Content-Type': TYPES[type] ?? 'application/octet-stream',
        // The names carry no version: a browser asks each time whether a
        // file changed (a rebuilt page is seen at once) and is told "not
        // modified" when it did not; the service worker keeps them offline.
        'Cache-Control': 'no-cache',
        ETag: tag,
        ...(COMPRESSED.has(type) ? { Vary: 'Accept-Encoding' } : {}),
        ...(encoding ? { 'Content-Encoding': encoding } : {}),
      };
      if (request.headers['if-none-match'] === tag) {
        response.writeHead(304, headers);
        response.end();
        return;
      }
      const body = encoding ? await compress(file, encoding, tag) : await readFile(file);
      response.writeHead(200, { ...headers, 'Content-Length': body.length });
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
  /** Compresses every file ahead of its first request, so that no first visit waits for it. */
  const warm = async (folder = base) => {
    for (const entry of await readdir(folder, { withFileTypes: true })) {
      const file = join(folder, entry.name);
      if (entry.isDirectory()) await warm(file);
      else if (COMPRESSED.has(extname(file))) {
        const info = await stat(file);
        for (const encoding of ['br', 'gzip'])
          await compress(file, encoding, `"${info.size.toString(36)}-${info.mtimeMs.toString(36)}-${encoding}"`).catch(() => {});
      }
    }
  };
  return { server, url: `http://127.0.0.1:${typeof address === 'object' && address ? address.port : port}/`, warm };
}

if (process.argv[1] && resolve(process.argv[1]) === fileURLToPath(import.meta.url)) {
  const [root, port = '8080'] = process.argv.slice(2);
  if (!root) {
    console.error('usage: node serve.mjs FOLDER [PORT]');
    process.exit(2);
  }
  try {
    const { url, warm } = await serve(root, Number(port));
    void warm().catch(() => {});
    console.log(`The Orb 2.0 Battle Simulator is served at ${url} (Ctrl+C stops it)`);
  } catch (error) {
    console.error(`Cannot serve ${root} on 127.0.0.1:${port}: ${error.message}`);
    process.exit(1);
  }
}
