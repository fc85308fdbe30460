// A web page from another origin tries to type on the PC through the browser: the input
// routes must not act on any of its requests, while the control page's own taps still do.

import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import http from 'node:http';
import { Headless, launchPhone, until, sleep } from './support.mjs';

let headless;
let phone;
let foreign;
let foreignUrl;

// What a hostile site would run: the requests that reached the PC before they were refused.
const hostilePage = (port) => `<!doctype html><title>elsewhere</title><script>
  const pc = 'http://127.0.0.1:${port}';
  window.done = Promise.allSettled([
    fetch(pc + '/KeyboardKey?str=%23r', {mode: 'no-cors'}),
    fetch(pc + '/KeyboardKey', {method: 'POST', mode: 'no-cors',
      headers: {'Content-Type': 'application/x-www-form-urlencoded'}, body: 'str=calc~'}),
    new Promise((resolve) => { const i = new Image(); i.onload = i.onerror = resolve; i.src = pc + '/ButtonsDown?str=7'; }),
    fetch(pc + '/ButtonsPress?str=9', {mode: 'cors'}),
  ]).then((results) => results.map((r) => r.status));
</script>`;

before(async () => {
  headless = await Headless.start();
  phone = await launchPhone();
  // Another origin on the loopback range: same PC, another site as far as the browser goes.
  foreign = http.createServer((request, response) => {
    response.writeHead(200, { 'Content-Type': 'text/html' });
    response.end(hostilePage(headless.port));
  });
  await new Promise((resolve) => foreign.listen(0, '127.0.0.2', resolve));
  foreignUrl = `http://127.0.0.2:${foreign.address().port}/`;
});

after(async () => {
  if (phone) await phone.close();
  if (headless) await headless.stop();
  if (foreign) foreign.close();
});

test('a page from another site cannot press keys or joystick buttons', async () => {
  const { page } = phone;
  const from = headless.lines.length;
  const sent = [];
  const answered = [];
  const toPC = (r) => r.url().includes(`:${headless.port}/`);
  page.on('request', (r) => { if (toPC(r)) sent.push(r.url()); });
  page.on('response', (r) => { if (toPC(r)) answered.push(r.status()); });
  await page.goto(foreignUrl);
  await page.evaluate(() => window.done);
  // Every request went out and reached the program, and none of them acted. (The browser
  // hides the answer to the cross-origin "cors" fetch from the page and from the test.)
  await until(() => sent.length >= 4 && answered.length >= 3, `four requests, got ${sent}; answers ${answered}`);
  assert.deepEqual(await headless.linesBeforeMarker(from), []);
  assert.ok(answered.every((status) => status === 403), `answers ${answered}`);
});

test('the control page itself still types and presses', async () => {
  const { page } = phone;
  await page.goto(headless.url);
  await page.waitForFunction(() => typeof window.tapdeck === 'object');
  const from = headless.lines.length;
  await page.locator('td', { hasText: /^Toggle Landing Gear$/ }).tap();
  // A plain key is held: its down, then the up route's up.
  const lines = await headless.inputLinesAfter(from, 2);
  assert.deepEqual(lines, ['key vk=0x4C scan=38 flags=0 extra=13', 'key vk=0x4C scan=38 flags=2 extra=13']);
  await page.locator('td[command="show"][subject="ui"]').tap();
  const joyFrom = headless.lines.length;
  await page.locator('td', { hasText: /^Target$/ }).tap();
  assert.deepEqual(await headless.inputLinesAfter(joyFrom, 2), ['joy SetBtn -1 2 7', 'joy SetBtn 0 2 7']);
});
