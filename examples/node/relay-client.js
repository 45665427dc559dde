#!/usr/bin/env node
// A minimal VelaRelay client in Node.js.
//
// It trusts the relay's authority, connects with the relay-protocol
// subprotocol, tells the relay the screen and the window (without both no pen
// input arrives), prints pen samples, answers and the relay's other messages,
// and sends each line typed on standard input as a command. End it with Ctrl-D.
//
//   NODE_PATH=/usr/share/nodejs node examples/node/relay-client.js --cert build/bin/ssl/velarelay-ca.crt
//
// Needs the ws package: Debian's node-ws (NODE_PATH lets a Node.js from
// elsewhere find it) or `npm install ws`. The protocol is described in
// docs/protocol.md.
'use strict';

const fs = require('fs');
const readline = require('readline');
const WebSocket = require('ws');

const UNIT_SEPARATOR = '\x1f'; // a comma inside a text field

function option(name, fallback) {
  const at = process.argv.indexOf(name);
  return at > 0 && at + 1 < process.argv.length ? process.argv[at + 1] : fallback;
}

const host = option('--host', '127.0.0.1');
const port = Number(option('--port', '9082'));
const cert = option('--cert', 'build/bin/ssl/velarelay-ca.crt');
const [width, height] = option('--screen', '1920x1080').split('x').map(Number);

const text = (field) => field.split(UNIT_SEPARATOR).join(',');

// One printed line for a message, or null for the relay's heartbeat.
function describe(message) {
  // fields[0] is the relay's own address, the same in every message.
  const [, keyword, ...rest] = message.split(',');
  switch (keyword) {
    case 'keepAlive5':
      return null;
    case 'pen': {
      const [pen, , x, y, tip] = rest;
      return `pen ${pen} at ${x},${y} ${tip === '1' ? 'down' : 'up'}`;
    }
    case 'board':
      return `board: ${rest[2]} pens, ${rest[1]} touch points`;
    case 'questionSession':
      return rest[1] === '1' ? 'question open' : 'question closed';
    case 'questionResponse': {
      const [, question, uid, name, response] = rest;
      return `answer to question ${question} from ${text(name)} (${uid}): ${text(response)}`;
    }
    default:
      return `${keyword}: ${rest.slice(1).join(',')}`;
  }
}

// Trust the authority of the relay's machine, and only it.
const url = `wss://${host}:${port}`;
const ws = new WebSocket(url, 'relay-protocol', { ca: fs.readFileSync(cert) });
let greeted = false;

ws.on('message', (data) => {
  const message = data.toString();
  if (!greeted) {
    if (message !== 'o') {
      console.error(`${url} is not a VelaRelay: it said ${JSON.stringify(message)}`);
      process.exit(1);
    }
    greeted = true;
    // The window is one setting for every client of the relay: this client
    // asks for the whole screen. An application sends its own window's
    // rectangle, and again whenever the window moves.
    ws.send(`screen,size,${width},${height}`);
    ws.send(`window,position,0,0,${width},${height}`);
    // Commands are carried out in order, so once this is answered the screen
    // and window are set.
    ws.send('board,touchAndPenCount');
    const typed = readline.createInterface({ input: process.stdin });
    typed.on('line', (line) => line && ws.send(line));
    typed.on('close', () => ws.close());
    return;
  }
  const line = describe(message);
  if (line) console.log(line);
});

ws.on('close', (code) => process.exit(code === 1000 || code === 1005 ? 0 : 1));
ws.on('error', (error) => {
  console.error(`${url}: ${error.message}`);
  process.exit(1);
});
