// The service worker owns the one port to the native host. Pages report what they
// observe; the worker decides from the host's last state whether it may be kept, stamps
// it (event id, capture epoch, time) and queues it in extension storage until the host
// acknowledges it.
importScripts('lib/ranges.js', 'lib/pages.js', 'lib/events.js', 'lib/queue.js');

const HOST_NAME = 'dev.brell.memory';
const REQUEST_TIMEOUT_MS = 15000;
const STATE_REFRESH_MS = 10000;
const RECONNECT_MAX_MS = 60000;
const ARTICLE_SCRIPT_ID = 'brell-article';
const ARTICLE_FILES = ['lib/pages.js', 'lib/events.js', 'content/article.js'];

const Events = globalThis.BrellEvents;
const Queue = globalThis.BrellQueue;
const Pages = globalThis.BrellPages;

let port = null;
let pending = []; // requests awaiting their reply, in the order sent (the host answers in order)
let state = null; // the host's last state reply, kept across restarts of the worker
let fresh = false; // whether `state` came over the current port
let hostError = null; // why the host cannot be reached, when it cannot
let reconnectAttempts = 0;
let reconnectTimer = null;
let pumpTimer = null;
let refreshTimer = null;
let pumping = false;
let storageChain = Promise.resolve();
let requestCounter = 0;
let recentReplies = []; // the host's last answers to events, for the popup and for tests

// --- storage: one writer at a time -------------------------------------------------

function withStore(change) {
  const run = storageChain.then(async () => {
    const stored = await chrome.storage.local.get({ queue: [], dropped: 0 });
    const result = change(stored.queue);
    if (result) {
      await chrome.storage.local.set({ queue: result.queue, dropped: stored.dropped + (result.dropped || 0) });
    }
    return result;
  });
  storageChain = run.catch(() => {});
  return run;
}

// --- the native port ----------------------------------------------------------------

function connect() {
  if (port) return;
  clearTimeout(reconnectTimer);
  reconnectTimer = null;
  let p;
  try {
    p = chrome.runtime.connectNative(HOST_NAME);
  } catch (e) {
    disconnected(String(e && e.message));
    return;
  }
  port = p;
  p.onMessage.addListener((reply) => {
    const request = pending.shift();
    if (request) {
      clearTimeout(request.timer);
      request.resolve(reply);
    }
  });
  p.onDisconnect.addListener(() => {
    if (port !== p) return;
    const why = chrome.runtime.lastError && chrome.runtime.lastError.message;
    disconnected(why || 'The BRELL host closed the connection.');
  });
  hello();
}

function disconnected(why) {
  port = null;
  fresh = false;
  hostError = why;
  for (const request of pending.splice(0)) {
    clearTimeout(request.timer);
    request.reject(new Error(why));
  }
  clearTimeout(refreshTimer);
  reconnectAttempts += 1;
  const wait = Math.min(RECONNECT_MAX_MS, 1000 * 2 ** Math.min(6, reconnectAttempts - 1));
  clearTimeout(reconnectTimer);
  reconnectTimer = setTimeout(connect, wait);
}

function request(message) {
  if (!port) return Promise.reject(new Error(hostError || 'The BRELL host is not connected.'));
  return new Promise((resolve, reject) => {
    const entry = { resolve, reject, timer: null };
    entry.timer = setTimeout(() => {
      // A host that stops answering is restarted: replies are matched by order.
      const p = port;
      if (p) {
        port = null;
        p.disconnect();
      }
      disconnected('The BRELL host stopped answering.');
    }, REQUEST_TIMEOUT_MS);
    pending.push(entry);
    try {
      port.postMessage(message);
    } catch (e) {
      disconnected(String(e && e.message));
    }
  });
}

function nextRequestId() {
  requestCounter += 1;
  return 'r' + Date.now().toString(36) + '-' + requestCounter;
}

