// The page on phones of several widths, held upright and sideways, and on the PC beside its
// card: no caption is broken inside a word (every word's rendered pieces on one line, inside
// its cell) with the built-in page and both example panels; the screen kept on after the
// first tap, by the wake lock or by the video, and let go when the page is hidden; the banner
// of an unreachable PC leaves the tabs in sight and in reach. A screenshot of a narrow phone.

import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { mkdirSync, copyFileSync } from 'node:fs';
import path from 'node:path';
import { Headless, launchPhone, launchDesktop, until, sourceDir, binDir } from './support.mjs';

const PANELS = [['the built-in page', []],
                ['elite-dangerous.json', ['--panel', path.join(sourceDir, 'panels', 'elite-dangerous.json')]],
                ['kerbal-space-program.json', ['--panel', path.join(sourceDir, 'panels', 'kerbal-space-program.json')]]];
const PHONE_SIZES = [[320, 640], [360, 640], [390, 844], [640, 360], [844, 390]];
const MIN_FONT_PX = 10;

const servers = new Map();
let phone;

before(async () => {
  for (const [name, args] of PANELS) servers.set(name, await Headless.start({ args }));
  phone = await launchPhone();
});

after(async () => {
  if (phone) await phone.close();
  for (const server of servers.values()) await server.stop();
});

const frames = (page) => page.evaluate(() => new Promise((r) => requestAnimationFrame(() => requestAnimationFrame(r))));

// Every visible caption's words that are broken across lines, run out of their cell or are
// set smaller than the least readable size, on each tab in turn.
async function brokenWords(page) {
  const found = [];
  const tabs = await page.locator('td[command="show"]').count();
  for (let t = 0; t < Math.max(tabs, 1); t++) {
    if (tabs) await page.evaluate((i) => window.docommand(document.querySelectorAll('td[command="show"]')[i]), t);
    await frames(page);
    found.push(...await page.evaluate((minFont) => {
      const bad = [];
      document.querySelectorAll('#panel td').forEach((cell) => {
        const box = cell.getBoundingClientRect();
        if (box.width === 0) return;
        if (parseFloat(getComputedStyle(cell).fontSize) < minFont) bad.push(`${cell.textContent}: font ${getComputedStyle(cell).fontSize}`);
        const walker = document.createTreeWalker(cell, NodeFilter.SHOW_TEXT);
        for (let node = walker.nextNode(); node; node = walker.nextNode()) {
          for (const m of node.data.matchAll(/\S+/g)) {
            const range = document.createRange();
            range.setStart(node, m.index);
            range.setEnd(node, m.index + m[0].length);
            const rects = [...range.getClientRects()].filter((r) => r.width > 0);
            const lines = new Set(rects.map((r) => Math.round(r.top)));
            const outside = rects.some((r) => r.left < box.left - 1 || r.right > box.right + 1);
            if (lines.size > 1 || outside) bad.push(`"${m[0]}" in "${cell.textContent}"${outside ? ' runs out of its cell' : ' is broken'}`);
          }
        }
      });
      return bad;
    }, MIN_FONT_PX));
  }
  return found;
}

test('no caption breaks inside a word, on phones upright and sideways and on the PC beside the card', async () => {
  const desktop = await launchDesktop({ width: 800, height: 700 });
  try {
    for (const [name, server] of servers) {
      for (const [width, height] of PHONE_SIZES) {
        await phone.page.setViewportSize({ width, height });
        await phone.page.goto(server.url);
        assert.deepEqual(await brokenWords(phone.page), [], `${name} at ${width}x${height}`);
      }
      await desktop.page.goto(server.url);
      assert.equal(await desktop.page.isVisible('#connect-qr'), true, 'the card beside the panel');
      assert.deepEqual(await brokenWords(desktop.page), [], `${name} at 800 px beside the card`);
    }
    // A caption changed after the page loaded, and a turn of the phone, are fitted again.
    const page = phone.page;
    await page.setViewportSize({ width: 320, height: 640 });
    await page.goto(servers.get('the built-in page').url);
    await page.evaluate(() => { document.querySelector('#panel td[action]').textContent = 'Overdrive Launch'; });
    await frames(page);
    assert.deepEqual(await brokenWords(page), []);
    await page.setViewportSize({ width: 640, height: 320 });
    await frames(page);
    assert.deepEqual(await brokenWords(page), []);
    // The screenshot: "Quicksave" on a narrow phone.
    await page.setViewportSize({ width: 320, height: 640 });
    await page.goto(servers.get('kerbal-space-program.json').url);
    await frames(page);
    mkdirSync(path.join(binDir, '..', 'browser'), { recursive: true });
    const shot = path.join(binDir, '..', 'browser', 'phone-narrow.png');
    await page.screenshot({ path: shot });
    if (process.env.TAPDECK_UPDATE_SCREENSHOT) copyFileSync(shot, path.join(sourceDir, 'docs', 'phone-narrow.png'));
  } finally {
    await desktop.close();
  }
});

