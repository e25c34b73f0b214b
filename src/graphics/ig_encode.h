#pragma once
// The pieces of menu encoding that decide order and time.
//
// Object order of a page (each object once, the mark flag skipping objects already taken; a
// button state contributes the objects whose ids run from its start to its end id):
//   1 the in-effects' composition objects; 2 the normal state of each BOG's default button;
//   3 the selected state of the page's default selected button; 4 the selected state of each
//   BOG's default button; 5 the activated state of each BOG's default button; 6 every other
//   button's normal, selected and activated states; 7 the out-effects' objects.
// The last initial object is the last one that the page needs to be first shown: the last of
// steps 1-2, or when steps 3-4 add objects, the first of those when the page has a default
// selected button, else the last of them.
//
// Time: the decode duration J is the decoding of the initial objects at 64 Mbit/s (at least
// the clearing of the graphics plane at 128 Mbit/s for an epoch start) plus writing the
// initial composition at 128 Mbit/s. The presentation time P is the start frame in ticks,
// rounded half up, raised to a whole number of frame periods that holds J and to 131 070;
// decoding starts at D = P - J. All of it in integer arithmetic.

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/named_object.h"
#include "graphics/ig_model.h"

namespace vx {

// Clears the mark flag of every graphic object and palette of the epoch (before and after
// each collection pass).
void ClearMarks(CEpoch& epoch);

// Appends the page's objects in object order (marks must be clear for a fresh collection and
// are left set); returns the index in into of the last initial object, -1 when none.
int CollectPageObjects(CEpoch& epoch, const CPage& page, CNamedPtrCollection& into);

struct SPagePicture {
    const CGraphicObject* object;
    CBitmap picture;  // 8-bit, indices of the page's palette
};
// The palette of a page that has none: its pictures, in object order, converted together to
// one shared table (alpha kept), which becomes the palette; pictures receives each object's
// converted picture, the one to code so that every index means the same colour on the page.
// A page without pictures gets an empty palette. False with a reason when a picture cannot be
// had or converted.
bool PagePaletteFromImages(CEpoch& epoch, const CPage& page, CErgbPalette& palette,
                           std::vector<SPagePicture>& pictures, std::string* reason = nullptr);

// The exact frame rate of a frame-rate code as numerator / denominator; false for 0, 5, 8+.
bool FrameRateOf(uint8_t code, int64_t& numerator, int64_t& denominator);

// J from the collected objects, the index of the last initial object and the first page.
int64_t DecodeDuration(const CNamedPtrCollection& objects, int lastInitial, bool epochStart,
                       const SVideoDescriptor& video, const CPage* firstPage);

// P and D = P - J; false for an unknown frame-rate code or a P past 32 bits.
bool PresentationTime(uint8_t frameRate, uint32_t startFrame, int64_t decodeDuration,
                      uint32_t& presentation, uint32_t& decodeStart);

}  // namespace vx
