// Byte strings for the page: URLs and documents stay Uint8Arrays, shown as
// UTF-8 text (invalid bytes as U+FFFD, for display only) and used as Map keys
// through a string of one char code per byte.
const encoder = new TextEncoder();
const decoder = new TextDecoder('utf-8');

export const utf8 = (text) => encoder.encode(text);
export const text = (bytes) => decoder.decode(bytes);

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
