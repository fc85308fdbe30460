// The lines tapdeck-headless prints for keys (extended keys carry flag 1, a release flag 2;
// the extra information is always 13).

function keyLine(vk, scan, flags) {
  const hex = vk.toString(16).toUpperCase().padStart(2, '0');
  return `key vk=0x${hex} scan=${scan} flags=${flags} extra=13`;
}

// One key pressed and released, as /KeyboardKey plays it.
export function key(vk, scan, extended = false) {
  const e = extended ? 1 : 0;
  return [keyLine(vk, scan, e), keyLine(vk, scan, e | 2)];
}

// One key held: /KeyboardDown's down, later /KeyboardUp's up.
export function heldKey(vk, scan, extended = false) {
  return key(vk, scan, extended);
}

export const L = key(0x4c, 38); // "Toggle Landing Gear"
