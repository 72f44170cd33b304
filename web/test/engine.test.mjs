// The browser engine against orbsim: for fixed seeds the pool must fight
// exactly the battles orbsim fights, whatever its number of workers, and
// refuse bad files with orbsim's messages without ever stopping the module.
// ORB_WEB_DIR names the built browser edition, ORB_ORBSIM the orbsim to
// compare with, ORB_ENGINE_BUILD the build of the engine this Node must
// pick (make test sets all three, and runs the file once with SIMD and
// once without).
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { existsSync, mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { after, before, describe, test } from 'node:test';
import { fileURLToPath, pathToFileURL } from 'node:url';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '../..');
const webDir = process.env.ORB_WEB_DIR ?? join(root, 'build/web');
const orbsimPath = process.env.ORB_ORBSIM ?? join(root, 'build/orbsim');
const examples = join(root, 'examples/armies.json');
const largest = join(root, 'bench/largest.json');

if (!existsSync(join(webDir, 'engine/orb-engine.wasm')))
  throw new Error(`no browser engine in ${webDir}: run make web first`);
const { loadEngine, startEngineWorker, EnginePool, EngineError } = await import(pathToFileURL(join(webDir, 'engine/index.js')).href);
const { engineBuild } = await import(pathToFileURL(join(webDir, 'engine/module.js')).href);

const scratch = mkdtempSync(join(tmpdir(), 'orb-web-test-'));
let engine;
let one;
let four;

before(async () => {
  engine = await loadEngine();
  one = new EnginePool({ workers: 1 });
  four = new EnginePool({ workers: 4 });
});

after(() => {
  one?.terminate();
  four?.terminate();
  rmSync(scratch, { recursive: true, force: true });
});

function orbsim(...args) {
  return execFileSync(orbsimPath, args, { encoding: 'utf8', maxBuffer: 64 << 20 });
}

// orbsim's message for a file it refuses: "orbsim: PATH: MESSAGE".
function orbsimRefusal(path) {
  const run = spawnSync(orbsimPath, [path, '--runs', '1', '--seed', '1'], { encoding: 'utf8' });
  assert.notEqual(run.status, 0, `orbsim accepted ${path}`);
  const prefix = `orbsim: ${path}: `;
  assert.ok(run.stderr.startsWith(prefix), run.stderr);
  return run.stderr.slice(prefix.length).replace(/\n$/, '');
}

function file(name, text) {
  const path = join(scratch, name);
  writeFileSync(path, text);
  return path;
}

// Army files drawn from the catalogue within the dialogs' limits, from a
// seeded generator so that a failure can be repeated.
function randomArmies(seed) {
  let state = seed >>> 0;
  const next = (n) => {
    state = (Math.imul(state, 1664525) + 1013904223) >>> 0;
    return state % n;
  };
  const rows = engine.catalogue();
  const limits = engine.limits();
  const player = (number) => ({
    number: String(number),
    name: `Wizard ${'Ωx'.repeat(next(4))}${next(1000)}`.slice(0, limits.maxNameLength),
    kinds: Array.from({ length: 1 + next(6) }, () => {
      const row = rows[next(rows.length)];
      const value = (v, lowest) => Math.min(limits.maxValue, Math.max(lowest, v + next(3) - 1));
      return {
        abbreviation: row.abbreviation,
        name: row.name,
        position: row.position,
        type: row.type,
        offense: value(row.offense, 0),
        defense: value(row.defense, 0),
        rangedoff: value(row.rangedoff, 0),
        attacks: value(row.attacks, 1),
        hitpoints: value(row.hitpoints, 1),
        number: 1 + next(250),
      };
    }),
  });
  const armies = { format: 'orb-battle-armies', version: 1, players: [player(1 + next(50)), player(51 + next(49))] };
  const written = engine.writeArmies(armies);
  assert.ok(written.ok, written.error);
  return written.text;
}

// What orbsim --json gives, from a pool's simulation: it adds the averaged
// report, the per-run totals and the texts.
function asOrbsimJson({ runs, draws, strikes, players }) {
  return { runs, draws, strikes, players: players.map(({ report, totalLeft, curve, ...figures }) => figures) };
}

// Otherwise a run meant for one build could pass on the other.
test('the engine build is the one this platform calls for', { skip: !process.env.ORB_ENGINE_BUILD && 'ORB_ENGINE_BUILD is not set' }, () => {
  assert.equal(engineBuild, process.env.ORB_ENGINE_BUILD);
});

