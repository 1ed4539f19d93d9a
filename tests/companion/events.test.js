// What may be captured, and the messages built from what a page observed.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const Events = require('../../companion/chrome/lib/events.js');

const on = { enabled: true, paused: false, youtube: true, captureEpoch: 4, minVideoWallMs: 20000, minArticleWallMs: 30000,
  origins: [{ origin: 'https://news.example.org', indexText: true }, { origin: 'https://visits.example.org', indexText: false }] };

test('consent follows the state exactly', async (t) => {
  const cases = [
    { name: 'on', state: on, video: true, article: 'https://news.example.org' },
    { name: 'paused', state: { ...on, paused: true }, video: false, article: null },
    { name: 'off', state: { ...on, enabled: false }, video: false, article: null },
    { name: 'videos not allowed', state: { ...on, youtube: false }, video: false, article: 'https://news.example.org' },
    { name: 'no state yet', state: null, video: false, article: null },
  ];
  for (const c of cases) {
    await t.test(c.name, () => {
      assert.equal(Events.mayCaptureVideo(c.state), c.video);
      const approved = Events.approvedOrigin(c.state, 'https://news.example.org');
      assert.equal(approved ? approved.origin : null, c.article);
      assert.equal(Events.approvedOrigin(c.state, 'https://other.example.org'), null);
    });
  }
});

test('a session is sent from the moment it passes the least viewing time', async (t) => {
  const cases = [
    ['video.session_delta', { activeWallMs: 19999, playedWallMs: 0 }, false],
    ['video.session_delta', { activeWallMs: 20000, playedWallMs: 0 }, true],
    ['video.session_delta', { activeWallMs: 5000, playedWallMs: 25000 }, true],
    ['article.session_delta', { activeWallMs: 29999 }, false],
    ['article.session_delta', { activeWallMs: 30000 }, true],
    ['video.transcript', {}, true],
  ];
  for (const [kind, payload, passes] of cases) {
    await t.test(`${kind} ${JSON.stringify(payload)}`, () => assert.equal(Events.passesThreshold(kind, payload, on), passes));
  }
});

test('the envelope carries a fresh id, the epoch given and the observation time', () => {
  let n = 0;
  const make = () => `00000000-0000-4000-8000-00000000000${++n}`;
  const source = Events.videoSource('dQw4w9WgXcQ', '  A   talk\n about memory - YouTube');
  const a = Events.ingest('video.session_delta', 7, source, { sessionId: 's' }, { nowMs: Date.UTC(2024, 4, 1, 12), newId: make });
  const b = Events.ingest('video.session_delta', 7, source, { sessionId: 's' }, { nowMs: Date.UTC(2024, 4, 1, 12), newId: make });
  assert.deepEqual(a, {
    version: 1, type: 'ingest', eventId: '00000000-0000-4000-8000-000000000001', captureEpoch: 7,
    observedAt: '2024-05-01T12:00:00.000Z', kind: 'video.session_delta',
    source: { id: 'youtube:dQw4w9WgXcQ', url: 'https://www.youtube.com/watch?v=dQw4w9WgXcQ', title: 'A talk about memory' },
    payload: { sessionId: 's' },
  });
  assert.notEqual(a.eventId, b.eventId);
  assert.equal(Events.videoSource('dQw4w9WgXcQ', ' - YouTube').title, undefined);
});

test('article source and payload stay within what the host accepts', () => {
  assert.deepEqual(Events.articleSource('https://news.example.org/story?utm_source=x#top', 'Story'), {
    id: 'article:https://news.example.org/story', url: 'https://news.example.org/story', title: 'Story',
  });
  assert.equal(Events.articleSource('https://news.example.org/login', 'Sign in'), null);

  const anchors = [{ locator: 'b:1', label: 'Intro' }, { locator: 'b:1', label: 'again' }, { locator: 'bad locator', label: 'x' },
    { locator: 'b:2', label: '   ' }, ...Array.from({ length: 30 }, (_, i) => ({ locator: `#s${i}`, label: 'x'.repeat(200) }))];
  const blocks = [
    { locator: 'b:1', text: '  First paragraph.  ', heading: ' Intro ' },
    { locator: 'b:2', text: '' },
    { locator: 'b 3', text: 'bad locator' },
    { locator: 'b:4', text: 'y'.repeat(19000) },
    { locator: 'b:5', text: 'z'.repeat(1000) },
  ];
  const p = Events.articlePayload({ sessionId: 's', activeWallMs: 31000.4, anchors, blocks });
  assert.equal(p.activeWallMs, 31000);
  assert.equal(p.anchors.length, 20);
  assert.deepEqual(p.anchors[0], { locator: 'b:1', label: 'Intro' });
  assert.equal(p.anchors[1].label.length, 160);
  assert.deepEqual(p.extraction.blocks.map((b) => b.locator), ['b:1', 'b:4']);
  assert.deepEqual(p.extraction.blocks[0], { locator: 'b:1', text: 'First paragraph.', heading: 'Intro' });
  assert.ok(p.extraction.blocks.reduce((n, b) => n + b.text.length, 0) <= 20000);
  assert.equal(Events.articlePayload({ sessionId: 's', activeWallMs: 1, anchors: [], blocks: null }).extraction, undefined);
});

test('transcript payload: sorted cues with text, chapters with titles', () => {
  const p = Events.transcriptPayload(
    [{ startMs: 2000.2, text: ' second ' }, { startMs: 0, text: 'first' }, { startMs: 1000, text: '   ' }, { startMs: 2000, text: 'same start' }],
    [{ startMs: 0, title: ' Opening ' }, { startMs: 5000, title: '  ' }],
  );
  assert.deepEqual(p, { cues: [[0, 'first'], [2000, 'second'], [2000, 'same start']], chapters: [[0, 'Opening']] });
  const many = Events.transcriptPayload(Array.from({ length: 7000 }, (_, i) => ({ startMs: i, text: 'w' })));
  assert.equal(many.cues.length, 6000);
  assert.equal(many.chapters, undefined);
});
