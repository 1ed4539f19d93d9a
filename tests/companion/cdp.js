// A small client of the browser's DevTools protocol over the pipe the browser opens
// with --remote-debugging-pipe (commands on its fd 3, replies and events on its fd 4,
// each message one JSON text ended by a NUL byte).
'use strict';

class CDP {
  constructor(input, output) {
    this.input = input;
    this.nextId = 1;
    this.waiting = new Map();
    this.listeners = [];
    let buffer = Buffer.alloc(0);
    output.on('data', (chunk) => {
      buffer = Buffer.concat([buffer, chunk]);
      let end;
      while ((end = buffer.indexOf(0)) >= 0) {
        const message = JSON.parse(buffer.subarray(0, end).toString('utf8'));
        buffer = buffer.subarray(end + 1);
        this.dispatch(message);
      }
    });
  }

  dispatch(message) {
    if (message.id !== undefined) {
      const w = this.waiting.get(message.id);
      if (!w) return;
      this.waiting.delete(message.id);
      if (message.error) w.reject(new Error(`${w.method}: ${message.error.message}`));
      else w.resolve(message.result);
      return;
    }
    for (const l of this.listeners) l(message);
  }

  send(method, params = {}, sessionId = undefined, timeoutMs = 30000) {
    const id = this.nextId++;
    const message = { id, method, params };
    if (sessionId) message.sessionId = sessionId;
    return new Promise((resolve, reject) => {
      const timer = setTimeout(() => {
        this.waiting.delete(id);
        reject(new Error(`${method}: no answer in ${timeoutMs} ms`));
      }, timeoutMs);
      this.waiting.set(id, {
        method,
        resolve: (v) => (clearTimeout(timer), resolve(v)),
        reject: (e) => (clearTimeout(timer), reject(e)),
      });
      this.input.write(JSON.stringify(message) + '\0');
    });
  }

  on(listener) {
    this.listeners.push(listener);
  }

  // Evaluates `expression` in the attached target and returns its value.
  async evaluate(sessionId, expression, { userGesture = false } = {}) {
    const r = await this.send('Runtime.evaluate', { expression, awaitPromise: true, returnByValue: true, userGesture }, sessionId);
    if (r.exceptionDetails) {
      const d = r.exceptionDetails;
      throw new Error(`evaluate failed: ${(d.exception && d.exception.description) || d.text}`);
    }
    return r.result.value;
  }
}

module.exports = { CDP };
