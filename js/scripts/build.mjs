// Assembles dist/: the ES module sources, a CommonJS bundle for require(),
// the declarations and pokopen.wasm from the WebAssembly build
// (POKOPEN_WASM, or the tree's build-wasm folder); and the project's licence.
import { copyFile, mkdir, readdir, rm, stat } from 'node:fs/promises';
import { fileURLToPath } from 'node:url';
import { build } from 'esbuild';

const here = (path) => fileURLToPath(new URL(`../${path}`, import.meta.url));
const wasm = process.env.POKOPEN_WASM ?? here('../build-wasm/wasm/pokopen.wasm');

await stat(wasm).catch(() => {
  throw new Error(`${wasm} is missing: build it first (scripts/build-wasm.sh)`);
});
await rm(here('dist'), { recursive: true, force: true });
await mkdir(here('dist'));
await copyFile(wasm, here('dist/pokopen.wasm'));
for (const name of ['core.js', 'browser.js', 'node.js']) {
  await copyFile(here(`src/${name}`), here(`dist/${name}`));
}
await copyFile(here('../LICENSE'), here('LICENSE'));
await copyFile(here('types/index.d.ts'), here('dist/index.d.ts'));
await copyFile(here('types/index.d.ts'), here('dist/index.d.cts'));
await build({
  entryPoints: [here('src/node-cjs.js')],
  outfile: here('dist/node.cjs'),
  bundle: true,
  format: 'cjs',
  platform: 'node',
  target: 'node18',
  logLevel: 'warning',
});
console.log(`dist: ${(await readdir(here('dist'))).join(' ')}`);