// What keeps the screen on: "lock", "video", "idle" (waiting for a tap) or "off".
const awake = (page) => page.getAttribute('#wake', 'data-awake');
const keptOn = async (page) => ['lock', 'video'].includes(await awake(page));
// Chromium keeps the screen on for a muted video only when it is in view and not small.
const videoPlaying = (page) => page.evaluate(() => {
  const video = document.querySelector('video.wake-video');
  const r = video && video.getBoundingClientRect();
  return !!video && !video.paused && r.width * r.height >= 0.9 * innerWidth * innerHeight;
});
// The phone locks its screen (the page is hidden), or is unlocked again.
const setHidden = (page, hidden) => page.evaluate((h) => {
  if (h) Object.defineProperty(document, 'visibilityState', { value: 'hidden', configurable: true });
  else delete document.visibilityState;
  document.dispatchEvent(new Event('visibilitychange'));
}, hidden);

test('the screen is kept on from the first tap, by the wake lock or the video, and let go when hidden', async () => {
  const tapTab = (page, id) => page.locator(`td[command="show"][subject="${id}"]`).tap();
  // As a secure page (where the wake lock may be granted), and as a phone on plain HTTP sees
  // it, without the wake lock.
  for (const withoutLock of [false, true]) {
    const browser = await launchPhone();
    try {
      const { page } = browser;
      if (withoutLock) await page.addInitScript(() => { delete Navigator.prototype.wakeLock; });
      await page.goto(servers.get('the built-in page').url);
      assert.equal(await awake(page), 'idle');
      await tapTab(page, 'landing');
      await until(() => keptOn(page), 'something keeping the screen on');
      if (withoutLock) assert.equal(await awake(page), 'video');
      if ((await awake(page)) === 'video') assert.equal(await videoPlaying(page), true);

      await setHidden(page, true);
      await until(async () => (await awake(page)) === 'idle', 'let go when hidden');
      assert.equal(await videoPlaying(page), false);
      await setHidden(page, false);
      assert.equal(await awake(page), 'idle', 'back in sight, it waits for a tap');
      await tapTab(page, 'flight');
      await until(() => keptOn(page), 'kept on again after the next tap');

      // Turned off in the footer: let go, and remembered over a reload.
      await page.locator('#wake').tap();
      assert.equal(await awake(page), 'off');
      assert.equal(await videoPlaying(page), false);
      await page.reload();
      await tapTab(page, 'landing');
      assert.equal(await awake(page), 'off');
      await page.locator('#wake').tap();
      await until(() => keptOn(page), 'on again from its button');
    } finally {
      await browser.close();
    }
  }
});

test('the banner of an unreachable PC leaves the tabs in sight and in reach', async () => {
  const page = phone.page;
  await page.setViewportSize({ width: 360, height: 640 });
  await page.goto(servers.get('the built-in page').url);
  await page.route('**/Keyboard*', (route) => route.abort());
  await page.evaluate(() => document.dispatchEvent(new Event('visibilitychange')));
  await page.locator('#banner').waitFor({ state: 'visible', timeout: 6000 });
  const banner = await page.locator('#banner').boundingBox();
  const tab = page.locator('td[command="show"][subject="ui"]');
  const box = await tab.boundingBox();
  assert.ok(box.y >= banner.y + banner.height, `the tab (top ${box.y}) below the banner (bottom ${banner.y + banner.height})`);
  // The tab is what a finger on it touches, and it answers.
  assert.equal(await page.evaluate(({ x, y }) => document.elementFromPoint(x, y).getAttribute('subject'),
                                   { x: box.x + box.width / 2, y: box.y + box.height / 2 }), 'ui');
  await tab.tap();
  assert.equal(await page.isVisible('#id_ui'), true);
  await page.unroute('**/Keyboard*');
});
