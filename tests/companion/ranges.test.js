// Range arithmetic and the playback tracker that feeds it.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const Ranges = require('../../companion/chrome/lib/ranges.js');
const { PlaybackTracker } = require('../../companion/chrome/lib/playback.js');

test('merge', async (t) => {
  const cases = [
    { name: 'overlapping and unsorted', in: [[5000, 9000], [0, 6000]], gap: 0, out: [[0, 9000]] },
    { name: 'touching ranges join', in: [[0, 1000], [1000, 2000]], gap: 0, out: [[0, 2000]] },
    { name: 'a gap above the allowance stays', in: [[0, 1000], [1301, 2000]], gap: 300, out: [[0, 1000], [1301, 2000]] },
    { name: 'a gap within the allowance closes', in: [[0, 1000], [1300, 2000]], gap: 300, out: [[0, 2000]] },
    { name: 'contained range', in: [[0, 10000], [2000, 3000]], gap: 0, out: [[0, 10000]] },
    { name: 'empty, reversed and malformed dropped', in: [[5, 5], [9, 3], [1], 'x', [NaN, 4], [1, 2]], gap: 0, out: [[1, 2]] },
    { name: 'clamped to a day', in: [[-50, 20], [86399999, 86500000]], gap: 0, out: [[0, 20], [86399999, 86400000]] },
    { name: 'fractions rounded', in: [[0.4, 999.6]], gap: 0, out: [[0, 1000]] },
  ];
  for (const c of cases) {
    await t.test(c.name, () => assert.deepEqual(Ranges.merge(c.in, c.gap), c.out));
  }
});

test('merge leaves its input alone', () => {
  const input = [[0, 10], [5, 20]];
  Ranges.merge(input);
  assert.deepEqual(input, [[0, 10], [5, 20]]);
});

test('total counts overlaps once', () => {
  assert.equal(Ranges.totalMs([[0, 1000], [500, 1500], [3000, 3500]]), 2000);
});

test('cap closes the smallest gaps first', () => {
  const ranges = [[0, 10], [20, 30], [1000, 1010], [1012, 1020], [5000, 5010]];
  assert.deepEqual(Ranges.cap(ranges, 3), [[0, 30], [1000, 1020], [5000, 5010]]);
  const many = Array.from({ length: 1500 }, (_, i) => [i * 100, i * 100 + 50]);
  const capped = Ranges.cap(many, 1000);
  assert.equal(capped.length, 1000);
  assert.equal(capped[0][0], 0);
  assert.equal(capped[999][1], 1499 * 100 + 50);
});

// Samples every `step` ms of wall time with the media clock moving by `advance`.
function run(tracker, samples) {
  for (const s of samples) tracker.sample({ rate: 1, visible: true, playing: true, ...s });
  return tracker.totals();
}

test('playback tracker', async (t) => {
  await t.test('continuous visible playback counts everywhere', () => {
    const totals = run(new PlaybackTracker(), [0, 1, 2, 3, 4].map((i) => ({ wallMs: i * 1000, positionMs: 10000 + i * 1000 })));
    assert.deepEqual(totals, { rangesMs: [[10000, 14000]], playedRangesMs: [[10000, 14000]], playedWallMs: 4000, activeWallMs: 4000 });
  });
  await t.test('hidden playback is played but not watched', () => {
    const totals = run(new PlaybackTracker(), [
      { wallMs: 0, positionMs: 0 },
      { wallMs: 1000, positionMs: 1000 },
      { wallMs: 2000, positionMs: 2000, visible: false },
      { wallMs: 3000, positionMs: 3000, visible: false },
      { wallMs: 4000, positionMs: 4000 },
    ]);
    assert.deepEqual(totals.playedRangesMs, [[0, 4000]]);
    assert.deepEqual(totals.rangesMs, [[0, 1000]]);
    assert.equal(totals.playedWallMs, 4000);
    assert.equal(totals.activeWallMs, 1000);
  });
  await t.test('a jump forward is a seek, not playback', () => {
    const totals = run(new PlaybackTracker(), [
      { wallMs: 0, positionMs: 0 },
      { wallMs: 1000, positionMs: 1000 },
      { wallMs: 2000, positionMs: 60000 },
      { wallMs: 3000, positionMs: 61000 },
    ]);
    assert.deepEqual(totals.rangesMs, [[0, 1000], [60000, 61000]]);
    assert.equal(totals.playedWallMs, 2000);
  });
  await t.test('a jump back starts a new range', () => {
    const totals = run(new PlaybackTracker(), [
      { wallMs: 0, positionMs: 50000 },
      { wallMs: 1000, positionMs: 51000 },
      { wallMs: 2000, positionMs: 5000 },
      { wallMs: 3000, positionMs: 6000 },
    ]);
    assert.deepEqual(totals.rangesMs, [[5000, 6000], [50000, 51000]]);
  });
  await t.test('paused time and a stalled clock earn nothing', () => {
    const totals = run(new PlaybackTracker(), [
      { wallMs: 0, positionMs: 0, playing: false },
      { wallMs: 5000, positionMs: 0, playing: false },
      { wallMs: 6000, positionMs: 0 },
      { wallMs: 30000, positionMs: 0 },
    ]);
    assert.deepEqual(totals.rangesMs, []);
    assert.ok(totals.playedWallMs <= 1500, `stalled wall ${totals.playedWallMs}`);
  });
  await t.test('cut forgets the last position', () => {
    const tracker = new PlaybackTracker();
    run(tracker, [{ wallMs: 0, positionMs: 0 }, { wallMs: 1000, positionMs: 1000 }]);
    tracker.cut();
    const totals = run(tracker, [{ wallMs: 1100, positionMs: 1800 }, { wallMs: 2100, positionMs: 2800 }]);
    assert.deepEqual(totals.rangesMs, [[0, 1000], [1800, 2800]]);
  });
  await t.test('double speed plays twice the media per wall second', () => {
    const totals = run(new PlaybackTracker(), [0, 1, 2].map((i) => ({ wallMs: i * 1000, positionMs: i * 2000, rate: 2 })));
    assert.deepEqual(totals.rangesMs, [[0, 4000]]);
    assert.equal(totals.playedWallMs, 2000);
  });
});
