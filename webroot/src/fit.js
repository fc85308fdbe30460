// Captions wrap only between words. The style sheet lets no word break; a word wider than its
// cell makes that caption's font smaller until the word fits, down to MIN_FONT_PX (below that
// a caption would not be read at arm's length; there, as a last resort, the word may break
// rather than spill over the next cell). The fit is made again whenever a table's width
// changes (a turned phone, a resized window, a tab coming into sight) and when a caption's
// text changes.

const MIN_FONT_PX = 10;
const STEP_PX = 0.5;
// A word holding a hyphen, a slash or another mark ("Hard-points", "Left/Right") may be broken
// there by the browser's line breaking: such a word is kept whole in a span of its own.
const BREAKS_INSIDE = /[\x21-\x2F\x3A-\x40\x5B-\x60\x7B-\x7E\u2010-\u2015]/;
const WORD_CLASS = "word";
const SQUEEZED_CLASS = "fit-squeezed";

function textNodes(element) {
  const nodes = [];
  const walker = document.createTreeWalker(element, NodeFilter.SHOW_TEXT);
  for (let node = walker.nextNode(); node; node = walker.nextNode()) nodes.push(node);
  return nodes;
}

// Puts every word that could be broken at a mark inside into a span that keeps it whole.
function keepWordsWhole(cell) {
  textNodes(cell).forEach((node) => {
    const parent = node.parentNode;
    if (parent.classList && parent.classList.contains(WORD_CLASS)) return;
    const text = node.data;
    if (!BREAKS_INSIDE.test(text)) return;
    const pieces = document.createDocumentFragment();
    let done = 0;
    text.replace(/\S+/g, (word, at) => {
      if (!BREAKS_INSIDE.test(word)) return word;
      if (at > done) pieces.appendChild(document.createTextNode(text.slice(done, at)));
      const span = document.createElement("span");
      span.className = WORD_CLASS;
      span.textContent = word;
      pieces.appendChild(span);
      done = at + word.length;
      return word;
    });
    if (done === 0) return;
    if (done < text.length) pieces.appendChild(document.createTextNode(text.slice(done)));
    parent.replaceChild(pieces, node);
  });
}

// The width of the caption's widest word, as laid out now.
function widestWord(cell) {
  let widest = 0;
  const range = document.createRange();
  textNodes(cell).forEach((node) => {
    const words = /\S+/g;
    for (let m = words.exec(node.data); m; m = words.exec(node.data)) {
      range.setStart(node, m.index);
      range.setEnd(node, m.index + m[0].length);
      widest = Math.max(widest, range.getBoundingClientRect().width);
    }
  });
  return widest;
}

// The width a caption's lines have in the cell.
function roomIn(cell) {
  const style = getComputedStyle(cell);
  return cell.clientWidth - parseFloat(style.paddingLeft) - parseFloat(style.paddingRight);
}

function fitCells(cells) {
  // Writes and reads in batches, so the browser lays the page out a few times, not per cell.
  cells.forEach((cell) => {
    cell.style.fontSize = "";
    cell.classList.remove(SQUEEZED_CLASS);
  });
  const tooWide = [];
  cells.forEach((cell) => {
    if (cell.clientWidth === 0) return; // out of sight: fitted when it comes into sight
    const room = roomIn(cell);
    const widest = widestWord(cell);
    if (widest > room) tooWide.push({ cell, room, size: parseFloat(getComputedStyle(cell).fontSize) * room / widest });
  });
  // Widths grow about in step with the font, so the first guess mostly fits; the steps after
  // it mend rounding and kerning.
  tooWide.forEach((fit) => {
    fit.size = Math.max(MIN_FONT_PX, Math.floor(fit.size / STEP_PX) * STEP_PX);
    fit.cell.style.fontSize = fit.size + "px";
  });
  tooWide.forEach((fit) => {
    while (widestWord(fit.cell) > fit.room + 0.5) {
      if (fit.size <= MIN_FONT_PX) {
        fit.cell.classList.add(SQUEEZED_CLASS);
        break;
      }
      fit.size = Math.max(MIN_FONT_PX, fit.size - STEP_PX);
      fit.cell.style.fontSize = fit.size + "px";
    }
  });
}

function cellsIn(root) {
  return Array.prototype.slice.call(root.querySelectorAll("td"));
}

export function fitCaptions(panel) {
  if (!panel || !document.createRange) return;
  cellsIn(panel).forEach(keepWordsWhole);
  fitCells(cellsIn(panel));

  if (window.ResizeObserver) {
    // Only a change of width changes the fit; a fit itself changes heights only.
    const widths = new Map();
    const resized = new ResizeObserver((entries) => {
      entries.forEach((entry) => {
        const width = Math.round(entry.contentRect.width);
        if (widths.get(entry.target) === width) return;
        widths.set(entry.target, width);
        fitCells(cellsIn(entry.target));
      });
    });
    panel.querySelectorAll("table").forEach((table) => resized.observe(table));
  } else {
    window.addEventListener("resize", () => fitCells(cellsIn(panel)));
  }

  // A caption changed by a script of the page is fitted anew.
  if (window.MutationObserver) {
    const changed = new MutationObserver((records) => {
      const cells = new Set();
      records.forEach((record) => {
        const node = record.target.nodeType === 1 ? record.target : record.target.parentNode;
        const cell = node && node.closest ? node.closest("td") : null;
        if (cell) cells.add(cell);
      });
      cells.forEach(keepWordsWhole);
      changed.takeRecords(); // the spans just made
      fitCells(Array.from(cells));
    });
    changed.observe(panel, { childList: true, characterData: true, subtree: true });
  }
}
