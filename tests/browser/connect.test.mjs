// The card "Open on your phone": beside the panel on a desktop (a mouse, no touch screen),
// hidden on a phone until the footer's button asks for it. Its QR code is read back from a
// screenshot, as a phone's camera would, and must hold the page's own address.

import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { mkdirSync, copyFileSync } from 'node:fs';
import path from 'node:path';
import jsQR from 'jsqr';
import { PNG } from 'pngjs';
import { Headless, launchPhone, launchDesktop, sleep, sourceDir, binDir } from './support.mjs';

let headless;

before(async () => {
  headless = await Headless.start();
});

after(async () => {
  if (headless) await headless.stop();
});

// The text of the QR code in a screenshot; null when none is found.
async function readQRCode(page) {
  const png = PNG.sync.read(await page.screenshot());
  const code = jsQR(new Uint8ClampedArray(png.data.buffer, png.data.byteOffset, png.data.length), png.width, png.height);
  return code ? code.data : null;
}

async function open(browser, url) {
  await browser.page.goto(url);
  await browser.page.waitForFunction(() => typeof window.tapdeck === 'object');
  return browser.page;
}

// Where a screenshot goes: beside the build, and into docs/ when asked for.
function saveScreenshot(name) {
  const outDir = path.join(binDir, '..', 'browser');
  mkdirSync(outDir, { recursive: true });
  const shot = path.join(outDir, name);
  return {
    path: shot,
    publish: () => { if (process.env.TAPDECK_UPDATE_SCREENSHOT) copyFileSync(shot, path.join(sourceDir, 'docs', name)); },
  };
}

async function box(page, selector) {
  return page.locator(selector).boundingBox();
}

test('on a desktop the card stands beside the panel with the QR code of the page', async () => {
  // The page opened under a name of the PC, as a phone would open it.
  const hostName = 'gaming-pc';
  const desktop = await launchDesktop({ hostName });
  try {
    const url = `http://${hostName}:${headless.port}/`;
    const page = await open(desktop, url);
    assert.equal(await page.locator('#connect').isVisible(), true);
    assert.equal(await page.locator('#connect-open').isVisible(), false);
    assert.equal(await page.textContent('#connect-title'), 'Open on your phone');
    assert.equal(await page.textContent('#connect-address'), url);
    assert.match(await page.textContent('.connect-help'), /same Wi-Fi.*firewall/i);
    assert.equal(await page.locator('#connect-local').isVisible(), false);
    const panel = await box(page, '#panel');
    const card = await box(page, '.connect-card');
    assert.ok(card.x >= panel.x + panel.width - 1, 'the card is right of the panel');
    assert.ok(card.width >= 250, `card ${card.width} px wide`);
    // The address is large text.
    assert.ok(parseFloat(await page.$eval('#connect-address', (e) => getComputedStyle(e).fontSize)) >= 20);
    assert.equal(await readQRCode(page), url);
    const shot = saveScreenshot('desktop.png');
    await page.screenshot({ path: shot.path });
    shot.publish();
  } finally {
    await desktop.close();
  }
});

test('on the PC\'s own loopback address the card says a phone needs another one', async () => {
  const desktop = await launchDesktop();
  try {
    const page = await open(desktop, headless.url);
    assert.equal(await readQRCode(page), headless.url);
    assert.equal(await page.locator('#connect-local').isVisible(), true);
  } finally {
    await desktop.close();
  }
});

test('on a phone the card is hidden until the footer\'s button shows it', async () => {
  const phone = await launchPhone();
  try {
    const page = await open(phone, headless.url);
    assert.equal(await page.locator('#connect').isVisible(), false);
    assert.equal(await page.locator('#connect-qr svg').count(), 0, 'no QR code made before it is asked for');
    const button = page.locator('#connect-open');
    assert.equal(await button.isVisible(), true);
    const requests = [];
    page.on('request', (r) => { if (new URL(r.url()).pathname !== '/alive') requests.push(r.url()); });
    await button.tap();
    await page.locator('#connect').waitFor({ state: 'visible' });
    assert.equal(await page.textContent('#connect-title'), 'Open on another device');
    assert.equal(await page.textContent('#connect-address'), headless.url);
    assert.equal(await readQRCode(page), headless.url);
    assert.deepEqual(requests, [], 'the QR code is made in the page');
    const shot = saveScreenshot('phone-card.png');
    await page.screenshot({ path: shot.path });
    shot.publish();
    await page.locator('#connect-close').tap();
    await page.locator('#connect').waitFor({ state: 'hidden' });
    // A tap beside the card closes it too.
    await button.tap();
    await page.locator('#connect').waitFor({ state: 'visible' });
    await page.mouse.click(5, 5);
    await page.locator('#connect').waitFor({ state: 'hidden' });
    await sleep(100);
  } finally {
    await phone.close();
  }
});
