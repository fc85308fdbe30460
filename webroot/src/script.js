// Tapdeck control page: tab switching, and every press of a cell with an action sent to the
// PC. A cell whose sequence is one plain key holds that key down on the PC for as long as the
// finger stays on it, and at least MIN_HOLD_MS, so that a game that reads the keyboard once
// per frame sees even the quickest tap. The build bundles this file, its modules and the QR
// code library into the one script.js that the page inlines, so it runs after the panel's
// markup.

import { isPlainKey } from "./keys.js";
import { setUpConnectCard } from "./connect.js";
import { deviceHeaders, explainRefusal, isFramed, setUpPairing } from "./pairing.js";
import { live, pageHeaders, startLive } from "./live.js";
import { fitCaptions } from "./fit.js";
import { setUpWakeLock } from "./wakelock.js";

// The input route of each cell action; the cell's key attribute goes along as "str".
const ROUTES = {
  keypress: "/KeyboardKey",
  buttonsdown: "/ButtonsDown",
  buttonsup: "/ButtonsUp",
  buttonspress: "/ButtonsPress",
  // Held for as long as the finger: a game action as the player bound it, joystick buttons.
  gameaction: "/ActionDown",
  buttonshold: "/ButtonsDown"
};
const KEY_DOWN = "/KeyboardDown";
const KEY_UP = "/KeyboardUp";
const REQUEST_TIMEOUT_MS = 4000; // a Wi-Fi that is gone would otherwise hang a request for minutes
const PROBE_INTERVAL_MS = 3000;
const PROBE_URL = "/KeyboardKey?str="; // an empty sequence: the PC does nothing
const RETRY_MS = 500; // first retry of a release that failed; doubles up to PROBE_INTERVAL_MS
const PRESSED_MIN_MS = 120; // a quick tap still shows its pressed state
// A held key stays down at least this long after the PC took its down, and up at least this
// long after the PC took its up before the next down: a game that reads the keyboard once
// per frame sees every press and every release.
const MIN_HOLD_MS = 40;
const MIN_RELEASE_MS = 40;
const SLIDE_SLOP_PX = 6; // how far a finger may stray past a cell's edge before it has left

const banner = document.getElementById("banner");
const statusText = document.getElementById("status-text");
const statusDot = document.getElementById("status-dot");

let reachable = true;
let probeTimer = null;
let retryTimer = null;
let retryDelay = RETRY_MS;
// The "buttonsdown" cells whose buttons this page holds down on the PC.
const heldCells = new Set();
// Buttons and keys whose release did not reach the PC: released again once it answers.
const unreleased = new Set();
const unreleasedKeys = new Set();
// The last request of each button number, so a release never overtakes its press.
const lastOfButton = new Map();

// --- Tabs ---

function tabCells() {
  return document.querySelectorAll("td[command='show']");
}

// Shows the chosen tab's table, hides every other tab table, and marks the tab.
function docommand(cell) {
  if (!cell || cell.getAttribute("command") !== "show") return;
  const shown = "id_" + cell.getAttribute("subject");
  document.querySelectorAll("table[id^='id_']").forEach((table) => {
    table.classList.toggle("hidden", table.id !== shown);
  });
  tabCells().forEach((tab) => {
    const active = tab === cell;
    tab.classList.toggle("active", active);
    tab.setAttribute("aria-selected", active ? "true" : "false");
  });
}
window.docommand = docommand;

// --- Button ids, as the PC reads them ---

// The joystick button numbers of a key attribute such as ",1,5": pieces at every comma,
// each a 32-bit integer (decimal, or hexadecimal after "$", "x" or "0x"); positive ones
// count, once each, and the PC uses the low 8 bits.
function buttonNumbers(key) {
  const numbers = [];
  const seen = new Set();
  String(key || "").split(",").forEach((piece) => {
    const m = /^[ ]*([+-]?)(?:(?:\$|0x|x)([0-9a-f]{1,8})|([0-9]+))$/i.exec(piece);
    if (!m) return;
    let value = m[2] !== undefined ? parseInt(m[2], 16) | 0 : parseInt(m[3], 10);
    if (m[1] === "-") value = -value;
    if (!(value > 0) || value > 2147483647 || seen.has(value)) return;
    seen.add(value);
    if (numbers.indexOf(value & 255) < 0) numbers.push(value & 255);
  });
  return numbers;
}

