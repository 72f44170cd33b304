// The little that differs between a browser and Node: starting a worker,
// talking to the thread that started it, the number of cores and reading
// a file of the engine. Everything else runs the same in both.

/** True under Node (main thread or worker_threads), false in a browser. */
export const isNode =
  typeof process === 'object' && typeof process.versions === 'object' && typeof process.versions.node === 'string' &&
  typeof window === 'undefined' && typeof importScripts !== 'function';

/**
 * The number of cores the platform reports, for the default pool size.
 * @returns {Promise<number>}
 */
export async function coreCount() {
  if (typeof navigator === 'object' && navigator.hardwareConcurrency > 0) return navigator.hardwareConcurrency;
  if (isNode) {
    const os = await import('node:os');
    return Math.max(1, os.cpus().length);
  }
  return 1;
}

/**
 * @typedef {object} WorkerHandle
 * @property {(message: any) => void} post
 * @property {(listener: (message: any) => void) => void} onMessage
 * @property {(listener: (error: any) => void) => void} onError
 * @property {(busy: boolean) => void} keepAlive  whether an idle worker may let Node exit
 * @property {() => void} terminate
 */

/**
 * Starts a module worker from a script's URL.
 * @param {URL} url
 * @returns {Promise<WorkerHandle>}
 */
export async function startWorker(url) {
  if (isNode) {
    const { Worker } = await import('node:worker_threads');
    const worker = new Worker(url);
    return {
      post: (message) => worker.postMessage(message),
      onMessage: (listener) => worker.on('message', listener),
      onError: (listener) => {
        worker.on('error', listener);
        worker.on('exit', (code) => listener(new Error(`the engine's worker stopped (exit code ${code})`)));
      },
      // An idle pool must not keep a script from ending.
      keepAlive: (busy) => (busy ? worker.ref() : worker.unref()),
      terminate: () => void worker.terminate(),
    };
  }
  const worker = new Worker(url, { type: 'module' });
  return {
    post: (message) => worker.postMessage(message),
    onMessage: (listener) => worker.addEventListener('message', (event) => listener(event.data)),
    onError: (listener) => worker.addEventListener('error', (event) => listener(event.error ?? new Error(event.message))),
    keepAlive: () => {},
    terminate: () => worker.terminate(),
  };
}

/**
 * The worker's side: listens to the thread that started it.
 * @param {(message: any, reply: (answer: any) => void) => void} listener
 */
export async function listenToParent(listener) {
  if (isNode) {
    const { parentPort } = await import('node:worker_threads');
    parentPort.on('message', (message) => listener(message, (answer) => parentPort.postMessage(answer)));
    return;
  }
  self.addEventListener('message', (event) => listener(event.data, (answer) => self.postMessage(answer)));
}

/**
 * The bytes of a file that lies beside the engine's scripts.
 * @param {URL} url
 * @returns {Promise<ArrayBuffer | Uint8Array>}
 */
export async function readEngineFile(url) {
  if (isNode) {
    const fs = await import('node:fs/promises');
    return fs.readFile(url);
  }
  const response = await fetch(url);
  if (!response.ok) throw new Error(`cannot load ${url}: ${response.status} ${response.statusText}`);
  return response.arrayBuffer();
}
