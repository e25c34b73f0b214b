#include "graphics/segments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support.h"

namespace vx {
namespace {

using test::Hex;
using test::ToHex;

std::vector<uint8_t> Written(CSegmentBase& segment) {
    ByteWriter out;
    int32_t n = segment.Write(out);
    EXPECT_EQ(size_t(n), out.Position());
    return out.Take();
}

TEST(Segments, FixedLayouts) {
    CPds pds;
    pds.PaletteId = 1;
    pds.PaletteVersion = 2;
    pds.Entries = {{0, 16, 128, 128, 0}, {7, 81, 239, 90, 255}};

    CPcs pcs;
    pcs.VideoDescriptor = {1920, 1080, 6};
    pcs.CompositionDescriptor = {0x1234, kAcquisitionPoint};
    pcs.PaletteUpdateFlag = 1;
    pcs.PaletteIdRef = 3;
    SCompositionObject plain;
    plain.ObjectIdRef = 2;
    plain.WindowIdRef = 1;
    plain.ForcedOnFlag = 1;
    plain.CompositionObjectHorPos = 0x100;
    plain.CompositionObjectVerPos = 0x200;
    SCompositionObject cropped = plain;
    cropped.ObjectCroppedFlag = 1;
    cropped.ForcedOnFlag = 0;
    cropped.ObjectCroppingHorPos = 1;
    cropped.ObjectCroppingVerPos = 2;
    cropped.ObjectCroppingWidth = 3;
    cropped.ObjectCroppingHeight = 4;
    pcs.Objects = {plain, cropped};

    CWds wds;
    wds.Windows = {{1, 0x10, 0x20, 0x30, 0x40}};

    CIcs ics;
    ics.VideoDescriptor = {720, 576, 3};
    ics.CompositionDescriptor = {0, kEpochStart};
    ics.Sequence = {true, false};
    ics.Fragment = {0xAA, 0xBB};

    COds ods;
    ods.ObjectId = 0x0102;
    ods.ObjectVersion = 3;
    ods.Sequence = {false, true};
    ods.Fragment = {0x11};

    CEs end;

    struct Case {
        const char* name;
        CSegmentBase* segment;
        const char* bytes;
    };
    const Case cases[] = {
        {"PDS", &pds, "14 000C 01 02 00 10 80 80 00 07 51 EF 5A FF"},
        // Two composition objects: 8 bytes plain, 16 bytes cropped.
        {"PCS", &pcs,
         "16 0023 0780 0438 60 1234 40 80 03 02"
         " 0002 01 40 0100 0200"
         " 0002 01 80 0100 0200 0001 0002 0003 0004"},
        {"WDS", &wds, "17 000A 01 01 0010 0020 0030 0040"},
        {"ICS", &ics, "18 000B 02D0 0240 30 0000 80 80 AA BB"},
        {"ODS", &ods, "15 0005 0102 03 40 11"},
        {"END", &end, "80 0000"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bytes = Written(*c.segment);
        EXPECT_EQ(ToHex(bytes), ToHex(Hex(c.bytes)));
        EXPECT_EQ(c.segment->SegmentLength, bytes.size() - 3);

        ByteReader in(bytes.data(), bytes.size());
        std::string why;
        auto back = ReadSegment(in, &why);
        ASSERT_TRUE(back) << why;
        EXPECT_EQ(in.Remaining(), 0u);
        EXPECT_EQ(ToHex(Written(*back)), ToHex(bytes));
    }
}

TEST(Segments, PaletteOfMoreThan256EntriesWrites256) {
    CPds pds;
    pds.Entries.resize(300);
    std::vector<uint8_t> bytes = Written(pds);
    EXPECT_EQ(pds.SegmentLength, 2 + 256 * 5);
    EXPECT_EQ(bytes.size(), 3u + 1282u);
}

TEST(Segments, PaletteBodyIgnoresAShortTrailingGroup) {
    std::vector<uint8_t> bytes = Hex("14 0009 00 00 01 10 80 80 FF 02 03");
    ByteReader in(bytes.data(), bytes.size());
    auto segment = ReadSegment(in);
    ASSERT_TRUE(segment);
    auto& pds = static_cast<CPds&>(*segment);
    ASSERT_EQ(pds.Entries.size(), 1u);
    EXPECT_EQ(pds.Entries[0], (SPaletteEntry{1, 0x10, 0x80, 0x80, 0xFF}));
}

TEST(Segments, WindowDefinitionOfThreeWindowsIsRefused) {
    CWds wds;
    wds.Windows.resize(3);
    ByteWriter out;
    EXPECT_EQ(wds.Write(out), 0);
    EXPECT_EQ(out.Position(), 0u);
}

TEST(Segments, ReadingRefusesBodiesPastTheData) {
    struct Case {
        const char* name;
        const char* bytes;
    };
    const Case cases[] = {
        {"length past the data", "14 0010 00 00"},
        {"PCS shorter than its fields", "16 0004 0780 0438"},
        {"PCS object count past its body", "16 000B 0780 0438 60 0000 80 00 00 01"},
        {"WDS window cut short", "17 0005 01 00 0000 00"},
        {"ODS without sequence descriptor", "15 0003 0001 00"},
        {"unknown type", "19 0000"},
        {"header cut short", "14 00"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bytes = Hex(c.bytes);
        ByteReader in(bytes.data(), bytes.size());
        std::string why;
        EXPECT_FALSE(ReadSegment(in, &why));
        EXPECT_FALSE(why.empty());
    }
}

TEST(Segments, FragmentBoundaries) {
    struct Case {
        size_t size;
        bool composition;  // ICS, else ODS
        std::vector<uint16_t> lengths;
        std::vector<uint8_t> flags;  // first << 1 | last
    };
    const Case cases[] = {
        {65510, true, {65519}, {3}},
        {65511, true, {65519, 10}, {2, 1}},
        {131020, true, {65519, 65519}, {2, 1}},
        {65515, false, {65519}, {3}},
        {65516, false, {65519, 5}, {2, 1}},
        {131030, false, {65519, 65519}, {2, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.size) + (c.composition ? " ICS" : " ODS"));
        CDsData ds;
        std::vector<uint8_t> data(c.size);
        for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 7);
        std::vector<CSegmentBase*> segments;
        std::vector<uint8_t> flags;
        if (c.composition) {
            FragmentComposition(ds, data, {1920, 1080, 1});
            for (auto& s : ds.Ics) {
                segments.push_back(s.get());
                flags.push_back(uint8_t(s->Sequence.FirstFlag << 1 | s->Sequence.LastFlag));
            }
        } else {
            AppendObjectData(ds, 9, data);
            for (auto& s : ds.Ods) {
                segments.push_back(s.get());
                flags.push_back(uint8_t(s->Sequence.FirstFlag << 1 | s->Sequence.LastFlag));
                EXPECT_EQ(s->ObjectId, 9);
            }
        }
        std::vector<uint16_t> lengths;
        for (CSegmentBase* s : segments) {
            Written(*s);
            lengths.push_back(s->SegmentLength);
        }
        EXPECT_EQ(lengths, c.lengths);
        EXPECT_EQ(flags, c.flags);
        std::vector<uint8_t> joined;
        size_t next = 0;
        if (c.composition)
            EXPECT_TRUE(JoinComposition(ds, joined));
        else
            EXPECT_TRUE(JoinObjectData(ds, 0, joined, next));
        EXPECT_EQ(joined, data);
    }
}

TEST(Segments, CompositionFragmentsCarryTheDisplaySetState) {
    CDsData ds;
    ds.CompositionState = kAcquisitionPoint;
    FragmentComposition(ds, std::vector<uint8_t>(10), {1280, 720, 6});
    ASSERT_EQ(ds.Ics.size(), 1u);
    EXPECT_EQ(ds.Ics[0]->VideoDescriptor, (SVideoDescriptor{1280, 720, 6}));
    EXPECT_EQ(ds.Ics[0]->CompositionDescriptor, (SCompositionDescriptor{0, kAcquisitionPoint}));
}

TEST(Segments, AddingPalettesNumbersThemInOrder) {
    CDsData ds;
    EXPECT_EQ(AddPalette(ds).PaletteId, 0);
    EXPECT_EQ(AddPalette(ds).PaletteId, 1);
    EXPECT_EQ(AddPalette(ds).PaletteId, 2);
    EXPECT_EQ(ds.Pds.back()->PaletteVersion, 0);
}

std::vector<uint8_t> ObjectHeader(uint16_t width, uint16_t height) {
    return {0, 0, 4, uint8_t(width >> 8), uint8_t(width), uint8_t(height >> 8), uint8_t(height)};
}

TEST(Segments, TimeStampsOfAnInteractiveDisplaySet) {
    CDsData ds;
    FragmentComposition(ds, std::vector<uint8_t>(20), {1920, 1080, 1});
    AddPalette(ds);
    AppendObjectData(ds, 0, ObjectHeader(100, 100));
    AppendObjectData(ds, 1, ObjectHeader(200, 50));
    ds.End = std::make_unique<CEs>();
    SetTimeStamps(ds, 1000, 5000);
    EXPECT_EQ(ds.Ics[0]->Dts, 1000u);
    EXPECT_EQ(ds.Ics[0]->Pts, 5000u);
    EXPECT_EQ(ds.Pds[0]->Dts, 0u);
    EXPECT_EQ(ds.Pds[0]->Pts, 1000u);
    // 64 Mbit/s: ceil(10 000 x 0.01125) = 113 ticks per object.
    EXPECT_EQ(ds.Ods[0]->Dts, 1000u);
    EXPECT_EQ(ds.Ods[0]->Pts, 1113u);
    EXPECT_EQ(ds.Ods[1]->Dts, 1113u);
    EXPECT_EQ(ds.Ods[1]->Pts, 1226u);
    EXPECT_EQ(ds.End->Dts, 0u);
    EXPECT_EQ(ds.End->Pts, 1226u);
}

TEST(Segments, TimeStampsOfAPresentationDisplaySet) {
    // With a PCS objects decode at 128 Mbit/s and windows are written at 256 Mbit/s.
    CDsData ds;
    ds.Pcs = std::make_unique<CPcs>();
    ds.Wds = std::make_unique<CWds>();
    ds.Wds->Windows = {{0, 0, 0, 1920, 1080}};
    std::vector<uint8_t> big = ObjectHeader(1000, 100);
    big.resize(65515 + 10);  // two fragments of one object
    AppendObjectData(ds, 0, big);
    ds.End = std::make_unique<CEs>();
    SetTimeStamps(ds, 2000, 90000);
    EXPECT_EQ(ds.Pcs->Dts, 2000u);
    EXPECT_EQ(ds.Pcs->Pts, 90000u);
    EXPECT_EQ(ds.Wds->Dts, 2000u);
    EXPECT_EQ(ds.Wds->Pts, 90000u - 5832u);  // ceil(2 073 600 x 720 000 / 256e6)
    ASSERT_EQ(ds.Ods.size(), 2u);
    for (auto& ods : ds.Ods) {
        EXPECT_EQ(ods->Dts, 2000u);
        EXPECT_EQ(ods->Pts, 2000u + 563u);  // ceil(100 000 x 0.005625)
    }
    EXPECT_EQ(ds.End->Pts, 2563u);

    // A WDS whose writing time exceeds P - D starts at D; with no PDS and no ODS the END
    // follows the WDS.
    CDsData windowsOnly;
    windowsOnly.Pcs = std::make_unique<CPcs>();
    windowsOnly.Wds = std::make_unique<CWds>();
    windowsOnly.Wds->Windows = {{0, 0, 0, 1920, 1080}};
    windowsOnly.End = std::make_unique<CEs>();
    SetTimeStamps(windowsOnly, 1000, 3000);
    EXPECT_EQ(windowsOnly.Wds->Pts, 1000u);
    EXPECT_EQ(windowsOnly.End->Pts, 1000u);
}

TEST(Segments, EmissionOrderOffsetsAndStreamHeaders) {
    CDsData ds;
    ds.CompositionState = kEpochStart;
    ds.Wds = std::make_unique<CWds>();
    ds.Wds->Windows = {{0, 0, 0, 16, 16}};
    FragmentComposition(ds, std::vector<uint8_t>(3), {1920, 1080, 1});
    AddPalette(ds);
    AppendObjectData(ds, 0, ObjectHeader(2, 2));
    SetTimeStamps(ds, 100, 200);
    ByteWriter out;
    out.Zeros(5);  // whatever came before in the file
    ASSERT_TRUE(EmitDisplaySet(ds, out, 1000));
    ASSERT_TRUE(ds.End);
    const std::vector<uint8_t>& bytes = out.Buffer();
    std::vector<uint8_t> types;
    size_t at = 5;
    std::vector<CSegmentBase*> order = {ds.Ics[0].get(), ds.Wds.get(), ds.Pds[0].get(),
                                        ds.Ods[0].get(), ds.End.get()};
    for (CSegmentBase* s : order) {
        ASSERT_LT(at + 13, bytes.size() + 1);
        EXPECT_EQ(bytes[at], 'I');
        EXPECT_EQ(bytes[at + 1], 'G');
        EXPECT_EQ(ReadBE32(&bytes[at + 2]), s->Pts);
        EXPECT_EQ(ReadBE32(&bytes[at + 6]), s->Dts);
        EXPECT_EQ(s->FileOffset, int64_t(1000 + at + 10));
        types.push_back(bytes[at + 10]);
        at += 13 + ReadBE16(&bytes[at + 11]);
    }
    EXPECT_EQ(at, bytes.size());
    EXPECT_EQ(types, (std::vector<uint8_t>{kSegmentIcs, kSegmentWds, kSegmentPds, kSegmentOds,
                                           kSegmentEnd}));

    // Read back: one epoch of one display set with the same segments.
    CGsData read;
    std::string why;
    ASSERT_TRUE(ReadGraphicsStream(bytes.data() + 5, bytes.size() - 5, read, &why)) << why;
    ASSERT_EQ(read.Epochs.size(), 1u);
    ASSERT_EQ(read.Epochs[0].size(), 1u);
    const CDsData& back = read.Epochs[0][0];
    EXPECT_EQ(back.CompositionState, kEpochStart);
    EXPECT_EQ(read.VideoDescriptor, (SVideoDescriptor{1920, 1080, 1}));
    ASSERT_EQ(back.Ods.size(), 1u);
    EXPECT_EQ(back.Ods[0]->Pts, ds.Ods[0]->Pts);
    EXPECT_EQ(back.Ods[0]->Dts, ds.Ods[0]->Dts);
    EXPECT_EQ(back.Ods[0]->FileOffset, ds.Ods[0]->FileOffset - 1000 - 5);
    EXPECT_EQ(back.Wds->Windows, ds.Wds->Windows);
}

TEST(Segments, PresentationDisplaySetsUsePgAndWriteTheirState) {
    CDsData ds;
    ds.CompositionState = kNormalCase;
    ds.Pcs = std::make_unique<CPcs>();
    ds.Pcs->CompositionDescriptor.CompositionState = kEpochStart;
    ByteWriter out;
    ASSERT_TRUE(EmitDisplaySet(ds, out, 0));
    EXPECT_EQ(out.Buffer()[0], 'P');
    EXPECT_EQ(ds.Pcs->CompositionDescriptor.CompositionState, kNormalCase);
}

TEST(Segments, EmittingThreeWindowsWritesNothing) {
    CDsData ds;
    FragmentComposition(ds, std::vector<uint8_t>(3), {1920, 1080, 1});
    ds.Wds = std::make_unique<CWds>();
    ds.Wds->Windows.resize(3);
    ByteWriter out;
    std::string why;
    EXPECT_FALSE(EmitDisplaySet(ds, out, 0, &why));
    EXPECT_EQ(out.Position(), 0u);
    EXPECT_NE(why.find("3 windows"), std::string::npos);
}

TEST(Segments, ReadingGroupsDisplaySetsIntoEpochs) {
    // Epoch start, normal case, epoch start: two epochs, the first with two display sets.
    ByteWriter out;
    for (uint8_t state : {kEpochStart, kNormalCase, kEpochStart}) {
        CDsData ds;
        ds.CompositionState = state;
        FragmentComposition(ds, std::vector<uint8_t>(4), {720, 480, 4});
        ASSERT_TRUE(EmitDisplaySet(ds, out, 0));
    }
    CGsData read;
    ASSERT_TRUE(ReadGraphicsStream(out.Buffer().data(), out.Position(), read));
    ASSERT_EQ(read.Epochs.size(), 2u);
    EXPECT_EQ(read.Epochs[0].size(), 2u);
    EXPECT_EQ(read.Epochs[1].size(), 1u);

    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    // The state comes from the display set's first composition, wherever it stands.
    std::vector<uint8_t> paletteFirst =
        Hex("4947 00000000 00000000 14 0002 00 00"
            "4947 00000000 00000000 18 000A 02D0 01E0 40 0000 40 C0 00"
            "4947 00000000 00000000 80 0000");
    ASSERT_TRUE(ReadGraphicsStream(paletteFirst.data(), paletteFirst.size(), read));
    ASSERT_EQ(read.Epochs.size(), 1u);
    EXPECT_EQ(read.Epochs[0][0].CompositionState, kAcquisitionPoint);

    std::vector<uint8_t> noEnd(out.Buffer().begin(), out.Buffer().end() - 13);
    std::vector<uint8_t> badMagic = out.Buffer();
    badMagic[0] = 'X';
    std::vector<uint8_t> cut(out.Buffer().begin(), out.Buffer().begin() + 5);
    std::vector<uint8_t> twoPcs =
        Hex("5047 00000000 00000000 16 000B 0780 0438 10 0000 80 00 00 00"
            "5047 00000000 00000000 16 000B 0780 0438 10 0000 80 00 00 00");
    const Case cases[] = {
        {"last display set without END", noEnd},
        {"bad magic", badMagic},
        {"unit header cut short", cut},
        {"two PCS in one display set", twoPcs},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string why;
        EXPECT_FALSE(ReadGraphicsStream(c.bytes.data(), c.bytes.size(), read, &why));
        EXPECT_FALSE(why.empty());
    }
}

TEST(Segments, Names) {
    EXPECT_STREQ(CompositionStateName(0), "Normal Case");
    EXPECT_STREQ(CompositionStateName(1), "Acquisition Point");
    EXPECT_STREQ(CompositionStateName(2), "Epoch Start");
    EXPECT_STREQ(CompositionStateName(3), "Epoch Continue");
    EXPECT_STREQ(FrameRateName(1), "23.976");
    EXPECT_STREQ(FrameRateName(5), "Reserved");
    EXPECT_STREQ(FrameRateName(7), "59.94");
}

}  // namespace
}  // namespace vx