// --- Requests ---

function urlOf(route, key) {
  return route + "?str=" + encodeURIComponent(key == null ? "" : String(key));
}

// One GET; resolves with the response, rejects when the PC cannot be reached in time.
// A keepalive request outlives the page (sendBeacon cannot send a GET).
function request(url, keepalive) {
  const controller = typeof AbortController === "function" ? new AbortController() : null;
  const timer = controller ? setTimeout(() => controller.abort(), REQUEST_TIMEOUT_MS) : null;
  const options = { method: "GET", cache: "no-store", credentials: "omit", keepalive: !!keepalive,
                    headers: Object.assign(deviceHeaders(), pageHeaders()) };
  if (controller) options.signal = controller.signal;
  return fetch(url, options).then(
    (response) => { clearTimeout(timer); return response; },
    (error) => { clearTimeout(timer); throw error; });
}

function setReachable(ok) {
  if (ok === reachable) return;
  reachable = ok;
  banner.hidden = ok;
  document.body.classList.toggle("offline", !ok);
  if (ok) {
    clearInterval(probeTimer);
    probeTimer = null;
    releaseUnreleased();
  } else if (!probeTimer) {
    statusDot.className = "status-dot bad";
    statusText.textContent = "No connection";
    probeTimer = setInterval(probe, PROBE_INTERVAL_MS);
  }
}

function probe() {
  request(PROBE_URL).then(() => {
    setReachable(true);
    statusDot.className = "status-dot good";
    statusText.textContent = "Connected";
  }, () => {});
}

function showRoundTrip(ms, response) {
  statusDot.className = response.ok ? "status-dot good" : "status-dot warn";
  statusText.textContent = response.ok ? "Last tap " + Math.round(ms) + " ms"
                                       : "PC answered " + response.status + " (" + Math.round(ms) + " ms)";
  // A refusal says why in words: not paired, or a page opened by a name the PC does not take;
  // an action the PC cannot play says what is missing.
  if (response.status === 403) explainRefusal().then((text) => { statusText.textContent = text; });
  if (response.status === 409) {
    response.clone().json().then((body) => { if (body.error) statusText.textContent = body.error; }, () => {});
  }
}

// Sends one request to an input route and shows how it went (the round-trip time, or the
// banner). Resolves with
//   "ok"       the PC answered with success;
//   "refused"  it answered with an error (it did not act on the request);
//   "timeout"  no answer in time (it may have acted on it or not);
//   "failed"   the request did not get through.
function transmit(url, keepalive) {
  const started = performance.now();
  return request(url, keepalive).then((response) => {
    setReachable(true);
    showRoundTrip(performance.now() - started, response);
    return response.ok ? "ok" : "refused";
  }, (error) => {
    setReachable(false);
    return error && error.name === "AbortError" ? "timeout" : "failed";
  });
}

// Sends one action whole; resolves true when the PC answered. Requests go out at once, except
// that a joystick request waits for the earlier ones of the same buttons, so that a release
// can never reach the PC before the press it releases.
function send(action, key) {
  const route = ROUTES[action];
  if (!route) return Promise.resolve(false);
  const url = urlOf(route, key);
  const buttons = action === "keypress" ? [] : buttonNumbers(key);
  const before = [];
  buttons.forEach((b) => { if (lastOfButton.has(b)) before.push(lastOfButton.get(b)); });
  const fire = () => transmit(url).then((outcome) => outcome === "ok" || outcome === "refused");
  const done = before.length === 0 ? fire() : Promise.all(before).then(fire);
  buttons.forEach((b) => lastOfButton.set(b, done));
  done.then(() => {
    buttons.forEach((b) => { if (lastOfButton.get(b) === done) lastOfButton.delete(b); });
  });
  return done;
}

