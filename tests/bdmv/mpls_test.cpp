// Playlist files: byte layouts, the stream number table and its list operations, damaged files
// and the round trip of playlists written by other tools.

#include "bdmv/mpls.h"

#include <gtest/gtest.h>

#include <functional>

#include "foundation/bytes.h"
#include "foundation/file.h"
#include "support.h"

namespace vx {
namespace {

using test::Fixture;
using test::Hex;
using test::ToHex;

const char* const kPlaylistFixtures[] = {
    "disc-avc1080p24-ac3/BDMV/PLAYLIST/00000.mpls",
    "disc-avc1080p24-ac3/BDMV/BACKUP/PLAYLIST/00000.mpls",
    "third-party/bdmv/bigbuckbunny-tsmuxer/BDMV/PLAYLIST/00000.mpls",
};

std::vector<uint8_t> Built(MPLS& mpls) {
    std::vector<uint8_t> out;
    uint32_t size = mpls.Build(nullptr);
    EXPECT_EQ(mpls.Build(&out), size);
    EXPECT_EQ(out.size(), size);
    return out;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& v, size_t at, size_t count) {
    if (at + count > v.size())
        return {};
    return std::vector<uint8_t>(v.begin() + long(at), v.begin() + long(at + count));
}

std::string HexOf(const std::string& text) {
    return ToHex(Hex(text));
}

// An empty stream number table as written: length 14, reserved, seven zero counts, 5 reserved.
const char* const kEmptyStn = "00 0E 00 00 00 00 00 00 00 00 00 00 00 00 00 00";

// ---- file layout --------------------------------------------------------------------------

TEST(MplsLayout, EmptyPlaylistIs74Bytes) {
    MPLS mpls;
    EXPECT_EQ(mpls.Build(nullptr), 74u);
    EXPECT_EQ(mpls.PlayListStartAddress, 0u) << "a size query stores nothing";
    std::vector<uint8_t> out = Built(mpls);
    ASSERT_EQ(out.size(), 74u);
    EXPECT_EQ(ToHex(Slice(out, 0, 20)),
              HexOf("4D 50 4C 53 30 32 30 30 00 00 00 3A 00 00 00 44 00 00 00 00"));
    EXPECT_EQ(ToHex(Slice(out, 20, 20)), ToHex(std::vector<uint8_t>(20, 0)));
    EXPECT_EQ(ToHex(Slice(out, 40, 18)),
              HexOf("00 00 00 0E 00 01 00 00 00 00 00 00 00 00 00 00 00 00"));
    EXPECT_EQ(ToHex(Slice(out, 58, 10)), HexOf("00 00 00 06 00 00 00 00 00 00"));
    EXPECT_EQ(ToHex(Slice(out, 68, 6)), HexOf("00 00 00 02 00 00"));
    EXPECT_EQ(mpls.PlayListStartAddress, 58u);
    EXPECT_EQ(mpls.PlayListMarkStartAddress, 68u);
    EXPECT_EQ(mpls.ExtensionDataStartAddress, 0u);
    EXPECT_EQ(mpls.AppInfoPlaylist.length, 14u);
    EXPECT_EQ(mpls.PlayListLength, 6u);
    EXPECT_EQ(mpls.PlayListMarks.length, 2u);

    MPLS back;
    EXPECT_EQ(back.Parse(out.data(), out.size()), 74);
    EXPECT_EQ(back.PlayItems.GetCount(), 0);
    EXPECT_EQ(back.ExtensionData, nullptr);
}

TEST(MplsLayout, AppInfoFlagsAndPreservedByte) {
    MPLS mpls;
    APP_INFO_PLAYLIST& app = mpls.AppInfoPlaylist;
    app.reserved = 0x5A;
    app.PlaylistPlaybackType = 3;
    app.PlaybackCount = 0x0102;
    app.UoMask = {1, 2, 3, 4, 5, 6, 7, 8};
    app.AudioMixAppFlag = 1;
    app.LosslessMayBypassMixerFlag = 1;
    std::vector<uint8_t> out = Built(mpls);
    EXPECT_EQ(ToHex(Slice(out, 40, 18)),
              HexOf("00 00 00 0E 5A 03 01 02 01 02 03 04 05 06 07 08 60 00"));
    MPLS back;
    ASSERT_GT(back.Parse(out.data(), out.size()), 0);
    EXPECT_EQ(back.AppInfoPlaylist.reserved, 0x5A);
    EXPECT_EQ(back.AppInfoPlaylist.PlaylistRandomAccessFlag, 0);
    EXPECT_EQ(back.AppInfoPlaylist.AudioMixAppFlag, 1);
    EXPECT_EQ(back.AppInfoPlaylist.LosslessMayBypassMixerFlag, 1);
    EXPECT_EQ(back.AppInfoPlaylist.UoMask, app.UoMask);
}

struct PlayItemCase {
    const char* name;
    std::function<void(PLAY_ITEM&)> setup;
    const char* expected;  // the play item from its length field on, stream table excluded
};

class MplsPlayItemLayout : public testing::TestWithParam<PlayItemCase> {};

TEST_P(MplsPlayItemLayout, WritesAndReadsBack) {
    MPLS mpls;
    PLAY_ITEM* item = mpls.PlayItems.Add(std::make_unique<PLAY_ITEM>());
    GetParam().setup(*item);
    std::vector<uint8_t> out = Built(mpls);
    std::vector<uint8_t> expected = Hex(GetParam().expected);
    std::vector<uint8_t> stn = Hex(kEmptyStn);
    expected.insert(expected.end(), stn.begin(), stn.end());
    // The play item starts behind the playlist block's 10-byte head.
    EXPECT_EQ(ToHex(Slice(out, 68, expected.size())), ToHex(expected));
    EXPECT_EQ(item->length, expected.size() - 2);
    EXPECT_EQ(mpls.PlayListMarkStartAddress, 68 + expected.size());

    MPLS back;
    ASSERT_EQ(back.Parse(out.data(), out.size()), int32_t(out.size()));
    ASSERT_EQ(back.PlayItems.GetCount(), 1);
    const PLAY_ITEM* read = back.PlayItems.GetAt(0);
    EXPECT_EQ(read->ClipInformationFileName, item->ClipInformationFileName);
    EXPECT_EQ(read->ConnectionCondition, item->ConnectionCondition);
    EXPECT_EQ(read->InTime, item->InTime);
    EXPECT_EQ(read->OutTime, item->OutTime);
    EXPECT_EQ(read->IsMultiAngle(), item->IsMultiAngle());
    if (item->IsMultiAngle()) {
        ASSERT_EQ(read->angles->Angles.GetCount(), item->angles->Angles.GetCount());
        EXPECT_EQ(read->angles->IsDifferentAudios, item->angles->IsDifferentAudios);
        EXPECT_EQ(read->angles->Angles.GetAt(0)->ClipInformationFileName,
                  item->angles->Angles.GetAt(0)->ClipInformationFileName);
    }
    EXPECT_EQ(ToHex(Built(back)), ToHex(out));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MplsPlayItemLayout,
    testing::Values(
        // 34 bytes of fields and a 16-byte table: 50 bytes, length field 48.
        PlayItemCase{"Default", [](PLAY_ITEM&) {},
                     "00 30 30 30 30 30 30 4D 32 54 53 00 01 00 00 00 00 00 00 00 00 00"
                     " 00 00 00 00 00 00 00 00 00 00 00 00"},
        PlayItemCase{"StillMode2WritesNoStillTime",
                     [](PLAY_ITEM& item) {
                         item.ClipInformationFileName = ClipNameFromNumber(12);
                         item.ConnectionCondition = 6;
                         item.RefToSTC_ID = 1;
                         item.InTime = 0x1000;
                         item.OutTime = 0x20000;
                         item.PlayItemRandomAccessFlag = 1;
                         item.StillMode = 2;
                         item.StillTime = 30;
                     },
                     "00 30 30 30 30 31 32 4D 32 54 53 00 06 01 00 00 10 00 00 02 00 00"
                     " 00 00 00 00 00 00 00 00 80 02 00 00"},
        PlayItemCase{"StillMode1WritesStillTime",
                     [](PLAY_ITEM& item) {
                         item.StillMode = 1;
                         item.StillTime = 30;
                     },
                     "00 30 30 30 30 30 30 4D 32 54 53 00 01 00 00 00 00 00 00 00 00 00"
                     " 00 00 00 00 00 00 00 00 00 01 00 1E"},
        PlayItemCase{"MultiAngle",
                     [](PLAY_ITEM& item) {
                         item.angles = std::make_unique<ANGLE_BLOCK>();
                         item.angles->IsDifferentAudios = 1;
                         ANGLE_CLIP_ENTRY angle;
                         angle.ClipInformationFileName = ClipNameFromNumber(7);
                         angle.RefToSTC_ID = 2;
                         item.angles->Angles.Add(angle);
                     },
                     "00 3C 30 30 30 30 30 4D 32 54 53 00 11 00 00 00 00 00 00 00 00 00"
                     " 00 00 00 00 00 00 00 00 00 00 00 00"
                     " 02 02 30 30 30 30 37 4D 32 54 53 02"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MplsLayout, SubPlayItemWithTwoClipEntries) {
    MPLS mpls;
    SUB_PATH* path = mpls.SubPaths.Add(std::make_unique<SUB_PATH>());
    path->SubPathType = subPathIgMenu;
    path->IsRepeatSubPath = 1;
    SUB_PLAY_ITEM* item = path->SubPlayItems.Add(std::make_unique<SUB_PLAY_ITEM>());
    item->ClipInformationFileName = ClipNameFromNumber(2);
    item->InTime = 0x100;
    item->SyncPlayItemID = 1;
    item->clipEntries = std::make_unique<ANGLE_BLOCK>();
    ANGLE_CLIP_ENTRY second;
    second.ClipInformationFileName = ClipNameFromNumber(3);
    item->clipEntries->Angles.Add(second);
    std::vector<uint8_t> out = Built(mpls);
    EXPECT_EQ(ToHex(Slice(out, 68, 52)),
              HexOf("00 00 00 30 00 03 00 01 00 01"
                    " 00 28 30 30 30 30 32 4D 32 54 53 00 00 00 03 00 00 00 01 00"
                    " 00 00 00 00 00 01 00 00 00 00"
                    " 02 00 30 30 30 30 33 4D 32 54 53 00"));
    EXPECT_EQ(path->length, 48u);
    EXPECT_EQ(item->length, 40u);
    EXPECT_EQ(item->clipEntries->NumberOfAngles, 2);

    MPLS back;
    ASSERT_EQ(back.Parse(out.data(), out.size()), int32_t(out.size()));
    ASSERT_EQ(back.SubPaths.GetCount(), 1);
    const SUB_PATH* readPath = back.SubPaths.GetAt(0);
    EXPECT_EQ(readPath->SubPathType, subPathIgMenu);
    EXPECT_EQ(readPath->IsRepeatSubPath, 1);
    const SUB_PLAY_ITEM* read = readPath->SubPlayItems.GetAt(0);
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(read->ConnectionCondition, 1);
    EXPECT_EQ(read->SyncPlayItemID, 1);
    ASSERT_TRUE(read->IsMultiClipEntries());
    ASSERT_EQ(read->clipEntries->Angles.GetCount(), 1);
    EXPECT_EQ(read->clipEntries->Angles.GetAt(0)->ClipInformationFileName, ClipNameFromNumber(3));
    EXPECT_EQ(ToHex(Built(back)), ToHex(out));
}

// ---- user-operation mask ------------------------------------------------------------------

TEST(MplsUoMask, BitNamesAndPositions) {
    struct Case {
        int bit;
        const char* name;
        int byte;
        uint8_t mask;
    };
    const Case cases[] = {
        {0, "MenuCall", 0, 0x80},
        {7, "Stop", 0, 0x01},
        {13, "Resume", 1, 0x04},
        {21, "PrimaryAudioStreamNumberChange", 2, 0x04},
        {22, "Reserved", 2, 0x02},
        {24, "PopupOn", 3, 0x80},
        {25, "PopupOff", 3, 0x40},
        {32, "Reserved", 4, 0x80},
        {33, "PiP_PG_TextST_StreamNumberChange", 4, 0x40},
        {34, "Reserved", 4, 0x20},
        {63, "Reserved", 7, 0x01},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(UoMaskBitName(c.bit), c.name) << c.bit;
        UoMaskTable mask{};
        SetUoMaskBit(mask, c.bit, true);
        UoMaskTable expected{};
        expected[size_t(c.byte)] = c.mask;
        EXPECT_EQ(mask, expected) << c.bit;
        EXPECT_TRUE(UoMaskBit(mask, c.bit));
    }
    EXPECT_EQ(UoMaskToJson(UoMaskTable{0, 0, 0, 0xC0, 0x80, 0, 0, 0}).dump(),
              R"(["PopupOn","PopupOff","Reserved32"])");
}

TEST(MplsUoMask, ClearUoMaskBit24ClearsBit7OfByte3OfEveryMask) {
    MPLS mpls;
    mpls.AppInfoPlaylist.UoMask.fill(0xFF);
    for (int i = 0; i < 2; ++i)
        mpls.PlayItems.Add(std::make_unique<PLAY_ITEM>())->UoMask.fill(0xFF);
    mpls.ClearUoMaskBit(kUoPopupOn);
    const UoMaskTable expected{0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(mpls.AppInfoPlaylist.UoMask, expected);
    std::vector<uint8_t> out = Built(mpls);
    EXPECT_EQ(ToHex(Slice(out, 48, 8)), ToHex({expected.begin(), expected.end()}));
    // The masks of the two play items, at bytes 22-29 of each 50-byte item.
    EXPECT_EQ(ToHex(Slice(out, 68 + 22, 8)), ToHex({expected.begin(), expected.end()}));
    EXPECT_EQ(ToHex(Slice(out, 68 + 50 + 22, 8)), ToHex({expected.begin(), expected.end()}));
}

// ---- stream entries -----------------------------------------------------------------------

struct EntryCase {
    const char* name;
    const char* input;  // stream entry and attributes as they stand in a table
    int32_t consumed;
    const char* entryJson;
    const char* attributesJson;
    const char* rebuilt;  // nullptr: the input itself
};

class MplsStreamEntry : public testing::TestWithParam<EntryCase> {};

TEST_P(MplsStreamEntry, StepsOverItsLengthsAndRebuilds) {
    const EntryCase& c = GetParam();
    std::vector<uint8_t> input = Hex(c.input);
    PRIMARY_STREAM_ENTRY entry;
    ASSERT_EQ(entry.Parse(input.data(), input.size(), 0), c.consumed);
    EXPECT_EQ(entry.StreamEntry.ToJson().dump(), c.entryJson);
    EXPECT_EQ(entry.StreamAttributes.ToJson().dump(), c.attributesJson);
    int32_t size = entry.Build(nullptr, 0);
    std::vector<uint8_t> out(size_t(size), 0xEE);
    EXPECT_EQ(entry.Build(out.data(), 0), size);
    EXPECT_EQ(ToHex(out), ToHex(Hex(c.rebuilt ? c.rebuilt : c.input)));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MplsStreamEntry,
    testing::Values(
        EntryCase{"MainClipVideoKeepsPreservedBytes",
                  "09 01 10 11 AA BB CC DD EE FF 05 1B 61 01 02 03", 16,
                  R"({"StreamType":1,"RefToStreamPID_OfMainClip":4113,"Preserved":"aabbccddeeff"})",
                  R"({"StreamCodingType":27,"VideoFormat":6,"FrameRate":1})", nullptr},
        EntryCase{
            "MainClipAudio", "09 01 11 00 00 00 00 00 00 00 05 81 31 65 6E 67", 16,
            R"({"StreamType":1,"RefToStreamPID_OfMainClip":4352,"Preserved":"000000000000"})",
            R"({"StreamCodingType":129,"PresentationType":3,"SamplingFrequency":1,"LanguageCode":"eng"})",
            nullptr},
        EntryCase{
            "SubPathAndClipEntryIg", "09 02 01 00 14 00 00 00 00 00 05 91 66 72 61 AA", 16,
            R"({"StreamType":2,"RefToSubPathID":1,"RefToSubClipEntryID":0,"RefToStreamPID_OfSubClip":5120,"Preserved":"00000000"})",
            R"({"StreamCodingType":145,"LanguageCode":"fra"})", nullptr},
        EntryCase{
            "SubPathTextSubtitle", "09 03 02 18 00 01 02 03 04 05 05 92 01 6A 70 6E", 16,
            R"({"StreamType":3,"RefToSubPathID":2,"RefToStreamPID_OfSubClip":6144,"Preserved":"0102030405"})",
            R"({"StreamCodingType":146,"CharacterCode":1,"LanguageCode":"jpn"})", nullptr},
        EntryCase{"UnknownEntryTypeWrittenAsTypeAlone", "05 07 01 02 03 04 05 1B 61 00 00 00", 12,
                  R"({"StreamType":7})", R"({"StreamCodingType":27,"VideoFormat":6,"FrameRate":1})",
                  "01 07 05 1B 61 00 00 00"},
        EntryCase{"UnknownCodingTypeWrittenAsTypeAlone",
                  "09 01 10 11 00 00 00 00 00 00 03 20 01 02", 14,
                  R"({"StreamType":1,"RefToStreamPID_OfMainClip":4113,"Preserved":"000000000000"})",
                  R"({"StreamCodingType":32})", "09 01 10 11 00 00 00 00 00 00 01 20"},
        EntryCase{"ShortEntryReadsWhatItHolds", "03 01 10 11 05 1B 61 00 00 00", 10,
                  R"({"StreamType":1,"RefToStreamPID_OfMainClip":4113,"Preserved":"000000000000"})",
                  R"({"StreamCodingType":27,"VideoFormat":6,"FrameRate":1})",
                  "09 01 10 11 00 00 00 00 00 00 05 1B 61 00 00 00"},
        EntryCase{
            "LongAttributesSteppedOver", "09 01 11 00 00 00 00 00 00 00 07 81 31 65 6E 67 EE EE",
            18, R"({"StreamType":1,"RefToStreamPID_OfMainClip":4352,"Preserved":"000000000000"})",
            R"({"StreamCodingType":129,"PresentationType":3,"SamplingFrequency":1,"LanguageCode":"eng"})",
            "09 01 11 00 00 00 00 00 00 00 05 81 31 65 6E 67"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(MplsStreamEntry, RefusesLengthsBeyondTheData) {
    const char* const inputs[] = {
        "",
        "09 01 10 11 00 00 00 00 00",                    // entry one byte short
        "09 01 10 11 00 00 00 00 00 00",                 // no attributes
        "09 01 10 11 00 00 00 00 00 00 05 1B 61 00 00",  // attributes one byte short
    };
    for (const char* input : inputs) {
        std::vector<uint8_t> bytes = Hex(input);
        PRIMARY_STREAM_ENTRY entry;
        EXPECT_EQ(entry.Parse(bytes.data(), bytes.size(), 0), 0) << input;
    }
}

TEST(MplsStreamEntry, AttributeLayoutPerCodingType) {
    struct Case {
        uint8_t codingType;
        const char* written;  // after byte 2 = 0x31 and SetLanguageCode("abc")
    };
    const Case cases[] = {
        {0x02, "05 02 31 00 00 00"},
        {0x1B, "05 1B 31 00 00 00"},
        {0xEA, "05 EA 31 00 00 00"},
        {0x80, "05 80 31 61 62 63"},
        {0x83, "05 83 31 61 62 63"},
        {0x86, "05 86 31 61 62 63"},
        {0xA1, "05 A1 31 61 62 63"},
        {0xA2, "05 A2 31 61 62 63"},
        {0x90, "05 90 61 62 63 00"},
        {0x91, "05 91 61 62 63 00"},
        {0x92, "05 92 31 61 62 63"},
        {0x87, "01 87"},
        {0xA3, "01 A3"},
        {0x00, "01 00"},
        {0xFF, "01 FF"},
    };
    for (const Case& c : cases) {
        PRIMARY_STREAM_ENTRY entry;
        entry.StreamAttributes.StreamCodingType = c.codingType;
        entry.StreamAttributes.bytes[0] = 0x31;
        entry.StreamAttributes.SetLanguageCode("abc");
        std::vector<uint8_t> out(size_t(entry.Build(nullptr, 0)));
        entry.Build(out.data(), 0);
        EXPECT_EQ(ToHex(Slice(out, 10, out.size() - 10)), HexOf(c.written)) << int(c.codingType);
    }
}

struct RefListCase {
    const char* name;
    bool video;
    const char* lists;  // the reference lists behind a 16-byte entry
    std::vector<uint8_t> first, second;
};

class MplsReferenceLists : public testing::TestWithParam<RefListCase> {};

TEST_P(MplsReferenceLists, AlignOddCountsToTwoBytes) {
    const RefListCase& c = GetParam();
    std::vector<uint8_t> input = Hex("09 01 1A 00 00 00 00 00 00 00 05 A1 31 65 6E 67");
    std::vector<uint8_t> lists = Hex(c.lists);
    input.insert(input.end(), lists.begin(), lists.end());
    std::unique_ptr<PRIMARY_STREAM_ENTRY> entry;
    if (c.video) {
        entry = std::make_unique<SECONDARD_VIDEO_STREAM_ENTRY>();
    } else {
        entry = std::make_unique<SECONDARD_AUDIO_STREAM_ENTRY>();
    }
    ASSERT_EQ(entry->Parse(input.data(), input.size(), 0), int32_t(input.size()));
    if (auto* video = dynamic_cast<SECONDARD_VIDEO_STREAM_ENTRY*>(entry.get())) {
        EXPECT_EQ(video->SecondardVideoSecondardAudioStreamCombInfo.RefID, c.first);
        EXPECT_EQ(video->SecondardVideoPiP_PG_TextST_StreamCombInfo.RefID, c.second);
    } else {
        auto* audio = dynamic_cast<SECONDARD_AUDIO_STREAM_ENTRY*>(entry.get());
        EXPECT_EQ(audio->SecondardAudioStreamCombInfo.RefID, c.first);
    }
    std::vector<uint8_t> out(size_t(entry->Build(nullptr, 0)));
    entry->Build(out.data(), 0);
    EXPECT_EQ(ToHex(out), ToHex(input));
    // Without its alignment byte an odd list runs past the data.
    if (!c.video && c.first.size() % 2 == 1) {
        EXPECT_EQ(entry->Parse(input.data(), input.size() - 1, 0), 0);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MplsReferenceLists,
    testing::Values(RefListCase{"AudioThreeRefs", false, "03 00 00 01 02 00", {0, 1, 2}, {}},
                    RefListCase{"AudioTwoRefs", false, "02 00 04 05", {4, 5}, {}},
                    RefListCase{"AudioNone", false, "00 00", {}, {}},
                    RefListCase{"VideoOddThenEven", true, "01 00 05 00 02 00 00 01", {5}, {0, 1}},
                    RefListCase{"VideoReservedKept", true, "00 7F 01 7F 03 00", {}, {3}}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- stream number table ------------------------------------------------------------------

SStreamDesc Stream(uint16_t pid, uint8_t codingType = 0x81) {
    SStreamDesc s;
    s.pid = pid;
    s.codingType = codingType;
    s.attributes = {0x31, 'e', 'n', 'g'};
    s.extraAttribute = 7;
    return s;
}

PRIMARY_STREAM_ENTRY* AddEntry(CPseFolder& list, uint8_t type, uint16_t pid, uint8_t subPath = 0) {
    PRIMARY_STREAM_ENTRY* e = list.AddNew();
    e->StreamEntry.StreamType = type;
    e->StreamEntry.RefToSubPathID = subPath;
    if (type == 2 || type == 3) {
        e->StreamEntry.RefToStreamPID_OfSubClip = pid;
    } else {
        e->StreamEntry.RefToStreamPID_OfMainClip = pid;
    }
    e->StreamAttributes.StreamCodingType = 0x90;
    return e;
}

TEST(MplsStnTable, ListsAreWrittenWithPiPPGBehindPG) {
    MPLS mpls;
    StnTable& stn = mpls.PlayItems.Add(std::make_unique<PLAY_ITEM>())->Stn;
    for (uint16_t pid : {0x1B00, 0x1A00, 0x1400, 0x1200, 0x1100, 0x1011})
        ASSERT_NE(stn.AddStream(Stream(pid, pid == 0x1011 ? 0x1B : 0x81)), nullptr);
    AddEntry(stn.PiPPG, 1, 0x1201);
    std::vector<uint8_t> out = Built(mpls);

    auto entry = [](const char* pid, const char* attributes) {
        return std::string("09 01 ") + pid + " 00 00 00 00 00 00 " + attributes + " ";
    };
    std::string expected =
        std::string("00 84 00 00 01 01 01 01 01 01 01 00 00 00 00 00 ") +
        entry("10 11", "05 1B 31 65 6E 67") + entry("11 00", "05 81 31 65 6E 67") +
        entry("12 00", "05 81 31 65 6E 67") + entry("12 01", "05 90 00 00 00 00") +
        entry("14 00", "05 81 31 65 6E 67") + entry("1A 00", "05 81 31 65 6E 67") + "00 00 " +
        entry("1B 00", "05 81 31 65 6E 67") + "00 00 00 00";
    EXPECT_EQ(ToHex(Slice(out, 68 + 34, 134)), HexOf(expected));

    MPLS back;
    ASSERT_EQ(back.Parse(out.data(), out.size()), int32_t(out.size()));
    const StnTable& read = back.PlayItems.GetAt(0)->Stn;
    EXPECT_EQ(read.PG.GetAt(0)->StreamEntry.Pid(), 0x1200);
    EXPECT_EQ(read.PiPPG.GetAt(0)->StreamEntry.Pid(), 0x1201);
    EXPECT_EQ(read.IG.GetAt(0)->StreamEntry.Pid(), 0x1400);
    EXPECT_EQ(read.SecondaryVideo.GetAt(0)->StreamEntry.Pid(), 0x1B00);
    EXPECT_EQ(ToHex(Built(back)), ToHex(out));
}

TEST(MplsStnTable, AddStreamChoosesTheListByPid) {
    using L = StnTable::List;
    struct Case {
        uint16_t pid;
        L list;
    };
    const Case cases[] = {
        {0x1011, StnTable::listPrimaryVideo},
        {0x1012, StnTable::listNone},
        {0x1001, StnTable::listNone},
        {0x10FF, StnTable::listNone},
        {0x1100, StnTable::listPrimaryAudio},
        {0x111F, StnTable::listPrimaryAudio},
        {0x1120, StnTable::listNone},
        {0x1200, StnTable::listPG},
        {0x12FF, StnTable::listPG},
        {0x1800, StnTable::listPG},
        {0x1801, StnTable::listNone},
        {0x1400, StnTable::listIG},
        {0x141F, StnTable::listIG},
        {0x1420, StnTable::listNone},
        {0x1A00, StnTable::listSecondaryAudio},
        {0x1A1F, StnTable::listSecondaryAudio},
        {0x1A20, StnTable::listNone},
        {0x1B00, StnTable::listSecondaryVideo},
        {0x1B1F, StnTable::listSecondaryVideo},
        {0x1B20, StnTable::listNone},
    };
    for (const Case& c : cases) {
        StnTable stn;
        PRIMARY_STREAM_ENTRY* entry = stn.AddStream(Stream(c.pid));
        const int counts[] = {stn.PrimaryVideo.GetCount(),
                              stn.PrimaryAudio.GetCount(),
                              stn.PG.GetCount(),
                              stn.IG.GetCount(),
                              stn.SecondaryAudio.GetCount(),
                              stn.SecondaryVideo.GetCount()};
        for (int list = 0; list < 6; ++list)
            EXPECT_EQ(counts[list], c.list == L(list + 1) ? 1 : 0) << std::hex << c.pid;
        EXPECT_EQ(stn.PiPPG.GetCount(), 0);
        if (c.list == StnTable::listNone) {
            EXPECT_EQ(entry, nullptr) << std::hex << c.pid;
            continue;
        }
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->StreamEntry.StreamType, 1);
        EXPECT_EQ(entry->StreamEntry.RefToStreamPID_OfMainClip, c.pid);
        EXPECT_EQ(entry->StreamAttributes.StreamCodingType, 0x81);
        EXPECT_EQ(entry->StreamAttributes.LanguageCode(), "eng");
    }
    // Secondary streams get entries that carry their reference lists.
    StnTable stn;
    EXPECT_TRUE(stn.AddStream(Stream(0x1A00))->IsKindOf(&SECONDARD_AUDIO_STREAM_ENTRY::classInfo));
    EXPECT_TRUE(stn.AddStream(Stream(0x1B00))->IsKindOf(&SECONDARD_VIDEO_STREAM_ENTRY::classInfo));
}

TEST(MplsStnTable, FindStreamMatchesTypeAndReference) {
    CPseFolder pg;
    AddEntry(pg, 1, 0x1200);
    AddEntry(pg, 2, 0x1200, 1);
    AddEntry(pg, 3, 0x1800, 2);
    struct Case {
        uint8_t type;
        uint16_t pid;
        uint8_t subPath;
        int index;
    };
    const Case cases[] = {
        {1, 0x1200, 0, 0},  {1, 0x1200, 9, 0},  {1, 0x1201, 0, -1}, {2, 0x1200, 1, 1},
        {2, 0x1200, 0, -1}, {2, 0x1201, 1, -1}, {3, 0x1800, 2, 2},  {3, 0x1800, 1, -1},
        {3, 0x1200, 1, -1}, {4, 0x1200, 0, -1},
    };
    for (const Case& c : cases) {
        STREAM_ENTRY e;
        e.StreamType = c.type;
        e.RefToSubPathID = c.subPath;
        e.RefToStreamPID_OfMainClip = c.type == 1 ? c.pid : 0x0FFF;
        e.RefToStreamPID_OfSubClip = c.type == 1 ? 0x0FFF : c.pid;
        EXPECT_EQ(pg.FindStream(e), c.index) << int(c.type) << " " << std::hex << c.pid;
    }
    EXPECT_EQ(pg.FindStreamById(0x1200), 0);
    EXPECT_EQ(pg.FindStreamById(0x1800), 2) << "the sub clip PID of a type-3 entry";
    EXPECT_EQ(pg.FindStreamById(0x0000), -1) << "a type-2 entry's unused main clip PID";
    EXPECT_EQ(pg.FindStreamById(0x1300), -1);
}

TEST(MplsStnTable, FindInAnyListAndRemoveStream) {
    StnTable stn;
    PRIMARY_STREAM_ENTRY* inPiP = AddEntry(stn.PiPPG, 1, 0x1205);
    AddEntry(stn.IG, 1, 0x1205);
    PRIMARY_STREAM_ENTRY* inPg = AddEntry(stn.PG, 1, 0x1206);
    AddEntry(stn.PiPPG, 1, 0x1206);
    AddEntry(stn.PrimaryVideo, 1, 0x1001);
    EXPECT_EQ(stn.FindInAnyList(inPiP->StreamEntry), inPiP) << "PiP PG is searched before IG";
    EXPECT_EQ(stn.FindInAnyList(inPg->StreamEntry), inPg) << "PG is searched before PiP PG";
    STREAM_ENTRY missing;
    missing.RefToStreamPID_OfMainClip = 0x1100;
    EXPECT_EQ(stn.FindInAnyList(missing), nullptr);

    STREAM_ENTRY pid1206 = inPg->StreamEntry;
    EXPECT_TRUE(stn.RemoveStream(pid1206));
    EXPECT_EQ(stn.PG.GetCount(), 0) << "the PG list is tried first";
    EXPECT_EQ(stn.PiPPG.GetCount(), 2);
    EXPECT_TRUE(stn.RemoveStream(pid1206));
    EXPECT_EQ(stn.PiPPG.GetCount(), 1) << "then the PiP PG list";
    EXPECT_FALSE(stn.RemoveStream(pid1206));
    STREAM_ENTRY pid1205 = inPiP->StreamEntry;
    EXPECT_TRUE(stn.RemoveStream(pid1205));
    EXPECT_EQ(stn.IG.GetCount(), 1) << "a PG PID is never looked for in the IG list";
    STREAM_ENTRY pid1001;
    pid1001.RefToStreamPID_OfMainClip = 0x1001;
    EXPECT_FALSE(stn.RemoveStream(pid1001)) << "a PID of no list removes nothing";
    EXPECT_EQ(stn.PrimaryVideo.GetCount(), 1);
}

TEST(MplsStnTable, SortStreamsOrdersEveryListByKey) {
    StnTable stn;
    const int keys[] = {3, 1, 2, 1};
    for (int i = 0; i < 4; ++i) {
        stn.AddStream(Stream(uint16_t(0x1100 + i)))->orderingKey = keys[i];
        stn.AddStream(Stream(uint16_t(0x1B00 + i)))->orderingKey = -keys[i];
    }
    stn.SortStreams();
    std::vector<uint16_t> audio, video;
    for (auto* e : stn.PrimaryAudio.Children()) audio.push_back(e->StreamEntry.Pid());
    for (auto* e : stn.SecondaryVideo.Children()) video.push_back(e->StreamEntry.Pid());
    EXPECT_EQ(audio, (std::vector<uint16_t>{0x1101, 0x1103, 0x1102, 0x1100}));
    EXPECT_EQ(video, (std::vector<uint16_t>{0x1B00, 0x1B02, 0x1B01, 0x1B03}));
}

TEST(MplsStnTable, ExportStreamsSkipsType2Entries) {
    StnTable stn;
    stn.AddStream(Stream(0x1011, 0x1B));
    AddEntry(stn.IG, 2, 0x1400, 1);
    AddEntry(stn.PG, 3, 0x1800, 2)->StreamAttributes.bytes = {0x01, 'j', 'p', 'n'};
    std::vector<SStreamDesc> out;
    stn.ExportStreams(out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].pid, 0x1011);
    EXPECT_EQ(out[0].codingType, 0x1B);
    EXPECT_EQ(out[0].attributes, (std::array<uint8_t, 4>{0x31, 'e', 'n', 'g'}));
    EXPECT_EQ(out[1].pid, 0x1800) << "the sub clip PID of a type-3 entry";
    EXPECT_EQ(out[1].attributes, (std::array<uint8_t, 4>{0x01, 'j', 'p', 'n'}));
}

TEST(MplsStnTable, RemapSubPathIds) {
    const std::vector<int> oldIds{0, 2, 3}, newIds{0, 1, 2};
    struct Case {
        uint8_t type, id, expected;
    };
    const Case cases[] = {{2, 2, 1}, {3, 3, 2}, {2, 0, 0}, {2, 1, 0},
                          {3, 5, 0}, {1, 5, 5}, {4, 2, 2}};
    for (const Case& c : cases) {
        STREAM_ENTRY e;
        e.StreamType = c.type;
        e.RefToSubPathID = c.id;
        RemapSubPathIds(e, oldIds, newIds);
        EXPECT_EQ(e.RefToSubPathID, c.expected) << int(c.type) << " " << int(c.id);
    }
    StnTable stn;
    AddEntry(stn.IG, 2, 0x1400, 3);
    AddEntry(stn.PiPPG, 3, 0x1200, 2);
    stn.RemapSubPathIds(oldIds, newIds);
    EXPECT_EQ(stn.IG.GetAt(0)->StreamEntry.RefToSubPathID, 2);
    EXPECT_EQ(stn.PiPPG.GetAt(0)->StreamEntry.RefToSubPathID, 1);
}

// ---- playlist-wide operations -------------------------------------------------------------

TEST(MplsPlaylist, CollectClipNumbersAndSubPaths) {
    MPLS mpls;
    auto addItem = [&](int clip) {
        PLAY_ITEM* item = mpls.PlayItems.Add(std::make_unique<PLAY_ITEM>());
        item->ClipInformationFileName = ClipNameFromNumber(clip);
        return item;
    };
    addItem(20);
    PLAY_ITEM* multi = addItem(3);
    multi->angles = std::make_unique<ANGLE_BLOCK>();
    ANGLE_CLIP_ENTRY angle;
    angle.ClipInformationFileName = ClipNameFromNumber(7);
    multi->angles->Angles.Add(angle);
    addItem(20);
    for (uint8_t type : {3, 7, 7}) {
        SUB_PATH* path = mpls.SubPaths.Add(std::make_unique<SUB_PATH>());
        path->SubPathType = type;
        SUB_PLAY_ITEM* item = path->SubPlayItems.Add(std::make_unique<SUB_PLAY_ITEM>());
        item->ClipInformationFileName = ClipNameFromNumber(type == 3 ? 99999 : 3);
        if (type == 3) {
            item->clipEntries = std::make_unique<ANGLE_BLOCK>();
            angle.ClipInformationFileName = ToFixedText<5>("12abc");
            item->clipEntries->Angles.Add(angle);
        }
    }
    std::vector<int> clips;
    mpls.CollectClipNumbers(clips);
    EXPECT_EQ(clips, (std::vector<int>{20, 3, 7, 99999, 12}));

    std::vector<SUB_PATH*> pip = mpls.CollectSubPaths();
    ASSERT_EQ(pip.size(), 2u);
    EXPECT_EQ(pip[0], mpls.SubPaths.GetAt(1));
    EXPECT_EQ(pip[1], mpls.SubPaths.GetAt(2));
    EXPECT_EQ(mpls.CollectSubPaths(subPathIgMenu).size(), 1u);
}

// JSON strings must be UTF-8: texts of a damaged file are shown as their bytes in hex.
TEST(MplsPlaylist, DescribesTextsThatAreNotPrintable) {
    MPLS mpls;
    mpls.TypeIndicator = "\xCF\x01PL";
    PLAY_ITEM* item = mpls.PlayItems.Add(std::make_unique<PLAY_ITEM>());
    item->ClipInformationFileName = ToFixedText<5>(
        "0\xFF"
        "001");
    SUB_PATH* path = mpls.SubPaths.Add(std::make_unique<SUB_PATH>());
    path->SubPlayItems.Add(std::make_unique<SUB_PLAY_ITEM>())->ClipCodecIdentifier =
        ToFixedText<4>("M2\xE9S");
    std::vector<uint8_t> out = Built(mpls);
    MPLS back;
    ASSERT_EQ(back.Parse(out.data(), out.size()), int32_t(out.size()));
    Json j = back.ToJson();
    EXPECT_NO_THROW((void)j.dump());
    EXPECT_EQ(j["TypeIndicator"], "cf01504c");
    EXPECT_EQ(j["VersionNumber"], "0200");
    EXPECT_EQ(j["PlayItems"][0]["ClipInformationFileName"], "30ff303031");
    EXPECT_EQ(j["SubPaths"][0]["SubPlayItems"][0]["ClipCodecIdentifier"], "4d32e953");
}

TEST(MplsPlaylist, RefusesWhatTheFormatCannotHold) {
    MPLS mpls;
    PLAY_ITEM* item = mpls.PlayItems.Add(std::make_unique<PLAY_ITEM>());
    for (int i = 0; i < 256; ++i) item->Stn.AddStream(Stream(0x1200));
    std::vector<uint8_t> out{1, 2, 3};
    EXPECT_EQ(mpls.Build(nullptr), 0u) << "256 entries do not fit an 8-bit count";
    EXPECT_EQ(mpls.Build(&out), 0u);
    EXPECT_EQ(out, (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(mpls.PlayListStartAddress, 0u) << "nothing stored from a refused build";
    EXPECT_EQ(item->length, 0u);
    test::TempDir dir;
    CFile file;
    ASSERT_TRUE(file.Open(dir / "big.mpls", CFile::modeWrite));
    EXPECT_THROW(mpls.Write(file), std::length_error);
    item->Stn.PG.RemoveAt(0);
    EXPECT_GT(mpls.Build(&out), 0u);
}

TEST(MplsPlaylist, ExtensionDataIsKeptAndRewritten) {
    MPLS mpls;
    mpls.PlayItems.Add(std::make_unique<PLAY_ITEM>());
    mpls.PlayListMarks.Add(PLAY_MARK{});
    mpls.ExtensionData = std::make_unique<CExtData>();
    SPipMetaData pip;
    pip.headers.push_back(MetadataBlockHeader{});
    pip.headers[0].RefSvStreamId = 1;
    pip.blocks.resize(1);
    pip.blocks[0].entries = {PipMetadataEntry{0, 100, 200, 1}, PipMetadataEntry{4500, 110, 210, 2}};
    ASSERT_NE(mpls.ExtensionData->SetEntry(pip, kExtIdPipMetadata), nullptr);
    auto unknown = std::make_unique<SExtDataEntry>();
    unknown->ExtDataEntry_ID1 = 0x2000;
    unknown->ExtDataEntry_ID2 = 5;
    unknown->data = {1, 2, 3, 4, 5};
    mpls.ExtensionData->entries.Add(std::move(unknown));

    std::vector<uint8_t> out = Built(mpls);
    // Marks at 118: length 16, then the extension data directly behind.
    EXPECT_EQ(mpls.PlayListMarkStartAddress, 118u);
    EXPECT_EQ(mpls.ExtensionDataStartAddress, 118u + 20u);
    EXPECT_EQ(ToHex(Slice(out, 16, 4)), "00 00 00 8A");

    MPLS back;
    ASSERT_EQ(back.Parse(out.data(), out.size()), int32_t(out.size()));
    ASSERT_NE(back.ExtensionData, nullptr);
    ASSERT_EQ(back.ExtensionData->entries.GetCount(), 2);
    EXPECT_EQ(back.ExtensionData->entries.GetAt(1)->data, (std::vector<uint8_t>{1, 2, 3, 4, 5}));
    std::unique_ptr<SPipMetaData> readPip = back.PipMetadata();
    ASSERT_NE(readPip, nullptr);
    ASSERT_EQ(readPip->blocks.size(), 1u);
    ASSERT_EQ(readPip->blocks[0].entries.size(), 2u);
    EXPECT_EQ(readPip->blocks[0].entries[1].PipVerPos, 210);
    EXPECT_EQ(ToHex(Built(back)), ToHex(out));

    // A copy owns its own extension data and builds the same file.
    MPLS copy;
    MPLS::Copy(back, copy);
    ASSERT_NE(copy.ExtensionData, nullptr);
    EXPECT_NE(copy.ExtensionData.get(), back.ExtensionData.get());
    back.ExtensionData->RemovePipMetadata();
    EXPECT_NE(copy.PipMetadata(), nullptr);
    EXPECT_EQ(ToHex(Built(copy)), ToHex(out));
    EXPECT_EQ(back.PipMetadata(), nullptr);
}

// ---- a playlist using every block ----------------------------------------------------------

// Two play items (the first multi-angle with two further angles, the second with an entry in
// each of the seven lists), a sub path whose second sub play item has clip entries, marks and
// extension data.
void FillRichPlaylist(MPLS& mpls) {
    mpls.AppInfoPlaylist.UoMask[0] = 0x80;
    PLAY_ITEM* angled = mpls.PlayItems.Add(std::make_unique<PLAY_ITEM>());
    angled->ClipInformationFileName = ClipNameFromNumber(1);
    angled->OutTime = 90000;
    angled->angles = std::make_unique<ANGLE_BLOCK>();
    angled->angles->IsSeamlessAngleChange = 1;
    for (int clip : {2, 3}) {
        ANGLE_CLIP_ENTRY angle;
        angle.ClipInformationFileName = ClipNameFromNumber(clip);
        angled->angles->Angles.Add(angle);
    }
    angled->Stn.AddStream(Stream(0x1011, 0x1B));

    PLAY_ITEM* full = mpls.PlayItems.Add(std::make_unique<PLAY_ITEM>());
    full->ClipInformationFileName = ClipNameFromNumber(4);
    full->StillMode = 1;
    full->StillTime = 5;
    StnTable& stn = full->Stn;
    stn.reserved = 0x0102;
    stn.reserved2 = {1, 2, 3, 4, 5};
    for (uint16_t pid : {0x1011, 0x1100, 0x1200, 0x1400}) stn.AddStream(Stream(pid));
    AddEntry(stn.PiPPG, 3, 0x1201, 0);
    auto* audio = static_cast<SECONDARD_AUDIO_STREAM_ENTRY*>(stn.AddStream(Stream(0x1A00, 0xA1)));
    audio->SecondardAudioStreamCombInfo.RefID = {0, 1, 2};
    auto* video = static_cast<SECONDARD_VIDEO_STREAM_ENTRY*>(stn.AddStream(Stream(0x1B00, 0x1B)));
    video->StreamEntry.StreamType = 2;
    video->StreamEntry.RefToSubPathID = 0;
    video->StreamEntry.RefToStreamPID_OfSubClip = 0x1B00;
    video->SecondardVideoSecondardAudioStreamCombInfo.RefID = {0};
    video->SecondardVideoPiP_PG_TextST_StreamCombInfo.RefID = {0, 1};

    SUB_PATH* path = mpls.SubPaths.Add(std::make_unique<SUB_PATH>());
    path->SubPathType = subPathOutOfMuxAsyncPip;
    path->SubPlayItems.Add(std::make_unique<SUB_PLAY_ITEM>())->ClipInformationFileName =
        ClipNameFromNumber(5);
    SUB_PLAY_ITEM* multi = path->SubPlayItems.Add(std::make_unique<SUB_PLAY_ITEM>());
    multi->ClipInformationFileName = ClipNameFromNumber(6);
    multi->clipEntries = std::make_unique<ANGLE_BLOCK>();
    ANGLE_CLIP_ENTRY clip;
    clip.ClipInformationFileName = ClipNameFromNumber(7);
    multi->clipEntries->Angles.Add(clip);

    mpls.PlayListMarks.Add(PLAY_MARK{});
    PLAY_MARK link;
    link.MarkType = 2;
    link.RefToPlayItemID = 1;
    mpls.PlayListMarks.Add(link);

    mpls.ExtensionData = std::make_unique<CExtData>();
    auto unknown = std::make_unique<SExtDataEntry>();
    unknown->ExtDataEntry_ID1 = 0x2000;
    unknown->ExtDataEntry_ID2 = 5;
    unknown->data = {1, 2, 3, 4, 5};
    mpls.ExtensionData->entries.Add(std::move(unknown));
}

std::vector<uint8_t> RichPlaylist() {
    MPLS mpls;
    FillRichPlaylist(mpls);
    return Built(mpls);
}

TEST(MplsCopy, IsDeepAndReplacesTheDestination) {
    MPLS source;
    FillRichPlaylist(source);
    const std::vector<uint8_t> image = Built(source);

    MPLS copy;
    copy.PlayItems.Add(std::make_unique<PLAY_ITEM>());
    copy.SubPaths.Add(std::make_unique<SUB_PATH>());
    copy.PlayListMarks.Add(PLAY_MARK{});
    MPLS::Copy(source, copy);
    ASSERT_EQ(ToHex(Built(copy)), ToHex(image));
    ASSERT_TRUE(copy.PlayItems.GetAt(1)->Stn.SecondaryVideo.GetAt(0)->IsKindOf(
        &SECONDARD_VIDEO_STREAM_ENTRY::classInfo));

    // Change every nested part of the source; the copy must not follow.
    source.AppInfoPlaylist.UoMask[0] = 0;
    PLAY_ITEM* angled = source.PlayItems.GetAt(0);
    angled->angles->Angles.GetAt(0)->ClipInformationFileName = ClipNameFromNumber(99);
    angled->Stn.PrimaryVideo.GetAt(0)->StreamEntry.RefToStreamPID_OfMainClip = 0x1012;
    StnTable& stn = source.PlayItems.GetAt(1)->Stn;
    stn.SecondaryAudio.GetAt(0)->SecondardAudioStreamCombInfo.RefID.push_back(3);
    stn.SecondaryVideo.GetAt(0)->SecondardVideoPiP_PG_TextST_StreamCombInfo.RefID.clear();
    stn.PiPPG.RemoveAt(0);
    source.SubPaths.GetAt(0)->SubPlayItems.GetAt(1)->clipEntries->Angles.RemoveAll();
    source.PlayListMarks.GetAt(1)->MarkTimeStamp = 1;
    source.ExtensionData->entries.GetAt(0)->data.clear();
    source.PlayItems.Add(std::make_unique<PLAY_ITEM>());
    EXPECT_NE(ToHex(Built(source)), ToHex(image));
    EXPECT_EQ(ToHex(Built(copy)), ToHex(image));

    MPLS back;
    ASSERT_EQ(back.Parse(image.data(), image.size()), int32_t(image.size()));
    EXPECT_EQ(ToHex(Built(back)), ToHex(image));
    std::vector<int> clips;
    back.CollectClipNumbers(clips);
    EXPECT_EQ(clips, (std::vector<int>{1, 2, 3, 4, 5, 6, 7}));
}

// ---- damaged files ------------------------------------------------------------------------

std::vector<uint8_t> FixturePlaylist() {
    return ReadWholeFile(Fixture(kPlaylistFixtures[0]));
}

TEST(MplsDamaged, EveryTruncationIsRefused) {
    std::vector<uint8_t> file = FixturePlaylist();
    for (size_t size = 0; size < file.size(); ++size) {
        MPLS mpls;
        EXPECT_EQ(mpls.Parse(file.data(), size), 0) << "truncated to " << size;
    }
}

TEST(MplsDamaged, EveryTruncationOfAPlaylistUsingEveryBlockIsRefused) {
    std::vector<uint8_t> file = RichPlaylist();
    {
        MPLS mpls;
        ASSERT_EQ(mpls.Parse(file.data(), file.size()), int32_t(file.size()));
    }
    for (size_t size = 0; size < file.size(); ++size) {
        MPLS mpls;
        EXPECT_EQ(mpls.Parse(file.data(), size), 0) << "truncated to " << size;
    }
}

// Counts inside nested blocks of the rich playlist, each raised past what its block holds.
TEST(MplsDamaged, NestedCountsBeyondTheirBlockAreRefused) {
    const std::vector<uint8_t> file = RichPlaylist();
    MPLS mpls;
    ASSERT_GT(mpls.Parse(file.data(), file.size()), 0);
    const size_t angled = 68;
    const size_t full = angled + 2 + mpls.PlayItems.GetAt(0)->length;
    const size_t path = full + 2 + mpls.PlayItems.GetAt(1)->length;
    const size_t secondSubItem =
        path + 10 + 2 + mpls.SubPaths.GetAt(0)->SubPlayItems.GetAt(0)->length;
    // The secondary audio entry follows the 16-byte table head and five 16-byte entries.
    const size_t audioRefs = full + 34 + 16 + 5 * 16 + 16;
    ASSERT_EQ(file[audioRefs], 3) << "the secondary audio reference count";
    ASSERT_EQ(file[angled + 34], 3) << "the number of angles";
    ASSERT_EQ(file[path + 9], 2) << "the sub play item count";
    ASSERT_EQ(file[secondSubItem + 30], 2) << "the number of clip entries";
    struct Case {
        const char* name;
        size_t offset;
        uint8_t value;
    };
    const Case cases[] = {
        {"NumberOfAnglesBeyondItem", angled + 34, 0xFF},
        {"NoAnglesInAngleBlock", angled + 34, 0x00},
        {"SubPlayItemCountBeyondPath", path + 9, 0xFF},
        {"SubPathLengthBeyondPlaylist", path + 2, 0x10},
        {"ClipEntryCountBeyondItem", secondSubItem + 30, 0x30},
        {"ReferenceCountBeyondTable", audioRefs, 0xF0},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> damaged = file;
        damaged[c.offset] = c.value;
        MPLS parsed;
        EXPECT_EQ(parsed.Parse(damaged.data(), damaged.size()), 0) << c.name;
    }
}

struct DamageCase {
    const char* name;
    size_t offset;
    const char* bytes;  // written over the fixture at offset
};

class MplsDamaged : public testing::TestWithParam<DamageCase> {};

// Offsets into the fixture: playlist block at 58 (play item at 68, its stream table at 102 with
// the counts at 106, the entries at 118 and 134, their attributes at 128 and 144), marks at 150.
TEST_P(MplsDamaged, IsRefused) {
    std::vector<uint8_t> file = FixturePlaylist();
    ASSERT_EQ(file.size(), 184u);
    std::vector<uint8_t> patch = Hex(GetParam().bytes);
    std::copy(patch.begin(), patch.end(), file.begin() + long(GetParam().offset));
    MPLS mpls;
    EXPECT_EQ(mpls.Parse(file.data(), file.size()), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, MplsDamaged,
                         testing::Values(DamageCase{"PlaylistStartBeyondFile", 8, "00 00 10 00"},
                                         DamageCase{"PlaylistStartInsideHeader", 8, "00 00 00 20"},
                                         DamageCase{"MarkStartAtEndOfFile", 12, "00 00 00 B8"},
                                         DamageCase{"ExtensionDataBeyondFile", 16, "00 00 01 00"},
                                         DamageCase{"AppInfoLongerThanFile", 40, "00 00 10 00"},
                                         DamageCase{"PlaylistLengthBeyondFile", 58, "00 00 10 00"},
                                         DamageCase{"PlayItemCountBeyondBlock", 64, "FF FF"},
                                         DamageCase{"SubPathCountWithoutSubPaths", 66, "00 01"},
                                         DamageCase{"PlayItemLengthBeyondBlock", 68, "00 60"},
                                         DamageCase{"PlayItemTooShortForItsFields", 68, "00 10"},
                                         DamageCase{"MultiAngleWithoutAngles", 80, "11"},
                                         DamageCase{"StreamTableBeyondPlayItem", 102, "00 40"},
                                         DamageCase{"StreamCountBeyondTable", 106, "20"},
                                         DamageCase{"SecondaryAudioCountBeyondTable", 110, "03"},
                                         DamageCase{"StreamEntryBeyondTable", 118, "F0"},
                                         DamageCase{"AttributesBeyondTable", 144, "20"},
                                         DamageCase{"MarkLengthBeyondFile", 150, "00 00 00 30"},
                                         DamageCase{"MarkCountBeyondBlock", 154, "00 03"}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- files made by other tools ------------------------------------------------------------

class MplsFixture : public testing::TestWithParam<const char*> {};

TEST_P(MplsFixture, RebuildsByteIdentical) {
    std::vector<uint8_t> file = ReadWholeFile(Fixture(GetParam()));
    MPLS mpls;
    ASSERT_EQ(mpls.Parse(file.data(), file.size()), int32_t(file.size()));
    EXPECT_EQ(ToHex(Built(mpls)), ToHex(file));

    MPLS copy;
    MPLS::Copy(mpls, copy);
    EXPECT_EQ(ToHex(Built(copy)), ToHex(file));

    test::TempDir dir;
    {
        CFile out;
        ASSERT_TRUE(out.Open(dir / "00000.mpls", CFile::modeWrite));
        mpls.Write(out);
    }
    EXPECT_EQ(ReadWholeFile(dir / "00000.mpls"), file);
}

INSTANTIATE_TEST_SUITE_P(Files, MplsFixture, testing::ValuesIn(kPlaylistFixtures));

TEST(MplsFixture, ReadsTheTsMuxerPlaylist) {
    std::vector<uint8_t> file = FixturePlaylist();
    MPLS mpls;
    ASSERT_GT(mpls.Parse(file.data(), file.size()), 0);
    EXPECT_EQ(mpls.AppInfoPlaylist.AudioMixAppFlag, 1);
    ASSERT_EQ(mpls.PlayItems.GetCount(), 1);
    const PLAY_ITEM* item = mpls.PlayItems.GetAt(0);
    EXPECT_EQ(item->InTime, 0x019BFCC0u);
    EXPECT_EQ(item->OutTime, 0x019EBC94u);
    ASSERT_EQ(item->Stn.PrimaryVideo.GetCount(), 1);
    EXPECT_EQ(item->Stn.PrimaryVideo.GetAt(0)->StreamAttributes.VideoFormat(), 6);  // 1080p
    EXPECT_EQ(item->Stn.PrimaryVideo.GetAt(0)->StreamAttributes.FrameRate(), 1);    // 23.976
    ASSERT_EQ(item->Stn.PrimaryAudio.GetCount(), 1);
    EXPECT_EQ(item->Stn.PrimaryAudio.GetAt(0)->StreamEntry.Pid(), 0x1100);
    EXPECT_EQ(item->Stn.PrimaryAudio.GetAt(0)->StreamAttributes.LanguageCode(), "eng");
    ASSERT_EQ(mpls.PlayListMarks.GetCount(), 2);
    // Chapter marks at 0 s and 2 s of the item (45 kHz).
    EXPECT_EQ(mpls.PlayListMarks.GetAt(1)->MarkTimeStamp - item->InTime, 90000u);
    std::vector<int> clips;
    mpls.CollectClipNumbers(clips);
    EXPECT_EQ(clips, std::vector<int>{0});

    Json j = mpls.ToJson();
    EXPECT_EQ(j["PlayItems"][0]["StnTable"]["PrimaryAudio"][0]["StreamAttributes"]["LanguageCode"],
              "eng");
    EXPECT_EQ(j["PlayListMarks"][1]["MarkType"], 1);
}

}  // namespace
}  // namespace vx
