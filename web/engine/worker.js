// A worker of the pool: one engine instance, one call at a time. Every
// engine call takes and returns text, so messages carry only strings.
import { instantiateEngine } from './module.js';
import { listenToParent } from './platform.js';

/** @type {any} */
let engine;
/** @type {Error | undefined} */
let broken;

await listenToParent(async (message, reply) => {
  if (message.type === 'init') {
    try {
      engine = await instantiateEngine(message.module);
      reply({ type: 'ready' });
    } catch (error) {
      reply({ type: 'failed', error: String(error?.message ?? error) });
    }
    return;
  }
  const { id, call, args } = message;
  try {
    if (broken) throw broken;
    const started = performance.now();
    const result = engine[call](...args);
    reply({ id, result, ms: performance.now() - started });
  } catch (error) {
    // A module that stopped mid-call cannot be trusted with another.
    broken ??= error instanceof Error ? error : new Error(String(error));
    reply({ id, error: String(error?.message ?? error) });
  }
});
