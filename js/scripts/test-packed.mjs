// Packs the package, installs the tarball in a scratch project and runs the
// tests there with Node's test runner, so that they see what users get.
// POKOPEN_CONVERT names the native pokopen-convert to compare with.
import { execFileSync } from 'node:child_process';
import { cp, mkdtemp, readdir, rm, writeFile } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = (path) => fileURLToPath(new URL(`../${path}`, import.meta.url));
const run = (command, args, cwd) => execFileSync(command, args, { cwd, stdio: 'inherit' });

const scratch = await mkdtemp(join(tmpdir(), 'pokopen-packed-'));
try {
  run('npm', ['pack', '--silent', '--pack-destination', scratch], here('.'));
  const [tarball] = (await readdir(scratch)).filter((name) => name.endsWith('.tgz'));
  await writeFile(join(scratch, 'package.json'), JSON.stringify({ name: 'scratch', private: true, type: 'module' }));
  run('npm', ['install', '--no-audit', '--no-fund', '--offline', '--loglevel=error', join(scratch, tarball)], scratch);
  await cp(here('test'), join(scratch, 'test'), { recursive: true });
  // The declarations are checked with the TypeScript and esbuild of this folder.
  process.env.POKOPEN_TOOLS = here('node_modules/.bin');
  process.env.POKOPEN_TARBALL = join(scratch, tarball);
  const tests = (await readdir(here('test'))).filter((name) => name.endsWith('.test.mjs'));
  run(process.execPath, ['--test', ...tests.map((name) => `test/${name}`)], scratch);
} finally {
  await rm(scratch, { recursive: true, force: true });
}