async function hello() {
  try {
    const reply = await request({ version: 1, type: 'hello', requestId: nextRequestId() });
    await applyState(reply);
  } catch {
    // disconnected() has scheduled the next attempt
  }
}

async function refreshState() {
  try {
    await applyState(await request({ version: 1, type: 'get_state', requestId: nextRequestId() }));
  } catch {}
}

async function applyState(reply) {
  if (!reply || reply.type !== 'state') {
    hostError = reply && reply.reason === 'store_unavailable' ? 'The memory database cannot be opened.' : hostError;
    scheduleRefresh();
    return;
  }
  hostError = null;
  reconnectAttempts = 0;
  state = reply;
  fresh = true;
  await chrome.storage.local.set({ lastState: reply });
  // Events of another epoch would only be refused as stale: drop them here.
  await withStore((queue) => Queue.keepEpoch(queue, reply.captureEpoch));
  await syncArticleScripts();
  scheduleRefresh();
  pump();
}

// The user changes consent in the application too; the state is read again now and then.
function scheduleRefresh() {
  clearTimeout(refreshTimer);
  refreshTimer = setTimeout(refreshState, STATE_REFRESH_MS);
}

// --- sending the queue ----------------------------------------------------------------

async function pump() {
  if (pumping || !port || !fresh) return;
  pumping = true;
  clearTimeout(pumpTimer);
  try {
    while (port && fresh) {
      await withStore((queue) => Queue.expire(queue, Date.now()));
      const { queue } = await chrome.storage.local.get({ queue: [] });
      const { entry, waitMs } = Queue.next(queue, Date.now());
      if (!entry) {
        if (waitMs !== null) pumpTimer = setTimeout(pump, waitMs);
        break;
      }
      if (entry.event.captureEpoch !== state.captureEpoch) {
        await withStore((q) => Queue.keepEpoch(q, state.captureEpoch));
        continue;
      }
      let reply;
      try {
        reply = await request(entry.event);
      } catch {
        break; // the port went down; the event stays queued
      }
      const result = await withStore((q) => Queue.applyReply(q, entry.event.eventId, reply, Date.now()));
      recentReplies = recentReplies.slice(-19).concat([{ kind: entry.event.kind, outcome: result.outcome, reply }]);
      if (result.refreshState || (reply && reply.captureEpoch !== undefined && reply.captureEpoch !== state.captureEpoch)) {
        await refreshState();
      }
    }
  } finally {
    pumping = false;
  }
}

async function enqueue(event) {
  await withStore((queue) => Queue.enqueue(queue, event));
  pump();
}

// While the host cannot be reached, pages are judged by the last state it gave: what
// they observe waits in the queue under that epoch and goes once the host is back with
// the same epoch, or is dropped when consent changed meanwhile.
const ready = chrome.storage.local.get({ lastState: null }).then((stored) => {
  if (!state) state = stored.lastState;
});

// --- pages --------------------------------------------------------------------------

function captureView(kind, url) {
  if (!state) return { capture: false, epoch: null, reason: hostError ? 'host_unreachable' : 'no_state' };
  if (kind === 'video') {
    return {
      capture: Events.mayCaptureVideo(state),
      epoch: state.captureEpoch,
      minWallMs: state.minVideoWallMs,
    };
  }
  const approved = Events.approvedOrigin(state, Pages.originOf(url));
  return {
    capture: Boolean(approved) && Boolean(Pages.articleAddress(url)),
    epoch: state.captureEpoch,
    indexText: approved ? approved.indexText !== false : false,
    minWallMs: state.minArticleWallMs,
  };
}

