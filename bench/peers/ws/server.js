'use strict';
// Benchmark peer: a broadcast server on Node's `ws` over TLS, doing the
// relay's job in the plainest way: every pen sample triggered on the control
// socket goes as one text frame to every client, in the relay's wire form.
//
//   node server.js --port P --control SOCKET --cert FILE --key FILE [--address A]
//
// Control socket: one command per line, one reply line each, as the hub
// simulator's: `pen HUB ID X Y TIP BARREL [EVENT]`, `stroke HUB ID X0 Y0 X1
// Y1 STEPS` and `ping`.

const fs = require('fs');
const https = require('https');
const net = require('net');
const { WebSocketServer } = require('ws');

function options(argv) {
  const o = { address: '127.0.0.1' };
  for (let i = 2; i + 1 < argv.length; i += 2) o[argv[i].replace(/^--/, '')] = argv[i + 1];
  for (const name of ['port', 'control', 'cert', 'key']) {
    if (!o[name]) {
      console.error(`--${name} is required`);
      process.exit(2);
    }
  }
  return o;
}

const o = options(process.argv);
const server = https.createServer({ cert: fs.readFileSync(o.cert), key: fs.readFileSync(o.key) });
const wss = new WebSocketServer({
  server,
  perMessageDeflate: false,
  handleProtocols: (protocols) => (protocols.has('relay-protocol') ? 'relay-protocol' : false),
});

wss.on('connection', (ws) => {
  ws.send('o');
  // The clients' screen and window messages: nothing to filter here.
  ws.on('message', () => {});
  ws.on('error', () => {});
});

function broadcast(text) {
  for (const client of wss.clients) {
    if (client.readyState === 1) client.send(text);
  }
}

function pen(id, x, y, tip, barrel) {
  broadcast(`${o.address},pen,${id},${Date.now()},${x},${y},${tip ? 1 : 0},${barrel ? 1 : 0}`);
}

function integer(word) {
  return /^-?\d+$/.test(word) ? Number(word) : NaN;
}

function execute(line) {
  const w = line.split(/ +/);
  const n = w.slice(1).map(integer);
  if (w[0] === 'ping') return 'ok pong';
  if (w[0] === 'pen' && (w.length === 7 || w.length === 8) && !n.some(Number.isNaN)) {
    pen(n[1], n[2], n[3], n[4] !== 0, n[5] !== 0);
    return 'ok';
  }
  if (w[0] === 'stroke' && w.length === 8 && !n.some(Number.isNaN) && n[6] >= 1 && n[6] <= 10000) {
    const [, id, x0, y0, x1, y1, steps] = n;
    // Samples spread evenly from the first point to the last, both included,
    // then the tip lifts at the last point: as the hub simulator does.
    const span = steps > 1 ? steps - 1 : 1;
    for (let i = 0; i < steps; ++i) {
      pen(id, x0 + Math.trunc(((x1 - x0) * i) / span), y0 + Math.trunc(((y1 - y0) * i) / span), true, false);
    }
    pen(id, x1, y1, false, false);
    return 'ok';
  }
  return `error unknown or malformed command: ${line}`;
}

const control = net.createServer((socket) => {
  let pending = '';
  socket.setEncoding('utf8');
  socket.on('data', (data) => {
    pending += data;
    let end;
    while ((end = pending.indexOf('\n')) >= 0) {
      const line = pending.slice(0, end).replace(/\r$/, '');
      pending = pending.slice(end + 1);
      socket.write(execute(line) + '\n');
    }
  });
  socket.on('error', () => {});
});

try {
  fs.unlinkSync(o.control);
} catch (e) {
  // No stale socket.
}
control.listen(o.control);
server.listen(Number(o.port), '127.0.0.1');
setInterval(() => broadcast(`${o.address},keepAlive5`), 5000);
process.on('SIGTERM', () => process.exit(0));
