// Nothing stays pressed: a paired phone on the PC's LAN address (a network namespace of the
// test's own) holds a key and a joystick button with two fingers, then its network goes away
// (its link taken down, no page event at all): the PC lets go of both by itself. Held joystick
// buttons follow the finger: lifted, slid off, cancelled by the system, the page hidden; and
// Stop and the program's exit let go of what is held.

import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { Headless, PhoneNetwork, freePort, launchPhone, touchScreen, until } from './support.mjs';
import { key } from './keylines.mjs';

const [G_DOWN, G_UP] = key(0x47, 34);
const joyDown = (b) => `joy SetBtn -1 2 ${b}`;
const joyUp = (b) => `joy SetBtn 0 2 ${b}`;

let folder;
let network;
let headless;
let phone;
let page;
let touch;

const cell = (text) => page.locator('td', { hasText: new RegExp(`^${text}$`) });

before(async () => {
  folder = mkdtempSync(path.join(tmpdir(), 'tapdeck-held-'));
  const panel = { tapdeckPanel: 1, title: 'Rover', tabs: [{ id: 'drive', text: 'Drive', rows: [
    [{ text: 'Forward', color: 'red', buttonsHold: [5] }, { text: 'Gear', color: 'blue', keys: 'g' }],
    [{ text: 'Left', color: 'red', buttonsHold: [6] }, { text: 'Horn', color: 'green', buttonsPress: [7] }],
  ] }] };
  writeFileSync(path.join(folder, 'panel.json'), JSON.stringify(panel));
  network = new PhoneNetwork();
  headless = await Headless.start({ paired: true, port: await freePort(), args: ['--panel', path.join(folder, 'panel.json')] });
  phone = await launchPhone({ network });
  page = phone.page;
  const from = headless.lines.length;
  headless.command('pair');
  const [, m] = await headless.waitFor(/^pairing code \d{6} secret (\S+)$/, from);
  await page.goto(`http://${network.pc}:${headless.port}/#pair=${m[1]}`);
  await page.waitForFunction(() => localStorage.getItem('tapdeck.device'));
  touch = await touchScreen(phone.context, page);
});

after(async () => {
  if (phone) await phone.close();
  if (headless) await headless.stop();
  if (network) network.remove();
  if (folder) rmSync(folder, { recursive: true, force: true });
});

// Waits for each of the lines to come since `from`, in any order.
const linesCome = (from, lines, timeoutMs) =>
  until(() => lines.every((line) => headless.inputLines(from).includes(line)),
        `${JSON.stringify(lines)}, got ${JSON.stringify(headless.inputLines(from))}`, timeoutMs);

async function centre(locator) {
  const box = await locator.boundingBox();
  return { x: box.x + box.width / 2, y: box.y + box.height / 2 };
}

async function holdBoth() {
  const from = headless.lines.length;
  const points = [await centre(cell('Forward')), await centre(cell('Gear'))];
  const cdp = await phone.context.newCDPSession(page);
  await cdp.send('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: points });
  await linesCome(from, [joyDown(5), G_DOWN]);
  return cdp;
}

test('a phone whose network goes away lets go of its two held fingers within 3 s; so does Stop', async () => {
  const cdp = await holdBoth();
  const from = headless.lines.length;
  const cutAt = Date.now();
  network.cut();
  await linesCome(from, [joyUp(5), G_UP], 3000);
  const released = Date.now() - cutAt;
  assert.deepEqual(headless.inputLines(from).sort(), [G_UP, joyUp(5)].sort(), `released after ${released} ms`);
  await cdp.send('Input.dispatchTouchEvent', { type: 'touchCancel', touchPoints: [] });
  network.restore();
  await until(async () => (await page.locator('#banner').isVisible()) === false, 'the PC reachable again', 15000);

  // Held again, then Stop on the PC.
  const cdp2 = await holdBoth();
  const fromStop = headless.lines.length;
  headless.command('stop');
  await linesCome(fromStop, [joyUp(5), G_UP]);
  await cdp2.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
  const started = headless.lines.length;
  headless.command('start');
  await headless.waitFor(/^listening IPv4/, started);
});

test('a held joystick button follows the finger: lifted, slid off, cancelled, the page hidden', async () => {
  // A fresh page: the one before went through a lost network, a Stop and a Start.
  await page.goto(`http://${network.pc}:${headless.port}/`);
  await page.waitForFunction(() => typeof window.tapdeck === 'object');
  await until(async () => (await page.locator('#banner').isVisible()) === false, 'the PC reachable', 15000);
  const gestures = [
    ['lifted', () => touch.up()],
    ['slid off', async () => { const p = await centre(cell('Horn')); await touch.move(p.x, p.y); }],
    ['cancelled', () => touch.cancel()],
    ['the page hidden', () => page.evaluate(() => window.dispatchEvent(new PageTransitionEvent('pagehide', { persisted: true })))],
  ];
  for (const [what, end] of gestures) {
    const from = headless.lines.length;
    await touch.down(cell('Left'));
    await linesCome(from, [joyDown(6)]);
    await end();
    await linesCome(from, [joyUp(6)]);
    assert.deepEqual(headless.inputLines(from), [joyDown(6), joyUp(6)], what);
    if (what === 'slid off' || what === 'the page hidden') await touch.up();
  }
});

test('the program\'s exit lets go of what a phone holds', async () => {
  await holdBoth();
  const from = headless.lines.length;
  const ended = headless;
  headless = null;
  assert.equal(await ended.stop(), 0);
  assert.deepEqual(ended.inputLines(from).sort(), [G_UP, joyUp(5)].sort());
});
