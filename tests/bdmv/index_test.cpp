// The index table file: layout, title entries, extension data and damaged files.

#include "bdmv/index_bdmv.h"

#include <gtest/gtest.h>

#include "foundation/bytes.h"
#include "foundation/file.h"
#include "support.h"

namespace vx {
namespace {

using test::Fixture;
using test::Hex;
using test::ToHex;

const char* const kIndexFixtures[] = {
    "disc-avc1080p24-ac3/BDMV/index.bdmv",
    "disc-avc1080p24-ac3/BDMV/BACKUP/index.bdmv",
    "third-party/bdmv/bigbuckbunny-tsmuxer/BDMV/index.bdmv",
    "third-party/bdmv/bigbuckbunny-tsmuxer/BDMV/BACKUP/index.bdmv",
};

std::vector<uint8_t> FixtureIndex() {
    return ReadWholeFile(Fixture(kIndexFixtures[0]));
}

std::vector<uint8_t> Built(INDEX_BDMV& index) {
    std::vector<uint8_t> out;
    uint32_t size = index.Build(nullptr);
    EXPECT_EQ(index.Build(&out), size);
    EXPECT_EQ(out.size(), size);
    return out;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& v, size_t at, size_t count) {
    return std::vector<uint8_t>(v.begin() + long(at), v.begin() + long(at + count));
}

TEST(IndexBdmv, EmptyRecordIs108Bytes) {
    INDEX_BDMV index;
    std::vector<uint8_t> out = Built(index);
    ASSERT_EQ(out.size(), 108u);
    EXPECT_EQ(ToHex(Slice(out, 0, 16)), "49 4E 44 58 30 32 30 30 00 00 00 4E 00 00 00 00");
    EXPECT_EQ(ToHex(Slice(out, 40, 4)), "00 00 00 22");
    EXPECT_EQ(ToHex(Slice(out, 78, 4)), "00 00 00 1A");
    // Default entries: HDMV, no movie object; the top menu written as an interactive title.
    EXPECT_EQ(ToHex(Slice(out, 82, 26)),
              "40 00 00 00 00 00 FF FF 00 00 00 00 "
              "40 00 00 00 40 00 FF FF 00 00 00 00 00 00");
    EXPECT_EQ(index.IndexesStartAddress, 78u);
    EXPECT_EQ(index.IndexesLength, 26u);
}

struct TopMenuCase {
    uint8_t objectType, playbackType;
    uint8_t writtenByte4, recordPlaybackType;
};

class IndexTopMenu : public testing::TestWithParam<TopMenuCase> {};

TEST_P(IndexTopMenu, IsAlwaysWrittenInteractive) {
    INDEX_BDMV index;
    index.TopMenu.ObjectType = GetParam().objectType;
    index.TopMenu.TitlePlaybackType = GetParam().playbackType;
    index.FirstPlayback.TitlePlaybackType = 0;
    std::vector<uint8_t> out = Built(index);
    EXPECT_EQ(out[94 + 4], GetParam().writtenByte4);
    EXPECT_EQ(index.TopMenu.TitlePlaybackType, GetParam().recordPlaybackType);
    EXPECT_EQ(out[82 + 4], 0x00);  // first playback keeps its type
}

INSTANTIATE_TEST_SUITE_P(Cases, IndexTopMenu,
                         testing::Values(TopMenuCase{1, 0, 0x40, 1}, TopMenuCase{1, 1, 0x40, 1},
                                         TopMenuCase{2, 2, 0xC0, 3}, TopMenuCase{2, 3, 0xC0, 3}));

TEST(IndexBdmv, TitleEntriesCarryMovieObjectIdOrBdjName) {
    INDEX_BDMV index;
    TI hdmv;
    hdmv.TitleAccessType = 2;
    hdmv.TitlePlaybackType = 1;
    hdmv.MovieObjectId = 0x0304;
    hdmv.SetBdjoName("99999");  // not written for an HDMV title
    TI bdj;
    bdj.ObjectType = TI::kBdj;
    bdj.TitleAccessType = 1;
    bdj.TitlePlaybackType = 2;
    bdj.MovieObjectId = 7;  // not written for a BD-J title
    bdj.SetBdjoName("12345");
    index.Titles.Add(hdmv);
    index.Titles.Add(bdj);

    std::vector<uint8_t> out = Built(index);
    ASSERT_EQ(out.size(), 108u + 24u);
    EXPECT_EQ(ToHex(Slice(out, 106, 26)),
              "00 02 "
              "60 00 00 00 40 00 03 04 00 00 00 00 "
              "90 00 00 00 80 00 31 32 33 34 35 00");
    EXPECT_EQ(index.NumberOfTitles, 2);
    EXPECT_EQ(index.IndexesLength, 50u);

    INDEX_BDMV back;
    ASSERT_EQ(back.Parse(out.data(), out.size()), int32_t(out.size()));
    ASSERT_EQ(back.Titles.GetCount(), 2);
    const TI& t1 = *back.Titles.GetAt(0);
    EXPECT_EQ(t1.ObjectType, 1);
    EXPECT_EQ(t1.TitleAccessType, 2);
    EXPECT_EQ(t1.TitlePlaybackType, 1);
    EXPECT_EQ(t1.MovieObjectId, 0x0304);
    const TI& t2 = *back.Titles.GetAt(1);
    EXPECT_EQ(t2.ObjectType, 2);
    EXPECT_EQ(t2.TitleAccessType, 1);
    EXPECT_EQ(t2.TitlePlaybackType, 2);
    EXPECT_EQ(t2.BdjoName(), "12345");
}

class IndexFixture : public testing::TestWithParam<const char*> {};

TEST_P(IndexFixture, RebuildsByteIdentical) {
    std::vector<uint8_t> file = ReadWholeFile(Fixture(GetParam()));
    INDEX_BDMV index;
    ASSERT_EQ(index.Parse(file.data(), file.size()), int32_t(file.size()));
    EXPECT_EQ(ToHex(Built(index)), ToHex(file));
}

INSTANTIATE_TEST_SUITE_P(Files, IndexFixture, testing::ValuesIn(kIndexFixtures));

TEST(IndexBdmv, FixtureEntries) {
    std::vector<uint8_t> file = FixtureIndex();
    INDEX_BDMV index;
    ASSERT_GT(index.Parse(file.data(), file.size()), 0);
    EXPECT_EQ(index.FirstPlayback.MovieObjectId, 2);
    EXPECT_EQ(index.FirstPlayback.TitlePlaybackType, 1);
    EXPECT_EQ(index.TopMenu.MovieObjectId, 1);
    ASSERT_EQ(index.Titles.GetCount(), 1);
    EXPECT_EQ(index.Titles.GetAt(0)->MovieObjectId, 0);
    EXPECT_EQ(index.Titles.GetAt(0)->TitlePlaybackType, 0);
    EXPECT_EQ(index.ExtensionData, nullptr);
    Json j = index.ToJson();
    EXPECT_EQ(j["TypeIndicator"], "INDX");
    EXPECT_EQ(j["Titles"][0]["MovieObjectId"], 0);
}

TEST(IndexBdmv, IndexesAnywhereAreReadAndRewrittenAt78) {
    std::vector<uint8_t> original = FixtureIndex();
    std::vector<uint8_t> moved = original;
    WriteBE32(moved.data() + 8, 90);
    moved.insert(moved.begin() + 78, 12, 0xEE);

    INDEX_BDMV index;
    ASSERT_EQ(index.Parse(moved.data(), moved.size()), int32_t(moved.size()));
    EXPECT_EQ(index.IndexesStartAddress, 90u);
    EXPECT_EQ(index.FirstPlayback.MovieObjectId, 2);
    ASSERT_EQ(index.Titles.GetCount(), 1);
    EXPECT_EQ(ToHex(Built(index)), ToHex(original));
    EXPECT_EQ(index.IndexesStartAddress, 78u);
}

TEST(IndexBdmv, TypeAndVersionAreKeptAsRead) {
    std::vector<uint8_t> file = FixtureIndex();
    std::memcpy(file.data(), "indx0100", 8);
    INDEX_BDMV index;
    ASSERT_GT(index.Parse(file.data(), file.size()), 0);
    EXPECT_EQ(index.VersionNumber, "0100");
    EXPECT_EQ(ToHex(Built(index)), ToHex(file));
}

TEST(IndexBdmv, AppInfoAndUserDataAreKept) {
    std::vector<uint8_t> file = FixtureIndex();
    file[44] = 0x51;
    file[45] = 0x60;
    for (int i = 0; i < 32; ++i) file[46 + i] = uint8_t(i + 1);
    INDEX_BDMV index;
    ASSERT_GT(index.Parse(file.data(), file.size()), 0);
    EXPECT_EQ(ToHex(Built(index)), ToHex(file));
}

// The fixture with an extension data block behind the titles: one entry of a kind we do not
// know, 7 bytes padded to 8.
std::vector<uint8_t> IndexWithUnknownExtension() {
    std::vector<uint8_t> file = FixtureIndex();
    WriteBE32(file.data() + 12, uint32_t(file.size()));
    std::vector<uint8_t> ext =
        Hex("00 00 00 1C  00 00 00 18  00 00 00 01"
            "AB CD 00 07  00 00 00 18  00 00 00 07"
            "01 02 03 04 05 06 07 00");
    file.insert(file.end(), ext.begin(), ext.end());
    return file;
}

TEST(IndexBdmv, UnknownExtensionEntryIsKept) {
    std::vector<uint8_t> file = IndexWithUnknownExtension();
    INDEX_BDMV index;
    ASSERT_EQ(index.Parse(file.data(), file.size()), int32_t(file.size()));
    ASSERT_NE(index.ExtensionData, nullptr);
    ASSERT_EQ(index.ExtensionData->entries.GetCount(), 1);
    EXPECT_EQ(ToHex(index.ExtensionData->entries.GetAt(0)->data), "01 02 03 04 05 06 07");
    EXPECT_EQ(ToHex(Built(index)), ToHex(file));
    EXPECT_EQ(index.ExtensionDataStartAddress, 120u);
}

TEST(IndexBdmv, ExtensionDataFollowsTheTitlesOfAnEditedRecord) {
    std::vector<uint8_t> file = IndexWithUnknownExtension();
    INDEX_BDMV index;
    ASSERT_GT(index.Parse(file.data(), file.size()), 0);
    index.Titles.Add(TI{});
    std::vector<uint8_t> out = Built(index);
    EXPECT_EQ(ReadBE32(out.data() + 12), 132u);
    EXPECT_EQ(ToHex(Slice(out, 132, out.size() - 132)), ToHex(Slice(file, 120, file.size() - 120)));

    index.ExtensionData.reset();
    out = Built(index);
    EXPECT_EQ(out.size(), 132u);
    EXPECT_EQ(ReadBE32(out.data() + 12), 0u);
    EXPECT_EQ(index.ExtensionDataStartAddress, 0u);
}

TEST(IndexBdmv, CopySharesNothing) {
    std::vector<uint8_t> file = IndexWithUnknownExtension();
    auto source = std::make_unique<INDEX_BDMV>();
    ASSERT_GT(source->Parse(file.data(), file.size()), 0);

    INDEX_BDMV destination;
    destination.Titles.Add(TI{});
    destination.Titles.Add(TI{});
    destination.ExtensionData = std::make_unique<CExtData>();
    INDEX_BDMV::Copy(*source, destination);

    source->Titles.GetAt(0)->MovieObjectId = 9;
    source->ExtensionData->entries.GetAt(0)->data[0] = 0xFF;
    source.reset();
    EXPECT_EQ(ToHex(Built(destination)), ToHex(file));
}

TEST(IndexBdmv, ParseReleasesPreviousContent) {
    std::vector<uint8_t> withExt = IndexWithUnknownExtension();
    std::vector<uint8_t> plain = FixtureIndex();
    INDEX_BDMV index;
    ASSERT_GT(index.Parse(withExt.data(), withExt.size()), 0);
    index.Titles.Add(TI{});
    ASSERT_GT(index.Parse(plain.data(), plain.size()), 0);
    EXPECT_EQ(index.Titles.GetCount(), 1);
    EXPECT_EQ(index.ExtensionData, nullptr);
}

TEST(IndexBdmv, WriteWritesTheBuiltImage) {
    std::vector<uint8_t> file = IndexWithUnknownExtension();
    INDEX_BDMV index;
    ASSERT_GT(index.Parse(file.data(), file.size()), 0);
    test::TempDir dir;
    {
        CFile out;
        ASSERT_TRUE(out.Open(dir / "index.bdmv", CFile::modeWrite));
        index.Write(out);
    }
    EXPECT_EQ(ToHex(ReadWholeFile(dir / "index.bdmv")), ToHex(file));
}

// ---- damaged files ------------------------------------------------------------------------

struct DamageCase {
    const char* name;
    size_t truncateTo;  // 0: keep the whole file
    size_t patchAt;     // 0: no patch
    uint32_t value;     // written as 32 bits at patchAt
    int patchBytes = 4;
};

class IndexDamaged : public testing::TestWithParam<DamageCase> {};

TEST_P(IndexDamaged, ParseFails) {
    const DamageCase& c = GetParam();
    std::vector<uint8_t> file = IndexWithUnknownExtension();  // 152 bytes, extension at 120
    if (c.patchAt != 0) {
        if (c.patchBytes == 2) {
            WriteBE16(file.data() + c.patchAt, uint16_t(c.value));
        } else {
            WriteBE32(file.data() + c.patchAt, c.value);
        }
    }
    if (c.truncateTo != 0)
        file.resize(c.truncateTo);
    INDEX_BDMV index;
    EXPECT_EQ(index.Parse(file.data(), file.size()), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, IndexDamaged,
                         testing::Values(DamageCase{"TruncatedInHeader", 7, 0, 0},
                                         DamageCase{"TruncatedInAppInfo", 60, 0, 0},
                                         DamageCase{"TruncatedBeforeIndexes", 78, 0, 0},
                                         DamageCase{"TruncatedInTopMenu", 100, 0, 0},
                                         DamageCase{"TruncatedInTitles", 119, 0, 0},
                                         DamageCase{"TruncatedInExtensionDirectory", 130, 0, 0},
                                         DamageCase{"TruncatedInExtensionData", 150, 0, 0},
                                         DamageCase{"IndexesBeyondFile", 0, 8, 0x1000},
                                         DamageCase{"IndexesInsideHeader", 0, 8, 40},
                                         DamageCase{"IndexesLengthBeyondFile", 0, 78, 0x100},
                                         DamageCase{"IndexesLengthHuge", 0, 78, 0xFFFFFFF0},
                                         DamageCase{"IndexesTooShortForEntries", 0, 78, 20},
                                         DamageCase{"TitleCountBeyondIndexes", 0, 106, 2, 2},
                                         DamageCase{"ExtensionBeyondFile", 0, 12, 0x1000},
                                         DamageCase{"ExtensionInsideIndexes", 0, 12, 90},
                                         DamageCase{"ExtensionInsideHeader", 0, 12, 4},
                                         DamageCase{"ExtensionLengthBeyondFile", 0, 120, 0x40}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vx
