// The worker pool against orbsim in one sitting: the same runs of the same
// army file, on every core, timed by the wall clock.
// Usage: node pool_bench.mjs WEB_DIR ORBSIM ARMIES.json RUNS
import { execFileSync } from 'node:child_process';
import { readFileSync } from 'node:fs';
import { cpus } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

const [webDir, orbsim, armiesPath, runsText = '999'] = process.argv.slice(2);
const runs = Number(runsText);
const { EnginePool } = await import(pathToFileURL(join(resolve(webDir), 'engine/index.js')).href);
const armies = readFileSync(armiesPath, 'utf8');
const seed = 20240601;

let started = performance.now();
execFileSync(orbsim, [armiesPath, '--runs', String(runs), '--seed', String(seed)], { stdio: 'ignore' });
const native = (performance.now() - started) / 1000;

const pool = new EnginePool();
await pool.report(armies, { seed });  // workers started and their engines loaded, as a page that is open
started = performance.now();
let last = started;
let longestGap = 0;
const outcome = await pool.simulate(armies, {
  runs,
  seed,
  onProgress: () => {
    const now = performance.now();
    longestGap = Math.max(longestGap, now - last);
    last = now;
  },
});
const web = (performance.now() - started) / 1000;
pool.terminate();

console.log(`${runs} runs of ${armiesPath} on ${cpus().length} cores: orbsim ${native.toFixed(2)} s, ` +
  `worker pool ${web.toFixed(2)} s (${outcome.runsDone} runs), ${(web / native).toFixed(2)}x; ` +
  `longest wait for progress ${Math.round(longestGap)} ms`);
