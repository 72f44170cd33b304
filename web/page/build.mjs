// Puts the page together in the browser edition's folder, beside the
// engine that `make web` built there: the scripts compiled and bundled by
// esbuild, the page's files, the icon, and a service worker that keeps
// every file for offline use.
import { createHash } from 'node:crypto';
import { copyFile, readdir, readFile, stat } from 'node:fs/promises';
import { dirname, join, relative, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
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
await build({
  ...common,
  entryPoints: { app: join(here, 'src/app.ts') },
  outdir: out,
  plugins: [engineBeside],
});
for (const file of ['index.html', 'style.css', 'manifest.webmanifest'])
  await copyFile(join(here, file), join(out, file));
await copyFile(join(here, '../../packaging/orbsimulator.svg'), join(out, 'icon.svg'));

async function filesUnder(folder) {
  const found = [];
  for (const entry of await readdir(folder, { withFileTypes: true })) {
    const path = join(folder, entry.name);
    if (entry.isDirectory()) found.push(...(await filesUnder(path)));
    else found.push(path);
  }
  return found;
}
const files = (await filesUnder(out))
  .map((path) => relative(out, path).split('\\').join('/'))
  .filter((path) => path !== 'sw.js')
  .sort();
const hash = createHash('sha256');
for (const file of files) hash.update(file).update(await readFile(join(out, file)));
await build({
  ...common,
  entryPoints: [join(here, 'src/sw.ts')],
  outfile: join(out, 'sw.js'),
  define: { PAGE_FILES: JSON.stringify(['./', ...files]), PAGE_VERSION: JSON.stringify(hash.digest('hex').slice(0, 16)) },
});
console.log(`The page is in ${out}`);