describe('simulations', () => {
  const cases = [
    { name: 'the sample armies', path: examples, runs: 200, seed: 7 },
    { name: 'the largest armies', path: largest, runs: 4, seed: 11 },
    ...[3, 5, 8].map((seed) => ({
      name: `random armies ${seed}`,
      path: () => file(`random-${seed}.json`, randomArmies(seed)),
      runs: 60,
      seed: 1000 + seed,
    })),
  ];
  for (const c of cases) {
    test(`${c.name}: figures and text equal orbsim's, with 1 or 4 workers`, async () => {
      const path = typeof c.path === 'function' ? c.path() : c.path;
      const text = readFileSync(path, 'utf8');
      const args = [path, '--runs', String(c.runs), '--seed', String(c.seed)];
      const byFour = await four.simulate(text, { runs: c.runs, seed: c.seed });
      const expected = JSON.parse(orbsim(...args, '--json'));
      assert.equal(byFour.runs, c.runs);
      assert.equal(byFour.cancelled, false);
      const { seed, ...figures } = expected;
      assert.deepEqual(asOrbsimJson(byFour), figures);
      assert.equal(byFour.text, orbsim(...args));
      // Every figure, strikes and per-run totals included, whatever the split.
      const byOne = await one.simulate(text, { runs: c.runs, seed: c.seed });
      assert.deepEqual(byOne, byFour);
      assert.equal(byFour.players[0].totalLeft.length, c.runs);
      // Each side's chart, read as a step curve: at every count, the share of battles with at least that many left.
      for (const [s, { curve, totalLeft }] of byFour.players.entries()) {
        assert.ok(curve.top >= Math.max(...totalLeft) && curve.top % curve.step === 0 && curve.top / curve.step <= 5, `side ${s}: top ${curve.top}`);
        for (let x = 1; x <= curve.top; ++x) {
          const at = curve.points.findIndex(([from], i) => i % 2 === 0 && from < x && x <= curve.points[i + 1][0]);
          const share = (100 * totalLeft.filter((left) => left >= x).length) / totalLeft.length;
          assert.equal(at < 0 ? 0 : curve.points[at][1], share, `side ${s}: at least ${x} units left`);
        }
      }
    });
  }
});

test('a seeded battle report equals orbsim --report byte for byte', async () => {
  for (const [path, seed] of [[examples, 3], [file('random-report.json', randomArmies(21)), 12345678901234567890n]]) {
    const report = await four.report(readFileSync(path), { seed });
    assert.equal(report.text, orbsim(path, '--report', '--seed', String(seed)));
    assert.deepEqual(report.players, JSON.parse(orbsim(path, '--report', '--seed', String(seed), '--json')).players);
  }
});

test('a force search gives orbsim --find\'s answer', async () => {
  const text = readFileSync(examples, 'utf8');
  let progressed = 0;
  const found = await four.findForce(text, { side: 1, kind: 'kni', seed: 7, onProgress: () => ++progressed });
  const expected = JSON.parse(orbsim(examples, '--find', '2:KNI', '--seed', '7', '--json'));
  for (const [key, value] of Object.entries(expected)) assert.deepEqual(found[key], value, key);
  const withoutTime = (t) => t.replace(/, in [0-9.]+ s\.$/m, '');
  assert.equal(withoutTime(found.text), withoutTime(orbsim(examples, '--find', '2:KNI', '--seed', '7')));
  assert.equal(found.lines[0], found.text.split('\n')[1]);
  assert.equal(found.cancelled, false);
});

test('cancel stops a long simulation at once and keeps what was finished', async () => {
  const text = readFileSync(largest, 'utf8');
  const stamps = [];
  const started = performance.now();
  const running = four.simulate(text, { runs: 999, seed: 5, onProgress: () => stamps.push(performance.now()) });
  await new Promise((r) => setTimeout(r, 1500));
  const cancelledAt = performance.now();
  four.cancel();
  const outcome = await running;
  // The fighters stop at once, and the coordinator, which has the armies
  // read already, merges what they finished.
  assert.ok(performance.now() - cancelledAt < 500, 'the cancelled simulation took too long to end');
  assert.equal(outcome.cancelled, true);
  assert.ok(outcome.runs < 999);
  if (outcome.runs > 0) assert.match(outcome.text, /ODDS OVER \d+ RUNS?:/);
  // Progress comes on a timer, not only when slices end.
  const gaps = [started, ...stamps].slice(1).map((t, i) => t - [started, ...stamps][i]);
  assert.ok(stamps.length >= 5 && Math.max(...gaps) < 600, `progress gaps: ${gaps.map(Math.round)}`);
  // The pool works again after a cancel.
  assert.equal((await four.simulate(readFileSync(examples, 'utf8'), { runs: 5, seed: 1 })).runs, 5);
});

