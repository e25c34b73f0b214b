#include "graphics/quantizer.h"

#include <algorithm>

namespace vx {

namespace {

constexpr int kBits0 = 5, kBits1 = 6, kBits2 = 5;
constexpr int kShift0 = 8 - kBits0, kShift1 = 8 - kBits1, kShift2 = 8 - kBits2;
constexpr int kCells0 = 1 << kBits0, kCells1 = 1 << kBits1, kCells2 = 1 << kBits2;
constexpr int kScale0 = 2, kScale1 = 3, kScale2 = 1;

class Histogram {
public:
    Histogram() : cells_(size_t(kCells0) * kCells1 * kCells2, 0) {}
    uint16_t& At(int c0, int c1, int c2) {
        return cells_[(size_t(c0) * kCells1 + size_t(c1)) * kCells2 + size_t(c2)];
    }
    void Clear() { std::fill(cells_.begin(), cells_.end(), 0); }

private:
    std::vector<uint16_t> cells_;
};

struct Box {
    int min0, max0, min1, max1, min2, max2;
    int64_t volume = 0;
    int64_t colorCount = 0;  // occupied cells
};

bool Occupied(Histogram& h, int a0, int b0, int a1, int b1, int a2, int b2) {
    for (int c0 = a0; c0 <= b0; ++c0)
        for (int c1 = a1; c1 <= b1; ++c1)
            for (int c2 = a2; c2 <= b2; ++c2)
                if (h.At(c0, c1, c2) != 0)
                    return true;
    return false;
}

// Shrinks the box to the cells it occupies and recomputes its volume and population.
void UpdateBox(Histogram& h, Box& b) {
    if (b.max0 > b.min0) {
        for (int c = b.min0; c <= b.max0; ++c)
            if (Occupied(h, c, c, b.min1, b.max1, b.min2, b.max2)) {
                b.min0 = c;
                break;
            }
    }
    if (b.max0 > b.min0) {
        for (int c = b.max0; c >= b.min0; --c)
            if (Occupied(h, c, c, b.min1, b.max1, b.min2, b.max2)) {
                b.max0 = c;
                break;
            }
    }
    if (b.max1 > b.min1) {
        for (int c = b.min1; c <= b.max1; ++c)
            if (Occupied(h, b.min0, b.max0, c, c, b.min2, b.max2)) {
                b.min1 = c;
                break;
            }
    }
    if (b.max1 > b.min1) {
        for (int c = b.max1; c >= b.min1; --c)
            if (Occupied(h, b.min0, b.max0, c, c, b.min2, b.max2)) {
                b.max1 = c;
                break;
            }
    }
    if (b.max2 > b.min2) {
        for (int c = b.min2; c <= b.max2; ++c)
            if (Occupied(h, b.min0, b.max0, b.min1, b.max1, c, c)) {
                b.min2 = c;
                break;
            }
    }
    if (b.max2 > b.min2) {
        for (int c = b.max2; c >= b.min2; --c)
            if (Occupied(h, b.min0, b.max0, b.min1, b.max1, c, c)) {
                b.max2 = c;
                break;
            }
    }
    const int64_t d0 = int64_t((b.max0 - b.min0) << kShift0) * kScale0;
    const int64_t d1 = int64_t((b.max1 - b.min1) << kShift1) * kScale1;
    const int64_t d2 = int64_t((b.max2 - b.min2) << kShift2) * kScale2;
    b.volume = d0 * d0 + d1 * d1 + d2 * d2;
    int64_t count = 0;
    for (int c0 = b.min0; c0 <= b.max0; ++c0)
        for (int c1 = b.min1; c1 <= b.max1; ++c1)
            for (int c2 = b.min2; c2 <= b.max2; ++c2)
                if (h.At(c0, c1, c2) != 0)
                    ++count;
    b.colorCount = count;
}

Box* BiggestPopulation(std::vector<Box>& boxes) {
    Box* which = nullptr;
    int64_t best = 0;
    for (Box& b : boxes)
        if (b.colorCount > best && b.volume > 0) {
            which = &b;
            best = b.colorCount;
        }
    return which;
}

Box* BiggestVolume(std::vector<Box>& boxes) {
    Box* which = nullptr;
    int64_t best = 0;
    for (Box& b : boxes)
        if (b.volume > best) {
            which = &b;
            best = b.volume;
        }
    return which;
}

void MedianCut(Histogram& h, std::vector<Box>& boxes, int wanted) {
    boxes.reserve(size_t(wanted));
    while (int(boxes.size()) < wanted) {
        Box* b1 = int(boxes.size()) * 2 <= wanted ? BiggestPopulation(boxes) : BiggestVolume(boxes);
        if (b1 == nullptr)
            break;  // nothing left to split
        Box b2 = *b1;
        const int64_t len0 = int64_t((b1->max0 - b1->min0) << kShift0) * kScale0;
        const int64_t len1 = int64_t((b1->max1 - b1->min1) << kShift1) * kScale1;
        const int64_t len2 = int64_t((b1->max2 - b1->min2) << kShift2) * kScale2;
        int axis = 1;
        int64_t longest = len1;
        if (len0 > longest) {
            longest = len0;
            axis = 0;
        }
        if (len2 > longest)
            axis = 2;
        int middle;
        switch (axis) {
            case 0:
                middle = (b1->max0 + b1->min0) / 2;
                b1->max0 = middle;
                b2.min0 = middle + 1;
                break;
            case 1:
                middle = (b1->max1 + b1->min1) / 2;
                b1->max1 = middle;
                b2.min1 = middle + 1;
                break;
            default:
                middle = (b1->max2 + b1->min2) / 2;
                b1->max2 = middle;
                b2.min2 = middle + 1;
                break;
        }
        UpdateBox(h, *b1);
        UpdateBox(h, b2);
        boxes.push_back(b2);  // b1 is not used past this point
    }
}

std::array<uint8_t, 3> BoxColor(Histogram& h, const Box& b) {
    int64_t total = 0, t0 = 0, t1 = 0, t2 = 0;
    for (int c0 = b.min0; c0 <= b.max0; ++c0)
        for (int c1 = b.min1; c1 <= b.max1; ++c1)
            for (int c2 = b.min2; c2 <= b.max2; ++c2) {
                int64_t count = h.At(c0, c1, c2);
                if (count == 0)
                    continue;
                total += count;
                t0 += ((c0 << kShift0) + ((1 << kShift0) >> 1)) * count;
                t1 += ((c1 << kShift1) + ((1 << kShift1) >> 1)) * count;
                t2 += ((c2 << kShift2) + ((1 << kShift2) >> 1)) * count;
            }
    if (total == 0)
        return {0, 0, 0};
    return {uint8_t((t0 + (total >> 1)) / total), uint8_t((t1 + (total >> 1)) / total),
            uint8_t((t2 + (total >> 1)) / total)};
}

// The colour nearest to the centre of a histogram cell, lowest index on ties.
int NearestColor(const std::vector<std::array<uint8_t, 3>>& map, int c0, int c1, int c2) {
    const int x0 = (c0 << kShift0) + ((1 << kShift0) >> 1);
    const int x1 = (c1 << kShift1) + ((1 << kShift1) >> 1);
    const int x2 = (c2 << kShift2) + ((1 << kShift2) >> 1);
    int best = 0;
    int64_t bestDistance = INT64_MAX;
    for (size_t i = 0; i < map.size(); ++i) {
        const int64_t d0 = int64_t(x0 - map[i][0]) * kScale0;
        const int64_t d1 = int64_t(x1 - map[i][1]) * kScale1;
        const int64_t d2 = int64_t(x2 - map[i][2]) * kScale2;
        const int64_t distance = d0 * d0 + d1 * d1 + d2 * d2;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = int(i);
        }
    }
    return best;
}

// The transfer function that limits a propagated error: 1:1 up to 16, 1:2 up to 48, then 32.
struct ErrorLimit {
    ErrorLimit() {
        int out = 0, in = 0;
        for (; in < 16; ++in, ++out) Set(in, out);
        for (; in < 48; ++in, out += (in & 1) ? 0 : 1) Set(in, out);
        for (; in <= 255; ++in) Set(in, out);
    }
    void Set(int in, int out) {
        table[255 + in] = out;
        table[255 - in] = -out;
    }
    int operator()(int error) const { return table[255 + error]; }
    int table[511];
};

}  // namespace

