#include "graphics/palette.h"

#include <algorithm>
#include <cmath>

namespace vx {

void CErgbPalette::Copy(const CNamedObject& source) {
    CTypeArray<ERGBQUAD>::Copy(source);
    if (auto* typed = dynamic_cast<const CErgbPalette*>(&source))
        TransparentIndex = typed->TransparentIndex;
}

void CErgbPalette::FromColorTable(const ColorTable& table, int transparentIndex, double opacity) {
    RemoveAll();
    opacity = std::clamp(opacity, 0.0, 1.0);
    TransparentIndex = uint8_t(transparentIndex);
    const bool hasAlpha = (table.Flags & ColorTable::kHasAlpha) != 0;
    const uint8_t transparentAlpha = uint8_t(std::floor(opacity * 255 + 0.5));
    const size_t n = std::min<size_t>(table.Entries.size(), kMaxEntries);
    for (size_t i = 0; i < n; ++i) {
        uint32_t c = table.Entries[i];
        ERGBQUAD q;
        q.Index = uint8_t(i);
        q.Blue = uint8_t(c);
        q.Green = uint8_t(c >> 8);
        q.Red = uint8_t(c >> 16);
        if (hasAlpha)
            q.Alpha = uint8_t(c >> 24);
        else
            q.Alpha = int(i) == transparentIndex ? transparentAlpha : 255;
        Add(q);
    }
}

ColorTable CErgbPalette::ToColorTable() const {
    ColorTable table;
    table.Flags = ColorTable::kHasAlpha;
    for (const ERGBQUAD* q : Records())
        table.Entries.push_back(MakeArgb(q->Alpha, q->Red, q->Green, q->Blue));
    return table;
}

CErgbPalette* CPoFolder::NewPalette() {
    auto palette = std::make_unique<CErgbPalette>();
    NameChild(*palette, CErgbPalette::kLabel, GetCount());
    return Add(std::move(palette));
}

CErgbPalette* CPoFolder::FindById(int32_t id) const {
    for (CErgbPalette* p : Children())
        if (p->GetId() == id)
            return p;
    return nullptr;
}

SYCbCr RgbToYCbCr(uint8_t red, uint8_t green, uint8_t blue) {
    const double r = red, g = green, b = blue;
    auto limit = [](double v, int lo, int hi) {
        return uint8_t(std::clamp(int(std::trunc(v)), lo, hi));
    };
    return {limit(0.257 * r + 0.504 * g + 0.098 * b + 16, 16, 235),
            limit(0.439 * r - 0.368 * g - 0.071 * b + 128, 16, 240),
            limit(-0.148 * r - 0.291 * g + 0.439 * b + 128, 16, 240)};
}

void FillPds(CPds& pds, const CErgbPalette& palette) {
    pds.Reset();
    for (const ERGBQUAD* q : palette.Records()) {
        if (pds.Entries.size() == CPds::kMaxEntries)
            break;
        SYCbCr c = RgbToYCbCr(q->Red, q->Green, q->Blue);
        pds.Entries.push_back({q->Index, c.Y, c.Cr, c.Cb, q->Alpha});
    }
}

}  // namespace vx
