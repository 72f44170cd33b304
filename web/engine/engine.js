// @ts-check
// The engine's calls (described in api.d.ts): on the calling thread, for
// scripts and tests, or in a worker of their own, for the page and the
// pool. Answers are read from the binding's JSON text, except a
// simulation's parts, which only the engine reads.
import { compileEngine, instantiateEngine } from './module.js';
import { startWorker } from './platform.js';
import { RELEASE } from './release.js';
import { Remote } from './rpc.js';

/** @typedef {import('./api.js').Engine} Engine */

/**
 * @param {import('./api.js').FileText} text
 * @returns {string | Uint8Array}
 */
export function bytesOrText(text) {
  if (typeof text === 'string' || text instanceof Uint8Array) return text;
  if (text instanceof ArrayBuffer) return new Uint8Array(text);
  throw new TypeError('an army file must be given as text or bytes');
}

/**
 * The engine's calls on an instance of the module, whose binding takes and gives text.
 * @param {any} binding
 * @returns {Engine}
 */
export function engineOf(binding) {
  /** @type {import('./api.js').CatalogueRow[] | undefined} */
  let rows;
  return {
    catalogue: () => structuredClone((rows ??= JSON.parse(binding.catalogue()))),
    limits: () => JSON.parse(binding.limits()),
    dialogInteger: (text) => JSON.parse(binding.dialogInteger(String(text))),
    lookup: (abbreviation) => JSON.parse(binding.lookup(String(abbreviation))),
    battleGuard: (armies, command) => JSON.parse(binding.battleGuard(bytesOrText(armies), String(command))),
    readArmies: (armies) => JSON.parse(binding.readArmies(bytesOrText(armies))),
    writeArmies: (armies) => JSON.parse(binding.writeArmies(typeof armies === 'string' ? armies : JSON.stringify(armies))),
    checkBattle: (armies, runs) => JSON.parse(binding.checkBattle(bytesOrText(armies), String(runs))),
    report: (armies, seed) => JSON.parse(binding.report(bytesOrText(armies), seed)),
    simulateRuns: (armies, seed, first, last) => binding.simulateRuns(bytesOrText(armies), seed, first, last),
    finishSimulation: (armies, runs, parts) => JSON.parse(binding.finishSimulation(bytesOrText(armies), runs, parts)),
    forceRuns: (armies, request) => JSON.parse(binding.forceRuns(bytesOrText(armies), JSON.stringify(request))),
    findStep: (armies, request) => JSON.parse(binding.findStep(bytesOrText(armies), JSON.stringify(request))),
    showRun: (armies, seed, run, runs) => JSON.parse(binding.showRun(bytesOrText(armies), seed, run, runs)),
    pickRun: (request) => JSON.parse(binding.pickRun(JSON.stringify(request))),
  };
}

/**
 * The engine on the current thread.
 * @returns {Promise<Engine>}
 */
export async function loadEngine() {
  return engineOf(await instantiateEngine(await compileEngine()));
}

/**
 * An engine in a worker of its own, instantiated from the module compiled
 * once on this thread.
 * @returns {Promise<import('./api.js').EngineWorker>}
 */
export async function startEngineWorker() {
  const remote = new Remote(await startWorker(new URL('./worker.js', import.meta.url)));
  try {
    await remote.call('start', await compileEngine(), RELEASE);
  } catch (error) {
    const failed = new Error(`the engine could not start: ${error instanceof Error ? error.message : error}`);
    remote.close(failed);
    throw failed;
  }
  return remote;
}
