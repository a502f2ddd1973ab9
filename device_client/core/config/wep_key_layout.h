// The key-byte edits of the WEP keys as both programs' wireless pages lay them out: 20 edits of two
// hexadecimal digits each; in the 64-bit layout four keys of five bytes (edits 0-4, 5-9, 10-14,
// 15-19), in the 128-bit layout one key of 13 bytes (edits 0-12).
#pragma once

namespace config {

constexpr int kWepKeyByteEdits = 20;

// The edit the typing goes on to once edit `index` holds its two digits: the next edit of the same
// key; -1 at the end of a key of the layout, and for an index outside the edits. Edits 13-19, which
// the 128-bit layout leaves unused, keep the stops of the 64-bit keys 3 and 4.
constexpr int NextWepKeyByte(int index, bool longKey) {
  if (index < 0 || index >= kWepKeyByteEdits - 1) return -1;
  if (index == 4 || index == 9) return longKey ? index + 1 : -1;  // ends key 1 or key 2 of 64 bits
  if (index == 12) return longKey ? -1 : index + 1;               // ends the 128-bit key
  if (index == 14) return -1;                                     // ends key 3 of 64 bits
  return index + 1;
}

}  // namespace config
