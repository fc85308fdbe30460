// The control page in a phone's browser against tapdeck-headless: tabs, every cell's effect
// on the PC, escaping, what one touch sends, the unreachable banner, held buttons let go
// when the page is hidden, and a screenshot. Keys held like keys and the QR card have test
// files of their own.

import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { mkdirSync, copyFileSync } from 'node:fs';
import path from 'node:path';
import { Headless, launchPhone, recordInputRequests, until, sleep, sourceDir, binDir } from './support.mjs';
import { key, heldKey } from './keylines.mjs';
const down = (...buttons) => buttons.map((b) => `joy SetBtn -1 2 ${b}`);
const up = (...buttons) => buttons.map((b) => `joy SetBtn 0 2 ${b}`);
const press = (b) => [...down(b), ...up(b)];

// Every cell of the built-in page, by tab (null: the rows shown on every tab), with what
// reaches the PC when it is tapped. Every key cell holds one plain key: its down, then the
// up's down and up. The caption cell sends nothing.
const CELLS = [
  [null, 'Toggle Landing Gear', heldKey(0x4c, 38)],
  [null, 'Toggle Lights', heldKey(0x2d, 82, true)],
  [null, 'Toggle Hard-points', heldKey(0x55, 22)],
  [null, 'Toggle Cargo scoop', heldKey(0x24, 71, true)],
  ['flight', 'Toggle Flight Assist', heldKey(0x5a, 44)],
  ['flight', 'Engine Boost', heldKey(0x09, 15)],
  ['flight', 'Frame Shift Drive', heldKey(0x4a, 36)],
  ['flight', 'Deploy heat sink', heldKey(0x56, 47)],
  ['flight', 'Balance Power', heldKey(0x28, 80, true)],
  ['flight', 'Power Engines', heldKey(0x26, 72, true)],
  ['flight', 'Power Weapons', heldKey(0x27, 77, true)],
  ['flight', 'Power Systems', heldKey(0x25, 75, true)],
  ['landing', 'Thrusters', []],
  ['landing', 'Left / Forward', down(1, 5)],
  ['landing', 'Up', down(3)],
  ['landing', 'Forward', down(5)],
  ['landing', 'Right / Forward', down(2, 5)],
  ['landing', 'Left', down(1)],
  ['landing', 'Stop', up(1, 2, 3, 4, 5, 6)],
  ['landing', 'Right', down(2)],
  ['landing', 'Left / Backward', down(1, 6)],
  ['landing', 'Down', down(4)],
  ['landing', 'Backward', down(6)],
  ['landing', 'Right / Backward', down(2, 6)],
  ['ui', 'Target', press(7)],
  ['ui', 'Coms', press(10)],
  ['ui', 'Sensors', press(9)],
  ['ui', 'Systems', press(8)],
  ['ui', 'Previous Panel', press(15)],
  ['ui', 'Panel Up', press(11)],
  ['ui', 'Next Panel', press(17)],
  ['ui', 'Panel Left', press(13)],
  ['ui', 'Panel Select', press(16)],
  ['ui', 'Panel Right', press(14)],
  ['ui', 'Panel Back', press(18)],
  ['ui', 'Panel Down', press(12)],
];

let headless;
let phone;

before(async () => {
  headless = await Headless.start();
  phone = await launchPhone();
});

after(async () => {
  if (phone) await phone.close();
  if (headless) await headless.stop();
});

// A fresh load of the page, ready for taps.
async function openPage() {
  const { page } = phone;
  await page.goto(headless.url);
  await page.waitForFunction(() => typeof window.tapdeck === 'object');
  return page;
}

const cell = (page, text) => page.locator('td', { hasText: new RegExp(`^${text.replace(/[/]/g, '\\/')}$`) });
const tab = (page, id) => page.locator(`td[command="show"][subject="${id}"]`);

async function visibleTables(page) {
  return page.$$eval("table[id^='id_']", (tables) =>
    tables.filter((t) => getComputedStyle(t).display !== 'none').map((t) => t.id));
}

