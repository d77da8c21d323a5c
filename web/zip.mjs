// A zip archive of stored (uncompressed) files, readable by every unzip
// tool. File names are UTF-8 (flag bit 11). Without the Zip64 extension an
// archive holds at most 65535 files and 4 GiB; beyond that it is refused
// with a message rather than written broken.

const CRC_TABLE = new Uint32Array(256);
for (let n = 0; n < 256; ++n) {
  let c = n;
  for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
  CRC_TABLE[n] = c >>> 0;
}

export function crc32(bytes) {
  let crc = 0xffffffff;
  for (let i = 0; i < bytes.length; ++i) crc = CRC_TABLE[(crc ^ bytes[i]) & 0xff] ^ (crc >>> 8);
  return (crc ^ 0xffffffff) >>> 0;
}

function dosTime(date) {
  const year = Math.max(1980, date.getFullYear());
  return {
    time: (date.getHours() << 11) | (date.getMinutes() << 5) | (date.getSeconds() >> 1),
    date: ((year - 1980) << 9) | ((date.getMonth() + 1) << 5) | date.getDate(),
  };
}

function header(size, fill) {
  const bytes = new Uint8Array(size);
  fill(new DataView(bytes.buffer));
  return bytes;
}

// The archive as a list of Uint8Array parts (for a Blob, or to concatenate)
// of entries [{ path, data, date? }] in the given order.
export function zipStored(entries) {
  if (entries.length > 0xffff) {
    throw new Error(`${entries.length} files are too many for one zip archive (at most 65535)`);
  }
  const encoder = new TextEncoder();
  const parts = [];
  const central = [];
  let offset = 0;
  for (const { path, data, date } of entries) {
    const name = encoder.encode(path);
    const crc = crc32(data);
    const { time, date: day } = dosTime(date ?? new Date());
    if (offset + 30 + name.length + data.length > 0xffffffff) {
      throw new Error(`the zip archive would pass 4 GiB at ${path}`);
    }
    const common = (view, at) => {
      view.setUint16(at, 20, true);           // version needed: 2.0
      view.setUint16(at + 2, 0x0800, true);   // UTF-8 names
      view.setUint16(at + 4, 0, true);        // stored
      view.setUint16(at + 6, time, true);
      view.setUint16(at + 8, day, true);
      view.setUint32(at + 10, crc, true);
      view.setUint32(at + 14, data.length, true);
      view.setUint32(at + 18, data.length, true);
      view.setUint16(at + 22, name.length, true);
    };
    parts.push(header(30, (view) => { view.setUint32(0, 0x04034b50, true); common(view, 4); }), name, data);
    central.push(header(46, (view) => {
      view.setUint32(0, 0x02014b50, true);
      view.setUint16(4, 20, true);            // made by: version 2.0
      common(view, 6);
      view.setUint32(42, offset, true);
    }), name);
    offset += 30 + name.length + data.length;
  }
  let centralSize = 0;
  for (const part of central) centralSize += part.length;
  parts.push(...central, header(22, (view) => {
    view.setUint32(0, 0x06054b50, true);
    view.setUint16(8, entries.length, true);
    view.setUint16(10, entries.length, true);
    view.setUint32(12, centralSize, true);
    view.setUint32(16, offset, true);
  }));
  return parts;
}
