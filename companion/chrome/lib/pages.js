// Which page is which: the video id of a YouTube watch page and the address under which
// the host keeps an article. These follow the host's own rules exactly, because the host
// refuses an event whose source id does not match the address it carries.
(function (root) {
  'use strict';

  const WATCH_HOSTS = ['www.youtube.com', 'youtube.com', 'm.youtube.com'];
  const VIDEO_ID = /^[A-Za-z0-9_-]{11}$/;

  const TRACKING = new Set(['fbclid', 'gclid', 'dclid', 'gbraid', 'wbraid', 'msclkid', 'mc_cid', 'mc_eid',
    '_hsenc', '_hsmi', 'igshid', 'yclid', 'twclid', 'ttclid', 'li_fat_id', 'mkt_tok', 'vero_id', 'vero_conv',
    'oly_anon_id', 'oly_enc_id', 'wickedid', 'ref_src', 's_cid', 'srsltid', '_ga', '_gl']);
  const SECRET = new Set(['access_token', 'id_token', 'refresh_token', 'token', 'auth', 'authorization',
    'api_key', 'apikey', 'key', 'password', 'passwd', 'pwd', 'pass', 'secret', 'client_secret', 'session',
    'sessionid', 'session_id', 'sid', 'signature', 'sig', 'code', 'state', 'jwt', 'otp', 'nonce', 'credential',
    'credentials', 'x-amz-signature', 'x-amz-credential', 'x-amz-security-token', 'awsaccesskeyid',
    'x-goog-signature', 'x-goog-credential']);
  const SENSITIVE_PATH = /(^|\/)(login|log-in|signin|sign-in|signup|sign-up|account|accounts|checkout|cart|basket|billing|payment|messages|inbox|compose|edit|editor|settings|admin|password|auth|oauth)(\/|$|\?|\.)/i;

  function parse(text) {
    try {
      return new URL(text);
    } catch {
      return null;
    }
  }

  // The id of a YouTube watch page (https, main hosts, path /watch, first v), or null.
  function youtubeVideoId(text) {
    const url = parse(text);
    if (!url || url.protocol !== 'https:' || !WATCH_HOSTS.includes(url.hostname) || url.pathname !== '/watch') {
      return null;
    }
    for (const item of url.search.replace(/^\?/, '').split('&')) {
      const eq = item.indexOf('=');
      const name = eq < 0 ? item : item.slice(0, eq);
      if (name === 'v') {
        const value = eq < 0 ? '' : item.slice(eq + 1);
        return VIDEO_ID.test(value) ? value : null;
      }
    }
    return null;
  }

  function watchUrl(id) {
    return 'https://www.youtube.com/watch?v=' + id;
  }

  function decodedName(name) {
    try {
      return decodeURIComponent(name).toLowerCase();
    } catch {
      return name.toLowerCase();
    }
  }

  // The address an article is kept under: https only, no credentials, no tracking or
  // secret query items (the others kept as written, in order), no fragment, and never a
  // sign-in, account, payment or similar page. Null when the page must not be kept.
  function articleAddress(text) {
    const url = parse(text);
    if (!url || url.protocol !== 'https:' || !url.hostname) return null;
    if (SENSITIVE_PATH.test(url.pathname)) return null;
    const kept = url.search
      .replace(/^\?/, '')
      .split('&')
      .filter((item) => {
        if (item === '') return false;
        const eq = item.indexOf('=');
        const name = decodedName(eq < 0 ? item : item.slice(0, eq));
        return !name.startsWith('utm_') && !TRACKING.has(name) && !SECRET.has(name);
      });
    return url.protocol + '//' + url.host + url.pathname + (kept.length ? '?' + kept.join('&') : '');
  }

  // "https://host[:port]" of a page, lower-case, or null for anything but https.
  function originOf(text) {
    const url = parse(text);
    return url && url.protocol === 'https:' && url.hostname ? url.origin : null;
  }

  const api = { youtubeVideoId, watchUrl, articleAddress, originOf };
  if (typeof module === 'object' && module.exports) module.exports = api;
  else root.BrellPages = api;
})(globalThis);
