// Tapdeck panel editor: edits a panel file's JSON in the page, has every change checked by
// the program (/edit/check), shows the program's own rendering of it (/edit/preview) with the
// live state and the game actions that have no key, and saves it (/edit/save). A panel that
// comes from elsewhere (an import, an example, the built-in page) is reviewed by the program
// (/edit/review) for keys that hold Win, Ctrl or Alt or end in Enter, and Save asks once. The
// page is served only to this PC.
"use strict";
(function () {
  var KEY_NAMES = ["TAB", "ENTER", "ESC", "SPACE", "BACKSPACE", "DELETE", "INS", "HOME", "END", "PGUP", "PGDN",
    "UP", "DOWN", "LEFT", "RIGHT", "F1", "F2", "F3", "F4", "F5", "F6", "F7", "F8", "F9", "F10", "F11", "F12",
    "F13", "F14", "F15", "F16", "F17", "F18", "F19", "F20", "F21", "F22", "F23", "F24", "NUM0", "NUM1", "NUM2",
    "NUM3", "NUM4", "NUM5", "NUM6", "NUM7", "NUM8", "NUM9", "NUMDECIMAL", "NUMDIVIDE", "NUMMINUS",
    "NUMMULTIPLY", "NUMPLUS", "NUMLOCK", "CAPSLOCK", "SCROLLLOCK", "PRTSC", "BREAK", "HELP", "CLEAR"];
  var WORDS = { TAB: "Tab", ENTER: "Enter", ESC: "Esc", ESCAPE: "Esc", SPACE: "Space", BACKSPACE: "Backspace",
    BKSP: "Backspace", BS: "Backspace", DELETE: "Delete", DEL: "Delete", INS: "Insert", HOME: "Home", END: "End",
    PGUP: "Page Up", PGDN: "Page Down", UP: "Up", DOWN: "Down", LEFT: "Left", RIGHT: "Right",
    NUMDECIMAL: "Num .", NUMDIVIDE: "Num /", NUMMINUS: "Num -", NUMMULTIPLY: "Num *", NUMPLUS: "Num +",
    NUMLOCK: "Num Lock", CAPSLOCK: "Caps Lock", SCROLLLOCK: "Scroll Lock", PRTSC: "Print Screen",
    BREAK: "Break", HELP: "Help", CLEAR: "Clear" };
  // "action" first: a game action's cell may also hold keys, its own for when the game's
  // bindings are in no file.
  var ACTIONS = ["action", "keys", "buttonsDown", "buttonsUp", "buttonsPress", "buttonsHold"];
  var JOYSTICK_WORDS = { buttonsDown: "down", buttonsUp: "up", buttonsPress: "press", buttonsHold: "hold" };
  var CHECK_DELAY_MS = 150;
  // A message about something the user did that changed nothing (an import refused) stays
  // until the next change, over the check of the panel.
  var keepStatus = false;
  var LIVE_MS = 1500; // how often the state and the review are asked for again

  var panel = emptyPanel();
  var savedText = null; // the panel as last saved or loaded from the program
  var part = "tab:0"; // "above", "below" or "tab:N"
  var selected = null; // {part, row, cell}
  var problems = [];
  var valid = false;
  var checkTimer = null;
  var checkNumber = 0;
  var colors = ["black", "green", "blue", "red"];
  var stateNames = []; // [{name, kind}]: every name a cell can show
  var stateValues = {}; // the values now
  var bindings = { inUse: false, file: "", status: "", actions: [] };
  var review = { keys: [], unbound: [] };
  var reviewNumber = 0;
  var outside = null; // where a panel from elsewhere came from, until it is saved
  var outsideAccepted = false; // its review was accepted at a save

  var $ = function (id) { return document.getElementById(id); };

  function emptyPanel() {
    return { tapdeckPanel: 1, title: "Tapdeck", above: [], tabs: [], below: [] };
  }
  function isArray(value) { return Array.isArray(value); }
  function dirty() { return savedText !== null ? cleanText() !== savedText : true; }

  // --- The rows of a part ---

  function partRows(name) {
    if (name === "above" || name === "below") {
      if (!isArray(panel[name])) panel[name] = [];
      return panel[name];
    }
    var tab = isArray(panel.tabs) ? panel.tabs[Number(name.slice(4))] : null;
    if (!tab) return null;
    if (!isArray(tab.rows)) tab.rows = [];
    return tab.rows;
  }
  function placePart(place) {
    if (place.part === "tabs") return "tab:" + place.tab;
    return place.part;
  }
  function cellAt(sel) {
    var rows = sel && partRows(sel.part);
    var row = rows && rows[sel.row];
    return isArray(row) ? row[sel.cell] : undefined;
  }

  // --- Words for a key sequence ---

  // What a key sequence types, read as the program's key player plays it on a US keyboard:
  // "^{F4}" reads "Ctrl + F4", "ab" reads "a, b", "%(fx)" reads "Alt + (f, x)", "G" reads
  // "Shift + G" (the layout types a capital with Shift). Gives the words, the first error (a
  // key that does not exist, a modifier with no key after it) and a hint.
  var SIDES = { "<": "left ", ">": "right " };
  var HELD = { "^": "Ctrl", "+": "Shift", "%": "Alt", "#": "Win", "&": "Tab" };
  // The characters a US keyboard types with Shift, and the key that types each.
  var SHIFTED = { "~": "`", "!": "1", "@": "2", "#": "3", "$": "4", "%": "5", "^": "6", "&": "7", "*": "8",
    "(": "9", ")": "0", "_": "-", "+": "=", "{": "[", "}": "]", "|": "\\", ":": ";", "\"": "'", "<": ",",
    ">": ".", "?": "/" };
  function knownKeyName(upper) {
    return WORDS[upper] || (/^F([1-9]|1[0-9]|2[0-4])$/.test(upper) ? upper : /^NUM[0-9]$/.test(upper) ? "Num " + upper.charAt(3) : null);
  }
  function readKeys(text) {
    var reading = { words: "", error: "", hint: "" };
    var out = [];
    var held = []; // modifiers pressed and not yet released
    var group = null; // the keys of an open group, and the modifiers held when it opened
    function fail(message) { if (!reading.error) reading.error = message; }
    // A key that does not exist: nothing is typed, and held modifiers stay held.
    function skipped() { (group ? group.keys : out).push("?"); }
    // One key typed: with the held modifiers, which go up after it unless a group is open.
    function typed(word) {
      if (group) { group.keys.push(held.slice(group.mods.length).concat([word]).join(" + ")); return; }
      out.push(held.concat([word]).join(" + "));
      held = [];
    }
    // A character typed as the keyboard layout types it.
    function character(c) {
      if (c === " ") return "Space";
      if (c >= "A" && c <= "Z") {
        if (!reading.hint) reading.hint = "A capital letter types Shift with it: " + c.toLowerCase() + " types the plain " + c + " key.";
        return "Shift + " + c;
      }
      if (SHIFTED[c]) return "Shift + " + SHIFTED[c] + " (" + c + ")";
      if (c === "\t") return "Tab";
      if (c < " " || c > "~") { fail("No key types \u201c" + c + "\u201d: Invalid Key Name"); return null; }
      return c;
    }
    function closeGroup() {
      if (!group) return;
      out.push(group.mods.concat(["(" + group.keys.join(", ") + ")"]).join(" + "));
      group = null;
    }
    var i = 0;
    var n = text.length;
    while (i < n) {
      var c = text.charAt(i);
      if (c === "(") { closeGroup(); group = { mods: held.slice(), keys: [] }; i++; continue; }
      if (c === ")") { closeGroup(); held = []; i++; continue; }
      if (HELD[c]) {
        var side = i + 2 < n ? SIDES[text.charAt(i + 1)] : undefined;
        held.push((c === "&" ? "" : side || "") + HELD[c]);
        i += side ? 2 : 1;
        continue;
      }
      if (c === "~") { typed("Enter"); i++; continue; }
      if (c !== "{") {
        var plain = character(c);
        if (plain) typed(plain);
        else skipped();
        i++;
        continue;
      }
      if (text.charAt(i + 1) === "{") { typed(character("{")); i += 3; continue; }
      var close = text.indexOf("}", i + 1);
      if (close < 0) { fail("\u201c{\u201d with no \u201c}\u201d after it: No close bracket."); out.push("?"); held = []; break; }
      var inner = text.slice(i + 1, close);
      i = close + 1;
      if (text.charAt(i) === "}") { typed(character("}")); i++; continue; }
      var blank = inner.indexOf(" ");
      var count = blank >= 0 ? inner.slice(blank + 1) : null;
      var name = (blank >= 0 ? inner.slice(0, blank) : inner).toUpperCase();
      if (count !== null && !/^ *[+-]?([0-9]+|(\$|0x|x)[0-9a-f]+)$/i.test(count)) {
        fail("\u201c" + count + "\u201d is not a number of presses");
        out.push("?");
        held = [];
        break;
      }
      if (name.length === 1 && name !== inner.charAt(0) && !reading.hint)
        reading.hint = "A letter in braces is typed as a capital, with Shift: " + inner.charAt(0) + " alone types the plain " + name + " key.";
      var word = name.length === 1 ? character(name) : knownKeyName(name);
      if (!word && name.length !== 1) fail("\u201c{" + inner + "}\u201d: Invalid Key Name");
      if (!word) skipped();
      else typed(count !== null ? word + " \u00d7 " + count.trim() : word);
    }
    closeGroup();
    if (held.length) {
      fail(held.join(" + ") + " with no key after it: a modifier holds for the next key, as in ^{F4}");
      out.push(held.join(" + ") + " alone");
    }
    reading.words = out.join(", ");
    return reading;
  }

  // --- Drawing ---

  function option(select, value, label) {
    var o = document.createElement("option");
    o.value = value;
    o.textContent = label;
    select.appendChild(o);
    return o;
  }
  function button(label, title, onClick) {
    var b = document.createElement("button");
    b.type = "button";
    b.textContent = label;
    if (title) { b.title = title; b.setAttribute("aria-label", title); }
    b.addEventListener("click", onClick);
    return b;
  }
  function colorSelect(value, onChange, label) {
    var s = document.createElement("select");
    s.setAttribute("aria-label", label);
    colors.forEach(function (c) { option(s, c, c); });
    if (colors.indexOf(value) < 0) option(s, value, value);
    s.value = value;
    s.addEventListener("change", function () { onChange(s.value); });
    return s;
  }
  function actionOf(cell) {
    for (var k = 0; k < ACTIONS.length; k++) if (cell && Object.prototype.hasOwnProperty.call(cell, ACTIONS[k])) return ACTIONS[k];
    return "none";
  }
  function actionLabel(cell) {
    var a = actionOf(cell);
    if (a === "keys") return String(cell.keys);
    if (a === "none") return "";
    if (a === "action") {
      var known = gameAction(cell.action);
      return "game: " + (known ? known.label : String(cell.action).replace(/^elite:/, ""));
    }
    return "joy " + JOYSTICK_WORDS[a] + " " + (isArray(cell[a]) ? cell[a].join(",") : String(cell[a]));
  }
  function problemAt(partName, row, cell) {
    return problems.filter(function (p) {
      return p.place.part && placePart(p.place) === partName && p.place.row === row &&
             (cell === undefined || p.place.cell === cell);
    });
  }

  function drawTabs() {
    var list = $("tabs");
    list.innerHTML = "";
    var tabs = isArray(panel.tabs) ? panel.tabs : [];
    tabs.forEach(function (tab, t) {
      var li = document.createElement("li");
      var bad = problems.some(function (p) { return p.place.part === "tabs" && p.place.tab === t && p.place.row < 0; });
      if (bad) li.classList.add("invalid");
      var text = document.createElement("input");
      text.type = "text";
      text.value = tab.text === undefined ? "" : String(tab.text);
      text.setAttribute("aria-label", "Tab " + (t + 1) + " caption");
      text.className = "tab-text";
      text.addEventListener("input", function () {
        tab.text = text.value;
        // A new tab's id follows its caption until the id is set by hand.
        if (tab._autoId) tab.id = idFrom(text.value, t);
        changed(false);
        idInput.value = tab.id;
        drawPartSelect();
      });
      var idInput = document.createElement("input");
      idInput.type = "text";
      idInput.className = "tab-id";
      idInput.value = tab.id === undefined ? "" : String(tab.id);
      idInput.setAttribute("aria-label", "Tab " + (t + 1) + " id");
      idInput.addEventListener("input", function () { tab.id = idInput.value; delete tab._autoId; changed(false); });
      li.appendChild(text);
      li.appendChild(idInput);
      li.appendChild(colorSelect(tab.color || "black", function (v) { tab.color = v; changed(true); }, "Tab " + (t + 1) + " colour"));
      li.appendChild(button("\u2191", "Move tab " + (t + 1) + " up", function () { moveItem(tabs, t, t - 1); part = "tab:" + Math.max(0, t - 1); selected = null; changed(true); }));
      li.appendChild(button("\u2193", "Move tab " + (t + 1) + " down", function () { moveItem(tabs, t, t + 1); part = "tab:" + Math.min(tabs.length - 1, t + 1); selected = null; changed(true); }));
      li.appendChild(button("Rows", "Edit the rows of tab " + (t + 1), function () { part = "tab:" + t; selected = null; draw(); }));
      li.appendChild(button("\u2715", "Remove tab " + (t + 1), function () {
        tabs.splice(t, 1);
        part = tabs.length ? "tab:" + Math.min(t, tabs.length - 1) : "above";
        selected = null;
        changed(true);
      }));
      list.appendChild(li);
    });
  }
  function idFrom(text, index) {
    var id = String(text).toLowerCase().replace(/[^a-z0-9_-]+/g, "-").replace(/^-+|-+$/g, "");
    return id || "tab" + (index + 1);
  }
  function moveItem(list, from, to) {
    if (to < 0 || to >= list.length) return;
    var item = list.splice(from, 1)[0];
    list.splice(to, 0, item);
  }

  function drawPartSelect() {
    var s = $("part");
    s.innerHTML = "";
    option(s, "above", "above the tabs (every tab)");
    (isArray(panel.tabs) ? panel.tabs : []).forEach(function (tab, t) {
      option(s, "tab:" + t, "tab \u201c" + (tab.text || tab.id || t + 1) + "\u201d");
    });
    option(s, "below", "below the tabs (every tab)");
    if (!partRows(part)) part = "above";
    s.value = part;
  }

  var dragged = null; // {part, row, cell}

  function drawRows() {
    var box = $("rows");
    box.innerHTML = "";
    var rows = partRows(part) || [];
    rows.forEach(function (row, r) {
      var line = document.createElement("div");
      line.className = "row";
      var cells = document.createElement("div");
      cells.className = "cells";
      cells.setAttribute("aria-label", "Row " + (r + 1));
      (isArray(row) ? row : []).forEach(function (cell, c) {
        var b = document.createElement("button");
        b.type = "button";
        b.className = "cell background-" + ((cell && cell.color) || "black");
        b.draggable = true;
        b.dataset.row = r;
        b.dataset.cell = c;
        var caption = cell && cell.text !== undefined ? String(cell.text) : "";
        b.textContent = caption || "\u00a0";
        var action = actionLabel(cell);
        if (action) {
          var small = document.createElement("span");
          small.className = "action";
          small.textContent = action;
          b.appendChild(small);
        }
        b.style.flexGrow = (cell && cell.colspan) || 1;
        var bad = problemAt(part, r, c);
        if (bad.length) { b.classList.add("invalid"); b.title = bad[0].message; }
        if (selected && selected.part === part && selected.row === r && selected.cell === c) b.classList.add("selected");
        b.setAttribute("aria-label", "Cell " + (c + 1) + " of row " + (r + 1) + ": " + caption + (action ? " (" + action + ")" : "") + (bad.length ? ", has a problem" : ""));
        b.addEventListener("click", function () { select({ part: part, row: r, cell: c }); });
        b.addEventListener("dragstart", function (e) {
          dragged = { part: part, row: r, cell: c };
          e.dataTransfer.effectAllowed = "move";
          e.dataTransfer.setData("text/plain", "cell");
        });
        b.addEventListener("dragover", function (e) { e.preventDefault(); b.classList.add("drop-before"); });
        b.addEventListener("dragleave", function () { b.classList.remove("drop-before"); });
        b.addEventListener("drop", function (e) { e.preventDefault(); e.stopPropagation(); dropCell(r, c); });
        cells.appendChild(b);
      });
      cells.addEventListener("dragover", function (e) { e.preventDefault(); cells.classList.add("drop-end"); });
      cells.addEventListener("dragleave", function () { cells.classList.remove("drop-end"); });
      cells.addEventListener("drop", function (e) { e.preventDefault(); dropCell(r, isArray(row) ? row.length : 0); });
      var tools = document.createElement("div");
      tools.className = "row-tools";
      tools.appendChild(button("+ Cell", "Add a cell to row " + (r + 1), function () {
        if (!isArray(rows[r])) rows[r] = [];
        rows[r].push({ text: "New", color: "black" });
        select({ part: part, row: r, cell: rows[r].length - 1 }, true);
        changed(true);
        $("cell-text").focus();
        $("cell-text").select();
      }));
      tools.appendChild(button("\u2191", "Move row " + (r + 1) + " up", function () { moveItem(rows, r, r - 1); selected = null; changed(true); }));
      tools.appendChild(button("\u2193", "Move row " + (r + 1) + " down", function () { moveItem(rows, r, r + 1); selected = null; changed(true); }));
      tools.appendChild(button("\u2715", "Remove row " + (r + 1), function () { rows.splice(r, 1); selected = null; changed(true); }));
      line.appendChild(cells);
      line.appendChild(tools);
      box.appendChild(line);
    });
    $("add-row").disabled = !partRows(part);
  }

  function dropCell(toRow, toCell) {
    if (!dragged) return;
    var from = dragged;
    dragged = null;
    var fromRows = partRows(from.part);
    var rows = partRows(part);
    if (!fromRows || !rows || !isArray(fromRows[from.row]) || !isArray(rows[toRow])) return;
    var cell = fromRows[from.row].splice(from.cell, 1)[0];
    if (from.part === part && from.row === toRow && from.cell < toCell) toCell--;
    rows[toRow].splice(toCell, 0, cell);
    select({ part: part, row: toRow, cell: toCell }, true);
    changed(true);
  }

  function select(sel, quiet) {
    selected = sel;
    if (!quiet) draw();
  }

  function drawCell() {
    var cell = cellAt(selected);
    var has = cell !== undefined && cell !== null && typeof cell === "object";
    $("cell-fields").hidden = !has;
    $("no-cell").hidden = has;
    if (!has) return;
    var active = document.activeElement;
    if (active !== $("cell-text")) $("cell-text").value = cell.text === undefined ? "" : String(cell.text);
    var color = $("cell-color");
    color.innerHTML = "";
    colors.forEach(function (c) { option(color, c, c); });
    if (cell.color && colors.indexOf(cell.color) < 0) option(color, cell.color, cell.color);
    color.value = cell.color || "black";
    if (active !== $("cell-colspan")) $("cell-colspan").value = cell.colspan || 1;
    var action = actionOf(cell);
    $("cell-action").value = action;
    $("keys-fields").hidden = action !== "keys";
    $("action-fields").hidden = action !== "action";
    $("buttons-fields").hidden = !JOYSTICK_WORDS[action];
    if (action === "keys") {
      if (active !== $("cell-keys")) $("cell-keys").value = cell.keys === undefined ? "" : String(cell.keys);
      var reading = readKeys(String(cell.keys || ""));
      $("keys-reading").textContent = reading.words;
      $("keys-hint").textContent = reading.error || reading.hint;
      $("keys-reading-line").classList.toggle("bad", !!reading.error);
    } else if (action === "action") {
      drawGameAction(cell, active);
    } else if (JOYSTICK_WORDS[action] && active !== $("cell-buttons")) {
      $("cell-buttons").value = isArray(cell[action]) ? cell[action].join(", ") : String(cell[action]);
    }
    [["cell-lit", "lit"], ["cell-dim", "dim"], ["cell-value", "value"]].forEach(function (field) {
      var value = cell[field[1]];
      if (active !== $(field[0])) $(field[0]).value = value === undefined ? "" : isArray(value) ? value.join(" ") : String(value);
    });
    $("cell-toggle").checked = cell.toggle === true;
    var bad = problemAt(selected.part, selected.row, selected.cell);
    $("cell-problem").textContent = bad.length ? bad[0].message : "";
    var rows = partRows(selected.part);
    $("cell-left").disabled = selected.cell === 0;
    $("cell-right").disabled = selected.cell >= rows[selected.row].length - 1;
    $("cell-up").disabled = selected.row === 0;
    $("cell-down").disabled = selected.row >= rows.length - 1;
  }

  function drawProblems() {
    var list = $("problems");
    list.innerHTML = "";
    problems.forEach(function (p) {
      var li = document.createElement("li");
      li.textContent = p.message;
      list.appendChild(li);
    });
  }

  function drawStatus(text, kind) {
    var s = $("status");
    s.textContent = text;
    s.className = "status" + (kind ? " " + kind : "");
  }

  function draw() {
    // Lists are drawn afresh: the control that had the focus gets it back, caret and all.
    var active = document.activeElement;
    var label = active && active.getAttribute ? active.getAttribute("aria-label") : null;
    var range = null;
    try { range = [active.selectionStart, active.selectionEnd]; } catch (e) { range = null; }
    if (active !== $("title")) $("title").value = panel.title === undefined ? "" : String(panel.title);
    drawTabs();
    drawPartSelect();
    drawRows();
    drawCell();
    drawProblems();
    drawReview();
    showTabInPreview();
    $("save").disabled = !valid || !dirty();
    if (label && !document.body.contains(active)) {
      var again = null;
      document.querySelectorAll("[aria-label]").forEach(function (el) {
        if (!again && el.getAttribute("aria-label") === label) again = el;
      });
      if (again) {
        again.focus();
        if (range && range[0] !== null && range[0] !== undefined && again.setSelectionRange) {
          try { again.setSelectionRange(range[0], range[1]); } catch (e) { /* not a text field */ }
        }
      }
    }
  }

  // --- Game actions ---

  function gameAction(name) {
    for (var i = 0; i < bindings.actions.length; i++) if (bindings.actions[i].action === name) return bindings.actions[i];
    return null;
  }
  function bindingsWords() {
    return "Your game bindings: " + (bindings.inUse ? bindings.file : bindings.status) + ".";
  }

  function drawGameAction(cell, active) {
    if (active !== $("cell-game-action")) $("cell-game-action").value = cell.action === undefined ? "" : String(cell.action);
    if (active !== $("cell-fallback-keys")) $("cell-fallback-keys").value = cell.keys === undefined ? "" : String(cell.keys);
    var known = gameAction(cell.action);
    var text;
    if (!bindings.inUse) text = bindingsWords() + " The cell types its own keys, below.";
    else if (!cell.action) text = "Choose the action the cell presses.";
    else if (!known) text = "Your game bindings, " + bindings.file + ", have no such action.";
    else if (known.bound) text = "Presses " + known.reading + " (" + known.group + ", " + known.label + ").";
    else text = known.label + " has no key (" + known.why + "). In the game: " + known.fix;
    $("action-reading").textContent = text;
    $("action-reading").classList.toggle("bad", bindings.inUse && !!cell.action && !(known && known.bound));
    var fallback = readKeys(String(cell.keys || ""));
    $("fallback-reading").textContent = cell.keys ? "Reads: " + fallback.words + (fallback.error ? " (" + fallback.error + ")" : "") : "";
    $("fallback-reading").classList.toggle("bad", !!fallback.error);
  }

  // The player's actions, and where they come from.
  function loadActions() {
    return fetch("/edit/actions").then(function (r) { return r.json(); }).then(function (answer) {
      var changedBindings = JSON.stringify(answer) !== JSON.stringify(bindings);
      bindings = answer;
      $("bindings-line").textContent = bindingsWords();
      if (changedBindings) draw();
    }).catch(function () {});
  }

  // Every word somewhere in the text, in any letter case: "gear" finds "Landing Gear".
  function matches(words, text) {
    var lower = text.toLowerCase();
    return words.every(function (w) { return lower.indexOf(w) >= 0; });
  }
  function searchWords(text) { return text.toLowerCase().split(/[\s.]+/).filter(Boolean); }

  // The picker: the player's actions grouped as the game groups them, each with its key.
  function drawPicker() {
    $("picker-bindings").textContent = bindings.inUse
      ? "The actions of your game bindings (" + bindings.file + "), with the key each is bound to."
      : bindingsWords() + " Type the action's name in the cell's field instead (elite:LandingGearToggle); the cell types its own keys.";
    var list = $("action-list");
    list.innerHTML = "";
    var words = searchWords($("action-search").value);
    var group = null;
    var items = null;
    bindings.actions.forEach(function (a) {
      if (!matches(words, a.label + " " + a.action + " " + a.group)) return;
      if (a.group !== group) {
        group = a.group;
        var heading = document.createElement("h3");
        heading.textContent = group;
        items = document.createElement("ul");
        list.appendChild(heading);
        list.appendChild(items);
      }
      var b = button("", a.label + ": " + (a.bound ? a.reading : "no key"), function () { pickAction(a); });
      b.className = "pick" + (a.bound ? "" : " nokey");
      if (!a.bound) b.title = a.why + ". " + a.fix;
      var label = document.createElement("span");
      label.textContent = a.label;
      var key = document.createElement("span");
      key.className = "key";
      key.textContent = a.bound ? a.reading : "no key";
      b.appendChild(label);
      b.appendChild(key);
      var li = document.createElement("li");
      li.appendChild(b);
      items.appendChild(li);
    });
    if (!group && bindings.actions.length) list.textContent = "No action matches \u201c" + $("action-search").value + "\u201d.";
  }
  function openPicker() {
    loadActions().then(function () {
      $("action-search").value = "";
      drawPicker();
      if (!$("action-picker").open) $("action-picker").showModal();
      $("action-search").focus();
    });
  }
  function pickAction(a) {
    $("action-picker").close();
    var cell = cellAt(selected);
    if (!cell) return;
    cell.action = a.action;
    if (!cell.text || cell.text === "New") cell.text = a.label;
    changed(true);
  }

  // --- State names offered as a cell's lit, dim and value fields are typed ---

  var suggestInput = null;
  var suggestItems = [];
  var suggestActive = -1;

  // The part of the field being typed that names a state: the last name of lit and dim (a "!"
  // before it stays), or an unclosed "{name" of value; null when none is being typed.
  function stateToken(input) {
    var caret = input.selectionStart === null ? input.value.length : input.selectionStart;
    var before = input.value.slice(0, caret);
    if (input.id !== "cell-value") {
      var word = /[^\s,!]*$/.exec(before)[0];
      return { start: caret - word.length, end: caret, text: word };
    }
    var open = before.lastIndexOf("{");
    if (open < 0 || /[}:]/.test(before.slice(open))) return null;
    return { start: open + 1, end: caret, text: before.slice(open + 1) };
  }
  function valueWords(name) {
    var v = stateValues[name];
    if (v === undefined) return "no value now";
    return (typeof v === "string" ? "\u201c" + v + "\u201d" : String(v)) + " now";
  }
  function showSuggestions(input) {
    var list = $("state-suggest");
    var token = stateToken(input);
    suggestInput = input;
    if (!token) return hideSuggestions();
    var words = searchWords(token.text);
    suggestItems = stateNames.filter(function (n) { return matches(words, n.name); }).slice(0, 50);
    suggestActive = suggestItems.length ? 0 : -1;
    list.innerHTML = "";
    suggestItems.forEach(function (n, i) {
      var li = document.createElement("li");
      li.setAttribute("role", "option");
      var name = document.createElement("span");
      name.textContent = n.name;
      var now = document.createElement("span");
      now.className = "now";
      now.textContent = valueWords(n.name);
      li.appendChild(name);
      li.appendChild(now);
      li.addEventListener("mousedown", function (e) { e.preventDefault(); takeSuggestion(i); });
      list.appendChild(li);
    });
    input.closest("label").after(list);
    list.hidden = suggestItems.length === 0;
    markSuggestion();
  }
  function hideSuggestions() { $("state-suggest").hidden = true; }
  function markSuggestion() {
    var items = $("state-suggest").children;
    for (var i = 0; i < items.length; i++) {
      items[i].classList.toggle("active", i === suggestActive);
      items[i].setAttribute("aria-selected", i === suggestActive ? "true" : "false");
    }
    if (items[suggestActive] && !$("state-suggest").hidden) items[suggestActive].scrollIntoView({ block: "nearest" });
  }
  function takeSuggestion(i) {
    var input = suggestInput;
    var token = input && stateToken(input);
    if (!token || !suggestItems[i]) return;
    var after = input.value.slice(token.end);
    var insert = suggestItems[i].name + (input.id === "cell-value" && !/^[}:]/.test(after) ? "}" : "");
    input.value = input.value.slice(0, token.start) + insert + after;
    input.setSelectionRange(token.start + insert.length, token.start + insert.length);
    input.dispatchEvent(new Event("input"));
    hideSuggestions();
  }
  function suggestionKey(e) {
    if ($("state-suggest").hidden || !suggestItems.length) return;
    if (e.key === "ArrowDown" || e.key === "ArrowUp") {
      e.preventDefault();
      suggestActive = (suggestActive + (e.key === "ArrowDown" ? 1 : -1) + suggestItems.length) % suggestItems.length;
      markSuggestion();
    } else if (e.key === "Enter") {
      e.preventDefault();
      takeSuggestion(suggestActive);
    } else if (e.key === "Escape") {
      hideSuggestions();
    }
  }

  // --- What the buttons would do: the program's review of the panel ---

  function placeWords(place) {
    var tab = place.part === "tabs" && isArray(panel.tabs) ? panel.tabs[place.tab] : null;
    var where = place.part !== "tabs" ? "the rows " + place.part + " the tabs"
              : tab && tab.text ? "tab \u201c" + tab.text + "\u201d" : "tab " + (place.tab + 1);
    var cell = cellAt({ part: placePart(place), row: place.row, cell: place.cell });
    return where + ", row " + (place.row + 1) + ", cell " + (place.cell + 1) + (cell && cell.text ? " (\u201c" + cell.text + "\u201d)" : "");
  }
  function placeButton(place) {
    var b = button(placeWords(place), "", function () { part = placePart(place); select({ part: part, row: place.row, cell: place.cell }); });
    b.className = "place";
    return b;
  }
  // "%{F4} types Alt + F4 (holds Alt)".
  function reviewWords(entry) {
    var notes = entry.holds.map(function (h) { return "holds " + h; });
    if (entry.enter) notes.push("ends in Enter");
    if (entry.action) notes.push("the cell's own keys, typed when the game's bindings are in no file");
    return entry.keys + " types " + readKeys(entry.keys).words + " (" + notes.join("; ") + ")";
  }
  function drawReview() {
    var show = outside !== null && !outsideAccepted && review.keys.length > 0;
    $("review").hidden = !show;
    var list = $("review-list");
    list.innerHTML = "";
    if (show) $("review-title").textContent = "What the buttons of " + outside + " would type";
    if (show) review.keys.forEach(function (entry) {
      var li = document.createElement("li");
      li.appendChild(placeButton(entry.place));
      li.appendChild(document.createTextNode(": " + reviewWords(entry)));
      list.appendChild(li);
    });
    var unbound = $("unbound-list");
    unbound.innerHTML = "";
    review.unbound.forEach(function (entry) {
      var li = document.createElement("li");
      li.appendChild(placeButton(entry.place));
      li.appendChild(document.createTextNode(": " + entry.label + " has no key (" + entry.why + "). In the game: " + entry.fix));
      unbound.appendChild(li);
    });
    $("unbound").hidden = review.unbound.length === 0;
  }
  // Asks the program what the panel's buttons would do; the answer, also when a newer one
  // came first.
  function reviewPanel() {
    var number = ++reviewNumber;
    return post("/edit/review", cleanText()).then(function (r) { return r.json(); }).then(function (answer) {
      if (number === reviewNumber) {
        review = answer;
        drawReview();
        sendLive();
      }
      return answer;
    }).catch(function () { return null; });
  }

  // The preview draws the state and the marks of the actions without a key as a phone does;
  // it opens no stream of its own, the editor hands them over.
  function sendLive() {
    var frame = $("preview").contentWindow;
    if (!frame) return;
    var marks = {};
    review.unbound.forEach(function (entry) { marks[entry.action] = { bound: false, text: entry.label + " has no key: " + entry.fix, why: entry.why }; });
    frame.postMessage({ tapdeckState: stateValues, tapdeckActions: marks }, "*");
  }
  function refreshLive() {
    if (document.visibilityState === "hidden") return;
    fetch("/edit/state").then(function (r) { return r.json(); }).then(function (answer) {
      stateValues = answer.values || {};
      stateNames = answer.names || [];
      sendLive();
    }).catch(function () {});
    loadActions();
    reviewPanel();
  }

  // --- Checking and the preview ---

  function changed(redraw) {
    valid = false;
    keepStatus = false;
    $("save").disabled = true;
    if (redraw !== false) draw();
    else drawCell();
    clearTimeout(checkTimer);
    checkTimer = setTimeout(check, CHECK_DELAY_MS);
  }

  function post(path, body) {
    return fetch(path, { method: "POST", headers: { "Content-Type": "application/json" }, body: body });
  }

  // The panel without the editor's own notes (members starting with "_").
  function cleanText() {
    return JSON.stringify(panel, function (key, value) { return key.charAt(0) === "_" ? undefined : value; }, 2) + "\n";
  }

  function check() {
    var number = ++checkNumber;
    var text = cleanText();
    return post("/edit/check", text).then(function (r) { return r.json(); }).then(function (answer) {
      if (number !== checkNumber) return;
      problems = answer.ok ? [] : answer.problems;
      valid = !!answer.ok;
      reviewPanel();
      if (valid) {
        if (!keepStatus) drawStatus(dirty() ? "The panel is valid. Unsaved changes." : "The panel is valid and saved.", "good");
        preview(text, number);
      } else {
        if (!keepStatus) drawStatus(problems.length + (problems.length === 1 ? " problem" : " problems") + ": Save waits until the panel is valid.", "bad");
        previewInvalid();
      }
      draw();
    }).catch(function () {
      if (number === checkNumber) drawStatus("Cannot reach Tapdeck to check the panel.", "bad");
    });
  }

  function preview(text, number) {
    post("/edit/preview", text).then(function (r) { return r.ok ? r.text() : null; }).then(function (html) {
      // The card "Open on your phone" is for the PC's own view of the page; a phone does not
      // show it beside the panel, so neither does the preview.
      if (html === null) return;
      // The colours offered are the background- classes of the page's own style sheet.
      var found = [];
      html.replace(/\.background-([A-Za-z0-9_-]+)/g, function (all, name) {
        if (found.indexOf(name) < 0) found.push(name);
        return all;
      });
      if (found.length && found.join() !== colors.join()) { colors = found; draw(); }
      if (number !== checkNumber) return;
      // Nor the card of a page framed by another (the preview is a frame of the editor's); the
      // mark tells the page's script that the editor hands it the live state.
      showPreview(html.replace("</head>", "<style>#connect,#pair,.pair{display:none!important}</style>" +
                                          "<script>window.tapdeckPreview=true<\/script></head>")
                      .replace("</body>", PREVIEW_TAB_SCRIPT + "</body>"), "");
      previewed = true;
    }).catch(function () {});
  }

  // --- The preview: always the panel being edited ---
  // While the panel has problems it shows the last valid state of this panel, marked as such;
  // a panel loaded with problems (or empty) has none, and the preview says so.

  var previewed = false; // the preview shows a valid state of the panel being edited
  var previewTab = null; // the tab last shown in the preview
  // Lets the editor show the tab being edited: the preview's own tab switch, by message (the
  // preview is sandboxed, so the editor cannot reach into it).
  var PREVIEW_TAB_SCRIPT = "<script>addEventListener('message',function(e){var c=e.data&&e.data.tapdeckTab&&" +
    "document.querySelector('td[command=\"show\"][subject=\"'+e.data.tapdeckTab+'\"]');if(c&&window.docommand)docommand(c);});<\/script>";

  function showPreview(html, note) {
    if (html !== null) {
      previewTab = null;
      $("preview").srcdoc = html;
    }
    $("phone").classList.toggle("stale", previewed && html === null);
    $("preview-note").textContent = note;
  }

  function previewInvalid() {
    if (previewed) return showPreview(null, "The preview shows the last valid state: the panel has problems (listed above).");
    var rows = [];
    ["above", "below"].forEach(function (name) { if (isArray(panel[name])) rows = rows.concat(panel[name]); });
    (isArray(panel.tabs) ? panel.tabs : []).forEach(function (tab) { if (tab && isArray(tab.rows)) rows = rows.concat(tab.rows); });
    var empty = !rows.some(function (row) { return isArray(row) && row.length > 0; });
    var blank = "<!DOCTYPE html><body style=\"margin:0;background:#101114\"></body>";
    showPreview($("preview").srcdoc === blank ? null : blank,
                empty ? "An empty panel: add a tab, a row and a cell to see it here."
                      : "Nothing to preview yet: the preview shows the panel once its problems are mended.");
  }

  // The tab being edited, shown in the preview.
  function showTabInPreview() {
    var tab = part.indexOf("tab:") === 0 && isArray(panel.tabs) ? panel.tabs[Number(part.slice(4))] : null;
    if (!tab || !tab.id || tab.id === previewTab) return;
    previewTab = tab.id;
    $("preview").contentWindow.postMessage({ tapdeckTab: String(tab.id) }, "*");
  }

  // AFrom: where a panel from elsewhere came from ("the example kerbal.json"), whose keys are
  // reviewed before it is saved.
  function load(newPanel, note, asSaved, from) {
    panel = newPanel && typeof newPanel === "object" && !isArray(newPanel) ? newPanel : emptyPanel();
    if (asSaved) savedText = cleanText();
    outside = from || null;
    outsideAccepted = false;
    part = isArray(panel.tabs) && panel.tabs.length ? "tab:0" : "above";
    selected = null;
    problems = [];
    previewed = false;
    if (note) drawStatus(note);
    changed(true);
  }

  // --- Wiring ---

  function wire() {
    $("preview").addEventListener("load", function () { previewTab = null; showTabInPreview(); sendLive(); });
    var keyName = $("key-name");
    KEY_NAMES.forEach(function (n) { option(keyName, n, "{" + n + "}"); });

    $("title").addEventListener("input", function () { panel.title = $("title").value; changed(false); });
    $("add-tab").addEventListener("click", function () {
      if (!isArray(panel.tabs)) panel.tabs = [];
      var n = panel.tabs.length + 1;
      var id = "tab" + n;
      while (panel.tabs.some(function (t) { return t.id === id; })) id += "x";
      panel.tabs.push({ id: id, text: "Tab " + n, color: "black", rows: [], _autoId: true });
      part = "tab:" + (panel.tabs.length - 1);
      selected = null;
      changed(true);
      var inputs = document.querySelectorAll("#tabs .tab-text");
      var last = inputs[inputs.length - 1];
      last.focus();
      last.select();
    });
    $("part").addEventListener("change", function () { part = $("part").value; selected = null; draw(); });
    $("add-row").addEventListener("click", function () {
      var rows = partRows(part);
      if (!rows) return;
      rows.push([{ text: "New", color: "black" }]);
      select({ part: part, row: rows.length - 1, cell: 0 }, true);
      changed(true);
    });

    $("cell-text").addEventListener("input", function () { cellAt(selected).text = $("cell-text").value; changed(true); });
    $("cell-color").addEventListener("change", function () { cellAt(selected).color = $("cell-color").value; changed(true); });
    $("cell-colspan").addEventListener("input", function () {
      var cell = cellAt(selected);
      var v = Number($("cell-colspan").value);
      if (v === 1) delete cell.colspan;
      else cell.colspan = $("cell-colspan").value === "" ? 1 : v;
      changed(true);
    });
    $("cell-action").addEventListener("change", function () {
      var cell = cellAt(selected);
      var before = actionOf(cell);
      // Joystick buttons stay through a change of their kind, keys through a change between
      // keys and a game action (whose own keys they become).
      var buttons = JOYSTICK_WORDS[before] ? cell[before] : null;
      var keys = cell.keys;
      ACTIONS.forEach(function (a) { delete cell[a]; });
      var a = $("cell-action").value;
      if (a === "keys") cell.keys = keys || "";
      else if (a === "action") {
        cell.action = "";
        if (keys) cell.keys = keys;
      } else if (a !== "none") cell[a] = buttons || [1];
      changed(true);
      if (a === "keys") $("cell-keys").focus();
      else if (a === "action") openPicker();
      else if (a !== "none") $("cell-buttons").focus();
    });
    $("cell-game-action").addEventListener("input", function () { cellAt(selected).action = $("cell-game-action").value.trim(); changed(true); });
    $("cell-fallback-keys").addEventListener("input", function () {
      var cell = cellAt(selected);
      if ($("cell-fallback-keys").value === "") delete cell.keys;
      else cell.keys = $("cell-fallback-keys").value;
      changed(true);
    });
    $("pick-action").addEventListener("click", openPicker);
    $("action-search").addEventListener("input", drawPicker);
    // One name or several (a list: any one holding is enough); an empty field drops the member.
    ["cell-lit", "cell-dim", "cell-value"].forEach(function (id) {
      var input = $(id);
      var member = id.slice(5);
      input.addEventListener("input", function () {
        var cell = cellAt(selected);
        var names = input.value.split(/[\s,]+/).filter(Boolean);
        if (member === "value") names = input.value === "" ? [] : [input.value];
        if (!names.length) delete cell[member];
        else cell[member] = names.length === 1 ? names[0] : names;
        changed(true);
        showSuggestions(input);
      });
      input.addEventListener("focus", function () { showSuggestions(input); });
      input.addEventListener("click", function () { showSuggestions(input); });
      input.addEventListener("keydown", suggestionKey);
      input.addEventListener("blur", hideSuggestions);
    });
    $("cell-toggle").addEventListener("change", function () {
      var cell = cellAt(selected);
      if ($("cell-toggle").checked) cell.toggle = true;
      else delete cell.toggle;
      changed(true);
    });
    $("cell-keys").addEventListener("input", function () {
      cellAt(selected).keys = $("cell-keys").value;
      changed(true);
    });
    function insertKeys(text) {
      var input = $("cell-keys");
      var start = input.selectionStart === null ? input.value.length : input.selectionStart;
      var end = input.selectionEnd === null ? start : input.selectionEnd;
      input.value = input.value.slice(0, start) + text + input.value.slice(end);
      input.focus();
      input.setSelectionRange(start + text.length, start + text.length);
      cellAt(selected).keys = input.value;
      changed(true);
    }
    document.querySelectorAll("[data-insert]").forEach(function (b) {
      b.addEventListener("click", function () { insertKeys(b.getAttribute("data-insert")); });
    });
    $("insert-key").addEventListener("click", function () { insertKeys("{" + $("key-name").value + "}"); });
    $("cell-buttons").addEventListener("input", function () {
      var cell = cellAt(selected);
      var a = actionOf(cell);
      var text = $("cell-buttons").value.trim();
      // Numbers go in as numbers; anything else goes in as written, for the check to name it.
      var parts = text === "" ? [] : text.split(/\s*,\s*|\s+/);
      cell[a] = parts.map(function (p) { return /^\d+$/.test(p) ? Number(p) : p; });
      changed(true);
    });

    function moveSelected(dRow, dCell) {
      var rows = partRows(selected.part);
      var row = rows[selected.row];
      if (dCell) {
        var to = selected.cell + dCell;
        if (to < 0 || to >= row.length) return;
        moveItem(row, selected.cell, to);
        selected.cell = to;
      } else {
        var target = rows[selected.row + dRow];
        if (!isArray(target)) return;
        var cell = row.splice(selected.cell, 1)[0];
        var at = Math.min(selected.cell, target.length);
        target.splice(at, 0, cell);
        selected = { part: selected.part, row: selected.row + dRow, cell: at };
      }
      changed(true);
    }
    $("cell-left").addEventListener("click", function () { moveSelected(0, -1); });
    $("cell-right").addEventListener("click", function () { moveSelected(0, 1); });
    $("cell-up").addEventListener("click", function () { moveSelected(-1, 0); });
    $("cell-down").addEventListener("click", function () { moveSelected(1, 0); });
    $("cell-copy").addEventListener("click", function () {
      var row = partRows(selected.part)[selected.row];
      row.splice(selected.cell + 1, 0, JSON.parse(JSON.stringify(row[selected.cell])));
      selected.cell++;
      changed(true);
    });
    $("cell-remove").addEventListener("click", function () {
      partRows(selected.part)[selected.row].splice(selected.cell, 1);
      selected = null;
      changed(true);
    });

    $("new-empty").addEventListener("click", function () {
      if (!confirmDiscard()) return;
      load(emptyPanel(), "A new empty panel: add a tab, a row and cells.");
    });
    $("from-builtin").addEventListener("click", function () {
      if (!confirmDiscard()) return;
      fetch("/edit/builtin").then(function (r) { return r.json(); }).then(function (answer) {
        load(answer.panel, "Started from the built-in page.", false, "the built-in page");
      });
    });
    $("examples").addEventListener("change", function () {
      var i = $("examples").value;
      $("examples").value = "";
      if (i === "" || !confirmDiscard()) return;
      var example = examples[Number(i)];
      load(JSON.parse(JSON.stringify(example.panel)), "Started from the example " + example.name + ".", false, "the example " + example.name);
    });
    $("import").addEventListener("click", function () { $("import-file").click(); });
    $("import-file").addEventListener("change", function () {
      var file = $("import-file").files[0];
      $("import-file").value = "";
      if (!file) return;
      file.arrayBuffer().then(function (bytes) {
        var parsed;
        try { parsed = JSON.parse(new TextDecoder("utf-8").decode(bytes)); } catch (e) { parsed = undefined; }
        if (parsed === undefined || typeof parsed !== "object" || parsed === null || isArray(parsed)) {
          // The program says what is wrong in its own words, from the file's own bytes (an image
          // is "not text"); the panel being edited stays.
          return post("/edit/check", bytes).then(function (r) { return r.json(); }).then(function (answer) {
            var refused = answer.problems || [];
            var message = refused.length ? refused[0].message.replace(/^panel: /, "") : "not a panel";
            drawStatus("Cannot import " + file.name + ": " + message, "bad");
            keepStatus = true;
          });
        }
        if (!confirmDiscard()) return;
        load(parsed, "Imported " + file.name + ".", false, "the file " + file.name);
      });
    });
    $("export").addEventListener("click", function () {
      if (problems.length && !window.confirm("The panel has " + problems.length + (problems.length === 1 ? " problem" : " problems") +
                                              ": Tapdeck refuses such a file until they are mended. Export it anyway?")) return;
      var blob = new Blob([cleanText()], { type: "application/json" });
      var a = document.createElement("a");
      a.href = URL.createObjectURL(blob);
      a.download = "panel.json";
      document.body.appendChild(a);
      a.click();
      a.remove();
      setTimeout(function () { URL.revokeObjectURL(a.href); }, 1000);
    });
    $("save").addEventListener("click", save);
    document.addEventListener("keydown", function (e) {
      if ((e.ctrlKey || e.metaKey) && e.key === "s") { e.preventDefault(); if (!$("save").disabled) save(); }
    });
    window.addEventListener("beforeunload", function (e) {
      if (!dirty()) return;
      e.preventDefault();
      e.returnValue = "";
    });
  }

  function confirmDiscard() {
    return !dirty() || window.confirm("Discard the unsaved changes?");
  }

  // A panel from elsewhere is saved only once the user has seen what its buttons would type.
  function accepted() {
    if (outside === null || outsideAccepted) return Promise.resolve(true);
    return reviewPanel().then(function (answer) {
      var keys = answer ? answer.keys : [];
      var lines = keys.map(function (entry) { return "\u2022 " + placeWords(entry.place) + ": " + reviewWords(entry); });
      outsideAccepted = !keys.length || window.confirm("This panel comes from " + outside + ". Its buttons would type:\n\n" +
                                                        lines.join("\n") + "\n\nSave it and put it in use?");
      drawReview();
      return outsideAccepted;
    });
  }

  function save() {
    if (!valid) return;
    var text = cleanText();
    $("save").disabled = true;
    accepted().then(function (yes) {
      if (yes) return post("/edit/save", text).then(function (r) { return r.json(); });
      drawStatus("Not saved: look at what its buttons would type, listed above.", "bad");
      return null;
    }).then(function (answer) {
      if (!answer) return draw();
      if (answer.ok) {
        savedText = text;
        outside = null;
        $("refused").hidden = true;
        drawStatus("Saved to " + answer.file + ". Phones show it at their next reload.", "good");
      } else {
        if (answer.problems) problems = answer.problems;
        drawStatus("Not saved: " + (answer.error || (problems[0] && problems[0].message) || "refused"), "bad");
      }
      draw();
    }).catch(function () { drawStatus("Not saved: cannot reach Tapdeck.", "bad"); draw(); });
  }

  var examples = [];

  // The user's panel file that Tapdeck refused, served meanwhile by the built-in page. A file
  // that is a panel's JSON opens with its problems marked; saving it mended puts it in use.
  // Text that is no JSON is shown with its bad line marked, to mend in a text editor or to
  // replace by a panel made here.
  function openRefused(answer) {
    var refused = answer.refused;
    $("refused").hidden = false;
    if (refused.panel) {
      $("refused-title").textContent = "Your panel file " + refused.file + " has problems, listed above and marked: " +
                                       "mend them and Save to put it in use.";
      $("refused-text").hidden = true;
      load(refused.panel, "");
      return;
    }
    var first = refused.problems[0] ? refused.problems[0].message : "refused";
    $("refused-title").textContent = "Tapdeck cannot read your panel file " + refused.file + ": " + first +
      (/[.!?]$/.test(first) ? " " : ". ") +
      "Mend it in a text editor, or make a panel here: Save replaces it and keeps the old one as " + refused.file + ".bak.";
    var bad = /line (\d+)/.exec(first);
    var pre = $("refused-text");
    (typeof refused.text === "string" ? refused.text : "").split("\n").forEach(function (line, i) {
      var node = document.createElement(bad && Number(bad[1]) === i + 1 ? "mark" : "span");
      node.textContent = line + "\n";
      pre.appendChild(node);
    });
    // The built-in page stands in, unsaved: a Save makes it the file.
    load(answer.panel, "");
  }

  function start() {
    wire();
    fetch("/edit/panel").then(function (r) { return r.json(); }).then(function (answer) {
      $("save-file").textContent = answer.saveFile ? "Save writes " + answer.saveFile + "." : "This Tapdeck has no panel file to save to.";
      if (answer.refused) return openRefused(answer);
      load(answer.panel, answer.source ? "Editing " + answer.source + "." : "Editing the built-in page; Save makes it your own panel file.", true);
    }).catch(function () { drawStatus("Cannot reach Tapdeck.", "bad"); });
    fetch("/edit/examples").then(function (r) { return r.json(); }).then(function (list) {
      examples = list;
      list.forEach(function (e, i) { option($("examples"), String(i), e.name); });
    }).catch(function () {});
    refreshLive();
    setInterval(refreshLive, LIVE_MS);
  }

  start();
})();
