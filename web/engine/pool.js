// @ts-check
// A pool of workers, each with its own engine instance, that fights
// simulations and force searches on every core without shared memory.
// Runs are handed out by run number in slices; the engine merges the parts
// in any order into the same figures, so a fixed seed gives the same result
// whatever the number of workers. The pool only moves the engine's answers
// between the workers and adds up counts: every rule, text and statistic is
// the engine's.
import { bytesOrText, startEngineWorker } from './engine.js';
import { coreCount } from './platform.js';

/** @typedef {import('./api.js').EngineWorker} EngineWorker */

/** A refusal or failure reported by the engine, with its message. */
export class EngineError extends Error {
  /** @param {string} message */
  constructor(message) {
    super(message);
    this.name = 'EngineError';
  }
}

/** A call cut short by cancel() or terminate(). */
class Stopped extends Error {}

// A slice of runs lasts about this long whatever the size of the armies: a
// worker keeps its engine's tables for the armies between slices, so a
// short slice costs little more than its battles, and the runs done move on
// often. Progress goes out on a timer, this often, and a cancel stops the
// workers, so neither waits for a slice to end.
const SLICE_MS = 100;
const PROGRESS_MS = 100;

/**
 * A 64-bit seed as decimal text: the engine reads it; JavaScript numbers
 * hold only 53 bits.
 * @param {import('./api.js').Seed | undefined | null} seed
 * @returns {string}
 */
function seedText(seed) {
  if (seed === undefined || seed === null) {
    const words = new Uint32Array(2);
    if (globalThis.crypto?.getRandomValues) globalThis.crypto.getRandomValues(words);
    else for (let i = 0; i < 2; ++i) words[i] = Math.floor(Math.random() * 2 ** 32);
    return ((BigInt(words[0]) << 32n) | BigInt(words[1])).toString();
  }
  if (typeof seed === 'number' && !Number.isSafeInteger(seed))
    throw new TypeError('a seed given as a number must be a safe integer; give larger seeds as a BigInt or text');
  return String(seed);
}

/**
 * @template T
 * @param {import('./api.js').Answer<T>} answer
 * @returns {T} the engine's answer, or its refusal thrown
 */
function accepted(answer) {
  if (!answer.ok) throw new EngineError(answer.error);
  return answer;
}

/** A call on the pool, which cancel() marks and wakes. */
class Task {
  constructor() {
    this.cancelled = false;
    /** @type {() => void} */
    this.wake = () => {};
    /** @type {Promise<undefined>} resolves when cancelled */
    this.stopped = new Promise((resolve) => (this.wake = () => resolve(undefined)));
  }

  cancel() {
    this.cancelled = true;
    this.wake();
  }
}

/**
 * A call on a worker, with the milliseconds it took there. An engine that
 * failed mid-call cannot be trusted with another: its worker is stopped,
 * and the pool starts a new one in its place.
 * @template {keyof import('./api.js').Engine} K
 * @param {EngineWorker} worker
 * @param {K} name
 * @param {Parameters<import('./api.js').Engine[K]>} args
 */
async function timedCall(worker, name, ...args) {
  try {
    return await worker.timed(name, ...args);
  } catch (error) {
    if (worker.dead) throw error;
    const failed = new Error(`the engine failed: ${error instanceof Error ? error.message : error}`);
    worker.close(failed);
    throw failed;
  }
}

export class EnginePool {
  /** @param {{workers?: number}} [options] workers: default one per core */
  constructor(options = {}) {
    const { workers } = options;
    if (workers !== undefined && !(Number.isInteger(workers) && workers >= 1))
      throw new RangeError('workers must be a whole number of 1 or more');
    /** @type {Promise<number>} */
    this.size = workers !== undefined ? Promise.resolve(workers) : coreCount();
    // The fighting workers by index, and the coordinator: a worker of its
    // own for the short calls (checks, merges, reports, the search's
    // replays), so that a cancel, which stops the fighters, leaves it with
    // the armies already read and the result comes at once.
    /** @type {Map<number | 'coordinator', Promise<EngineWorker>>} */
    this.slots = new Map();
    this.coordinatorCalls = 0;
    /** @type {Set<Task>} */
    this.tasks = new Set();
    /** @type {Promise<unknown>} */
    this.queue = Promise.resolve();
    this.closed = false;
  }

