// The command-line tool's map file: one pair a line, old value, TAB, new
// value, each line ended by a line feed. The first TAB splits a line; every
// other byte (TABs after the first, a CR, NUL) belongs to the values. A last
// line without its line feed is taken too.
import { concat } from './bytes.mjs';

const TAB = 9;
const LF = 10;

// [{ from, to }] of Uint8Arrays; throws naming the file and the line for a
// line without a TAB, as the tool does.
export function parseMap(bytes, fileName) {
  const pairs = [];
  let start = 0;
  for (let line = 1; start < bytes.length; ++line) {
    let end = bytes.indexOf(LF, start);
    if (end < 0) end = bytes.length;
    const tab = bytes.subarray(start, end).indexOf(TAB);
    if (tab < 0) {
      throw new Error(`${fileName}: line ${line} has no TAB; each line must be old value, TAB, new value`);
    }
    pairs.push({ from: bytes.slice(start, start + tab), to: bytes.slice(start + tab + 1, end) });
    start = end + 1;
  }
  return pairs;
}

// The map file's bytes; throws for a pair the format cannot hold.
export function formatMap(pairs) {
  const parts = [];
  pairs.forEach(({ from, to }, i) => {
    if (from.includes(LF) || to.includes(LF)) {
      throw new Error(`pair ${i + 1}: a value holds a line feed, which a map file cannot store`);
    }
    if (from.includes(TAB)) {
      throw new Error(`pair ${i + 1}: the old value holds a TAB, which a map file cannot store`);
    }
    parts.push(from, Uint8Array.of(TAB), to, Uint8Array.of(LF));
  });
  return concat(parts);
}
