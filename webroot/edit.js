// Tapdeck panel editor: edits a panel file's JSON in the page, has every change checked by
// the program (/edit/check), shows the program's own rendering of it (/edit/preview) and
// saves it (/edit/save). The page is served only to this PC.
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
  var ACTIONS = ["keys", "buttonsDown", "buttonsUp", "buttonsPress"];
  var CHECK_DELAY_MS = 150;

  var panel = emptyPanel();
  var savedText = null; // the panel as last saved or loaded from the program
  var part = "tab:0"; // "above", "below" or "tab:N"
  var selected = null; // {part, row, cell}
  var problems = [];
  var valid = false;
  var checkTimer = null;
  var checkNumber = 0;
  var colors = ["black", "green", "blue", "red"];

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
    var word = { buttonsDown: "down", buttonsUp: "up", buttonsPress: "press" }[a];
    return "joy " + word + " " + (isArray(cell[a]) ? cell[a].join(",") : String(cell[a]));
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
    $("buttons-fields").hidden = action === "keys" || action === "none";
    if (action === "keys") {
      if (active !== $("cell-keys")) $("cell-keys").value = cell.keys === undefined ? "" : String(cell.keys);
      var reading = readKeys(String(cell.keys || ""));
      $("keys-reading").textContent = reading.words;
      $("keys-hint").textContent = reading.error || reading.hint;
      $("keys-reading-line").classList.toggle("bad", !!reading.error);
    } else if (action !== "none" && active !== $("cell-buttons")) {
      $("cell-buttons").value = isArray(cell[action]) ? cell[action].join(", ") : String(cell[action]);
    }
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

  // --- Checking and the preview ---

  function changed(redraw) {
    valid = false;
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
      if (valid) {
        drawStatus(dirty() ? "The panel is valid. Unsaved changes." : "The panel is valid and saved.", "good");
        preview(text, number);
      } else {
        drawStatus(problems.length + (problems.length === 1 ? " problem" : " problems") + ": Save waits until the panel is valid.", "bad");
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
      showPreview(html.replace("</head>", "<style>#connect{display:none!important}</style></head>")
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

  function load(newPanel, note, asSaved) {
    panel = newPanel && typeof newPanel === "object" && !isArray(newPanel) ? newPanel : emptyPanel();
    if (asSaved) savedText = cleanText();
    part = isArray(panel.tabs) && panel.tabs.length ? "tab:0" : "above";
    selected = null;
    problems = [];
    previewed = false;
    if (note) drawStatus(note);
    changed(true);
  }

  // --- Wiring ---

  function wire() {
    $("preview").addEventListener("load", function () { previewTab = null; showTabInPreview(); });
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
      var keep = before !== "none" && before !== "keys" ? cell[before] : null;
      ACTIONS.forEach(function (a) { delete cell[a]; });
      var a = $("cell-action").value;
      if (a === "keys") cell.keys = "";
      else if (a !== "none") cell[a] = keep || [1];
      changed(true);
      if (a === "keys") $("cell-keys").focus();
      else if (a !== "none") $("cell-buttons").focus();
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
        load(answer.panel, "Started from the built-in page.");
      });
    });
    $("examples").addEventListener("change", function () {
      var i = $("examples").value;
      $("examples").value = "";
      if (i === "" || !confirmDiscard()) return;
      var example = examples[Number(i)];
      load(JSON.parse(JSON.stringify(example.panel)), "Started from the example " + example.name + ".");
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
          });
        }
        if (!confirmDiscard()) return;
        load(parsed, "Imported " + file.name + ".");
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

  function save() {
    if (!valid) return;
    var text = cleanText();
    $("save").disabled = true;
    post("/edit/save", text).then(function (r) { return r.json(); }).then(function (answer) {
      if (answer.ok) {
        savedText = text;
        drawStatus("Saved to " + answer.file + ". Phones show it at their next reload.", "good");
      } else {
        if (answer.problems) problems = answer.problems;
        drawStatus("Not saved: " + (answer.error || (problems[0] && problems[0].message) || "refused"), "bad");
      }
      draw();
    }).catch(function () { drawStatus("Not saved: cannot reach Tapdeck.", "bad"); draw(); });
  }

  var examples = [];

  function start() {
    wire();
    fetch("/edit/panel").then(function (r) { return r.json(); }).then(function (answer) {
      $("save-file").textContent = answer.saveFile ? "Save writes " + answer.saveFile + "." : "This Tapdeck has no panel file to save to.";
      load(answer.panel, answer.source ? "Editing " + answer.source + "." : "Editing the built-in page; Save makes it your own panel file.", true);
    }).catch(function () { drawStatus("Cannot reach Tapdeck.", "bad"); });
    fetch("/edit/examples").then(function (r) { return r.json(); }).then(function (list) {
      examples = list;
      list.forEach(function (e, i) { option($("examples"), String(i), e.name); });
    }).catch(function () {});
  }

  start();
})();
