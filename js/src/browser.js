// The entry point for browsers, Web Workers, Deno and bundlers: pokopen.wasm
// is fetched from beside this file, once, before the module's exports are
// ready (top-level await).
import { imports, start } from './core.js';

const url = new URL('./pokopen.wasm', import.meta.url);

async function instantiate() {
  const response = await fetch(url);
  if (!response.ok) throw new Error(`pokopen: cannot load ${url} (${response.status})`);
  if (typeof WebAssembly.instantiateStreaming === 'function' &&
      response.headers.get('Content-Type') === 'application/wasm') {
    return (await WebAssembly.instantiateStreaming(response, imports)).instance;
  }
  return (await WebAssembly.instantiate(await response.arrayBuffer(), imports)).instance;
}

start(await instantiate());

export { Converter, PokopenError, convert, decode, encode, styles, version } from './core.js';
