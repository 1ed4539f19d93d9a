// YouTube pages: follows the page's own navigations, and on a watch page follows the
// <video> element's clock. Every report names the epoch its session began under; when
// the worker answers that the epoch moved on, the session is dropped and a new one
// begins, so nothing seen under withdrawn consent is ever reported under new consent.
(function () {
  'use strict';
  if (globalThis.__brellYouTube) return;
  globalThis.__brellYouTube = true;

  const { PlaybackTracker } = globalThis.BrellPlayback;
  const Pages = globalThis.BrellPages;
  const Events = globalThis.BrellEvents;

  const REPORT_EVERY_MS = 10000;
  const SAMPLE_EVERY_MS = 1000;

  let session = null;
  let video = null;

  function send(message) {
    return chrome.runtime.sendMessage(message).catch(() => null);
  }

  function visible() {
    return document.visibilityState === 'visible';
  }

  async function begin(videoId) {
    const view = (await send({ type: 'page.view', kind: 'video' })) || {};
    session = {
      videoId,
      sessionId: crypto.randomUUID(),
      epoch: view.epoch === undefined ? null : view.epoch,
      tracker: new PlaybackTracker(),
      lastReported: null,
      passed: false,
      transcriptSent: false,
      reporting: false,
    };
    sample();
  }

  function sample() {
    if (!session || !video) return;
    session.tracker.sample({
      positionMs: Math.round(video.currentTime * 1000),
      wallMs: performance.now(),
      playing: !video.paused && !video.ended && video.readyState >= 2,
      visible: visible(),
      rate: video.playbackRate,
    });
  }

  async function report(why) {
    if (!session || session.reporting) return;
    sample();
    const totals = session.tracker.totals();
    const key = JSON.stringify(totals);
    if (key === session.lastReported) return;
    session.reporting = true;
    const current = session;
    try {
      const payload = { sessionId: current.sessionId, ...totals };
      const answer = await send({
        type: 'page.observed',
        kind: 'video.session_delta',
        epoch: current.epoch,
        source: Events.videoSource(current.videoId, document.title),
        payload,
        why,
      });
      if (!answer || session !== current) return;
      if (answer.accepted) {
        current.lastReported = key;
        current.passed = true;
        if (!current.transcriptSent) sendTranscript(current);
      } else if (answer.epoch !== current.epoch) {
        await begin(current.videoId);
      }
    } finally {
      current.reporting = false;
    }
  }

  // --- captions ------------------------------------------------------------------------

  async function trackCues() {
    if (!video) return null;
    const tracks = Array.from(video.textTracks || []).filter((t) => t.kind === 'captions' || t.kind === 'subtitles');
    if (!tracks.length) return null;
    const track = tracks.find((t) => t.mode === 'showing') || tracks[0];
    if (track.mode === 'disabled') track.mode = 'hidden';
    for (let i = 0; i < 50 && !(track.cues && track.cues.length); i++) {
      await new Promise((r) => setTimeout(r, 200));
    }
    if (!track.cues || !track.cues.length) return null;
    return Array.from(track.cues).map((c) => ({
      startMs: c.startTime * 1000,
      text: String(c.text || '').replace(/<[^>]*>/g, ''),
    }));
  }

  // On YouTube itself the caption tracks are listed in the page's player data; their
  // timed text comes from the same site.
  async function playerCues(videoId) {
    for (const script of document.querySelectorAll('script')) {
      const text = script.textContent || '';
      if (!text.includes('"captionTracks"') || !text.includes(videoId)) continue;
      const match = text.match(/"captionTracks":(\[.*?\])/);
      if (!match) continue;
      let tracks;
      try {
        tracks = JSON.parse(match[1]);
      } catch {
        continue;
      }
      const track = tracks.find((t) => t.kind !== 'asr') || tracks[0];
      if (!track || !track.baseUrl) return null;
      const url = new URL(track.baseUrl, location.href);
      url.searchParams.set('fmt', 'json3');
      const response = await fetch(url, { credentials: 'same-origin' });
      if (!response.ok) return null;
      const data = await response.json();
      return (data.events || [])
        .filter((e) => Array.isArray(e.segs))
        .map((e) => ({ startMs: e.tStartMs || 0, text: e.segs.map((s) => s.utf8 || '').join('') }));
    }
    return null;
  }

  async function sendTranscript(current) {
    current.transcriptSent = true;
    let cues = null;
    try {
      cues = (await trackCues()) || (await playerCues(current.videoId));
    } catch {
      cues = null;
    }
    if (!cues || !cues.length || session !== current) return;
    const payload = Events.transcriptPayload(cues, []);
    if (!payload.cues.length) return;
    await send({
      type: 'page.observed',
      kind: 'video.transcript',
      epoch: current.epoch,
      source: Events.videoSource(current.videoId, document.title),
      payload,
    });
  }

  // --- the page --------------------------------------------------------------------------

  function attach(element) {
    if (element === video) return;
    video = element;
    for (const name of ['play', 'playing', 'timeupdate', 'ratechange']) video.addEventListener(name, sample);
    video.addEventListener('pause', () => report('pause'));
    video.addEventListener('seeking', () => {
      if (session) session.tracker.cut();
    });
    video.addEventListener('seeked', () => {
      sample();
      report('seek');
    });
    video.addEventListener('ended', () => report('ended'));
    video.addEventListener('emptied', () => session && session.tracker.cut());
  }

  async function follow() {
    const videoId = Pages.youtubeVideoId(location.href);
    if (session && session.videoId !== videoId) {
      await report('navigate');
      session = null;
    }
    const element = document.querySelector('video');
    if (element) attach(element);
    if (videoId && !session) await begin(videoId);
    sample();
  }

  document.addEventListener('yt-navigate-finish', follow);
  window.addEventListener('popstate', follow);
  document.addEventListener('visibilitychange', () => {
    sample();
    if (!visible()) report('hidden');
  });
  window.addEventListener('pagehide', () => report('pagehide'));
  setInterval(follow, SAMPLE_EVERY_MS);
  setInterval(() => report('interval'), REPORT_EVERY_MS);
  follow();
})();
