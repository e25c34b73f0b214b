// The interactive composition as the model nodes write and read it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "graphics/ig_model.h"
#include "support.h"

namespace vx {
namespace {

using test::Hex;
using test::ToHex;

std::vector<uint8_t> Built(CNamedObject& node) {
    int32_t size = node.Build(nullptr, 0);
    EXPECT_GT(size, 0);
    std::vector<uint8_t> bytes(size_t(std::max(size, 0)));
    EXPECT_EQ(node.Build(bytes.data(), 0), size);
    return bytes;
}

// One page of one BOG of one button, every field set to something recognisable. Ids are set
// without targets: Build writes ids as they stand.
void FillDisplaySet(CDisplaySet& ds) {
    ds.StreamModel = 0;
    ds.UserInterfaceModel = 1;
    ds.CompositionTimeOutPts = 0x100000005;  // bit 32 set
    ds.SelectionTimeOutPts = 7;
    ds.UserTimeOutDuration = 0x000102;
    CPage* page = ds.NewPage();
    page->SetId(0);
    page->Version = 1;
    page->UMT = {1, 2, 3, 4, 5, 6, 7, 8};
    page->DefaultActivatedButton.Id = CBdButton::kCurrentSelected;
    page->PaletteIdRef = 3;
    CBog* bog = page->NewBog();
    CBdButton* b = bog->NewButton();
    b->SetId(5);
    bog->DefaultButton.Id = 5;
    b->AutoActionFlag = 1;
    b->HorPos = 0x0102;
    b->VerPos = 0x0304;
    b->Neighbors.Buttons[CNeighborInfo::kDown].Id = 7;
    b->States[CBdButton::kNormal].Start.Id = 1;
    b->States[CBdButton::kNormal].End.Id = 2;
    b->States[CBdButton::kNormal].RepeatFlag = 1;
    b->States[CBdButton::kSelected].Start.Id = 3;
    b->States[CBdButton::kSelected].End.Id = 3;
    b->States[CBdButton::kActivated].SoundId = 4;
    CNavCmd cmd;
    cmd.bytes = {0x21, 0x81, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0};
    b->Commands.Add(cmd);
}

const char* const kDisplaySetBytes =
    "000056"                   // length of what follows
    "40"                       // stream model 0, pop-up
    "01 00000005 00 00000007"  // time-outs, bit 32 in the low bit of the first byte
    "000102 01"                // user time-out, one page
    // page: id, version, UMT, no in or out effects, animation, default selected none,
    // default activated the selected button, palette, one BOG
    "00 01 0102030405060708 0000 0000 00 FFFF FFFE 03 01"
    "0005 01"  // BOG: default button 5, one button
    // button 5: no numeric value, auto action, position; up, left and right lead back to the
    // button itself, down to 7; normal 1..2 repeating, selected without sound 3..3, activated
    // with sound 4 and no objects; one command
    "0005 FFFF 80 0102 0304 0005 0007 0005 0005 0001 0002 80 FF 0003 0003 00 04 FFFF FFFF"
    "0001 218100000000000100000000";

TEST(IgLayout, DisplaySetBytes) {
    CDisplaySet ds;
    FillDisplaySet(ds);
    std::vector<uint8_t> bytes = Built(ds);
    EXPECT_EQ(ToHex(bytes), ToHex(Hex(kDisplaySetBytes)));
    EXPECT_EQ(ds.CompositionLength, 0x56u);

    CDisplaySet back;
    ASSERT_EQ(back.Parse(bytes.data(), bytes.size(), 0), int32_t(bytes.size()));
    EXPECT_EQ(back.CompositionTimeOutPts, 0x100000005u);
    EXPECT_EQ(back.SelectionTimeOutPts, 7u);
    ASSERT_EQ(back.GetCount(), 1);
    CPage* page = back.GetAt(0);
    EXPECT_EQ(page->GetName(), "Page#0");
    EXPECT_EQ(page->DefaultSelectedButton.Id, -1);
    EXPECT_EQ(page->DefaultActivatedButton.Id, CBdButton::kCurrentSelected);
    CBdButton* b = page->GetAt(0)->GetAt(0);
    EXPECT_EQ(b->GetName(), "Button#5");
    EXPECT_EQ(b->NumbericValue, -1);
    EXPECT_EQ(b->States[CBdButton::kActivated].Start.Id, -1);
    EXPECT_EQ(b->Commands.GetCount(), 1);
    EXPECT_EQ(ToHex(Built(back)), ToHex(bytes));
}

TEST(IgLayout, StreamModel1HasNoTimeOuts) {
    CDisplaySet ds;
    ds.StreamModel = 1;
    ds.CompositionTimeOutPts = 99;  // not written in this model
    ds.UserTimeOutDuration = 0xABCDEF;
    std::vector<uint8_t> bytes = Built(ds);
    EXPECT_EQ(ToHex(bytes), ToHex(Hex("000005 80 ABCDEF 00")));
}

TEST(IgLayout, EffectSequences) {
    CEffectSequenceObject seq;
    CWindowObject* w = seq.NewWindow();
    w->Rect = {0, 0, 1920, 1080};
    ASSERT_TRUE(seq.NewWindow());
    EXPECT_EQ(seq.NewWindow(), nullptr);  // two windows at most
    seq.Windows.Detach(1);
    CEffectObject* e = seq.NewEffect();
    e->Duration = 100;
    e->Palette.Id = 2;
    CCompositionObject* o = e->NewCompositionObject();
    o->Object.Id = 4;
    o->Window.Id = 0;
    o->CompositionObjectHorPos = 10;
    o->CompositionObjectVerPos = 20;
    CCompositionObject* cropped = e->NewCompositionObject();
    cropped->Object.Id = 5;
    cropped->Window.Id = 0;
    cropped->ObjectCroppedFlag = 1;
    cropped->Cropping = {1, 2, 11, 22};
    EXPECT_EQ(e->NewCompositionObject(), nullptr);  // two objects at most
    w->SetId(0);
    std::vector<uint8_t> bytes = Built(seq);
    // The duration 100 is raised to the time to write the 1920 x 1080 window: 11 664.
    EXPECT_EQ(ToHex(bytes), ToHex(Hex("01 00 0000 0000 0780 0438"
                                      "01 002D90 02 02"
                                      "0004 00 00 000A 0014"
                                      "0005 00 80 0000 0000 0001 0002 000A 0014")));
    EXPECT_EQ(e->Duration, 100u);  // the model keeps its value

    CEffectSequenceObject back;
    ASSERT_EQ(back.Parse(bytes.data(), bytes.size(), 0), int32_t(bytes.size()));
    ASSERT_EQ(back.GetCount(), 1);
    EXPECT_EQ(back.GetAt(0)->GetName(), "Effect#0");
    EXPECT_EQ(back.GetAt(0)->GetAt(1)->GetName(), "Composition Object#1");
    EXPECT_EQ(back.GetAt(0)->GetAt(1)->Cropping, (SRect{1, 2, 11, 22}));
    EXPECT_EQ(back.Windows.GetAt(0)->Rect, (SRect{0, 0, 1920, 1080}));
    EXPECT_EQ(ToHex(Built(back)), ToHex(bytes));

    CEffectSequenceObject many;
    for (int i = 0; i < 128; ++i) ASSERT_TRUE(many.NewEffect());
    EXPECT_EQ(many.NewEffect(), nullptr);
}

TEST(IgLayout, CountsAndIdsPastTheirFieldsFail) {
    struct Case {
        const char* name;
        void (*make)(CDisplaySet&);
        const char* message;
    };
    const Case cases[] = {
        {"256 pages",
         [](CDisplaySet& ds) {
             for (int i = 0; i < 256; ++i) ds.NewPage()->SetId(0);
         },
         "number of pages (256)"},
        {"256 BOGs",
         [](CDisplaySet& ds) {
             CPage* p = ds.NewPage();
             p->SetId(0);
             for (int i = 0; i < 256; ++i) p->NewBog();
         },
         "number of BOGs"},
        {"256 buttons",
         [](CDisplaySet& ds) {
             CPage* p = ds.NewPage();
             p->SetId(0);
             CBog* bog = p->NewBog();
             for (int i = 0; i < 256; ++i) bog->NewButton();
         },
         "number of buttons"},
        {"button id 8160",
         [](CDisplaySet& ds) {
             CPage* p = ds.NewPage();
             p->SetId(0);
             p->NewBog()->NewButton()->SetId(8160);
         },
         "id 8160"},
        {"time-out past 33 bits",
         [](CDisplaySet& ds) {
             ds.StreamModel = 0;
             ds.SelectionTimeOutPts = uint64_t(1) << 33;
         },
         "33 bits"},
        {"user time-out past 24 bits", [](CDisplaySet& ds) { ds.UserTimeOutDuration = 0x1000000; },
         "user time-out"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CDisplaySet ds;
        c.make(ds);
        EXPECT_EQ(ds.Build(nullptr, 0), -1);
        CModelWriter writer;
        EXPECT_FALSE(ds.Write(writer));
        EXPECT_NE(writer.Error().find(c.message), std::string::npos) << writer.Error();
    }
}

TEST(IgLayout, ParseStopsAtTheEndOfItsData) {
    CDisplaySet ds;
    FillDisplaySet(ds);
    std::vector<uint8_t> bytes = Built(ds);
    // Cut anywhere inside, or a length field past the data: parsing fails and keeps nothing.
    for (size_t cut : {size_t(0), size_t(2), size_t(20), bytes.size() - 1}) {
        SCOPED_TRACE(cut);
        CDisplaySet back;
        EXPECT_EQ(back.Parse(bytes.data(), cut, 0), 0);
        EXPECT_EQ(back.GetCount(), 0);
    }
    // A command count past the data.
    CBdButton b;
    std::vector<uint8_t> button =
        Hex("0005 FFFF 80 0102 0304 0005 0007 0005 0005 0001 0002 80 FF 0003 0003 00 04 FFFF FFFF"
            "0002 218100000000000100000000");
    EXPECT_EQ(b.Parse(button.data(), button.size(), 0), 0);
}

}  // namespace
}  // namespace vx
