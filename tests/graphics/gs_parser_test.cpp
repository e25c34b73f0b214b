#include "graphics/gs_parser.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/file.h"
#include "graphics/gs_sif.h"
#include "gs_stream_builder.h"
#include "streams/parse_driver.h"
#include "support.h"

namespace vx {
namespace {

using test::GsStream;
using test::GsUnit;
using test::IcsBody;
using test::PcsBody;

constexpr uint8_t kPds = 0x14, kOds = 0x15, kPcs = 0x16, kWds = 0x17, kIcs = 0x18, kEnd = 0x80;

struct Parsed {
    int result = -1;
    bool sifLeft = false;
    CStreamInfo info;
    const SGsSif& Record() const { return *static_cast<const SGsSif*>(info.Data.get()); }
};

// Runs the parser over a stream file and reads the stream information file back.
Parsed Parse(const std::vector<uint8_t>& bytes, const ProgressCallback& progress = {}) {
    test::TempDir dir;
    std::string path = dir / "stream.sup";
    test::WriteFile(path, bytes);
    CGsParser parser;
    CSifWriter sif;
    EXPECT_TRUE(sif.Create(path));
    Parsed parsed;
    parsed.result = parser.Parse(path, sif, progress);
    parsed.sifLeft = FileExists(sif.Path());
    if (parsed.result == kParseOk) {
        StreamFileStatus status;
        EXPECT_TRUE(ReadStreamFileStatus(path, status));
        EXPECT_EQ(ReadSifFile(sif.Path(), status, ParserRecordFactory({&parser}), parsed.info),
                  SifReadStatus::ok);
    }
    return parsed;
}

TEST(GsParser, PgTimeStampsMoveToTheStreamStart) {
    struct Case {
        uint32_t pts, dts, expectedPts, expectedDts;
    };
    const Case cases[] = {
        {0, 0, 131070, 0},
        {90000, 85000, 221070, 216070},
        {5, 1, 131075, 131071},
        {0xFFFFFFFF, 0, 131069, 0},  // 32-bit time stamps wrap
    };
    std::vector<GsUnit> units;
    units.push_back({"PG", 0, 0, kPcs, PcsBody(1920, 1080, 1, 2, 1)});
    for (const auto& c : cases) units.push_back({"PG", c.pts, c.dts, kPds, {0, 0}});
    Parsed p = Parse(GsStream(units));
    ASSERT_EQ(p.result, kParseOk);
    EXPECT_EQ(p.info.CodingType(), 0x90);
    ASSERT_EQ(p.info.AuTable.size(), 1 + std::size(cases));
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(p.info.AuTable[i + 1].Pts, cases[i].expectedPts);
        EXPECT_EQ(p.info.AuTable[i + 1].Dts, cases[i].expectedDts);
    }
}

TEST(GsParser, MenuStreamIsIgWithItsOwnTimeStamps) {
    Parsed p = Parse(GsStream({
        {"IG", 131070, 120000, kIcs, IcsBody(1920, 1080, 1, 2, 0)},
        {"IG", 131070, 125000, kPds, {0, 0, 0x10, 0x80, 0x80, 0xFF}},
        {"IG", 131070, 126000, kOds, std::vector<uint8_t>(40, 7)},
        {"IG", 131070, 0, kEnd, {}},
        {"IG", 222000, 200000, kIcs, IcsBody(1920, 1080, 1, 0, 1)},
        {"IG", 222000, 0, kEnd, {}},
    }));
    ASSERT_EQ(p.result, kParseOk);
    EXPECT_EQ(p.info.CodingType(), 0x91);
    const auto& t = p.info.AuTable;
    ASSERT_EQ(t.size(), 6u);
    EXPECT_EQ(t[0].Flags, 0x0218u);  // ICS, epoch start
    EXPECT_EQ(t[0].Pts, 131070u);
    EXPECT_EQ(t[0].Dts, 120000u);
    EXPECT_EQ(t[1].Flags, uint32_t(kPds));
    EXPECT_EQ(t[1].Dts, 125000u);
    EXPECT_EQ(t[3].Size, 3u);  // END: the segment header alone
    EXPECT_EQ(t[3].Flags, uint32_t(kEnd));
    EXPECT_EQ(t[4].Flags, uint32_t(kIcs));  // normal case
    EXPECT_EQ(t[5].Size, 3u);
    EXPECT_EQ(p.info.Header.DataLength, 23u + 9 + 43 + 3 + 23 + 3);
    // The stream model comes from the first ICS (0: multiplexed), not from later ones.
    EXPECT_EQ(p.Record().CodingType, 0x91);
    EXPECT_EQ(p.Record().StreamModel, 0);
    EXPECT_TRUE(p.Record().IsMultiplexedModel());
    EXPECT_EQ(p.Record().Width, 1920);
    EXPECT_EQ(p.Record().Height, 1080);
    EXPECT_EQ(p.Record().FrameRate, 1);
}

TEST(GsParser, SegmentsBeforeTheFirstIcsAreTreatedAsPg) {
    Parsed p = Parse(GsStream({
        {"IG", 100, 50, kPds, {0, 0}},
        {"IG", 200, 150, kIcs, IcsBody(1280, 720, 6, 2, 1)},
        {"IG", 300, 250, kPds, {0, 0}},
    }));
    ASSERT_EQ(p.result, kParseOk);
    ASSERT_EQ(p.info.AuTable.size(), 3u);
    EXPECT_EQ(p.info.AuTable[0].Pts, 100u + 131070);
    EXPECT_EQ(p.info.AuTable[1].Pts, 200u);
    EXPECT_EQ(p.info.AuTable[2].Pts, 300u);
    EXPECT_EQ(p.Record().StreamModel, 1);  // preloaded
    EXPECT_FALSE(p.Record().IsMultiplexedModel());
    EXPECT_EQ(p.Record().Width, 1280);
    EXPECT_EQ(p.Record().FrameRate, 6);
}

TEST(GsParser, PcsFlags) {
    struct Case {
        uint8_t state, objects;
        uint32_t flags;
    };
    const Case cases[] = {
        {0, 0, 0x10016}, {2, 0, 0x10216}, {1, 1, 0x0116}, {3, 2, 0x0316}, {2, 1, 0x0216},
    };
    std::vector<GsUnit> units;
    for (const auto& c : cases)
        units.push_back({"PG", 0, 0, kPcs, PcsBody(720, 480, 4, c.state, c.objects)});
    units.push_back({"PG", 0, 0, kWds, {1, 0, 0, 0, 0, 0, 0x10, 0, 0x10, 0}});
    Parsed p = Parse(GsStream(units));
    ASSERT_EQ(p.result, kParseOk);
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(p.info.AuTable[i].Flags, cases[i].flags) << i;
    EXPECT_EQ(p.info.AuTable.back().Flags, uint32_t(kWds));
    EXPECT_EQ(p.Record().Width, 720);
    EXPECT_EQ(p.Record().FrameRate, 4);
    EXPECT_EQ(p.Record().StreamModel, 0);
}

TEST(GsParser, AuOffsetsFollowTheSegmentSizes) {
    std::vector<GsUnit> units = {
        {"PG", 0, 0, kPcs, PcsBody(1920, 1080, 1, 2, 1)},
        {"PG", 0, 0, kPds, std::vector<uint8_t>(11, 0)},
        {"PG", 0, 0, kOds, std::vector<uint8_t>(1000, 0)},
        {"PG", 0, 0, kEnd, {}},
        {"PG", 0, 0, kOds, std::vector<uint8_t>(65535, 0)},
        {"PG", 0, 0, kEnd, {}},
    };
    Parsed p = Parse(GsStream(units));
    ASSERT_EQ(p.result, kParseOk);
    const auto& t = p.info.AuTable;
    ASSERT_EQ(t.size(), units.size());
    EXPECT_EQ(t[0].Offset, 10u);
    for (size_t i = 0; i < units.size(); ++i) {
        EXPECT_EQ(t[i].Size, units[i].body.size() + 3) << i;
        if (i > 0) {
            EXPECT_EQ(t[i].Offset, t[i - 1].Offset + t[i - 1].Size + 10) << i;
        }
    }
}

TEST(GsParser, MagicIgnoresLetterCase) {
    struct Case {
        const char* magic;
        bool recognised;
    };
    const Case cases[] = {{"PG", true}, {"IG", true},  {"ig", true},  {"Pg", true},
                          {"pG", true}, {"GP", false}, {"PX", false}, {"XG", false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.magic);
        test::TempDir dir;
        std::string path = dir / "a.sup";
        test::WriteFile(path, GsStream({{c.magic, 0, 0, kEnd, {}}}));
        CGsParser parser;
        EXPECT_EQ(parser.Check(path), c.recognised ? kParseOk : kUnknownFormat);
    }
    // Magics may differ from unit to unit.
    Parsed p = Parse(GsStream({{"ig", 0, 0, kEnd, {}}, {"Pg", 0, 0, kEnd, {}}}));
    EXPECT_EQ(p.result, kParseOk);
    EXPECT_EQ(p.info.AuCount(), 2u);
}

TEST(GsParser, DamagedStreams) {
    const std::vector<uint8_t> good =
        GsStream({{"PG", 0, 0, kPcs, PcsBody(1920, 1080, 1, 2, 0)}, {"PG", 0, 0, kEnd, {}}});
    auto withTail = [&](std::vector<uint8_t> tail) {
        std::vector<uint8_t> b = good;
        b.insert(b.end(), tail.begin(), tail.end());
        return b;
    };
    struct Case {
        const char* label;
        std::vector<uint8_t> bytes;
        int result;
    };
    const Case cases[] = {
        {"empty file", {}, kUnknownFormat},
        {"wrong magic at the start", GsStream({{"XG", 0, 0, kEnd, {}}}), kUnknownFormat},
        {"wrong magic later", withTail(GsStream({{"TS", 0, 0, kEnd, {}}})), kUnknownFormat},
        {"one byte where a unit should start", withTail({'P'}), kParseCancelled},
        {"last segment runs past the end",
         withTail({'P', 'G', 0, 0, 0, 0, 0, 0, 0, 0, kOds, 0x00, 0x20, 1, 2, 3}), kParseCancelled},
        {"PCS cut inside its descriptors",
         withTail({'P', 'G', 0, 0, 0, 0, 0, 0, 0, 0, kPcs, 0x00, 0x0B, 0x07, 0x80, 0x04}),
         kParseCancelled},
        {"magic and five bytes", withTail({'P', 'G', 0, 0, 0, 1, 0}), kSyntaxIllegal},
        {"magic and ten bytes", withTail({'P', 'G', 0, 0, 0, 1, 0, 0, 0, 0, kEnd, 0}),
         kSyntaxIllegal},
        {"PCS shorter than its fixed fields",
         withTail(GsStream({{"PG", 0, 0, kPcs, {0x07, 0x80, 0x04, 0x38, 0x10}}})), kSyntaxIllegal},
        {"first ICS without its stream model",
         withTail(GsStream({{"IG", 0, 0, kIcs, std::vector<uint8_t>(12, 0)}})), kSyntaxIllegal},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Parsed p = Parse(c.bytes);
        EXPECT_EQ(p.result, c.result);
        EXPECT_FALSE(p.sifLeft);
    }
}

struct ProgressLog {
    std::vector<int> percents;
    bool answer = true;
    static bool Record(void* context, const ProgressRecord& r) {
        auto* self = static_cast<ProgressLog*>(context);
        if (r.status == ProgressRecord::percent)
            self->percents.push_back(r.percentDone);
        return self->answer;
    }
    ProgressCallback Callback() { return {&ProgressLog::Record, this}; }
};

// Units of the largest segment: 10 + 3 + 65,535 bytes each.
std::vector<uint8_t> LargeStream(size_t units) {
    std::vector<uint8_t> b;
    for (size_t i = 0; i < units; ++i)
        test::AppendUnit(b, {"PG", uint32_t(i), 0, kOds, std::vector<uint8_t>(65535, 0)});
    return b;
}

TEST(GsParser, ProgressAtMostOncePerFiveMebibytes) {
    {
        // 79 units end before 5,242,880 bytes: only the completion is reported.
        ProgressLog log;
        Parsed p = Parse(LargeStream(79), log.Callback());
        ASSERT_EQ(p.result, kParseOk);
        EXPECT_EQ(log.percents, std::vector<int>{100});
    }
    {
        // 192 units (12,585,216 bytes): unit 80 starts at 5,243,840 (41%), unit 160 at
        // 10,487,680, the first start more than 5,242,880 bytes after it (83%).
        ProgressLog log;
        Parsed p = Parse(LargeStream(192), log.Callback());
        ASSERT_EQ(p.result, kParseOk);
        EXPECT_EQ(log.percents, (std::vector<int>{41, 83, 100}));
        EXPECT_EQ(p.info.AuCount(), 192u);
    }
}

TEST(GsParser, CancelledThroughTheProgressCallback) {
    ProgressLog log;
    log.answer = false;
    Parsed p = Parse(LargeStream(100), log.Callback());
    EXPECT_EQ(p.result, kParseCancelled);
    EXPECT_EQ(log.percents, std::vector<int>{80});  // unit 80 of 100
    EXPECT_FALSE(p.sifLeft);
}

// Packets of the stream as ffprobe demuxes them: PTS, size (the segment), position (the unit).
struct ProbedPacket {
    uint64_t pts, size, pos;
};

std::vector<ProbedPacket> Ffprobe(const std::string& path) {
    std::vector<ProbedPacket> packets;
    std::string command =
        "ffprobe -v error -show_entries packet=pts,size,pos -of csv=p=0 '" + path + "' 2>/dev/null";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        return packets;
    char line[256];
    while (std::fgets(line, sizeof line, pipe)) {
        unsigned long long pts, size, pos;
        if (std::sscanf(line, "%llu,%llu,%llu", &pts, &size, &pos) == 3)
            packets.push_back({pts, size, pos});
    }
    ::pclose(pipe);
    return packets;
}

TEST(GsParser, ThirdPartySupAsFfprobeDemuxesIt) {
    std::string fixture = test::Fixture("third-party/sup/test.sup");
    Parsed p = Parse(ReadWholeFile(fixture));
    ASSERT_EQ(p.result, kParseOk);
    EXPECT_EQ(p.info.CodingType(), 0x90);
    EXPECT_EQ(p.Record().Width, 128);
    EXPECT_EQ(p.Record().Height, 64);
    EXPECT_EQ(p.Record().FrameRate, 2);  // 24 frames a second
    EXPECT_EQ(p.info.Header.DataLength, 4749u - 16 * 10);

    int displaySets = 0, ends = 0;
    for (const auto& au : p.info.AuTable) {
        displaySets += (au.Flags & 0xFF) == kPcs;
        ends += (au.Flags & 0xFF) == kEnd;
    }
    EXPECT_EQ(displaySets, 4);
    EXPECT_EQ(ends, 4);

    std::vector<ProbedPacket> probed = Ffprobe(fixture);
    if (probed.empty())
        GTEST_SKIP() << "ffprobe is not available";
    ASSERT_EQ(p.info.AuCount(), probed.size());
    for (size_t i = 0; i < probed.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(p.info.AuTable[i].Pts, probed[i].pts + 131070);
        EXPECT_EQ(p.info.AuTable[i].Size, probed[i].size);
        EXPECT_EQ(p.info.AuTable[i].Offset, probed[i].pos + 10);
    }
}

}  // namespace
}  // namespace vx