test('the page is set up for a phone and needs nothing from outside', async () => {
  const page = phone.page;
  const outside = [];
  page.on('request', (r) => { if (!r.url().startsWith(headless.url)) outside.push(r.url()); });
  await openPage();
  assert.equal(await page.title(), 'Elite Dangerous Tapdeck');
  const viewport = await page.$eval('meta[name=viewport]', (m) => m.content);
  assert.match(viewport, /width=device-width/);
  assert.match(viewport, /user-scalable=no/);
  const style = await page.evaluate(() => {
    const s = getComputedStyle(document.body);
    return { touchAction: s.touchAction, userSelect: s.userSelect || s.webkitUserSelect, background: s.backgroundColor };
  });
  assert.equal(style.touchAction, 'manipulation');
  assert.equal(style.userSelect, 'none');
  // Dark: every colour channel of the page background is low.
  const channels = style.background.match(/\d+/g).slice(0, 3).map(Number);
  assert.ok(channels.every((c) => c < 40), style.background);
  assert.deepEqual(outside.filter((u) => !u.startsWith('data:')), []);
  // Every cell with an action is a large target that spans the width with its row.
  const sizes = await page.$$eval('td[action]', (cells) =>
    cells.filter((c) => c.offsetParent).map((c) => c.getBoundingClientRect()).map((r) => [r.width, r.height, r.right]));
  for (const [w, h] of sizes) assert.ok(w >= 72 && h >= 56, `cell ${w}x${h}`);
  assert.ok(Math.max(...sizes.map((s) => s[2])) >= 350, 'the cells fill the width');
});

test('a tablet gets larger targets that still fill the width', async () => {
  const tablet = await launchPhone({ width: 800, height: 1280 });
  try {
    await tablet.page.goto(headless.url);
    const rects = await tablet.page.$$eval('td[action]', (cells) =>
      cells.filter((c) => c.offsetParent).map((c) => c.getBoundingClientRect()).map((r) => [r.width, r.height, r.right]));
    for (const [w, h] of rects) assert.ok(w >= 150 && h >= 90, `cell ${w}x${h}`);
    assert.ok(Math.max(...rects.map((r) => r[2])) >= 780, 'the cells fill the width');
    const caption = await tablet.page.$eval('td[action]', (c) => parseFloat(getComputedStyle(c).fontSize));
    assert.ok(caption >= 18, `caption ${caption}px`);
  } finally {
    await tablet.close();
  }
});

test('each tab shows its own table and is marked active', async () => {
  const page = await openPage();
  assert.deepEqual(await visibleTables(page), ['id_flight']);
  for (const id of ['landing', 'ui', 'flight']) {
    await tab(page, id).tap();
    assert.deepEqual(await visibleTables(page), [`id_${id}`]);
    const active = await page.$$eval('td[command="show"].active', (tabs) => tabs.map((t) => t.getAttribute('subject')));
    assert.deepEqual(active, [id]);
  }
  // The onclick the markup carries works too (a mouse, or a script).
  await page.evaluate(() => docommand(document.querySelector('td[subject="ui"]')));
  assert.deepEqual(await visibleTables(page), ['id_ui']);
});

test('every cell sends exactly its own input to the PC', async () => {
  const page = await openPage();
  const requests = recordInputRequests(page);
  assert.equal(CELLS.length, 36);
  assert.equal(await page.locator('td[action], td.small').count(), 36);
  for (const [tabId, text, expected] of CELLS) {
    if (tabId) await tab(page, tabId).tap();
    const before = requests.length;
    const from = headless.lines.length;
    await cell(page, text).tap();
    const lines = expected.length ? await headless.inputLinesAfter(from, expected.length) : await headless.linesBeforeMarker(from);
    assert.deepEqual(lines, expected, text);
    const held = await cell(page, text).getAttribute('action') === 'keypress';
    assert.equal(requests.length - before, held ? 2 : expected.length ? 1 : 0, `requests for ${text}: ${requests.slice(before)}`);
  }
});

