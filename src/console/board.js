'use strict';

// The console's board: pen strokes, touch points and eraser contacts in hub
// coordinates, fading as they age, with the window in use as a dashed frame.
// A classic script loaded before console.js, with which it shares the page's
// globals: it uses that script's $, text and element, but only once the page
// has loaded; console.js hands it the pen, touch and eraser messages through
// boardInput, and the window from /status.

const HUB_RANGE = 32767;
const FADE_MS = 10000;
const PEN_COLOURS = ['#c62828', '#1565c0', '#2e7d32', '#ef6c00', '#6a1b9a', '#00838f', '#ad1457', '#4e342e'];

function windowInHubCoordinates(w, screen) {
  if (!w || screen.width <= 0 || screen.height <= 0) return null;
  return {
    x: w.x * HUB_RANGE / screen.width, y: w.y * HUB_RANGE / screen.height,
    width: w.width * HUB_RANGE / screen.width, height: w.height * HUB_RANGE / screen.height,
  };
}

const board = {
  canvas: null,
  context: null,
  marks: [], // {kind, pen, x0, y0, x1, y1, w, h, time}
  pens: new Map(), // pen id to its last point {x, y, tip, time}
  window: null,
  scheduled: false,

  start() {
    this.canvas = $('board');
    this.context = this.canvas.getContext('2d');
    new ResizeObserver(() => this.resize()).observe(this.canvas);
    this.resize();
  },

  resize() {
    const ratio = window.devicePixelRatio || 1;
    const width = Math.max(1, Math.round(this.canvas.clientWidth * ratio));
    const height = Math.max(1, Math.round(this.canvas.clientHeight * ratio));
    if (this.canvas.width !== width || this.canvas.height !== height) {
      this.canvas.width = width;
      this.canvas.height = height;
    }
    this.requestDraw();
  },

  colour(pen) {
    return PEN_COLOURS[(pen - 1 + PEN_COLOURS.length) % PEN_COLOURS.length];
  },

  pen(id, x, y, tip) {
    const now = performance.now();
    const last = this.pens.get(id);
    if (tip && last && last.tip) {
      this.marks.push({kind: 'stroke', pen: id, x0: last.x, y0: last.y, x1: x, y1: y, time: now});
    } else if (tip) {
      this.marks.push({kind: 'dot', pen: id, x0: x, y0: y, time: now});
    }
    if (!this.pens.has(id)) showLegend(id);
    this.pens.set(id, {x, y, tip, time: now});
    this.requestDraw();
  },

  contact(kind, id, x, y, w, h, down) {
    if (down) this.marks.push({kind, pen: id, x0: x, y0: y, w, h, time: performance.now()});
    this.requestDraw();
  },

  requestDraw() {
    if (this.scheduled || !this.context) return;
    this.scheduled = true;
    requestAnimationFrame(() => this.draw());
  },

  draw() {
    this.scheduled = false;
    const c = this.context;
    const {width, height} = this.canvas;
    const sx = width / HUB_RANGE;
    const sy = height / HUB_RANGE;
    const now = performance.now();
    this.marks = this.marks.filter((m) => now - m.time < FADE_MS);
    c.clearRect(0, 0, width, height);
    c.lineCap = 'round';
    c.lineJoin = 'round';
    const unit = Math.max(1, width / 400);
    if (this.window) {
      c.globalAlpha = 1;
      c.setLineDash([6 * unit, 4 * unit]);
      c.strokeStyle = '#5f6b7a';
      c.lineWidth = unit;
      c.strokeRect(this.window.x * sx, this.window.y * sy, this.window.width * sx, this.window.height * sy);
      c.setLineDash([]);
    }
    for (const m of this.marks) {
      c.globalAlpha = 1 - (now - m.time) / FADE_MS;
      if (m.kind === 'stroke') {
        c.strokeStyle = this.colour(m.pen);
        c.lineWidth = 3 * unit;
        c.beginPath();
        c.moveTo(m.x0 * sx, m.y0 * sy);
        c.lineTo(m.x1 * sx, m.y1 * sy);
        c.stroke();
      } else if (m.kind === 'dot') {
        c.fillStyle = this.colour(m.pen);
        c.beginPath();
        c.arc(m.x0 * sx, m.y0 * sy, 2 * unit, 0, 2 * Math.PI);
        c.fill();
      } else if (m.kind === 'touch') {
        c.strokeStyle = '#37474f';
        c.lineWidth = unit;
        c.beginPath();
        c.arc(m.x0 * sx, m.y0 * sy, 6 * unit, 0, 2 * Math.PI);
        c.stroke();
      } else if (m.kind === 'eraser') {
        c.fillStyle = '#f48fb1';
        const w = Math.max(m.w * sx, 8 * unit);
        const h = Math.max(m.h * sy, 8 * unit);
        c.fillRect(m.x0 * sx - w / 2, m.y0 * sy - h / 2, w, h);
      }
    }
    c.globalAlpha = 1;
    for (const [id, p] of this.pens) {
      if (p.tip || now - p.time > FADE_MS) continue;
      c.strokeStyle = this.colour(id);
      c.lineWidth = unit;
      c.beginPath();
      c.arc(p.x * sx, p.y * sy, 5 * unit, 0, 2 * Math.PI);
      c.stroke();
    }
    if (this.marks.length) this.requestDraw();
  },
};

function showLegend(pen) {
  const item = element('li', 'pen ' + pen);
  const swatch = element('span', '', 'swatch');
  swatch.style.background = board.colour(pen);
  item.prepend(swatch);
  $('legend').append(item);
}

// Pen, touch and eraser messages, among the handlers of console.js.
const boardInput = {
  pen(f) {
    board.pen(Number(f[2]), Number(f[4]), Number(f[5]), f[6] === '1');
    text('last-input', 'Pen ' + f[2] + ' at ' + f[4] + ', ' + f[5] + (f[6] === '1' ? ', tip down' : ', tip up'));
  },
  touch(f) {
    for (const point of f.slice(3)) {
      const [id, x, y, down] = point.split(':').map(Number);
      board.contact('touch', id, x, y, 0, 0, down);
    }
    text('last-input', 'Touch: ' + f.slice(3).join(' '));
  },
  eraser(f) {
    for (const contact of f.slice(3)) {
      const [id, x, y, w, h, down] = contact.split(':').map(Number);
      board.contact('eraser', id, x, y, w, h, down);
    }
    text('last-input', 'Eraser: ' + f.slice(3).join(' '));
  },
};
