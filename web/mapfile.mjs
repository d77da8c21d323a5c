// The command-line tool's map file written: one pair a line, old value,
// TAB, new value, each line ended by a line feed. A map with prefix rules,
// or with a value ending in "*", is written as a rule map (the tool's fix
// --map): a rule's old value ends in "*", and so does its new value; every
// "*" at the end of a value is doubled first, so that it reads back as
// itself. Pairs with a document (bytes, empty for every document) go into
// "@document PATH" sections after the pairs for every document, a new
// section line wherever the document changes, so that a map read in that
// form is written back as it was. The kinds a map was made for, when
// known, go first as a line "@kinds LIST". Reading one is the library's
// (SiteMap.ruleLines and SiteMap.kindsOf in kivoparse.mjs).
import { concat } from './bytes.mjs';

const TAB = 9;
const LF = 10;
const STAR = 42;

// value with the "*" at its end doubled, and one more when it ends a rule.
function ruleValue(value, prefix) {
  let stars = 0;
  while (stars < value.length && value[value.length - 1 - stars] === STAR) ++stars;
  const out = new Uint8Array(value.length + stars + (prefix ? 1 : 0)).fill(STAR);
  out.set(value);
  return out;
}

const SECTION = new TextEncoder().encode('@document ');

// The map file's bytes; throws for a pair the format cannot hold. Without
// prefix rules or stars, the pairs as they are (the format of --images-map).
export function formatMap(pairs, kinds = null) {
  const rules = pairs.some((p) => p.prefix || p.from.at(-1) === STAR || p.to.at(-1) === STAR);
  const parts = kinds === null ? [] : [new TextEncoder().encode(`@kinds ${kinds}\n`)];
  const numbered = pairs.map((p, i) => ({ ...p, number: i + 1, document: p.document ?? new Uint8Array() }));
  let section = new Uint8Array();
  for (const { from, to, prefix, document, number } of [...numbered.filter((p) => p.document.length === 0),
    ...numbered.filter((p) => p.document.length > 0)]) {
    if (from.includes(LF) || to.includes(LF)) {
      throw new Error(`pair ${number}: a value holds a line feed, which a map file cannot store`);
    }
    if (from.includes(TAB)) {
      throw new Error(`pair ${number}: the old value holds a TAB, which a map file cannot store`);
    }
    if (document.includes(LF) || document.includes(TAB)) {
      throw new Error(`pair ${number}: its document holds a TAB or a line feed, which a map file cannot store`);
    }
    if (document.length !== section.length || document.some((b, i) => b !== section[i])) {
      parts.push(SECTION, document, Uint8Array.of(LF));
      section = document;
    }
    if (rules) parts.push(ruleValue(from, prefix), Uint8Array.of(TAB), ruleValue(to, prefix), Uint8Array.of(LF));
    else parts.push(from, Uint8Array.of(TAB), to, Uint8Array.of(LF));
  }
  return concat(parts);
}