test('plus signs, braces, percent and ampersand arrive intact', async () => {
  const page = await openPage();
  const shift = ['key vk=0x10 scan=42 flags=0 extra=13', 'key vk=0x10 scan=42 flags=2 extra=13'];
  const shifted = (k) => [shift[0], ...k, shift[1]];
  // "+a": Shift held for a; "{%}" and "{&}" the literal characters (Shift+5, Shift+7);
  // "{{}" and "{}}" the braces.
  const expected = [shift[0], ...key(0x41, 30), shift[1], ...shifted(key(0x35, 6)), ...shifted(key(0x37, 8)),
                    ...shifted(key(0xdb, 26)), ...shifted(key(0xdd, 27))];
  let from = headless.lines.length;
  assert.equal(await page.evaluate(() => window.tapdeck.send('keypress', '+a{%}{&}{{}{}}')), true);
  assert.deepEqual(await headless.inputLinesAfter(from, expected.length), expected);

  // The same through a cell of the page.
  await page.evaluate(() => {
    const td = document.createElement('td');
    td.setAttribute('action', 'keypress');
    td.setAttribute('key', '+a{%}{&}{{}{}}');
    td.textContent = 'Escapes';
    document.querySelector('#id_flight tr').appendChild(td);
  });
  from = headless.lines.length;
  await cell(page, 'Escapes').tap();
  assert.deepEqual(await headless.inputLinesAfter(from, expected.length), expected);
});

test('one touch sends its down and its up once each, however the browser reports it', async () => {
  const page = await openPage();
  const requests = recordInputRequests(page);
  const from = headless.lines.length;
  await cell(page, 'Frame Shift Drive').tap();
  await headless.inputLinesAfter(from, 2, 0);
  assert.deepEqual(await headless.linesBeforeMarker(from), heldKey(0x4a, 36));
  assert.deepEqual(requests, ['GET /KeyboardDown?str=j', 'GET /KeyboardUp?str=j']);

  // A mouse click on a desktop browser, and a long press, also count once.
  await cell(page, 'Deploy heat sink').click();
  await until(() => requests.length === 4, 'the click\'s up');
  const box = await cell(page, 'Engine Boost').boundingBox();
  await page.mouse.move(box.x + 10, box.y + 10);
  await page.mouse.down();
  await sleep(700);
  // Still held: its up waits for the button.
  assert.equal(requests.at(-1), 'GET /KeyboardDown?str=%7BTAB%7D');
  await page.mouse.up();
  await until(() => requests.length >= 6, 'the long press\'s up');
  await headless.inputLinesAfter(from, 6, 0);
  await headless.linesBeforeMarker(from);
  assert.deepEqual(requests, ['GET /KeyboardDown?str=j', 'GET /KeyboardUp?str=j', 'GET /KeyboardDown?str=v',
                              'GET /KeyboardUp?str=v', 'GET /KeyboardDown?str=%7BTAB%7D', 'GET /KeyboardUp?str=%7BTAB%7D']);
  // No text was selected by the long press.
  assert.equal(await page.evaluate(() => String(window.getSelection())), '');
});

test('a tap shows its pressed state and the round-trip time', async () => {
  const page = await openPage();
  const target = cell(page, 'Toggle Lights');
  const box = await target.boundingBox();
  // Held finger: pressed state shows while the finger is down.
  const cdp = await phone.context.newCDPSession(page);
  const point = { x: box.x + box.width / 2, y: box.y + box.height / 2 };
  await cdp.send('Input.dispatchTouchEvent', { type: 'touchStart', touchPoints: [point] });
  await until(() => target.evaluate((c) => c.classList.contains('pressed')), 'the pressed state');
  await cdp.send('Input.dispatchTouchEvent', { type: 'touchEnd', touchPoints: [] });
  await until(async () => !(await target.evaluate((c) => c.classList.contains('pressed'))), 'the pressed state to end');
  await until(async () => /^Last tap \d+ ms$/.test(await page.textContent('#status-text')), 'the round-trip time');
  await cdp.detach();
});

