// Debian's Chromium driven by playwright-core (no browser is downloaded),
// and the built site served on an ephemeral localhost port.
import { mkdtemp, rm } from 'node:fs/promises';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { chromium } from 'playwright-core';

import { serve } from '../serve.mjs';

const CHROMIUM = process.env.POKOPEN_CHROMIUM ?? '/usr/bin/chromium';
const ARGS = ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
  '--disable-background-networking', '--disable-component-update', '--disable-sync'];

// Starts the server and a browser with a fresh profile; `context` has the
// page's origin allowed to use the clipboard and watches every request.
export async function startBrowser({ viewport = { width: 1280, height: 800 } } = {}) {
  const server = await serve({ port: 0 });
  const origin = `http://localhost:${server.address().port}`;
  const profile = await mkdtemp(join(tmpdir(), 'pokopen-chromium-'));
  const context = await chromium.launchPersistentContext(profile, {
    executablePath: CHROMIUM, args: ARGS, headless: true, viewport, acceptDownloads: true,
    locale: 'ja-JP', permissions: ['clipboard-read', 'clipboard-write'],
  });
  const foreign = [];
  const consoleErrors = [];
  context.on('request', (request) => {
    const url = new URL(request.url());
    if (!['blob:', 'data:'].includes(url.protocol) && url.origin !== origin) foreign.push(request.url());
  });
  const watch = (page) => {
    page.on('console', (message) => { if (message.type() === 'error') consoleErrors.push(message.text()); });
    page.on('pageerror', (error) => consoleErrors.push(String(error)));
  };
  context.on('page', watch);
  context.pages().forEach(watch);
  return {
    origin, context, foreign, consoleErrors,
    async close() {
      await context.close();
      await new Promise((resolve) => server.close(resolve));
      await rm(profile, { recursive: true, force: true });
    },
  };
}

// Opens the page and waits until the library is ready.
export async function openPage(browser, page) {
  const tab = page ?? browser.context.pages()[0] ?? (await browser.context.newPage());
  await tab.goto(`${browser.origin}/`);
  await tab.waitForSelector('body[data-ready=true]');
  return tab;
}
