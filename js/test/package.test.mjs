// What users of the package meet besides the API: the tarball, require(),
// a bundler and the declarations.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { copyFileSync, mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { test } from 'node:test';

import * as pokopen from 'pokopen';

const require = createRequire(import.meta.url);
const tools = process.env.POKOPEN_TOOLS;

test('the tarball holds the built package and no dependencies', () => {
  const listing = execFileSync('tar', ['-tzf', process.env.POKOPEN_TARBALL]).toString().trim().split('\n').sort();
  assert.deepEqual(listing, [
    'package/LICENSE', 'package/README.md', 'package/dist/browser.js', 'package/dist/core.js',
    'package/dist/index.d.cts', 'package/dist/index.d.ts', 'package/dist/node.cjs', 'package/dist/node.js',
    'package/dist/pokopen.wasm', 'package/package.json',
  ]);
  const manifest = require('pokopen/package.json');
  assert.equal(manifest.version, '1.0.2000');
  assert.equal(manifest.license, 'MIT');
  assert.equal(manifest.dependencies, undefined);
  assert.equal(pokopen.version, '1.0.2000');
});

test('require() gives the same API, ready at once', () => {
  const commonjs = require('pokopen');
  const text = 'わたしはあなたが好きです。';
  assert.equal(commonjs.convert(text, { style: 2 }), pokopen.convert(text, { style: 2 }));
  assert.deepEqual(Object.keys(commonjs).sort(), Object.keys(pokopen).sort());
});

test('an esbuild bundle loads pokopen.wasm from beside itself', { skip: !tools && 'no tools' }, () => {
  const folder = mkdtempSync(join(process.cwd(), 'bundle-'));
  try {
    writeFileSync(join(folder, 'main.mjs'), "import { convert } from 'pokopen';\nconsole.log(convert('わたしです。', { style: 'nyo' }));\n");
    execFileSync(join(tools, 'esbuild'), [join(folder, 'main.mjs'), '--bundle', '--format=esm', '--platform=node',
      `--outfile=${join(folder, 'out/bundle.mjs')}`, '--log-level=warning'], { cwd: process.cwd() });
    copyFileSync(require.resolve('pokopen/pokopen.wasm'), join(folder, 'out/pokopen.wasm'));
    assert.equal(execFileSync(process.execPath, [join(folder, 'out/bundle.mjs')]).toString(), 'わたしだにょ。\n');
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
});

test('the declarations describe the API', { skip: !tools && 'no tools' }, () => {
  const folder = mkdtempSync(join(process.cwd(), 'types-'));
  try {
    writeFileSync(join(folder, 'use.mts'), `
import { Converter, PokopenError, convert, decode, encode, styles, version, type ErrorCode } from 'pokopen';
const text: string = convert('わたし', { style: 'でじこにょ', force: true, crlf: false });
const piece: string = new Converter({ style: 3 }).push(text) + new Converter().finish();
const decoded: { text: string; encoding: 'utf-8' | 'utf-16le' | 'utf-16be' | 'cp932' } = decode(encode(piece, { encoding: 'cp932', crlf: true }));
try { decode(new Uint8Array([0xff]), { encoding: 'auto' }); } catch (error) {
  if (error instanceof PokopenError) { const code: ErrorCode = error.code; const at: number | undefined = error.offset; console.log(code, at); }
}
console.log(decoded, styles[0].name, version.length);
// @ts-expect-error: not a style
convert('', { style: 6 });
// @ts-expect-error: flags are booleans
convert('', { force: 1 });
`);
    execFileSync(join(tools, 'tsc'), ['--noEmit', '--strict', '--module', 'nodenext', '--moduleResolution', 'nodenext',
      '--target', 'es2022', join(folder, 'use.mts')], { stdio: 'inherit' });
  } finally {
    rmSync(folder, { recursive: true, force: true });
  }
});
