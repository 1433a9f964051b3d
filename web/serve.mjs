// Serves a static folder on localhost with the headers that make the page cross-origin isolated.
// Usage: node web/serve.mjs [--no-isolation] [--port N] DIR
// --no-isolation leaves the headers out, as a plain static host would (the page then relies on
// its service worker). Ctrl+C stops it.
import {createServer} from 'node:http';
import {readFile, stat} from 'node:fs/promises';
import {extname, join, normalize, resolve, sep} from 'node:path';

const types = {
  '.html': 'text/html; charset=utf-8', '.js': 'text/javascript; charset=utf-8', '.mjs': 'text/javascript',
  '.wasm': 'application/wasm', '.png': 'image/png', '.json': 'application/json',
};

const args = process.argv.slice(2);
let port = 8000, isolation = true, root = null;
for (let i = 0; i < args.length; i++) {
  if (args[i] === '--no-isolation') isolation = false;
  else if (args[i] === '--port') port = Number(args[++i]);
  else if (args[i] === '--help') {
    console.log('usage: node web/serve.mjs [--no-isolation] [--port N] DIR');
    process.exit(0);
  } else root = resolve(args[i]);
}
if (!root || !Number.isInteger(port)) {
  console.error('serve: usage: node web/serve.mjs [--no-isolation] [--port N] DIR');
  process.exit(2);
}

const server = createServer(async (request, response) => {
  try {
    const path = decodeURIComponent(new URL(request.url, 'http://localhost').pathname);
    let file = normalize(join(root, path));
    if (file !== root && !file.startsWith(root + sep)) {
      response.writeHead(403).end();
      return;
    }
    if ((await stat(file)).isDirectory()) file = join(file, 'index.html');
    const body = await readFile(file);
    const headers = {'Content-Type': types[extname(file)] || 'application/octet-stream',
                     'Content-Length': body.length, 'Cache-Control': 'no-cache'};
    if (isolation) {
      headers['Cross-Origin-Opener-Policy'] = 'same-origin';
      headers['Cross-Origin-Embedder-Policy'] = 'require-corp';
    }
    response.writeHead(200, headers);
    response.end(request.method === 'HEAD' ? undefined : body);
  } catch {
    response.writeHead(404, {'Content-Type': 'text/plain'}).end('not found\n');
  }
});
server.on('error', (e) => {
  console.error(`serve: ${e.message}`);
  process.exit(1);
});
server.listen(port, '127.0.0.1', () => {
  console.error(`serve: ${root} on http://localhost:${server.address().port}/` +
                (isolation ? '' : ' (without the isolation headers)'));
});