// A release that failed is tried again soon, then less often, until the PC takes it.
function retrySoon() {
  if (retryTimer) return;
  retryTimer = setTimeout(() => {
    retryTimer = null;
    releaseUnreleased();
  }, retryDelay);
  retryDelay = Math.min(retryDelay * 2, PROBE_INTERVAL_MS);
}

function releaseUnreleased() {
  if (unreleased.size > 0) {
    const buttons = Array.from(unreleased);
    unreleased.clear();
    send("buttonsup", "," + buttons.join(",")).then((ok) => {
      if (ok) return;
      buttons.forEach((b) => unreleased.add(b));
      retrySoon();
    });
  }
  Array.from(unreleasedKeys).forEach(retryKeyUp);
}

// --- Pauses that a hidden page cuts short ---
// A hidden page's timers may be slowed down to once a second, and a page that is left runs
// none at all: its releases go out without waiting.

const pauses = new Set();

function pause(ms) {
  if (ms <= 0 || document.visibilityState === "hidden") return Promise.resolve();
  return new Promise((resolve) => {
    const entry = { resolve: resolve, timer: setTimeout(() => { pauses.delete(entry); resolve(); }, ms) };
    pauses.add(entry);
  });
}

function endPauses() {
  pauses.forEach((entry) => {
    clearTimeout(entry.timer);
    entry.resolve();
  });
  pauses.clear();
}

// --- Keys held like keys ---
// Each key sequence has its own queue of requests, so its down, its up and its next down
// reach the PC in that order: an up waits for the answer to its down and MIN_HOLD_MS more, a
// later down for the answer to the up before it and MIN_RELEASE_MS more.

const keyStates = new Map();

// What a held cell sends: its down and up requests, under the id its queue goes by.
function holdTarget(cell) {
  const action = cell.getAttribute("action");
  const key = cell.getAttribute("key");
  if (action === "keypress" && isPlainKey(key)) return { id: key, down: urlOf(KEY_DOWN, key), up: urlOf(KEY_UP, key) };
  if (action === "gameaction") {
    const keys = cell.getAttribute("keys");
    const fallback = keys ? "&keys=" + encodeURIComponent(keys) : "";
    return { id: "action:" + key, down: urlOf("/ActionDown", key) + fallback, up: urlOf("/ActionUp", key) + fallback };
  }
  if (action === "buttonshold") return { id: "buttons:" + key, down: urlOf("/ButtonsDown", key), up: urlOf("/ButtonsUp", key) };
  return null;
}

function keyState(key, target) {
  let state = keyStates.get(key);
  if (!state) {
    // holders: presses holding the key now; down: the PC took the down, and its up is still
    // to come; downAt, upAt: when the PC took the last down and up; mayBeDown: a down was sent
    // and no up has been taken since; epoch: changes when a page that is left releases the key
    // at once, so that steps queued before then send nothing more.
    state = { holders: 0, down: false, downAt: 0, upAt: -Infinity, mayBeDown: false, epoch: 0, queue: Promise.resolve(),
              downUrl: target ? target.down : urlOf(KEY_DOWN, key), upUrl: target ? target.up : urlOf(KEY_UP, key) };
    keyStates.set(key, state);
  }
  return state;
}

// Runs step once every earlier request of the key is done; resolves when the step is. The
// step gets a test that tells whether the key has been released at once since it was queued.
function enqueue(state, step) {
  const epoch = state.epoch;
  const current = () => epoch === state.epoch;
  const done = state.queue.then(() => (current() ? step(current) : undefined));
  state.queue = done.catch(() => {});
  return state.queue;
}

function holdKey(key, target) {
  const state = keyState(key, target);
  state.holders += 1;
  if (state.holders > 1) return; // another finger holds it already
  unreleasedKeys.delete(key); // this press's own up releases it
  state.mayBeDown = true;
  enqueue(state, (current) => pause(state.upAt + MIN_RELEASE_MS - performance.now()).then(() => {
    if (!current()) return undefined;
    return transmit(state.downUrl).then((outcome) => {
      // A down that got no answer in time may still have reached the PC: it is released like
      // one that did. One that was refused or did not get through pressed nothing.
      state.down = outcome === "ok" || outcome === "timeout";
      state.downAt = performance.now();
      if (!state.down) state.mayBeDown = false;
    });
  }));
}

