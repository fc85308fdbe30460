// Only paired phones press keys, over the PC's LAN address as a phone reaches it (a network
// namespace of the test's own; Chromium treats such an address otherwise than loopback and
// sends no Origin or Sec-Fetch-* header with an <img> or a no-cors fetch to it). A page of
// another site acts on nothing; a phone pairs by the QR code's secret or by the 6-digit code,
// and a forgotten phone is refused and says so.

import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import http from 'node:http';
import { Headless, PhoneNetwork, launchPhone, saveScreenshot } from './support.mjs';
import { L, key } from './keylines.mjs';

let network;
let headless;
let phone;
let pcUrl;

before(async () => {
  network = new PhoneNetwork();
  headless = await Headless.start({ paired: true });
  pcUrl = `http://${network.pc}:${headless.port}/`;
  phone = await launchPhone({ network });
});

after(async () => {
  if (phone) await phone.close();
  if (headless) await headless.stop();
  if (network) network.remove();
});

// A command on tapdeck-headless's standard input and the line that answers it.
async function command(line, answer) {
  const from = headless.lines.length;
  headless.command(line);
  const [, m] = await headless.waitFor(answer, from);
  return m;
}

// "M" typed by a script with a key of its own: a later event that every earlier request's
// lines come before.
async function marker() {
  const [, token] = await command('script-key marker', /^script-key \S+ (\S+)$/);
  const from = headless.lines.length;
  await new Promise((resolve, reject) => {
    http.get(`${pcUrl}KeyboardKey?str=m`, { headers: { 'Tapdeck-Device': token } }, (response) => {
      response.resume();
      response.on('end', resolve);
    }).on('error', reject);
  });
  await headless.waitFor(/^key vk=0x4D .*flags=2/, from);
}

const gear = (page) => page.locator('td', { hasText: /^Toggle Landing Gear$/ });

async function tapActs(page) {
  const from = headless.lines.length;
  await gear(page).tap();
  assert.deepEqual(await headless.inputLinesAfter(from, 2), L);
}

test('a phone pairs by the QR code or by the 6-digit code; a forgotten one is refused and says so', async () => {
  const prompt = phone.page.locator('#pair');
  await phone.page.goto(pcUrl);
  await prompt.waitFor({ state: 'visible' });
  assert.equal(await phone.page.textContent('#pair-title'),
               'Pair this phone: scan the code on the PC, or type the 6-digit code shown there');
  await saveScreenshot(phone.page, 'pairing-phone.png');

  // The camera opens the QR code's address: the secret goes, the taps act.
  const [, , secret] = await command('pair', /^pairing code (\d{6}) secret (\S+)$/);
  const page = await phone.context.newPage();
  await phone.page.close();
  await page.goto(`${pcUrl}#pair=${secret}`);
  await page.waitForFunction(() => localStorage.getItem('tapdeck.device'));
  assert.equal(page.url(), pcUrl);
  assert.equal(await page.locator('#pair').isVisible(), false);
  await tapActs(page);

  // Forgotten on the PC: the next tap is refused and the page says why.
  await command('forget all', /^forgot /);
  const from = headless.lines.length;
  const refused = page.waitForResponse((r) => r.url().includes('/KeyboardDown'));
  await gear(page).tap();
  assert.equal((await refused).status(), 403);
  await page.locator('#pair').waitFor({ state: 'visible' });
  assert.match(await page.textContent('#pair-reason'), /no longer paired/);
  await marker();
  assert.deepEqual(headless.inputLines(from), key(0x4d, 50));

  // Paired again by the code typed into the prompt.
  const [, code] = await command('pair', /^pairing code (\d{6}) secret \S+$/);
  await page.fill('#pair-code', code);
  await page.locator('.pair-button').tap();
  await page.locator('#pair').waitFor({ state: 'hidden' });
  await tapActs(page);
});

// What a hostile site runs: the Windows key with R, "calc" and Enter, joystick button 7 held,
// by every way a page of another origin can send a request, and one with a valid credential,
// which only a CORS preflight could let through.
const hostilePage = (pc, token) => `<!doctype html><title>elsewhere</title><body><script>
  const image = (url) => new Promise((resolve) => { const i = new Image(); i.onload = i.onerror = resolve; i.src = url; });
  const sink = document.createElement('iframe');
  sink.name = 'sink';
  document.body.append(sink);
  const posted = new Promise((resolve) => { sink.onload = resolve; });
  const form = document.createElement('form');
  Object.assign(form, { method: 'POST', action: '${pc}KeyboardKey', target: 'sink' });
  form.innerHTML = '<input name="str" value="calc~">';
  document.body.append(form);
  form.submit();
  window.done = Promise.allSettled([
    image('${pc}KeyboardKey?str=%23r'),
    fetch('${pc}KeyboardKey?str=calc~', { mode: 'no-cors' }),
    image('${pc}ButtonsDown?str=7'),
    posted,
    fetch('${pc}KeyboardKey?str=calc~', { mode: 'cors', headers: { 'Tapdeck-Device': '${token}' } }),
  ]).then((results) => results.map((r) => r.status));
</script>`;

test('a page of another site presses nothing through the LAN address', async () => {
  const [, token] = await command('script-key stolen', /^script-key \S+ (\S+)$/);
  const site = http.createServer((request, response) => {
    response.writeHead(200, { 'Content-Type': 'text/html' });
    response.end(hostilePage(pcUrl, token));
  });
  await new Promise((resolve) => site.listen(0, network.other, resolve));
  try {
    const page = await phone.context.newPage();
    const answered = [];
    page.on('response', (r) => { if (r.url().startsWith(pcUrl)) answered.push(r.status()); });
    const from = headless.lines.length;
    await page.goto(`http://${network.other}:${site.address().port}/`);
    await page.evaluate(() => window.done);
    await marker();
    assert.deepEqual(headless.inputLines(from), key(0x4d, 50));
    // The image, fetch and form requests reached the PC and were refused; the preflight of
    // the one with the credential was not granted, so it never went out.
    assert.ok(answered.length >= 4 && answered.every((status) => status === 403), `answers ${answered}`);
    await page.close();
  } finally {
    site.close();
  }
});
