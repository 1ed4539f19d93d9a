// Page identity as the host reckons it: a source id the host would not derive from the
// same address is refused, so these follow its rules case by case.
'use strict';
const test = require('node:test');
const assert = require('node:assert/strict');
const Pages = require('../../companion/chrome/lib/pages.js');

test('youtube video id of a watch page', async (t) => {
  const cases = [
    ['https://www.youtube.com/watch?v=dQw4w9WgXcQ', 'dQw4w9WgXcQ'],
    ['https://m.youtube.com/watch?feature=share&v=dQw4w9WgXcQ&t=30', 'dQw4w9WgXcQ'],
    ['https://youtube.com/watch?v=dQw4w9WgXcQ', 'dQw4w9WgXcQ'],
    ['http://www.youtube.com/watch?v=dQw4w9WgXcQ', null],
    ['https://music.youtube.com/watch?v=dQw4w9WgXcQ', null],
    ['https://www.youtube.com/shorts/dQw4w9WgXcQ', null],
    ['https://youtu.be/dQw4w9WgXcQ', null],
    ['https://www.youtube.com/watch?v=dQw4w9WgXc', null],
    ['https://www.youtube.com/watch?v=&v=dQw4w9WgXcQ', null],
    ['https://www.youtube.com/watch/?v=dQw4w9WgXcQ', null],
    ['https://www.youtube.com/', null],
    ['not a url', null],
  ];
  for (const [url, id] of cases) {
    await t.test(url, () => assert.equal(Pages.youtubeVideoId(url), id));
  }
});

test('article address', async (t) => {
  const cases = [
    ['https://news.example.org/a/story?id=7&utm_source=x#part-2', 'https://news.example.org/a/story?id=7'],
    ['https://user:pw@news.example.org/story', 'https://news.example.org/story'],
    ['https://news.example.org/story?fbclid=1&page=2&token=abc&b=1', 'https://news.example.org/story?page=2&b=1'],
    ['https://news.example.org/story?utm%5Fmedium=mail&KEY=1&keys=2', 'https://news.example.org/story?keys=2'],
    ['https://news.example.org:8443/story', 'https://news.example.org:8443/story'],
    ['https://news.example.org', 'https://news.example.org/'],
    ['http://news.example.org/story', null],
    ['https://news.example.org/Account/profile', null],
    ['https://news.example.org/user/settings.html', null],
    ['https://news.example.org/editorial/today', 'https://news.example.org/editorial/today'],
  ];
  for (const [url, address] of cases) {
    await t.test(url, () => assert.equal(Pages.articleAddress(url), address));
  }
});

test('origin of a page', () => {
  assert.equal(Pages.originOf('https://News.Example.org:443/x?y'), 'https://news.example.org');
  assert.equal(Pages.originOf('https://news.example.org:8443/x'), 'https://news.example.org:8443');
  assert.equal(Pages.originOf('http://news.example.org/'), null);
  assert.equal(Pages.originOf('chrome://extensions'), null);
});