// One press of the key ends; the last one sends the up, no sooner than MIN_HOLD_MS after the
// PC took the down (at once when the page is being hidden). Resolves when the key is up.
function letGoKey(key) {
  const state = keyState(key);
  if (state.holders === 0) return Promise.resolve();
  state.holders -= 1;
  if (state.holders > 0) return Promise.resolve();
  return enqueue(state, (current) => {
    if (!state.down) return undefined;
    return pause(state.downAt + MIN_HOLD_MS - performance.now()).then(() => {
      if (!current()) return undefined;
      state.down = false;
      return keyUp(state, key);
    });
  });
}

// Sends the up; a failed one is kept to be sent again.
function keyUp(state, key) {
  return transmit(state.upUrl, true).then((outcome) => {
    if (outcome === "ok") {
      retryDelay = RETRY_MS;
      state.upAt = performance.now();
      if (state.holders === 0) state.mayBeDown = false;
      return;
    }
    unreleasedKeys.add(key);
    retrySoon();
  });
}

function retryKeyUp(key) {
  unreleasedKeys.delete(key);
  const state = keyState(key);
  if (state.holders > 0) return; // held again: that press's up releases it
  enqueue(state, () => (state.holders > 0 ? undefined : keyUp(state, key)));
}

// The page is left: no answer will come back to it, so every key that is or may be down on
// the PC gets its up now, without waiting for the answer to its down.
function releaseKeysNow() {
  keyStates.forEach((state, key) => {
    const pending = state.mayBeDown || unreleasedKeys.has(key);
    state.epoch += 1;
    state.holders = 0;
    state.down = false;
    state.mayBeDown = false;
    state.queue = Promise.resolve();
    if (pending) request(state.upUrl, true).catch(() => {});
  });
  unreleasedKeys.clear();
}

// --- Held joystick buttons ---
// A "buttonsdown" cell stays marked while the PC holds its buttons; a release of any of
// them unmarks it.

function cellButtons(cell) {
  return buttonNumbers(cell.getAttribute("key"));
}

function heldButtons() {
  const buttons = new Set();
  heldCells.forEach((cell) => cellButtons(cell).forEach((b) => buttons.add(b)));
  return buttons;
}

function hold(cell) {
  cellButtons(cell).forEach((b) => unreleased.delete(b));
  heldCells.add(cell);
  cell.classList.add("held");
}

// The press may or may not have reached the PC: unmark the cell, and let go of its
// buttons once the PC answers again, unless another held cell still holds them.
function holdFailed(cell) {
  heldCells.delete(cell);
  cell.classList.remove("held");
  const stillHeld = heldButtons();
  cellButtons(cell).forEach((b) => { if (!stillHeld.has(b)) unreleased.add(b); });
}

// Unmarks every cell that held one of the buttons.
function release(buttons) {
  heldCells.forEach((cell) => {
    if (cellButtons(cell).some((b) => buttons.indexOf(b) >= 0)) {
      heldCells.delete(cell);
      cell.classList.remove("held");
    }
  });
}

// Lets go of every joystick button the page holds on the PC.
function releaseButtons() {
  const buttons = Array.from(heldButtons());
  unreleased.forEach((b) => { if (buttons.indexOf(b) < 0) buttons.push(b); });
  if (buttons.length === 0) return;
  release(buttons);
  unreleased.clear();
  request(urlOf(ROUTES.buttonsup, "," + buttons.join(",")), true).catch(() => {
    buttons.forEach((b) => unreleased.add(b));
  });
}

// --- Presses ---
// A press is one finger (or the mouse, or Enter or Space) on one cell, from the moment it
// lands to the moment it lifts, is cancelled, slides off the cell, or the page goes out of
// sight. Each press sends what its cell asks for once: a held key's down and up, or one
// request for any other cell.

const presses = new Map(); // pointer id, or "keyboard" -> press

