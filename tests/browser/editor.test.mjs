// The panel editor in Chromium on the PC, against tapdeck-headless editing a --panel file in
// a folder of the test's own: a two-tab panel built from an empty one and saved, the control
// page then showing it and its taps reaching the PC, a wrong key sequence marked and keeping
// Save off, a broken file's import refused with the program's message, and the backup of the
// previous panel. Also the "Edit panel" link of the control page on the PC.

import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { mkdtempSync, mkdirSync, readFileSync, writeFileSync, rmSync, copyFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { Headless, launchDesktop, launchPhone, until, sourceDir, binDir, openEditorIn } from './support.mjs';
import { heldKey } from './keylines.mjs';

const OLD_PANEL = JSON.stringify({ tapdeckPanel: 1, title: 'Old', tabs: [{ id: 'old', text: 'Old', rows: [[{ text: 'Old cell', keys: 'o' }]] }] }, null, 2);

let folder;
let panelFile;
let headless;
let desktop;

before(async () => {
  folder = mkdtempSync(path.join(tmpdir(), 'tapdeck-editor-'));
  panelFile = path.join(folder, 'panel.json');
  writeFileSync(panelFile, OLD_PANEL);
  headless = await Headless.start({ args: ['--panel', panelFile] });
  desktop = await launchDesktop();
  desktop.page.on('dialog', (dialog) => dialog.accept());
});

after(async () => {
  if (desktop) await desktop.close();
  if (headless) await headless.stop();
  if (folder) rmSync(folder, { recursive: true, force: true });
});

const openEditor = () => openEditorIn(desktop.page, headless.url);

// The selected cell's fields, filled as a user types them.
async function setCell(page, { text, action, keys, buttons }) {
  if (text !== undefined) await page.fill('#cell-text', text);
  if (action !== undefined) await page.selectOption('#cell-action', action);
  if (keys !== undefined) await page.fill('#cell-keys', keys);
  if (buttons !== undefined) await page.fill('#cell-buttons', buttons);
}

const waitValid = (page) => until(async () => !(await page.isDisabled('#save')), 'Save enabled');

test('a two-tab panel built from an empty one is saved, shown on the phone and acts', async () => {
  const page = await openEditor();
  await page.click('#new-empty');
  await page.fill('#title', 'Made in the editor');

  await page.click('#add-tab');
  await page.keyboard.type('Flight');
  await page.click('#add-tab');
  await page.keyboard.type('Landing');

  await page.selectOption('#part', 'tab:0');
  await page.click('#add-row');
  await setCell(page, { text: 'Gear', action: 'keys', keys: 'g' });
  assert.equal(await page.textContent('#keys-reading'), 'g');
  await page.click('button[aria-label="Add a cell to row 1"]');
  await setCell(page, { text: 'Notes' });

  await page.selectOption('#part', 'tab:1');
  await page.click('#add-row');
  await setCell(page, { text: 'Fire', action: 'buttonsPress', buttons: '9' });

  // A wrong key sequence: its cell is marked with the program's words and Save stays off.
  await page.selectOption('#part', 'tab:0');
  await page.click('.cell:has-text("Gear")');
  await page.fill('#cell-keys', '^{NOSUCH}');
  await until(async () => (await page.locator('.cell.invalid').count()) === 1, 'the wrong cell marked');
  assert.match(await page.textContent('#cell-problem'), /Invalid Key Name/);
  assert.match(await page.textContent('#problems'), /tab "Flight", row 1, cell 1 \("Gear"\)/);
  assert.equal(await page.isDisabled('#save'), true);
  // The helper writes a modifier and a named key, and the sequence reads in words.
  await page.fill('#cell-keys', '');
  await page.click('button[data-insert="^"]');
  await page.selectOption('#key-name', 'F4');
  await page.click('#insert-key');
  assert.equal(await page.inputValue('#cell-keys'), '^{F4}');
  assert.equal(await page.textContent('#keys-reading'), 'Ctrl + F4');
  await page.fill('#cell-keys', 'g');
  await waitValid(page);
  assert.equal(await page.locator('.cell.invalid').count(), 0);

  // The preview is the program's own page.
  await until(async () => /Gear/.test(await page.frameLocator('#preview').locator('td[action]').first().textContent().catch(() => '')),
              'the preview shows the panel');

  await page.click('#save');
  await until(async () => /Saved to/.test(await page.textContent('#status')), 'saved');
  assert.equal(readFileSync(panelFile + '.bak', 'utf8'), OLD_PANEL, 'the backup holds the previous panel');
  const saved = JSON.parse(readFileSync(panelFile, 'utf8'));
  assert.deepEqual(saved.tabs.map((t) => t.id), ['flight', 'landing']);

  // The phone's next load shows it, and its taps reach the PC.
  const phone = await launchPhone();
  try {
    await phone.page.goto(headless.url);
    assert.equal(await phone.page.title(), 'Made in the editor');
    assert.equal(await phone.page.locator('#edit-panel').count(), 0, 'a phone has no editor link');
    let from = headless.lines.length;
    await phone.page.locator('td[action]', { hasText: 'Gear' }).tap();
    // A plain key is held while the finger is down: its down, then the up's down and up.
    assert.deepEqual(await headless.inputLinesAfter(from, 2), heldKey(0x47, 34));
    await phone.page.locator('td[command="show"][subject="landing"]').tap();
    from = headless.lines.length;
    await phone.page.locator('td[action]', { hasText: 'Fire' }).tap();
    assert.deepEqual(await headless.inputLinesAfter(from, 2), ['joy SetBtn -1 2 9', 'joy SetBtn 0 2 9']);
  } finally {
    await phone.close();
  }
  assert.equal(await page.isDisabled('#save'), true, 'nothing left to save');
});

test('importing a broken file shows its error and keeps the panel being edited', async () => {
  const page = await openEditor();
  const before = await page.locator('.cell').count();
  await page.setInputFiles('#import-file', { name: 'broken.json', mimeType: 'application/json', buffer: Buffer.from('{"tapdeckPanel": 1,\n  "tabs": [}') });
  await until(async () => /Cannot import broken\.json/.test(await page.textContent('#status')), 'the import refused');
  assert.match(await page.textContent('#status'), /line 2, column/);
  assert.equal(await page.locator('.cell').count(), before);
  // A file that reads but is wrong is shown, checked, and cannot be saved.
  const wrong = { tapdeckPanel: 1, tabs: [{ id: 'x', text: 'X', rows: [[{ text: 'Bad', colspan: 40 }]] }] };
  await page.setInputFiles('#import-file', { name: 'wrong.json', mimeType: 'application/json', buffer: Buffer.from(JSON.stringify(wrong)) });
  await until(async () => (await page.locator('.cell.invalid').count()) === 1, 'the wrong cell marked');
  assert.match(await page.textContent('#problems'), /colspan 40/);
  assert.equal(await page.isDisabled('#save'), true);
});

test('the control page on the PC links to the editor, and a screenshot of the editor', async () => {
  const { page } = desktop;
  await page.goto(headless.url);
  await page.locator('#edit-panel').waitFor();
  await page.click('#edit-panel');
  await until(async () => /Save writes/.test(await page.textContent('#save-file')), 'the editor opened');
  await page.click('#from-builtin');
  await until(async () => (await page.locator('#part option').count()) > 3, 'the built-in page loaded');
  await page.selectOption('#part', 'tab:0');
  await page.click('.cell:has-text("Balance Power")');
  await waitValid(page);
  await until(async () => (await page.frameLocator('#preview').locator('td[action]').count()) > 5, 'the preview');
  const outDir = path.join(binDir, '..', 'browser');
  mkdirSync(outDir, { recursive: true });
  const shot = path.join(outDir, 'editor.png');
  await page.screenshot({ path: shot });
  if (process.env.TAPDECK_UPDATE_SCREENSHOT) copyFileSync(shot, path.join(sourceDir, 'docs', 'editor.png'));
});

test('leaving with unsaved changes asks first; keys alone select and move a cell', async () => {
  const page = await desktop.context.newPage();
  const dialogs = [];
  page.on('dialog', (dialog) => { dialogs.push(dialog.type()); dialog.accept(); });
  await page.goto(headless.url + 'edit');
  await until(async () => /Save writes/.test(await page.textContent('#save-file')), 'the panel loaded');
  await page.selectOption('#part', 'tab:0');
  // The first cell, reached with the keyboard and selected with Enter, moves right with its
  // button, pressed with Enter too.
  await page.locator('.cell').first().focus();
  await page.keyboard.press('Enter');
  const first = await page.inputValue('#cell-text');
  await page.focus('#cell-right');
  await page.keyboard.press('Enter');
  await until(async () => (await page.locator('.cell').nth(1).textContent()).startsWith(first), 'the cell moved right');
  await page.close({ runBeforeUnload: true });
  await until(() => dialogs.includes('beforeunload'), 'the question before leaving');
});
