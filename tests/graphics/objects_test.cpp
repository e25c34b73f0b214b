// Graphic objects and palettes: run-length coding, colour conversion, indexed conversion of
// pictures alone and in sets, and image files.

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "graphics/bitmap.h"
#include "graphics/convert.h"
#include "graphics/graphic_object.h"
#include "graphics/palette.h"
#include "graphics/run_length.h"
#include "support.h"

namespace vx {
namespace {

using test::Hex;
using test::ToHex;

CBitmap Argb(int w, int h, const std::vector<uint32_t>& pixels) {
    CBitmap b;
    EXPECT_TRUE(b.Create(w, h, PixelFormat::kArgb32));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.SetArgb(x, y, pixels[size_t(y * w + x)]);
    return b;
}

// A picture of exactly `colors` distinct opaque colours, each pixel its own when it can be.
CBitmap ManyColors(int w, int h, int colors, int transparentEvery = 0) {
    std::vector<uint32_t> pixels;
    for (int i = 0; i < w * h; ++i) {
        int c = i % colors;
        uint32_t argb = MakeArgb(255, uint8_t(c * 37), uint8_t(c * 11), uint8_t(c));
        if (transparentEvery && i % transparentEvery == 0)
            argb = 0;
        pixels.push_back(argb);
    }
    return Argb(w, h, pixels);
}

TEST(RunLength, Codes) {
    struct Case {
        uint8_t index;
        int run;
        const char* code;
    };
    const Case cases[] = {
        {7, 1, "07"},           {7, 2, "07 07"},           {7, 3, "00 83 07"}, {7, 63, "00 BF 07"},
        {7, 64, "00 C0 40 07"}, {7, 16383, "00 FF FF 07"}, {0, 1, "00 01"},    {0, 63, "00 3F"},
        {0, 64, "00 40 40"},    {0, 16383, "00 7F FF"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.index) + " x " + std::to_string(c.run));
        std::vector<uint8_t> line(size_t(c.run), c.index), out;
        ASSERT_TRUE(EncodeLine(line.data(), c.run, out));
        EXPECT_EQ(ToHex(out), ToHex(Hex(std::string(c.code) + " 00 00")));
    }
    std::vector<uint8_t> mixed = {7, 7, 7, 0, 0}, out;
    ASSERT_TRUE(EncodeLine(mixed.data(), 5, out));
    EXPECT_EQ(ToHex(out), "00 83 07 00 02 00 00");

