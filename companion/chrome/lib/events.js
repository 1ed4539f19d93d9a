// What the host may be told and how: the consent rules read from its state reply, and
// the ingest messages built from what a page observed. Pure; the caller passes the clock
// and the id maker.
(function (root) {
  'use strict';
  const Pages = typeof require === 'function' ? require('./pages.js') : root.BrellPages;

  const LOCATOR = /^[A-Za-z0-9:._#=/-]{1,200}$/;
  const MAX_ANCHORS = 20;
  const MAX_BLOCKS = 400;
  const MAX_ARTICLE_CHARS = 20000;
  const MAX_CUES = 6000;
  const MAX_CUE_CHARS = 2000;
  const MAX_TRANSCRIPT_CHARS = 400000;

  function capturing(state) {
    return Boolean(state && state.enabled && !state.paused);
  }

  function mayCaptureVideo(state) {
    return capturing(state) && state.youtube === true;
  }

  // The approved origin's entry ({origin, indexText}) when articles there may be kept.
  function approvedOrigin(state, origin) {
    if (!capturing(state) || !Array.isArray(state.origins)) return null;
    return state.origins.find((o) => o.origin === origin) || null;
  }

  // The least viewing time worth keeping: a session is sent only from the moment it has
  // passed it (the host refuses a new session below it anyway).
  function passesThreshold(kind, payload, state) {
    if (kind === 'video.session_delta') {
      return Math.max(payload.activeWallMs || 0, payload.playedWallMs || 0) >= (state.minVideoWallMs || 0);
    }
    if (kind === 'article.session_delta') return (payload.activeWallMs || 0) >= (state.minArticleWallMs || 0);
    return true;
  }

  function oneLine(text, max) {
    if (typeof text !== 'string') return '';
    return text.split(/\s+/).filter(Boolean).join(' ').slice(0, max);
  }

  function videoTitle(pageTitle) {
    return oneLine(String(pageTitle || '').replace(/\s*-\s*YouTube\s*$/, ''), 300);
  }

  function videoSource(videoId, pageTitle) {
    const source = { id: 'youtube:' + videoId, url: Pages.watchUrl(videoId) };
    const title = videoTitle(pageTitle);
    if (title) source.title = title;
    return source;
  }

  function articleSource(pageUrl, pageTitle) {
    const address = Pages.articleAddress(pageUrl);
    if (!address) return null;
    const source = { id: 'article:' + address, url: address };
    const title = oneLine(pageTitle, 300);
    if (title) source.title = title;
    return source;
  }

  // anchors: [{locator, label}]; blocks: [{locator, text, heading?}] or null when the
  // origin keeps visits only.
  function articlePayload({ sessionId, activeWallMs, anchors, blocks }) {
    const payload = { sessionId, activeWallMs: Math.round(activeWallMs), anchors: cleanAnchors(anchors) };
    if (blocks) payload.extraction = { blocks: cleanBlocks(blocks) };
    return payload;
  }

  function cleanAnchors(anchors) {
    const out = [];
    const seen = new Set();
    for (const a of anchors || []) {
      const label = oneLine(a && a.label, 160);
      if (!a || !LOCATOR.test(a.locator) || !label || seen.has(a.locator)) continue;
      seen.add(a.locator);
      out.push({ locator: a.locator, label });
      if (out.length === MAX_ANCHORS) break;
    }
    return out;
  }

  function cleanBlocks(blocks) {
    const out = [];
    let total = 0;
    for (const b of blocks || []) {
      if (!b || !LOCATOR.test(b.locator)) continue;
      const text = String(b.text || '').trim();
      if (!text) continue;
      if (total + text.length > MAX_ARTICLE_CHARS || out.length === MAX_BLOCKS) break;
      total += text.length;
      const block = { locator: b.locator, text };
      const heading = oneLine(b.heading, 200);
      if (heading) block.heading = heading;
      out.push(block);
    }
    return out;
  }

  // cues: [{startMs, text}] in any order; chapters: [{startMs, title}].
  function transcriptPayload(cues, chapters) {
    const sorted = (cues || [])
      .map((c) => [Math.max(0, Math.round(c.startMs)), String(c.text || '').trim().slice(0, MAX_CUE_CHARS)])
      .filter(([start, text]) => Number.isFinite(start) && start <= 86400000 && text)
      .sort((a, b) => a[0] - b[0]);
    const out = [];
    let total = 0;
    for (const cue of sorted) {
      if (out.length === MAX_CUES || total + cue[1].length > MAX_TRANSCRIPT_CHARS) break;
      total += cue[1].length;
      out.push(cue);
    }
    const payload = { cues: out };
    const kept = (chapters || [])
      .map((c) => [Math.max(0, Math.round(c.startMs)), oneLine(c.title, 120)])
      .filter(([start, title]) => Number.isFinite(start) && title);
    if (kept.length) payload.chapters = kept;
    return payload;
  }

  // The envelope: a fresh id, the epoch the observation was made under, and when.
  function ingest(kind, captureEpoch, source, payload, { nowMs, newId }) {
    return {
      version: 1,
      type: 'ingest',
      eventId: newId(),
      captureEpoch,
      observedAt: new Date(nowMs).toISOString(),
      kind,
      source,
      payload,
    };
  }

  const api = {
    LOCATOR,
    capturing,
    mayCaptureVideo,
    approvedOrigin,
    passesThreshold,
    videoTitle,
    videoSource,
    articleSource,
    articlePayload,
    transcriptPayload,
    ingest,
  };
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.BrellEvents = api;
})(globalThis);
