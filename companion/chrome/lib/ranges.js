// Millisecond ranges of a media timeline: [start, end] pairs, end exclusive.
// Loaded as a classic script by the extension (global BrellRanges) and by Node's tests.
(function (root) {
  'use strict';

  const MAX_MS = 86400000;

  function clean(range) {
    if (!Array.isArray(range) || range.length !== 2) return null;
    let [start, end] = range.map((v) => Math.round(Number(v)));
    if (!Number.isFinite(start) || !Number.isFinite(end)) return null;
    start = Math.max(0, Math.min(MAX_MS, start));
    end = Math.max(0, Math.min(MAX_MS, end));
    return start < end ? [start, end] : null;
  }

  // Sorted, non-overlapping ranges; ranges closer than `gapMs` join.
  function merge(ranges, gapMs = 0) {
    const sorted = ranges.map(clean).filter(Boolean).sort((a, b) => a[0] - b[0] || a[1] - b[1]);
    const out = [];
    for (const [start, end] of sorted) {
      const last = out[out.length - 1];
      if (last && start <= last[1] + gapMs) {
        last[1] = Math.max(last[1], end);
      } else {
        out.push([start, end]);
      }
    }
    return out;
  }

  function add(ranges, range, gapMs = 0) {
    return merge([...ranges, range], gapMs);
  }

  function totalMs(ranges) {
    return merge(ranges).reduce((sum, [s, e]) => sum + (e - s), 0);
  }

  // At most `limit` ranges: the smallest gaps are closed first, so the count drops
  // without forgetting where playback went.
  function cap(ranges, limit) {
    let out = merge(ranges);
    while (out.length > limit) {
      let best = 1;
      for (let i = 2; i < out.length; i++) {
        if (out[i][0] - out[i - 1][1] < out[best][0] - out[best - 1][1]) best = i;
      }
      out[best - 1] = [out[best - 1][0], out[best][1]];
      out.splice(best, 1);
    }
    return out;
  }

  const api = { MAX_MS, merge, add, totalMs, cap };
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.BrellRanges = api;
})(globalThis);