    std::vector<uint8_t> tooLong(16384, 3);
    out = {1, 2};
    EXPECT_FALSE(EncodeLine(tooLong.data(), 16384, out));
    EXPECT_EQ(out, (std::vector<uint8_t>{1, 2}));
}

TEST(RunLength, ObjectDataRoundTrip) {
    CBitmap picture;
    ASSERT_TRUE(picture.Create(70, 3, PixelFormat::kIndexed8));
    for (int x = 0; x < 70; ++x) {
        picture.Row(0)[x] = uint8_t(x % 5 == 0 ? 0 : x % 3);  // short runs of both kinds
        picture.Row(1)[x] = 9;                                // one long run
        picture.Row(2)[x] = x < 66 ? 0 : 4;                   // long zeros, then a short run
    }
    std::vector<uint8_t> data;
    ASSERT_TRUE(BuildObjectData(picture, data));
    EXPECT_EQ(ReadBE24(data.data()), data.size() - 3);
    EXPECT_EQ(ReadBE16(&data[3]), 70);
    EXPECT_EQ(ReadBE16(&data[5]), 3);
    int w = 0, h = 0;
    std::vector<uint8_t> indices;
    ASSERT_TRUE(DecodeObjectData(data.data(), data.size(), w, h, indices));
    EXPECT_EQ(w, 70);
    EXPECT_EQ(h, 3);
    for (int y = 0; y < 3; ++y)
        EXPECT_EQ(std::vector<uint8_t>(indices.begin() + y * 70, indices.begin() + y * 70 + 70),
                  std::vector<uint8_t>(picture.Row(y), picture.Row(y) + 70));

    struct Bad {
        const char* name;
        const char* bytes;
    };
    const Bad bad[] = {
        {"length past the data", "000010 0002 0001 07 07 00 00"},
        {"line longer than the width", "00000A 0002 0001 07 07 07 00 00"},
        {"line shorter than the width", "000008 0002 0001 07 00 00"},
        {"fewer lines than the height", "00000A 0002 0002 07 07 00 00"},
        {"run cut short", "000007 0002 0001 00 C0"},
    };
    for (const Bad& b : bad) {
        SCOPED_TRACE(b.name);
        std::vector<uint8_t> bytes = Hex(b.bytes);
        EXPECT_FALSE(DecodeObjectData(bytes.data(), bytes.size(), w, h, indices));
    }

    CBitmap argb = ManyColors(2, 2, 2);
    std::string why;
    EXPECT_FALSE(BuildObjectData(argb, data, &why));
    EXPECT_FALSE(why.empty());

    // A run past 16 383 pixels, and coded lines past the 24-bit length (alternating single
    // pixels of 0 and 1 code in 3 bytes per pair: 4096 x 2800 pixels give 17 203 200 bytes).
    CBitmap wide;
    ASSERT_TRUE(wide.Create(16384, 1, PixelFormat::kIndexed8));
    EXPECT_FALSE(BuildObjectData(wide, data, &why));
    EXPECT_NE(why.find("16 383"), std::string::npos) << why;
    CBitmap busy;
    ASSERT_TRUE(busy.Create(4096, 2800, PixelFormat::kIndexed8));
    for (int y = 0; y < busy.Height(); ++y)
        for (int x = 1; x < busy.Width(); x += 2) busy.Row(y)[x] = 1;
    EXPECT_FALSE(BuildObjectData(busy, data, &why));
    EXPECT_NE(why.find("24-bit"), std::string::npos) << why;
    EXPECT_TRUE(data.empty());
}

TEST(Palette, RgbToYCbCr) {
    struct Case {
        uint8_t r, g, b, y, cr, cb;
    };
    const Case cases[] = {
        {255, 0, 0, 81, 239, 90},  // 81.535, 239.945, 90.26 truncated
        {0, 0, 0, 16, 128, 128},   {255, 255, 255, 235, 128, 128},
        {0, 0, 255, 40, 109, 239}, {0, 255, 0, 144, 34, 53},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.r) + "," + std::to_string(c.g) + "," + std::to_string(c.b));
        SYCbCr v = RgbToYCbCr(c.r, c.g, c.b);
        EXPECT_EQ(v.Y, c.y);
        EXPECT_EQ(v.Cr, c.cr);
        EXPECT_EQ(v.Cb, c.cb);
    }
}

TEST(Palette, FromColorTable) {
    ColorTable table;
    for (int i = 0; i < 256; ++i) table.Entries.push_back(MakeArgb(uint8_t(i), uint8_t(i), 2, 3));
    CErgbPalette palette;
    palette.FromColorTable(table, 4, 0.5);
    ASSERT_EQ(palette.GetCount(), 255);  // entry 255 is never defined
    EXPECT_EQ(palette.TransparentIndex, 4);
    EXPECT_EQ(*palette.GetAt(4), (ERGBQUAD{4, 3, 2, 4, 128}));  // 127.5 rounds up
    EXPECT_EQ(*palette.GetAt(5), (ERGBQUAD{5, 3, 2, 5, 255}));

    struct Case {
        uint32_t flags;
        double opacity;
        uint8_t transparentAlpha, otherAlpha;
    };
    const Case cases[] = {
        {ColorTable::kHasAlpha, 0.0, 0x10, 0x20},  // the table's own alpha
        {0, 2.0, 255, 255},                        // opacity clamped to 1
        {0, -1.0, 0, 255},                         // and to 0
    };
    for (const Case& c : cases) {
        ColorTable two{c.flags, {MakeArgb(0x10, 1, 1, 1), MakeArgb(0x20, 2, 2, 2)}};
        palette.FromColorTable(two, 0, c.opacity);
        ASSERT_EQ(palette.GetCount(), 2);
        EXPECT_EQ(palette.GetAt(0)->Alpha, c.transparentAlpha);
        EXPECT_EQ(palette.GetAt(1)->Alpha, c.otherAlpha);
    }
    palette.FromColorTable({}, 0, 0);
    EXPECT_EQ(palette.GetCount(), 0);
}

TEST(Palette, FillPds) {
    CErgbPalette palette;
    palette.Add({0, 0, 0, 255, 255});
    palette.Add({1, 0, 0, 0, 0});
    CPds pds;
    pds.Entries.resize(3);
    FillPds(pds, palette);
    ASSERT_EQ(pds.Entries.size(), 2u);
    EXPECT_EQ(pds.Entries[0], (SPaletteEntry{0, 81, 239, 90, 255}));
    EXPECT_EQ(pds.Entries[1], (SPaletteEntry{1, 16, 128, 128, 0}));
}

