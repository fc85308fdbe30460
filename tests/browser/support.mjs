// Shared helpers of the browser tests: tapdeck-headless as a child process whose output
// lines are collected with their times, and Debian's Chromium emulating a phone or showing
// the page on a desktop.

import { spawn, execFileSync } from 'node:child_process';
import { mkdtempSync, rmSync, existsSync, mkdirSync, copyFileSync, writeFileSync, chmodSync } from 'node:fs';
import net from 'node:net';
import os, { tmpdir } from 'node:os';
import path from 'node:path';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const here = path.dirname(fileURLToPath(import.meta.url));
export const sourceDir = path.resolve(here, '..', '..');
// Where tapdeck-headless and the page files were built.
export const binDir = path.resolve(process.env.TAPDECK_BIN_DIR || path.join(sourceDir, 'build', 'default', 'bin'));
export const headlessPath = path.join(binDir, process.platform === 'win32' ? 'tapdeck-headless.exe' : 'tapdeck-headless');

export const chromiumPath = process.env.TAPDECK_CHROMIUM || '/usr/bin/chromium';
const chromiumArgs = ['--no-sandbox', '--disable-gpu', '--disable-background-networking', '--disable-component-update',
                      '--disable-sync', '--no-first-run'];

export const sleep = (ms) => new Promise((resolve) => setTimeout(resolve, ms));

// Waits until check() returns a truthy value; throws with the description after the timeout.
// A check that throws (a frame replaced while it was read) counts as not yet.
export async function until(check, description, timeoutMs = 5000) {
  const deadline = Date.now() + timeoutMs;
  for (;;) {
    let failure = null;
    try {
      const value = await check();
      if (value) return value;
    } catch (e) {
      failure = e;
    }
    if (Date.now() > deadline) throw new Error(`timed out waiting for ${description}${failure ? `: ${failure.message}` : ''}`);
    await sleep(20);
  }
}

// The panel editor of a running service opened in `page`, once it has loaded its panel and
// checked it.
export async function openEditorIn(page, url) {
  await page.goto(url + 'edit');
  await until(async () => /Save writes/.test(await page.textContent('#save-file')), 'the panel loaded');
  await until(async () => /valid|problem/.test(await page.textContent('#status')), 'the panel checked');
  return page;
}

// A child process whose standard output is kept as lines. With `stamped`, every line starts
// with a time in milliseconds and a blank: the time goes to `times`, the rest to `lines`.
class LineProcess {
  constructor(command, args, env, stamped = false) {
    this.lines = [];
    this.times = [];
    this.stderr = '';
    this.exited = false;
    this.exitCode = null;
    this.child = spawn(command, args, { env: { ...process.env, ...env }, stdio: ['pipe', 'pipe', 'pipe'] });
    let pending = '';
    this.child.stdout.setEncoding('utf8');
    this.child.stdout.on('data', (chunk) => {
      pending += chunk;
      let newline;
      while ((newline = pending.indexOf('\n')) >= 0) {
        const line = pending.slice(0, newline);
        pending = pending.slice(newline + 1);
        const m = stamped ? /^(\d+\.\d+) (.*)$/.exec(line) : null;
        if (stamped && !m) this.stderr += `line without a time: ${line}\n`;
        this.times.push(m ? Number(m[1]) : null);
        this.lines.push(m ? m[2] : line);
      }
    });
    this.child.stderr.setEncoding('utf8');
    this.child.stderr.on('data', (chunk) => { this.stderr += chunk; });
    this.closed = new Promise((resolve) => {
      this.child.on('close', (code) => {
        this.exited = true;
        this.exitCode = code;
        resolve(code);
      });
    });
    this.child.on('error', (error) => { this.stderr += String(error); });
  }

  // The first line from index `from` on that matches, as [index, match].
  find(pattern, from = 0) {
    for (let i = from; i < this.lines.length; i++) {
      const m = this.lines[i].match(pattern);
      if (m) return [i, m];
    }
    return null;
  }

  async waitFor(pattern, from = 0, timeoutMs = 10000) {
    return until(() => {
      if (this.exited && !this.find(pattern, from))
        throw new Error(`process ended (${this.exitCode}) before ${pattern}: ${this.stderr}`);
      return this.find(pattern, from);
    }, `${pattern} (stderr: ${this.stderr})`, timeoutMs);
  }

  async stop() {
    if (this.exited) return this.exitCode;
    this.child.kill('SIGTERM');
    const timer = setTimeout(() => this.child.kill('SIGKILL'), 10000);
    const code = await this.closed;
    clearTimeout(timer);
    return code;
  }
}

// tapdeck-headless on loopback, printing the time of every line; port 0 lets the system
// choose.
export class Headless extends LineProcess {
  constructor(args, env) {
    super(headlessPath, args, env, true);
  }

