// The entry point for Node's ES modules: pokopen.wasm is read from beside
// this file, once, before the module's exports are ready (top-level await).
import { readFile } from 'node:fs/promises';

import { imports, start } from './core.js';

const bytes = await readFile(new URL('./pokopen.wasm', import.meta.url));
start((await WebAssembly.instantiate(bytes, imports)).instance);

export { Converter, PokopenError, convert, decode, encode, styles, version } from './core.js';
