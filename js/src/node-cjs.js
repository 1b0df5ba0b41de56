// The entry point for Node's require(), bundled into dist/node.cjs: the module
// is compiled synchronously, so it is ready when require() returns.
import { readFileSync } from 'node:fs';
import { join } from 'node:path';

import { imports, start } from './core.js';

const module = new WebAssembly.Module(readFileSync(join(__dirname, 'pokopen.wasm')));
start(new WebAssembly.Instance(module, imports));

export { Converter, PokopenError, convert, decode, encode, styles, version } from './core.js';
