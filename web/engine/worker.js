// @ts-check
// A worker with its own engine instance, for the pool's battles and the
// page's quick calls. Its first call, start, instantiates the module its
// parent compiled and adds the engine's calls to the ones it answers.
import { engineOf } from './engine.js';
import { instantiateEngine } from './module.js';
import { expose } from './rpc.js';

const calls = {
  /** @param {WebAssembly.Module} module */
  async start(module) {
    Object.assign(calls, engineOf(await instantiateEngine(module)));
  },
};
await expose(calls);
