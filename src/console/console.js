'use strict';

// The relay's console. It reads /status every second and watches the relay's
// WebSocket. It never sends a command of its own accord: every client receives
// every reply, and the screen, window and supervision are shared with the
// classroom's application. Only a command the operator types and confirms is
// sent.

const STATUS_INTERVAL_MS = 1000;
const MESSAGE_LIMIT = 500;
const ANSWER_LIMIT = 100;
// Commas inside text fields travel as U+001F.
const ESCAPED_COMMA = '\u001f';
const DEVICE_TYPES = {3: 'slate', 4: 'vote', 5: 'expression'};
const QUESTION_TYPES = {
  multipleChoice: 'Multiple-choice', sortInOrder: 'Sort-in-order', likert: 'Likert', yesNo: 'Yes/no',
  trueFalse: 'True/false', numeric: 'Numeric', text: 'Text',
};

const $ = (id) => document.getElementById(id);

function text(id, value) {
  const element = $(id);
  if (element.textContent !== String(value)) element.textContent = value;
}

function unescapeText(value) {
  return (value || '').split(ESCAPED_COMMA).join(',');
}

function element(tag, content, className) {
  const e = document.createElement(tag);
  if (content !== undefined) e.textContent = content;
  if (className) e.className = className;
  return e;
}

function clock(date) {
  return date.toLocaleTimeString([], {hour12: false});
}

function duration(seconds) {
  const h = Math.floor(seconds / 3600);
  const m = Math.floor((seconds % 3600) / 60);
  const s = seconds % 60;
  return (h ? h + ' h ' : '') + (h || m ? m + ' min ' : '') + s + ' s';
}

// Status ---------------------------------------------------------------------

function describeQuestion(q) {
  if (!q || !q.running) return 'none';
  return (QUESTION_TYPES[q.type] || q.type) + ' question ' + q.id + ' on hub ' + q.hub + ': ' + q.answered + ' of ' + q.asked + ' answered';
}

function describeSession(s, what) {
  if (!s || !s.running) return 'none';
  return what + ' on hub ' + s.hub;
}

// listed: whether the relay had listed this console's connection when the
// reading was asked for, so that the note and the count agree.
function showStatus(status, listed) {
  text('relay-state', 'up');
  $('relay-state').className = 'good';
  text('version', status.version);
  text('uptime', duration(status.uptimeSeconds));
  text('port', status.port);
  text('address', status.address + ',');
  text('clients', status.clients);
  text('clients-note', listed ? ', this console among them' : '');
  text('hub-count', status.hubs.length);

  const body = $('hubs').tBodies[0];
  body.replaceChildren(...status.hubs.map((hub) => {
    const row = element('tr');
    for (const value of [hub.index, hub.kind, hub.virtual ? 'yes' : 'no', hub.pens, hub.touches, hub.erasers,
      hub.state, hub.voting ? 'yes' : '', hub.devices.length]) {
      row.append(element('td', String(value)));
    }
    return row;
  }));

  const s = status.sessions;
  text('question', describeQuestion(s.question));
  text('current-question', describeQuestion(s.question));
  text('enhanced', s.enhanced.running ? 'session ' + s.enhanced.id + ' on hub ' + s.enhanced.hub : 'none');
  text('registration', s.registration.running
    ? 'on hub ' + s.registration.hub + ': ' + s.registration.registered + ' of ' + s.registration.expected
    : 'none');
  const naming = [describeSession(s.teacherNaming, 'teacher'), describeSession(s.studentNaming, 'learners')]
    .filter((n) => n !== 'none');
  text('naming', naming.length ? naming.join('; ') : 'none');

  const m = status.reportModes;
  text('modes', 'pens ' + m.pen + ', touch ' + m.touch + ', erasers ' + m.eraser);
  const pens = Object.entries(m.boards.pens).map(([id, mode]) => id + ' ' + mode);
  text('board-modes', 'pens ' + (pens.length ? pens.join(', ') : 'native') + '; touch ' + m.boards.touch
    + '; erasers ' + m.boards.eraser);
  text('supervision', m.supervision ? 'on' : 'off');

  const w = status.window;
  const screen = status.screen;
  text('window', w ? w.width + '×' + w.height + ' at ' + w.x + ',' + w.y + ' on a screen of '
    + screen.width + '×' + screen.height : 'none');
  text('window-note', w ? 'The window in use is ' + w.width + '×' + w.height + ' at ' + w.x + ',' + w.y
    + ' on a screen of ' + screen.width + '×' + screen.height + ' (the dashed frame).' : 'No window is set.');

  devicesFromStatus(status.hubs);
  board.window = windowInHubCoordinates(w, screen);
  board.requestDraw();
}


let statusTimer = null;
let statusReading = false;
let statusAgain = false;