TEST(Palette, FolderNamesAndFinds) {
    CPoFolder folder;
    CErgbPalette* a = folder.NewPalette();
    CErgbPalette* b = folder.NewPalette();
    EXPECT_EQ(a->GetName(), "Palettte#0");
    EXPECT_EQ(b->GetName(), "Palettte#1");
    b->SetId(7);
    EXPECT_EQ(folder.FindById(7), b);
    EXPECT_EQ(folder.FindById(8), nullptr);
}

TEST(Convert, TwentyFourBitCopyOfTransparentPixels) {
    CBitmap argb =
        Argb(3, 1, {MakeArgb(0, 10, 10, 10), MakeArgb(128, 0, 0, 0), MakeArgb(255, 1, 2, 3)});
    CBitmap copy = To24BitCopy(argb);
    EXPECT_EQ(copy.ArgbAt(0, 0), MakeArgb(255, 245, 245, 245));
    EXPECT_EQ(copy.ArgbAt(1, 0), MakeArgb(255, 127, 127, 127));
    EXPECT_EQ(copy.ArgbAt(2, 0), MakeArgb(255, 1, 2, 3));
}

TEST(Convert, ExactTable) {
    const uint32_t red = MakeArgb(255, 255, 0, 0), green = MakeArgb(255, 0, 255, 0),
                   half = MakeArgb(128, 0, 0, 255), clear = MakeArgb(0, 9, 9, 9);
    CBitmap picture = Argb(3, 2, {clear, red, green, half, red, clear});
    CBitmap out;
    int transparent = -1;
    ASSERT_TRUE(ConvertTo8Bit(picture, out, transparent));
    EXPECT_EQ(out.Colors(), (ColorTable{ColorTable::kHasAlpha, {red, green, half, 0}}));
    EXPECT_EQ(transparent, 3);
    EXPECT_EQ(std::vector<uint8_t>(out.Row(0), out.Row(0) + 3), (std::vector<uint8_t>{3, 0, 1}));
    EXPECT_EQ(std::vector<uint8_t>(out.Row(1), out.Row(1) + 3), (std::vector<uint8_t>{2, 0, 3}));
}

