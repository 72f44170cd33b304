// The worker pool against orbsim in one sitting: the same runs of the same
// army file, on every core. The runs are fought in turns, a share by orbsim
// and the same share by the pool, so that a machine busy with other work
// slows both alike. Both the wall clock and the processor time are given.
// Usage: node pool_bench.mjs WEB_DIR ORBSIM ARMIES.json RUNS
import { spawnSync } from 'node:child_process';
import { readFileSync } from 'node:fs';
import { cpus } from 'node:os';
import { join, resolve } from 'node:path';
import { pathToFileURL } from 'node:url';

const [webDir, orbsim, armiesPath, runsText = '999'] = process.argv.slice(2);
const runs = Number(runsText);
const turns = 3;
const { EnginePool } = await import(pathToFileURL(join(resolve(webDir), 'engine/index.js')).href);
const armies = readFileSync(armiesPath, 'utf8');

// orbsim's wall clock and processor time, through bash's `time -p`.
function timeOrbsim(share, seed) {
  const run = spawnSync('bash', ['-c', 'time -p "$0" "$1" --runs "$2" --seed "$3" > /dev/null', orbsim, armiesPath, String(share), String(seed)], {
    encoding: 'utf8',
  });
  if (run.status !== 0) throw new Error(`orbsim failed: ${run.stderr}`);
  const figure = (name) => Number(run.stderr.match(new RegExp(`^${name} ([0-9.]+)`, 'm'))[1]);
  return { wall: figure('real'), cpu: figure('user') + figure('sys') };
}

const pool = new EnginePool();
await pool.report(armies, { seed: 1 }); // workers started and their engines loaded, as on an open page
const native = { wall: 0, cpu: 0 };
const web = { wall: 0, cpu: 0 };
let done = 0;
let longestGap = 0;
for (let turn = 0; turn < turns; ++turn) {
  const share = Math.floor(runs / turns) + (turn < runs % turns ? 1 : 0);
  const seed = 20240601 + turn;
  const o = timeOrbsim(share, seed);
  native.wall += o.wall;
  native.cpu += o.cpu;
  const cpuBefore = process.cpuUsage();
  const started = performance.now();
  let last = started;
  const outcome = await pool.simulate(armies, {
    runs: share,
    seed,
    onProgress: () => {
      const now = performance.now();
      longestGap = Math.max(longestGap, now - last);
      last = now;
    },
  });
  web.wall += (performance.now() - started) / 1000;
  const cpu = process.cpuUsage(cpuBefore);
  web.cpu += (cpu.user + cpu.system) / 1e6;
  done += outcome.runs;
}
pool.terminate();

const f = (x) => x.toFixed(2);
console.log(`${runs} runs of ${armiesPath} on ${cpus().length} cores, in ${turns} turns:`);
console.log(`  orbsim       ${f(native.wall)} s wall clock, ${f(native.cpu)} s processor`);
console.log(`  worker pool  ${f(web.wall)} s wall clock, ${f(web.cpu)} s processor (${done} runs)`);
console.log(`  pool/orbsim  ${f(web.wall / native.wall)}x wall clock, ${f(web.cpu / native.cpu)}x processor; ` +
  `longest wait for progress ${Math.round(longestGap)} ms`);
