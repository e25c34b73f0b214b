#include "transport/probes.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "bdmv/json.h"
#include "foundation/file.h"
#include "support.h"
#include "transport/pid.h"
#include "ts_builders.h"

namespace vx {
namespace {

using test::Append;
using test::PesSourcePacket;
using test::SourcePacket;
using test::TsPacket;

const char* const kFixtures[] = {"disc-avc1080p24-ac3/BDMV/STREAM/00000.m2ts",
                                 "third-party/m2ts/M2TS.mts",
                                 "third-party/m2ts/Test_H264_AC3.m2ts"};

std::string RunCommand(const std::string& command) {
    std::string out;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return out;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    ::pclose(pipe);
    return out;
}

bool HaveFfprobe() {
    return std::system("ffprobe -version >/dev/null 2>&1") == 0;
}

// A source packet whose PES header carries no time stamp.
std::vector<uint8_t> PesWithoutPts(int pid) {
    return SourcePacket(0, TsPacket(pid, true, test::Hex("00 00 01 C0 00 00 80 00 00")));
}

std::vector<uint8_t> NullPacket() {
    return SourcePacket(0, TsPacket(pid::kNull, false, {}));
}

std::vector<uint8_t> PmtOf(const std::vector<std::pair<uint8_t, int>>& streams) {
    PMT pmt;
    for (auto [type, value] : streams) {
        auto esi = std::make_unique<ESI>();
        esi->StreamType = type;
        esi->ElementaryPid = uint16_t(value);
        pmt.Streams.Add(std::move(esi));
    }
    return test::PmtSourcePackets(pmt);
}

class StreamFile {
public:
    explicit StreamFile(const std::vector<uint8_t>& bytes) : path_(dir_ / "probe.m2ts") {
        test::WriteFile(path_, bytes);
        file_.OpenOrRaise(path_, CFile::modeRead);
    }
    CFile& File() { return file_; }

private:
    test::TempDir dir_;
    std::string path_;
    CFile file_;
};

// ---- Against what ffprobe reads from files of other multiplexers -----------------------------

TEST(ProbeFixtures, AgreeWithFfprobe) {
    if (!HaveFfprobe())
        GTEST_SKIP() << "ffprobe is not installed";
    const std::map<std::string, uint8_t> streamTypes = {
        {"h264", 0x1B}, {"mpeg2video", 0x02}, {"vc1", 0xEA}, {"ac3", 0x81}, {"eac3", 0x84}};
    for (const char* fixture : kFixtures) {
        std::string path = test::Fixture(fixture);
        Json probe = Json::parse(RunCommand(
            "ffprobe -v quiet -of json -show_packets -show_entries "
            "stream=index,id,codec_name:stream_tags=language:packet=stream_index,pts,dts,pos '" +
            path + "'"));
        CFile file;
        file.OpenOrRaise(path, CFile::modeRead);

        std::unique_ptr<PMT> pmt = ReadPmt(file);
        ASSERT_TRUE(pmt) << fixture;
        ASSERT_EQ(pmt->Streams.GetCount(), int(probe["streams"].size())) << fixture;
        int videoIndex = -1;
        for (const Json& stream : probe["streams"]) {
            int id = std::stoi(stream["id"].get<std::string>(), nullptr, 16);
            const ESI* esi = pmt->FindStream(id);
            ASSERT_NE(esi, nullptr) << fixture << " PID " << id;
            EXPECT_EQ(esi->StreamType, streamTypes.at(stream["codec_name"].get<std::string>()))
                << fixture;
            if (stream.contains("tags") && stream["tags"].contains("language")) {
                ASSERT_TRUE(esi->Iso639LanguageDescriptor) << fixture;
                EXPECT_EQ(std::string(esi->Iso639LanguageDescriptor->Language.data(), 3),
                          stream["tags"]["language"].get<std::string>());
            } else {
                EXPECT_FALSE(esi->Iso639LanguageDescriptor) << fixture;
            }
            EXPECT_EQ(esi->ToJson().value("Language", ""),
                      stream.value("tags", Json::object()).value("language", ""))
                << fixture;
            if (id == pid::kPrimaryVideo)
                videoIndex = stream["index"].get<int>();
        }
        ASSERT_GE(videoIndex, 0) << fixture;

        // Packets in file order; the first gives the first time stamps.
        std::vector<Json> packets(probe["packets"].begin(), probe["packets"].end());
        std::stable_sort(packets.begin(), packets.end(), [](const Json& a, const Json& b) {
            return std::stoll(a["pos"].get<std::string>()) <
                   std::stoll(b["pos"].get<std::string>());
        });
        ASSERT_FALSE(packets.empty());
        std::optional<PesTimeStamps> first = FirstTimeStamps(file);
        ASSERT_TRUE(first) << fixture;
        EXPECT_EQ(first->PTS, packets[0]["pts"].get<uint64_t>()) << fixture;
        if (packets[0]["dts"] != packets[0]["pts"]) {
            EXPECT_EQ(first->DTS, packets[0]["dts"].get<uint64_t>()) << fixture;
        }

        // With video the application type is 1 and only video counts: the largest video PTS
        // plus the step between the first two video decoding times.
        std::vector<int> pids;
        for (const ESI* esi : pmt->Streams.Children()) pids.push_back(esi->ElementaryPid);
        EXPECT_EQ(ApplicationType(pids, TransportRate(file)), 1) << fixture;
        uint64_t largest = 0;
        std::vector<uint64_t> decodeTimes;
        for (const Json& p : packets) {
            if (p["stream_index"].get<int>() != videoIndex)
                continue;
            largest = std::max(largest, p["pts"].get<uint64_t>());
            decodeTimes.push_back(p["dts"].get<uint64_t>());
        }
        uint64_t step = decodeTimes.size() > 1 ? decodeTimes[1] - decodeTimes[0] : 0;
        std::optional<uint64_t> last = LastPresentationTime(file);
        ASSERT_TRUE(last) << fixture;
        EXPECT_EQ(*last, largest + step) << fixture;
    }
}

TEST(ProbeFixtures, DescriptionOfAStreamFile) {
    CFile file;
    file.OpenOrRaise(test::Fixture(kFixtures[0]), CFile::modeRead);
    file.Seek(1000, CFile::begin);
    Json j = DescribeTransportStream(file);
    EXPECT_EQ(file.GetPosition(), 1000u);
    EXPECT_EQ(j["SourcePackets"], 3808);
    EXPECT_EQ(j["WholeAlignedUnits"], true);
    EXPECT_EQ(j["PAT"]["Programs"][1]["ProgramMapPid"], 0x0100);
    EXPECT_EQ(j["SIT"]["PartialTransportStreamDescriptor"]["PeakRate"], 0x1D4C0);
    EXPECT_EQ(j["PMT"]["Streams"][0]["ElementaryPid"], 0x1011);
    EXPECT_EQ(j["PMT"]["Streams"][1]["StreamType"], 0x81);
    EXPECT_EQ(j["FirstPts"], 54000000);
    // The video stream comes first: its header carries a DTS as well.
    std::optional<PesTimeStamps> first = FirstTimeStamps(file);
    ASSERT_TRUE(first);
    EXPECT_NE(first->DTS, 0u);
    EXPECT_EQ(j["FirstDts"], first->DTS);
    EXPECT_EQ(j["ApplicationType"], 1);
    // The first two packets arrive 7500 ticks apart.
    EXPECT_EQ(j["TransportRate"], 1504ull * 27000000 / 7500);
    EXPECT_TRUE(j.contains("LastPresentationTime"));

    CFile odd;
    odd.OpenOrRaise(test::Fixture(kFixtures[1]), CFile::modeRead);
    EXPECT_EQ(DescribeTransportStream(odd)["WholeAlignedUnits"], false);
}

// ---- Small files ----------------------------------------------------------------------------

TEST(ProbeRate, FirstIncreasingNeighbours) {
    struct Case {
        const char* what;
        std::vector<int64_t> arrivals;  // -1: a packet without sync byte
        uint64_t rate;
    };
    std::vector<int64_t> flat(100, 5);
    flat.push_back(851);
    const Case cases[] = {
        {"48 Mbit/s", {0, 846}, 48000000},
        {"equal stamps skipped", {10, 10, 7510}, 1504ull * 27000000 / 7500},
        {"a broken packet splits the pair", {0, -1, 1692, 3196}, 27000000},
        {"the 30-bit clock wraps", {0x3FFFFFFF, 0, 846}, 48000000},
        {"rates above 32 bits", {7, 8}, 1504ull * 27000000},
        {"only decreasing stamps", {100, 50, 40}, kDefaultTransportRate},
        {"one packet", {5}, kDefaultTransportRate},
        {"no packets", {}, kDefaultTransportRate},
        {"the increase lies beyond the first 100 packets", flat, kDefaultTransportRate},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes;
        for (int64_t a : c.arrivals) {
            std::vector<uint8_t> p =
                SourcePacket(uint32_t(a < 0 ? 0 : a), TsPacket(0x1011, false, {}));
            if (a < 0)
                p[4] = 0;
            Append(bytes, p);
        }
        StreamFile f(bytes);
        EXPECT_EQ(TransportRate(f.File()), c.rate) << c.what;
    }
}

TEST(ProbeApplicationType, CategoriesAndRate) {
    struct Case {
        std::vector<int> pids;
        uint64_t rate;
        uint8_t type;
    };
    const Case cases[] = {
        {{0x1011}, 1000, 1},
        {{0x1011, 0x1800, 0x1A00}, 48000000, 1},
        {{0x1100, 0x1800}, 48000000, 6},
        {{}, 48000000, 0},
        {{0x0100, 0x1001, 0x1FFF}, 48000000, 0},
        {{0x1400}, 27999999, 7},
        {{0x1400}, 28000000, 5},
        {{0x1100}, 27999999, 4},
        {{0x1100}, 28000000, 7},
        {{0x1100, 0x1400}, 1000, 7},
        {{0x1200}, 1000, 7},
        {{0x1100, 0x1A00}, 1000, 7},
        {{0x1400, 0x1B00}, 48000000, 7},
    };
    for (const Case& c : cases) {
        std::string list;
        for (int p : c.pids) list += std::to_string(p) + " ";
        EXPECT_EQ(ApplicationType(c.pids, c.rate), c.type) << list << c.rate;
    }
}

TEST(ProbeLastPresentationTime, LargestPtsPlusStep) {
    struct Case {
        const char* what;
        std::vector<std::vector<uint8_t>> packets;
        std::optional<uint64_t> end;
    };
    const Case cases[] = {
        {"audio steps by its frame",
         {PesSourcePacket(0, 0x1100, 1000), PesSourcePacket(0, 0x1100, 3880),
          PesSourcePacket(0, 0x1100, 6760)},
         6760 + 2880},
        {"PG has no step",
         {PesSourcePacket(0, 0x1200, 9000), PesSourcePacket(0, 0x1200, 5000)},
         9000},
        {"PIDs after the first video PID do not count",
         {PesSourcePacket(0, 0x1100, 1000), PesSourcePacket(0, 0x1100, 3880),
          PesSourcePacket(0, 0x1011, 2000, 1000), PesSourcePacket(0, 0x1011, 5003, 4003),
          PesSourcePacket(0, 0x1200, 900000)},
         5003 + 3003},
        {"with video in the PMT only video counts",
         {PmtOf({{0x1B, 0x1011}, {0x81, 0x1100}}), PesSourcePacket(0, 0x1100, 900000),
          PesSourcePacket(0, 0x1011, 3000)},
         3000},
        {"a null packet ends the walk",
         {PesSourcePacket(0, 0x1100, 1000), NullPacket(), PesSourcePacket(0, 0x1100, 50000)},
         1000},
        {"headers without PTS do not count",
         {PesWithoutPts(0x1100), PesWithoutPts(0x1011)},
         std::nullopt},
        {"no PES header", {PmtOf({{0x81, 0x1100}})}, std::nullopt},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes;
        for (const auto& p : c.packets) Append(bytes, p);
        StreamFile f(bytes);
        EXPECT_EQ(LastPresentationTime(f.File()), c.end) << c.what;
    }
}

TEST(ProbeLastPresentationTime, OnlyTheEndOfALongFileIsRead) {
    // The tail starts 484 bytes in, rounded up to the packet at 576: the first three packets
    // lie before it.
    std::vector<uint8_t> bytes;
    Append(bytes, PesSourcePacket(0, 0x1100, 999999));
    Append(bytes, PesSourcePacket(0, 0x1100, 888888));
    Append(bytes, PesSourcePacket(0, 0x1100, 777777));
    Append(bytes, PesSourcePacket(0, 0x1100, 1000));
    bytes.resize(kTailSize + 2 * 192 + 100, 0);
    StreamFile f(bytes);
    EXPECT_EQ(LastPresentationTime(f.File()), std::optional<uint64_t>(1000));
}

TEST(ProbeFirstTimeStamps, FirstHeaderWithPtsOnAnElementaryPid) {
    struct Case {
        const char* what;
        std::vector<std::vector<uint8_t>> packets;
        std::optional<std::pair<uint64_t, uint64_t>> stamps;
    };
    const Case cases[] = {
        {"tables, PCR PID, no PTS and continuations are passed over",
         {PmtOf({{0x1B, 0x1011}}), PesSourcePacket(0, 0x1001, 7), PesWithoutPts(0x1100),
          SourcePacket(0, TsPacket(0x1011, false, test::PesHeader(0xE0, 9))),
          PesSourcePacket(0, 0x1011, 500, 400), PesSourcePacket(0, 0x1100, 300)},
         std::make_pair(500, 400)},
        {"DTS 0 when the header has none",
         {PesSourcePacket(0, 0x1100, 700)},
         std::make_pair(700, 0)},
        {"no header", {NullPacket()}, std::nullopt},
        {"empty file", {}, std::nullopt},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> bytes;
        for (const auto& p : c.packets) Append(bytes, p);
        StreamFile f(bytes);
        std::optional<PesTimeStamps> first = FirstTimeStamps(f.File());
        ASSERT_EQ(first.has_value(), c.stamps.has_value()) << c.what;
        if (first) {
            EXPECT_EQ(first->PTS, c.stamps->first) << c.what;
            EXPECT_EQ(first->DTS, c.stamps->second) << c.what;
        }
    }
}

TEST(ProbeReadPmt, SectionOverPacketsAcrossReadBlocks) {
    PMT pmt;
    for (int i = 0; i < 40; ++i) {
        auto esi = std::make_unique<ESI>();
        esi->StreamType = 0x90;
        esi->ElementaryPid = uint16_t(0x1200 + i);
        esi->Iso639LanguageDescriptor.emplace();
        pmt.Streams.Add(std::move(esi));
    }
    std::vector<uint8_t> pmtPackets = test::PmtSourcePackets(pmt);
    ASSERT_EQ(pmtPackets.size(), 3 * 192u);

    // The three PMT packets at indices 99, 101 and 102: across the first 19,200-byte block.
    std::vector<uint8_t> bytes;
    for (int i = 0; i < 99; ++i) Append(bytes, PesSourcePacket(0, 0x1011, 0));
    Append(bytes, {pmtPackets.begin(), pmtPackets.begin() + 192});
    Append(bytes, PesSourcePacket(0, 0x1011, 0));
    Append(bytes, {pmtPackets.begin() + 192, pmtPackets.end()});
    StreamFile whole(bytes);
    std::unique_ptr<PMT> read = ReadPmt(whole.File());
    ASSERT_TRUE(read);
    ASSERT_EQ(read->Streams.GetCount(), 40);
    EXPECT_EQ(read->Streams.GetAt(39)->ElementaryPid, 0x1200 + 39);

    // The file ends before the section does.
    bytes.resize(bytes.size() - 192);
    StreamFile cut(bytes);
    EXPECT_FALSE(ReadPmt(cut.File()));
}

TEST(ProbePositions, EveryProbeRestoresThePosition) {
    std::vector<uint8_t> bytes = PmtOf({{0x81, 0x1100}});
    Append(bytes, PesSourcePacket(0, 0x1100, 1000));
    Append(bytes, PesSourcePacket(846, 0x1100, 3880));
    StreamFile f(bytes);
    CFile& file = f.File();
    file.Seek(300, CFile::begin);
    EXPECT_TRUE(ReadPmt(file));
    EXPECT_EQ(file.GetPosition(), 300u);
    EXPECT_TRUE(FirstTimeStamps(file));
    EXPECT_EQ(file.GetPosition(), 300u);
    EXPECT_EQ(TransportRate(file), 48000000u);
    EXPECT_EQ(file.GetPosition(), 300u);
    EXPECT_EQ(LastPresentationTime(file), std::optional<uint64_t>(3880 + 2880));
    EXPECT_EQ(file.GetPosition(), 300u);
}

}  // namespace
}  // namespace vx