  /**
   * One battle with its full report, as orbsim --report fights it.
   * @param {import('./api.js').FileText} armies
   * @param {{seed?: import('./api.js').Seed}} [options]
   * @returns {Promise<import('./api.js').BattleReport & {seed: string}>}
   */
  report(armies, options = {}) {
    const seed = seedText(options.seed);
    const text = bytesOrText(armies);
    return this.#task(async () => {
      const { players, text: reportText } = accepted(await this.#coordinate('report', text, seed));
      return { players, text: reportText, seed };
    });
  }

  /**
   * Battle `run` (from 0) of a simulation fought again from its seed, with
   * its full report, as orbsim --show-run fights it.
   * @param {import('./api.js').FileText} armies
   * @param {{seed: import('./api.js').Seed, run: number, runs: number}} options
   * @returns {Promise<import('./api.js').ShownRun>}
   */
  showRun(armies, options) {
    const seed = seedText(options.seed);
    const text = bytesOrText(armies);
    return this.#task(async () => accepted(await this.#coordinate('showRun', text, seed, options.run, options.runs)));
  }

  /**
   * Fights the battle `runs` times on every worker.
   * @param {import('./api.js').FileText} armies
   * @param {{runs?: number, seed?: import('./api.js').Seed, onProgress?: (done: number, runs: number) => void}} [options]
   * @returns {Promise<import('./api.js').SimulationOutcome & {seed: string}>}
   */
  simulate(armies, options = {}) {
    const { runs = 10, onProgress } = options;
    const seed = seedText(options.seed);
    const text = bytesOrText(armies);
    return this.#task(async (task) => {
      /** @type {string[]} */
      const parts = [];
      let done = 0;
      // From the start: reading the largest armies takes a while too.
      const timer = setInterval(() => onProgress?.(done, runs), PROGRESS_MS);
      try {
        try {
          accepted(await this.#coordinate('checkBattle', text, runs));
        } catch (error) {
          if (!(error instanceof Stopped)) throw error;
        }
        await this.#spread(task, runs, async (worker, first, last) => {
          const { result: part, ms } = await timedCall(worker, 'simulateRuns', text, seed, first, last);
          // The part's sums are 64-bit: only the engine reads them.
          if (!part.startsWith('{"ok":true')) accepted(JSON.parse(part));
          parts.push(part);
          done += last - first;
          return ms;
        });
      } finally {
        clearInterval(timer);
      }
      onProgress?.(done, runs);
      // Cancelled before a run was fought, perhaps while the armies were
      // still being read: there is nothing to merge.
      if (parts.length === 0) return /** @type {any} */ ({ asked: runs, runs: 0, cancelled: true, seed });
      const merged = accepted(await this.#finish(() => this.#coordinate('finishSimulation', text, runs, `[${parts.join(',')}]`)));
      return { ...merged, seed };
    });
  }

  /**
   * Searches the fewest units of one kind that win the wanted share of
   * battles, as orbsim --find does, with its batches fought on every worker.
   * @param {import('./api.js').FileText} armies
   * @param {import('./api.js').ForceChoice & {target?: number, largest?: number, seed?: import('./api.js').Seed,
   *          onProgress?: (progress: import('./api.js').ForceProgress) => void}} options
   * @returns {Promise<import('./api.js').ForceAnswer>}
   */
  findForce(armies, options) {
    const { side, kind, target = 0.9, largest, onProgress } = options;
    const seed = seedText(options.seed);
    const text = bytesOrText(armies);
    return this.#task(async (task) => {
      const started = performance.now();
      /** @type {import('./api.js').Batch[]} */
      const batches = [];
      const step = (/** @type {boolean} */ cancelled) =>
        this.#coordinate('findStep', text, { side, kind, target, largest, seed, batches, cancelled, seconds: (performance.now() - started) / 1000 });
      let progress = { numbersTried: 0, battles: 0, current: 1 };
      const timer = setInterval(() => onProgress?.({ ...progress }), PROGRESS_MS);
      try {
        for (;;) {
          let answer;
          try {
            answer = accepted(await step(false));
          } catch (error) {
            if (error instanceof Stopped) break;
            throw error;
          }
          if (answer.done) return answer;
          const need = answer.need;
          const before = need.progress.battles;
          progress = { ...need.progress };
          let fought = 0;
          let wins = 0;
          await this.#spread(task, need.battles, async (worker, first, last) => {
            const request = { side, kind, number: need.number, seed: need.seed, first, last };
            const { result, ms } = await timedCall(worker, 'forceRuns', text, request);
            const outcome = accepted(result);
            fought += outcome.battles;
            wins += outcome.wins;
            progress = { ...need.progress, battles: before + fought };
            return ms;
          });
          if (task.cancelled) break;
          batches.push({ number: need.number, battles: need.battles, seed: need.seed, fought, wins });
        }
      } finally {
        clearInterval(timer);
      }
      // Cancelled: the search as it stood after its last whole batch.
      return /** @type {import('./api.js').ForceAnswer} */ (accepted(await this.#finish(() => step(true))));
    });
  }

  /** Stops every worker at once; the calls in progress end with what was finished. */
  cancel() {
    for (const task of this.tasks) task.cancel();
    this.#stopWorkers(new Stopped('cancelled'), this.coordinatorCalls === 0);
  }

  /** Stops every worker for good. */
  terminate() {
    this.closed = true;
    for (const task of this.tasks) task.cancel();
    this.#stopWorkers(new Stopped('the pool has been terminated'), false);
  }

  /**
   * @param {Error} reason
   * @param {boolean} spareCoordinator
   */
  #stopWorkers(reason, spareCoordinator) {
    for (const [key, slot] of [...this.slots]) {
      if (key === 'coordinator' && spareCoordinator) continue;
      this.slots.delete(key);
      slot.then((worker) => worker.close(reason), () => {});
    }
  }

  /**
   * Runs tasks one after another, each with every worker.
   * @template T
   * @param {(task: Task) => Promise<T>} body
   * @returns {Promise<T>}
   */
  #task(body) {
    if (this.closed) return Promise.reject(new Error('the pool has been terminated'));
    const task = new Task();
    this.tasks.add(task);
    const run = this.queue.then(() => body(task));
    const settled = run.finally(() => this.tasks.delete(task));
    this.queue = settled.catch(() => {});
    return settled;
  }

  /**
   * A last call that must finish even when a cancel stopped the workers.
   * @template T
   * @param {() => Promise<T>} call
   * @returns {Promise<T>}
   */
  async #finish(call) {
    for (;;) {
      try {
        return await call();
      } catch (error) {
        if (!(error instanceof Stopped) || this.closed) throw error;
      }
    }
  }

  /**
   * Hands runs [0, total) out in slices to every worker until all are fought
   * or the task is cancelled. A slice grows or shrinks to last about
   * SLICE_MS, and the last ones shrink so that the workers end together.
   * @param {Task} task
   * @param {number} total
   * @param {(worker: EngineWorker, first: number, last: number) => Promise<number>} fight  resolves with the engine's milliseconds
   */
  async #spread(task, total, fight) {
    const workers = await this.size;
    let next = 0;
    /** @type {unknown} */
    let failure;
    const share = async (/** @type {number} */ index) => {
      // A worker still starting is not waited for once cancelled.
      const worker = await Promise.race([this.#worker(index), task.stopped]);
      if (!worker) return;
      let size = 1;
      const claim = () => {
        if (next >= total || task.cancelled || failure !== undefined) return undefined;
        const take = Math.max(1, Math.min(size, Math.ceil((total - next) / workers)));
        const first = next;
        next += take;
        return fight(worker, first, first + take).then((ms) => {
          size = Math.max(1, Math.min(size * 4, Math.round((take * SLICE_MS) / Math.max(ms, 1))));
        });
      };
      // Each worker has the next slice waiting in its queue while it fights
      // one, so it never idles while this thread is slow to answer.
      let current = claim();
      while (current) {
        const following = claim();
        following?.catch(() => {}); // its failure is seen when it is awaited
        await current;
        current = following;
      }
    };
    const outcomes = await Promise.allSettled(
      Array.from({ length: workers }, (_, index) =>
        share(index).catch((error) => {
          if (!(error instanceof Stopped)) failure ??= error;
          throw error;
        }),
      ),
    );
    if (failure !== undefined) throw failure;
    if (!task.cancelled && outcomes.some((o) => o.status === 'rejected')) throw new Stopped('stopped');
  }

  /**
   * A call on the coordinator.
   * @template {keyof import('./api.js').Engine} K
   * @param {K} name
   * @param {Parameters<import('./api.js').Engine[K]>} args
   */
  async #coordinate(name, ...args) {
    ++this.coordinatorCalls;
    try {
      return (await timedCall(await this.#worker('coordinator'), name, ...args)).result;
    } finally {
      --this.coordinatorCalls;
    }
  }

  /**
   * The worker of a slot, started on first use and after a cancel.
   * @param {number | 'coordinator'} key
   * @returns {Promise<EngineWorker>}
   */
  async #worker(key) {
    if (this.closed) throw new Stopped('the pool has been terminated');
    const slot = this.slots.get(key);
    if (slot) {
      const worker = await slot;
      if (!worker.dead) return worker;
      // A worker whose engine failed is replaced.
      if (this.slots.get(key) === slot) this.slots.delete(key);
    }
    if (!this.slots.has(key)) this.slots.set(key, startEngineWorker());
    return /** @type {Promise<EngineWorker>} */ (this.slots.get(key));
  }
}
