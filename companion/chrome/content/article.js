// Articles on origins the user approved (this script is registered only there). Keeps
// the visible reading time, the sections that came into view, and — when the origin's
// text may be kept — the page's text blocks with their headings. Reports name the epoch
// their session began under, as on video pages.
(function () {
  'use strict';
  if (globalThis.__brellArticle) return;
  globalThis.__brellArticle = true;

  const Events = globalThis.BrellEvents;

  const REPORT_EVERY_MS = 10000;
  const TICK_MS = 1000;
  const BLOCK_SELECTOR = 'h1, h2, h3, h4, h5, h6, p, li, blockquote, pre, figcaption, td';
  const LOCATOR = Events.LOCATOR;

  let session = null;
  let blocks = []; // { element, locator, text, heading, headingLocator, isHeading }

  function send(message) {
    return chrome.runtime.sendMessage(message).catch(() => null);
  }

  function root() {
    return document.querySelector('article') || document.querySelector('main') || document.body;
  }

  function extract() {
    const found = [];
    let heading = null;
    let headingLocator = null;
    let index = 0;
    for (const element of root().querySelectorAll(BLOCK_SELECTOR)) {
      // Nested matches (a paragraph inside a list item) count once, as the outer block.
      if (element.parentElement && element.parentElement.closest(BLOCK_SELECTOR)) continue;
      if (element.closest('nav, header, footer, aside, form, script, style, noscript')) continue;
      const text = (element.innerText || element.textContent || '').trim();
      if (!text) continue;
      index += 1;
      const isHeading = /^H[1-6]$/.test(element.tagName);
      const id = element.id ? '#' + element.id : null;
      const locator = id && LOCATOR.test(id) ? id : 'b:' + index;
      if (isHeading) {
        heading = text;
        headingLocator = locator;
      }
      // A heading opens its own section, so it is kept with the paragraphs under it.
      found.push({ element, locator, text, heading, headingLocator, isHeading });
    }
    return found;
  }

  function newSession(view) {
    return {
      sessionId: crypto.randomUUID(),
      epoch: view.epoch === undefined ? null : view.epoch,
      indexText: view.indexText === true,
      activeMs: 0,
      lastTick: performance.now(),
      anchors: new Map(), // locator -> label, in the order first seen
      lastReported: null,
      reporting: false,
    };
  }

  // The session exists at once, so sections seen before the worker answers count.
  async function begin() {
    const started = newSession({});
    session = started;
    const view = (await send({ type: 'page.view', kind: 'article' })) || {};
    if (session === started) {
      started.epoch = view.epoch === undefined ? null : view.epoch;
      started.indexText = view.indexText === true;
    }
  }

  function tick() {
    if (!session) return;
    const now = performance.now();
    // A throttled timer must not credit time the page spent hidden or asleep.
    if (document.visibilityState === 'visible') session.activeMs += Math.min(now - session.lastTick, 5000);
    session.lastTick = now;
  }

  function inView(block) {
    if (!session) return;
    const locator = block.isHeading ? block.locator : block.headingLocator || block.locator;
    if (session.anchors.has(locator)) return;
    const label = block.isHeading ? block.text : block.heading || block.text;
    session.anchors.set(locator, label.slice(0, 160));
  }

  async function report(why) {
    if (!session || session.reporting) return;
    tick();
    const current = session;
    const anchors = Array.from(current.anchors, ([locator, label]) => ({ locator, label }));
    const payload = Events.articlePayload({
      sessionId: current.sessionId,
      activeWallMs: current.activeMs,
      anchors,
      blocks: current.indexText ? blocks.map(({ locator, text, heading }) => ({ locator, text, heading })) : null,
    });
    const key = JSON.stringify([Math.floor(current.activeMs / 1000), anchors.length]);
    if (key === current.lastReported) return;
    const source = Events.articleSource(location.href, document.title);
    if (!source) return;
    current.reporting = true;
    try {
      const answer = await send({ type: 'page.observed', kind: 'article.session_delta', epoch: current.epoch, source, payload, why });
      if (!answer || session !== current) return;
      if (answer.accepted) {
        current.lastReported = key;
      } else if (answer.epoch !== current.epoch) {
        session = newSession(answer);
      }
    } finally {
      current.reporting = false;
    }
  }

  blocks = extract();
  const observer = new IntersectionObserver(
    (entries) => {
      for (const entry of entries) {
        if (entry.isIntersecting) inView(blocks.find((b) => b.element === entry.target));
      }
    },
    { threshold: 0.5 },
  );
  for (const block of blocks) observer.observe(block.element);

  document.addEventListener('visibilitychange', () => {
    tick();
    if (document.visibilityState !== 'visible') report('hidden');
  });
  window.addEventListener('pagehide', () => report('pagehide'));
  setInterval(tick, TICK_MS);
  setInterval(() => report('interval'), REPORT_EVERY_MS);
  begin();
})();
