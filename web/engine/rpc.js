// @ts-check
// Calls between a thread and a worker it started, made like async function
// calls: the worker offers an object's methods with expose(), the starting
// thread calls them through a Remote. An error thrown in the worker rejects
// its call; a worker that dies, or is closed, rejects every call still
// waiting for its answer.
import { listenToParent } from './platform.js';

/**
 * Answers the starting thread's calls with the methods of `target`, each
 * with the milliseconds it took.
 * @param {Record<string, any>} target  read at each call, so that a call may add methods to it
 */
export function expose(target) {
  return listenToParent(async (/** @type {{id: number, call: string, args: any[]}} */ { id, call, args }, reply) => {
    try {
      if (typeof target[call] !== 'function') throw new Error(`the worker has no call ${call}`);
      const started = performance.now();
      const result = await target[call](...args);
      reply({ id, result, ms: performance.now() - started });
    } catch (error) {
      reply({ id, error: error instanceof Error ? error.message : String(error) });
    }
  });
}

/** @typedef {{id: number, result: any, ms: number, error?: string}} Reply */

/** A worker's calls, from the thread that started it. */
export class Remote {
  /** @type {Map<number, {resolve: (reply: Reply) => void, reject: (error: Error) => void}>} */
  #waiting = new Map();
  #nextId = 1;
  /** @type {Error | undefined} */
  dead = undefined;

  /** @param {import('./platform.js').WorkerHandle} worker */
  constructor(worker) {
    this.worker = worker;
    worker.onMessage((/** @type {Reply} */ reply) => {
      const waiting = this.#waiting.get(reply.id);
      if (!waiting) return;
      this.#waiting.delete(reply.id);
      if (this.#waiting.size === 0) worker.keepAlive(false);
      if (reply.error === undefined) waiting.resolve(reply);
      else waiting.reject(new Error(reply.error));
    });
    worker.onError((error) => this.close(error instanceof Error ? error : new Error(String(error))));
  }

  /**
   * @param {string} name
   * @param {...any} args
   * @returns {Promise<{result: any, ms: number}>}
   */
  timed(name, ...args) {
    if (this.dead) return Promise.reject(this.dead);
    const id = this.#nextId++;
    this.worker.keepAlive(true);
    return new Promise((resolve, reject) => {
      this.#waiting.set(id, { resolve, reject });
      this.worker.post({ id, call: name, args });
    });
  }

  /**
   * @param {string} name
   * @param {...any} args
   * @returns {Promise<any>}
   */
  async call(name, ...args) {
    return (await this.timed(name, ...args)).result;
  }

  /** @param {Error} reason */
  close(reason) {
    if (this.dead) return;
    this.dead = reason;
    this.worker.terminate();
    for (const waiting of this.#waiting.values()) waiting.reject(reason);
    this.#waiting.clear();
  }
}
