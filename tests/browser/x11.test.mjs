// End to end on X11: a tap in the phone's browser becomes a key event in an X window, through
// tapdeck-headless with the system keyboard (XTest on the display of an Xvfb of our own).

import { test, after } from 'node:test';
import assert from 'node:assert/strict';
import { spawn } from 'node:child_process';
import { accessSync, constants, existsSync } from 'node:fs';
import path from 'node:path';
import { Headless, LineProcess, launchPhone, binDir } from './support.mjs';

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

test('tapping "Toggle Landing Gear" types l into the focused X window', async (t) => {
  if (process.platform !== 'linux') return t.skip('X11 only');
  if (uinputWritable()) return t.skip('/dev/uinput is writable here, so the system keyboard sends there, not to X');
  const xvfb = await startXvfb();
  if (!xvfb) return t.skip('no X server could be started (Xvfb missing or failing)');
  cleanups.push(xvfb.stop);

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
  assert.deepEqual(client.lines.slice(1), ['press l', 'release l']);
  // The system keyboard was used: the recorder prints no key lines.
  assert.deepEqual(headless.lines.filter((line) => line.startsWith('key ')), []);
});
