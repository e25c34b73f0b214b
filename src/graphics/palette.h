#pragma once
// Palettes of an epoch: up to 255 entries of blue, green, red and alpha that a PDS carries as
// Y, Cr, Cb and T. Entry 255 is never defined, so an index that must show nothing can use it.

#include <cstdint>

#include "foundation/named_object.h"
#include "graphics/bitmap.h"
#include "graphics/segments.h"

namespace vx {

// One palette entry, in memory order: index, blue, green, red, alpha (0 transparent).
struct ERGBQUAD {
    uint8_t Index = 0;
    uint8_t Blue = 0;
    uint8_t Green = 0;
    uint8_t Red = 0;
    uint8_t Alpha = 0;
    bool operator==(const ERGBQUAD&) const = default;
};

class CErgbPalette : public CTypeArray<ERGBQUAD> {
    VX_DYNAMIC(CErgbPalette, CTypeArray<ERGBQUAD>)

public:
    static constexpr int kMaxEntries = 255;
    static constexpr const char* kLabel = "Palettte";

    void Copy(const CNamedObject& source) override;

    // Replaces the entries with the first 255 colours of the table. Entry alpha is the colour's
    // own when the table carries alpha; otherwise opacity (clamped to 0..1) x 255, rounded half
    // up, for the transparent index and 255 for every other entry.
    void FromColorTable(const ColorTable& table, int transparentIndex, double opacity);
    // The entries as a colour table with alpha.
    ColorTable ToColorTable() const;

    uint8_t TransparentIndex = 255;
};

class CPoFolder : public CNamedPtrArray<CErgbPalette> {
    VX_DYNAMIC(CPoFolder, CNamedPtrArray<CErgbPalette>)

public:
    static constexpr const char* kLabel = "Palettes";
    // A new palette named "Palettte#n" with n the number of palettes already present.
    CErgbPalette* NewPalette();
    CErgbPalette* FindById(int32_t id) const;
};

struct SYCbCr {
    uint8_t Y, Cr, Cb;
};
// Studio-range conversion, each value truncated toward zero and then limited: Y to 16..235,
// Cr and Cb to 16..240.
SYCbCr RgbToYCbCr(uint8_t red, uint8_t green, uint8_t blue);

// Resets the PDS and gives it one entry per palette entry (at most 256), same index, T = alpha.
void FillPds(CPds& pds, const CErgbPalette& palette);

}  // namespace vx
