#pragma once
// Builds small menus for tests: pictures of one colour (with a transparent border when asked)
// attached to graphic objects of an epoch, and buttons showing them.

#include <memory>

#include "graphics/ig_model.h"

namespace vx::test {

// An interactive-graphics object at 1920 x 1080, 23.976 frames/s, with one epoch, one display
// set and one empty page.
struct Menu {
    CIgObject ig;
    CEpoch* epoch;
    CDisplaySet* ds;
    CPage* page;
    Menu() {
        ig.VideoDescriptor = {1920, 1080, 1};
        epoch = ig.NewEpoch();
        ds = epoch->NewDisplaySet();
        page = ds->NewPage();
    }
};

inline std::unique_ptr<CBitmap> SolidPicture(int width, int height, uint32_t argb,
                                             bool transparentBorder = false) {
    auto b = std::make_unique<CBitmap>();
    b->Create(width, height, PixelFormat::kArgb32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            bool border = x == 0 || y == 0 || x == width - 1 || y == height - 1;
            b->SetArgb(x, y, transparentBorder && border ? 0 : argb);
        }
    return b;
}

inline CGraphicObject* AddPicture(CEpoch& epoch, int width, int height, uint32_t argb,
                                  bool transparentBorder = false) {
    CGraphicObject* g = epoch.Graphics.NewObject();
    g->SetId(epoch.Graphics.GetCount() - 1);
    g->SetImage(SolidPicture(width, height, argb, transparentBorder));
    return g;
}

// A button at (x, y) whose three states show one picture each (normal, selected, activated).
inline CBdButton* AddButton(CEpoch& epoch, CBog& bog, int x, int y, int width, int height,
                            uint32_t normal = 0xFF808080, uint32_t selected = 0xFFFFFF00,
                            uint32_t activated = 0xFFFF0000) {
    CBdButton* b = bog.NewButton();
    b->HorPos = uint16_t(x);
    b->VerPos = uint16_t(y);
    const uint32_t colors[3] = {normal, selected, activated};
    for (int s = 0; s < 3; ++s) {
        CGraphicObject* g = AddPicture(epoch, width, height, colors[s], true);
        b->States[size_t(s)].Start.Set(g);
        b->States[size_t(s)].End.Set(g);
    }
    return b;
}

// A button whose states show nothing but whose normal state has a picture of the given size.
inline CBdButton* AddPlainButton(CEpoch& epoch, CBog& bog, int x, int y, int width, int height) {
    CBdButton* b = bog.NewButton();
    b->HorPos = uint16_t(x);
    b->VerPos = uint16_t(y);
    CGraphicObject* g = AddPicture(epoch, width, height, 0xFF404040);
    b->States[CBdButton::kNormal].Start.Set(g);
    b->States[CBdButton::kNormal].End.Set(g);
    return b;
}

}  // namespace vx::test
