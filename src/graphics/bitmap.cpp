#include "graphics/bitmap.h"

#include <png.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "foundation/bytes.h"
#include "foundation/file.h"

namespace vx {

int BitsPerPixel(PixelFormat format) {
    switch (format) {
        case PixelFormat::kIndexed1:
            return 1;
        case PixelFormat::kIndexed4:
            return 4;
        case PixelFormat::kIndexed8:
            return 8;
        case PixelFormat::kRgb24:
            return 24;
        case PixelFormat::kArgb32:
            return 32;
    }
    return 0;
}

bool CBitmap::Create(int width, int height, PixelFormat format) {
    // Pictures beyond 2^20 on a side or 2^28 pixels are beyond any menu canvas; refusing them
    // keeps every size computation far from overflow.
    if (width <= 0 || height <= 0 || width > (1 << 20) || height > (1 << 20) ||
        int64_t(width) * height > (int64_t(1) << 28))
        return false;
    width_ = width;
    height_ = height;
    format_ = format;
    stride_ = (size_t(width) * BitsPerPixel(format) + 7) / 8;
    pixels_.assign(stride_ * size_t(height), 0);
    colors_ = ColorTable{};
    return true;
}

uint8_t CBitmap::IndexAt(int x, int y) const {
    const uint8_t* row = Row(y);
    switch (format_) {
        case PixelFormat::kIndexed8:
            return row[x];
        case PixelFormat::kIndexed4:
            return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
        case PixelFormat::kIndexed1:
            return (row[x >> 3] >> (7 - (x & 7))) & 1;
        default:
            return 0;
    }
}

uint32_t CBitmap::ArgbAt(int x, int y) const {
    const uint8_t* row = Row(y);
    switch (format_) {
        case PixelFormat::kRgb24: {
            const uint8_t* p = row + size_t(x) * 3;
            return MakeArgb(255, p[2], p[1], p[0]);
        }
        case PixelFormat::kArgb32: {
            const uint8_t* p = row + size_t(x) * 4;
            return MakeArgb(p[3], p[2], p[1], p[0]);
        }
        default: {
            uint8_t index = IndexAt(x, y);
            if (index >= colors_.Entries.size())
                return 0;
            uint32_t c = colors_.Entries[index];
            return (colors_.Flags & ColorTable::kHasAlpha) ? c : (c | 0xFF000000u);
        }
    }
}

void CBitmap::SetArgb(int x, int y, uint32_t argb) {
    uint8_t* row = Row(y);
    if (format_ == PixelFormat::kRgb24) {
        uint8_t* p = row + size_t(x) * 3;
        p[0] = uint8_t(argb);
        p[1] = uint8_t(argb >> 8);
        p[2] = uint8_t(argb >> 16);
    } else if (format_ == PixelFormat::kArgb32) {
        uint8_t* p = row + size_t(x) * 4;
        p[0] = uint8_t(argb);
        p[1] = uint8_t(argb >> 8);
        p[2] = uint8_t(argb >> 16);
        p[3] = uint8_t(argb >> 24);
    }
}

namespace {

void SetError(std::string* error, const std::string& text) {
    if (error)
        *error = text;
}

// libpng reports errors through longjmp; the handlers keep the message.
struct PngContext {
    std::string message;
};

void PngError(png_structp png, png_const_charp text) {
    auto* context = static_cast<PngContext*>(png_get_error_ptr(png));
    if (context)
        context->message = text;
    png_longjmp(png, 1);
}

void PngWarning(png_structp, png_const_charp) {}

struct PngSource {
    const std::vector<uint8_t>* data;
    size_t pos;
};

void PngRead(png_structp png, png_bytep out, png_size_t count) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (count > source->data->size() - source->pos)
        png_error(png, "file ends inside the image");
    std::memcpy(out, source->data->data() + source->pos, count);
    source->pos += count;
}

// Decodes into out; the PNG structures live only inside this function, so that longjmp never
// crosses a C++ object with a destructor.
bool DecodePng(const std::vector<uint8_t>& file, CBitmap& out, PngContext& context) {
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &context, PngError, PngWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    PngSource source{&file, 0};
    std::vector<png_bytep>* rows = new std::vector<png_bytep>;
    bool ok = false;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_set_read_fn(png, &source, PngRead);
        png_set_user_limits(png, 32768, 32768);
        png_read_info(png, info);
        png_uint_32 width = png_get_image_width(png, info);
        png_uint_32 height = png_get_image_height(png, info);
        int colorType = png_get_color_type(png, info);
        int depth = png_get_bit_depth(png, info);
        bool indexed = colorType == PNG_COLOR_TYPE_PALETTE;
        if (indexed) {
            if (depth < 8)
                png_set_packing(png);
        } else {
            if (depth == 16)
                png_set_strip_16(png);
            if (colorType == PNG_COLOR_TYPE_GRAY || colorType == PNG_COLOR_TYPE_GRAY_ALPHA)
                png_set_gray_to_rgb(png);
            if (depth < 8 && colorType == PNG_COLOR_TYPE_GRAY)
                png_set_expand_gray_1_2_4_to_8(png);
            if (png_get_valid(png, info, PNG_INFO_tRNS))
                png_set_tRNS_to_alpha(png);
            else if (!(colorType & PNG_COLOR_MASK_ALPHA))
                png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
            png_set_bgr(png);
        }
        png_set_interlace_handling(png);
        png_read_update_info(png, info);
        if (out.Create(int(width), int(height),
                       indexed ? PixelFormat::kIndexed8 : PixelFormat::kArgb32) &&
            png_get_rowbytes(png, info) == out.Stride()) {
            if (indexed) {
                png_colorp palette = nullptr;
                int count = 0;
                png_get_PLTE(png, info, &palette, &count);
                png_bytep alpha = nullptr;
                int alphaCount = 0;
                png_color_16p unused = nullptr;
                if (png_get_valid(png, info, PNG_INFO_tRNS))
                    png_get_tRNS(png, info, &alpha, &alphaCount, &unused);
                ColorTable& table = out.Colors();
                table.Flags = ColorTable::kHasAlpha;
                for (int i = 0; i < count; ++i) {
                    uint8_t a = i < alphaCount ? alpha[i] : 255;
                    table.Entries.push_back(
                        MakeArgb(a, palette[i].red, palette[i].green, palette[i].blue));
                }
            }
            rows->resize(height);
            for (png_uint_32 y = 0; y < height; ++y) (*rows)[y] = out.Row(int(y));
            png_read_image(png, rows->data());
            png_read_end(png, nullptr);
            ok = true;
        } else if (context.message.empty()) {
            context.message = "unsupported image size or layout";
        }
    }
    delete rows;
    png_destroy_read_struct(&png, &info, nullptr);
    return ok;
}