  // Open mode unless `paired`: the page's taps act without pairing first, as the tests of the
  // specified behaviour need.
  static async start({ port = 0, args = [], env = {}, paired = false } = {}) {
    if (!existsSync(headlessPath)) throw new Error(`${headlessPath} is missing: build the project first`);
    const mode = paired ? [] : ['--open'];
    const headless = new Headless(['--port', String(port), '--dir', binDir, '--timestamps', ...mode, ...args], env);
    const [, m] = await headless.waitFor(/^listening IPv4 (\d+)$/);
    headless.port = Number(m[1]);
    headless.url = `http://127.0.0.1:${headless.port}/`;
    return headless;
  }

  // A line on standard input, as the window's buttons: "stop", "start", "pair", "forget all".
  command(line) {
    this.child.stdin.write(`${line}\n`);
  }

  // The key and joy lines printed since `from`.
  inputLines(from) {
    return this.lines.slice(from).filter((line) => /^(key|joy|numlock) /.test(line));
  }

  // The same with the time each was printed at, as [milliseconds, line].
  timedInputLines(from) {
    const timed = [];
    for (let i = from; i < this.lines.length; i++)
      if (/^(key|joy|numlock) /.test(this.lines[i])) timed.push([this.times[i], this.lines[i]]);
    return timed;
  }

  // Waits until `count` input lines have come since `from`, then a little longer so that
  // any extra line shows up too, and returns them.
  async inputLinesAfter(from, count, settleMs = 150) {
    await until(() => this.inputLines(from).length >= count, `${count} input lines, got ${JSON.stringify(this.inputLines(from))}`);
    await sleep(settleMs);
    return this.inputLines(from);
  }

  // The input lines since `from` that came before a marker: "m" typed by a request of the
  // test's own (with a device key in paired mode), a later event that shows that nothing else
  // is on its way. Instead of waiting a fixed time to see that nothing more comes.
  async linesBeforeMarker(from, token = null) {
    const headers = token ? { 'Tapdeck-Device': token } : {};
    const answer = await fetch(`${this.url}KeyboardKey?str=m`, { headers });
    if (answer.status !== 200) throw new Error(`the marker was refused: ${answer.status}`);
    const marker = /^key vk=0x4D .*flags=2/;
    await until(() => this.inputLines(from).some((line) => marker.test(line)), 'the marker');
    const lines = this.inputLines(from);
    return lines.slice(0, lines.findIndex((line) => /^key vk=0x4D /.test(line)));
  }
}

export { LineProcess };

// A port nothing listens on now, for a test that stops and starts the server on the same one.
export function freePort() {
  return new Promise((resolve, reject) => {
    const server = net.createServer();
    server.on('error', reject);
    server.listen(0, () => {
      const { port } = server.address();
      server.close(() => resolve(port));
    });
  });
}

// A phone on the PC's network, for tests that need a second host: a network namespace of the
// test's own, joined to this one by a veth pair. The PC (tapdeck-headless, run here, which
// listens on every address) is at `pc`, a private LAN address as the window shows it, which a
// browser treats otherwise than loopback; `other` is a second address of the PC, for a site of
// another origin. The phone's browser runs inside the namespace. Needs root and iproute2.
export class PhoneNetwork {
  constructor() {
    const n = process.pid % 100000;
    const subnet = `10.214.${(process.pid % 250) + 1}`;
    this.name = `tdphone${n}`;
    this.hostSide = `tdh${n}`;
    this.phoneSide = `tdp${n}`;
    this.pc = `${subnet}.1`;
    this.other = `${subnet}.3`;
    this.remove();
    this.dir = mkdtempSync(path.join(tmpdir(), 'tapdeck-phonenet-'));
    // Whatever happens to the test, the namespace and the link go with the process.
    this.cleanUp = () => this.remove();
    process.on('exit', this.cleanUp);
    for (const signal of ['SIGINT', 'SIGTERM']) process.once(signal, () => process.exit(128 + os.constants.signals[signal]));
    const ip = (...args) => execFileSync('ip', args, { stdio: ['ignore', 'ignore', 'pipe'] });
    const inside = (...args) => ip('netns', 'exec', this.name, 'ip', ...args);
    ip('netns', 'add', this.name);
    ip('link', 'add', this.hostSide, 'type', 'veth', 'peer', 'name', this.phoneSide);
    ip('link', 'set', this.phoneSide, 'netns', this.name);
    ip('addr', 'add', `${this.pc}/24`, 'dev', this.hostSide);
    ip('addr', 'add', `${this.other}/24`, 'dev', this.hostSide);
    ip('link', 'set', this.hostSide, 'up');
    inside('addr', 'add', `${subnet}.2/24`, 'dev', this.phoneSide);
    inside('link', 'set', this.phoneSide, 'up');
    inside('link', 'set', 'lo', 'up');
    this.inside = inside;
    // Chromium started inside the namespace; the pipes to the test stay open through the exec.
    this.chromium = path.join(this.dir, 'chromium');
    writeFileSync(this.chromium, `#!/bin/sh\nexec ip netns exec ${this.name} ${chromiumPath} "$@"\n`);
    chmodSync(this.chromium, 0o755);
  }

