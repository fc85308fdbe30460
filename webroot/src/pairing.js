// Pairing: only a paired phone's taps act on the PC. The PC's window shows a QR code of this
// page's address with a one-time secret in the fragment ("#pair=..."), which a browser never
// sends anywhere, and a 6-digit code for a phone that types the address instead. The page
// trades either for a credential of its own, keeps it in localStorage for this origin, and
// sends it with every tap in the Tapdeck-Device header, which no page of another site can add.

const TOKEN_KEY = "tapdeck.device";
const HEADER = "Tapdeck-Device";

let overlay = null;
let framed = false;

export function deviceToken() {
  try {
    return localStorage.getItem(TOKEN_KEY) || "";
  } catch (e) {
    return ""; // storage switched off: the page cannot stay paired
  }
}

function keepToken(token) {
  try {
    if (token) localStorage.setItem(TOKEN_KEY, token);
    else localStorage.removeItem(TOKEN_KEY);
  } catch (e) { /* storage switched off */ }
}

// The headers of a request to the PC.
export function deviceHeaders() {
  const token = deviceToken();
  const headers = {};
  if (token) headers[HEADER] = token;
  return headers;
}

// A page shown inside another site's page must not press keys for it.
export function isFramed() {
  return framed;
}

function element(tag, className, text) {
  const node = document.createElement(tag);
  if (className) node.className = className;
  if (text) node.textContent = text;
  return node;
}

// The card over the panel; `reason` says why it shows (a forgotten phone, a refused tap).
function showPrompt(reason) {
  if (!overlay) {
    overlay = element("div", "pair");
    overlay.id = "pair";
    overlay.setAttribute("role", "dialog");
    overlay.setAttribute("aria-modal", "true");
    overlay.setAttribute("aria-labelledby", "pair-title");
    const card = element("form", "pair-card");
    const title = element("h2", "", "Pair this phone: scan the code on the PC, or type the 6-digit code shown there");
    title.id = "pair-title";
    const why = element("p", "pair-reason");
    why.id = "pair-reason";
    const help = element("p", "pair-help", "In the Tapdeck window on the PC, press \u201cPair a phone\u201d.");
    const row = element("div", "pair-row");
    const input = element("input", "pair-code");
    input.id = "pair-code";
    input.type = "text";
    input.inputMode = "numeric";
    input.autocomplete = "one-time-code";
    input.maxLength = 6;
    input.pattern = "[0-9]{6}";
    input.placeholder = "123456";
    input.setAttribute("aria-label", "6-digit code");
    const button = element("button", "pair-button", "Pair");
    button.type = "submit";
    const status = element("p", "pair-status");
    status.id = "pair-status";
    status.setAttribute("aria-live", "polite");
    row.append(input, button);
    card.append(title, why, help, row, status);
    card.addEventListener("submit", (event) => {
      event.preventDefault();
      const code = input.value.replace(/\D/g, "");
      if (code.length !== 6) {
        status.textContent = "The code has 6 digits.";
        return;
      }
      redeem({ code: code });
    });
    overlay.append(card);
    document.body.append(overlay);
  }
  document.getElementById("pair-reason").textContent = reason || "";
  overlay.hidden = false;
  document.body.classList.add("unpaired");
}

function hidePrompt() {
  if (overlay) overlay.hidden = true;
  document.body.classList.remove("unpaired");
}

function setStatus(text) {
  const status = document.getElementById("pair-status");
  if (status) status.textContent = text;
}

// Trades the secret or the code for this phone's credential.
function redeem(proof) {
  setStatus("Pairing\u2026");
  return fetch("/pair", {
    method: "POST",
    cache: "no-store",
    credentials: "omit",
    headers: { "Content-Type": "application/json" },
    body: JSON.stringify(proof)
  }).then((response) => response.json().catch(() => ({})).then((body) => {
    if (response.ok && body.token) {
      keepToken(body.token);
      hidePrompt();
      return true;
    }
    showPrompt("");
    setStatus(body.error ? "Not paired: " + body.error + "." : "Not paired (the PC answered " + response.status + ").");
    return false;
  }), () => {
    showPrompt("");
    setStatus("The PC cannot be reached.");
    return false;
  });
}

// Asks the PC whether this page may press keys, and shows the prompt when it may not.
// Resolves with the PC's answer, or null when it cannot be asked.
export function checkPairing(reason) {
  const hadToken = !!deviceToken();
  return fetch("/device", { cache: "no-store", credentials: "omit", headers: deviceHeaders() }).then((response) => {
    if (response.status === 403) {
      showPrompt("The PC refuses this address: open the page by the address the PC shows.");
      return null;
    }
    return response.json().then((state) => {
      if (state.paired || state.open) hidePrompt();
      else if (hadToken) showPrompt("This phone is no longer paired with the PC (it was forgotten there). Pair it again.");
      else showPrompt(reason || "");
      return state;
    });
  }, () => null);
}

// Why a tap was refused, in words, for the status line; the prompt shows with it.
export function explainRefusal() {
  return checkPairing("This phone is not paired, so its taps do nothing.").then((state) => {
    if (!state) return "refused: open the page by the address the PC shows";
    if (!state.paired && !state.open) return "refused: this phone is not paired";
    return "refused by the PC";
  });
}

function showFramed() {
  const cover = element("div", "pair");
  const card = element("div", "pair-card");
  card.append(element("h2", "", "This panel is shown inside another page"),
              element("p", "pair-help", "It does not press keys from there. Open it directly, by the address the PC shows."));
  cover.append(card);
  document.body.append(cover);
  document.body.classList.add("unpaired");
}

export function setUpPairing() {
  try {
    framed = window.top !== window.self;
  } catch (e) {
    framed = true; // another origin's frame: reading its top throws
  }
  if (framed) {
    showFramed();
    return;
  }
  const match = /(?:^#|&)pair=([A-Za-z0-9_-]+)/.exec(location.hash);
  if (match) {
    // The secret leaves the address bar at once: it must not end up in a bookmark or a
    // shared link.
    history.replaceState(null, "", location.pathname + location.search);
    if (!deviceToken()) redeem({ secret: match[1] });
    else checkPairing().then((state) => { if (state && !state.paired) redeem({ secret: match[1] }); });
    return;
  }
  checkPairing();
}
