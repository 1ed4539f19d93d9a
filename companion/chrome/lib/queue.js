// The events waiting for the host. An event stays until the host has acknowledged it;
// a temporary failure resends the same event later; an event captured under an epoch
// the host no longer holds is dropped, never stamped again with the new one (that would
// store what the user has just withdrawn consent for). Pure: every operation returns a
// new queue and what happened.
(function (root) {
  'use strict';

  const LIMIT = 400;
  const FIRST_BACKOFF_MS = 1000;
  const MAX_BACKOFF_MS = 5 * 60 * 1000;
  // The host refuses events observed more than a day ago; give up a little before.
  const MAX_AGE_MS = 23 * 3600 * 1000;
  const MAX_ANCHORS = 20;

  function backoffMs(attempts) {
    return Math.min(MAX_BACKOFF_MS, FIRST_BACKOFF_MS * 2 ** Math.max(0, attempts - 1));
  }

  function sameStream(a, b) {
    if (a.kind !== b.kind || a.captureEpoch !== b.captureEpoch) return false;
    if (a.kind === 'video.transcript') return a.source.id === b.source.id;
    return a.payload.sessionId === b.payload.sessionId;
  }

  // A session delta carries running totals and every range of its session, so it
  // supersedes a queued delta of the same session; an article delta keeps the anchors
  // of the one it replaces (a delta names only the sections seen so far, at most 20).
  function enqueue(queue, event, limit = LIMIT) {
    let carried = [];
    const kept = queue.filter((entry) => {
      if (!sameStream(entry.event, event)) return true;
      if (event.kind === 'article.session_delta') carried = carried.concat(entry.event.payload.anchors || []);
      return false;
    });
    let next = event;
    if (carried.length) {
      const anchors = [];
      const seen = new Set();
      for (const a of carried.concat(event.payload.anchors || [])) {
        if (seen.has(a.locator) || anchors.length === MAX_ANCHORS) continue;
        seen.add(a.locator);
        anchors.push(a);
      }
      next = { ...event, payload: { ...event.payload, anchors } };
    }
    kept.push({ event: next, attempts: 0, nextAt: 0 });
    const dropped = Math.max(0, kept.length - limit);
    return { queue: kept.slice(dropped), dropped };
  }

  // Only events captured under `epoch` may still be sent.
  function keepEpoch(queue, epoch) {
    const kept = queue.filter((entry) => entry.event.captureEpoch === epoch);
    return { queue: kept, dropped: queue.length - kept.length };
  }

  function expire(queue, nowMs) {
    const kept = queue.filter((entry) => nowMs - Date.parse(entry.event.observedAt) < MAX_AGE_MS);
    return { queue: kept, dropped: queue.length - kept.length };
  }

  // The first event due to be sent, or null; `waitMs` is how long until one is.
  function next(queue, nowMs) {
    let waitMs = null;
    for (const entry of queue) {
      if (entry.nextAt <= nowMs) return { entry, waitMs: 0 };
      waitMs = waitMs === null ? entry.nextAt - nowMs : Math.min(waitMs, entry.nextAt - nowMs);
    }
    return { entry: null, waitMs };
  }

  // What the host's reply to the event `eventId` means for the queue.
  // outcome: 'stored' | 'refused' | 'retry' | 'stale'; refreshState: read the state again.
  function applyReply(queue, eventId, reply, nowMs) {
    const index = queue.findIndex((entry) => entry.event.eventId === eventId);
    const without = queue.filter((_, i) => i !== index);
    const status = reply && reply.status;
    const isAck = reply && reply.type === 'ack';
    if (isAck && (status === 'accepted' || status === 'duplicate')) {
      return { queue: without, outcome: 'stored', refreshState: false };
    }
    if (isAck && status === 'stale_epoch') return { queue: without, outcome: 'stale', refreshState: true };
    if (isAck && status === 'disabled') return { queue: without, outcome: 'refused', refreshState: true };
    if (status === 'retry') {
      if (index < 0) return { queue, outcome: 'retry', refreshState: false };
      const entry = queue[index];
      const attempts = entry.attempts + 1;
      const updated = { ...entry, attempts, nextAt: nowMs + backoffMs(attempts) };
      return { queue: queue.map((e, i) => (i === index ? updated : e)), outcome: 'retry', refreshState: false };
    }
    // Malformed for the host: sending it again cannot help.
    return { queue: without, outcome: 'refused', refreshState: false };
  }

  const api = { LIMIT, MAX_AGE_MS, backoffMs, enqueue, keepEpoch, expire, next, applyReply };
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.BrellQueue = api;
})(globalThis);