TEST(Convert, KeyPixelPicksTheTransparentIndex) {
    const uint32_t r = MakeArgb(255, 255, 0, 0), b = MakeArgb(255, 0, 0, 255),
                   g = MakeArgb(255, 0, 255, 0), w = MakeArgb(255, 255, 255, 255);
    struct Case {
        const char* name;
        std::vector<uint32_t> corners;  // top-left, top-right, bottom-left, bottom-right
        int keyCorner;
    };
    const Case cases[] = {
        {"no repeated corner", {r, b, g, w}, 0},
        {"top-right repeats top-left", {r, r, g, w}, 1},
        {"bottom-left repeats top-right", {r, b, b, w}, 2},
        {"last repeat found wins", {r, b, r, b}, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // 3 x 2 with a fifth colour in the middle column.
        const uint32_t m = MakeArgb(255, 1, 2, 3);
        CBitmap picture =
            Argb(3, 2, {c.corners[0], m, c.corners[1], c.corners[2], m, c.corners[3]});
        CBitmap out;
        int transparent = -1;
        ASSERT_TRUE(ConvertTo8Bit(picture, out, transparent));
        const int xs[4] = {0, 2, 0, 2}, ys[4] = {0, 0, 1, 1};
        EXPECT_EQ(transparent, out.IndexAt(xs[c.keyCorner], ys[c.keyCorner]));
    }
}

TEST(Convert, IndexedSourcesKeepTheirTable) {
    struct Case {
        PixelFormat format;
        std::vector<uint8_t> row;  // packed
        std::vector<uint8_t> indices;
    };
    const Case cases[] = {
        {PixelFormat::kIndexed8, {2, 0, 1}, {2, 0, 1}},
        {PixelFormat::kIndexed4, {0x21, 0x30}, {2, 1, 3}},
        {PixelFormat::kIndexed1, {0xA0}, {1, 0, 1}},
    };
    for (const Case& c : cases) {
        CBitmap picture;
        ASSERT_TRUE(picture.Create(3, 1, c.format));
        std::copy(c.row.begin(), c.row.end(), picture.Row(0));
        picture.Colors().Entries = {MakeArgb(0, 1, 1, 1), MakeArgb(0, 2, 2, 2),
                                    MakeArgb(0, 3, 3, 3), MakeArgb(0, 4, 4, 4)};
        CBitmap out;
        int transparent = -1;
        ASSERT_TRUE(ConvertTo8Bit(picture, out, transparent));
        EXPECT_EQ(out.Format(), PixelFormat::kIndexed8);
        EXPECT_EQ(std::vector<uint8_t>(out.Row(0), out.Row(0) + 3), c.indices);
        EXPECT_EQ(out.Colors(), picture.Colors());
        // One row: top-right and bottom-right are the same pixel, the last repeat found.
        EXPECT_EQ(transparent, c.indices[2]);
    }
}

TEST(Convert, QuantiserPathForMoreThan255Colours) {
    struct Case {
        const char* name;
        int transparentEvery;
    };
    const Case cases[] = {{"24-bit", 0}, {"32-bit with transparent pixels", 7}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CBitmap picture = ManyColors(30, 20, 300, c.transparentEvery);
        if (!c.transparentEvery)
            picture = To24BitCopy(picture);
        CBitmap out;
        int transparent = -1;
        ASSERT_TRUE(ConvertTo8Bit(picture, out, transparent));
        const auto& entries = out.Colors().Entries;
        ASSERT_LE(entries.size(), 256u);
        if (c.transparentEvery) {
            // The quantised colours, then the transparent entry n.
            EXPECT_EQ(transparent, int(entries.size()) - 1);
            EXPECT_EQ(entries.back(), 0u);
            for (int y = 0; y < 20; ++y)
                for (int x = 0; x < 30; ++x)
                    EXPECT_EQ(out.IndexAt(x, y) == transparent, (picture.ArgbAt(x, y) >> 24) == 0);
        } else {
            // Without alpha the table has no extra entry; the key pixel's is transparent.
            EXPECT_EQ(transparent, out.IndexAt(0, 0));
            EXPECT_EQ(entries[size_t(transparent)] >> 24, 0u);
            EXPECT_LE(entries.size(), 255u);
        }
    }
}

TEST(Convert, SharedTableOverACanvas) {
    // Two pictures of distinct exact colours, 300 x 100 and 200 x 60: the second is cut from
    // (300, 20) of a 500 x 100 canvas; each picture's pixels map back to their own colours
    // through the shared table, transparent pixels included.
    std::vector<uint32_t> a, b;
    for (int i = 0; i < 300 * 100; ++i)
        a.push_back(i % 50 == 0 ? 0 : MakeArgb(255, uint8_t(i % 3), 0, 0));
    for (int i = 0; i < 200 * 60; ++i) b.push_back(MakeArgb(200, 0, uint8_t(i % 4), 9));
    CBitmap first = Argb(300, 100, a), second = Argb(200, 60, b);
    std::vector<CBitmap> out;
    ColorTable table;
    int transparent = -1;
    ASSERT_TRUE(ConvertSetTo8Bit({&first, nullptr, &second}, out, table, transparent));
    ASSERT_EQ(out.size(), 3u);
    EXPECT_TRUE(out[1].Empty());
    // The canvas is cleared to the first picture's top-left pixel, which is transparent.
    EXPECT_EQ(table.Entries.size(), 3u + 4u + 1u);
    EXPECT_EQ(table.Entries[size_t(transparent)] >> 24, 0u);
    for (int k : {0, 2}) {
        const CBitmap& src = k == 0 ? first : second;
        ASSERT_EQ(out[size_t(k)].Width(), src.Width());
        EXPECT_EQ(out[size_t(k)].Colors(), table);
        for (int y = 0; y < src.Height(); ++y)
            for (int x = 0; x < src.Width(); ++x) {
                uint32_t want = src.ArgbAt(x, y);
                uint32_t got = table.Entries[out[size_t(k)].IndexAt(x, y)];
                ASSERT_EQ(got, (want >> 24) == 0 ? 0u : want) << k << " at " << x << "," << y;
            }
    }
}

TEST(Convert, SharedTableOfOpaquePicturesIsTwentyFourBit) {
    // A 24-bit picture of 4 x 4 and a 4-bit indexed one of 2 x 2 share a 6 x 4 canvas cleared
    // to the first top-left colour; the second sits at (4, 1). Rows differ, so a cut at the
    // wrong height shows other colours.
    CBitmap rgb;
    ASSERT_TRUE(rgb.Create(4, 4, PixelFormat::kRgb24));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            rgb.SetArgb(x, y, MakeArgb(255, uint8_t(60 * y), 0, uint8_t(x)));
    CBitmap nibbles;
    ASSERT_TRUE(nibbles.Create(2, 2, PixelFormat::kIndexed4));
    nibbles.Row(0)[0] = 0x12;
    nibbles.Row(1)[0] = 0x30;
    nibbles.Colors().Entries = {MakeArgb(0, 9, 9, 9), MakeArgb(0, 200, 1, 1),
                                MakeArgb(0, 1, 200, 1), MakeArgb(0, 1, 1, 200)};
    std::vector<CBitmap> out;
    ColorTable table;
    int transparent = -1;
    ASSERT_TRUE(ConvertSetTo8Bit({&rgb, &nibbles}, out, table, transparent));
    ASSERT_EQ(out.size(), 2u);

    // The same canvas made by hand and converted alone gives the same indices and table.
    CBitmap canvas;
    ASSERT_TRUE(canvas.Create(6, 4, PixelFormat::kRgb24));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) canvas.SetArgb(x, y, rgb.ArgbAt(0, 0));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) canvas.SetArgb(x, y, rgb.ArgbAt(x, y));
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 2; ++x) canvas.SetArgb(4 + x, 1 + y, nibbles.ArgbAt(x, y));
    CBitmap whole;
    int wholeTransparent = -1;
    ASSERT_TRUE(ConvertTo8Bit(canvas, whole, wholeTransparent));
    EXPECT_EQ(table, whole.Colors());
    EXPECT_EQ(transparent, wholeTransparent);
    for (int k = 0; k < 2; ++k) {
        const int left = k == 0 ? 0 : 4, top = k == 0 ? 0 : 1;
        EXPECT_EQ(out[size_t(k)].Colors(), table);
        for (int y = 0; y < out[size_t(k)].Height(); ++y)
            for (int x = 0; x < out[size_t(k)].Width(); ++x)
                EXPECT_EQ(out[size_t(k)].IndexAt(x, y), whole.IndexAt(left + x, top + y))
                    << k << " at " << x << "," << y;
    }
}

