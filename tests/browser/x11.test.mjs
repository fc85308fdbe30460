// End to end on X11, through tapdeck-headless with the system keyboard (XTest on the display
// of an Xvfb of our own): a tap in the phone's browser becomes a key event in an X window, and
// a game that polls the key state once per frame sees every quick tap.

import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { accessSync, constants, existsSync } from 'node:fs';
import path from 'node:path';
import { Headless, LineProcess, launchPhone, touchScreen, binDir, until, sleep } from './support.mjs';

const cleanups = [];
after(async () => {
  for (const cleanup of cleanups.reverse()) await cleanup();
});

// An Xvfb on a display number it picks itself; null when none can be started.
async function startXvfb() {
  let xvfb;
  try {
    xvfb = spawn('Xvfb', ['-displayfd', '3', '-nolisten', 'tcp', '-screen', '0', '1024x768x24'],
                 { stdio: ['ignore', 'ignore', 'pipe', 'pipe'] });
  } catch {
    return null;
  }
  const display = await new Promise((resolve) => {
    let text = '';
    const timer = setTimeout(() => resolve(null), 10000);
    xvfb.on('error', () => { clearTimeout(timer); resolve(null); });
    xvfb.on('exit', () => { clearTimeout(timer); resolve(null); });
    xvfb.stdio[3].setEncoding('utf8');
    xvfb.stdio[3].on('data', (chunk) => {
      text += chunk;
      if (text.includes('\n')) { clearTimeout(timer); resolve(':' + text.trim()); }
    });
  });
  if (!display) {
    xvfb.kill('SIGKILL');
    return null;
  }
  const exited = new Promise((resolve) => xvfb.on('exit', resolve));
  return { display, stop: async () => { xvfb.kill('SIGTERM'); await exited; } };
}

function uinputWritable() {
  try {
    accessSync('/dev/uinput', constants.W_OK);
    return true;
  } catch {
    return false;
  }
}

// One Xvfb for the tests of this file; the reason to skip when there can be none.
let xvfb = null;
async function display() {
  if (process.platform !== 'linux') return { skip: 'X11 only' };
  if (uinputWritable()) return { skip: '/dev/uinput is writable here, so the system keyboard sends there, not to X' };
  if (!xvfb) {
    xvfb = await startXvfb();
    if (!xvfb) return { skip: 'no X server could be started (Xvfb missing or failing)' };
    cleanups.push(xvfb.stop);
  }
  return { display: xvfb.display };
}

test('tapping "Toggle Landing Gear" types l into the focused X window', async (t) => {
  const { skip } = await display();
  if (skip) return t.skip(skip);

  const clientPath = path.join(binDir, 'tapdeck-xkeywindow');
  assert.ok(existsSync(clientPath), `${clientPath} is missing: build the project first`);
  const client = new LineProcess(clientPath, [], { DISPLAY: xvfb.display });
  cleanups.push(() => client.stop());
  await client.waitFor(/^ready$/);

  const headless = await Headless.start({ args: ['--keys', 'system'], env: { DISPLAY: xvfb.display } });
  cleanups.push(() => headless.stop());
  const phone = await launchPhone();
  cleanups.push(phone.close);

  await phone.page.goto(headless.url);
  await phone.page.locator('td', { hasText: /^Toggle Landing Gear$/ }).tap();
  await client.waitFor(/^release l$/);
  await sleep(200);
  // The key is held from the touch to the lift: one press, one release.
  assert.deepEqual(client.lines.slice(1), ['press l', 'release l']);
  // The system keyboard was used: the recorder prints no key lines.
  assert.deepEqual(headless.lines.filter((line) => line.startsWith('key ')), []);
  await client.stop();
  await headless.stop();
  await phone.close();
});

// A game that reads the keyboard's state once per frame (every 16 ms) instead of its events
// sees a key only if it is down when it looks. TAPS quick taps (5 ms on the glass) through the
// page, and as many /KeyboardKey requests sent directly (the page's old way, whose key goes
// down and up at once): every one reaches the focused window as a press and a release, in
// order; what the polling game saw of them is reported (a loaded machine starves a 16 ms
// poller, so it is not asserted).
const TAPS = 50;
const TAP_EVERY_MS = 150;

