// The engine for the page's quick calls (catalogue, limits, army files),
// on a thread of its own: a large file is read without freezing the page,
// and the page's own thread never runs the engine's generated code.
import { loadEngine } from '../../engine/index.js';

type Call = { id: number; call: string; args: unknown[] };

const engine = loadEngine();

self.addEventListener('message', async (event: MessageEvent<Call>) => {
  const { id, call, args } = event.data;
  try {
    const target = (await engine) as unknown as Record<string, (...a: unknown[]) => unknown>;
    if (!['catalogue', 'limits', 'dialogInteger', 'lookup', 'readArmies', 'writeArmies', 'battleGuard'].includes(call))
      throw new Error(`no engine call ${call}`);
    self.postMessage({ id, result: target[call](...args) });
  } catch (error) {
    self.postMessage({ id, error: String((error as Error)?.message ?? error) });
  }
});