TEST(Convert, PlaceInRectKeepsThePositionAndPadsTransparent) {
    CBitmap small;
    ASSERT_TRUE(small.Create(2, 1, PixelFormat::kIndexed8));
    small.Row(0)[0] = 1;
    small.Row(0)[1] = 1;
    struct Case {
        const char* name;
        ColorTable table;
        int fill;
        size_t entries;
    };
    const Case cases[] = {
        {"table with a transparent entry",
         {ColorTable::kHasAlpha, {MakeArgb(255, 1, 1, 1), MakeArgb(255, 2, 2, 2), 0}},
         2,
         3},
        {"opaque table gets one", {0, {MakeArgb(0, 1, 1, 1), MakeArgb(0, 2, 2, 2)}}, 2, 3},
        {"full opaque table pads with 255",
         {ColorTable::kHasAlpha, std::vector<uint32_t>(255, 0xFF000000u)},
         255,
         255},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        small.Colors() = c.table;
        CBitmap out;
        ASSERT_TRUE(PlaceInRect(small, 4, 2, 1, 1, out));
        EXPECT_EQ(std::vector<uint8_t>(out.Row(0), out.Row(0) + 4),
                  std::vector<uint8_t>(4, uint8_t(c.fill)));
        EXPECT_EQ(std::vector<uint8_t>(out.Row(1), out.Row(1) + 4),
                  (std::vector<uint8_t>{uint8_t(c.fill), 1, 1, uint8_t(c.fill)}));
        EXPECT_EQ(out.Colors().Entries.size(), c.entries);
        if (c.fill < 255) {
            EXPECT_EQ(out.Colors().Entries[size_t(c.fill)] >> 24, 0u);
        }
        EXPECT_EQ(out.Colors().Entries[1] >> 24, 255u);
    }
}

