// Byte strings for the page: URLs and documents stay Uint8Arrays, shown as
// UTF-8 text (invalid bytes as U+FFFD, for display only) and used as Map keys
// through a string of one char code per byte.
const encoder = new TextEncoder();
const decoder = new TextDecoder('utf-8');

export const utf8 = (text) => encoder.encode(text);
export const text = (bytes) => decoder.decode(bytes);
// The path of a section's document as the library compares it, without its
// "." and empty segments: "./site//a.html" is "site/a.html".
export const documentPath = (bytes) => {
  const path = text(bytes);
  return (path.startsWith('/') ? '/' : '') + path.split('/').filter((s) => s && s !== '.').join('/');
};

// One char code 0-255 per byte: a key equal for equal bytes only.
export function keyOf(bytes) {
  let key = '';
  for (let i = 0; i < bytes.length; i += 8192) {
    key += String.fromCharCode.apply(null, bytes.subarray(i, i + 8192));
  }
  return key;
}

export function concat(parts) {
  let length = 0;
  for (const part of parts) length += part.length;
  const all = new Uint8Array(length);
  let at = 0;
  for (const part of parts) { all.set(part, at); at += part.length; }
  return all;
}

// The key the parser matches old URLs by: the bytes up to the first NUL,
// ASCII letters in lower case, one char code per byte.
export function foldKey(bytes) {
  const nul = bytes.indexOf(0);
  return keyOf(nul < 0 ? bytes : bytes.subarray(0, nul)).replace(/[A-Z]+/g, (s) => s.toLowerCase());
}

// Bytes from a key of keyOf's.
export function fromKey(key) {
  const bytes = new Uint8Array(key.length);
  for (let i = 0; i < key.length; ++i) bytes[i] = key.charCodeAt(i);
  return bytes;
}

// Many strings as one, for a message: a worker's list of 15,000 strings
// costs the receiving thread one string to take in, not 15,000.
// { all, ends }: string i is all.slice(ends[i - 1] ?? 0, ends[i]).
export function packStrings(strings) {
  const ends = new Uint32Array(strings.length);
  let end = 0;
  strings.forEach((s, i) => { end += s.length; ends[i] = end; });
  return { all: strings.join(''), ends };
}

export const stringAt = ({ all, ends }, i) => all.slice(i ? ends[i - 1] : 0, ends[i]);

// The numbers of the strings that hold part, in order.
export function stringsHolding({ all, ends }, part) {
  const found = [];
  let at = all.indexOf(part);
  while (at >= 0) {
    // The string the match starts in: the first whose end is past it.
    let low = 0;
    let high = ends.length - 1;
    while (low < high) {
      const middle = (low + high) >> 1;
      if (ends[middle] > at) high = middle; else low = middle + 1;
    }
    if (at + part.length <= ends[low]) {
      found.push(low);
      at = all.indexOf(part, ends[low]);
    } else {
      at = all.indexOf(part, at + 1);
    }
  }
  return found;
}
