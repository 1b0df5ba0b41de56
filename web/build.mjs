// Assembles the static site in ../build-web/site: the page's files, the
// package's browser entry and pokopen.wasm (from ../js/dist), the icons
// drawn from data/icons/pokopen.svg, the about text's credit from the top
// CMakeLists.txt, and the service worker's list of files.
import { execFileSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import { copyFile, mkdir, readFile, readdir, rm, writeFile } from 'node:fs/promises';
import { fileURLToPath } from 'node:url';

const root = (path) => fileURLToPath(new URL(`../${path}`, import.meta.url));
const site = root('build-web/site');

async function main() {
  await rm(site, { recursive: true, force: true });
  await mkdir(`${site}/pokopen`, { recursive: true });
  await mkdir(`${site}/icons`);
  for (const name of ['index.html', 'app.js', 'worker.js', 'messages.js', 'style.css', 'manifest.webmanifest']) {
    await copyFile(root(`web/src/${name}`), `${site}/${name}`);
  }
  for (const name of ['browser.js', 'core.js', 'pokopen.wasm']) {
    await copyFile(root(`js/dist/${name}`), `${site}/pokopen/${name}`).catch(() => {
      throw new Error(`js/dist/${name} is missing: run scripts/build-wasm.sh first`);
    });
  }
  await copyFile(root('data/icons/pokopen.svg'), `${site}/icons/pokopen.svg`);
  for (const size of [192, 512]) {
    execFileSync('rsvg-convert', ['--width', `${size}`, '--height', `${size}`,
      '--output', `${site}/icons/pokopen-${size}.png`, root('data/icons/pokopen.svg')]);
  }
  await writeFile(`${site}/about.js`, await aboutModule());
  await writeServiceWorker();
}

// The lines of the about box after the first, with the project's credit.
async function aboutModule() {
  const cmake = await readFile(root('CMakeLists.txt'), 'utf8');
  const setting = (name) => cmake.match(new RegExp(`set\\(${name} "([^"]*)"`))[1];
  const credit = `Copyright (C) ${setting('POKOPEN_COPYRIGHT_YEAR')} ${setting('POKOPEN_AUTHOR_NAME')}`;
  const lines = ['', 'translate Japanese into Pokoryun and', "Charats' -Nyu -Nyo -Pyo languages ", '', credit];
  return `// Made by build.mjs from the project's settings.\nexport const ABOUT_LINES = ${JSON.stringify(lines)};\n`;
}

async function writeServiceWorker() {
  const files = (await readdir(site, { recursive: true, withFileTypes: true }))
    .filter((entry) => entry.isFile())
    .map((entry) => `${entry.parentPath ?? entry.path}/${entry.name}`.slice(site.length + 1))
    .sort();
  const hash = createHash('sha256');
  for (const file of files) hash.update(file).update(await readFile(`${site}/${file}`));
  const template = await readFile(root('web/src/sw.js'), 'utf8');
  await writeFile(`${site}/sw.js`, template
    .replace('@VERSION@', hash.digest('hex').slice(0, 12))
    .replace('@FILES@', JSON.stringify(['./', ...files])));
}

await main();
console.log(`site: ${site}`);
