// The panel editor with the game's live state and the player's key bindings, against
// tapdeck-headless reading a status file and a bindings folder that the test writes: the
// preview lights, dims and fills cells from the state (the editor hands it the state; it opens
// no stream of its own) and state names are found by a word; a cell's game action is picked
// by words from the player's actions and saved; the panel's actions without a key are listed
// with the words to fix them in the game and marked in the preview; a panel imported is
// reviewed for keys that hold Win, Ctrl or Alt or end in Enter, and Save asks once. A
// screenshot of the action picker.

import { test, before, after } from 'node:test';
import assert from 'node:assert/strict';
import { mkdtempSync, mkdirSync, readFileSync, writeFileSync, renameSync, rmSync, copyFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import path from 'node:path';
import { Headless, launchEditorDesktop, until, sourceDir, binDir, openEditorIn } from './support.mjs';

// A .binds file as the game writes one: each action's primary binding, no secondary.
function binds(actions) {
  const body = Object.entries(actions)
    .map(([name, primary]) => `  <${name}>\n    ${primary}\n    <Secondary Device="{NoDevice}" Key="" />\n  </${name}>`);
  return '<?xml version="1.0" encoding="UTF-8" ?>\n<Root PresetName="Custom" MajorVersion="4" MinorVersion="0">\n' +
         '  <KeyboardLayout>en-US</KeyboardLayout>\n' + body.join('\n') + '\n  <YawAxisRaw>\n    <Binding Device="068EC010" Key="Joy_XAxis" />\n  </YawAxisRaw>\n</Root>\n';
}
const key = (name) => `<Primary Device="Keyboard" Key="${name}" />`;
const otherJoystick = '<Primary Device="068EC010" Key="Joy_3" />';
const ACTIONS = {
  LandingGearToggle: key('Key_L'), ShipSpotLightToggle: otherJoystick, DeployHardpointToggle: key('Key_U'),
  ToggleCargoScoop: key('Key_Home'), UseBoostJuice: key('Key_Tab'), HyperSuperCombination: key('Key_J'),
  HeadlightsBuggyButton: key('Key_L'), ToggleBuggyTurretButton: otherJoystick,
  HumanoidToggleFlashlightButton: key('Key_F'), UI_Up: key('Key_W'), UI_Select: key('Key_Space'),
};

const PANEL = {
  tapdeckPanel: 1, title: 'Live', tabs: [{ id: 'ship', text: 'Ship', rows: [[
    { text: 'Gear', keys: 'l', lit: 'elite.LandingGearDown' },
    { text: 'Lights', action: 'elite:ShipSpotLightToggle' },
    { text: 'FSD', keys: 'j', dim: ['elite.FsdMassLocked', 'elite.FsdCooldown'] },
    { text: 'Fuel', value: 'Fuel {elite.Fuel.FuelMain:0.0} t' },
    { text: 'New' },
  ]] }],
};

let folder, panelFile, bindsFolder, gameFolder, headless, desktop;
const dialogs = [];
let answer = true;

// The game replaces its files whole.
function replace(file, text) {
  writeFileSync(file + '.new', text);
  renameSync(file + '.new', file);
}
const writeStatus = (flags) => replace(path.join(gameFolder, 'Status.json'), JSON.stringify(
  { timestamp: new Date().toISOString(), event: 'Status', Flags: flags, Fuel: { FuelMain: 12.5, FuelReservoir: 0.4 } }));

before(async () => {
  folder = mkdtempSync(path.join(tmpdir(), 'tapdeck-editor-live-'));
  panelFile = path.join(folder, 'panel.json');
  writeFileSync(panelFile, JSON.stringify(PANEL, null, 2));
  bindsFolder = path.join(folder, 'Bindings');
  gameFolder = path.join(folder, 'Game');
  mkdirSync(bindsFolder);
  mkdirSync(gameFolder);
  writeFileSync(path.join(bindsFolder, 'StartPreset.start'), 'Custom\n');
  writeFileSync(path.join(bindsFolder, 'Custom.binds'), binds(ACTIONS));
  writeStatus(4 | 65536); // the gear down, mass-locked
  headless = await Headless.start({ args: ['--panel', panelFile, '--bindings', bindsFolder, '--game', gameFolder] });
  desktop = await launchEditorDesktop({ width: 1280, height: 900 }, dialogs, () => answer);
});

after(async () => {
  if (desktop) await desktop.close();
  if (headless) await headless.stop();
  if (folder) rmSync(folder, { recursive: true, force: true });
});

const openEditor = () => openEditorIn(desktop.page, headless.url);

const previewCell = (page, caption) => page.frameLocator('#preview').locator('#panel td[action], #panel td.small').filter({ hasText: caption });
const classes = async (locator) => (await locator.getAttribute('class').catch(() => '')) || '';

test('the preview shows the game state on the cells, without a stream of its own; state names are found by a word', async () => {
  const requests = [];
  desktop.page.on('request', (request) => requests.push(new URL(request.url()).pathname));
  const page = await openEditor();
  await until(async () => /\blit\b/.test(await classes(previewCell(page, 'Gear'))), 'the gear cell lit');
  assert.match(await classes(previewCell(page, 'FSD')), /\bdim\b/);
  await until(async () => (await previewCell(page, 'Fuel').locator('.value').textContent().catch(() => '')) === 'Fuel 12.5 t', 'the fuel shown');
  // The game raises the gear and leaves mass lock: the preview follows.
  writeStatus(0);
  await until(async () => !/\blit\b/.test(await classes(previewCell(page, 'Gear'))), 'the gear cell no longer lit');
  assert.doesNotMatch(await classes(previewCell(page, 'FSD')), /\bdim\b/);

  // "gear" finds the state by its name, with its value now; taken, the cell shows it.
  await page.click('.cell:has-text("New")');
  await page.click('#cell-lit');
  await page.keyboard.type('gear');
  const offered = page.locator('#state-suggest li');
  await until(async () => (await offered.count()) === 1, 'one state offered');
  assert.equal(await offered.textContent(), 'elite.LandingGearDownfalse now');
  await offered.click();
  assert.equal(await page.inputValue('#cell-lit'), 'elite.LandingGearDown');
  await until(async () => (await previewCell(page, 'New').getAttribute('lit').catch(() => null)) === 'elite.LandingGearDown', 'the preview cell lit by it');
  await page.fill('#cell-value', 'Fuel {fuelmain');
  await until(async () => (await offered.allTextContents()).join() === 'elite.Fuel.FuelMain12.5 now', 'the fuel offered');
  await page.keyboard.press('Enter');
  assert.equal(await page.inputValue('#cell-value'), 'Fuel {elite.Fuel.FuelMain}');
  await until(async () => (await previewCell(page, 'New').locator('.value').textContent().catch(() => '')) === 'Fuel 12.5', 'the value shown');

  assert.deepEqual(requests.filter((p) => p === '/events' || p === '/alive'), [], 'the preview opened no stream');
});

test('the panel\'s actions without a key are listed with the words to fix them, marked in the preview, and follow the game', async () => {
  const page = await openEditor();
  await until(async () => !(await page.isHidden('#unbound')), 'the unbound list');
  assert.deepEqual(await page.locator('#unbound-list li').allTextContents(), [
    'tab “Ship”, row 1, cell 2 (“Lights”): Ship Lights has no key (bound to another device only: 068EC010: button 3). ' +
    'In the game: Options, Controls, Ship, Ship Lights: bind a key as the secondary binding; your joystick keeps the primary']);
  await until(async () => /\bunbound\b/.test(await classes(previewCell(page, 'Lights'))), 'the preview marks the cell');
  // The player binds a key in the game: the list and the mark go.
  replace(path.join(bindsFolder, 'Custom.binds'), binds({ ...ACTIONS, ShipSpotLightToggle: key('Key_U') }));
  await until(async () => page.isHidden('#unbound'), 'the list gone', 10000);
  await until(async () => !/\bunbound\b/.test(await classes(previewCell(page, 'Lights'))), 'the mark gone');
  replace(path.join(bindsFolder, 'Custom.binds'), binds(ACTIONS));
  await until(async () => !(await page.isHidden('#unbound')), 'the unbound list back', 10000);
});

test('a cell\'s game action is picked by words from the player\'s actions, and saved', async () => {
  const page = await openEditor();
  await page.click('.cell:has-text("Lights")');
  await page.click('#pick-action');
  await until(() => page.isVisible('#action-picker'), 'the picker');
  assert.deepEqual(await page.locator('#action-list h3').allTextContents(), ['Ship', 'SRV', 'On Foot', 'UI']);
  const shot = path.join(binDir, '..', 'browser', 'action-picker.png');
  mkdirSync(path.dirname(shot), { recursive: true });
  await page.screenshot({ path: shot });
  if (process.env.TAPDECK_UPDATE_SCREENSHOT) copyFileSync(shot, path.join(sourceDir, 'docs', 'action-picker.png'));
  await page.click('#action-picker button[value="cancel"]');

  await page.click('.cell:has-text("New")');
  await page.selectOption('#cell-action', 'action');
  await until(() => page.isVisible('#action-picker'), 'the picker for a new game action');
  const picks = page.locator('#action-list button.pick');
  await page.fill('#action-search', 'gear');
  assert.deepEqual(await picks.allTextContents(), ['Landing GearL']);
  await page.fill('#action-search', 'light');
  assert.deepEqual(await page.locator('#action-list button.pick.nokey').allTextContents(), ['Ship Lightsno key']);

  await page.fill('#action-search', 'gear');
  await page.click('#action-list button[aria-label="Landing Gear: L"]');
  assert.equal(await page.isVisible('#action-picker'), false);
  assert.equal(await page.inputValue('#cell-text'), 'Landing Gear');
  assert.equal(await page.textContent('#action-reading'), 'Presses L (Ship, Landing Gear).');
  await page.fill('#cell-fallback-keys', 'l');
  // Joystick buttons held while touched, beside the other joystick kinds.
  await page.click('.cell:has-text("Fuel")');
  await page.selectOption('#cell-action', 'buttonsHold');
  await page.fill('#cell-buttons', '3');
  await until(async () => !(await page.isDisabled('#save')), 'Save enabled');
  await page.click('#save');
  await until(async () => /Saved to/.test(await page.textContent('#status')), 'saved');
  const cells = JSON.parse(readFileSync(panelFile, 'utf8')).tabs[0].rows[0];
  assert.deepEqual(cells[4], { text: 'Landing Gear', action: 'elite:LandingGearToggle', keys: 'l' });
  assert.deepEqual(cells[3].buttonsHold, [3]);
});

test('an imported panel lists what its buttons would type, and Save asks once', async () => {
  const page = await openEditor();
  const saved = readFileSync(panelFile, 'utf8');
  const imported = { tapdeckPanel: 1, title: 'Programs', tabs: [{ id: 'p', text: 'Programs', rows: [[
    { text: 'Close', keys: '%{F4}' }, { text: 'Calc', keys: 'calc~' }, { text: 'Gear', keys: 'l' }]] }] };
  await page.setInputFiles('#import-file', { name: 'programs.json', mimeType: 'application/json', buffer: Buffer.from(JSON.stringify(imported)) });
  await until(async () => !(await page.isHidden('#review')), 'the review');
  const lines = [
    'tab “Programs”, row 1, cell 1 (“Close”): %{F4} types Alt + F4 (holds Alt)',
    'tab “Programs”, row 1, cell 2 (“Calc”): calc~ types c, a, l, c, Enter (ends in Enter)',
  ];
  assert.deepEqual(await page.locator('#review-list li').allTextContents(), lines);
  assert.equal(await page.textContent('#review-title'), 'What the buttons of the file programs.json would type');
  await until(async () => !(await page.isDisabled('#save')), 'Save enabled');

  dialogs.length = 0;
  answer = false;
  await page.click('#save');
  await until(() => dialogs.length === 1, 'the question');
  assert.equal(dialogs[0], `This panel comes from the file programs.json. Its buttons would type:\n\n• ${lines.join('\n• ')}\n\nSave it and put it in use?`);
  await until(async () => /Not saved/.test(await page.textContent('#status')), 'not saved');
  assert.equal(readFileSync(panelFile, 'utf8'), saved);

  answer = true;
  await page.click('#save');
  await until(async () => /Saved to/.test(await page.textContent('#status')), 'saved');
  assert.equal(JSON.parse(readFileSync(panelFile, 'utf8')).title, 'Programs');
  assert.equal(await page.isHidden('#review'), true);
  // Asked once: a later save does not ask again.
  await page.fill('#title', 'Programs 2');
  await until(async () => !(await page.isDisabled('#save')), 'Save enabled');
  await page.click('#save');
  await until(() => JSON.parse(readFileSync(panelFile, 'utf8')).title === 'Programs 2', 'saved again');
  assert.equal(dialogs.length, 2);
});
