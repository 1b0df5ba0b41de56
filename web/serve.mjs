// Serves the built site on localhost only, with the page's security headers:
//   node serve.mjs [--port=8080] [--root=DIR]
import { createReadStream } from 'node:fs';
import { stat } from 'node:fs/promises';
import { createServer } from 'node:http';
import { extname, join, normalize } from 'node:path';
import { fileURLToPath } from 'node:url';

const TYPES = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript; charset=utf-8',
  '.css': 'text/css; charset=utf-8', '.wasm': 'application/wasm', '.svg': 'image/svg+xml',
  '.png': 'image/png', '.webmanifest': 'application/manifest+json',
};
const HEADERS = {
  'Content-Security-Policy': "default-src 'self'; script-src 'self' 'wasm-unsafe-eval'; " +
    "style-src 'self'; img-src 'self'; connect-src 'self'; worker-src 'self'; manifest-src 'self'; " +
    "object-src 'none'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'",
  'X-Content-Type-Options': 'nosniff',
  'Referrer-Policy': 'no-referrer',
  'Cache-Control': 'no-cache',
};

export function serve({ port = 8080, root = fileURLToPath(new URL('../build-web/site', import.meta.url)) } = {}) {
  const server = createServer(async (request, response) => {
    const path = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
    let file = normalize(join(root, path));
    if (!file.startsWith(root)) return end(response, 403);
    try {
      if ((await stat(file)).isDirectory()) file = join(file, 'index.html');
      await stat(file);
    } catch {
      return end(response, 404);
    }
    response.writeHead(200, { ...HEADERS, 'Content-Type': TYPES[extname(file)] ?? 'application/octet-stream' });
    if (request.method === 'HEAD') return response.end();
    createReadStream(file).pipe(response);
  });
  return new Promise((resolve) => server.listen(port, '127.0.0.1', () => resolve(server)));
}

function end(response, status) {
  response.writeHead(status, HEADERS).end();
}

if (process.argv[1] === fileURLToPath(import.meta.url)) {
  const option = (name) => process.argv.find((arg) => arg.startsWith(`--${name}=`))?.split('=')[1];
  const server = await serve({ port: Number(option('port') ?? 8080), ...(option('root') && { root: option('root') }) });
  console.log(`ぽこぺん: http://localhost:${server.address().port}/ (Ctrl+C to stop)`);
}
