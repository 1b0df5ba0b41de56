// node speed.mjs POKOPEN_CONVERT RUNS FILE...: median seconds of the native
// converter with one job and of the package in Node, as a Markdown table.
import { execFileSync } from 'node:child_process';
import { readFileSync, writeFileSync } from 'node:fs';
import { basename } from 'node:path';

import { convert, decode, encode } from '../../js/dist/node.js';

const [native, runs, ...files] = process.argv.slice(2);
const OPTIONS = { style: 1, pokoru: true, force: true };
const output = '/tmp/pokopen-bench-js.out';

function median(run) {
  const times = [];
  for (let i = 0; i < Number(runs); ++i) {
    const started = process.hrtime.bigint();
    run();
    times.push(Number(process.hrtime.bigint() - started) / 1e9);
  }
  return times.sort((a, b) => a - b)[times.length >> 1];
}

console.log('| text | MiB | native -j 1 | Node convert() | ratio | Node file to file | ratio |');
console.log('|---|---:|---:|---:|---:|---:|---:|');
for (const file of files) {
  const bytes = readFileSync(file);
  const text = decode(bytes).text;
  const nativeTime = median(() => execFileSync(native, ['-q', '-j', '1', '-s', '1', '--pokoru', '--force', file, '-o', output]));
  convert(text, OPTIONS); // once to warm up the compiled module
  const convertTime = median(() => convert(text, OPTIONS));
  const fileTime = median(() => writeFileSync(output, encode(convert(decode(readFileSync(file)).text, OPTIONS))));
  const cells = [nativeTime, convertTime, convertTime / nativeTime, fileTime, fileTime / nativeTime].map((v) => v.toFixed(2));
  console.log(`| ${basename(file, '.txt')} | ${(bytes.length / 2 ** 20).toFixed(0)} | ${cells[0]} s | ${cells[1]} s | ${cells[2]} | ${cells[3]} s | ${cells[4]} |`);
}