async function startWatchers(xDisplay) {
  const clientPath = path.join(binDir, 'tapdeck-xkeywindow');
  const pollerPath = path.join(binDir, 'tapdeck-xkeypoll');
  for (const program of [clientPath, pollerPath]) assert.ok(existsSync(program), `${program} is missing: build the project first`);
  const client = new LineProcess(clientPath, [], { DISPLAY: xDisplay });
  cleanups.push(() => client.stop());
  await client.waitFor(/^ready$/);
  const poller = new LineProcess(pollerPath, ['l'], { DISPLAY: xDisplay });
  cleanups.push(() => poller.stop());
  await poller.waitFor(/^ready$/);
  return { client, poller };
}

const seen = (poller) => poller.lines.filter((line) => line === 'down').length;
const presses = (client) => client.lines.filter((line) => / l$/.test(line));

async function tapsReachTheWindow(t, how, tapOnce) {
  const { skip, display: xDisplay } = await display();
  if (skip) return t.skip(skip);
  const { client, poller } = await startWatchers(xDisplay);
  const headless = await Headless.start({ args: ['--keys', 'system'], env: { DISPLAY: xDisplay } });
  cleanups.push(() => headless.stop());
  const done = await tapOnce(headless);
  for (let i = 0; i < TAPS; i++) {
    const started = Date.now();
    await done.tap();
    await sleep(Math.max(0, TAP_EVERY_MS - (Date.now() - started)));
  }
  await until(() => presses(client).length >= 2 * TAPS, `${TAPS} presses and releases, got ${presses(client).length}`, 15000);
  assert.deepEqual(presses(client), Array.from({ length: 2 * TAPS }, (_, i) => (i % 2 ? 'release l' : 'press l')));
  // The game sees the key up at the end (or never saw it down).
  await until(() => poller.lines.at(-1) !== 'down', 'the key up for the polling game');
  t.diagnostic(`${how}: the game polling every 16 ms saw ${seen(poller)} of ${TAPS} taps`);
  if (done.close) await done.close();
  await headless.stop();
  await poller.stop();
  await client.stop();
}

test(`${TAPS} quick taps on the page reach the window in order; a polling game's count reported`, (t) =>
  tapsReachTheWindow(t, 'taps on the page', async (headless) => {
    const phone = await launchPhone();
    cleanups.push(phone.close);
    await phone.page.goto(headless.url);
    const finger = await touchScreen(phone.context, phone.page);
    const gear = phone.page.locator('td', { hasText: /^Toggle Landing Gear$/ });
    return { tap: () => finger.tap(gear, 5), close: async () => { await finger.detach(); await phone.close(); } };
  }));

test(`${TAPS} /KeyboardKey requests sent directly reach the window in order; a polling game's count reported`, (t) =>
  tapsReachTheWindow(t, '/KeyboardKey sent directly', async (headless) => ({
    tap: async () => { await (await fetch(`${headless.url}KeyboardKey?str=l`)).arrayBuffer(); },
  })));

test('a key held on the page goes up on the PC when the program exits', async (t) => {
  const { skip, display: xDisplay } = await display();
  if (skip) return t.skip(skip);
  const { client, poller } = await startWatchers(xDisplay);
  const headless = await Headless.start({ args: ['--keys', 'system'], env: { DISPLAY: xDisplay } });
  cleanups.push(() => headless.stop());
  const phone = await launchPhone();
  cleanups.push(phone.close);
  await phone.page.goto(headless.url);
  const finger = await touchScreen(phone.context, phone.page);
  await finger.down(phone.page.locator('td', { hasText: /^Toggle Landing Gear$/ }));
  await client.waitFor(/^press l$/);
  await until(() => poller.lines.at(-1) === 'down', 'the key down for the polling game');
  assert.equal(await headless.stop(), 0);
  await client.waitFor(/^release l$/);
  await until(() => poller.lines.at(-1) === 'up', 'the key up for the polling game');
  await finger.detach();
  await phone.close();
  await poller.stop();
  await client.stop();
});
