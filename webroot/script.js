// Tapdeck control page: tab switching, and every tap of a cell with an action sent to the
// PC as one request. Inlined into the page, so it runs after the panel's markup.
(function () {
  "use strict";

  // The input route of each cell action; the cell's key attribute goes along as "str".
  var ROUTES = {
    keypress: "/KeyboardKey",
    buttonsdown: "/ButtonsDown",
    buttonsup: "/ButtonsUp",
    buttonspress: "/ButtonsPress"
  };
  var REQUEST_TIMEOUT_MS = 4000; // a Wi-Fi that is gone would otherwise hang a request for minutes
  var PROBE_INTERVAL_MS = 3000;
  var PROBE_URL = "/KeyboardKey?str="; // an empty sequence: the PC does nothing
  var PRESSED_MIN_MS = 120; // a quick tap still shows its pressed state

  var banner = document.getElementById("banner");
  var statusText = document.getElementById("status-text");
  var statusDot = document.getElementById("status-dot");

  var reachable = true;
  var probeTimer = null;
  // The "buttonsdown" cells whose buttons this page holds down on the PC.
  var heldCells = new Set();
  // Buttons whose release did not reach the PC: released again once it answers.
  var unreleased = new Set();
  // The last request of each button number, so a release never overtakes its press.
  var lastOfButton = new Map();

  // --- Tabs ---

  function tabCells() {
    return document.querySelectorAll("td[command='show']");
  }

  // Shows the chosen tab's table, hides every other tab table, and marks the tab.
  function docommand(cell) {
    if (!cell || cell.getAttribute("command") !== "show") return;
    var shown = "id_" + cell.getAttribute("subject");
    var tables = document.querySelectorAll("table[id^='id_']");
    for (var i = 0; i < tables.length; i++) tables[i].classList.toggle("hidden", tables[i].id !== shown);
    var tabs = tabCells();
    for (var j = 0; j < tabs.length; j++) {
      var active = tabs[j] === cell;
      tabs[j].classList.toggle("active", active);
      tabs[j].setAttribute("aria-selected", active ? "true" : "false");
    }
  }
  window.docommand = docommand;

  // --- Button ids, as the PC reads them ---

  // The joystick button numbers of a key attribute such as ",1,5": pieces at every comma,
  // each a 32-bit integer (decimal, or hexadecimal after "$", "x" or "0x"); positive ones
  // count, once each, and the PC uses the low 8 bits.
  function buttonNumbers(key) {
    var numbers = [];
    var seen = new Set();
    String(key || "").split(",").forEach(function (piece) {
      var m = /^[ ]*([+-]?)(?:(?:\$|0x|x)([0-9a-f]{1,8})|([0-9]+))$/i.exec(piece);
      if (!m) return;
      var value = m[2] !== undefined ? parseInt(m[2], 16) | 0 : parseInt(m[3], 10);
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
  function request(url, keepalive) {
    var controller = typeof AbortController === "function" ? new AbortController() : null;
    var timer = controller ? setTimeout(function () { controller.abort(); }, REQUEST_TIMEOUT_MS) : null;
    var options = { method: "GET", cache: "no-store", credentials: "omit", keepalive: !!keepalive };
    if (controller) options.signal = controller.signal;
    return fetch(url, options).then(
      function (response) { clearTimeout(timer); return response; },
      function (error) { clearTimeout(timer); throw error; });
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
    request(PROBE_URL).then(function () {
      setReachable(true);
      statusDot.className = "status-dot good";
      statusText.textContent = "Connected";
    }, function () {});
  }

  function showRoundTrip(ms, response) {
    statusDot.className = response.ok ? "status-dot good" : "status-dot warn";
    statusText.textContent = response.ok ? "Last tap " + Math.round(ms) + " ms"
                                         : "PC answered " + response.status + " (" + Math.round(ms) + " ms)";
  }

  // Sends one action; resolves true when the PC answered. Requests go out at once, except
  // that a joystick request waits for the earlier ones of the same buttons, so that a
  // release can never reach the PC before the press it releases.
  function send(action, key) {
    var route = ROUTES[action];
    if (!route) return Promise.resolve(false);
    var url = urlOf(route, key);
    var buttons = action === "keypress" ? [] : buttonNumbers(key);
    var before = [];
    buttons.forEach(function (b) { if (lastOfButton.has(b)) before.push(lastOfButton.get(b)); });
    var fire = function () {
      var started = performance.now();
      return request(url).then(function (response) {
        setReachable(true);
        showRoundTrip(performance.now() - started, response);
        return true;
      }, function () {
        setReachable(false);
        return false;
      });
    };
    var done = before.length === 0 ? fire() : Promise.all(before).then(fire);
    buttons.forEach(function (b) { lastOfButton.set(b, done); });
    done.then(function () {
      buttons.forEach(function (b) { if (lastOfButton.get(b) === done) lastOfButton.delete(b); });
    });
    return done;
  }

  // --- Held joystick buttons ---
  // A "buttonsdown" cell stays marked while the PC holds its buttons; a release of any of
  // them unmarks it.

  function cellButtons(cell) {
    return buttonNumbers(cell.getAttribute("key"));
  }

  function heldButtons() {
    var buttons = new Set();
    heldCells.forEach(function (cell) { cellButtons(cell).forEach(function (b) { buttons.add(b); }); });
    return buttons;
  }

  function hold(cell) {
    cellButtons(cell).forEach(function (b) { unreleased.delete(b); });
    heldCells.add(cell);
    cell.classList.add("held");
  }

  // The press may or may not have reached the PC: unmark the cell, and let go of its
  // buttons once the PC answers again, unless another held cell still holds them.
  function holdFailed(cell) {
    heldCells.delete(cell);
    cell.classList.remove("held");
    var stillHeld = heldButtons();
    cellButtons(cell).forEach(function (b) { if (!stillHeld.has(b)) unreleased.add(b); });
  }

  // Unmarks every cell that held one of the buttons.
  function release(buttons) {
    heldCells.forEach(function (cell) {
      if (cellButtons(cell).some(function (b) { return buttons.indexOf(b) >= 0; })) {
        heldCells.delete(cell);
        cell.classList.remove("held");
      }
    });
  }

  function releaseUnreleased() {
    if (unreleased.size === 0) return;
    var buttons = Array.from(unreleased);
    unreleased.clear();
    send("buttonsup", "," + buttons.join(",")).then(function (ok) {
      if (!ok) buttons.forEach(function (b) { unreleased.add(b); });
    });
  }

  // The page goes away or out of sight: let go of every button it holds on the PC. A
  // keepalive request outlives the page; sendBeacon cannot send a GET.
  function releaseEverything() {
    var buttons = Array.from(heldButtons());
    unreleased.forEach(function (b) { if (buttons.indexOf(b) < 0) buttons.push(b); });
    if (buttons.length === 0) return;
    release(buttons);
    unreleased.clear();
    request(urlOf(ROUTES.buttonsup, "," + buttons.join(",")), true).catch(function () {
      buttons.forEach(function (b) { unreleased.add(b); });
    });
  }

  // --- Taps ---

  function feedback(cell) {
    cell.classList.add("pressed");
    cell.pressedAt = performance.now();
    if (navigator.vibrate) {
      try { navigator.vibrate(12); } catch (e) { /* not offered here */ }
    }
  }

  function unpress(cell) {
    var left = PRESSED_MIN_MS - (performance.now() - (cell.pressedAt || 0));
    if (left > 0) setTimeout(function () { cell.classList.remove("pressed"); }, left);
    else cell.classList.remove("pressed");
  }

  function activate(cell) {
    var action = cell.getAttribute("action");
    var key = cell.getAttribute("key");
    feedback(cell);
    if (action === "buttonsdown") {
      hold(cell);
      send(action, key).then(function (ok) { if (!ok) holdFailed(cell); });
    } else if (action === "buttonsup") {
      var buttons = buttonNumbers(key);
      release(buttons);
      send(action, key).then(function (ok) {
        if (!ok) buttons.forEach(function (b) { unreleased.add(b); });
      });
    } else {
      send(action, key);
    }
  }

  function actionCell(target) {
    var cell = target && target.closest ? target.closest("td[action]") : null;
    return cell && ROUTES[cell.getAttribute("action")] ? cell : null;
  }

  // The press itself acts: no waiting for the click, and one pointer gives one request.
  document.addEventListener("pointerdown", function (event) {
    if (event.pointerType === "mouse" && event.button !== 0) return;
    var tab = event.target.closest ? event.target.closest("td[command='show']") : null;
    if (tab) {
      docommand(tab);
      return;
    }
    var cell = actionCell(event.target);
    if (!cell) return;
    event.preventDefault();
    activate(cell);
  });

  ["pointerup", "pointercancel", "pointerout"].forEach(function (type) {
    document.addEventListener(type, function (event) {
      var cell = actionCell(event.target);
      if (cell && cell.classList.contains("pressed")) unpress(cell);
    });
  });

  // Keyboards (a tablet with one, or a screen reader): Enter or Space on a focused cell.
  document.addEventListener("keydown", function (event) {
    if (event.repeat || (event.key !== "Enter" && event.key !== " ")) return;
    var cell = actionCell(event.target);
    var tab = event.target.closest ? event.target.closest("td[command='show']") : null;
    if (!cell && !tab) return;
    event.preventDefault();
    if (tab) docommand(tab);
    else {
      activate(cell);
      unpress(cell);
    }
  });

  document.addEventListener("contextmenu", function (event) { event.preventDefault(); });
  document.addEventListener("selectstart", function (event) { event.preventDefault(); });
  document.addEventListener("dragstart", function (event) { event.preventDefault(); });

  document.addEventListener("visibilitychange", function () {
    if (document.visibilityState === "hidden") releaseEverything();
    // Back in sight (the phone woke up): tell at once whether the PC is still there.
    else request(PROBE_URL).then(function () { setReachable(true); }, function () { setReachable(false); });
  });
  window.addEventListener("pagehide", releaseEverything);

  // --- Start ---

  (function init() {
    var tabs = tabCells();
    if (tabs.length > 0) {
      tabs[0].closest("table").classList.add("tabbar");
      tabs[0].parentNode.setAttribute("role", "tablist");
    }
    var first = null;
    for (var i = 0; i < tabs.length; i++) {
      tabs[i].setAttribute("role", "tab");
      tabs[i].setAttribute("tabindex", "0");
      var table = document.getElementById("id_" + tabs[i].getAttribute("subject"));
      if (!first && table && !table.classList.contains("hidden")) first = tabs[i];
    }
    if (first) docommand(first);
    var cells = document.querySelectorAll("td[action]");
    for (var c = 0; c < cells.length; c++) {
      cells[c].setAttribute("role", "button");
      cells[c].setAttribute("tabindex", "0");
    }
    // The rows shown on every tab stand in tables without an id.
    document.querySelectorAll("#panel > table").forEach(function (t) {
      if (t.id.indexOf("id_") === 0) t.classList.add("tab-table");
      else if (!t.classList.contains("tabbar")) t.classList.add("generic");
    });
  })();

  // For tests and for pages that add cells of their own.
  window.tapdeck = { send: send, buttonNumbers: buttonNumbers, releaseEverything: releaseEverything };
})();
