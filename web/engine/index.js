// The browser engine's API (typed in api.d.ts): the engine on the calling
// thread or in a worker of its own for cheap calls, and a pool of workers
// for battles.
export { loadEngine, startEngineWorker } from './engine.js';
export { EngineError, EnginePool } from './pool.js';
