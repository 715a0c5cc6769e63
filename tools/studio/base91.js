// basE91, the studio's packed program as text (pack_page.js writes it, page_loader.js reads it):
// 13 or 14 bits at a time as two digits of base 91, some 23 % longer than the bytes where base64
// is 33 %. The digits are printable ASCII without "<", ">" and "&": nothing in them can end or
// bend the script element that holds them.
'use strict';
const digits = Array.from({length: 94}, (_, i) => String.fromCharCode(33 + i))
                    .filter((c) => !'<>&'.includes(c)).join('');

function toBase91(bytes) {
  let out = '';
  let bits = 0;
  let count = 0;
  for (const byte of bytes) {
    bits |= byte << count;
    count += 8;
    if (count > 13) {
      let value = bits & 8191;
      if (value > 88) {
        bits >>>= 13;
        count -= 13;
      } else {
        value = bits & 16383;
        bits >>>= 14;
        count -= 14;
      }
      out += digits[value % 91] + digits[Math.floor(value / 91)];
    }
  }
  if (count > 0) {
    out += digits[bits % 91];
    if (count > 7 || bits > 90) out += digits[Math.floor(bits / 91)];
  }
  return out;
}

function fromBase91(text) {
  const digit = new Int8Array(128).fill(-1);
  for (let i = 0; i < 91; ++i) digit[digits.charCodeAt(i)] = i;
  const out = new Uint8Array(Math.ceil(text.length * 14 / 16));
  let length = 0;
  let value = -1;
  let bits = 0;
  let count = 0;
  for (let i = 0; i < text.length; ++i) {
    const d = digit[text.charCodeAt(i)];
    if (d < 0) continue;
    if (value < 0) {
      value = d;
      continue;
    }
    value += d * 91;
    bits |= value << count;
    count += (value & 8191) > 88 ? 13 : 14;
    do {
      out[length++] = bits & 255;
      bits >>>= 8;
      count -= 8;
    } while (count > 7);
    value = -1;
  }
  if (value >= 0) out[length++] = (bits | value << count) & 255;
  return out.subarray(0, length);
}

if (typeof module !== 'undefined') module.exports = {toBase91, fromBase91};