async function pollStatus() {
  clearTimeout(statusTimer);
  statusReading = true;
  statusAgain = false;
  const listed = greeted;
  try {
    const response = await fetch('/status', {cache: 'no-store'});
    if (!response.ok) throw new Error('status ' + response.status);
    showStatus(await response.json(), listed);
  } catch (e) {
    text('relay-state', 'unreachable (' + e.message + ')');
    $('relay-state').className = 'bad';
  }
  statusReading = false;
  statusTimer = setTimeout(pollStatus, statusAgain ? 100 : STATUS_INTERVAL_MS);
}

// A message that changes what /status shows brings the next reading forward;
// one that arrives during a reading, which may predate it, brings the one
// after it forward.
function statusSoon() {
  if (statusReading) {
    statusAgain = true;
    return;
  }
  clearTimeout(statusTimer);
  statusTimer = setTimeout(pollStatus, 100);
}

const STATUS_KEYWORDS = new Set(['hubConnection', 'board', 'boardDisconnect', 'hubCount', 'questionSession',
  'questionResponse', 'enhancedSessionID', 'registrationComplete', 'expressionDeviceRegistered',
  'namingSessionStatus', 'expressionName', 'removeVelaDevice', 'information', 'error']);

// Devices and answers ----------------------------------------------------------

// uid to {hub, uid, type, name, answer}
const devices = new Map();

function devicesFromStatus(hubs) {
  const seen = new Set();
  for (const hub of hubs) {
    for (const d of hub.devices) {
      seen.add(d.uid);
      const known = devices.get(d.uid) || {answer: ''};
      devices.set(d.uid, {...known, hub: hub.index, uid: d.uid, type: DEVICE_TYPES[d.type] || d.type, name: d.name});
    }
  }
  for (const uid of devices.keys()) {
    if (!seen.has(uid)) devices.delete(uid);
  }
  showDevices();
}

function device(uid) {
  uid = Number(uid);
  if (!devices.has(uid)) devices.set(uid, {hub: '', uid, type: '', name: '', answer: ''});
  return devices.get(uid);
}

function showDevices() {
  const rows = [...devices.values()].sort((a, b) => a.uid - b.uid).map((d) => {
    const row = element('tr');
    for (const value of [d.hub, d.uid, d.type, d.name, d.answer]) row.append(element('td', String(value)));
    return row;
  });
  $('devices').tBodies[0].replaceChildren(...rows);
}

function addAnswer(summary) {
  const list = $('answers');
  list.prepend(element('li', clock(new Date()) + '  ' + summary));
  while (list.children.length > ANSWER_LIMIT) list.lastChild.remove();
}


// Messages from the relay -----------------------------------------------------

const messages = []; // {time, text, keyword}
const keywords = new Set();
let messagesDirty = false;

function keywordOf(fields) {
  return fields.length > 1 ? fields[1] : fields[0];
}

function remember(textValue, keyword, sent) {
  messages.push({time: new Date(), text: textValue, keyword, sent});
  if (messages.length > MESSAGE_LIMIT) messages.splice(0, messages.length - MESSAGE_LIMIT);
  if (!keywords.has(keyword)) {
    keywords.add(keyword);
    $('keywords').append(new Option(keyword));
  }
  if (!messagesDirty) {
    messagesDirty = true;
    setTimeout(showMessages, 200);
  }
}

function showMessages() {
  messagesDirty = false;
  const filter = $('filter').value.trim().toLowerCase();
  const shown = messages.filter((m) => !filter || m.keyword.toLowerCase().includes(filter));
  const items = shown.slice().reverse().map((m) => {
    const item = element('li', '', m.sent ? 'sent' : '');
    item.append(element('time', clock(m.time)), element('span', (m.sent ? '→ ' : '') + m.text));
    return item;
  });
  $('messages').replaceChildren(...items);
  text('message-count', shown.length + ' of the last ' + MESSAGE_LIMIT);
}

const handlers = {
  ...boardInput,
  questionSession(f) {
    addAnswer(f[3] === '1' ? 'A question started.' : 'The question ended.');
  },
  questionResponse(f) {
    const d = device(f[4]);
    d.answer = unescapeText(f[6]);
    if (!d.name) d.name = unescapeText(f[5]);
    showDevices();
    addAnswer(unescapeText(f[5]) + ' (' + f[4] + ') answered question ' + f[3] + ': ' + d.answer);
  },
  questionDevices(f) {
    for (const entry of f.slice(3)) {
      const at = entry.indexOf(':');
      device(entry.slice(0, at)).name = unescapeText(entry.slice(at + 1));
    }
    showDevices();
  },
  expressionDeviceRegistered(f) {
    const d = device(f[4]);
    d.name = unescapeText(f[3]);
    showDevices();
    addAnswer('Device ' + f[4] + ' registered as ' + d.name + ' (' + f[6] + ' so far).');
  },
  expressionName(f) {
    device(f[3]).name = unescapeText(f[4]);
    showDevices();
    addAnswer('Device ' + f[3] + ' is named ' + unescapeText(f[4]) + '.');
  },
};

