// The compiled engine: compiled once per page, instantiated once per thread.
import { readEngineFile } from './platform.js';

// The engine comes in two builds: one with WebAssembly SIMD, which fights
// faster, and one without for browsers that lack it (before Chrome 91,
// Firefox 89 and Safari 16.4). This smallest module that uses SIMD, a
// function returning i8x16.popcnt(i8x16.splat(0)), validates only where
// SIMD has its final opcodes; the choice is the same on every thread.
const SIMD_PROBE = Uint8Array.of(
  0x00, 0x61, 0x73, 0x6d, 0x01, 0x00, 0x00, 0x00, // "\0asm", version 1
  0x01, 0x05, 0x01, 0x60, 0x00, 0x01, 0x7b, //       type: () -> v128
  0x03, 0x02, 0x01, 0x00, //                         one function of that type
  0x0a, 0x0a, 0x01, 0x08, 0x00, //                   its body, no locals:
  0x41, 0x00, 0xfd, 0x0f, 0xfd, 0x62, 0x0b, //       i32.const 0, i8x16.splat, i8x16.popcnt, end
);

/** The build this platform runs: its loader is `${engineBuild}.js`, its module `${engineBuild}.wasm`. */
export const engineBuild = WebAssembly.validate(SIMD_PROBE) ? 'orb-engine' : 'orb-engine-nosimd';

/** @type {Promise<WebAssembly.Module> | undefined} */
let compiled;

/**
 * The engine's WebAssembly module, compiled on first use. A compiled
 * module can be posted to workers, which then only instantiate it.
 * @returns {Promise<WebAssembly.Module>}
 */
export function compileEngine() {
  compiled ??= readEngineFile(new URL(`./${engineBuild}.wasm`, import.meta.url)).then((bytes) => WebAssembly.compile(bytes));
  return compiled;
}

/**
 * A fresh instance of the engine with its own memory. The loader's own
 * fetching is bypassed: it cannot read files under Node.
 * @param {WebAssembly.Module} wasmModule
 * @returns {Promise<any>} the raw binding, every call taking and returning strings
 */
export async function instantiateEngine(wasmModule) {
  const { default: createOrbEngine } = await import(`./${engineBuild}.js`);
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
