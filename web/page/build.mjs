// Puts the page together in the browser edition's folder, beside the
// engine that `make web` built there: the scripts compiled and bundled by
// esbuild (the chart library in a part of its own, loaded when a chart is
// first drawn), the page's files, the icon and its PNG sizes, the release
// stamp and a service worker that keeps every file for offline use.
import { execFile } from 'node:child_process';
import { createHash } from 'node:crypto';
import { copyFile, readdir, readFile, rm, stat, writeFile } from 'node:fs/promises';
import { dirname, join, relative, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { promisify } from 'node:util';
import { build } from 'esbuild';

const here = dirname(fileURLToPath(import.meta.url));
const out = resolve(process.argv[2] ?? join(here, '../../build/web'));

try {
  await stat(join(out, 'engine/index.js'));
} catch {
  console.error(`The engine is not in ${out}/engine: build it first with \`make web\`.`);
  process.exit(1);
}

// The page imports the engine from its sources for type checking; in the
// folder the engine lies beside the page.
const engineBeside = {
  name: 'engine-beside',
  setup(builder) {
    builder.onResolve({ filter: /\/engine\/index\.js$/ }, () => ({ path: './engine/index.js', external: true }));
  },
};

const common = { bundle: true, format: 'esm', target: ['es2022'], minify: true, legalComments: 'none', logLevel: 'warning' };
await rm(join(out, 'chunks'), { recursive: true, force: true });
await build({
  ...common,
  entryPoints: { app: join(here, 'src/app.ts') },
  outdir: out,
  splitting: true,
  chunkNames: 'chunks/[name]-[hash]',
  plugins: [engineBeside],
});
for (const file of ['index.html', 'style.css', 'manifest.webmanifest'])
  await copyFile(join(here, file), join(out, file));
const icon = join(here, '../../packaging/orbsimulator.svg');
await copyFile(icon, join(out, 'icon.svg'));

// PNG icons for phones' home screens and splash screens, drawn by librsvg;
// the maskable one puts the icon on the page's colour within the middle
// 80% that any mask shape keeps.
const svg = await readFile(icon, 'utf8');
const inner = svg.slice(svg.indexOf('>', svg.indexOf('<svg')) + 1, svg.lastIndexOf('</svg>'));
const maskable = `<svg xmlns="http://www.w3.org/2000/svg" xmlns:xlink="http://www.w3.org/1999/xlink" width="128" height="128" viewBox="0 0 128 128">
  <rect width="128" height="128" fill="#1f3a5f"/>
  <g transform="translate(25.6 25.6) scale(0.6)">${inner}</g>
</svg>`;
const maskableSvg = join(out, 'icon-maskable.svg');
await writeFile(maskableSvg, maskable);
const draw = promisify(execFile);
try {
  // 96 px: the header's icon (40 px, sharp on a screen of 2.4 pixels to the
  // point); a PNG is decoded off the page's thread, an SVG document is not.
  for (const size of [96, 192, 512]) await draw('rsvg-convert', ['-w', String(size), '-h', String(size), '-o', join(out, `icon-${size}.png`), icon]);
  await draw('rsvg-convert', ['-w', '512', '-h', '512', '-o', join(out, 'icon-maskable-512.png'), maskableSvg]);
} catch (error) {
  console.error(`The PNG icons could not be drawn (${error.message}): install the Debian package librsvg2-bin (tools/install-deps --web).`);
  process.exit(1);
} finally {
  await rm(maskableSvg, { force: true });
}

async function filesUnder(folder) {
  const found = [];
  for (const entry of await readdir(folder, { withFileTypes: true })) {
    const path = join(folder, entry.name);
    if (entry.isDirectory()) found.push(...(await filesUnder(path)));
    else found.push(path);
  }
  return found;
}
// Every file of the folder is kept offline: one more engine file is kept
// without a change here. The version covers them all but the stamp itself.
const STAMP = 'engine/release.js';
const files = (await filesUnder(out))
  .map((path) => relative(out, path).split('\\').join('/'))
  .filter((path) => path !== 'sw.js')
  .sort();
const hash = createHash('sha256');
for (const file of files) if (file !== STAMP) hash.update(file).update(await readFile(join(out, file)));
const version = hash.digest('hex').slice(0, 16);
await writeFile(
  join(out, STAMP),
  `// The release the engine's files belong to, stamped by the page's build.\nexport const RELEASE = '${version}';\n`,
);
await build({
  ...common,
  entryPoints: [join(here, 'src/sw.ts')],
  outfile: join(out, 'sw.js'),
  define: { PAGE_FILES: JSON.stringify(['./', ...files]), PAGE_VERSION: JSON.stringify(version) },
});
console.log(`The page is in ${out}`);