function showPressed(cell) {
  cell.pressCount = (cell.pressCount || 0) + 1;
  cell.classList.add("pressed");
  cell.pressedAt = performance.now();
  if (navigator.vibrate) {
    try { navigator.vibrate(12); } catch (e) { /* not offered here */ }
  }
}

function unshowPressed(cell) {
  cell.pressCount = Math.max(0, (cell.pressCount || 0) - 1);
  const left = PRESSED_MIN_MS - (performance.now() - (cell.pressedAt || 0));
  const clear = () => { if (cell.pressCount === 0) cell.classList.remove("pressed"); };
  if (left > 0) setTimeout(clear, left);
  else clear();
}

function activate(cell) {
  const action = cell.getAttribute("action");
  const key = cell.getAttribute("key");
  if (action === "buttonsdown") {
    hold(cell);
    send(action, key).then((ok) => { if (!ok) holdFailed(cell); });
  } else if (action === "buttonsup") {
    const buttons = buttonNumbers(key);
    release(buttons);
    send(action, key).then((ok) => {
      if (ok) return;
      buttons.forEach((b) => unreleased.add(b));
      retrySoon();
    });
  } else {
    send(action, key);
  }
}

// Why a cell must not act now, in words; empty when it may.
function cannotAct(cell) {
  const action = cell.getAttribute("action");
  if (cell.classList.contains("unbound")) return cell.getAttribute("data-why") || "this action has no key";
  if (!live.joystick && (action.indexOf("buttons") === 0 || (action === "gameaction" && isJoystickAction(cell))))
    return "no joystick on the PC";
  return "";
}

function isJoystickAction(cell) {
  const state = live.actions[cell.getAttribute("key")];
  return !!state && /^Joystick/.test(state.reading || "");
}

// A toggle cell's own state flips with every tap; in the footer's fix mode it flips alone,
// to put right what the cell shows without sending anything to the game.
function flipToggle(cell) {
  const name = cell.getAttribute("toggle");
  if (name) request(urlOf("/StateToggle", name)).then((response) => showRoundTrip(0, response), () => setReachable(false));
}

function startPress(id, cell) {
  if (isFramed()) return;
  endPress(presses.get(id));
  const key = cell.getAttribute("key");
  const target = holdTarget(cell);
  const press = { id: id, cell: cell, key: target ? target.id : key, held: !!target };
  showPressed(cell);
  if (document.body.classList.contains("fixing")) {
    flipToggle(cell);
    unshowPressed(cell);
    return;
  }
  const why = cannotAct(cell);
  if (why) {
    statusDot.className = "status-dot warn";
    statusText.textContent = why;
    unshowPressed(cell);
    return;
  }
  presses.set(id, press);
  flipToggle(cell);
  if (press.held) holdKey(press.key, target);
  else activate(cell);
}

// The pressed state stays while the PC holds the key.
function endPress(press) {
  if (!press || press.ended) return;
  press.ended = true;
  presses.delete(press.id);
  if (press.held) letGoKey(press.key).then(() => unshowPressed(press.cell));
  else unshowPressed(press.cell);
}

function endAllPresses() {
  Array.from(presses.values()).forEach(endPress);
}

function inside(cell, event) {
  const r = cell.getBoundingClientRect();
  return event.clientX >= r.left - SLIDE_SLOP_PX && event.clientX <= r.right + SLIDE_SLOP_PX &&
         event.clientY >= r.top - SLIDE_SLOP_PX && event.clientY <= r.bottom + SLIDE_SLOP_PX;
}

function actionCell(target) {
  const cell = target && target.closest ? target.closest("td[action]") : null;
  return cell && ROUTES[cell.getAttribute("action")] ? cell : null;
}

function tabCell(target) {
  return target && target.closest ? target.closest("td[command='show']") : null;
}

// The press itself acts: no waiting for the click, and one pointer gives one press.
document.addEventListener("pointerdown", (event) => {
  if (event.pointerType === "mouse" && event.button !== 0) return;
  const tab = tabCell(event.target);
  if (tab) {
    docommand(tab);
    return;
  }
  const cell = actionCell(event.target);
  if (!cell) return;
  event.preventDefault();
  startPress(event.pointerId, cell);
});

