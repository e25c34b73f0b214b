#pragma once
// Two-pass colour quantisation of 3-component pictures to at most 256 colours.
//
// Pass 1 counts the pixels in a histogram of 32 x 64 x 32 cells (the top 5, 6 and 5 bits of
// components 0, 1 and 2; 16-bit counts that stop at 65 535). The colours are chosen by
// median cut: while fewer boxes than wanted exist, split the box with the most occupied cells
// (while the boxes number at most half the wanted count) or else the one of largest volume,
// across its longest axis (lengths weighted 2, 3 and 1 for components 0, 1, 2; ties go to
// component 1, then 0, then 2) at the middle of its extent; each box shrinks to the cells it
// occupies. Each box's colour is the count-weighted mean of its cell centres.
//
// Pass 2 maps the pixels with Floyd-Steinberg error diffusion in serpentine order (even rows
// left to right, odd rows right to left), the propagated error limited by a transfer
// function (1:1 up to 16, 1:2 up to 48, then held at 32), and the colour of each histogram
// cell looked up once, on demand: the colour nearest to the cell's centre in the weighted
// distance, the lowest index on ties.

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace vx {

struct SQuantized {
    std::vector<std::array<uint8_t, 3>> ColorMap;  // components 0, 1, 2 of each colour
    std::vector<uint8_t> Indices;                  // width x height, row by row
};

// Quantises width x height pixels of 3 bytes each (rows stride bytes apart) to at most
// maxColors (1..256) colours. Pixels whose skip flag is set (skip may be null; one flag per
// pixel, row by row) are left out of the histogram and the diffusion and receive index n, the
// number of colours found. Returns false for an empty picture or a bad colour count.
bool QuantizeTwoPass(const uint8_t* pixels, int width, int height, size_t stride, int maxColors,
                     const uint8_t* skip, SQuantized& out);

}  // namespace vx
