#include "bdmv/clpi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/bytes.h"
#include "foundation/file.h"
#include "support.h"

namespace vx {
namespace {

const char* const kDiscClip = "disc-avc1080p24-ac3/BDMV/CLIPINF/00000.clpi";
const char* const kDiscBackupClip = "disc-avc1080p24-ac3/BDMV/BACKUP/CLIPINF/00000.clpi";
const char* const kBunnyClip = "third-party/bdmv/bigbuckbunny-tsmuxer/BDMV/CLIPINF/00000.clpi";

// Byte offsets of a record without streams, following clips or tool identification, with
// one stream in its EP map: the CPI block at 246, the EP map at 252, the stream entry at 254,
// its tables at 266 (fine table start address), coarse entries at 270.
constexpr size_t kCpiStart = 246;
constexpr size_t kStreamEntry = 254;
constexpr size_t kTables = 266;
constexpr size_t kCoarse = 270;

std::vector<uint8_t> Load(const char* relative) {
    return ReadWholeFile(test::Fixture(relative));
}

uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
    return ReadBE32(b.data() + at);
}
uint16_t U16At(const std::vector<uint8_t>& b, size_t at) {
    return ReadBE16(b.data() + at);
}
std::string TextAt(const std::vector<uint8_t>& b, size_t at, size_t n) {
    return std::string(reinterpret_cast<const char*>(b.data() + at), n);
}

KEY_POINT_INFO Point(uint64_t pts, uint32_t spn, uint32_t endSpn) {
    KEY_POINT_INFO kp;
    kp.PresentationTime = pts;
    kp.StartSpn = spn;
    kp.EndSpn = endSpn;
    return kp;
}

STREAM_PID_ENTRY* AddEpStream(CLPI& clpi, uint16_t pid, uint8_t epStreamType) {
    auto entry = std::make_unique<STREAM_PID_ENTRY>();
    entry->StreamPid = pid;
    entry->EpStreamType = epStreamType;
    return clpi.Cpi.EpMap.Add(std::move(entry));
}

std::vector<uint8_t> BuildOf(CLPI& clpi) {
    std::vector<uint8_t> image;
    clpi.Build(&image);
    return image;
}

TEST(ClpiLayout, RecordWithoutContentIs254Bytes) {
    CLPI clpi;
    clpi.ToolIdentification.reset();
    EXPECT_EQ(clpi.Build(nullptr), 254u);
    EXPECT_EQ(clpi.SequenceInfoStartAddress, 0u) << "Build without output changed the record";
    const std::vector<uint8_t> image = BuildOf(clpi);
    ASSERT_EQ(image.size(), 254u);

    struct Field {
        size_t offset;
        int size;
        uint32_t value;
        const char* what;
    };
    const Field fields[] = {
        {8, 4, 220, "sequence info start"},
        {12, 4, 232, "program info start"},
        {16, 4, 246, "CPI start"},
        {20, 4, 250, "clip mark start"},
        {24, 4, 0, "extension data start"},
        {40, 4, 176, "clip info length"},
        {46, 1, 1, "ClipStreamType"},
        {47, 1, 1, "ApplicationType"},
        {48, 4, 0, "IsAtcDelta"},
        {52, 4, 6000000, "TsRecordingRate"},
        {56, 4, 0, "NumberOfSourcePackets"},
        {188, 2, 30, "TS type info length"},
        {190, 1, 0x80, "ValidityFlags"},
        {220, 4, 8, "sequence info length"},
        {225, 1, 1, "NumberOfAtcSequences"},
        {230, 1, 0, "number of STC sequences"},
        {232, 4, 10, "program info length"},
        {237, 1, 1, "NumberOfProgramSequence"},
        {242, 2, 0x0100, "program map PID"},
        {244, 1, 0, "NumberOfStreams"},
        {246, 4, 0, "CPI length"},
        {250, 4, 0, "clip mark length"},
    };
    for (const Field& f : fields) {
        const uint32_t got = f.size == 4   ? U32At(image, f.offset)
                             : f.size == 2 ? U16At(image, f.offset)
                                           : image[f.offset];
        EXPECT_EQ(got, f.value) << f.what << " at " << f.offset;
    }
    EXPECT_EQ(TextAt(image, 0, 8), "HDMV0200");
    EXPECT_EQ(TextAt(image, 191, 4), "HDMV");
    for (size_t i = 28; i < 40; ++i) EXPECT_EQ(image[i], 0) << "header reserved byte " << i;
    for (size_t i = 60; i < 188; ++i) EXPECT_EQ(image[i], 0) << "clip info reserved byte " << i;

    CLPI back;
    EXPECT_EQ(back.Parse(image.data(), image.size()), 254);
    EXPECT_FALSE(back.ToolIdentification);
    EXPECT_EQ(BuildOf(back), image);
}

struct CoarseCase {
    const char* name;
    uint64_t pts[3];
    uint32_t spn[3];
};

// Both pick key points 0 and 2: the third has a later coarse time, or its low 17 packet bits
// (131,500 - 131,072 = 428) fall below the second's.
class ClpiCoarseEntries : public testing::TestWithParam<CoarseCase> {};

TEST_P(ClpiCoarseEntries, StartAtKeyPointsZeroAndTwo) {
    const CoarseCase& c = GetParam();
    CLPI clpi;
    clpi.ToolIdentification.reset();
    STREAM_PID_ENTRY* stream = AddEpStream(clpi, 0x1011, 1);
    for (int i = 0; i < 3; ++i) stream->KeyPoints.Add(Point(c.pts[i], c.spn[i], c.spn[i]));
    const std::vector<uint8_t> image = BuildOf(clpi);
    ASSERT_EQ(image.size(), kCoarse + 2 * 8 + 3 * 4 + 4);

    EXPECT_EQ(U32At(image, kCpiStart), image.size() - kCpiStart - 8);
    EXPECT_EQ(image[kCpiStart + 5], 1) << "CPI type";
    EXPECT_EQ(image[kCpiStart + 7], 1) << "stream entries";
    EXPECT_EQ(U16At(image, kStreamEntry), 0x1011);
    EXPECT_EQ(image[kStreamEntry + 3], 1 << 2) << "EP stream type, coarse count bits 15-14";
    EXPECT_EQ(image[kStreamEntry + 4], 0) << "coarse count bits 13-6";
    EXPECT_EQ(image[kStreamEntry + 5], 2 << 2) << "coarse count bits 5-0, fine count bits 17-16";
    EXPECT_EQ(U16At(image, kStreamEntry + 6), 3) << "fine count";
    EXPECT_EQ(U32At(image, kStreamEntry + 8), 14u) << "table start in the EP map";
    EXPECT_EQ(U32At(image, kTables), 4u + 8 * 2) << "fine table start";

    const int firstOf[2] = {0, 2};
    for (int e = 0; e < 2; ++e) {
        const int k = firstOf[e];
        EXPECT_EQ(U32At(image, kCoarse + 8 * e), (uint32_t(k) << 14) | uint32_t(c.pts[k] >> 19))
            << "coarse entry " << e;
        EXPECT_EQ(U32At(image, kCoarse + 8 * e + 4), c.spn[k]) << "coarse entry " << e;
    }
    for (int i = 0; i < 3; ++i) {
        const uint32_t fine = U32At(image, kCoarse + 16 + 4 * size_t(i));
        EXPECT_EQ(fine,
                  (1u << 28) | (uint32_t((c.pts[i] >> 9) & 0x7FF) << 17) | (c.spn[i] & 0x1FFFF))
            << "fine entry " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Examples, ClpiCoarseEntries,
    testing::Values(CoarseCase{"LaterCoarseTime", {0, 90000, 600000}, {0, 1000, 140000}},
                    CoarseCase{"PacketBitsWrap", {0, 90000, 95000}, {0, 1000, 131500}}),
    [](const testing::TestParamInfo<CoarseCase>& info) { return info.param.name; });

TEST(ClpiEpMap, IEndCodeFollowsPictureSize) {
    struct Case {
        uint32_t packets;
        uint8_t code;
    };
    // Limits 131,072 / 262,144 / 393,216 / 589,824 / 917,504 / 1,310,720 bytes of 192-byte packets.
    const Case cases[] = {{1, 1},    {682, 1},  {683, 2},  {700, 2},  {1366, 3}, {2048, 4},
                          {3071, 4}, {3072, 5}, {4778, 5}, {4779, 6}, {6827, 7}, {100000, 7}};
    for (const Case& c : cases) {
        EXPECT_EQ(KEY_POINT_INFO::IEndCode(5000, 5000 + c.packets - 1), c.code)
            << c.packets << " packets";
    }
    EXPECT_EQ(KEY_POINT_INFO::IEndCode(10, 3), 1) << "an end before the start";
}

TEST(ClpiEpMap, IEndCodeWrittenForVideoOnly) {
    CLPI clpi;
    clpi.ToolIdentification.reset();
    // 700 packets, 134,400 bytes.
    AddEpStream(clpi, 0x1011, 1)->KeyPoints.Add(Point(0, 100, 799));
    AddEpStream(clpi, 0x1100, 3)->KeyPoints.Add(Point(0, 100, 799));
    const std::vector<uint8_t> image = BuildOf(clpi);
    const size_t epMap = kCpiStart + 6;
    for (int s = 0; s < 2; ++s) {
        const size_t tables = epMap + U32At(image, epMap + 2 + 12 * size_t(s) + 8);
        const uint32_t fine = U32At(image, tables + U32At(image, tables));
        EXPECT_EQ((fine >> 28) & 7, s == 0 ? 2u : 0u) << "stream " << s;
    }
}

// Times on 512-tick steps survive the fine table exactly; the rest of the test covers coarse
// runs that end by time (bit 19 alternating) and by packet bits 31-17, including a jump of more
// than 2^17 packets whose low bits are larger than before.
TEST(ClpiEpMap, KeyPointsReadBackFromBuiltMap) {
    CLPI clpi;
    clpi.ToolIdentification.reset();
    STREAM_PID_ENTRY* video = AddEpStream(clpi, 0x1011, 1);
    STREAM_PID_ENTRY* audio = AddEpStream(clpi, 0x1100, 3);
    uint64_t pts = (uint64_t(1) << 33) - (uint64_t(3000) << 9);  // wraps past 33 bits
    pts &= (uint64_t(1) << 33) - 1;
    uint32_t spn = 7;
    for (int i = 0; i < 3000; ++i) {
        const uint32_t packets = 200 + uint32_t(i * 37 % 2000);
        video->KeyPoints.Add(Point(pts, spn, spn + packets - 1));
        if (i % 3 == 0)
            audio->KeyPoints.Add(Point((pts + 1024) & ((uint64_t(1) << 33) - 1), spn + 1, 0));
        pts = (pts + (uint64_t(88 + i % 5) << 9)) & ((uint64_t(1) << 33) - 1);
        spn += i == 1500 ? 140000 : packets;
    }
    const std::vector<uint8_t> image = BuildOf(clpi);

    CLPI back;
    ASSERT_EQ(back.Parse(image.data(), image.size()), int32_t(image.size()));
    ASSERT_EQ(back.Cpi.EpMap.GetCount(), 2);
    for (int s = 0; s < 2; ++s) {
        const STREAM_PID_ENTRY* want = clpi.Cpi.EpMap.GetAt(s);
        const STREAM_PID_ENTRY* got = back.Cpi.EpMap.GetAt(s);
        EXPECT_EQ(got->StreamPid, want->StreamPid);
        EXPECT_EQ(got->EpStreamType, want->EpStreamType);
        EXPECT_GT(got->NumberOfCoarseEntries, 2);
        ASSERT_EQ(got->KeyPoints.GetCount(), want->KeyPoints.GetCount());
        for (int i = 0; i < want->KeyPoints.GetCount(); ++i) {
            const KEY_POINT_INFO* w = want->KeyPoints.GetAt(i);
            const KEY_POINT_INFO* g = got->KeyPoints.GetAt(i);
            ASSERT_EQ(g->PresentationTime, w->PresentationTime) << "stream " << s << " point " << i;
            ASSERT_EQ(g->StartSpn, w->StartSpn) << "stream " << s << " point " << i;
            const uint8_t code = s == 0 ? KEY_POINT_INFO::IEndCode(w->StartSpn, w->EndSpn) : 0;
            ASSERT_EQ(g->EndSpn, code) << "stream " << s << " point " << i;
        }
    }
    EXPECT_EQ(BuildOf(back), image) << "a read map is written back as it was";
}

struct FixtureCase {
    const char* name;
    const char* path;
};

class ClpiFixture : public testing::TestWithParam<FixtureCase> {};

TEST_P(ClpiFixture, RebuildsByteIdentical) {
    const std::vector<uint8_t> file = Load(GetParam().path);
    CLPI clpi;
    ASSERT_EQ(clpi.Parse(file.data(), file.size()), int32_t(file.size()));
    EXPECT_EQ(clpi.Build(nullptr), file.size());
    const std::vector<uint8_t> image = BuildOf(clpi);
    EXPECT_EQ(test::ToHex(image), test::ToHex(file));

    // Through a copy and a file as well.
    CLPI copy;
    CLPI::Copy(clpi, copy);
    test::TempDir dir;
    CFile out;
    ASSERT_TRUE(out.Open(dir / "00000.clpi", CFile::modeWrite));
    copy.Write(out);
    out.Close();
    EXPECT_EQ(ReadWholeFile(dir / "00000.clpi"), file);
}

INSTANTIATE_TEST_SUITE_P(TsMuxer, ClpiFixture,
                         testing::Values(FixtureCase{"Disc", kDiscClip},
                                         FixtureCase{"DiscBackup", kDiscBackupClip},
                                         FixtureCase{"BigBuckBunny", kBunnyClip}),
                         [](const testing::TestParamInfo<FixtureCase>& info) {
                             return info.param.name;
                         });

TEST(ClpiFixtureContent, DiscClipFields) {
    const std::vector<uint8_t> file = Load(kDiscClip);
    CLPI clpi;
    ASSERT_GT(clpi.Parse(file.data(), file.size()), 0);
    EXPECT_EQ(clpi.ClipInfo.ApplicationType, 1);
    EXPECT_EQ(clpi.ClipInfo.TsRecordingRate, 6000000u);
    EXPECT_EQ(clpi.ClipInfo.NumberOfSourcePackets, 731136u / 192);
    EXPECT_FALSE(clpi.ToolIdentification);
    ASSERT_EQ(clpi.SequenceInfo.StcSequences.GetCount(), 1);
    const STC_INFO* stc = clpi.SequenceInfo.StcSequences.GetAt(0);
    EXPECT_EQ(stc->PcrPid, 0x1001);
    EXPECT_EQ(stc->StartPTS, 0x019BFCC0u);
    EXPECT_EQ(stc->EndPTS, 0x019EBC94u);

    ASSERT_EQ(clpi.ProgramInfo.Streams.GetCount(), 2);
    const STREAM_INFO* video = clpi.ProgramInfo.Streams.GetAt(0);
    EXPECT_EQ(video->StreamPID, 0x1011);
    EXPECT_EQ(video->StreamCodingType, 0x1B);
    EXPECT_EQ(video->VideoFormat, 6);
    EXPECT_EQ(video->FrameRate, 1);
    EXPECT_EQ(video->AspectRatio, 3);
    const STREAM_INFO* audio = clpi.ProgramInfo.Streams.GetAt(1);
    EXPECT_EQ(audio->StreamPID, 0x1100);
    EXPECT_EQ(audio->StreamCodingType, 0x81);
    EXPECT_EQ(audio->PresentationType, 3);
    EXPECT_EQ(audio->SamplingFrequency, 1);
    EXPECT_EQ(audio->Language(), "eng");
    EXPECT_EQ(std::string(audio->ISRC.begin(), audio->ISRC.end()), "000000000000");

    ASSERT_EQ(clpi.Cpi.EpMap.GetCount(), 1);
    const CKpiFolder& points = clpi.Cpi.EpMap.GetAt(0)->KeyPoints;
    ASSERT_EQ(points.GetCount(), 4);
    // 600.0 s at 90 kHz, the clip start time tsMuxer uses, to the fine table's 512 ticks.
    EXPECT_EQ(points.GetAt(0)->PresentationTime, 54000000u & ~511u);
    EXPECT_EQ(points.GetAt(0)->StartSpn, 4u);
    EXPECT_EQ(points.GetAt(3)->StartSpn, 2810u);
    ASSERT_TRUE(clpi.ExtensionData);
    EXPECT_EQ(clpi.ExtensionData->entries.GetCount(), 0);
}

TEST(ClpiFixtureContent, EpMapSkippedWithoutReadCpi) {
    const std::vector<uint8_t> file = Load(kBunnyClip);
    CLPI clpi;
    ASSERT_EQ(clpi.Parse(file.data(), file.size(), false), int32_t(file.size()));
    EXPECT_EQ(clpi.Cpi.EpMap.GetCount(), 0);
    EXPECT_EQ(clpi.ProgramInfo.Streams.GetCount(), 2);
}

TEST(ClpiToolIdentification, ForeignReservedAreaKeptUnchanged) {
    struct Case {
        const char* name;
        std::string area;  // written at the start of the reserved area
    };
    const Case cases[] = {
        {"other bytes", "ABCD\x01\x02\x03 anything at all"},
        {"magic without a block", std::string("CRVN\x00\x00\x00\x40", 8)},
        {"magic with a foreign entry",
         std::string("CRVN\x00\x00\x00\x18\x00\x00\x00\x18\x00\x00\x00\x01"
                     "\x20\x00\x00\x01\x00\x00\x00\x18\x00\x00\x00\x02\xAB\xCD\x00\x00",
                     32)},
    };
    const std::vector<uint8_t> original = Load(kDiscClip);
    for (const Case& c : cases) {
        std::vector<uint8_t> file = original;
        std::memcpy(file.data() + 60, c.area.data(), c.area.size());
        file[187] = 0x5A;  // the last reserved byte
        CLPI clpi;
        ASSERT_GT(clpi.Parse(file.data(), file.size()), 0) << c.name;
        EXPECT_FALSE(clpi.ToolIdentification) << c.name;
        EXPECT_EQ(BuildOf(clpi), file) << c.name;
    }
}

TEST(ClpiToolIdentification, NewRecordNamesThisTool) {
    CLPI clpi;
    const std::vector<uint8_t> image = BuildOf(clpi);
    EXPECT_EQ(image.size(), 254u) << "the block lives inside the reserved area";
    EXPECT_EQ(TextAt(image, 60, 4), "CRVN");
    EXPECT_EQ(ReadBE16(image.data() + 64 + 12), kExtIdToolData);
    CLPI back;
    ASSERT_GT(back.Parse(image.data(), image.size()), 0);
    ASSERT_TRUE(back.ToolIdentification);
    EXPECT_EQ(back.ToolIdentification->Company, "Corvane");
    EXPECT_EQ(back.ToolIdentification->Descriptor, ToolDescriptor());
    EXPECT_EQ(BuildOf(back), image);
}

TEST(ClpiToolIdentification, LongTextsShortenedToFit) {
    CLPI clpi;
    clpi.ToolIdentification->Descriptor = std::string(200, 'd');
    const std::vector<uint8_t> image = BuildOf(clpi);
    EXPECT_EQ(U32At(image, 40), 176u) << "the clip info block keeps its size";
    EXPECT_EQ(clpi.ToolIdentification->DescriptorLength, 98 - 7);
    CLPI back;
    ASSERT_GT(back.Parse(image.data(), image.size()), 0);
    ASSERT_TRUE(back.ToolIdentification);
    EXPECT_EQ(back.ToolIdentification->Company, "Corvane");
    EXPECT_EQ(back.ToolIdentification->Descriptor, std::string(98 - 7, 'd'));
    // Block header, directory entry, texts and their length bytes, padding: 124 bytes exactly.
    EXPECT_EQ(U32At(image, 64), 124u - 4);

    clpi.ToolIdentification->Company = std::string(300, 'c');
    const std::vector<uint8_t> longCompany = BuildOf(clpi);
    ASSERT_GT(back.Parse(longCompany.data(), longCompany.size()), 0);
    ASSERT_TRUE(back.ToolIdentification);
    EXPECT_EQ(back.ToolIdentification->Company, std::string(98, 'c'));
    EXPECT_EQ(back.ToolIdentification->Descriptor, "");
}

TEST(ClpiRecord, FollowingClipsWritten) {
    CLPI clpi;
    clpi.ToolIdentification.reset();
    AtcData atc;
    atc.AtcDelta = 0x01020304;
    atc.FollowingClipId = {'0', '0', '0', '4', '2'};
    clpi.ClipInfo.FollowingClips.Add(atc);
    const std::vector<uint8_t> image = BuildOf(clpi);
    EXPECT_EQ(image.size(), 254u + 16);
    EXPECT_EQ(U32At(image, 40), 176u + 16);
    EXPECT_EQ(image[51], 1) << "IsAtcDelta";
    EXPECT_EQ(test::ToHex(std::vector<uint8_t>(image.begin() + 220, image.begin() + 236)),
              "00 01 01 02 03 04 30 30 30 34 32 4D 32 54 53 00");
    CLPI back;
    ASSERT_GT(back.Parse(image.data(), image.size()), 0);
    ASSERT_EQ(back.ClipInfo.FollowingClips.GetCount(), 1);
    EXPECT_EQ(back.ClipInfo.FollowingClips.GetAt(0)->AtcDelta, 0x01020304u);
    EXPECT_EQ(BuildOf(back), image);
}

TEST(ClpiRecord, CopyIsDeep) {
    const std::vector<uint8_t> file = Load(kBunnyClip);
    CLPI source;
    ASSERT_GT(source.Parse(file.data(), file.size()), 0);
    auto copy = std::make_unique<CLPI>();
    CLPI::Copy(source, *copy);
    copy->Cpi.EpMap.GetAt(0)->KeyPoints.GetAt(3)->StartSpn += 1;
    copy->ProgramInfo.Streams.GetAt(1)->LanguageCode = {'f', 'r', 'a'};
    copy->ExtensionData->entries.Add(std::make_unique<SExtDataEntry>());
    EXPECT_NE(BuildOf(*copy), file);
    copy.reset();
    EXPECT_EQ(BuildOf(source), file);
}

// Every prefix of a real file and every damaged length, count or address is refused.
TEST(ClpiDamaged, TruncatedFilesRejected) {
    for (const char* path : {kDiscClip, kBunnyClip}) {
        const std::vector<uint8_t> file = Load(path);
        for (size_t n = 0; n < file.size(); ++n) {
            CLPI clpi;
            ASSERT_EQ(clpi.Parse(file.data(), n), 0) << path << " cut to " << n << " bytes";
        }
    }
}

TEST(ClpiDamaged, InconsistentFieldsRejected) {
    struct Case {
        const char* name;
        size_t offset;
        std::vector<uint8_t> bytes;
    };
    // Offsets in the disc fixture: sequence info 0xDC, program info 0xF8, CPI 0x138 (EP map
    // 0x13E, its stream entry 0x140, tables 0x14C), clip mark 0x170, extension data 0x174.
    const Case cases[] = {
        {"clip info length beyond the file", 40, {0, 0, 0x10, 0}},
        {"clip info overlapping sequence info", 40, {0, 0, 0, 0xB4}},
        {"TS type info shorter than its fields", 188, {0, 29}},
        {"following clips announced but missing", 51, {1}},
        {"sequence info beyond the file", 8, {0, 0, 0x10, 0}},
        {"program info overlapping sequence info", 12, {0, 0, 0, 0xF4}},
        {"STC count beyond the block", 0xE6, {2}},
        {"stream count beyond the block", 0x104, {3}},
        {"coding info beyond the block", 0x108, {0x40}},
        {"coding info without its coding bytes", 0x108, {2}},
        {"CPI overlapping program info", 16, {0, 0, 1, 0x30}},
        {"CPI length beyond the file", 0x138, {0, 0, 1, 0}},
        {"EP map stream count beyond the CPI", 0x13F, {5}},
        {"fine count beyond the CPI", 0x146, {0, 0x40}},
        {"coarse count beyond the CPI", 0x144, {0x10}},
        {"coarse entries without fine entries", 0x145, {0x08, 0, 0}},
        {"stream tables outside the EP map", 0x148, {0, 0, 1, 0}},
        {"fine table outside the EP map", 0x14C, {0, 0, 1, 0}},
        {"first coarse entry not at key point 0", 0x150, {0, 0, 0x40, 0x66}},
        {"coarse entries not rising", 0x158, {0, 0, 0, 0x67}},
        {"coarse entry past the fine entries", 0x158, {0, 1, 0, 0x67}},
        {"clip mark overlapping the CPI", 20, {0, 0, 1, 0x6C}},
        {"clip mark beyond the file", 20, {0, 0, 2, 0}},
        {"extension data overlapping the clip mark", 24, {0, 0, 1, 0x72}},
        {"extension data beyond the file", 24, {0, 0, 2, 0}},
        {"extension data length beyond the file", 0x174, {0, 0, 0, 0x20}},
    };
    const std::vector<uint8_t> original = Load(kDiscClip);
    {
        CLPI clpi;
        ASSERT_GT(clpi.Parse(original.data(), original.size()), 0);
    }
    for (const Case& c : cases) {
        std::vector<uint8_t> file = original;
        ASSERT_LE(c.offset + c.bytes.size(), file.size()) << c.name;
        std::memcpy(file.data() + c.offset, c.bytes.data(), c.bytes.size());
        CLPI clpi;
        EXPECT_EQ(clpi.Parse(file.data(), file.size()), 0) << c.name;
    }
}

}  // namespace
}  // namespace vx