["pointerup", "pointercancel"].forEach((type) => {
  document.addEventListener(type, (event) => endPress(presses.get(event.pointerId)));
});

// A finger that slides off its cell lets go of it.
document.addEventListener("pointermove", (event) => {
  const press = presses.get(event.pointerId);
  if (press && !inside(press.cell, event)) endPress(press);
});

// The window loses the focus (another program on a desktop): the lift may never come.
window.addEventListener("blur", endAllPresses);

// Keyboards (a tablet with one, or a screen reader): Enter or Space on a focused cell.
document.addEventListener("keydown", (event) => {
  if (event.key !== "Enter" && event.key !== " ") return;
  const cell = actionCell(event.target);
  const tab = tabCell(event.target);
  if (!cell && !tab) return;
  event.preventDefault();
  if (event.repeat) return;
  if (tab) docommand(tab);
  else startPress("keyboard", cell);
});

document.addEventListener("keyup", (event) => {
  if (event.key === "Enter" || event.key === " ") endPress(presses.get("keyboard"));
});
document.addEventListener("focusout", () => endPress(presses.get("keyboard")));

document.addEventListener("contextmenu", (event) => event.preventDefault());
document.addEventListener("selectstart", (event) => event.preventDefault());
document.addEventListener("dragstart", (event) => event.preventDefault());

// Out of sight (the phone locks its screen or switches apps): every press ends, held keys go
// up without waiting, and the joystick buttons the page holds are let go.
function releaseEverything() {
  endAllPresses();
  endPauses();
  releaseButtons();
}

document.addEventListener("visibilitychange", () => {
  if (document.visibilityState === "hidden") releaseEverything();
  // Back in sight (the phone woke up): tell at once whether the PC is still there.
  else request(PROBE_URL).then(() => setReachable(true), () => setReachable(false));
});

// The page is left: no answer will come back to it, so nothing waits for one.
window.addEventListener("pagehide", () => {
  releaseEverything();
  releaseKeysNow();
});

// --- Fixing what toggle cells show ---

function setUpFixMode() {
  const button = document.getElementById("fix");
  if (!button || !document.querySelector("td[toggle]")) return;
  button.hidden = false;
  button.addEventListener("click", () => {
    const fixing = document.body.classList.toggle("fixing");
    button.setAttribute("aria-pressed", fixing ? "true" : "false");
    statusText.textContent = fixing ? "Tap a toggle to change what it shows; nothing goes to the game" : "Tap a button";
  });
}

// --- Start ---

(function init() {
  const tabs = tabCells();
  if (tabs.length > 0) {
    tabs[0].closest("table").classList.add("tabbar");
    tabs[0].parentNode.setAttribute("role", "tablist");
  }
  let first = null;
  tabs.forEach((tab) => {
    tab.setAttribute("role", "tab");
    tab.setAttribute("tabindex", "0");
    const table = document.getElementById("id_" + tab.getAttribute("subject"));
    if (!first && table && !table.classList.contains("hidden")) first = tab;
  });
  if (first) docommand(first);
  document.querySelectorAll("td[action]").forEach((cell) => {
    cell.setAttribute("role", "button");
    cell.setAttribute("tabindex", "0");
  });
  // The rows shown on every tab stand in tables without an id.
  document.querySelectorAll("#panel > table").forEach((t) => {
    if (t.id.indexOf("id_") === 0) t.classList.add("tab-table");
    else if (!t.classList.contains("tabbar")) t.classList.add("generic");
  });
  setUpConnectCard();
  setUpPairing();
  startLive({
    reachable: setReachable,
    released: () => {
      statusDot.className = "status-dot warn";
      statusText.textContent = "Back in touch: the PC had let go of what this phone held, so nothing stayed pressed";
    },
    source: (text) => { document.getElementById("source").textContent = text; }
  });
  setUpFixMode();
  fitCaptions(document.getElementById("panel"));
  setUpWakeLock();
})();

// For tests and for pages that add cells of their own.
window.tapdeck = { send: send, buttonNumbers: buttonNumbers, isPlainKey: isPlainKey, releaseEverything: releaseEverything };