describe('bad files get orbsim\'s message and leave the module whole', () => {
  const good = readFileSync(examples, 'utf8');
  const sample = JSON.parse(good);
  const changed = (edit) => {
    const copy = structuredClone(sample);
    edit(copy);
    return JSON.stringify(copy);
  };
  const cases = {
    'not JSON': () => '{"format": "orb-battle-armies", ',
    '50 MB': () => `{"format": "${' '.repeat(50 << 20)}"}`,
    'nested 10,000 deep': () => '['.repeat(10000) + ']'.repeat(10000),
    'a million kinds': () => changed((a) => (a.players[0].kinds = Array.from({ length: 1e6 }, () => 0))),
    'offense out of range': () => changed((a) => (a.players[0].kinds[0].offense = 1000)),
    'too many units': () => changed((a) => (a.players[1].kinds[0].number = 10000)),
    'a huge number': () => changed((a) => (a.players[1].kinds[0].number = 1e300)),
    'no units': () => changed((a) => (a.players[1].kinds = [])),
  };
  for (const [name, make] of Object.entries(cases)) {
    test(name, async () => {
      const text = make();
      const message = orbsimRefusal(file('bad.json', text));
      const read = engine.readArmies(text);
      if (name !== 'no units') assert.deepEqual(read, { ok: false, error: message });
      await assert.rejects(four.simulate(text, { runs: 3, seed: 1 }), (e) => e instanceof EngineError && e.message === message);
      // Still whole: the same module reads and fights a good file.
      assert.ok(engine.readArmies(good).ok);
      assert.equal((await four.simulate(good, { runs: 2, seed: 1 })).runs, 2);
    });
  }
});

test('the cheap calls come from the engine', () => {
  const limits = engine.limits();
  assert.equal(engine.catalogue().length, 94);
  assert.equal(engine.lookup('kni').abbreviation, 'KNI');
  assert.equal(engine.lookup('KN I'), null);
  assert.equal(engine.dialogInteger(' -12'), -12);
  assert.equal(engine.dialogInteger('1e3'), null);
  // A file written by the engine reads back to the same armies.
  const read = engine.readArmies(readFileSync(examples));
  const written = engine.writeArmies(read.armies);
  assert.deepEqual(engine.readArmies(written.text), read);
  const tooMany = structuredClone(read.armies);
  tooMany.players[0].kinds[0].number = limits.maxUnits + 1;
  assert.equal(engine.writeArmies(tooMany).ok, false);
});

test('an engine worker answers as the engine does, refuses a call it lacks, and rejects every call once it dies', async () => {
  const worker = await startEngineWorker();
  assert.deepEqual(await worker.call('readArmies', readFileSync(examples)), engine.readArmies(readFileSync(examples)));
  await assert.rejects(worker.call('fight'), { message: 'the worker has no call fight' });
  // Killed mid-call, as a crash kills it: no call waits for an answer that never comes.
  const fighting = worker.call('simulateRuns', readFileSync(largest, 'utf8'), '1', 0, 999);
  worker.worker.terminate();
  await assert.rejects(fighting, /the engine's worker stopped/);
  await assert.rejects(worker.call('limits'), /the engine's worker stopped/);
});

test('a battle of a simulation, fought again, is the battle it counted and orbsim --show-run\'s', async () => {
  const path = file('random-runs.json', randomArmies(29));
  const text = readFileSync(path, 'utf8');
  const runs = 200;
  for (const pool of [one, four]) {
    const outcome = await pool.simulate(text, { runs, seed: 9 });
    for (let run = 0; run < runs; ++run) {
      const shown = await pool.showRun(text, { seed: 9, run, runs });
      assert.deepEqual(shown.players.map((p) => p.left), outcome.players.map((p) => p.totalLeft[run]), `run ${run}`);
      // Per kind, as the run alone is fought by the simulation's engine.
      const alone = JSON.parse(engine.simulateRuns(text, '9', run, run + 1));
      shown.players.forEach((p, s) =>
        p.kinds.forEach((kind, k) => assert.equal(kind.left, kind.number - alone.sides[s].casualties[k], `run ${run}, side ${s}, kind ${k}`)),
      );
    }
    const { totalLeft, fought } = { totalLeft: outcome.players.map((p) => p.totalLeft), fought: outcome.fought };
    const worst = engine.pickRun({ side: 1, pick: 'worst', totalLeft, fought });
    assert.ok(worst.ok, worst.error);
    const shown = await pool.showRun(text, { seed: 9, run: worst.run, runs });
    assert.equal(shown.text, orbsim(path, '--runs', String(runs), '--seed', '9', '--show', '2:worst'));
    const { ok, text: shownText, ...figures } = shown;
    assert.deepEqual(figures, JSON.parse(orbsim(path, '--runs', String(runs), '--seed', '9', '--show-run', String(worst.run + 1), '--json')));
  }
  assert.deepEqual(engine.pickRun({ side: 0, pick: 'draw', totalLeft: [[3, 0], [0, 2]], fought: [[0, 2]] }), {
    ok: false,
    error: 'no battle of the 2 ended with both armies gone',
  });
  // 3 and 1 are as near to 2: the smaller, at the third run fought.
  assert.equal(engine.pickRun({ side: 0, units: 2, totalLeft: [[3, 0, 1], [0, 2, 0]], fought: [[5, 8]] }).run, 7);
});
