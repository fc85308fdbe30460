// The panel editor in half a screen beside the game: at 900 px and up no control overlaps
// another and nothing scrolls sideways; the preview always shows the panel being edited and
// the tab being edited (the last valid state, marked, while the panel has problems); the key
// reading says what the keys really type; an image imported is "not text"; exporting a panel
// with problems asks first. A screenshot at 900 px.

import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { mkdtempSync, mkdirSync, writeFileSync, rmSync, copyFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { Headless, launchEditorDesktop, until, sourceDir, binDir, openEditorIn } from './support.mjs';

let folder;
let headless;
let desktop;
const dialogs = [];
let answer = true; // how the next question is answered

before(async () => {
  folder = mkdtempSync(path.join(tmpdir(), 'tapdeck-editor-side-'));
  const panelFile = path.join(folder, 'panel.json');
  writeFileSync(panelFile, JSON.stringify({ tapdeckPanel: 1, title: 'Side', tabs: [{ id: 'a', text: 'A', rows: [[{ text: 'One', keys: 'o' }]] }] }));
  headless = await Headless.start({ args: ['--panel', panelFile] });
  desktop = await launchEditorDesktop({ width: 900, height: 1000 }, dialogs, () => answer);
});

after(async () => {
  if (desktop) await desktop.close();
  if (headless) await headless.stop();
  if (folder) rmSync(folder, { recursive: true, force: true });
});

const openEditor = () => openEditorIn(desktop.page, headless.url);

const preview = (page) => page.frameLocator('#preview');
// The captions the preview shows, read again when the preview is replaced while being read.
const previewCaptions = (page) => until(() => preview(page).locator('#panel td[action]:visible, #panel td.small:visible').allTextContents(),
                                        'the preview read');
const note = (page) => page.textContent('#preview-note');

// Pairs of visible controls whose boxes overlap, and controls that stick out of the window.
function overlaps() {
  const boxes = [...document.querySelectorAll('button, input:not([type=file]), select, textarea, iframe, label, h1, h2, .cell, .reading')]
    .filter((el) => el.offsetParent !== null)
    .map((el) => ({ el, r: el.getBoundingClientRect(), name: el.id || el.getAttribute('aria-label') || el.textContent.trim().slice(0, 20) }));
  const found = [];
  for (const a of boxes) {
    if (a.r.right > document.documentElement.clientWidth + 0.5) found.push(`${a.name} sticks out`);
    for (const b of boxes) {
      if (a === b || a.el.contains(b.el) || b.el.contains(a.el) || a.name > b.name) continue;
      const w = Math.min(a.r.right, b.r.right) - Math.max(a.r.left, b.r.left);
      const h = Math.min(a.r.bottom, b.r.bottom) - Math.max(a.r.top, b.r.top);
      if (w > 1 && h > 1) found.push(`${a.name} / ${b.name}`);
    }
  }
  return found;
}

test('beside the game, from 900 px up: nothing overlaps, nothing scrolls sideways', async () => {
  const page = await openEditor();
  await page.click('#from-builtin');
  await until(async () => (await page.locator('#part option').count()) > 3, 'the built-in page loaded');
  await page.selectOption('#part', 'tab:0');
  await page.click('.cell:has-text("Power Weapons")');
  for (const width of [900, 1000, 1100, 1280]) {
    await page.setViewportSize({ width, height: 1000 });
    assert.equal(await page.evaluate(() => document.documentElement.scrollWidth <= document.documentElement.clientWidth), true,
                 `no sideways scrolling at ${width} px`);
    assert.deepEqual(await page.evaluate(overlaps), [], `at ${width} px`);
  }
  await page.setViewportSize({ width: 900, height: 1000 });
  await until(async () => (await previewCaptions(page)).includes('Power Weapons'), 'the preview');
  mkdirSync(path.join(binDir, '..', 'browser'), { recursive: true });
  const shot = path.join(binDir, '..', 'browser', 'editor-900.png');
  await page.screenshot({ path: shot });
  if (process.env.TAPDECK_UPDATE_SCREENSHOT) copyFileSync(shot, path.join(sourceDir, 'docs', 'editor-900.png'));
});

test('the preview shows the panel being edited, its last valid state while it has problems, and the tab being edited', async () => {
  const page = await openEditor();
  answer = true;
  await page.click('#new-empty');
  await until(async () => /empty panel/.test(await note(page)), 'the empty panel noted');
  assert.deepEqual(await previewCaptions(page), [], 'nothing of the panel before');

  await page.click('#add-tab');
  await page.keyboard.type('First');
  await page.click('#add-row');
  await page.fill('#cell-text', 'Alpha');
  await page.click('#add-tab');
  await page.keyboard.type('Second');
  await page.selectOption('#part', 'tab:1');
  await page.click('#add-row');
  await page.fill('#cell-text', 'Beta');
  await until(async () => (await previewCaptions(page)).includes('Beta'), 'the tab being edited shown');
  assert.equal(await note(page), '');
  await page.selectOption('#part', 'tab:0');
  await until(async () => (await previewCaptions(page)).includes('Alpha'), 'the other tab shown');

  // A problem: the last valid state stays, marked as such.
  await page.click('.cell:has-text("Alpha")');
  await page.selectOption('#cell-action', 'keys');
  await page.fill('#cell-keys', '{NOSUCH}');
  await until(async () => /last valid state/.test(await note(page)), 'the last valid state marked');
  assert.equal(await page.locator('#phone.stale').count(), 1);
  assert.deepEqual(await previewCaptions(page), ['Alpha']);
  await page.fill('#cell-keys', 'a');
  await until(async () => (await page.locator('#phone.stale').count()) === 0, 'valid again');

  // An import: the imported panel; one with problems has no valid state to show yet.
  await page.setInputFiles('#import-file', { name: 'mine.json', mimeType: 'application/json',
    buffer: Buffer.from(JSON.stringify({ tapdeckPanel: 1, tabs: [{ id: 'm', text: 'M', rows: [[{ text: 'Imported', keys: 'i' }]] }] })) });
  await until(async () => (await previewCaptions(page)).includes('Imported'), 'the imported panel');
  await page.setInputFiles('#import-file', { name: 'wrong.json', mimeType: 'application/json',
    buffer: Buffer.from(JSON.stringify({ tapdeckPanel: 1, tabs: [{ id: 'w', text: 'W', rows: [[{ text: 'Wrong', colspan: 40 }]] }] })) });
  await until(async () => /Nothing to preview yet/.test(await note(page)), 'no valid state yet');
  assert.deepEqual(await previewCaptions(page), []);
});

test('the key reading says what the keys type; an image is not a panel; exporting a panel with problems asks', async () => {
  const page = await openEditor();
  await page.selectOption('#part', 'tab:0');
  await page.click('.cell:has-text("One")');
  for (const [keys, reading, hint, bad] of [
    ['G', 'Shift + G', /g types the plain G key/, false],
    ['^', 'Ctrl alone', /Ctrl with no key after it/, true],
    ['%(fx)', 'Alt + (f, x)', /^$/, false],
    ['{BOSST}', '?', /Invalid Key Name/, true],
  ]) {
    await page.fill('#cell-keys', keys);
    assert.equal(await page.textContent('#keys-reading'), reading, keys);
    assert.match(await page.textContent('#keys-hint'), hint, keys);
    assert.equal(await page.locator('#keys-reading-line.bad').count(), bad ? 1 : 0, keys);
  }

  await page.setInputFiles('#import-file', { name: 'photo.png', mimeType: 'image/png',
    buffer: Buffer.from('89504e470d0a1a0a0000000d49484452000000010000000108060000001f15c489', 'hex') });
  await until(async () => /Cannot import photo\.png/.test(await page.textContent('#status')), 'the image refused');
  assert.equal(await page.textContent('#status'), 'Cannot import photo.png: this is not a panel file (not text)');

  // Still "{BOSST}": the panel has a problem, so Export asks; "Cancel" downloads nothing.
  await until(async () => (await page.locator('.cell.invalid').count()) === 1, 'the problem found');
  answer = false;
  dialogs.length = 0;
  let downloads = 0;
  page.on('download', () => { downloads++; });
  await page.click('#export');
  assert.match(dialogs[0] || '', /1 problem.*Export it anyway\?/);
  answer = true;
  const download = page.waitForEvent('download');
  await page.click('#export');
  await download;
  assert.equal(downloads, 1);
  assert.equal(dialogs.length, 2);
});
