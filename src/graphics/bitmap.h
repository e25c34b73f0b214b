#pragma once
// The core's in-memory picture: 1, 4 or 8-bit indexed with a colour table, 24-bit RGB or 32-bit
// ARGB with straight (not premultiplied) alpha. Pixel bytes are in memory order blue, green,
// red (, alpha); indexed rows pack pixels from the most significant bits. Rows are stored top
// down, each Stride bytes long.

#include <cstdint>
#include <string>
#include <vector>

namespace vx {

enum class PixelFormat { kIndexed1, kIndexed4, kIndexed8, kRgb24, kArgb32 };

int BitsPerPixel(PixelFormat format);
inline bool IsIndexed(PixelFormat format) {
    return format == PixelFormat::kIndexed1 || format == PixelFormat::kIndexed4 ||
           format == PixelFormat::kIndexed8;
}

// A colour table as image libraries exchange it: entries 0xAARRGGBB; flag bit 0 says that the
// entries carry alpha (otherwise their alpha bytes mean nothing).
struct ColorTable {
    static constexpr uint32_t kHasAlpha = 1;
    uint32_t Flags = 0;
    std::vector<uint32_t> Entries;
    bool operator==(const ColorTable&) const = default;
};

inline constexpr uint32_t MakeArgb(uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
    return (uint32_t(a) << 24) | (uint32_t(r) << 16) | (uint32_t(g) << 8) | b;
}

class CBitmap {
public:
    CBitmap() = default;
    // A zero-filled picture; false when the size is not positive or too large.
    bool Create(int width, int height, PixelFormat format);

    int Width() const { return width_; }
    int Height() const { return height_; }
    PixelFormat Format() const { return format_; }
    size_t Stride() const { return stride_; }
    bool Empty() const { return width_ == 0 || height_ == 0; }
    uint8_t* Row(int y) { return pixels_.data() + size_t(y) * stride_; }
    const uint8_t* Row(int y) const { return pixels_.data() + size_t(y) * stride_; }
    ColorTable& Colors() { return colors_; }
    const ColorTable& Colors() const { return colors_; }

    // The index of an indexed pixel (0 for other formats).
    uint8_t IndexAt(int x, int y) const;
    // The pixel as 0xAARRGGBB: indexed pixels through the colour table (opaque when the table
    // carries no alpha, transparent black past its end), 24-bit pixels opaque.
    uint32_t ArgbAt(int x, int y) const;
    void SetArgb(int x, int y, uint32_t argb);  // 24/32-bit only

    bool operator==(const CBitmap&) const = default;

private:
    int width_ = 0;
    int height_ = 0;
    PixelFormat format_ = PixelFormat::kArgb32;
    size_t stride_ = 0;
    std::vector<uint8_t> pixels_;
    ColorTable colors_;
};

// Loads a PNG (any colour type; palette images of up to 8 bits stay indexed with their table,
// the others become 32-bit ARGB) or an uncompressed BMP (8-bit indexed, 24 or 32-bit). On
// failure returns false and, when error is given, says why.
bool LoadImageFile(const std::string& path, CBitmap& out, std::string* error = nullptr);

// Writes a 32-bit ARGB or 8-bit indexed picture as PNG (for tests and tools); the file appears
// under its name only when whole.
bool SavePng(const std::string& path, const CBitmap& bitmap, std::string* error = nullptr);

}  // namespace vx
