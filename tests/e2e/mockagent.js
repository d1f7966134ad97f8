// A stand-in for the agent on loopback: serves the inspector page, canned screenshot and
// layout answers, and records every request the page makes.
'use strict';
const http = require('http');
const fs = require('fs');
const path = require('path');
const zlib = require('zlib');

const WEBSITE = path.join(__dirname, '..', '..', 'zelvik_support_server', 'website');

function pngChunk(type, data) {
  const head = Buffer.alloc(4);
  head.writeUInt32BE(data.length);
  const body = Buffer.concat([Buffer.from(type, 'latin1'), data]);
  const crc = Buffer.alloc(4);
  crc.writeUInt32BE(zlib.crc32(body));
  return Buffer.concat([head, body, crc]);
}

// An RGB PNG of the given size; colour(y) returns the [r, g, b] of row y.
function makePng(width, height, colour) {
  const header = Buffer.alloc(13);
  header.writeUInt32BE(width, 0);
  header.writeUInt32BE(height, 4);
  header.set([8, 2], 8);
  const rows = Buffer.concat(Array.from({ length: height }, (_, y) => Buffer.from([0, ...Array(width).fill(colour(y)).flat()])));
  return Buffer.concat([Buffer.from([137, 80, 78, 71, 13, 10, 26, 10]), pngChunk('IHDR', header),
    pngChunk('IDAT', zlib.deflateSync(rows)), pngChunk('IEND', Buffer.alloc(0))]);
}

class MockAgent {
  constructor() {
    this.requests = [];
    this.answers = new Map();
    this.gates = new Map();
    this.server = http.createServer((request, response) => this.serve(request, response));
  }

  start() {
    return new Promise((resolve) => this.server.listen(0, '127.0.0.1', () => {
      this.url = 'http://127.0.0.1:' + this.server.address().port + '/';
      resolve(this);
    }));
  }

  stop() {
    this.server.closeAllConnections();
    return new Promise((resolve) => this.server.close(resolve));
  }

  // Fixed answer for a path: { status, body }.
  answer(pathName, answer) { this.answers.set(pathName, answer); }

  // Holds the answers for a path until the returned function is called.
  gate(pathName) {
    let open;
    this.gates.set(pathName, new Promise((resolve) => { open = resolve; }));
    return () => {
      this.gates.delete(pathName);
      open();
    };
  }

  setScreen(png) {
    // The size from the IHDR chunk: height, then width.
    this.answer('/getScreenShot', { body: png.toString('base64') + ',' + png.readUInt32BE(20) + ',' + png.readUInt32BE(16) });
  }

  setLayout(xml) { this.answer('/getLayoutXML', { body: xml }); }

  // Requests whose path is one of the given ones (all when none given), in arrival order.
  made(...paths) {
    return this.requests.filter((r) => paths.length === 0 || paths.includes(r.path));
  }

  clear() { this.requests.length = 0; }

  // The page's own files come as they are, without a Content-Type; the rest as plain text.
  serve(request, response) {
    const url = new URL(request.url, 'http://mock');
    const record = { path: url.pathname, query: url.search, params: [...url.searchParams], headers: request.headers, answered: false };
    this.requests.push(record);
    const file = !this.answers.has(url.pathname) && { '/': 'index.html', '/main.js': 'main.js' }[url.pathname];
    const answer = file ? { body: fs.readFileSync(path.join(WEBSITE, file)) } : this.answers.get(url.pathname) || { body: '' };
    const gate = this.gates.get(url.pathname) || Promise.resolve();
    request.resume().on('end', () => gate.then(() => {
      response.writeHead(answer.status || 200, file ? {} : { 'Content-Type': 'text/plain; charset=UTF-8' });
      response.end(answer.body, () => { record.answered = true; });
    }));
  }
}

module.exports = { MockAgent, makePng };
