// From the game's rewrite of Status.json to the lit cell on every open phone: PHONES phone
// pages of the live Elite panel (each in a browser context of its own, as separate phones
// are), CHANGES rewrites that lower and raise the landing gear, and for each the time from
// the rename of the new file to the moment each page draws the gear's cell lit or unlit.
// Then the cost of the open streams while nothing changes: the service's CPU time over
// IDLE_S seconds and its memory with the streams open and after they closed.
// Run by bench/live.sh.

import { mkdtempSync, readFileSync, renameSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { Headless, freePort, launchBrowser, sleep, sourceDir, until } from '../tests/browser/support.mjs';

const PHONES = Number(process.env.PHONES || 20);
const CHANGES = Number(process.env.CHANGES || 200);
const IDLE_S = Number(process.env.IDLE_S || 10);
const SETTLE_MS = 800; // after each change, before the draws are read
const IN_MAIN_SHIP = 1 << 24;
const GEAR_DOWN = 1 << 2;

const folder = mkdtempSync(path.join(tmpdir(), 'tapdeck-live-bench-'));
const writeStatus = (flags) => {
  writeFileSync(path.join(folder, 'Status.json.tmp'), JSON.stringify({ timestamp: new Date().toISOString(), event: 'Status', Flags: flags }));
  renameSync(path.join(folder, 'Status.json.tmp'), path.join(folder, 'Status.json'));
};

// The service's CPU time (user and system, in clock ticks of 10 ms) and resident memory (KiB).
function usage(pid) {
  const stat = readFileSync(`/proc/${pid}/stat`, 'utf8').split(') ')[1].split(' ');
  const rss = Number(/VmRSS:\s+(\d+)/.exec(readFileSync(`/proc/${pid}/status`, 'utf8'))[1]);
  return { ticks: Number(stat[11]) + Number(stat[12]), rss };
}

const percentile = (sorted, p) => sorted[Math.min(sorted.length - 1, Math.floor((sorted.length * p) / 100))];

writeStatus(IN_MAIN_SHIP);
const headless = await Headless.start({ port: await freePort(),
  args: ['--game', folder, '--panel', path.join(sourceDir, 'panels', 'elite-dangerous-live.json')] });
const pid = headless.child.pid;
const before = usage(pid);
const browser = await launchBrowser();
const pages = [];
for (let i = 0; i < PHONES; i++) {
  const context = await browser.newContext({ viewport: { width: 360, height: 640 }, isMobile: true, hasTouch: true });
  const page = await context.newPage();
  await page.goto(headless.url);
  // Each draw of the gear's cell, with the wall-clock time it happened at.
  await page.evaluate(() => {
    window.draws = [];
    const gear = [...document.querySelectorAll('td')].find((td) => /Landing\s*Gear/.test(td.textContent.trim()));
    new MutationObserver(() => window.draws.push([Date.now(), gear.classList.contains('lit')]))
      .observe(gear, { attributes: true, attributeFilter: ['class'] });
  });
  pages.push(page);
}
await until(async () => (await Promise.all(pages.map((p) => p.textContent('#source')))).every((t) => /in flight/.test(t)),
            'every page showing the game', 20000);

const latencies = [];
let lost = 0;
for (let i = 0; i < CHANGES; i++) {
  const lit = i % 2 === 0;
  const from = await Promise.all(pages.map((p) => p.evaluate(() => window.draws.length)));
  const changedAt = Date.now();
  writeStatus(IN_MAIN_SHIP | (lit ? GEAR_DOWN : 0));
  // The pages time their own draws; the benchmark stays out of the way while they draw.
  await sleep(SETTLE_MS);
  let everyPage = true;
  for (const [k, page] of pages.entries()) {
    const drawn = (await page.evaluate((n) => window.draws.slice(n), from[k])).find(([, x]) => x === lit);
    if (drawn) latencies.push(drawn[0] - changedAt);
    else everyPage = false;
  }
  if (!everyPage) lost++;
}
latencies.sort((a, b) => a - b);

const open = usage(pid);
await sleep(IDLE_S * 1000);
const idle = usage(pid);
await browser.close();
await sleep(1000);
const closed = usage(pid);
await headless.stop();
rmSync(folder, { recursive: true, force: true });

console.log(`live state: ${PHONES} phones, ${CHANGES} changes, ${latencies.length} draws, ${lost} changes not drawn on every page within ${SETTLE_MS} ms`);
console.log(`rewrite to lit cell: p50 ${percentile(latencies, 50)} ms, p99 ${percentile(latencies, 99)} ms, max ${latencies.at(-1)} ms`);
console.log(`${PHONES} open streams, nothing changing: ${(((idle.ticks - open.ticks) * 10) / IDLE_S).toFixed(1)} ms of CPU per second`);
console.log(`memory: ${before.rss} KiB before the phones, ${open.rss} KiB with ${PHONES} streams open, ${closed.rss} KiB after they closed;` +
            ` ${Math.max(0, Math.round((open.rss - closed.rss) / PHONES))} KiB per stream`);