// A page reports under the epoch its session began in. When that is no longer the
// host's epoch, nothing of the session is sent: the page starts a new one.
async function observed(message, sender) {
  const kind = message.kind;
  const view = captureView(kind === 'article.session_delta' ? 'article' : 'video', sender.url || '');
  if (!view.capture || view.epoch !== message.epoch) return { accepted: false, ...view };
  if (kind === 'article.session_delta' && !view.indexText && message.payload.extraction) {
    delete message.payload.extraction;
  }
  if (!Events.passesThreshold(kind, message.payload, state)) return { accepted: false, ...view, below: true };
  const event = Events.ingest(kind, message.epoch, message.source, message.payload, {
    nowMs: Date.now(),
    newId: () => crypto.randomUUID(),
  });
  await enqueue(event);
  return { accepted: true, ...view };
}

// Article scripts run only on approved origins the browser has granted us.
async function syncArticleScripts() {
  const origins = [];
  for (const o of (state && Events.capturing(state) && state.origins) || []) {
    const pattern = o.origin + '/*';
    if (await chrome.permissions.contains({ origins: [pattern] })) origins.push(pattern);
  }
  const existing = await chrome.scripting.getRegisteredContentScripts({ ids: [ARTICLE_SCRIPT_ID] });
  const current = existing.length ? [...existing[0].matches].sort().join(' ') : null;
  if (current === [...origins].sort().join(' ')) return;
  if (existing.length) await chrome.scripting.unregisterContentScripts({ ids: [ARTICLE_SCRIPT_ID] });
  if (origins.length) {
    await chrome.scripting.registerContentScripts([
      { id: ARTICLE_SCRIPT_ID, matches: origins, js: ARTICLE_FILES, runAt: 'document_idle', persistAcrossSessions: false },
    ]);
  }
}

// --- the popup ------------------------------------------------------------------------

async function popupStatus(url) {
  const stored = await chrome.storage.local.get({ queue: [], dropped: 0 });
  const status = {
    connected: Boolean(port && fresh),
    hostError,
    state,
    queued: stored.queue.length,
    dropped: stored.dropped,
    page: null,
  };
  if (url) {
    const videoId = Pages.youtubeVideoId(url);
    const origin = Pages.originOf(url);
    status.page = {
      kind: videoId ? 'video' : origin ? 'article' : 'other',
      origin,
      approved: Boolean(state && origin && (state.origins || []).some((o) => o.origin === origin)),
      seen: null,
    };
    if (port && fresh && origin) {
      try {
        status.page.seen = await request({ version: 1, type: 'seen', url, requestId: nextRequestId() });
      } catch {}
    }
  }
  return status;
}

async function approve(origin, tabId) {
  const reply = await request({ version: 1, type: 'approve_origin', origin, requestId: nextRequestId() });
  await applyState(reply);
  if (reply.type === 'state' && !reply.error && tabId !== undefined) {
    try {
      await chrome.scripting.executeScript({ target: { tabId }, files: ARTICLE_FILES });
    } catch {}
  }
  return reply;
}

async function revoke(origin) {
  const reply = await request({ version: 1, type: 'revoke_origin', origin, requestId: nextRequestId() });
  await applyState(reply);
  try {
    await chrome.permissions.remove({ origins: [origin + '/*'] });
  } catch {}
  await syncArticleScripts();
  return reply;
}

chrome.runtime.onMessage.addListener((message, sender, reply) => {
  const work = (async () => {
    await ready;
    switch (message && message.type) {
      case 'page.view':
        return captureView(message.kind, sender.url || '');
      case 'page.observed':
        return observed(message, sender);
      case 'popup.status':
        // Someone is looking: try the host now rather than at the next back-off step.
        if (!port) connect();
        return popupStatus(message.url);
      case 'popup.approve':
        return approve(message.origin, message.tabId);
      case 'popup.revoke':
        return revoke(message.origin);
      default:
        return { error: 'unknown message' };
    }
  })();
  work.then(reply, (e) => reply({ error: String(e && e.message) }));
  return true;
});

chrome.permissions.onAdded.addListener(() => syncArticleScripts());
chrome.permissions.onRemoved.addListener(() => syncArticleScripts());

connect();
