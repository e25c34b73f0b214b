// Our two-pass quantiser against an independent implementation of the same algorithm: the
// quantiser of libjpeg-turbo, run while decoding a JPEG with two-pass quantisation to 255
// colours and Floyd-Steinberg dithering. The same JPEG decoded without quantisation gives the
// pixels ours is fed, component 0 being red so that the component weights (2, 3, 1) line up.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <vector>

#include <jpeglib.h>

#include "graphics/quantizer.h"

namespace vx {
namespace {

struct Rgb {
    int width, height;
    std::vector<uint8_t> pixels;  // 3 bytes each
};

std::vector<uint8_t> CompressJpeg(const Rgb& image) {
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &buffer, &size);
    c.image_width = JDIMENSION(image.width);
    c.image_height = JDIMENSION(image.height);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, 92, TRUE);
    jpeg_start_compress(&c, TRUE);
    while (c.next_scanline < c.image_height) {
        JSAMPROW row =
            const_cast<JSAMPROW>(&image.pixels[size_t(c.next_scanline) * size_t(image.width) * 3]);
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<uint8_t> out(buffer, buffer + size);
    jpeg_destroy_compress(&c);
    std::free(buffer);
    return out;
}

struct Decoded {
    int width = 0, height = 0, components = 0;
    std::vector<uint8_t> samples;  // RGB, or one colour index per pixel when quantised
    std::vector<std::array<uint8_t, 3>> colorMap;
};

Decoded DecompressJpeg(const std::vector<uint8_t>& jpeg, bool quantise) {
    jpeg_decompress_struct d{};
    jpeg_error_mgr err{};
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_RGB;
    if (quantise) {
        d.quantize_colors = TRUE;
        d.two_pass_quantize = TRUE;
        d.dither_mode = JDITHER_FS;
        d.desired_number_of_colors = 255;
    }
    jpeg_start_decompress(&d);
    Decoded out;
    out.width = int(d.output_width);
    out.height = int(d.output_height);
    out.components = d.output_components;
    const size_t rowBytes = size_t(out.width) * size_t(out.components);
    out.samples.resize(rowBytes * size_t(out.height));
    while (d.output_scanline < d.output_height) {
        JSAMPROW row = &out.samples[size_t(d.output_scanline) * rowBytes];
        jpeg_read_scanlines(&d, &row, 1);
    }
    if (quantise)
        for (int i = 0; i < d.actual_number_of_colors; ++i)
            out.colorMap.push_back({d.colormap[0][i], d.colormap[1][i], d.colormap[2][i]});
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
    return out;
}

// A smooth picture with anti-aliased discs (far more than 255 colours); with flatShare > 0
// that share of the columns on the left is one flat colour, so that one histogram cell holds
// more pixels than its 16-bit count can.
Rgb TestPicture(int width, int height, double flatShare) {
    Rgb image{width, height, std::vector<uint8_t>(size_t(width) * size_t(height) * 3)};
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &image.pixels[(size_t(y) * size_t(width) + size_t(x)) * 3];
            if (x < int(width * flatShare)) {
                // Two close colours in neighbouring histogram cells, three quarters of the
                // pixels in the first: the colour of their box depends on both counts.
                p[0] = 40, p[1] = 90, p[2] = y < height * 3 / 4 ? 196 : 203;
                continue;
            }
            p[0] = uint8_t(x * 255 / width);
            p[1] = uint8_t(y * 255 / height);
            p[2] = uint8_t((x * y) % 256);
            for (int k = 0; k < 3; ++k) {
                const int cx = width * (k + 1) / 4, cy = height / 2, r = height / 4;
                const int d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
                if (d2 < r * r) {
                    const double edge = std::min(1.0, (r * r - d2) / double(4 * r));
                    for (int c = 0; c < 3; ++c)
                        p[c] = uint8_t(p[c] * (1 - edge) + (c == k ? 255 : 30) * edge);
                }
            }
        }
    return image;
}

// The largest pixel count of one histogram cell (5, 6 and 5 bits of the components).
size_t LargestCell(const Decoded& rgb) {
    std::vector<size_t> cells(32 * 64 * 32, 0);
    size_t largest = 0;
    for (size_t i = 0; i + 2 < rgb.samples.size(); i += 3) {
        size_t& n = cells[(size_t(rgb.samples[i] >> 3) * 64 + (rgb.samples[i + 1] >> 2)) * 32 +
                          (rgb.samples[i + 2] >> 3)];
        largest = std::max(largest, ++n);
    }
    return largest;
}

TEST(Quantizer, MatchesLibjpegTwoPassQuantiser) {
    struct Case {
        const char* name;
        int width, height;
        double flatShare;
    };
    const Case cases[] = {
        {"smooth picture", 320, 180, 0.0},
        {"one cell past 65 535 pixels", 800, 300, 0.75},  // 180 000 pixels near one colour
        {"odd width", 97, 61, 0.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> jpeg = CompressJpeg(TestPicture(c.width, c.height, c.flatShare));
        Decoded plain = DecompressJpeg(jpeg, false);
        Decoded theirs = DecompressJpeg(jpeg, true);
        ASSERT_EQ(plain.components, 3);
        ASSERT_EQ(theirs.components, 1);
        ASSERT_GT(theirs.colorMap.size(), 200u);
        if (c.flatShare > 0) {
            EXPECT_GT(LargestCell(plain), 65535u);
        }

        SQuantized ours;
        ASSERT_TRUE(QuantizeTwoPass(plain.samples.data(), plain.width, plain.height,
                                    size_t(plain.width) * 3, 255, nullptr, ours));
        ASSERT_EQ(ours.ColorMap.size(), theirs.colorMap.size());
        EXPECT_EQ(ours.ColorMap, theirs.colorMap);
        ASSERT_EQ(ours.Indices.size(), theirs.samples.size());
        size_t differing = 0;
        for (size_t i = 0; i < ours.Indices.size(); ++i)
            differing += ours.Indices[i] != theirs.samples[i];
        EXPECT_EQ(differing, 0u);
    }
}

TEST(Quantizer, FewColoursAndSkippedPixels) {
    // Four colours in a 4 x 2 picture quantised to at most 8: each colour is its own box; the
    // skipped pixels get index n and take no part.
    const uint8_t pixels[] = {0, 0, 0,   255, 255, 255, 0, 0,   0, 255, 0, 0,
                              0, 0, 255, 255, 255, 255, 0, 255, 0, 0,   0, 0};
    const uint8_t skip[] = {0, 0, 0, 0, 0, 0, 1, 1};
    SQuantized q;
    ASSERT_TRUE(QuantizeTwoPass(pixels, 4, 2, 12, 8, skip, q));
    ASSERT_EQ(q.ColorMap.size(), 4u);
    const int n = 4;
    EXPECT_EQ(q.Indices[6], n);
    EXPECT_EQ(q.Indices[7], n);
    std::set<uint8_t> used(q.Indices.begin(), q.Indices.begin() + 6);
    EXPECT_EQ(used.size(), 4u);
    EXPECT_EQ(q.Indices[0], q.Indices[2]);  // the same black twice

    EXPECT_FALSE(QuantizeTwoPass(pixels, 0, 2, 12, 8, nullptr, q));
    EXPECT_FALSE(QuantizeTwoPass(pixels, 4, 2, 12, 0, nullptr, q));
    EXPECT_FALSE(QuantizeTwoPass(pixels, 4, 2, 12, 257, nullptr, q));
}

}  // namespace
}  // namespace vx
