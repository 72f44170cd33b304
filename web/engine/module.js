// The compiled engine: compiled once per page, instantiated once per thread.
import createOrbEngine from './orb-engine.js';
import { readEngineFile } from './platform.js';

/** @type {Promise<WebAssembly.Module> | undefined} */
let compiled;

/**
 * The engine's WebAssembly module, compiled on first use. A compiled
 * module can be posted to workers, which then only instantiate it.
 * @returns {Promise<WebAssembly.Module>}
 */
export function compileEngine() {
  compiled ??= readEngineFile(new URL('./orb-engine.wasm', import.meta.url)).then((bytes) => WebAssembly.compile(bytes));
  return compiled;
}

/**
 * A fresh instance of the engine with its own memory. The loader's own
 * fetching is bypassed: it cannot read files under Node.
 * @param {WebAssembly.Module} wasmModule
 * @returns {Promise<any>} the raw binding, every call taking and returning strings
 */
export function instantiateEngine(wasmModule) {
  return new Promise((resolve, reject) => {
    createOrbEngine({
      instantiateWasm(imports, receive) {
        WebAssembly.instantiate(wasmModule, imports).then((instance) => receive(instance, wasmModule), reject);
        return {};
      },
      onAbort: (what) => reject(new Error(`the engine stopped: ${what}`)),
      print: () => {},
      printErr: () => {},
    }).then(resolve, reject);
  });
}