TEST(GraphicObject, SetImageDerivesItsPalette) {
    const uint32_t clear = 0, red = MakeArgb(255, 255, 0, 0), blue = MakeArgb(255, 0, 0, 255);
    CGraphicObject g;
    EXPECT_FALSE(g.SetImage(std::make_unique<CBitmap>()));
    ASSERT_TRUE(g.SetImage(std::make_unique<CBitmap>(Argb(2, 2, {clear, red, blue, red}))));
    EXPECT_EQ(g.Width, 2);
    EXPECT_EQ(g.Height, 2);
    const CErgbPalette* p = g.GetPalette();
    ASSERT_TRUE(p);
    EXPECT_EQ(p->GetCount(), 3);
    EXPECT_EQ(p->TransparentIndex, 2);
    EXPECT_EQ(p->GetAt(2)->Alpha, 0);

    // A 24-bit picture goes through the quantiser: the key pixel (the bottom-right corner, the
    // last to repeat another corner) is the transparent entry of the table, while the palette
    // records the top-left pixel's index as its transparent index.
    CGraphicObject keyed;
    auto rgb = std::make_unique<CBitmap>();
    rgb->Create(3, 2, PixelFormat::kRgb24);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) rgb->SetArgb(x, y, x == 0 && y == 0 ? red : blue);
    ASSERT_TRUE(keyed.SetImage(std::move(rgb)));
    const CErgbPalette* kp = keyed.GetPalette();
    ASSERT_EQ(kp->GetCount(), 2);
    const int redIndex = kp->GetAt(0)->Red > 128 ? 0 : 1;  // quantised: 252, not 255
    EXPECT_EQ(kp->TransparentIndex, redIndex);
    EXPECT_EQ(kp->GetAt(redIndex)->Alpha, 255);
    EXPECT_EQ(kp->GetAt(1 - redIndex)->Alpha, 0);

    CGraphicObject copy;
    copy.Copy(g);
    ASSERT_TRUE(copy.GetImage());
    EXPECT_EQ(*copy.GetImage(), *g.GetImage());
    EXPECT_EQ(copy.GetPalette()->GetCount(), 3);

    std::vector<uint8_t> data;
    ASSERT_TRUE(BuildObjectData(g, data));
    EXPECT_EQ(ToHex(data), "00 00 0E 00 02 00 02 02 00 01 00 00 01 00 01 00 00");

    CGraphicObject empty;
    std::string why;
    EXPECT_FALSE(BuildObjectData(empty, data, &why));
    EXPECT_NE(why.find("neither"), std::string::npos);
}

TEST(ImageFiles, PngRoundTripAndBmp) {
    test::TempDir dir;
    CBitmap argb = ManyColors(5, 3, 7, 4);
    std::string why;
    ASSERT_TRUE(SavePng(dir / "a.png", argb, &why)) << why;
    CBitmap back;
    ASSERT_TRUE(LoadImageFile(dir / "a.png", back, &why)) << why;
    EXPECT_EQ(back, argb);

    CBitmap indexed;
    ASSERT_TRUE(indexed.Create(3, 2, PixelFormat::kIndexed8));
    indexed.Row(1)[2] = 1;
    indexed.Colors() = {ColorTable::kHasAlpha, {MakeArgb(0, 1, 2, 3), MakeArgb(255, 4, 5, 6)}};
    ASSERT_TRUE(SavePng(dir / "i.png", indexed, &why)) << why;
    ASSERT_TRUE(LoadImageFile(dir / "i.png", back, &why)) << why;
    EXPECT_EQ(back, indexed);

    // 2 x 2, 24-bit, bottom-up rows padded to 4 bytes.
    std::vector<uint8_t> bmp =
        Hex("424D 46000000 00000000 36000000"
            "28000000 02000000 02000000 0100 1800 00000000 10000000 00000000 00000000 00000000 "
            "00000000"
            "0000FF 00FF00 0000"    // bottom row: red, green
            "FF0000 FFFFFF 0000");  // top row: blue, white
    test::WriteFile(dir / "b.bmp", bmp);
    ASSERT_TRUE(LoadImageFile(dir / "b.bmp", back, &why)) << why;
    ASSERT_EQ(back.Format(), PixelFormat::kRgb24);
    EXPECT_EQ(back.ArgbAt(0, 0), MakeArgb(255, 0, 0, 255));
    EXPECT_EQ(back.ArgbAt(1, 0), MakeArgb(255, 255, 255, 255));
    EXPECT_EQ(back.ArgbAt(0, 1), MakeArgb(255, 255, 0, 0));
    EXPECT_EQ(back.ArgbAt(1, 1), MakeArgb(255, 0, 255, 0));

    std::vector<uint8_t> png = test::Hex("89504E470D0A1A0A");
    test::WriteFile(dir / "cut.png", png);
    bmp.resize(60);
    test::WriteFile(dir / "cut.bmp", bmp);
    test::WriteFile(dir / "text.png", {'h', 'i'});
    for (const char* name : {"missing.png", "cut.png", "cut.bmp", "text.png"}) {
        SCOPED_TRACE(name);
        why.clear();
        EXPECT_FALSE(LoadImageFile(dir / name, back, &why));
        EXPECT_NE(why.find(name), std::string::npos) << why;
    }
}

}  // namespace
}  // namespace vx