bool QuantizeTwoPass(const uint8_t* pixels, int width, int height, size_t stride, int maxColors,
                     const uint8_t* skip, SQuantized& out) {
    out = SQuantized{};
    if (width <= 0 || height <= 0 || maxColors < 1 || maxColors > 256)
        return false;
    Histogram histogram;
    for (int y = 0; y < height; ++y) {
        const uint8_t* p = pixels + size_t(y) * stride;
        const uint8_t* s = skip ? skip + size_t(y) * size_t(width) : nullptr;
        for (int x = 0; x < width; ++x, p += 3) {
            if (s && s[x])
                continue;
            uint16_t& cell = histogram.At(p[0] >> kShift0, p[1] >> kShift1, p[2] >> kShift2);
            if (cell != 0xFFFF)
                ++cell;
        }
    }

    std::vector<Box> boxes;
    boxes.push_back(Box{0, kCells0 - 1, 0, kCells1 - 1, 0, kCells2 - 1});
    UpdateBox(histogram, boxes[0]);
    if (boxes[0].colorCount > 0) {
        MedianCut(histogram, boxes, maxColors);
        for (const Box& b : boxes) out.ColorMap.push_back(BoxColor(histogram, b));
    }
    const int found = int(out.ColorMap.size());

    // Pass 2: the histogram becomes the cache of each cell's colour (index + 1; 0 unknown).
    histogram.Clear();
    static const ErrorLimit limit;
    out.Indices.assign(size_t(width) * size_t(height), uint8_t(found));
    if (found == 0)
        return true;
    std::vector<int> errors(size_t(width + 2) * 3, 0);
    bool oddRow = false;
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = pixels + size_t(y) * stride;
        const uint8_t* skipRow = skip ? skip + size_t(y) * size_t(width) : nullptr;
        uint8_t* outRow = out.Indices.data() + size_t(y) * size_t(width);
        int x, dir;
        int* err;  // the entry of the previous column
        if (oddRow) {
            x = width - 1;
            dir = -1;
            err = errors.data() + size_t(width + 1) * 3;
        } else {
            x = 0;
            dir = 1;
            err = errors.data();
        }
        oddRow = !oddRow;
        int cur[3] = {0, 0, 0};
        int below[3] = {0, 0, 0};
        int belowPrev[3] = {0, 0, 0};
        for (int n = width; n > 0; --n, x += dir) {
            const int dir3 = dir * 3;
            const uint8_t* p = row + size_t(x) * 3;
            if (skipRow && skipRow[x]) {
                cur[0] = cur[1] = cur[2] = 0;
            } else {
                int value[3];
                for (int c = 0; c < 3; ++c) {
                    // Errors are kept x16; shifting rounds toward minus infinity, so +8 rounds.
                    int e = (cur[c] + err[dir3 + c] + 8) >> 4;
                    value[c] = std::clamp(limit(e) + p[c], 0, 255);
                }
                uint16_t& cell =
                    histogram.At(value[0] >> kShift0, value[1] >> kShift1, value[2] >> kShift2);
                if (cell == 0)
                    cell = uint16_t(NearestColor(out.ColorMap, value[0] >> kShift0,
                                                 value[1] >> kShift1, value[2] >> kShift2) +
                                    1);
                const int index = cell - 1;
                outRow[x] = uint8_t(index);
                for (int c = 0; c < 3; ++c) cur[c] = value[c] - out.ColorMap[size_t(index)][c];
            }
            for (int c = 0; c < 3; ++c) {
                const int next = cur[c];
                err[c] = belowPrev[c] + cur[c] * 3;
                belowPrev[c] = below[c] + cur[c] * 5;
                below[c] = next;
                cur[c] *= 7;
            }
            err += dir3;
        }
        for (int c = 0; c < 3; ++c) err[c] = belowPrev[c];
    }
    return true;
}

}  // namespace vx
