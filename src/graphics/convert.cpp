#include "graphics/convert.h"

#include <algorithm>
#include <cstring>
#include <unordered_map>

#include "graphics/quantizer.h"

namespace vx {

namespace {

constexpr int kMaxColors = 255;
constexpr uint8_t kQuantizerAlphaCut = 5;

// The pixel whose index becomes the transparent index (see ConvertTo8Bit).
void KeyPixel(const CBitmap& source, int& kx, int& ky) {
    kx = ky = 0;
    if ((source.ArgbAt(0, 0) >> 24) == 0)
        return;
    const int w = source.Width() - 1, h = source.Height() - 1;
    const int corners[4][2] = {{0, 0}, {w, 0}, {0, h}, {w, h}};
    uint32_t colors[4];
    for (int i = 0; i < 4; ++i) colors[i] = source.ArgbAt(corners[i][0], corners[i][1]);
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j)
            if (colors[j] == colors[i]) {
                kx = corners[j][0];
                ky = corners[j][1];
                break;
            }
}

void UnpackIndexed(const CBitmap& source, CBitmap& out) {
    out.Create(source.Width(), source.Height(), PixelFormat::kIndexed8);
    out.Colors() = source.Colors();
    for (int y = 0; y < source.Height(); ++y) {
        uint8_t* row = out.Row(y);
        if (source.Format() == PixelFormat::kIndexed8)
            std::memcpy(row, source.Row(y), size_t(source.Width()));
        else
            for (int x = 0; x < source.Width(); ++x) row[x] = source.IndexAt(x, y);
    }
}

bool ExactTable(const CBitmap& source, CBitmap& out) {
    std::unordered_map<uint32_t, uint8_t> seen;
    std::vector<uint32_t> entries;
    bool anyTransparent = false;
    for (int y = 0; y < source.Height(); ++y) {
        const uint8_t* p = source.Row(y);
        for (int x = 0; x < source.Width(); ++x, p += 4) {
            if (p[3] == 0) {
                anyTransparent = true;
                continue;
            }
            uint32_t argb = MakeArgb(p[3], p[2], p[1], p[0]);
            if (seen.emplace(argb, uint8_t(entries.size())).second) {
                if (entries.size() == kMaxColors)
                    return false;
                entries.push_back(argb);
            }
        }
    }
    if (anyTransparent)
        entries.push_back(0);
    if (entries.size() < 2)
        return false;
    // Every entry except a trailing transparent black has alpha above 0.
    const uint8_t transparent = anyTransparent ? uint8_t(entries.size() - 1) : uint8_t(255);
    out.Create(source.Width(), source.Height(), PixelFormat::kIndexed8);
    out.Colors().Flags = ColorTable::kHasAlpha;
    out.Colors().Entries = entries;
    for (int y = 0; y < source.Height(); ++y) {
        const uint8_t* p = source.Row(y);
        uint8_t* row = out.Row(y);
        for (int x = 0; x < source.Width(); ++x, p += 4)
            row[x] = p[3] == 0 ? transparent : seen[MakeArgb(p[3], p[2], p[1], p[0])];
    }
    return true;
}

bool Quantize(const CBitmap& source, CBitmap& out, int& extraIndex) {
    const bool hasAlpha = source.Format() == PixelFormat::kArgb32;
    CBitmap copy;
    const CBitmap* rgb = &source;
    if (source.Format() != PixelFormat::kRgb24) {
        if (hasAlpha) {
            copy = To24BitCopy(source);
        } else {
            copy.Create(source.Width(), source.Height(), PixelFormat::kRgb24);
            for (int y = 0; y < source.Height(); ++y)
                for (int x = 0; x < source.Width(); ++x) copy.SetArgb(x, y, source.ArgbAt(x, y));
        }
        rgb = &copy;
    }
    const int w = source.Width(), h = source.Height();
    std::vector<uint8_t> skip;
    if (hasAlpha) {
        skip.resize(size_t(w) * size_t(h));
        for (int y = 0; y < h; ++y) {
            const uint8_t* p = source.Row(y);
            for (int x = 0; x < w; ++x)
                skip[size_t(y) * size_t(w) + size_t(x)] = p[x * 4 + 3] < kQuantizerAlphaCut;
        }
    }
    SQuantized q;
    if (!QuantizeTwoPass(rgb->Row(0), w, h, rgb->Stride(), kMaxColors,
                         hasAlpha ? skip.data() : nullptr, q))
        return false;
    const int n = int(q.ColorMap.size());
    out.Create(w, h, PixelFormat::kIndexed8);
    for (int y = 0; y < h; ++y)
        std::memcpy(out.Row(y), q.Indices.data() + size_t(y) * size_t(w), size_t(w));
    ColorTable& table = out.Colors();
    table.Flags = ColorTable::kHasAlpha;
    std::vector<int> alpha(size_t(n), -1);
    if (hasAlpha) {
        for (int y = 0; y < h; ++y) {
            const uint8_t* p = source.Row(y);
            const uint8_t* row = out.Row(y);
            for (int x = 0; x < w; ++x)
                if (row[x] < n && alpha[row[x]] < 0)
                    alpha[row[x]] = p[x * 4 + 3];
        }
    }
    // Components 0, 1, 2 are the memory bytes blue, green, red.
    for (int i = 0; i < n; ++i) {
        const auto& c = q.ColorMap[size_t(i)];
        table.Entries.push_back(
            MakeArgb(uint8_t(alpha[size_t(i)] < 0 ? 255 : alpha[size_t(i)]), c[2], c[1], c[0]));
    }
    if (hasAlpha)
        table.Entries.push_back(0);
    extraIndex = hasAlpha ? n : -1;
    return true;
}

}  // namespace

