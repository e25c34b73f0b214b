// Reading a graphics stream back into the interactive composition model.

#include <algorithm>
#include <cstring>

#include "graphics/ig_model.h"
#include "graphics/run_length.h"

namespace vx {

namespace {

uint8_t Clamp8(double v) {
    return uint8_t(std::clamp(v + 0.5, 0.0, 255.0));
}

// The inverse of the studio-range conversion, to show a read palette approximately.
void YCbCrToRgb(const SPaletteEntry& e, ERGBQUAD& q) {
    const double y = 1.164 * (e.Y - 16), cr = e.Cr - 128.0, cb = e.Cb - 128.0;
    q.Red = Clamp8(y + 1.596 * cr);
    q.Green = Clamp8(y - 0.813 * cr - 0.391 * cb);
    q.Blue = Clamp8(y + 2.018 * cb);
}

}  // namespace

bool ModelFromSegments(const CGsData& stream, CIgObject& model, std::string* reason) {
    auto fail = [&](const std::string& text) {
        if (reason)
            *reason = text;
        return false;
    };
    model.RemoveAll();
    model.EpochCounter = 0;
    model.VideoDescriptor = stream.VideoDescriptor;
    for (const CEpochData& epochData : stream.Epochs) {
        CEpoch* epoch = model.NewEpoch();
        for (const CDsData& dsData : epochData) {
            std::vector<uint8_t> composition;
            if (!JoinComposition(dsData, composition))
                return fail("a display set has no complete interactive composition");
            CDisplaySet* ds = epoch->NewDisplaySet();
            ds->CompositionState = dsData.CompositionState;
            if (ds->Parse(composition.data(), composition.size(), 0) <= 0)
                return fail("an interactive composition does not parse");
            for (const auto& pds : dsData.Pds) {
                if (epoch->Palettes.FindById(pds->PaletteId))
                    continue;
                CErgbPalette* palette = epoch->Palettes.NewPalette();
                palette->SetId(pds->PaletteId);
                for (const SPaletteEntry& e : pds->Entries) {
                    ERGBQUAD q;
                    q.Index = e.Id;
                    q.Alpha = e.T;
                    YCbCrToRgb(e, q);
                    palette->Add(q);
                }
            }
            for (size_t i = 0; i < dsData.Ods.size();) {
                std::vector<uint8_t> data;
                size_t next = i;
                if (!JoinObjectData(dsData, i, data, next))
                    return fail("object fragments are out of order");
                int width = 0, height = 0;
                std::vector<uint8_t> indices;
                if (!DecodeObjectData(data.data(), data.size(), width, height, indices))
                    return fail("object " + std::to_string(dsData.Ods[i]->ObjectId) +
                                " does not decode");
                if (!epoch->Graphics.FindById(dsData.Ods[i]->ObjectId)) {
                    auto picture = std::make_unique<CBitmap>();
                    if (!picture->Create(width, height, PixelFormat::kIndexed8))
                        return fail("object of a size no picture can have");
                    for (int y = 0; y < height; ++y)
                        std::memcpy(picture->Row(y), indices.data() + size_t(y) * size_t(width),
                                    size_t(width));
                    CGraphicObject* g = epoch->Graphics.NewObject();
                    g->SetId(dsData.Ods[i]->ObjectId);
                    g->SetImage(std::move(picture));
                }
                i = next;
            }
        }
    }
    model.ResolveIds();
    return true;
}

}  // namespace vx
