#pragma once
// Turning pictures into the 8-bit indexed form graphic objects are coded in, with a colour
// table of at most 255 colours (plus a transparent entry), alone or several sharing one table.

#include <vector>

#include "graphics/bitmap.h"

namespace vx {

// Converts one picture to 8-bit indexed; out's colour table is the result's table (flags
// with alpha for 32-bit sources and quantised pictures).
//  - indexed sources keep their table; 4 and 1-bit indices are unpacked;
//  - a 32-bit source with 2..255 distinct visible colours (alpha > 0) gets an exact table:
//    the colours in first-seen order, then transparent black when a pixel has alpha 0;
//  - anything else is reduced with the two-pass quantiser to at most 255 colours (a 32-bit
//    source first copied to 24 bits, see To24BitCopy); with alpha, pixels of alpha below 5
//    get the extra transparent entry n, each other entry the alpha of the first pixel mapped
//    to it.
// transparentIndex is n for a quantised source with alpha, otherwise the index at a key pixel:
// the top-left pixel when it is transparent, else the last corner (in the order top-left,
// top-right, bottom-left, bottom-right) found to repeat an earlier corner's colour, else the
// top-left pixel. Without alpha that entry of a quantised table is made transparent.
// Returns false for an empty picture.
bool ConvertTo8Bit(const CBitmap& source, CBitmap& out, int& transparentIndex);

// The 24-bit copy the quantiser works on: opaque pixels keep their colour; any other pixel of
// alpha a takes (1 - a/255)(255 - c) + (a/255)c per component, truncated.
CBitmap To24BitCopy(const CBitmap& argb);

// Converts several pictures (null entries are skipped and give an empty result) to one shared
// table: they are copied side by side, vertically centred, onto a canvas (32-bit when any is,
// else 24-bit) cleared to the first picture's top-left colour, the canvas is converted once
// and each picture's rectangle is cut out of it. One picture alone is converted by itself.
// Pixels are copied, never blended, so a picture's transparent pixels stay transparent.
bool ConvertSetTo8Bit(const std::vector<const CBitmap*>& sources, std::vector<CBitmap>& out,
                      ColorTable& table, int& transparentIndex);

// Places an 8-bit picture of w x h at (x, y) inside a width x height picture whose other
// pixels show nothing: the table's first transparent entry, or a transparent entry appended
// when the table has room, or index 255 (never defined in a palette). Parts of the picture
// outside the rectangle are cut off. Pictures that are not 8-bit are refused.
bool PlaceInRect(const CBitmap& source, int width, int height, int x, int y, CBitmap& out);

}  // namespace vx
