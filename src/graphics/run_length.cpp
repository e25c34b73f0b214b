#include "graphics/run_length.h"

#include <algorithm>

#include "foundation/bytes.h"

namespace vx {

bool EncodeLine(const uint8_t* indices, int width, std::vector<uint8_t>& out) {
    const size_t start = out.size();
    int x = 0;
    while (x < width) {
        const uint8_t c = indices[x];
        int run = 1;
        while (x + run < width && indices[x + run] == c) ++run;
        if (run > kMaxRunLength) {
            out.resize(start);
            return false;
        }
        if (c != 0 && run <= 2) {
            out.insert(out.end(), size_t(run), c);
        } else if (c != 0 && run <= 63) {
            out.insert(out.end(), {0x00, uint8_t(0x80 + run), c});
        } else if (c != 0) {
            out.insert(out.end(), {0x00, uint8_t(0xC0 + (run >> 8)), uint8_t(run & 0xFF), c});
        } else if (run <= 63) {
            out.insert(out.end(), {0x00, uint8_t(run)});
        } else {
            out.insert(out.end(), {0x00, uint8_t(0x40 + (run >> 8)), uint8_t(run & 0xFF)});
        }
        x += run;
    }
    out.insert(out.end(), {0x00, 0x00});
    return true;
}

bool BuildObjectData(const CBitmap& indexed, std::vector<uint8_t>& out, std::string* reason) {
    auto fail = [&](const std::string& text) {
        if (reason)
            *reason = text;
        out.clear();
        return false;
    };
    if (indexed.Format() != PixelFormat::kIndexed8 || indexed.Empty())
        return fail("the picture is not an 8-bit indexed image");
    if (indexed.Width() > 0xFFFF || indexed.Height() > 0xFFFF)
        return fail("the picture is larger than 65 535 pixels on a side");
    out.assign(7, 0);
    // The worst case: alternating single pixels of 0 and another index, 1.5 bytes a pixel.
    out.reserve(7 + size_t(indexed.Height()) * (size_t(indexed.Width()) * 3 / 2 + 3));
    for (int y = 0; y < indexed.Height(); ++y)
        if (!EncodeLine(indexed.Row(y), indexed.Width(), out))
            return fail("a run of one colour is longer than 16 383 pixels");
    const size_t length = out.size() - 3;
    if (length > 0xFFFFFF)
        return fail("the coded object (" + std::to_string(length) +
                    " bytes) exceeds the 24-bit object data length");
    WriteBE24(out.data(), uint32_t(length));
    WriteBE16(out.data() + 3, uint16_t(indexed.Width()));
    WriteBE16(out.data() + 5, uint16_t(indexed.Height()));
    return true;
}

bool DecodeObjectData(const uint8_t* data, size_t size, int& width, int& height,
                      std::vector<uint8_t>& indices) {
    indices.clear();
    try {
        ByteReader in(data, size);
        const uint32_t length = in.U24();
        if (length < 4 || length > in.Remaining())
            return false;
        ByteReader body = in.Sub(length);
        width = body.U16();
        height = body.U16();
        if (width == 0 || height == 0)
            return false;
        // A code of at most 4 bytes gives at most 16 383 pixels: the data bounds the picture
        // before its claimed size is believed.
        indices.reserve(std::min(size_t(width) * size_t(height), size_t(length) * 4096));
        int x = 0, lines = 0;
        while (body.Remaining() > 0) {
            uint8_t c = body.U8();
            int run = 1;
            if (c == 0) {
                uint8_t flags = body.U8();
                if (flags == 0) {  // end of line
                    if (x != width)
                        return false;
                    x = 0;
                    ++lines;
                    continue;
                }
                run = flags & 0x3F;
                if (flags & 0x40)
                    run = (run << 8) | body.U8();
                c = (flags & 0x80) ? body.U8() : 0;
            }
            if (lines >= height || run > width - x)
                return false;
            indices.insert(indices.end(), size_t(run), c);
            x += run;
        }
        return lines == height && x == 0;
    } catch (const ParseError&) {
        return false;
    }
}

}  // namespace vx