// Every enhanced answer: session, device, question number, answer.
for (const kind of ['Multichoice', 'YesNo', 'TrueFalse', 'Likert', 'Numeric', 'Text', 'SortInOrder']) {
  handlers['enhancedSession' + kind + 'Answer'] = (f) => {
    const d = device(f[4]);
    d.answer = unescapeText(f[6]);
    showDevices();
    addAnswer((d.name || 'Device ' + f[4]) + ' answered question ' + f[5] + ' of session ' + f[3] + ': '
      + d.answer);
  };
}

function receive(data) {
  const fields = data.split(',');
  const keyword = keywordOf(fields);
  remember(data, keyword, false);
  const handler = Object.prototype.hasOwnProperty.call(handlers, keyword) ? handlers[keyword] : null;
  if (handler) handler(fields);
  if (STATUS_KEYWORDS.has(keyword)) statusSoon();
}

// The watching connection -------------------------------------------------------

let socket = null;
let retryMs = 1000;
// The relay greets a connection with "o" once it has listed it among its
// clients.
let greeted = false;

function watch() {
  socket = new WebSocket('wss://' + location.host + '/', 'relay-protocol');
  text('watch-state', 'connecting…');
  socket.onopen = () => {
    retryMs = 1000;
    text('watch-state', 'yes');
    $('watch-state').className = 'good';
  };
  socket.onmessage = (event) => {
    if (!greeted) {
      greeted = true;
      statusSoon();
    }
    receive(String(event.data));
  };
  socket.onclose = () => {
    socket = null;
    greeted = false;
    statusSoon();
    text('watch-state', 'no, again in ' + retryMs / 1000 + ' s');
    $('watch-state').className = 'bad';
    setTimeout(watch, retryMs);
    retryMs = Math.min(retryMs * 2, 10000);
  };
}

// Commands ----------------------------------------------------------------------

let commandTable = [];

async function loadCommands() {
  try {
    const response = await fetch('/commands', {cache: 'no-store'});
    commandTable = (await response.json()).commands;
    $('command-list').replaceChildren(...commandTable.map((c) => new Option(usage(c), c.group + ',' + c.command)));
  } catch (e) {
    text('command-help', 'The command table could not be read: ' + e.message);
  }
}

// As the protocol reference writes it: hub,changeBacklight,level,colour.
function usage(row) {
  return row.group + ',' + row.command
    + row.arguments.map((a) => (a.optional ? '[,' + a.name + ']' : ',' + a.name)).join('');
}

function helpFor(value) {
  const fields = value.split(',');
  if (fields.length < 2 || !fields[1]) return 'Type a group and a command, such as hub,count: the list offers each one.';
  const row = commandTable.find((c) => c.group === fields[0] && c.command === fields[1]);
  if (!row) return 'The relay has no command ' + fields[0] + ',' + fields[1] + ': it would drop it.';
  let help = usage(row) + ': ' + row.does + (row.needsVotingHub ? ' Needs a voting hub.' : '');
  const given = fields.length - 2;
  const typing = row.arguments[given - 1];
  if (typing) {
    help += ' Argument ' + given + ', ' + typing.name + ' (' + typing.type + ', ' + typing.range + '): '
      + typing.meaning + '.';
  }
  if (given < row.least) {
    help += ' It needs at least ' + row.least + ' argument' + (row.least === 1 ? '' : 's') + ' (' + given
      + ' so far): the relay drops it with fewer.';
  }
  return help;
}

function startCommands() {
  const input = $('command');
  const dialog = $('confirm');
  input.addEventListener('input', () => text('command-help', input.value ? helpFor(input.value) : ''));
  $('command-form').addEventListener('submit', (event) => {
    event.preventDefault();
    const command = input.value.trim();
    if (!command) return;
    if (!socket || socket.readyState !== WebSocket.OPEN) {
      text('command-help', 'Not connected to the relay: nothing was sent.');
      return;
    }
    text('confirm-text', command);
    dialog.showModal();
    $('confirm-cancel').focus();
  });
  $('confirm-cancel').addEventListener('click', () => dialog.close());
  $('confirm-send').addEventListener('click', () => {
    const command = $('confirm-text').textContent;
    dialog.close();
    if (socket && socket.readyState === WebSocket.OPEN) {
      socket.send(command);
      remember(command, keywordOf(['', ...command.split(',')]), true);
      text('command-help', 'Sent ' + command + ' at ' + clock(new Date()) + '.');
    } else {
      text('command-help', 'Not connected to the relay: nothing was sent.');
    }
    input.focus();
  });
  dialog.addEventListener('close', () => input.focus());
}

document.addEventListener('DOMContentLoaded', () => {
  board.start();
  $('filter').addEventListener('input', showMessages);
  startCommands();
  loadCommands();
  pollStatus();
  watch();
});