CBitmap To24BitCopy(const CBitmap& argb) {
    CBitmap copy;
    copy.Create(argb.Width(), argb.Height(), PixelFormat::kRgb24);
    for (int y = 0; y < argb.Height(); ++y) {
        const uint8_t* p = argb.Row(y);
        uint8_t* q = copy.Row(y);
        for (int x = 0; x < argb.Width(); ++x, p += 4, q += 3) {
            const int a = p[3];
            for (int c = 0; c < 3; ++c) {
                if (a == 255) {
                    q[c] = p[c];
                } else {
                    const double f = a / 255.0;
                    q[c] = uint8_t((1.0 - f) * (255 - p[c]) + f * p[c]);
                }
            }
        }
    }
    return copy;
}

bool ConvertTo8Bit(const CBitmap& source, CBitmap& out, int& transparentIndex) {
    out = CBitmap{};
    transparentIndex = 255;
    if (source.Empty())
        return false;
    int kx, ky;
    KeyPixel(source, kx, ky);
    if (IsIndexed(source.Format())) {
        UnpackIndexed(source, out);
        transparentIndex = out.IndexAt(kx, ky);
        return true;
    }
    if (source.Format() == PixelFormat::kArgb32 && ExactTable(source, out)) {
        transparentIndex = out.IndexAt(kx, ky);
        return true;
    }
    int extra = -1;
    if (!Quantize(source, out, extra))
        return false;
    if (extra >= 0) {
        transparentIndex = extra;
    } else {
        transparentIndex = out.IndexAt(kx, ky);
        uint32_t& entry = out.Colors().Entries[size_t(transparentIndex)];
        entry &= 0x00FFFFFF;
    }
    return true;
}

bool ConvertSetTo8Bit(const std::vector<const CBitmap*>& sources, std::vector<CBitmap>& out,
                      ColorTable& table, int& transparentIndex) {
    out.assign(sources.size(), CBitmap{});
    table = ColorTable{};
    transparentIndex = 255;
    const CBitmap* first = nullptr;
    int present = 0, width = 0, height = 0;
    bool anyArgb = false;
    for (const CBitmap* s : sources) {
        if (s == nullptr || s->Empty())
            continue;
        if (!first)
            first = s;
        ++present;
        width += s->Width();
        height = std::max(height, s->Height());
        anyArgb = anyArgb || s->Format() == PixelFormat::kArgb32;
    }
    if (present == 0)
        return false;
    if (present == 1) {
        for (size_t i = 0; i < sources.size(); ++i)
            if (sources[i] == first) {
                if (!ConvertTo8Bit(*first, out[i], transparentIndex))
                    return false;
                table = out[i].Colors();
                return true;
            }
    }
    CBitmap canvas;
    if (!canvas.Create(width, height, anyArgb ? PixelFormat::kArgb32 : PixelFormat::kRgb24))
        return false;
    const uint32_t clear = first->ArgbAt(0, 0);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) canvas.SetArgb(x, y, clear);
    std::vector<int> left(sources.size(), 0);
    int x0 = 0;
    for (size_t i = 0; i < sources.size(); ++i) {
        const CBitmap* s = sources[i];
        if (s == nullptr || s->Empty())
            continue;
        left[i] = x0;
        const int top = (height - s->Height()) / 2;
        for (int y = 0; y < s->Height(); ++y)
            for (int x = 0; x < s->Width(); ++x) canvas.SetArgb(x0 + x, top + y, s->ArgbAt(x, y));
        x0 += s->Width();
    }
    CBitmap indexed;
    if (!ConvertTo8Bit(canvas, indexed, transparentIndex))
        return false;
    table = indexed.Colors();
    for (size_t i = 0; i < sources.size(); ++i) {
        const CBitmap* s = sources[i];
        if (s == nullptr || s->Empty())
            continue;
        const int top = (height - s->Height()) / 2;
        CBitmap& cut = out[i];
        cut.Create(s->Width(), s->Height(), PixelFormat::kIndexed8);
        for (int y = 0; y < s->Height(); ++y)
            std::memcpy(cut.Row(y), indexed.Row(top + y) + left[i], size_t(s->Width()));
        cut.Colors() = table;
    }
    return true;
}

bool PlaceInRect(const CBitmap& source, int width, int height, int x, int y, CBitmap& out) {
    if (source.Format() != PixelFormat::kIndexed8 ||
        !out.Create(width, height, PixelFormat::kIndexed8))
        return false;
    ColorTable table = source.Colors();
    int fill = -1;
    if (table.Flags & ColorTable::kHasAlpha)
        for (size_t i = 0; i < table.Entries.size() && i < 255; ++i)
            if ((table.Entries[i] >> 24) == 0) {
                fill = int(i);
                break;
            }
    if (fill < 0 && table.Entries.size() < 255) {
        // Entries of a table without alpha are opaque; the new entry alone is transparent.
        if (!(table.Flags & ColorTable::kHasAlpha)) {
            for (uint32_t& e : table.Entries) e |= 0xFF000000u;
            table.Flags |= ColorTable::kHasAlpha;
        }
        fill = int(table.Entries.size());
        table.Entries.push_back(0);
    }
    if (fill < 0)
        fill = 255;
    out.Colors() = table;
    for (int row = 0; row < height; ++row) std::memset(out.Row(row), fill, size_t(width));
    for (int sy = 0; sy < source.Height(); ++sy) {
        const int ty = y + sy;
        if (ty < 0 || ty >= height)
            continue;
        for (int sx = 0; sx < source.Width(); ++sx) {
            const int tx = x + sx;
            if (tx >= 0 && tx < width)
                out.Row(ty)[tx] = source.Row(sy)[sx];
        }
    }
    return true;
}

}  // namespace vx
