// Extension data block, its directory and the two entry kinds we understand.

#include "bdmv/ext_data.h"

#include <gtest/gtest.h>

#include "support.h"

namespace vx {
namespace {

using test::Hex;
using test::ToHex;

SExtDataEntry* AddEntry(CExtData& block, uint16_t id1, uint16_t id2, std::vector<uint8_t> data) {
    auto entry = std::make_unique<SExtDataEntry>();
    entry->ExtDataEntry_ID1 = id1;
    entry->ExtDataEntry_ID2 = id2;
    entry->data = std::move(data);
    return block.entries.Add(std::move(entry));
}

std::vector<uint8_t> Built(CExtData& block) {
    std::vector<uint8_t> out;
    EXPECT_EQ(block.Build(nullptr), block.Build(&out));
    return out;
}

// ---- block layout -------------------------------------------------------------------------

struct LayoutCase {
    const char* name;
    std::vector<std::vector<uint8_t>> entryData;  // entries with ID1 = 0x10 + index, ID2 = 1
    const char* expected;
};

class ExtDataLayout : public testing::TestWithParam<LayoutCase> {};

TEST_P(ExtDataLayout, BuildsDirectoryAndPaddedData) {
    CExtData block;
    for (size_t i = 0; i < GetParam().entryData.size(); ++i) {
        AddEntry(block, uint16_t(0x10 + i), 1, GetParam().entryData[i]);
    }
    std::vector<uint8_t> out = Built(block);
    EXPECT_EQ(ToHex(out), ToHex(Hex(GetParam().expected)));
    EXPECT_EQ(block.length, out.size() - 4);

    // What was built parses back to the same directory and data.
    CExtData back;
    ASSERT_EQ(back.Parse(out.data(), out.size()), int32_t(out.size()));
    ASSERT_EQ(back.entries.GetCount(), block.entries.GetCount());
    for (int i = 0; i < back.entries.GetCount(); ++i) {
        EXPECT_EQ(back.entries.GetAt(i)->ExtDataEntry_ID1,
                  block.entries.GetAt(i)->ExtDataEntry_ID1);
        EXPECT_EQ(back.entries.GetAt(i)->ExtDataStartAddress,
                  block.entries.GetAt(i)->ExtDataStartAddress);
        EXPECT_EQ(back.entries.GetAt(i)->data, block.entries.GetAt(i)->data);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ExtDataLayout,
                         testing::Values(LayoutCase{"Empty", {}, "00 00 00 00"},
                                         LayoutCase{"OneFiveByteEntry",
                                                    {{1, 2, 3, 4, 5}},
                                                    "00 00 00 1C  00 00 00 18  00 00 00 01"
                                                    "00 10 00 01  00 00 00 18  00 00 00 05"
                                                    "01 02 03 04 05 00 00 00"},
                                         LayoutCase{"TwoEntriesEachPaddedToFour",
                                                    {{0xAA, 0xBB, 0xCC, 0xDD}, {0xEE}},
                                                    "00 00 00 28  00 00 00 24  00 00 00 02"
                                                    "00 10 00 01  00 00 00 24  00 00 00 04"
                                                    "00 11 00 01  00 00 00 28  00 00 00 01"
                                                    "AA BB CC DD  EE 00 00 00"},
                                         LayoutCase{"EmptyEntryTakesNoDataBytes",
                                                    {{}, {0x42}},
                                                    "00 00 00 24  00 00 00 24  00 00 00 02"
                                                    "00 10 00 01  00 00 00 24  00 00 00 00"
                                                    "00 11 00 01  00 00 00 24  00 00 00 01"
                                                    "42 00 00 00"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ExtData, ParseReadsAtDirectoryAddressesAndKeepsUnknownEntries) {
    // Data placed out of directory order, with a gap, and followed by bytes of the next block.
    std::vector<uint8_t> file =
        Hex("00 00 00 2C  00 00 00 24  00 00 00 02"
            "77 77 00 03  00 00 00 2A  00 00 00 03"
            "10 00 00 01  00 00 00 24  00 00 00 04"
            "01 07 12 38  00 00 C0 FF EE 00"
            "99 99 99 99");
    CExtData block;
    ASSERT_EQ(block.Parse(file.data(), file.size()), 0x30);
    ASSERT_EQ(block.entries.GetCount(), 2);
    const SExtDataEntry* unknown = block.entries.GetAt(0);
    EXPECT_EQ(unknown->ExtDataEntry_ID1, 0x7777);
    EXPECT_EQ(unknown->ExtDataEntry_ID2, 3);
    EXPECT_EQ(ToHex(unknown->data), "C0 FF EE");
    EXPECT_EQ(CExtData::CreateObject(*unknown), nullptr);

    // Rebuilt in directory order at new addresses, the unknown entry's bytes unchanged.
    EXPECT_EQ(ToHex(Built(block)), ToHex(Hex("00 00 00 28  00 00 00 24  00 00 00 02"
                                             "77 77 00 03  00 00 00 24  00 00 00 03"
                                             "10 00 00 01  00 00 00 28  00 00 00 04"
                                             "C0 FF EE 00  01 07 12 38")));
}

TEST(ExtData, BlockWithZeroLengthIsFourBytesWithoutEntries) {
    std::vector<uint8_t> file = Hex("00 00 00 00 12 34");
    CExtData block;
    AddEntry(block, 1, 1, {1});  // released by Parse
    EXPECT_EQ(block.Parse(file.data(), file.size()), 4);
    EXPECT_EQ(block.entries.GetCount(), 0);
}

struct CorruptCase {
    const char* name;
    const char* bytes;
};

class ExtDataCorrupt : public testing::TestWithParam<CorruptCase> {};

TEST_P(ExtDataCorrupt, ParseFails) {
    std::vector<uint8_t> file = Hex(GetParam().bytes);
    CExtData block;
    EXPECT_EQ(block.Parse(file.data(), file.size()), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtDataCorrupt,
    testing::Values(CorruptCase{"Empty", ""}, CorruptCase{"ShortLength", "00 00 00"},
                    CorruptCase{"LengthBeyondData", "00 00 00 1C  00 00 00 18  00 00 00 01"},
                    CorruptCase{"HugeLength", "FF FF FF FF  00 00 00 18  00 00 00 01"},
                    CorruptCase{"LengthTooShortForHeader", "00 00 00 04  00 00 00 0C"},
                    CorruptCase{"DirectoryBeyondLength",
                                "00 00 00 14  00 00 00 18  00 00 00 02"
                                "00 10 00 01  00 00 00 18  00 00 00 00"},
                    CorruptCase{"DataBeyondBlock",
                                "00 00 00 1C  00 00 00 18  00 00 00 01"
                                "00 10 00 01  00 00 00 18  00 00 00 09"
                                "01 02 03 04  05 06 07 08  09 0A 0B 0C"},
                    CorruptCase{"DataStartBeyondBlock",
                                "00 00 00 1C  00 00 00 18  00 00 00 01"
                                "00 10 00 01  00 00 00 40  00 00 00 01"
                                "01 02 03 04  05 06 07 08"},
                    CorruptCase{"DataStartInsideDirectory",
                                "00 00 00 1C  00 00 00 18  00 00 00 01"
                                "00 10 00 01  00 00 00 04  00 00 00 04"
                                "01 02 03 04  05 06 07 08"},
                    CorruptCase{"DataLengthWrapsAround",
                                "00 00 00 1C  00 00 00 18  00 00 00 01"
                                "00 10 00 01  00 00 00 18  FF FF FF FF"
                                "01 02 03 04  05 06 07 08"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- directory operations -----------------------------------------------------------------

TEST(ExtData, SetEntryAppendsOnceThenReplacesData) {
    CExtData block;
    SCrvnToolData tool;
    tool.Descriptor = "x";
    SExtDataEntry* entry = block.SetEntry(tool, kExtIdToolData);
    ASSERT_NE(entry, nullptr);
    ASSERT_EQ(block.entries.GetCount(), 1);
    EXPECT_EQ(entry->ExtDataEntry_ID1, kExtIdToolData);
    EXPECT_EQ(entry->ExtDataEntry_ID2, 1);
    EXPECT_EQ(entry->data.size(), 2u + 7u + 1u);
    EXPECT_EQ(entry->ExtDataLength, entry->data.size());

    tool.Descriptor = "longer";
    EXPECT_EQ(block.SetEntry(tool, kExtIdToolData), entry);
    EXPECT_EQ(block.entries.GetCount(), 1);
    EXPECT_EQ(entry->data.size(), 2u + 7u + 6u);
}

TEST(ExtData, FindAndSetEntryMatchOnlySecondIdOne) {
    CExtData block;
    AddEntry(block, kExtIdToolData, 2, {0});
    EXPECT_EQ(block.FindEntry(kExtIdToolData), nullptr);
    SCrvnToolData tool;
    SExtDataEntry* entry = block.SetEntry(tool, kExtIdToolData);
    EXPECT_EQ(block.entries.GetCount(), 2);
    EXPECT_EQ(block.FindEntry(kExtIdToolData), entry);
    EXPECT_EQ(block.entries.GetAt(0)->data, std::vector<uint8_t>{0});
}

TEST(ExtData, SetEntryRefusesEntriesBeyondTheCountField) {
    CExtData block;
    for (int i = 0; i < CExtData::kMaxEntries; ++i) AddEntry(block, uint16_t(0x100 + i), 1, {});
    SCrvnToolData tool;
    EXPECT_EQ(block.SetEntry(tool, kExtIdToolData), nullptr);
    EXPECT_NE(block.SetEntry(tool, 0x100), nullptr);  // replacing still works
    EXPECT_EQ(block.entries.GetCount(), CExtData::kMaxEntries);
    std::vector<uint8_t> out = Built(block);
    EXPECT_EQ(out[11], 255);
}

struct RemoveCase {
    const char* name;
    std::vector<std::pair<uint16_t, uint16_t>> ids;
    bool removed;
    std::vector<uint16_t> remainingId1;
};

class ExtDataRemovePip : public testing::TestWithParam<RemoveCase> {};

TEST_P(ExtDataRemovePip, RemovesFirstPipEntryOnly) {
    CExtData block;
    for (auto [id1, id2] : GetParam().ids) AddEntry(block, id1, id2, {});
    EXPECT_EQ(block.RemovePipMetadata(), GetParam().removed);
    std::vector<uint16_t> remaining;
    for (const SExtDataEntry* e : block.entries.Children())
        remaining.push_back(e->ExtDataEntry_ID1);
    EXPECT_EQ(remaining, GetParam().remainingId1);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtDataRemovePip,
    testing::Values(RemoveCase{"Empty", {}, false, {}},
                    RemoveCase{"OnlyToolEntry", {{0x1000, 1}}, false, {0x1000}},
                    RemoveCase{"PipWithOtherSecondId", {{1, 2}}, false, {1}},
                    RemoveCase{
                        "PipBetweenOthers", {{0x1000, 1}, {1, 1}, {1, 1}}, true, {0x1000, 1}}),
    [](const auto& info) { return std::string(info.param.name); });

struct CreateCase {
    const char* name;
    uint16_t id1, id2;
    const char* data;
    const char* kind;  // "pip", "tool" or nullptr
};

class ExtDataCreateObject : public testing::TestWithParam<CreateCase> {};

TEST_P(ExtDataCreateObject, MakesKnownKindsOnly) {
    SExtDataEntry entry;
    entry.ExtDataEntry_ID1 = GetParam().id1;
    entry.ExtDataEntry_ID2 = GetParam().id2;
    entry.data = Hex(GetParam().data);
    std::unique_ptr<SExtDataBase> object = CExtData::CreateObject(entry);
    std::string kind = GetParam().kind ? GetParam().kind : "";
    if (kind.empty()) {
        EXPECT_EQ(object, nullptr);
    } else if (kind == "pip") {
        EXPECT_NE(dynamic_cast<SPipMetaData*>(object.get()), nullptr);
    } else {
        auto* tool = dynamic_cast<SCrvnToolData*>(object.get());
        ASSERT_NE(tool, nullptr);
        EXPECT_EQ(tool->Company, "Corvane");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ExtDataCreateObject,
    testing::Values(CreateCase{"Pip", 1, 1, "00 00 00 02 00 00", "pip"},
                    CreateCase{"Tool", 0x1000, 1, "07 12 38 39 22 30 39 2E 00", "tool"},
                    CreateCase{"ToolWithOtherSecondId", 0x1000, 2, "00 00", nullptr},
                    CreateCase{"UnknownKind", 2, 1, "00 00 00 02 00 00", nullptr},
                    CreateCase{"TruncatedPip", 1, 1, "00 00 00 08 00 00", nullptr},
                    CreateCase{"TruncatedTool", 0x1000, 1, "07 12 38", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExtData, CloneSharesNothing) {
    CExtData block;
    AddEntry(block, 0x7777, 1, {1, 2, 3});
    std::unique_ptr<CExtData> copy = block.Clone();
    block.entries.GetAt(0)->data[0] = 9;
    block.entries.RemoveAll();
    ASSERT_EQ(copy->entries.GetCount(), 1);
    EXPECT_EQ(copy->entries.GetAt(0)->ExtDataEntry_ID1, 0x7777);
    EXPECT_EQ(copy->entries.GetAt(0)->data, (std::vector<uint8_t>{1, 2, 3}));

    CExtData other;
    AddEntry(other, 1, 1, {});
    AddEntry(other, 2, 1, {});
    CExtData::Copy(*copy, other);  // the destination's entries are replaced
    ASSERT_EQ(other.entries.GetCount(), 1);
    EXPECT_EQ(other.entries.GetAt(0)->ExtDataEntry_ID1, 0x7777);
}

// ---- picture-in-picture metadata ----------------------------------------------------------

const char* const kPipEntry =
    "00 00 00 22  00 01"
    "01 02 03 00  2C 00 00 80  00 00 00 00 00 14"
    "00 02"
    "00 00 10 00  AB C1 23 20"
    "12 34 56 78  00 0F FF 10";

TEST(PipMetaData, OneHeaderTwoEntriesIs38Bytes) {
    SPipMetaData pip;
    MetadataBlockHeader h;
    h.RefPlayItemId = 0x0102;
    h.RefSvStreamId = 3;
    h.TimelineType = 2;
    h.IsLumaKey = 1;
    h.TrickPlayingFlag = 1;
    h.UpperLimitLumaKey = 0x80;
    pip.headers.push_back(h);
    MetadataBlockData block;
    block.entries.push_back({0x1000, 0xABC, 0x123, 2});
    block.entries.push_back({0x12345678, 0, 0xFFF, 1});
    pip.blocks.push_back(block);

    std::vector<uint8_t> out;
    EXPECT_EQ(pip.Build(nullptr), 38u);
    EXPECT_EQ(pip.Build(&out), 38u);
    EXPECT_EQ(ToHex(out), ToHex(Hex(kPipEntry)));
    EXPECT_EQ(pip.length, 34u);
    EXPECT_EQ(pip.headers[0].MetadataBlockStartAddress, 20u);
    EXPECT_EQ(pip.blocks[0].NumberOfPipMetadataEntries, 2);
}

TEST(PipMetaData, ParseUnpacksBitFields) {
    std::vector<uint8_t> bytes = Hex(kPipEntry);
    SPipMetaData pip;
    ASSERT_EQ(pip.Parse(bytes.data(), bytes.size()), 38);
    ASSERT_EQ(pip.headers.size(), 1u);
    const MetadataBlockHeader& h = pip.headers[0];
    EXPECT_EQ(h.RefPlayItemId, 0x0102);
    EXPECT_EQ(h.RefSvStreamId, 3);
    EXPECT_EQ(h.TimelineType, 2);
    EXPECT_EQ(h.IsLumaKey, 1);
    EXPECT_EQ(h.TrickPlayingFlag, 1);
    EXPECT_EQ(h.UpperLimitLumaKey, 0x80);
    ASSERT_EQ(pip.blocks.size(), 1u);
    ASSERT_EQ(pip.blocks[0].entries.size(), 2u);
    const PipMetadataEntry& e = pip.blocks[0].entries[0];
    EXPECT_EQ(e.PipTimeStamp, 0x1000u);
    EXPECT_EQ(e.PipHorPos, 0xABC);
    EXPECT_EQ(e.PipVerPos, 0x123);
    EXPECT_EQ(e.PipScale, 2);
    EXPECT_EQ(pip.blocks[0].entries[1].PipVerPos, 0xFFF);
}

TEST(PipMetaData, LumaLimitIsWrittenOnlyWithLumaKey) {
    SPipMetaData pip;
    MetadataBlockHeader h;
    h.UpperLimitLumaKey = 0x80;
    pip.headers.push_back(h);  // no data block: an empty one is written
    std::vector<uint8_t> out;
    pip.Build(&out);
    EXPECT_EQ(ToHex(out), ToHex(Hex("00 00 00 12 00 01  00 00 00 00 00 00 00 00 00 00 00 00 00 14"
                                    "00 00")));
}

TEST(PipMetaData, RejectsAddressesOutsideTheEntry) {
    const char* cases[] = {
        "00 00 00 22  00 01",                                                   // headers missing
        "00 00 00 10  00 01  00 00 00 00 00 00 00 00 00 00 00 00 00 30",        // data past the end
        "00 00 00 12  00 01  00 00 00 00 00 00 00 00 00 00 00 00 00 06 00 00",  // inside headers
        "00 00 00 12  00 01  00 00 00 00 00 00 00 00 00 00 00 00 00 14 00 05",  // entries missing
    };
    for (const char* text : cases) {
        std::vector<uint8_t> bytes = Hex(text);
        SPipMetaData pip;
        EXPECT_EQ(pip.Parse(bytes.data(), bytes.size()), 0) << text;
    }
}

// ---- tool identification ------------------------------------------------------------------

TEST(CrvnToolData, TextsAreLengthPrefixedAndScrambledWithQwkt) {
    SCrvnToolData tool;
    tool.Descriptor = "Vx, V 1.0";
    std::vector<uint8_t> out;
    EXPECT_EQ(tool.Build(nullptr), 2u + 7u + 9u);
    EXPECT_EQ(tool.Build(&out), 18u);
    EXPECT_EQ(ToHex(out), ToHex(Hex("07 12 38 39 22 30 39 2E  09 07 2F 67 74 07 77 7A 7A 61")));
    EXPECT_EQ(tool.DescriptorLength, 9);

    SCrvnToolData back;
    back.Company.clear();
    ASSERT_EQ(back.Parse(out.data(), out.size()), 18);
    EXPECT_EQ(back.Company, "Corvane");
    EXPECT_EQ(back.Descriptor, "Vx, V 1.0");
}

TEST(CrvnToolData, ReadTextEndsAtFirstZeroByte) {
    // "AB" then a scrambled zero ('K' ^ 'K') and a further byte.
    std::vector<uint8_t> bytes = Hex("04 10 15 4B 00  00");
    SCrvnToolData tool;
    ASSERT_EQ(tool.Parse(bytes.data(), bytes.size()), 6);
    EXPECT_EQ(tool.Company, "AB");
    EXPECT_EQ(tool.CompanyLength, 4);
    EXPECT_EQ(tool.Descriptor, "");
}

TEST(CrvnToolData, LongTextIsCutToItsLengthTakenToEightBits) {
    SCrvnToolData tool;
    tool.Company = std::string(260, 'a');
    tool.Descriptor = "";
    std::vector<uint8_t> out;
    EXPECT_EQ(tool.Build(&out), 2u + 4u);
    EXPECT_EQ(out[0], 4);
    SCrvnToolData back;
    ASSERT_EQ(back.Parse(out.data(), out.size()), 6);
    EXPECT_EQ(back.Company, "aaaa");
}

TEST(ExtData, ToJsonDescribesKnownEntries) {
    CExtData block;
    SCrvnToolData tool;
    tool.Descriptor = "Vexilla, Version 0.1";
    block.SetEntry(tool, kExtIdToolData);
    AddEntry(block, 0x7777, 1, {0xC0, 0xFF});
    std::vector<uint8_t> out = Built(block);
    Json j = block.ToJson();
    ASSERT_EQ(j["Entries"].size(), 2u);
    EXPECT_EQ(j["Entries"][0]["ToolData"]["Descriptor"], "Vexilla, Version 0.1");
    EXPECT_EQ(j["Entries"][1]["Data"], "c0ff");
    EXPECT_FALSE(j["Entries"][1].contains("ToolData"));
    EXPECT_EQ(j["Length"], out.size() - 4);
}

}  // namespace
}  // namespace vx