// Uncompressed Windows bitmaps: 8-bit with a colour table, 24 or 32-bit, bottom-up or top-down.
bool DecodeBmp(const std::vector<uint8_t>& file, CBitmap& out, std::string& why) {
    try {
        ByteReader in(file.data(), file.size());
        in.Skip(10);
        uint32_t pixelOffset = ReadLE32(in.Here());
        in.Skip(4);
        uint32_t headerSize = ReadLE32(in.Here());
        if (headerSize < 40) {
            why = "unsupported BMP header";
            return false;
        }
        in.Need(headerSize);
        const uint8_t* h = in.Here();
        int32_t width = int32_t(ReadLE32(h + 4));
        int32_t height = int32_t(ReadLE32(h + 8));
        uint16_t bits = ReadLE16(h + 14);
        uint32_t compression = ReadLE32(h + 16);
        uint32_t used = ReadLE32(h + 32);
        bool topDown = height < 0;
        if (height == std::numeric_limits<int32_t>::min()) {
            why = "bad BMP size";
            return false;
        }
        if (topDown)
            height = -height;
        bool bitfields32 = compression == 3 && bits == 32;
        if ((compression != 0 && !bitfields32) || (bits != 8 && bits != 24 && bits != 32)) {
            why = "only uncompressed 8, 24 and 32-bit BMP files are read";
            return false;
        }
        PixelFormat format = bits == 8    ? PixelFormat::kIndexed8
                             : bits == 24 ? PixelFormat::kRgb24
                                          : PixelFormat::kArgb32;
        if (!out.Create(width, height, format)) {
            why = "bad BMP size";
            return false;
        }
        if (bits == 8) {
            uint32_t count = used ? used : 256;
            if (count > 256) {
                why = "BMP colour table too long";
                return false;
            }
            in.Skip(headerSize);
            in.Need(size_t(count) * 4);
            for (uint32_t i = 0; i < count; ++i) {
                const uint8_t* q = in.Here() + i * 4;
                out.Colors().Entries.push_back(MakeArgb(255, q[2], q[1], q[0]));
            }
        }
        const size_t srcStride = (size_t(width) * bits / 8 + 3) & ~size_t(3);
        in.Seek(pixelOffset);
        in.Need(srcStride * size_t(height - 1) + out.Stride());
        // A 32-bit BMP without any alpha set is an opaque picture.
        bool anyAlpha = false;
        for (int y = 0; y < height; ++y) {
            const uint8_t* src = in.Here() + srcStride * size_t(topDown ? y : height - 1 - y);
            std::memcpy(out.Row(y), src, out.Stride());
            if (bits == 32)
                for (int x = 0; x < width && !anyAlpha; ++x) anyAlpha = src[x * 4 + 3] != 0;
        }
        if (bits == 32 && !anyAlpha)
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) out.Row(y)[x * 4 + 3] = 255;
        return true;
    } catch (const ParseError&) {
        why = "BMP file cut short";
        return false;
    }
}

}  // namespace

