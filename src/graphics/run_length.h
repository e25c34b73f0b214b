#pragma once
// Run-length coding of 8-bit indexed object bitmaps, line by line. A line is cut into maximal
// runs of one index; a run of L pixels of index C is coded as
//   C != 0, L = 1 or 2     C repeated L times
//   C != 0, 3 <= L <= 63   00, 0x80 + L, C
//   C != 0, L >= 64        00, 0xC0 + (L >> 8), L & 0xFF, C
//   C = 0,  L <= 63        00, L
//   C = 0,  L >= 64        00, 0x40 + (L >> 8), L & 0xFF
// (L at most 16 383) and the line ends with 00 00.
//
// Object data, as the first ODS fragment of an object begins: ObjectDataLength (24 bits: the
// bytes after this field, 4 + the coded lines), ObjectWidth (16), ObjectHeight (16), lines.

#include <cstdint>
#include <string>
#include <vector>

#include "graphics/bitmap.h"

namespace vx {

inline constexpr int kMaxRunLength = 16383;

// Appends the coded line; false (nothing appended) when a run is longer than 16 383 pixels.
bool EncodeLine(const uint8_t* indices, int width, std::vector<uint8_t>& out);

// The object data of an 8-bit indexed picture. Fails with a reason when the picture is not
// 8-bit indexed, a side exceeds 16 bits, a run exceeds 16 383 pixels or the data exceeds the
// 24-bit ObjectDataLength.
bool BuildObjectData(const CBitmap& indexed, std::vector<uint8_t>& out,
                     std::string* reason = nullptr);

// Decodes object data back into width, height and indices (row by row). Fails when the data
// is shorter than its fields, a line runs past the width or ends early, or the line count is
// not the height.
bool DecodeObjectData(const uint8_t* data, size_t size, int& width, int& height,
                      std::vector<uint8_t>& indices);

}  // namespace vx
