// The engine's ns per strike natively, under Node and in Debian's Chromium,
// all built from web/bench/engine_bench.cpp and timed in alternating turns in
// one sitting: a busy machine only ever slows a turn down, so the best of
// each is compared. Node also times the build without SIMD that browsers
// lacking SIMD get. Every build must fight the same battles: their
// fixed-seed signatures must agree.
// Usage: node engine_bench.mjs NATIVE_WEB_BENCH WASM_BUILD_DIR [TURNS]
import { spawnSync } from 'node:child_process';
import { readFile } from 'node:fs/promises';
import { createServer } from 'node:http';
import { loadavg } from 'node:os';
import { join, resolve } from 'node:path';
import { launch } from '../e2e/browser.mjs';

const [nativeBench, wasmDir, turnsText = '3'] = process.argv.slice(2);
if (!nativeBench || !wasmDir) {
  console.error('usage: node engine_bench.mjs NATIVE_WEB_BENCH WASM_BUILD_DIR [TURNS]');
  process.exit(2);
}
const turns = Number(turnsText);
const sizes = ['2000', 'largest'];

// The benchmark in a worker of a page, as the pool's engines run: the
// worker script gives Emscripten's loader the arguments and passes on
// what main prints.
const WORKER = `
const query = new URL(location.href).searchParams;
self.Module = {
  arguments: query.getAll('arg'),
  print: (line) => postMessage({ line }),
  printErr: (line) => postMessage({ error: line }),
};
importScripts(query.get('script'));
`;
const server = createServer(async (request, response) => {
  const path = new URL(request.url, 'http://host').pathname;
  const files = {
    '/': ['text/html', '<!doctype html><title>engine bench</title>'],
    '/worker.js': ['text/javascript', WORKER],
  };
  try {
    const [type, body] =
      files[path] ?? (/^\/web_bench(-nosimd)?\.(js|wasm)$/.test(path)
        ? [path.endsWith('.js') ? 'text/javascript' : 'application/wasm', await readFile(join(resolve(wasmDir), path))]
        : undefined);
    response.writeHead(200, { 'Content-Type': type });
    response.end(body);
  } catch {
    response.writeHead(404).end();
  }
});
await new Promise((done) => server.listen(0, '127.0.0.1', done));
const origin = `http://127.0.0.1:${server.address().port}`;
const browser = await launch();
const page = await browser.newPage();
await page.goto(`${origin}/`);

/** The lines a run of the benchmark prints. */
const runs = {
  native: (size) => spawnSync(nativeBench, ['native', size], { encoding: 'utf8' }),
  node: (size) => spawnSync(process.execPath, ['--no-experimental-fetch', join(wasmDir, 'web_bench.js'), 'node', size], { encoding: 'utf8' }),
  'node, without SIMD': (size) =>
    spawnSync(process.execPath, ['--no-experimental-fetch', join(wasmDir, 'web_bench-nosimd.js'), 'node-nosimd', size], { encoding: 'utf8' }),
  chromium: (size) =>
    page.evaluate(
      ([query]) =>
        new Promise((done, fail) => {
          const lines = [];
          const worker = new Worker(`worker.js?${query}`);
          worker.onmessage = ({ data }) => {
            if (data.error !== undefined) fail(new Error(data.error));
            lines.push(data.line);
            if (/ns per strike/.test(data.line)) {
              worker.terminate();
              done({ status: 0, stdout: lines.join('\n') + '\n', stderr: '' });
            }
          };
          worker.onerror = (event) => fail(new Error(event.message));
        }),
      [new URLSearchParams([['script', 'web_bench.js'], ['arg', 'chromium'], ['arg', size]]).toString()],
    ),
};

const best = {};
const signatures = {};
const loadBefore = loadavg();
try {
  for (let turn = 0; turn < turns; ++turn) {
    for (const size of sizes) {
      for (const [build, run] of Object.entries(runs)) {
        const { status, stdout, stderr } = await run(size);
        if (status !== 0) throw new Error(`${build} failed: ${stderr}`);
        process.stdout.write(stdout);
        const signature = stdout.match(/signature at [^:]+: (.*)/)[1];
        if ((signatures[size] ??= signature) !== signature)
          throw new Error(`${build} fights other battles at ${size}: ${signature}, not ${signatures[size]}`);
        const ns = Number(stdout.match(/ns per strike at [^:]+: ([0-9.]+)/)[1]);
        best[`${build} ${size}`] = Math.min(best[`${build} ${size}`] ?? Infinity, ns);
      }
    }
  }
} finally {
  await browser.close();
  server.close();
}

const load = (l) => l.map((x) => x.toFixed(2)).join(' ');
console.log(`\nBest of ${turns} turns, ns per strike and against native (load average before ${load(loadBefore)}, after ${load(loadavg())}):`);
console.log(`  ${''.padEnd(20)}${'2000 a side'.padStart(20)}${'40 kinds of 9999 a side'.padStart(28)}`);
for (const build of Object.keys(runs)) {
  const cells = sizes.map((size, i) => {
    const ns = best[`${build} ${size}`];
    const ratio = build === 'native' ? '' : ` (${(ns / best[`native ${size}`]).toFixed(2)}x)`;
    return `${ns.toFixed(2)}${ratio}`.padStart(i === 0 ? 20 : 28);
  });
  console.log(`  ${build.padEnd(20)}${cells.join('')}`);
}
