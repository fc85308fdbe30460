// Which key sequences the page holds on the PC like a key on a keyboard: down while the finger
// is on the cell, up when it lifts. Only a sequence that is one plain key can be held that
// way; anything else (modifiers, groups, counts, several keys, Enter as "~") is played whole
// by the PC in one request.

// Characters with a meaning of their own in a key sequence: the modifier prefixes, group
// parentheses, "~" for Enter and the braces.
const SPECIAL = "+^%#&()~{}";

// Brace names that a down and an up would not hold: Num Lock flips its state once per
// request, so a down and an up would flip it twice.
const NOT_HELD = ["NUMLOCK"];

// True for one character that is not special ("l", "A", "5") and for one brace name without
// a repeat count ("{TAB}", "{F5}", "{+}").
export function isPlainKey(sequence) {
  const text = sequence == null ? "" : String(sequence);
  if (text.length === 1) return !SPECIAL.includes(text);
  const name = /^\{([^{}\s]+)\}$/.exec(text);
  return name !== null && !NOT_HELD.includes(name[1].toUpperCase());
}
