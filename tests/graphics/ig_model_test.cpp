// The interactive composition model: creation and naming, references, neighbours, order and
// time of what a display set shows first.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graphics/ig_encode.h"
#include "graphics/ig_model.h"
#include "ig_menu_builder.h"

namespace vx {
namespace {

using test::AddButton;
using test::AddPicture;
using test::AddPlainButton;
using test::Menu;

TEST(IgModel, CreationAndNames) {
    CIgObject ig;
    CEpoch* e1 = ig.NewEpoch();
    CEpoch* e2 = ig.NewEpoch();
    EXPECT_EQ(e1->GetName(), "Epoch#1");
    EXPECT_EQ(e1->GetId(), 0);
    EXPECT_EQ(e2->GetName(), "Epoch#2");
    EXPECT_EQ(e2->GetId(), 1);
    EXPECT_EQ(e1->Graphics.GetName(), "Graphics");
    EXPECT_EQ(e1->Palettes.GetName(), "Palettes");
    CDisplaySet* ds = e1->NewDisplaySet();
    EXPECT_EQ(ds->GetName(), "DisplaySet#1");
    EXPECT_EQ(ds->GetId(), 0);
    EXPECT_EQ(ds->StreamModel, 1);
    EXPECT_EQ(ds->CompositionState, kEpochStart);
    CPage* page = ds->NewPage();
    EXPECT_EQ(page->GetName(), "Page#0");
    EXPECT_EQ(ds->NewPage()->GetName(), "Page#1");
    EXPECT_EQ(page->CurrentSelectedButton.GetName(), "Current Selected Button");
    EXPECT_EQ(page->CurrentSelectedButton.GetId(), 0xFFFE);
    EXPECT_EQ(page->InEffects.GetName(), "In Effect");
    EXPECT_EQ(page->OutEffects.GetName(), "Out Effect");
    CBog* bog = page->NewBog();
    EXPECT_EQ(bog->GetName(), "Bog#0");
    CBdButton* b = bog->NewButton();
    EXPECT_EQ(b->GetName(), "Button#0");
    EXPECT_EQ(bog->DefaultButton.Ptr, b);
    EXPECT_EQ(b->States[CBdButton::kSelected].SoundId, 255);
    EXPECT_EQ(b->NumbericValue, -1);
    EXPECT_EQ(e1->Graphics.NewObject()->GetName(), "Graphic#0");
    EXPECT_EQ(e1->Palettes.NewPalette()->GetName(), "Palettte#0");
    EXPECT_TRUE(CIgObject().HasNoButtons());
    EXPECT_FALSE(ig.HasNoButtons());
}

TEST(IgModel, NewButtonTakesTheLowestFreeIdOfThePage) {
    Menu m;
    CBog* first = m.page->NewBog();
    CBog* second = m.page->NewBog();
    for (int id : {0, 1, 3}) (id == 1 ? second : first)->NewButton()->SetId(id);
    CBdButton* b = second->NewButton();
    EXPECT_EQ(b->GetId(), 2);
    EXPECT_EQ(b->GetName(), "Button#2");
    EXPECT_NE(second->DefaultButton.Ptr, b);  // the group had a default already
    EXPECT_EQ(second->NewButton()->GetId(), 4);
}

TEST(IgModel, TypeOtherThanOneDropsCommands) {
    CBdButton b;
    b.Commands.Add(CNavCmd{});
    b.SetType(1);
    EXPECT_EQ(b.Commands.GetCount(), 1);
    b.SetType(2);
    EXPECT_EQ(b.Commands.GetCount(), 0);
    EXPECT_EQ(b.GetType(), 2);
}

TEST(IgModel, VideoDescriptorFromAVideoStream) {
    struct Case {
        uint8_t codingType, format, rate, aspect;
        uint16_t presetWidth, presetHeight;
        bool result;
        uint16_t width, height;
        uint8_t wide;
    };
    const Case cases[] = {
        {0x1B, 6, 1, 3, 0, 0, true, 1920, 1080, 1},    {0x02, 1, 4, 2, 0, 0, true, 720, 480, 0},
        {0xEA, 5, 7, 3, 0, 0, true, 1280, 720, 1},     {0x1B, 7, 3, 3, 720, 576, true, 720, 576, 1},
        {0x1B, 6, 1, 3, 720, 576, false, 720, 576, 1},  // a different size is kept
        {0x81, 6, 1, 3, 0, 0, false, 0, 0, 0},          // not a video stream
    };
    for (const Case& c : cases) {
        CIgObject ig;
        ig.VideoDescriptor.Width = c.presetWidth;
        ig.VideoDescriptor.Height = c.presetHeight;
        EXPECT_EQ(ig.SetVideoFromStream(c.codingType, c.format, c.rate, c.aspect), c.result);
        EXPECT_EQ(ig.VideoDescriptor.Width, c.width);
        EXPECT_EQ(ig.VideoDescriptor.Height, c.height);
        EXPECT_EQ(ig.Wide, c.wide);
    }
}

TEST(IgModel, RefreshAndResolveIds) {
    Menu m;
    CBog* bog = m.page->NewBog();
    CBdButton* a = AddButton(*m.epoch, *bog, 0, 0, 10, 10);
    CBdButton* b = m.page->NewBog()->NewButton();
    a->Neighbors.Buttons[CNeighborInfo::kRight].Set(b);
    m.page->DefaultSelectedButton.Set(a);
    m.page->DefaultActivatedButton.Set(&m.page->CurrentSelectedButton);
    CErgbPalette* palette = m.epoch->Palettes.NewPalette();
    palette->SetId(4);
    m.page->Palette.Set(palette);
    b->SetId(9);
    palette->SetId(6);
    m.ig.RefreshIds();
    EXPECT_EQ(a->Neighbors.Buttons[CNeighborInfo::kRight].Id, 9);
    EXPECT_EQ(m.page->Palette.Id, 6);
    EXPECT_EQ(m.page->DefaultActivatedButton.Id, 0xFFFE);

    // A deep copy resolves its references into its own tree.
    CIgObject copy;
    copy.Copy(m.ig);
    CPage* page = copy.GetAt(0)->GetAt(0)->GetAt(0);
    CBdButton* ca = page->GetAt(0)->GetAt(0);
    EXPECT_EQ(ca->Neighbors.Buttons[CNeighborInfo::kRight].Ptr, page->GetAt(1)->GetAt(0));
    EXPECT_EQ(page->DefaultSelectedButton.Ptr, ca);
    EXPECT_EQ(page->DefaultActivatedButton.Ptr, &page->CurrentSelectedButton);
    EXPECT_EQ(page->Palette.Ptr, copy.GetAt(0)->Palettes.GetAt(0));
    EXPECT_EQ(ca->States[0].Start.Ptr, copy.GetAt(0)->Graphics.GetAt(0));
    EXPECT_NE(ca->States[0].Start.Ptr, a->States[0].Start.Ptr);
    EXPECT_EQ(ca->States[0].Start.Ptr->GetImage()->Width(), 10);

    // Ids without a target resolve to nothing.
    ca->Neighbors.Buttons[CNeighborInfo::kUp].Id = 77;
    copy.ResolveIds();
    EXPECT_EQ(ca->Neighbors.Buttons[CNeighborInfo::kUp].Ptr, nullptr);
}

// Neighbours by name: "" for none.
std::vector<std::string> NeighbourNames(const CBdButton& b) {
    std::vector<std::string> names;
    for (const auto& n : b.Neighbors.Buttons) names.push_back(n.Ptr ? n.Ptr->GetName() : "");
    return names;
}

TEST(IgModel, NeighboursOfThreeInARowWrap) {
    Menu m;
    CBdButton* b0 = AddPlainButton(*m.epoch, *m.page->NewBog(), 0, 0, 100, 50);
    CBdButton* b1 = AddPlainButton(*m.epoch, *m.page->NewBog(), 200, 0, 100, 50);
    CBdButton* b2 = AddPlainButton(*m.epoch, *m.page->NewBog(), 400, 0, 100, 50);
    EXPECT_TRUE(m.page->ComputeGeometricNeighbours());
    // up, down, left, right; nothing above or below.
    EXPECT_EQ(NeighbourNames(*b0), (std::vector<std::string>{"", "", "Button#2", "Button#1"}));
    EXPECT_EQ(NeighbourNames(*b1), (std::vector<std::string>{"", "", "Button#0", "Button#2"}));
    EXPECT_EQ(NeighbourNames(*b2), (std::vector<std::string>{"", "", "Button#1", "Button#0"}));
    EXPECT_FALSE(m.page->ComputeGeometricNeighbours());  // nothing changes the second time
}

TEST(IgModel, NeighboursOfAGridAndOfGroups) {
    // 0 1      a 2 x 2 grid; button 2's group has an alternative (4) at the same place, and
    // 2 3      a fifth group has no graphics and is no one's neighbour.
    Menu m;
    CBdButton* b[4];
    CBog* bogs[4];
    for (int i = 0; i < 4; ++i) {
        bogs[i] = m.page->NewBog();
        b[i] = AddPlainButton(*m.epoch, *bogs[i], (i % 2) * 300, (i / 2) * 200, 200, 100);
    }
    CBdButton* alternative = AddPlainButton(*m.epoch, *bogs[2], 0, 200, 200, 100);
    m.page->NewBog()->NewButton();
    m.page->ComputeGeometricNeighbours();
    // Each column and row has two members: up and down both lead to the other, as do left
    // and right.
    EXPECT_EQ(NeighbourNames(*b[0]),
              (std::vector<std::string>{"Button#2", "Button#2", "Button#1", "Button#1"}));
    EXPECT_EQ(NeighbourNames(*b[3]),
              (std::vector<std::string>{"Button#1", "Button#1", "Button#2", "Button#2"}));
    EXPECT_EQ(NeighbourNames(*alternative), NeighbourNames(*b[2]));
    EXPECT_EQ(NeighbourNames(*b[2]),
              (std::vector<std::string>{"Button#0", "Button#0", "Button#3", "Button#3"}));
}

TEST(IgModel, NeighboursOffTheRowsGoByTheLowestScore) {
    // A target below-right and one straight below but far: up/down look at the column only
    // when it has members; here the column is empty, so the scores decide.
    //   [0]
    //        [1]          (1: offset right, close)
    //   ...
    //                [2]  (2: far right and down, steeper)
    Menu m;
    CBdButton* b0 = AddPlainButton(*m.epoch, *m.page->NewBog(), 0, 0, 100, 100);
    AddPlainButton(*m.epoch, *m.page->NewBog(), 150, 150, 100, 100);
    AddPlainButton(*m.epoch, *m.page->NewBog(), 300, 900, 100, 100);
    m.page->ComputeGeometricNeighbours();
    // Down: button 1 scores 150/150 = 1, button 2 scores 300/900; the lowest, 2, wins. Right:
    // button 1 scores 150/150 = 1, button 2 900/300 = 3; button 1 wins.
    EXPECT_EQ(NeighbourNames(*b0), (std::vector<std::string>{"", "Button#2", "", "Button#1"}));
}

TEST(IgModel, ObjectOrderAndLastInitialObject) {
    // Two groups, the second with an alternative; the page's default selected button is the
    // first group's default.
    Menu m;
    CBdButton* a = AddButton(*m.epoch, *m.page->NewBog(), 0, 0, 10, 10);  // objects 0-2
    CBog* second = m.page->NewBog();
    CBdButton* b = AddButton(*m.epoch, *second, 100, 0, 10, 10);  // 3-5
    CBdButton* c = AddButton(*m.epoch, *second, 100, 0, 10, 10);  // 6-8
    CEffectObject* in = m.page->InEffects.NewEffect();
    CGraphicObject* effectPicture = AddPicture(*m.epoch, 4, 4, 0xFF000000);  // 9
    in->NewCompositionObject()->Object.Set(effectPicture);
    auto name = [](CNamedObject* o) { return o->GetName(); };
    auto order = [&](CNamedPtrCollection& all) {
        std::vector<std::string> names;
        for (CNamedObject* o : all) names.push_back(name(o));
        return names;
    };
    struct Case {
        const char* name;
        CBdButton* selected;
        std::vector<std::string> order;
        int lastInitial;
    };
    const Case cases[] = {
        // effect, normals of the defaults, selected of the page's selected button (first of
        // steps 3-4 is the last initial object), selected and activated of the defaults,
        // then the alternative.
        {"with a default selected button",
         a,
         {"Graphic#9", "Graphic#0", "Graphic#3", "Graphic#1", "Graphic#4", "Graphic#2", "Graphic#5",
          "Graphic#6", "Graphic#7", "Graphic#8"},
         3},
        // Without one, the last of steps 3-4.
        {"without",
         nullptr,
         {"Graphic#9", "Graphic#0", "Graphic#3", "Graphic#1", "Graphic#4", "Graphic#2", "Graphic#5",
          "Graphic#6", "Graphic#7", "Graphic#8"},
         4},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        m.page->DefaultSelectedButton.Set(k.selected);
        CNamedPtrCollection all;
        ClearMarks(*m.epoch);
        EXPECT_EQ(CollectPageObjects(*m.epoch, *m.page, all), k.lastInitial);
        ClearMarks(*m.epoch);
        EXPECT_EQ(order(all), k.order);
    }
    (void)b;
    (void)c;

    // A state lacking its end contributes nothing; an animation contributes its id range.
    CBdButton* d = m.page->NewBog()->NewButton();
    CGraphicObject* f1 = AddPicture(*m.epoch, 2, 2, 0xFF010101);  // 10
    AddPicture(*m.epoch, 2, 2, 0xFF020202);                       // 11
    CGraphicObject* f3 = AddPicture(*m.epoch, 2, 2, 0xFF030303);  // 12
    d->States[CBdButton::kNormal].Start.Set(f3);
    d->States[CBdButton::kNormal].End.Set(f1);
    d->States[CBdButton::kSelected].Start.Set(f1);
    CNamedPtrCollection all;
    ClearMarks(*m.epoch);
    CollectPageObjects(*m.epoch, *m.page, all);
    ClearMarks(*m.epoch);
    std::vector<std::string> names = order(all);
    EXPECT_EQ(std::vector<std::string>(names.begin() + 3, names.begin() + 6),
              (std::vector<std::string>{"Graphic#10", "Graphic#11", "Graphic#12"}));
    EXPECT_EQ(names.size(), 13u);
}

TEST(IgModel, DecodeDurationSecondTerm) {
    // No default selected button; default buttons of 100 x 100 and 200 x 100 with selected
    // pictures of the same sizes: c = 240 000, the composition term ceil(30 000 x 0.005625).
    Menu m;
    for (int w : {100, 200}) {
        CBdButton* b = m.page->NewBog()->NewButton();
        b->HorPos = uint16_t(w * 3);
        CGraphicObject* normal = AddPicture(*m.epoch, w, 100, 0xFF111111);
        CGraphicObject* selected = AddPicture(*m.epoch, w, 100, 0xFF222222);
        b->States[0].Start.Set(normal);
        b->States[0].End.Set(normal);
        b->States[1].Start.Set(selected);
        b->States[1].End.Set(selected);
    }
    CNamedPtrCollection none;
    EXPECT_EQ(DecodeDuration(none, -1, false, m.ig.VideoDescriptor, m.page), 169);
    // An epoch start adds the clearing of the plane: ceil(1920 x 1080 x 0.005625) = 11 664.
    EXPECT_EQ(DecodeDuration(none, -1, true, m.ig.VideoDescriptor, m.page), 11664 + 169);
    // Objects up to the last initial one at 64 Mbit/s: ceil(10 000 x 0.01125) + ceil(...).
    CNamedPtrCollection objects;
    objects.Add(m.epoch->Graphics.GetAt(0));  // 100 x 100
    objects.Add(m.epoch->Graphics.GetAt(2));  // 200 x 100
    EXPECT_EQ(DecodeDuration(objects, 0, false, m.ig.VideoDescriptor, m.page), 113 + 169);
    EXPECT_EQ(DecodeDuration(objects, 1, false, m.ig.VideoDescriptor, m.page), 113 + 225 + 169);
    // With a default selected button its selected picture replaces its normal one.
    m.page->DefaultSelectedButton.Set(m.page->GetAt(0)->GetAt(0));
    EXPECT_EQ(DecodeDuration(none, -1, false, m.ig.VideoDescriptor, m.page), 169);
}

TEST(IgModel, PresentationTime) {
    struct Case {
        uint8_t rate;
        uint32_t startFrame;
        int64_t j;
        uint32_t p, d;
    };
    const Case cases[] = {
        {1, 0, 5000, 131070, 126070},      // 7 506 is below the stream start
        {3, 0, 200000, 201600, 1600},      // 56 frames of 3 600
        {1, 102, 1000, 382883, 381883},    // 382 882.5 rounds up
        {7, 101, 0, 151652, 151652},       // 151 651.5 rounds up
        {4, 100, 0, 300300, 300300},       // 100 x 3 003
        {2, 200, 500000, 750000, 250000},  // 200 frames of 3 750 hold J
        {6, 0, 300000, 300600, 600},       // 167 frames of 1 800
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.rate) + " " + std::to_string(c.startFrame));
        uint32_t p = 0, d = 0;
        ASSERT_TRUE(PresentationTime(c.rate, c.startFrame, c.j, p, d));
        EXPECT_EQ(p, c.p);
        EXPECT_EQ(d, c.d);
    }
    uint32_t p, d;
    for (uint8_t rate : {0, 5, 8}) EXPECT_FALSE(PresentationTime(rate, 0, 0, p, d));
    EXPECT_FALSE(PresentationTime(1, 0xFFFFFFFF, 0, p, d));  // past 32 bits
}

}  // namespace
}  // namespace vx
