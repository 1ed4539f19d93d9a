// The companion in a real browser: headless Chromium loads the extension, starts the
// real brell-memory-host through the manifest `brell install` writes, and plays pages
// that a loopback HTTPS server serves in place of YouTube and two article sites. The
// memory is then read back with sqlite3 and brell.
//
//   node tests/companion/browser.js <folder holding brell and brell-memory-host>
//
// Nothing leaves the machine: every host name the browser looks up maps to the loopback
// server, and the browser's background services are switched off.
'use strict';

const assert = require('node:assert/strict');
const { spawn, execFileSync } = require('node:child_process');
const fs = require('node:fs');
const https = require('node:https');
const os = require('node:os');
const path = require('node:path');
const { CDP } = require('./cdp.js');

const TIME_LIMIT_MS = 6 * 60 * 1000;
const EXTENSION_ID = 'hfibbkondadfpfgdamicagljdjbcollk';
const SOURCE = path.resolve(__dirname, '../../companion/chrome');
const CHROMIUM = process.env.CHROMIUM || '/usr/bin/chromium';
const VIDEO_SECONDS = 240;

// Video ids (11 characters) and the pages that stand in for the sites.
const WATCHED = 'LightHouse1';
const PAUSED = 'TideTables2';
const PRIVATE = 'SecretWalk3';
const APPROVED = 'https://articles.example.org';
const UNAPPROVED = 'https://unapproved.example.net';

const CUES = [
  [0, 'The lighthouse keeper counted ninety ships before dawn.'],
  [4000, 'Each lamp was trimmed with a brass key every evening.'],
  [8000, 'Fog horns answered the cormorants across the bay.'],
  [12000, 'Winter storms tore the slate roof twice.'],
  [16000, 'The logbook recorded every passing schooner.'],
  [20000, 'Keepers were replaced by automatic beacons later.'],
];

const ARTICLE = `<!doctype html><html><head><title>Salt marsh restoration</title></head><body>
<nav><a href="/">Home</a></nav>
<article>
<h1 id="top">Salt marsh restoration</h1>
<p>Cordgrass seedlings were planted along the eroded creek banks in early spring.</p>
<h2 id="sediment">Sediment budgets</h2>
<p>Tidal channels deliver silt that lets the marsh platform keep pace with rising water.</p>
<p>Volunteers measured accretion with marker horizons of white feldspar clay.</p>
<h2 id="birds">Returning birds</h2>
<p>Redshanks nested on the restored plots within two seasons.</p>
</article></body></html>`;

const OTHER_ARTICLE = `<!doctype html><html><head><title>Unapproved page</title></head><body><article>
<h1>Quarry notes</h1><p>Basalt columns shimmered with zeolite crystals near the quarry.</p>
</article></body></html>`;

function watchPage(title) {
  return `<!doctype html><html><head><title>${title} - YouTube</title></head><body>
<video id="player" src="/media/clip.wav" preload="auto" autoplay muted>
  <track kind="captions" srclang="en" label="English" src="/captions.vtt">
</video>
<script>document.getElementById('player').play().catch(() => {});</script>
</body></html>`;
}

function vtt() {
  const stamp = (ms) => {
    const s = Math.floor(ms / 1000);
    return `00:${String(Math.floor(s / 60)).padStart(2, '0')}:${String(s % 60).padStart(2, '0')}.${String(ms % 1000).padStart(3, '0')}`;
  };
  return 'WEBVTT\n\n' + CUES.map(([start, text]) => `${stamp(start)} --> ${stamp(start + 3900)}\n${text}\n`).join('\n');
}

// A quiet 220 Hz tone: 8 kHz, 8-bit mono PCM.
function wav(seconds) {
  const rate = 8000;
  const samples = rate * seconds;
  const data = Buffer.alloc(samples);
  for (let i = 0; i < samples; i++) data[i] = 128 + Math.round(8 * Math.sin((2 * Math.PI * 220 * i) / rate));
  const header = Buffer.alloc(44);
  header.write('RIFF', 0);
  header.writeUInt32LE(36 + samples, 4);
  header.write('WAVEfmt ', 8);
  header.writeUInt32LE(16, 16);
  header.writeUInt16LE(1, 20);
  header.writeUInt16LE(1, 22);
  header.writeUInt32LE(rate, 24);
  header.writeUInt32LE(rate, 28);
  header.writeUInt16LE(1, 32);
  header.writeUInt16LE(8, 34);
  header.write('data', 36);
  header.writeUInt32LE(samples, 40);
  return Buffer.concat([header, data]);
}

