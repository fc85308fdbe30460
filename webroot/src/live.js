// The live link to the PC: the page's stream of events (the game's state, the panel in use,
// the game's key bindings, beats) and the page's own heartbeat. Cells light, dim and show
// values as the state changes, on every phone at once; a cell whose game action has no key is
// marked; a changed panel reloads the page. No beat for 2 s means the PC is gone; no heartbeat
// from the page for 2 s tells the PC the page is gone, and it lets go of what the page held.

const BEAT_LOST_MS = 2000;
const HEARTBEAT_MS = 700;
const PAGE_HEADER = "Tapdeck-Page";

// This page's own name for the PC, new with every load.
export const pageId = (function () {
  const bytes = new Uint8Array(12);
  if (window.crypto && crypto.getRandomValues) crypto.getRandomValues(bytes);
  else for (let i = 0; i < bytes.length; i++) bytes[i] = Math.floor(Math.random() * 256);
  return Array.prototype.map.call(bytes, (b) => (b < 16 ? "0" : "") + b.toString(16)).join("");
})();

export function pageHeaders() {
  const headers = {};
  headers[PAGE_HEADER] = pageId;
  return headers;
}

// What the stream last said.
export const live = { values: {}, actions: {}, joystick: true, source: "" };

// A state condition of a cell: names ("name" or "!name") separated by blanks, any of which
// holding is enough; a value holds when it is true, a number other than 0 or a text that is
// not empty.
function holds(expression) {
  return expression.split(" ").some((name) => {
    const negated = name.charAt(0) === "!";
    const value = live.values[negated ? name.slice(1) : name];
    const on = value === true || (typeof value === "number" && value !== 0) || (typeof value === "string" && value !== "");
    return negated ? !on : on;
  });
}

// "Fuel {elite.Fuel.FuelMain:0.0} t" with the values put in; "-" for a value that is absent.
function fill(template) {
  return template.replace(/\{([^}:]+)(?::(0(?:\.0+)?))?\}/g, (whole, name, format) => {
    const value = live.values[name];
    if (value === undefined) return "\u2013";
    if (typeof value === "number" && format) {
      const decimals = format.indexOf(".") < 0 ? 0 : format.length - 2;
      return value.toFixed(decimals);
    }
    if (typeof value === "boolean") return value ? "on" : "off";
    return String(value);
  });
}

function drawState() {
  document.querySelectorAll("td[lit], td[dim], td[value]").forEach((cell) => {
    const lit = cell.getAttribute("lit");
    const dim = cell.getAttribute("dim");
    const value = cell.getAttribute("value");
    cell.classList.toggle("lit", !!lit && holds(lit));
    cell.classList.toggle("dim", !!dim && holds(dim));
    if (value !== null) {
      let line = cell.querySelector(".value");
      if (!line) {
        line = document.createElement("span");
        line.className = "value";
        cell.appendChild(line);
      }
      line.textContent = fill(value);
    }
  });
}

function drawActions() {
  document.querySelectorAll("td[action='gameaction']").forEach((cell) => {
    const state = live.actions[cell.getAttribute("key")];
    const unbound = !!state && state.bound === false;
    cell.classList.toggle("unbound", unbound);
    if (unbound) cell.setAttribute("data-why", state.text);
    else cell.removeAttribute("data-why");
  });
}

function parse(event) {
  try {
    return JSON.parse(event.data);
  } catch (e) {
    return {};
  }
}

// The panel editor's preview (the page in a sandboxed frame of the editor, which marks it with
// window.tapdeckPreview) opens no stream and sends no heartbeat: the editor hands it the state
// and the panel's actions by message, as the stream would.
function followEditor() {
  window.addEventListener("message", (event) => {
    const data = event.source === window.parent && event.data;
    if (!data) return;
    if (data.tapdeckState) {
      live.values = data.tapdeckState;
      drawState();
    }
    if (data.tapdeckActions) {
      live.actions = data.tapdeckActions;
      drawActions();
    }
  });
}

// Starts the stream and the heartbeat. The callbacks: reachable(ok), released() when the PC
// let go of what this page held while it was away.
export function startLive(callbacks) {
  if (window.tapdeckPreview) return followEditor();
  if (typeof EventSource !== "function") return;
  let lastEvent = Date.now();
  let panelVersion = null;
  let stream = null;
  const seen = () => {
    lastEvent = Date.now();
    callbacks.reachable(true);
  };
  function open() {
    stream = new EventSource("/events?page=" + pageId);
    stream.addEventListener("state", (event) => {
      seen();
      const data = parse(event);
      live.values = data.values || {};
      live.source = data.source || "";
      drawState();
      if (callbacks.source) callbacks.source(live.source);
    });
    stream.addEventListener("panel", (event) => {
      seen();
      const version = parse(event).version;
      // Another panel is in use on the PC: this page shows the old one.
      if (panelVersion !== null && version !== panelVersion) location.reload();
      panelVersion = version;
    });
    stream.addEventListener("actions", (event) => {
      seen();
      live.actions = parse(event);
      drawActions();
    });
    stream.addEventListener("device", (event) => {
      seen();
      const data = parse(event);
      live.joystick = data.joystick !== false;
      if (data.released && callbacks.released) callbacks.released();
    });
    stream.addEventListener("beat", seen);
  }
  open();
  setInterval(() => {
    if (document.visibilityState === "hidden") return;
    if (Date.now() - lastEvent > BEAT_LOST_MS) callbacks.reachable(false);
    // A stream the browser gave up on (after a long outage) is opened again.
    if (stream && stream.readyState === 2) open();
  }, 500);
  // The heartbeat: while the page is in sight the PC hears from it several times a second.
  setInterval(() => {
    if (document.visibilityState === "hidden") return;
    fetch("/alive", { cache: "no-store", credentials: "omit", headers: pageHeaders() }).catch(() => {});
  }, HEARTBEAT_MS);
}
