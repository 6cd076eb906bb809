// The development server's RCON endpoint against rcon-srcds, an RCON client
// written independently of this project. CTest installs the client with
// `npm ci` first and names the server and the source folder in DEVSERVER and
// CAIRNWARD_SOURCE_DIR.
'use strict';

const { test, before, after } = require('node:test');
const assert = require('node:assert');
const { spawn } = require('node:child_process');
const fs = require('node:fs');
const os = require('node:os');
const path = require('node:path');
const readline = require('node:readline');
const Rcon = require('rcon-srcds').default;

const PASSWORD = 'interop-secret';
// Long enough for a sanitized build on a busy machine; a missing reply still fails.
const REPLY_TIMEOUT_MS = 10000;

let root;
let server;
let exited;
const events = [];
const waiters = [];

// Resolves with the first event (JSON line on standard error) that `wanted` accepts.
function awaitEvent(wanted, what) {
  const seen = events.find(wanted);
  if (seen) {
    return Promise.resolve(seen);
  }
  return withTimeout(
    new Promise((resolve) => waiters.push({ wanted, resolve })),
    60000,
    `no ${what} event`,
  );
}

function withTimeout(promise, ms, message) {
  let timer;
  const timeout = new Promise((_, reject) => {
    timer = setTimeout(() => reject(new Error(message)), ms);
  });
  return Promise.race([promise, timeout]).finally(() => clearTimeout(timer));
}

async function client() {
  const listening = await awaitEvent((e) => e.event === 'rcon_listening', 'rcon_listening');
  return new Rcon({ host: listening.address, port: listening.port });
}

before(async () => {
  root = fs.mkdtempSync(path.join(os.tmpdir(), 'cairnward-interop-'));
  fs.cpSync(path.join(process.env.CAIRNWARD_SOURCE_DIR, 'examples', 'server'), path.join(root, 'server'), {
    recursive: true,
  });
  server = spawn(
    process.env.DEVSERVER,
    ['--root', path.join(root, 'server'), '--json', '--rcon-port', '0', '--rcon-password', PASSWORD],
    { stdio: ['pipe', 'inherit', 'pipe'] },
  );
  exited = new Promise((resolve) => server.on('exit', (code) => resolve(code)));
  readline.createInterface({ input: server.stderr }).on('line', (line) => {
    let event;
    try {
      event = JSON.parse(line);
    } catch {
      process.stderr.write(`${line}\n`);
      return;
    }
    events.push(event);
    for (const waiter of waiters.filter((w) => w.wanted(event))) {
      waiters.splice(waiters.indexOf(waiter), 1);
      waiter.resolve(event);
    }
  });
  server.stdin.write('plugin load\n');
  await awaitEvent((e) => e.event === 'plugin' && e.state === 'loaded', 'plugin loaded');
});

after(async () => {
  server.stdin.end();
  assert.strictEqual(await withTimeout(exited, 60000, 'the server did not stop'), 0);
  fs.rmSync(root, { recursive: true, force: true });
});

test('a command nobody registered is answered by the server', async () => {
  const rcon = await client();
  try {
    assert.strictEqual(await rcon.authenticate(PASSWORD), true);
    assert.strictEqual(
      await withTimeout(rcon.execute('frob the knob'), REPLY_TIMEOUT_MS, 'no reply'),
      'Unknown command: frob',
    );
  } finally {
    await rcon.disconnect();
  }
});

test('the plug-in reloads its configuration and recounts over RCON', async () => {
  const rcon = await client();
  try {
    assert.strictEqual(await rcon.authenticate(PASSWORD), true);
    assert.strictEqual(
      await withTimeout(rcon.execute('cairnward.reload'), REPLY_TIMEOUT_MS, 'no reply to cairnward.reload'),
      'Reloaded config',
    );
    assert.strictEqual(
      await withTimeout(rcon.execute('UpdateStructures'), REPLY_TIMEOUT_MS, 'no reply to UpdateStructures'),
      'Updated All Structures',
    );
  } finally {
    await rcon.disconnect();
  }
});

test('a wrong password is refused', async () => {
  const rcon = await client();
  await assert.rejects(
    withTimeout(rcon.authenticate('not the password'), REPLY_TIMEOUT_MS, 'no auth response'),
    /Unable to authenticate/,
  );
});
