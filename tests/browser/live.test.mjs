// The game's state on the buttons of every open phone: a fake game rewrites Status.json as
// the game does (a new file renamed over the old one), and two phone pages of the live Elite
// panel light up together; a toggle cell tapped on one lights on the other; Stop cuts the
// stream and both pages say so until Start.

import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { mkdtempSync, readFileSync, renameSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { Headless, freePort, launchPhone, saveScreenshot, sourceDir, until } from './support.mjs';

const IN_MAIN_SHIP = 1 << 24;
const GEAR_DOWN = 1 << 2;
const LIGHTS_ON = 1 << 8;
const SHIELDS_UP = 1 << 3;

let folder;
let headless;
let phone;
let pages;

// What the game does on every change: the whole file written anew, then put in place.
function writeStatus(flags) {
  const status = { timestamp: new Date().toISOString().replace(/\.\d+Z$/, 'Z'), event: 'Status', Flags: flags,
                   Pips: [4, 8, 0], FireGroup: 0, GuiFocus: 0, Fuel: { FuelMain: 28.4, FuelReservoir: 0.61 },
                   Cargo: 12, LegalState: 'Clean' };
  writeFileSync(path.join(folder, 'Status.json.tmp'), JSON.stringify(status));
  renameSync(path.join(folder, 'Status.json.tmp'), path.join(folder, 'Status.json'));
}

// Whether every cell that the selector finds on the page is lit (or, with false, none is).
const allLit = (page, selector, lit = true) =>
  page.$$eval(selector, (cells, lit) => cells.length > 0 && cells.every((c) => c.classList.contains('lit') === lit), lit);

const onBoth = (check, description) => until(async () => (await Promise.all(pages.map(check))).every(Boolean),
                                             description, 10000);

before(async () => {
  folder = mkdtempSync(path.join(tmpdir(), 'tapdeck-live-'));
  // The example panel with a cell of its own state below: a toggle the game does not report.
  const panel = JSON.parse(readFileSync(path.join(sourceDir, 'panels', 'elite-dangerous-live.json'), 'utf8'));
  panel.below = [[{ text: 'Orbit Lines', color: 'blue', keys: 'o', toggle: true, colspan: 4 }]];
  writeFileSync(path.join(folder, 'panel.json'), JSON.stringify(panel));
  writeStatus(IN_MAIN_SHIP | SHIELDS_UP);
  headless = await Headless.start({ port: await freePort(),
                                    args: ['--game', folder, '--panel', path.join(folder, 'panel.json')] });
  phone = await launchPhone();
  pages = [phone.page, await phone.context.newPage()];
  for (const page of pages) await page.goto(headless.url);
  await onBoth(async (page) => (await page.textContent('#source')) === 'Elite Dangerous: in flight', 'the game state');
});

after(async () => {
  if (phone) await phone.close();
  if (headless) await headless.stop();
  if (folder) rmSync(folder, { recursive: true, force: true });
});

test('the game lowers the gear and both phones light it; a toggle tapped on one lights on the other', async () => {
  const gear = 'td[lit="elite.LandingGearDown"]';
  assert.ok(await allLit(pages[0], gear, false));
  writeStatus(IN_MAIN_SHIP | SHIELDS_UP | GEAR_DOWN | LIGHTS_ON);
  await onBoth((page) => allLit(page, gear), 'the gear lit on both phones');
  assert.ok(await allLit(pages[1], 'td[lit="elite.LightsOn"]'));

  // Each phone is in front on its own screen.
  await pages[0].bringToFront();
  await pages[0].locator('td[toggle]').tap();
  await onBoth((page) => allLit(page, 'td[toggle]'), 'the toggle lit on both phones');
  await saveScreenshot(pages[0], 'live-panel.png');
  await pages[1].bringToFront();
  await pages[1].locator('td[toggle]').tap();
  await onBoth((page) => allLit(page, 'td[toggle]', false), 'the toggle off on both phones');
});

test('Stop cuts the stream and both phones say the PC is not reachable; Start brings them back', async () => {
  for (const page of pages) await page.evaluate(() => { window.sameLoad = true; });
  const banner = (visible) => (page) => page.locator('#banner').isVisible().then((shown) => shown === visible);
  let from = headless.lines.length;
  headless.command('stop');
  await headless.waitFor(/^server stopped$/, from);
  await onBoth(banner(true), 'the banner on both phones');
  assert.match(await pages[1].textContent('#banner'), /PC not reachable/);

  from = headless.lines.length;
  headless.command('start');
  await headless.waitFor(/^listening IPv4 /, from);
  await onBoth(banner(false), 'the banner gone on both phones');
  // The same pages (the panel did not change), and the state flows again.
  writeStatus(IN_MAIN_SHIP);
  await onBoth((page) => allLit(page, 'td[lit="elite.LandingGearDown"]', false), 'the gear up on both phones');
  for (const page of pages) assert.equal(await page.evaluate(() => window.sameLoad), true);
});