test('held buttons stay marked until a release cell lets them go', async () => {
  const page = await openPage();
  await tab(page, 'landing').tap();
  const held = () => page.$$eval('td.held', (cells) => cells.map((c) => c.textContent));
  await cell(page, 'Left / Forward').tap();
  await cell(page, 'Up').tap();
  assert.deepEqual(await held(), ['Left / Forward', 'Up']);
  const from = headless.lines.length;
  await cell(page, 'Stop').tap();
  assert.deepEqual(await held(), []);
  assert.deepEqual(await headless.inputLinesAfter(from, 6), up(1, 2, 3, 4, 5, 6));
});

test('held buttons are released when the page is hidden or left', async () => {
  let page = await openPage();
  await tab(page, 'landing').tap();
  let from = headless.lines.length;
  await cell(page, 'Right / Backward').tap();
  await headless.inputLinesAfter(from, 2);
  // The phone locks its screen or switches apps: the page becomes hidden.
  from = headless.lines.length;
  await page.evaluate(() => {
    Object.defineProperty(document, 'visibilityState', { value: 'hidden', configurable: true });
    document.dispatchEvent(new Event('visibilitychange'));
  });
  assert.deepEqual(await headless.inputLinesAfter(from, 2), up(2, 6));
  assert.equal(await page.locator('td.held').count(), 0);

  // The browser leaves the page: the release outlives it.
  page = await openPage();
  await tab(page, 'landing').tap();
  from = headless.lines.length;
  await cell(page, 'Forward').tap();
  await cell(page, 'Up').tap();
  await headless.inputLinesAfter(from, 2);
  from = headless.lines.length;
  await page.goto('about:blank');
  const lines = await headless.inputLinesAfter(from, 2);
  assert.deepEqual([...lines].sort(), up(3, 5).sort());
});

test('the banner tells when the PC cannot be reached and clears when it is back', async () => {
  const page = await openPage();
  const banner = page.locator('#banner');
  assert.equal(await banner.isVisible(), false);
  const port = headless.port;
  await headless.stop();
  // The phone wakes up: the page looks for the PC at once, without a tap.
  await page.evaluate(() => document.dispatchEvent(new Event('visibilitychange')));
  await banner.waitFor({ state: 'visible', timeout: 6000 });
  // A tap while it is gone keeps the banner up.
  await cell(page, 'Toggle Landing Gear').tap();
  await sleep(300);
  assert.equal(await banner.isVisible(), true);
  assert.match(await banner.textContent(), /PC not reachable/);
  assert.equal(await page.textContent('#status-text'), 'No connection');

  headless = await Headless.start({ port });
  const started = headless.lines.length;
  await banner.waitFor({ state: 'hidden', timeout: 10000 });
  // The probe asked for nothing: no input reached the PC.
  assert.deepEqual(headless.inputLines(started), []);
  const from = headless.lines.length;
  await cell(page, 'Toggle Landing Gear').tap();
  assert.deepEqual(await headless.inputLinesAfter(from, 2), heldKey(0x4c, 38));
});

test('screenshot of the page on a phone', async () => {
  const page = await openPage();
  await tab(page, 'landing').tap();
  await cell(page, 'Forward').tap();
  await until(async () => /^Last tap/.test(await page.textContent('#status-text')), 'the round-trip time');
  // What the picture shows: the Landing tab in front, Forward held, the round trip below.
  assert.equal(await tab(page, 'landing').evaluate((t) => t.classList.contains('active')), true);
  assert.equal(await cell(page, 'Forward').evaluate((c) => c.classList.contains('held')), true);
  assert.equal(await page.locator('#banner').isVisible(), false);
  const outDir = path.join(binDir, '..', 'browser');
  mkdirSync(outDir, { recursive: true });
  const shot = path.join(outDir, 'phone.png');
  await page.screenshot({ path: shot });
  await page.evaluate(() => window.tapdeck.releaseEverything());
  if (process.env.TAPDECK_UPDATE_SCREENSHOT) copyFileSync(shot, path.join(sourceDir, 'docs', 'phone.png'));
});