function serve(tmp) {
  execFileSync('openssl', ['req', '-x509', '-newkey', 'rsa:2048', '-nodes', '-days', '1', '-subj', '/CN=brell-test',
    '-keyout', path.join(tmp, 'key.pem'), '-out', path.join(tmp, 'cert.pem')], { stdio: 'ignore' });
  const media = wav(VIDEO_SECONDS);
  const titles = { [WATCHED]: 'Lighthouse keeping, explained', [PAUSED]: 'Reading tide tables', [PRIVATE]: 'A private walk' };
  const server = https.createServer(
    { key: fs.readFileSync(path.join(tmp, 'key.pem')), cert: fs.readFileSync(path.join(tmp, 'cert.pem')) },
    (req, res) => {
      const host = (req.headers.host || '').split(':')[0];
      const url = new URL(req.url, 'https://' + host);
      const send = (status, type, body) => {
        res.writeHead(status, { 'content-type': type, 'content-length': Buffer.byteLength(body) });
        res.end(body);
      };
      if (host === 'www.youtube.com' && url.pathname === '/watch' && titles[url.searchParams.get('v')]) {
        return send(200, 'text/html; charset=utf-8', watchPage(titles[url.searchParams.get('v')]));
      }
      if (host === 'www.youtube.com' && url.pathname === '/captions.vtt') return send(200, 'text/vtt', vtt());
      if (host === 'www.youtube.com' && url.pathname === '/media/clip.wav') {
        const range = /bytes=(\d+)-(\d*)/.exec(req.headers.range || '');
        if (!range) {
          res.writeHead(200, { 'content-type': 'audio/wav', 'content-length': media.length, 'accept-ranges': 'bytes' });
          return res.end(media);
        }
        const start = Number(range[1]);
        const end = range[2] ? Math.min(Number(range[2]), media.length - 1) : media.length - 1;
        res.writeHead(206, { 'content-type': 'audio/wav', 'content-length': end - start + 1, 'accept-ranges': 'bytes',
          'content-range': `bytes ${start}-${end}/${media.length}` });
        return res.end(media.subarray(start, end + 1));
      }
      if ('https://' + host === APPROVED && url.pathname === '/story') return send(200, 'text/html; charset=utf-8', ARTICLE);
      if ('https://' + host === UNAPPROVED && url.pathname === '/story') return send(200, 'text/html; charset=utf-8', OTHER_ARTICLE);
      return send(404, 'text/plain', 'not here');
    },
  );
  return new Promise((resolve) => server.listen(0, '127.0.0.1', () => resolve(server)));
}

// The host processes the browser started: its descendants running `host`.
function hostProcesses(browserPid, host) {
  const rows = execFileSync('ps', ['-eo', 'pid=,ppid=,args='], { encoding: 'utf8' })
    .split('\n')
    .map((line) => line.trim().match(/^(\d+)\s+(\d+)\s+(.*)$/))
    .filter(Boolean)
    .map(([, pid, ppid, args]) => ({ pid: Number(pid), ppid: Number(ppid), args }));
  const family = new Set([browserPid]);
  for (let grew = true; grew; ) {
    grew = false;
    for (const r of rows) {
      if (family.has(r.ppid) && !family.has(r.pid)) {
        family.add(r.pid);
        grew = true;
      }
    }
  }
  return rows.filter((r) => family.has(r.pid) && r.args.startsWith(host)).map((r) => r.pid);
}

const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

async function waitFor(what, check, timeoutMs) {
  const until = Date.now() + timeoutMs;
  for (;;) {
    const value = await check();
    if (value) return value;
    if (Date.now() > until) throw new Error(`gave up waiting for ${what} after ${timeoutMs / 1000} s`);
    await sleep(500);
  }
}

