// The card "Open on your phone": a QR code of the page's own address, the address in large
// text and a line of help. Shown beside the panel when the page is open on the PC itself (a
// mouse and no touch screen, as "Open Browser" opens it); on a phone or tablet the footer's
// button shows it on demand, to pass the address on to a second device.

import qrcode from "qrcode-generator";

// Where the style sheet puts the card beside the panel; the same query as there.
const DESKTOP = "(hover: hover) and (pointer: fine)";
const QUIET_ZONE = 4; // modules of white around the code, as readers expect

// The QR code of a text as SVG markup: black modules on white, one unit per module.
export function qrSvg(text) {
  const code = qrcode(0, "M");
  code.addData(text);
  code.make();
  const count = code.getModuleCount();
  const size = count + 2 * QUIET_ZONE;
  let path = "";
  for (let row = 0; row < count; row++) {
    for (let col = 0; col < count; col++) {
      if (code.isDark(row, col)) path += "M" + (col + QUIET_ZONE) + " " + (row + QUIET_ZONE) + "h1v1h-1z";
    }
  }
  return '<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 ' + size + " " + size +
         '" shape-rendering="crispEdges"><rect width="' + size + '" height="' + size +
         '" fill="#fff"/><path fill="#000" d="' + path + '"/></svg>';
}

// Makes the text of a visible element smaller until it fits its width.
function fitWidth(element) {
  let size = parseFloat(getComputedStyle(element).fontSize);
  while (element.scrollWidth > element.clientWidth && size > 12) {
    size -= 1;
    element.style.fontSize = size + "px";
  }
}

// A host name that only this machine reaches: a phone cannot use the address.
function isOwnMachine(hostname) {
  return hostname === "localhost" || /^127\./.test(hostname) || hostname === "[::1]";
}

export function setUpConnectCard() {
  const card = document.getElementById("connect");
  const openButton = document.getElementById("connect-open");
  const closeButton = document.getElementById("connect-close");
  if (!card) return;
  const address = location.origin + "/";
  let drawn = false;

  function draw() {
    if (drawn) return;
    drawn = true;
    document.getElementById("connect-qr").innerHTML = qrSvg(address);
    // A line break may come after "http://" only: the host and port stay whole, in a smaller
    // size where a long name would not fit otherwise.
    const shown = document.getElementById("connect-address");
    const scheme = address.indexOf("//") + 2;
    const host = document.createElement("span");
    host.className = "connect-host";
    host.textContent = address.slice(scheme);
    shown.textContent = "";
    shown.append(address.slice(0, scheme), document.createElement("wbr"), host);
    fitWidth(shown);
    document.getElementById("connect-local").hidden = !isOwnMachine(location.hostname);
  }

  // Asked for on a phone or tablet: the address goes on to a second device.
  function show() {
    document.getElementById("connect-title").textContent = "Open on another device";
    document.body.classList.add("connect-shown");
    draw();
    if (closeButton) closeButton.focus();
  }

  function hide() {
    if (!document.body.classList.contains("connect-shown")) return;
    document.body.classList.remove("connect-shown");
    if (openButton) openButton.focus();
  }

  // On the PC, a link to the panel editor, which answers only this PC's own browser: a phone
  // never sees it.
  let editorAsked = false;
  function offerEditor() {
    if (editorAsked || !window.fetch) return;
    editorAsked = true;
    fetch("/edit/panel", { cache: "no-store" }).then((response) => {
      if (response.status !== 200) return;
      const link = document.createElement("a");
      link.href = "/edit";
      link.id = "edit-panel";
      link.className = "connect-edit";
      // Styled here: the page's style sheet stays as it is for every other device.
      link.style.cssText = "display:inline-block;margin-top:8px;color:#9cc4ff;font-size:14px";
      link.textContent = "Edit panel";
      card.querySelector(".connect-card").insertBefore(link, closeButton);
    }).catch(() => {});
  }

  const desktop = window.matchMedia ? window.matchMedia(DESKTOP) : null;
  const place = () => {
    if (!desktop || !desktop.matches) return;
    draw();
    offerEditor();
  };
  if (desktop) {
    if (desktop.addEventListener) desktop.addEventListener("change", place);
    place();
  }
  if (openButton) openButton.addEventListener("click", show);
  if (closeButton) closeButton.addEventListener("click", hide);
  // A tap beside the card, or Escape, closes it too.
  card.addEventListener("click", (event) => { if (event.target === card) hide(); });
  document.addEventListener("keydown", (event) => { if (event.key === "Escape") hide(); });
}
