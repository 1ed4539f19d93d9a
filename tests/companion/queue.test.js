// The queue of events waiting for the host: kept until acknowledged, resent with
// back-off, dropped — never stamped again — when their epoch is gone.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const Queue = require('../../companion/chrome/lib/queue.js');

let counter = 0;
function event(kind, epoch, extra = {}) {
  counter += 1;
  return {
    version: 1, type: 'ingest', eventId: `e${counter}`, captureEpoch: epoch, observedAt: new Date(1e12).toISOString(), kind,
    source: { id: extra.sourceId || 'youtube:dQw4w9WgXcQ' },
    payload: { sessionId: extra.sessionId || 's1', anchors: extra.anchors },
  };
}
const ids = (queue) => queue.map((e) => e.event.eventId);

test('a later delta of the same session replaces the queued one', () => {
  const a = event('video.session_delta', 3);
  const otherSession = event('video.session_delta', 3, { sessionId: 's2' });
  const otherEpoch = event('video.session_delta', 2);
  const transcript = event('video.transcript', 3);
  let q = [a, otherSession, otherEpoch, transcript].reduce((q, e) => Queue.enqueue(q, e).queue, []);
  const b = event('video.session_delta', 3);
  q = Queue.enqueue(q, b).queue;
  assert.deepEqual(ids(q), [otherSession.eventId, otherEpoch.eventId, transcript.eventId, b.eventId]);
  const t2 = event('video.transcript', 3);
  q = Queue.enqueue(q, t2).queue;
  assert.deepEqual(ids(q), [otherSession.eventId, otherEpoch.eventId, b.eventId, t2.eventId]);
});

test('a replaced article delta hands on the sections it named', () => {
  const first = event('article.session_delta', 1, { anchors: [{ locator: 'b:1', label: 'One' }, { locator: 'b:2', label: 'Two' }] });
  const second = event('article.session_delta', 1, { anchors: [{ locator: 'b:2', label: 'Two again' }, { locator: 'b:3', label: 'Three' }] });
  const q = Queue.enqueue(Queue.enqueue([], first).queue, second).queue;
  assert.equal(q.length, 1);
  assert.equal(q[0].event.eventId, second.eventId);
  assert.deepEqual(q[0].event.payload.anchors.map((a) => a.label), ['One', 'Two', 'Three']);
  assert.deepEqual(second.payload.anchors.length, 2, 'the event given is not changed');
});

test('the queue is bounded: the oldest go first and are counted', () => {
  let q = [];
  let dropped = 0;
  for (let i = 0; i < 5; i++) {
    const r = Queue.enqueue(q, event('video.session_delta', 1, { sessionId: `s${i}` }), 3);
    q = r.queue;
    dropped += r.dropped;
  }
  assert.equal(q.length, 3);
  assert.equal(dropped, 2);
  assert.deepEqual(q.map((e) => e.event.payload.sessionId), ['s2', 's3', 's4']);
});

test('replies', async (t) => {
  const cases = [
    { reply: { type: 'ack', status: 'accepted', captureEpoch: 1 }, kept: false, outcome: 'stored', refresh: false },
    { reply: { type: 'ack', status: 'duplicate', captureEpoch: 1 }, kept: false, outcome: 'stored', refresh: false },
    { reply: { type: 'ack', status: 'stale_epoch', captureEpoch: 2 }, kept: false, outcome: 'stale', refresh: true },
    { reply: { type: 'ack', status: 'disabled', captureEpoch: 1 }, kept: false, outcome: 'refused', refresh: true },
    { reply: { type: 'ack', status: 'invalid', reason: 'ranges', captureEpoch: 1 }, kept: false, outcome: 'refused', refresh: false },
    { reply: { type: 'ack', status: 'retry', reason: 'store_busy', captureEpoch: 1 }, kept: true, outcome: 'retry', refresh: false },
    { reply: { type: 'error', status: 'retry', reason: 'store_unavailable' }, kept: true, outcome: 'retry', refresh: false },
    { reply: { type: 'error', status: 'invalid', reason: 'message_too_large' }, kept: false, outcome: 'refused', refresh: false },
    { reply: undefined, kept: false, outcome: 'refused', refresh: false },
  ];
  for (const c of cases) {
    await t.test(JSON.stringify(c.reply), () => {
      const e = event('video.session_delta', 1);
      const other = event('video.session_delta', 1, { sessionId: 'other' });
      const q = [{ event: e, attempts: 0, nextAt: 0 }, { event: other, attempts: 0, nextAt: 0 }];
      const r = Queue.applyReply(q, e.eventId, c.reply, 5000);
      assert.equal(r.outcome, c.outcome);
      assert.equal(r.refreshState, c.refresh);
      assert.deepEqual(ids(r.queue), c.kept ? [e.eventId, other.eventId] : [other.eventId]);
      if (c.kept) {
        assert.deepEqual(r.queue[0].event, e, 'the same event is resent, unchanged');
        assert.equal(r.queue[0].nextAt, 6000);
      }
    });
  }
});

test('retries back off, doubling up to five minutes', () => {
  const e = event('video.session_delta', 1);
  let q = [{ event: e, attempts: 0, nextAt: 0 }];
  const waits = [];
  for (let i = 0; i < 12; i++) {
    q = Queue.applyReply(q, e.eventId, { type: 'ack', status: 'retry' }, 0).queue;
    waits.push(q[0].nextAt);
  }
  assert.deepEqual(waits.slice(0, 5), [1000, 2000, 4000, 8000, 16000]);
  assert.equal(waits[11], 300000);
  assert.deepEqual(Queue.next(q, 299999), { entry: null, waitMs: 1 });
  assert.equal(Queue.next(q, 300000).entry.event.eventId, e.eventId);
});

test('a new epoch drops what was captured under the old one and stamps nothing again', () => {
  const old1 = event('video.session_delta', 4);
  const old2 = event('article.session_delta', 4);
  const current = event('video.session_delta', 5, { sessionId: 's9' });
  const q = [old1, old2, current].map((e) => ({ event: e, attempts: 0, nextAt: 0 }));
  const r = Queue.keepEpoch(q, 5);
  assert.equal(r.dropped, 2);
  assert.deepEqual(ids(r.queue), [current.eventId]);
  assert.equal(r.queue[0].event.captureEpoch, 5);
  assert.equal(Queue.keepEpoch(q, 6).queue.length, 0);
});

test('events too old for the host are given up', () => {
  const e = event('video.session_delta', 1);
  const q = [{ event: e, attempts: 3, nextAt: 0 }];
  const observed = Date.parse(e.observedAt);
  assert.equal(Queue.expire(q, observed + Queue.MAX_AGE_MS - 1).queue.length, 1);
  assert.deepEqual(Queue.expire(q, observed + Queue.MAX_AGE_MS), { queue: [], dropped: 1 });
});
