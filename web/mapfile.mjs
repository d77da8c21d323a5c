// The command-line tool's map file written: one pair a line, old value,
// TAB, new value, each line ended by a line feed. Reading one is the
// library's (UrlMap in kivoparse.mjs).
import { concat } from './bytes.mjs';

const TAB = 9;
const LF = 10;

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
