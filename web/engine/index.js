// The browser engine's API: the engine on the calling thread for cheap
// calls, and a pool of workers for battles.
export { Engine, loadEngine } from './engine.js';
export { EngineError, EnginePool } from './pool.js';