  // The phone's Wi-Fi goes away and comes back: its link, taken down inside the namespace.
  cut() {
    this.inside('link', 'set', this.phoneSide, 'down');
  }

  restore() {
    this.inside('link', 'set', this.phoneSide, 'up');
  }

  remove() {
    for (const args of [['netns', 'del', this.name], ['link', 'del', this.hostSide]]) {
      try {
        execFileSync('ip', args, { stdio: 'ignore' });
      } catch { /* already gone */ }
    }
    if (this.dir) rmSync(this.dir, { recursive: true, force: true });
    if (this.cleanUp) process.off('exit', this.cleanUp);
  }
}

// Where a screenshot goes: beside the build, and into docs/ when TAPDECK_UPDATE_SCREENSHOT
// is set.
export async function saveScreenshot(page, name) {
  const outDir = path.join(binDir, '..', 'browser');
  mkdirSync(outDir, { recursive: true });
  const shot = path.join(outDir, name);
  await page.screenshot({ path: shot });
  if (process.env.TAPDECK_UPDATE_SCREENSHOT) copyFileSync(shot, path.join(sourceDir, 'docs', name));
}

// One Chromium without a profile of its own, for a benchmark that opens many contexts in it.
export function launchBrowser() {
  return chromium.launch({ executablePath: chromiumPath, headless: true, args: chromiumArgs });
}

// Chromium with a fresh profile and the given context options; inside the phone network's
// namespace when one is given.
async function launch(options, extraArgs = [], network = null) {
  const userDataDir = mkdtempSync(path.join(tmpdir(), 'tapdeck-chromium-'));
  const context = await chromium.launchPersistentContext(userDataDir, {
    executablePath: network ? network.chromium : chromiumPath,
    headless: true,
    args: [...chromiumArgs, ...extraArgs],
    ...options,
  });
  const page = context.pages()[0] || (await context.newPage());
  const close = async () => {
    await context.close();
    rmSync(userDataDir, { recursive: true, force: true });
  };
  return { context, page, close };
}

// A phone held upright; on the phone network when one is given.
export function launchPhone({ width = 360, height = 640, network = null } = {}) {
  return launch({
    viewport: { width, height },
    screen: { width, height },
    deviceScaleFactor: 2,
    hasTouch: true,
    isMobile: true,
    userAgent: 'Mozilla/5.0 (Linux; Android 14; Tapdeck Test Phone) AppleWebKit/537.36 (KHTML, like Gecko) Mobile Safari/537.36',
  }, [], network);
}

// The page on a desktop: a wide window, a mouse and no touch screen, as "Open Browser" opens
// it on the PC. hostName: a name that this browser resolves to 127.0.0.1.
export function launchDesktop({ width = 1280, height = 800, hostName = null } = {}) {
  const args = hostName ? [`--host-resolver-rules=MAP ${hostName} 127.0.0.1`] : [];
  return launch({ viewport: { width, height }, deviceScaleFactor: 1, hasTouch: false, isMobile: false }, args);
}

// The desktop for the panel editor: its questions go into `dialogs` and are answered yes
// while `answering()` says so.
export async function launchEditorDesktop(size, dialogs, answering) {
  const desktop = await launchDesktop(size);
  desktop.page.on('dialog', (dialog) => {
    dialogs.push(dialog.message());
    return answering() ? dialog.accept() : dialog.dismiss();
  });
  return desktop;
}

// Requests the page sends to the input routes, as "GET /Route?str=...".
export function recordInputRequests(page) {
  const requests = [];
  page.on('request', (request) => {
    const url = new URL(request.url());
    if (/^\/(Keyboard|Buttons)/.test(url.pathname)) requests.push(`${request.method()} ${url.pathname}${url.search}`);
  });
  return requests;
}

// One finger on the page's touch screen, driven through the DevTools protocol, so that the
// test chooses how long it stays down and where it goes.
export async function touchScreen(context, page) {
  const cdp = await context.newCDPSession(page);
  const touch = (type, points) => cdp.send('Input.dispatchTouchEvent', { type, touchPoints: points });
  return {
    async down(locator) {
      const box = await locator.boundingBox();
      await touch('touchStart', [{ x: box.x + box.width / 2, y: box.y + box.height / 2 }]);
    },
    move: (x, y) => touch('touchMove', [{ x, y }]),
    up: () => touch('touchEnd', []),
    cancel: () => touch('touchCancel', []),
    // Down on the locator, held for holdMs, then lifted.
    async tap(locator, holdMs) {
      await this.down(locator);
      await sleep(holdMs);
      await this.up();
    },
    detach: () => cdp.detach(),
  };
}