bool LoadImageFile(const std::string& path, CBitmap& out, std::string* error) {
    std::vector<uint8_t> file;
    try {
        file = ReadWholeFile(path);
    } catch (const FileError& e) {
        SetError(error, path + ": " + e.Description());
        return false;
    }
    out = CBitmap{};
    if (file.size() >= 8 && png_sig_cmp(file.data(), 0, 8) == 0) {
        PngContext context;
        if (DecodePng(file, out, context))
            return true;
        out = CBitmap{};
        SetError(error, path + ": " + (context.message.empty() ? "bad PNG file" : context.message));
        return false;
    }
    if (file.size() >= 2 && file[0] == 'B' && file[1] == 'M') {
        std::string why;
        if (DecodeBmp(file, out, why))
            return true;
        out = CBitmap{};
        SetError(error, path + ": " + why);
        return false;
    }
    SetError(error, path + ": not a PNG or BMP file");
    return false;
}

namespace {

void PngWrite(png_structp png, png_bytep data, png_size_t count) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + count);
}

void PngFlush(png_structp) {}

bool EncodePng(const CBitmap& bitmap, std::vector<uint8_t>& out, PngContext& context) {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, &context, PngError, PngWarning);
    if (!png)
        return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    std::vector<png_color>* palette = new std::vector<png_color>;
    std::vector<png_byte>* alpha = new std::vector<png_byte>;
    bool ok = false;
    if (setjmp(png_jmpbuf(png)) == 0) {
        png_set_write_fn(png, &out, PngWrite, PngFlush);
        bool indexed = bitmap.Format() == PixelFormat::kIndexed8;
        png_set_IHDR(png, info, png_uint_32(bitmap.Width()), png_uint_32(bitmap.Height()), 8,
                     indexed ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB_ALPHA,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        if (indexed) {
            for (uint32_t c : bitmap.Colors().Entries) {
                palette->push_back({png_byte(c >> 16), png_byte(c >> 8), png_byte(c)});
                alpha->push_back((bitmap.Colors().Flags & ColorTable::kHasAlpha) ? png_byte(c >> 24)
                                                                                 : 255);
            }
            if (palette->empty())
                palette->push_back({0, 0, 0}), alpha->push_back(255);
            png_set_PLTE(png, info, palette->data(), int(palette->size()));
            png_set_tRNS(png, info, alpha->data(), int(alpha->size()), nullptr);
        }
        png_write_info(png, info);
        if (!indexed)
            png_set_bgr(png);
        for (int y = 0; y < bitmap.Height(); ++y)
            png_write_row(png, const_cast<png_bytep>(bitmap.Row(y)));
        png_write_end(png, nullptr);
        ok = true;
    }
    delete palette;
    delete alpha;
    png_destroy_write_struct(&png, &info);
    return ok;
}

}  // namespace

bool SavePng(const std::string& path, const CBitmap& bitmap, std::string* error) {
    if (bitmap.Format() != PixelFormat::kIndexed8 && bitmap.Format() != PixelFormat::kArgb32) {
        SetError(error, "only 8-bit indexed and 32-bit pictures are written as PNG");
        return false;
    }
    std::vector<uint8_t> bytes;
    PngContext context;
    if (!EncodePng(bitmap, bytes, context)) {
        SetError(error, context.message.empty() ? "PNG encoding failed" : context.message);
        return false;
    }
    try {
        WriteWholeFileAtomic(path, bytes);
    } catch (const FileError& e) {
        SetError(error, e.Path() + ": " + e.Description());
        return false;
    }
    return true;
}

}  // namespace vx
