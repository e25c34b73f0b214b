// Encoding menus: what Encode writes, as the stream analysis and our own reader see it, and
// the failures that write nothing.

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "foundation/file.h"
#include "foundation/messages.h"
#include "graphics/gs_sif.h"
#include "graphics/ig_encode.h"
#include "graphics/ig_model.h"
#include "graphics/run_length.h"
#include "graphics/standard_parsers.h"
#include "ig_menu_builder.h"
#include "streams/parse_driver.h"
#include "support.h"

namespace vx {
namespace {

using test::AddButton;
using test::AddPicture;
using test::AddPlainButton;
using test::Menu;

// Two groups side by side, the second with an alternative; neighbours computed.
void TwoGroups(Menu& m) {
    CBdButton* a = AddButton(*m.epoch, *m.page->NewBog(), 100, 100, 200, 80, 0xFF2040A0, 0xFFFFD000,
                             0xFFFF2000);
    CBog* second = m.page->NewBog();
    AddButton(*m.epoch, *second, 400, 100, 200, 80, 0xFF20A040, 0xFFFFD000, 0xFFFF2000);
    AddButton(*m.epoch, *second, 400, 100, 200, 80, 0xFF808080, 0xFFFFFFFF, 0xFF000000);
    m.page->DefaultSelectedButton.Set(a);
    m.page->ComputeGeometricNeighbours();
}

TEST(IgEncode, StreamAnalysesAsIgAndReadsBack) {
    Menu m;
    TwoGroups(m);
    m.ds->StartFrame = 48;
    test::TempDir dir;
    const std::string path = dir / "menu.ig";
    std::string why;
    ASSERT_TRUE(m.ig.Encode(path, true, &why)) << why;

    // The landed stream analysis.
    CStreamInfo info;
    ASSERT_EQ(OpenStreamInfo(path, {}, info), 0);
    EXPECT_EQ(info.CodingType(), 0x91);
    const auto& sif = static_cast<const SGsSif&>(*info.Data);
    EXPECT_EQ(sif.Width, 1920);
    EXPECT_EQ(sif.Height, 1080);
    EXPECT_EQ(sif.FrameRate, 1);
    EXPECT_EQ(sif.StreamModel, 1);

    // Our reader: one epoch, one display set of ICS, PDS, 9 ODS and END.
    std::vector<uint8_t> bytes = ReadWholeFile(path);
    CGsData stream;
    ASSERT_TRUE(ReadGraphicsStream(bytes.data(), bytes.size(), stream, &why)) << why;
    ASSERT_EQ(stream.Epochs.size(), 1u);
    ASSERT_EQ(stream.Epochs[0].size(), 1u);
    const CDsData& ds = stream.Epochs[0][0];
    ASSERT_EQ(ds.Ics.size(), 1u);
    ASSERT_EQ(ds.Pds.size(), 1u);
    ASSERT_EQ(ds.Ods.size(), 9u);
    ASSERT_TRUE(ds.End);
    EXPECT_EQ(ds.Ics[0]->CompositionDescriptor.CompositionState, kEpochStart);

    // The analysis saw each segment as one AU with our time stamps.
    std::vector<const CSegmentBase*> segments = {ds.Ics[0].get(), ds.Pds[0].get()};
    for (const auto& ods : ds.Ods) segments.push_back(ods.get());
    segments.push_back(ds.End.get());
    ASSERT_EQ(info.AuTable.size(), segments.size());
    for (size_t i = 0; i < segments.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(info.AuTable[i].Pts, segments[i]->Pts);
        EXPECT_EQ(info.AuTable[i].Dts, segments[i]->Dts);
        EXPECT_EQ(int64_t(info.AuTable[i].Offset), segments[i]->FileOffset);
        EXPECT_EQ(info.AuTable[i].Size, segments[i]->SegmentLength + 3u);
    }
    EXPECT_EQ(info.AuTable.back().Size, 3u);

    // Time: P is 48 frames at 23.976 (180 180), D = P - J with J the initial objects (the
    // default buttons' normal pictures and the selected picture of the page's selected
    // button) and the epoch start's plane clearing.
    const uint32_t p = ds.Ics[0]->Pts, d = ds.Ics[0]->Dts;
    EXPECT_EQ(p, 180180u);
    const int64_t objectTicks = (200 * 80 * 9 + 799) / 800;  // 180
    const int64_t j = std::max<int64_t>(3 * objectTicks, 11664) + (200 * 80 * 2 * 9 + 1599) / 1600;
    EXPECT_EQ(int64_t(p) - int64_t(d), j);
    EXPECT_EQ(ds.Ods[0]->Dts, d);
    EXPECT_EQ(ds.End->Pts, ds.Ods.back()->Pts);

    // The composition reads back into the model and writes the same bytes again.
    std::vector<uint8_t> composition;
    ASSERT_TRUE(JoinComposition(ds, composition));
    CDisplaySet back;
    ASSERT_EQ(back.Parse(composition.data(), composition.size(), 0), int32_t(composition.size()));
    EXPECT_EQ(back.Build(nullptr, 0), int32_t(composition.size()));
    std::vector<uint8_t> rebuilt(composition.size());
    back.Build(rebuilt.data(), 0);
    EXPECT_EQ(rebuilt, composition);

    CIgObject model;
    ASSERT_TRUE(ModelFromSegments(stream, model, &why)) << why;
    CPage* page = model.GetAt(0)->GetAt(0)->GetAt(0);
    ASSERT_EQ(page->GetCount(), 2);
    EXPECT_EQ(page->PaletteIdRef, 0);
    CBdButton* a = page->GetAt(0)->GetAt(0);
    CBdButton* b = page->GetAt(1)->GetAt(0);
    EXPECT_EQ(page->DefaultSelectedButton.Ptr, a);
    EXPECT_EQ(a->Neighbors.Buttons[CNeighborInfo::kRight].Ptr, b);
    EXPECT_EQ(a->Neighbors.Buttons[CNeighborInfo::kLeft].Ptr, b);
    // No button above: the button itself is written there, never 0xFFFF.
    EXPECT_EQ(a->Neighbors.Buttons[CNeighborInfo::kUp].Ptr, a);
    EXPECT_EQ(page->GetAt(1)->GetAt(1)->Neighbors.Buttons[CNeighborInfo::kLeft].Ptr, a);

    // Each object's indices show, through the PDS, the colour its source picture has.
    const CPds& pds = *ds.Pds[0];
    for (int s = 0; s < 3; ++s) {
        CGraphicObject* coded = a->States[size_t(s)].Start.Ptr;
        ASSERT_TRUE(coded && coded->GetImage());
        const CGraphicObject* source = m.page->GetAt(0)->GetAt(0)->States[size_t(s)].Start.Ptr;
        for (auto [x, y] : {std::pair{0, 0}, std::pair{5, 5}, std::pair{199, 79}}) {
            const uint32_t argb = source->GetImage()->ArgbAt(x, y);
            const uint8_t index = coded->GetImage()->IndexAt(x, y);
            ASSERT_LT(index, pds.Entries.size());
            const SPaletteEntry& e = pds.Entries[index];
            SYCbCr want = RgbToYCbCr(uint8_t(argb >> 16), uint8_t(argb >> 8), uint8_t(argb));
            EXPECT_EQ(e.T, argb >> 24);
            if (e.T != 0) {
                EXPECT_EQ(e.Y, want.Y);
                EXPECT_EQ(e.Cr, want.Cr);
                EXPECT_EQ(e.Cb, want.Cb);
            }
        }
    }
}

TEST(IgEncode, PagePaletteReferenceIsItsPdsId) {
    // The epoch holds two palettes; the page uses the second, which becomes PDS 0.
    Menu m;
    CErgbPalette* unused = m.epoch->Palettes.NewPalette();
    CErgbPalette* used = m.epoch->Palettes.NewPalette();
    unused->Add({0, 0, 0, 0, 0});
    used->Add({0, 0, 0, 255, 255});
    used->Add({1, 255, 255, 255, 255});
    m.page->Palette.Set(used);
    CBdButton* b = m.page->NewBog()->NewButton();
    auto picture = std::make_unique<CBitmap>();
    picture->Create(4, 2, PixelFormat::kIndexed8);
    picture->Row(1)[3] = 1;
    CGraphicObject* g = m.epoch->Graphics.NewObject();
    g->SetImage(std::move(picture));
    b->States[0].Start.Set(g);
    b->States[0].End.Set(g);
    ByteWriter out;
    std::string why;
    ASSERT_TRUE(m.ig.Encode(out, true, &why)) << why;
    CGsData stream;
    ASSERT_TRUE(ReadGraphicsStream(out.Buffer().data(), out.Position(), stream, &why)) << why;
    const CDsData& ds = stream.Epochs[0][0];
    ASSERT_EQ(ds.Pds.size(), 1u);
    EXPECT_EQ(ds.Pds[0]->PaletteId, 0);
    EXPECT_EQ(ds.Pds[0]->Entries.size(), 2u);
    EXPECT_EQ(ds.Pds[0]->Entries[0], (SPaletteEntry{0, 81, 239, 90, 255}));
    CIgObject model;
    ASSERT_TRUE(ModelFromSegments(stream, model, &why)) << why;
    EXPECT_EQ(model.GetAt(0)->GetAt(0)->GetAt(0)->PaletteIdRef, 0);
    // The indexed picture is coded with its own indices.
    std::vector<uint8_t> data;
    size_t next;
    ASSERT_TRUE(JoinObjectData(ds, 0, data, next));
    EXPECT_EQ(test::ToHex(data), "00 00 0D 00 04 00 02 00 04 00 00 00 03 01 00 00");
}

TEST(IgEncode, RenumbersObjectsAndPalettes) {
    Menu m;
    CGoFolder* sub = m.epoch->Graphics.AddFolder(std::make_unique<CGoFolder>());
    CGraphicObject* inner = sub->NewObject();
    inner->SetImage(test::SolidPicture(8, 8, 0xFF0000FF));
    CBdButton* b = AddButton(*m.epoch, *m.page->NewBog(), 0, 0, 8, 8);
    b->States[1].Start.Set(inner);
    b->States[1].End.Set(inner);
    inner->SetId(40);
    m.epoch->Palettes.NewPalette()->SetId(9);
    ByteWriter out;
    ASSERT_TRUE(m.ig.Encode(out, true));
    // Items first, then the sub-folder's.
    EXPECT_EQ(m.epoch->Graphics.GetAt(2)->GetId(), 2);
    EXPECT_EQ(inner->GetId(), 3);
    EXPECT_EQ(m.epoch->Palettes.GetAt(0)->GetId(), 0);
    EXPECT_EQ(b->States[1].Start.Id, 3);
}

TEST(IgEncode, TouchingGroupsAreAccepted) {
    Menu m;
    AddPlainButton(*m.epoch, *m.page->NewBog(), 0, 0, 100, 50);
    AddPlainButton(*m.epoch, *m.page->NewBog(), 100, 0, 100, 50);
    AddPlainButton(*m.epoch, *m.page->NewBog(), 0, 50, 100, 50);
    MessageCapture messages;
    ByteWriter out;
    std::string why;
    EXPECT_TRUE(m.ig.Encode(out, true, &why)) << why;
    EXPECT_TRUE(messages.Texts().empty());
}

TEST(IgEncode, FailuresWriteNothing) {
    struct Case {
        const char* name;
        std::function<void(Menu&)> make;
        std::string reason;
        std::vector<std::string> messages;
    };
    const std::vector<Case> cases = {
        {"frame-rate code 0",
         [](Menu& m) { m.ig.VideoDescriptor.FrameRate = 0; },
         "frame-rate code 0",
         {}},
        {"no pages", [](Menu& m) { m.ds->Detach(0); }, "has no pages", {}},
        {"no display sets", [](Menu& m) { m.epoch->Detach(0); }, "no display sets", {}},
        {"page without BOGs",
         [](Menu& m) {
             m.page->DefaultSelectedButton.Set(nullptr);
             m.page->Detach(1);
             m.page->Detach(0);
         },
         "has no buttons",
         {" Error:has no buttons"}},
        {"one pixel of overlap",
         [](Menu& m) { AddPlainButton(*m.epoch, *m.page->NewBog(), 299, 150, 10, 10); },
         "overlapped",
         {" Error:Buttons of different group overlapped (Bog#0 - Bog#2)"}},
        {"group spanning another",
         [](Menu& m) {
             // The first group spans 0..600 through its second button.
             AddPlainButton(*m.epoch, *m.page->GetAt(0), 500, 100, 100, 50);
         },
         "overlapped",
         {" Error:Buttons of different group overlapped (Bog#0 - Bog#1)"}},
        {"state with a start but no end",
         [](Menu& m) { m.page->GetAt(0)->GetAt(0)->States[1].End.Set(nullptr); },
         "only a start",
         {}},
        {"state with an end but no start",
         [](Menu& m) { m.page->GetAt(1)->GetAt(1)->States[2].Start.Set(nullptr); },
         "only an end",
         {}},
        {"start and end of different sizes",
         [](Menu& m) {
             m.page->GetAt(0)->GetAt(0)->States[0].End.Set(AddPicture(*m.epoch, 5, 5, 0xFF000000));
         },
         "differ in size",
         {}},
        {"object without a picture",
         [](Menu& m) {
             CGraphicObject* g = m.epoch->Graphics.NewObject();
             g->Width = g->Height = 10;
             m.page->GetAt(0)->GetAt(0)->States[2].Start.Set(g);
             m.page->GetAt(0)->GetAt(0)->States[2].End.Set(g);
         },
         "neither a picture nor a file",
         {}},
        {"object with a missing file",
         [](Menu& m) {
             CGraphicObject* g = m.epoch->Graphics.NewObject();
             g->FilePath = "/nonexistent/picture.png";
             g->Width = g->Height = 10;
             m.page->GetAt(0)->GetAt(0)->States[2].Start.Set(g);
             m.page->GetAt(0)->GetAt(0)->States[2].End.Set(g);
         },
         "/nonexistent/picture.png",
         {}},
        {"object on two pages without palettes",
         [](Menu& m) {
             CPage* other = m.ds->NewPage();
             CBdButton* b = other->NewBog()->NewButton();
             b->States[0] = m.page->GetAt(0)->GetAt(0)->States[0];
         },
         "neither of which has a palette",
         {}},
        {"a third window",
         [](Menu& m) {
             m.page->InEffects.NewWindow();
             m.page->InEffects.NewWindow();
             m.page->InEffects.Windows.Add(std::make_unique<CWindowObject>());
         },
         "3 windows; at most 2",
         {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Menu m;
        TwoGroups(m);
        c.make(m);
        MessageCapture messages;
        ByteWriter out;
        std::string why;
        EXPECT_FALSE(m.ig.Encode(out, true, &why));
        EXPECT_EQ(out.Position(), 0u);
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
        EXPECT_EQ(messages.Texts(), c.messages);
    }
}

TEST(IgEncode, FailedFileLeavesNothing) {
    Menu m;
    TwoGroups(m);
    m.ig.VideoDescriptor.FrameRate = 0;
    test::TempDir dir;
    std::string why;
    EXPECT_FALSE(m.ig.Encode(dir / "menu.ig", true, &why));
    EXPECT_FALSE(FileExists(dir / "menu.ig"));
    m.ig.VideoDescriptor.FrameRate = 1;
    EXPECT_FALSE(m.ig.Encode(dir / "missing-folder/menu.ig", true, &why));
    EXPECT_NE(why.find("missing-folder"), std::string::npos) << why;
}

TEST(IgEncode, SecondDisplaySetFollowsTheFirst) {
    // A second display set of the epoch, presented 240 frames in.
    Menu m;
    TwoGroups(m);
    CDisplaySet* second = m.epoch->NewDisplaySet();
    second->CompositionState = kNormalCase;
    CPage* page = second->NewPage();
    AddButton(*m.epoch, *page->NewBog(), 0, 0, 16, 16);
    second->StartFrame = 240;
    ByteWriter out;
    std::string why;
    ASSERT_TRUE(m.ig.Encode(out, true, &why)) << why;
    CGsData stream;
    ASSERT_TRUE(ReadGraphicsStream(out.Buffer().data(), out.Position(), stream, &why)) << why;
    ASSERT_EQ(stream.Epochs.size(), 1u);
    ASSERT_EQ(stream.Epochs[0].size(), 2u);
    const CDsData& later = stream.Epochs[0][1];
    EXPECT_EQ(later.CompositionState, kNormalCase);
    EXPECT_EQ(later.Ics[0]->Pts, 900900u);  // 240 x 90 000 x 1001 / 24 000
    // Its objects keep the epoch's numbering (renumbered once for the epoch).
    EXPECT_EQ(later.Ods[0]->ObjectId, 9);
}

}  // namespace
}  // namespace vx
