// The popup: whether memory is on, what is remembered on this page's site, the choice
// to remember or forget the site, and what memory already knows of the page.
'use strict';

const $ = (id) => document.getElementById(id);
let tab = null;
let status = null;

function ask(message) {
  return chrome.runtime.sendMessage(message);
}

function seconds(n) {
  if (n < 60) return n + ' s';
  const m = Math.floor(n / 60);
  return m < 60 ? m + ' min' : Math.floor(m / 60) + ' h ' + (m % 60) + ' min';
}

function describeSeen(seen) {
  if (!seen || seen.type !== 'seen') return '';
  if (!seen.known) return seen.reason ? '' : 'Memory has no earlier visit to this page.';
  const parts = [];
  if (seen.kind === 'video') {
    parts.push('Watched ' + seconds(seen.watchedSeconds));
    if (seen.playedSeconds) parts.push('played in the background ' + seconds(seen.playedSeconds));
  } else {
    parts.push('Read for ' + seconds(seen.readSeconds));
    if (seen.sectionsRead) parts.push(seen.sectionsRead + (seen.sectionsRead === 1 ? ' section' : ' sections'));
  }
  if (seen.quotes) parts.push(seen.quotes + (seen.quotes === 1 ? ' quote' : ' quotes') + ' on the board');
  const last = seen.lastSeenAt ? new Date(seen.lastSeenAt).toLocaleDateString('en-GB') : null;
  return 'Seen before: ' + parts.join(', ') + (last ? ' (last ' + last + ').' : '.');
}

function render() {
  const s = status.state;
  $('memory').textContent = !s
    ? 'The memory’s state is not known yet.'
    : !s.enabled
      ? 'Memory is off. Switch it on in BRELL.'
      : s.paused
        ? 'Memory is paused: nothing is remembered.'
        : 'Memory is on' + (s.youtube ? ', YouTube videos included.' : '; YouTube videos are not remembered.');
  const host = $('host');
  host.hidden = status.connected;
  if (!status.connected) {
    host.textContent =
      'BRELL cannot be reached' + (status.hostError ? ' (' + status.hostError + ')' : '') + '. ' +
      (status.queued ? status.queued + ' observations wait and will be sent when it is back. ' : '') +
      'Run “brell install” and check “brell doctor”.';
  }
  if (status.dropped) {
    host.hidden = false;
    host.textContent += ' ' + status.dropped + ' observations could not be kept.';
  }
  const page = status.page;
  $('page').hidden = !page || page.kind === 'other';
  if (!page) return;
  $('remember').hidden = page.kind !== 'article' || page.approved || !s || !s.enabled;
  $('forget').hidden = page.kind !== 'article' || !page.approved;
  $('here').textContent =
    page.kind === 'video'
      ? 'A YouTube video.'
      : page.approved
        ? 'Articles on ' + page.origin + ' are remembered.'
        : 'Articles on ' + page.origin + ' are not remembered.';
  $('seen').textContent = describeSeen(page.seen);
}

async function refresh() {
  status = await ask({ type: 'popup.status', url: tab && tab.url });
  render();
}

$('remember').addEventListener('click', async () => {
  const origin = status.page.origin;
  // The browser's own prompt: without the site's permission nothing can be read there.
  const granted = await chrome.permissions.request({ origins: [origin + '/*'] });
  if (!granted) {
    $('message').textContent = 'The browser did not give access to ' + origin + ', so nothing is remembered there.';
    return;
  }
  const reply = await ask({ type: 'popup.approve', origin, tabId: tab.id });
  $('message').textContent =
    reply.error === 'memory_off'
      ? 'Memory is off: switch it on in BRELL first.'
      : reply.error || reply.type !== 'state'
        ? 'BRELL did not accept ' + origin + '.'
        : 'Articles on ' + origin + ' will be remembered.';
  await refresh();
});

$('forget').addEventListener('click', async () => {
  const origin = status.page.origin;
  await ask({ type: 'popup.revoke', origin });
  $('message').textContent = 'Articles on ' + origin + ' are no longer remembered; what was kept stays in BRELL.';
  await refresh();
});

(async () => {
  [tab] = await chrome.tabs.query({ active: true, currentWindow: true });
  await refresh();
})();
