// Follows one viewing session of a media element from samples of its clock: the ranges
// played (all, and while the page was visible) and the wall time spent playing.
// Pure: the caller feeds samples; nothing here reads the page or the clock.
(function (root) {
  'use strict';
  const Ranges = typeof require === 'function' ? require('./ranges.js') : root.BrellRanges;

  // Slack for timer jitter when telling continuous playback from a seek.
  const JITTER_MS = 1500;
  // Ranges closer than this are one range: tick jitter, not a skip.
  const JOIN_MS = 300;

  class PlaybackTracker {
    constructor() {
      this.last = null; // { positionMs, wallMs, playing, visible }
      this.played = [];
      this.visible = [];
      this.playedWallMs = 0;
      this.visibleWallMs = 0;
    }

    // sample: { positionMs, wallMs, playing, visible, rate }
    sample(s) {
      const prev = this.last;
      this.last = { positionMs: s.positionMs, wallMs: s.wallMs, playing: s.playing, visible: s.visible };
      if (!prev || !prev.playing) return;
      const elapsed = s.wallMs - prev.wallMs;
      const advance = s.positionMs - prev.positionMs;
      if (elapsed <= 0 || advance < 0) return;
      const rate = s.rate > 0 ? s.rate : 1;
      if (advance > elapsed * Math.max(rate, 1) + JITTER_MS) return; // a seek forward
      // Wall time counts what the clock really moved, so a stalled player gains nothing.
      const wall = Math.min(elapsed, Math.round(advance / rate) + JITTER_MS);
      this.playedWallMs += wall;
      if (advance > 0) this.played = Ranges.add(this.played, [prev.positionMs, s.positionMs], JOIN_MS);
      if (prev.visible && s.visible) {
        this.visibleWallMs += wall;
        if (advance > 0) this.visible = Ranges.add(this.visible, [prev.positionMs, s.positionMs], JOIN_MS);
      }
    }

    // A jump of the media clock (seek, new source): the next sample starts afresh.
    cut() {
      if (this.last) this.last.playing = false;
    }

    totals() {
      return {
        playedRangesMs: Ranges.cap(this.played, 1000),
        rangesMs: Ranges.cap(this.visible, 1000),
        playedWallMs: Math.min(Ranges.MAX_MS, Math.round(this.playedWallMs)),
        activeWallMs: Math.min(Ranges.MAX_MS, Math.round(this.visibleWallMs)),
      };
    }
  }

  const api = { PlaybackTracker, JITTER_MS };
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.BrellPlayback = api;
})(globalThis);