async function main() {
  const bin = path.resolve(process.argv[2] || 'build/bin');
  for (const tool of ['brell', 'brell-memory-host']) {
    if (!fs.existsSync(path.join(bin, tool))) throw new Error(`${tool} is missing in ${bin}; build it first`);
  }
  if (!fs.existsSync(CHROMIUM)) throw new Error(`${CHROMIUM} is missing; install the chromium package`);

  const tmp = fs.mkdtempSync(path.join(os.tmpdir(), 'brell-companion-'));
  const home = path.join(tmp, 'home');
  const profile = path.join(tmp, 'profile');
  fs.mkdirSync(home);
  const db = path.join(tmp, 'Memory.sqlite');
  const env = {
    ...process.env,
    HOME: home,
    XDG_CONFIG_HOME: path.join(home, '.config'),
    XDG_DATA_HOME: path.join(home, '.local/share'),
    XDG_CACHE_HOME: path.join(home, '.cache'),
    BRELL_MEMORY_DB: db,
    BRELL_BOARD: path.join(tmp, 'board.json'),
    TZ: 'UTC',
  };
  const brell = (...args) => execFileSync(path.join(bin, 'brell'), args, { env, encoding: 'utf8' });
  const sql = (query) => {
    const out = execFileSync('sqlite3', ['-json', db, query], { encoding: 'utf8' }).trim();
    return out ? JSON.parse(out) : [];
  };

  let browser = null;
  let server = null;
  let closing = false;
  const cleanup = () => {
    if (browser && browser.exitCode === null) {
      try {
        process.kill(-browser.pid, 'SIGKILL'); // the browser's own process group: it and the host it started
      } catch {}
    }
    if (server) server.close();
    fs.rmSync(tmp, { recursive: true, force: true });
  };
  const deadline = setTimeout(() => {
    console.error(`browser test: over ${TIME_LIMIT_MS / 1000} s, stopping`);
    cleanup();
    process.exit(1);
  }, TIME_LIMIT_MS);

  try {
    brell('memory', 'on');
    brell('memory', 'youtube', 'on');

    // The manifest exactly as `brell install` writes it, placed where this profile's
    // browser looks for it.
    brell('install');
    const installed = path.join(home, '.config/chromium/NativeMessagingHosts/dev.brell.memory.json');
    const manifest = JSON.parse(fs.readFileSync(installed, 'utf8'));
    assert.ok(manifest.allowed_origins.includes(`chrome-extension://${EXTENSION_ID}/`), 'brell install serves our companion');
    fs.mkdirSync(path.join(profile, 'NativeMessagingHosts'), { recursive: true });
    fs.copyFileSync(installed, path.join(profile, 'NativeMessagingHosts/dev.brell.memory.json'));

    // The extension is loaded from a copy, as the installed folder is. The one change:
    // the two article sites are granted in the manifest, standing in for the person's
    // click on the browser's permission prompt, which a headless browser cannot show.
    const extension = path.join(tmp, 'chrome');
    fs.cpSync(SOURCE, extension, { recursive: true });
    const extManifest = JSON.parse(fs.readFileSync(path.join(extension, 'manifest.json'), 'utf8'));
    extManifest.host_permissions.push(APPROVED + '/*', UNAPPROVED + '/*');
    fs.writeFileSync(path.join(extension, 'manifest.json'), JSON.stringify(extManifest));

    server = await serve(tmp);
    const port = server.address().port;
    const rules = ['www.youtube.com', 'articles.example.org', 'unapproved.example.net']
      .map((h) => `MAP ${h} 127.0.0.1:${port}`)
      .concat(['MAP * ~NOTFOUND'])
      .join(', ');
    const args = ['--headless=new', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync', '--disable-default-apps',
      '--autoplay-policy=no-user-gesture-required', '--ignore-certificate-errors', `--host-resolver-rules=${rules}`,
      `--user-data-dir=${profile}`, '--remote-debugging-pipe', `--load-extension=${extension}`,
      `--disable-extensions-except=${extension}`, 'about:blank'];
    browser = spawn(CHROMIUM, args, { env, detached: true, stdio: ['ignore', 'ignore', 'pipe', 'pipe', 'pipe'] });
    let browserLog = '';
    browser.stderr.on('data', (d) => (browserLog = (browserLog + d).slice(-20000)));
    browser.on('exit', (code) => {
      if (!closing) console.error(`browser test: chromium exited early (${code})\n${browserLog}`);
    });
    const cdp = new CDP(browser.stdio[3], browser.stdio[4]);
    await cdp.send('Target.setDiscoverTargets', { discover: true });

    // The service worker, connected to the host and holding its state.
    const workerTarget = await waitFor('the extension service worker', async () => {
      const { targetInfos } = await cdp.send('Target.getTargets');
      return targetInfos.find((t) => t.type === 'service_worker' && t.url.startsWith(`chrome-extension://${EXTENSION_ID}/`));
    }, 20000);
    const { sessionId: worker } = await cdp.send('Target.attachToTarget', { targetId: workerTarget.targetId, flatten: true });
    // The worker may still be starting when attached: its globals come a moment later.
    await waitFor('the host to answer hello',
      () => cdp.evaluate(worker, 'fresh === true && state.enabled === true').catch(() => false), 20000);

    // "Remember this site", after the browser's permission: approve_origin.
    const approval = await cdp.evaluate(worker, `approve(${JSON.stringify(APPROVED)})`);
    assert.equal(approval.type, 'state');
    assert.equal(approval.error, undefined);
    assert.deepEqual(approval.origins, [{ origin: APPROVED, indexText: true }]);

    const open = async (url, browserContextId) => {
      const { targetId } = await cdp.send('Target.createTarget', { url, newWindow: true, ...(browserContextId ? { browserContextId } : {}) });
      const { sessionId } = await cdp.send('Target.attachToTarget', { targetId, flatten: true });
      return { targetId, sessionId };
    };
    const position = (page) => cdp.evaluate(page.sessionId, `Math.round(document.getElementById('player').currentTime * 1000)`);

    const watched = await open(`https://www.youtube.com/watch?v=${WATCHED}&utm_source=test`);
    await open(`${APPROVED}/story?utm_campaign=x#sediment`);
    await open(`${UNAPPROVED}/story`);
    const { browserContextId } = await cdp.send('Target.createBrowserContext');
    const incognito = await open(`https://www.youtube.com/watch?v=${PRIVATE}`, browserContextId);

    const source = (key) => sql(`SELECT id, kind, url, title, origin, transcript_status FROM source WHERE key = '${key}'`)[0];
    await waitFor('the watched video and the approved article in memory', () => {
      const video = source(`youtube:${WATCHED}`);
      const article = source(`article:${APPROVED}/story`);
      return video && video.transcript_status === 'captured' && article &&
        sql(`SELECT count(*) AS n FROM exposure e JOIN session s ON s.id = e.session_id WHERE s.source_id = ${article.id} AND e.kind = 'anchor'`)[0].n >= 2;
    }, 90000);
    const privateClock = await position(incognito);
    assert.ok(privateClock > 20000, `the private window played (${privateClock} ms)`);

    // The video: source, one session, merged ranges matching the media clock, title
    // and transcript chunks.
    const video = source(`youtube:${WATCHED}`);
    assert.deepEqual({ ...video, id: 0 }, { id: 0, kind: 'video', url: `https://www.youtube.com/watch?v=${WATCHED}`,
      title: 'Lighthouse keeping, explained', origin: 'https://www.youtube.com', transcript_status: 'captured' });
    const sessions = sql(`SELECT id, active_wall_ms, played_wall_ms FROM session WHERE source_id = ${video.id}`);
    assert.equal(sessions.length, 1, 'one viewing session');
    const [session] = sessions;
    assert.ok(session.active_wall_ms >= 20000 && session.played_wall_ms >= session.active_wall_ms - 1000, JSON.stringify(session));
    const ranges = (sid, kind) => sql(`SELECT start_ms, end_ms FROM exposure WHERE session_id = '${sid}' AND kind = '${kind}' ORDER BY start_ms`);
    for (const kind of ['range', 'played']) {
      const rows = ranges(session.id, kind);
      assert.equal(rows.length, 1, `${kind}: one merged range ${JSON.stringify(rows)}`);
      assert.ok(rows[0].start_ms <= 1500, `${kind} starts at the beginning: ${rows[0].start_ms}`);
      // Media time and wall time agree within the clock's precision at normal speed.
      assert.ok(Math.abs(rows[0].end_ms - rows[0].start_ms - session.active_wall_ms) <= 2500,
        `${kind} ${JSON.stringify(rows[0])} against ${session.active_wall_ms} ms of wall time`);
    }
    const chunks = sql(`SELECT kind, text, heading, locator, start_ms FROM chunk WHERE source_id = ${video.id} ORDER BY kind, start_ms`);
    assert.deepEqual(chunks.filter((c) => c.kind === 'metadata').map((c) => c.text), ['Lighthouse keeping, explained']);
    const transcript = chunks.filter((c) => c.kind === 'transcript').map((c) => c.text).join(' ');
    for (const [, text] of CUES) assert.ok(transcript.includes(text.replace(/\.$/, '')), `transcript holds "${text}"`);

    // The article: chunks with headings, the sections that came into view, the session.
    const article = source(`article:${APPROVED}/story`);
    assert.equal(article.title, 'Salt marsh restoration');
    assert.equal(article.origin, APPROVED);
    const articleChunks = sql(`SELECT text, heading, locator FROM chunk WHERE source_id = ${article.id} AND kind = 'article' ORDER BY id`);
    assert.deepEqual(articleChunks.map((c) => c.heading), ['Salt marsh restoration', 'Sediment budgets', 'Returning birds']);
    const byHeading = Object.fromEntries(articleChunks.map((c) => [c.heading, c]));
    assert.equal(byHeading['Sediment budgets'].locator, '#sediment');
    assert.match(byHeading['Sediment budgets'].text, /Tidal channels deliver silt[^]*feldspar clay/);
    assert.match(byHeading['Returning birds'].text, /Redshanks nested/);
    assert.ok(!articleChunks.some((c) => /Home/.test(c.text)), 'navigation is not article text');
    const anchors = sql(`SELECT e.locator, e.label FROM exposure e JOIN session s ON s.id = e.session_id WHERE s.source_id = ${article.id} AND e.kind = 'anchor'`);
    assert.ok(anchors.some((a) => a.locator === '#sediment' && a.label === 'Sediment budgets'), JSON.stringify(anchors));
    const articleSession = sql(`SELECT active_wall_ms FROM session WHERE source_id = ${article.id}`);
    assert.equal(articleSession.length, 1);
    assert.ok(articleSession[0].active_wall_ms >= 30000);

    console.log(`browser test: video session ${session.active_wall_ms} ms watched, ranges ${JSON.stringify(ranges(session.id, 'range'))}; ` +
      `article ${articleChunks.length} chunks, ${anchors.length} anchors, ${articleSession[0].active_wall_ms} ms read`);

    // Nothing from the unapproved site or from the private window.
    assert.deepEqual(sql(`SELECT key FROM source WHERE key LIKE '%unapproved.example.net%' OR key = 'youtube:${PRIVATE}'`), []);

    // What a person later asks finds the moment, labelled as watched.
    const moments = brell('moments', 'brass key trimmed lamp', '--json');
    const [moment] = JSON.parse(moments);
    assert.ok(moment, moments);
    assert.equal(moment.title, 'Lighthouse keeping, explained');
    assert.match(moment.text, /trimmed with a brass key/);
    assert.equal(moment.status, 'Watched at this moment', moments);
    assert.match(moment.link, new RegExp(`v=${WATCHED}`));

    // The popup's view of a page: connected, memory on, and the host's seen answer.
    const popup = await cdp.evaluate(worker, `popupStatus(${JSON.stringify(`https://www.youtube.com/watch?v=${WATCHED}`)})`);
    assert.equal(popup.connected, true);
    assert.equal(popup.queued, 0);
    assert.equal(popup.page.kind, 'video');
    assert.equal(popup.page.seen.type, 'seen');

    // Pause mid-session (the epoch rises), play on, resume (it rises again). What was
    // played while paused is never stored, and the session from before is not continued
    // under the new epoch: a new session starts after the resume.
    const tides = await open(`https://www.youtube.com/watch?v=${PAUSED}`);
    const tideSessions = () => {
      const s = source(`youtube:${PAUSED}`);
      return s ? sql(`SELECT id, started_at FROM session WHERE source_id = ${s.id} ORDER BY started_at`) : [];
    };
    await waitFor('the first session of the paused video', () => tideSessions().length === 1, 60000);
    const before = tideSessions()[0].id;
    const pausedAt = await position(tides);
    brell('memory', 'pause');
    await sleep(15000);
    const resumedAt = await position(tides);
    brell('memory', 'resume');
    await waitFor('a new session after the resume', () => tideSessions().length === 2, 75000);
    const after = tideSessions().find((s) => s.id !== before).id;
    const TOLERANCE = 1500;
    for (const kind of ['range', 'played']) {
      for (const r of ranges(before, kind)) {
        assert.ok(r.end_ms <= pausedAt + TOLERANCE, `${kind} of the first session ends by the pause: ${JSON.stringify(r)}, paused at ${pausedAt}`);
      }
      const later = ranges(after, kind);
      assert.ok(later.length >= 1);
      for (const r of later) {
        assert.ok(r.start_ms >= resumedAt - TOLERANCE, `${kind} of the new session starts after the resume: ${JSON.stringify(r)}, resumed at ${resumedAt}`);
      }
    }

    console.log(`browser test: paused at ${pausedAt} ms, resumed at ${resumedAt} ms; ` +
      `before ${JSON.stringify(ranges(before, 'range'))}, after ${JSON.stringify(ranges(after, 'range'))}`);

    // A host that cannot start: what pages observe meanwhile waits in the queue (the
    // popup says so) and reaches memory once the host is back.
    const nativeManifest = path.join(profile, 'NativeMessagingHosts/dev.brell.memory.json');
    const hostManifest = fs.readFileSync(nativeManifest);
    fs.rmSync(nativeManifest);
    for (const pid of hostProcesses(browser.pid, fs.realpathSync(path.join(bin, 'brell-memory-host')))) process.kill(pid, 'SIGKILL');
    const stranded = await waitFor('events to wait for a missing host', async () => {
      const status = await cdp.evaluate(worker, 'popupStatus()');
      if (!status.connected && status.queued >= 1) {
        const { queue } = await cdp.evaluate(worker, 'chrome.storage.local.get({ queue: [] })');
        status.queue = queue.map((e) => [e.event.kind, e.event.payload.sessionId, e.event.payload.activeWallMs]);
      }
      return !status.connected && status.queued >= 1 && status;
    }, 40000);
    assert.match(stranded.hostError, /native messaging host/i);
    const storedWall = (id) => {
      const rows = sql(`SELECT max(active_wall_ms) AS wall FROM session WHERE id = '${id}'`);
      return rows.length ? rows[0].wall : null;
    };
    fs.writeFileSync(nativeManifest, hostManifest);
    await waitFor('the queue to drain into the host', async () => {
      const status = await cdp.evaluate(worker, 'popupStatus()');
      return status.connected && status.queued === 0;
    }, 90000);
    // Every delta that waited reached memory: its session holds at least the running
    // total the delta carried (a later delta may have carried more).
    for (const [kind, sessionId, wall] of stranded.queue) {
      if (typeof wall !== 'number') continue; // a transcript carries no running total
      const stored = storedWall(sessionId);
      assert.ok(stored !== null && stored >= wall, `the queued ${kind} of session ${sessionId} (${wall} ms) was stored: ` +
        `session at ${stored} ms; the host's last answers ${JSON.stringify(await cdp.evaluate(worker, 'recentReplies'))}`);
    }

    // "Forget this site": revoked for the future, what was stored stays.
    const revoked = await cdp.evaluate(worker, `revoke(${JSON.stringify(APPROVED)})`);
    assert.deepEqual(revoked.origins, []);
    assert.deepEqual(JSON.parse(brell('origins', 'list', '--json')), []);
    assert.ok(source(`article:${APPROVED}/story`), 'the article stays in memory');

    closing = true;
    await cdp.send('Browser.close').catch(() => {});
    await Promise.race([new Promise((r) => browser.once('exit', r)), sleep(5000)]);
    console.log('browser test: ok');
  } finally {
    closing = true;
    clearTimeout(deadline);
    const s = server;
    server = null;
    if (s) s.close();
    cleanup();
  }
}

main().catch((e) => {
  console.error('browser test: FAILED\n' + (e && e.stack ? e.stack : e));
  process.exit(1);
});
