// @ts-check
// A worker with its own engine instance, for the pool's battles and the
// page's quick calls. Its first call, start, instantiates the module its
// parent compiled and adds the engine's calls to the ones it answers.
import { engineOf } from './engine.js';
import { instantiateEngine } from './module.js';
import { RELEASE } from './release.js';
import { expose } from './rpc.js';

const calls = {
  /**
   * @param {WebAssembly.Module} module
   * @param {string} release  the starting page's: its module and its calls are of that release
   */
  async start(module, release) {
    if (release !== RELEASE) throw new Error('the simulator has been updated since this page was loaded: reload the page');
    Object.assign(calls, engineOf(await instantiateEngine(module)));
  },
};
await expose(calls);
