// The multiplexer: packet timing, table cadence, padding, PIDs, key-point tracks and its
// failures, on tracks of made-up AUs.

#include "mux/muxer.h"

#include <gtest/gtest.h>

#include "foundation/messages.h"
#include "mux/mux_test_util.h"
#include "mux/verify.h"
#include "support.h"
#include "transport/pid.h"
#include "transport/probes.h"

namespace vx {
namespace {

using test::EvenAus;
using test::FakeTrack;
using test::PacketsOf;

TEST(Muxer, PacketTimeAndPcrOffsetByRate) {
    struct Case {
        uint32_t rate;
        uint64_t packetTime, pcrOffset;
    } cases[] = {
        {48000000, 846, 45},   // 1504 x 27e6 / 48e6 = 846.0; 81 x 27e6 / 48e6 = 45.56
        {40000000, 1015, 54},  // 1015.2, 54.675
        {1000000, 40608, 2187},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PacketTime(c.rate), c.packetTime) << c.rate;
        EXPECT_EQ(PcrOffset(c.rate), c.pcrOffset) << c.rate;
    }
}

TEST(Muxer, FormatSizeTexts) {
    struct Case {
        uint64_t packets;
        const char* text;
    } cases[] = {
        {0, ""},
        {1, "0KB"},
        {5461, "1023KB"},        // 1023.9 KB: below one megabyte
        {5462, "1.00MB"},        // 1024 KB
        {5592406, "1024.00MB"},  // 1048576 KB: not above 1024 MB
        {5592411, "1.00GB"},     // just above
        {10000000, "1.79GB"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatSize(c.packets), c.text) << c.packets;
}

TEST(Muxer, PidsByGroupOrderAndRefusal) {
    FakeTrack video(0x1B, {}), audio1(0x81, {}), audio2(0x81, {}), pg(0x90, {}), ig(0x91, {}),
        secondary(0xA1, {});
    audio1.Order = 2;
    audio2.Order = 1;
    secondary.Primary = false;
    MuxTrackList ordered;
    ASSERT_TRUE(AssignPids({&ig, &audio1, &secondary, &pg, &audio2, &video}, &ordered));
    ASSERT_EQ(ordered.size(), 6u);
    EXPECT_EQ(ordered[0], &video);
    EXPECT_EQ(video.PID, 0x1011);
    EXPECT_EQ(ordered[1], &audio2);  // order 1 before order 2
    EXPECT_EQ(audio2.PID, 0x1100);
    EXPECT_EQ(audio1.PID, 0x1101);
    EXPECT_EQ(pg.PID, 0x1200);
    EXPECT_EQ(ig.PID, 0x1400);
    EXPECT_EQ(secondary.PID, 0x1A00);

    // A 33rd primary audio track has no PID left.
    std::vector<std::unique_ptr<FakeTrack>> many;
    MuxTrackList list;
    for (int i = 0; i < 33; ++i) {
        many.push_back(std::make_unique<FakeTrack>(0x81, std::vector<FakeTrack::Au>{}));
        many.back()->Order = i;
        list.push_back(many.back().get());
    }
    MessageCapture messages;
    EXPECT_FALSE(AssignPids(list, &ordered));
    EXPECT_TRUE(ordered.empty());
    ASSERT_EQ(messages.Texts().size(), 1u);
}

TEST(Muxer, KeyPointTracksByApplicationType) {
    struct Case {
        const char* name;
        std::vector<std::pair<uint8_t, bool>> tracks;  // coding type, primary
        uint8_t applicationType;
        int keyTrack;  // index, -1 none
        uint8_t epType;
    } cases[] = {
        {"video always", {{0x1B, true}, {0x81, true}}, 1, 0, 1},
        {"audio clip", {{0x81, true}, {0x91, true}}, 4, 0, 3},
        {"type 7, primary audio first", {{0x81, true}, {0x90, true}}, 7, 0, 3},
        {"type 7, secondary audio", {{0x90, true}, {0xA1, false}}, 7, 1, 4},
        {"type 7, PG first", {{0x90, true}}, 7, 0, 6},
        {"type 7, IG first", {{0x91, true}, {0x90, true}}, 7, 0, 7},
        {"menu clip", {{0x91, true}}, 5, -1, 0},
    };
    for (const Case& c : cases) {
        std::vector<std::unique_ptr<FakeTrack>> tracks;
        MuxTrackList list;
        for (auto [type, primary] : c.tracks) {
            tracks.push_back(std::make_unique<FakeTrack>(type, std::vector<FakeTrack::Au>{}));
            tracks.back()->Primary = primary;
            list.push_back(tracks.back().get());
        }
        ChooseKeyPointTracks(list, c.applicationType);
        for (size_t i = 0; i < tracks.size(); ++i) {
            const bool key = int(i) == c.keyTrack;
            EXPECT_EQ(tracks[i]->CollectsKeyPoints, key) << c.name << " track " << i;
            if (key) {
                EXPECT_EQ(tracks[i]->EpStreamType, c.epType) << c.name;
            }
        }
    }
}

// Runs a mux of the tracks into a temporary folder and returns the file's bytes.
struct MuxRun {
    test::TempDir dir;
    int result = -1;
    std::vector<uint8_t> stream;
    std::unique_ptr<CMuxer> muxer = std::make_unique<CMuxer>();

    explicit MuxRun(MuxTrackList tracks, uint8_t applicationType = 7, uint32_t rate = 48000000,
                    const ProgressCallback& progress = {}) {
        MuxTrackList ordered;
        AssignPids(tracks, &ordered);
        muxer->SetOutput(dir / "out.m2ts", dir / "out.clpi");
        if (!muxer->Init(rate, ordered, applicationType, 0))
            return;
        result = muxer->Mux(progress);
        if (FileExists(dir / "out.m2ts"))
            stream = ReadWholeFile(dir / "out.m2ts");
        // Whatever the multiplexer calls a success passes the checker.
        if (result == 0) {
            CFile file;
            file.OpenOrRaise(dir / "out.m2ts", CFile::modeRead);
            const VerifyReport report = VerifyStreamFile(file);
            EXPECT_TRUE(report.Ok()) << report.ToJson().dump(1);
        }
    }
};

TEST(Muxer, StartsWithTablesAndKeepsTheirCadence) {
    // One IG AU every second for 3 s: the tables alone fill the time between them.
    FakeTrack ig(0x91, EvenAus(4, 90000, 90000, 2000));
    MuxRun run({&ig}, 5);
    ASSERT_EQ(run.result, 0);
    const auto packets = PacketsOf(run.stream);
    ASSERT_GE(packets.size(), 5u);
    const uint64_t start = packets[0].arrival;
    const int firstPids[] = {pid::kPat, pid::kPmt, pid::kSit, pid::kPcr};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(packets[size_t(i)].pid, firstPids[i]) << i;
        EXPECT_EQ(packets[size_t(i)].arrival, start + 846u * uint32_t(i)) << i;
    }
    // The PCR of the first PCR packet is its arrival plus the PCR offset.
    const uint8_t* pcr = packets[3].bytes + 4;
    const uint64_t base = uint64_t(pcr[6]) << 25 | uint64_t(pcr[7]) << 17 | uint64_t(pcr[8]) << 9 |
                          uint64_t(pcr[9]) << 1 | pcr[10] >> 7;
    EXPECT_EQ(base * 300 + ((pcr[10] & 1) << 8 | pcr[11]), start + 3 * 846 + 45);

    std::vector<uint32_t> pats, pcrs;
    int psiSinceSit = 0, sits = 0;
    for (const auto& p : packets) {
        if (p.pid == pid::kPat) {
            pats.push_back(p.arrival);
            ++psiSinceSit;
        } else if (p.pid == pid::kPcr) {
            pcrs.push_back(p.arrival);
        } else if (p.pid == pid::kSit) {
            if (sits++ > 0) {
                EXPECT_EQ(psiSinceSit, 9);  // a SIT with every 9th PAT/PMT
            }
            psiSinceSit = 0;
        }
    }
    ASSERT_GT(pats.size(), 30u);
    ASSERT_GT(pcrs.size(), 30u);
    EXPECT_GT(sits, 3);
    // Table packets sit on the packet grid, within one packet time of their due time.
    for (size_t i = 1; i < pats.size(); ++i) {
        EXPECT_GE(pats[i] - pats[i - 1], 2538000u) << i;
        EXPECT_LE(pats[i] - pats[i - 1], 2538000u + 846) << i;
    }
    for (size_t i = 2; i < pcrs.size(); ++i) {
        const uint32_t gap = pcrs[i] - pcrs[i - 1];
        EXPECT_GE(gap, 2430000u - 846) << i;
        EXPECT_LE(gap, 2430000u + 846) << i;
    }
    for (const auto& p : packets) EXPECT_EQ((p.arrival - start) % 846, 0u);
}

TEST(Muxer, AnAuStartsArrivingAtMostLeadTimeBeforeItsDecodingTime) {
    struct Case {
        uint64_t dts;        // 90 kHz
        uint32_t firstTime;  // arrival of the first packet (PAT)
    } cases[] = {
        {90000, (90000 - 81000) * 300},  // 1 s: 0.9 s earlier
        {81001, 300},
        {81000, 0},  // at or below 0.9 s: from the start of the clock
        {50000, 0},
    };
    for (const Case& c : cases) {
        FakeTrack ig(0x91, EvenAus(1, c.dts, 90000, 1000));
        MuxRun run({&ig}, 5);
        ASSERT_EQ(run.result, 0) << c.dts;
        EXPECT_EQ(PacketsOf(run.stream).front().arrival, c.firstTime) << c.dts;
    }
}

TEST(Muxer, PadsWithNullPacketsToAlignedUnits) {
    // 4 table packets and 28 of the AU fill one aligned unit exactly: no padding.
    FakeTrack exact(0x91, EvenAus(1, 90000, 90000, 5000));
    MuxRun whole({&exact}, 5);
    ASSERT_EQ(whole.result, 0);
    ASSERT_EQ(whole.stream.size(), 6144u);
    EXPECT_NE(PacketsOf(whole.stream).back().pid, pid::kNull);

    FakeTrack ig(0x91, EvenAus(1, 90000, 90000, 6000));
    MuxRun run({&ig}, 5);
    ASSERT_EQ(run.result, 0);
    ASSERT_EQ(run.stream.size() % 6144, 0u);
    const auto packets = PacketsOf(run.stream);
    size_t firstNull = packets.size();
    while (firstNull > 0 && packets[firstNull - 1].pid == pid::kNull) --firstNull;
    ASSERT_LT(firstNull, packets.size());
    ASSERT_GT(firstNull, 0u);
    // Null packets continue the arrival clock and are written as 47 1F FF 10 and 0xFF.
    for (size_t i = firstNull; i < packets.size(); ++i) {
        EXPECT_EQ(packets[i].arrival, packets[i - 1].arrival + 846) << i;
        EXPECT_EQ(test::ToHex({packets[i].bytes + 4, packets[i].bytes + 8}), "47 1F FF 10");
        EXPECT_EQ(packets[i].bytes[191], 0xFF);
    }
    EXPECT_EQ(run.muxer->PacketCount(), packets.size());
    CFile file;
    file.OpenOrRaise(run.dir / "out.m2ts", CFile::modeRead);
    EXPECT_TRUE(VerifyStreamFile(file).Ok());
}

TEST(Muxer, WritesClipInformationOfTheMux) {
    // Two audio tracks of an audio clip: the first collects key points every 0.5 s.
    FakeTrack a(0x81, EvenAus(40, 126000, 2880, 768)), b(0x81, EvenAus(40, 126000, 2880, 768));
    MuxRun run({&a, &b}, 4);
    ASSERT_EQ(run.result, 0);
    const std::vector<uint8_t> data = ReadWholeFile(run.dir / "out.clpi");
    CLPI clip;
    ASSERT_GT(clip.Parse(data.data(), data.size()), 0);
    EXPECT_EQ(clip.ClipInfo.ApplicationType, 4);
    EXPECT_EQ(clip.ClipInfo.TsRecordingRate, 6000000u);
    EXPECT_EQ(clip.ClipInfo.NumberOfSourcePackets, run.stream.size() / 192);
    ASSERT_EQ(clip.ProgramInfo.Streams.GetCount(), 2);
    EXPECT_EQ(clip.ProgramInfo.Streams.GetAt(0)->StreamPID, 0x1100);
    EXPECT_EQ(clip.ProgramInfo.Streams.GetAt(1)->StreamPID, 0x1101);
    const STC_INFO* stc = clip.SequenceInfo.StcSequences.GetAt(0);
    ASSERT_NE(stc, nullptr);
    EXPECT_EQ(stc->StartPTS, 126000u / 2);
    EXPECT_EQ(stc->EndPTS, (126000u + 39 * 2880) / 2);  // no video: the last start
    ASSERT_EQ(clip.Cpi.EpMap.GetCount(), 1);
    EXPECT_EQ(clip.Cpi.EpMap.GetAt(0)->StreamPid, 0x1100);
    EXPECT_EQ(clip.Cpi.EpMap.GetAt(0)->EpStreamType, 3);
    // Every key point starts where its AU's first packet was written.
    const auto packets = PacketsOf(run.stream);
    for (const KEY_POINT_INFO* point : clip.Cpi.EpMap.GetAt(0)->KeyPoints.Records()) {
        ASSERT_LT(point->StartSpn, packets.size());
        EXPECT_EQ(packets[point->StartSpn].pid, 0x1100);
        EXPECT_TRUE(packets[point->StartSpn].unitStart);
    }
    CFile file;
    file.OpenOrRaise(run.dir / "out.m2ts", CFile::modeRead);
    const VerifyReport report = VerifyStreamFile(file, &clip);
    EXPECT_TRUE(report.Ok()) << report.ToJson().dump(1);
}

TEST(Muxer, FailuresLeaveNoFile) {
    struct Case {
        const char* name;
        uint32_t rate;
        std::vector<FakeTrack::Au> aus;
        bool cancel;
        int result;
        const char* message;  // a part of the message, "" for none
    } cases[] = {
        {"rate too low", 999999, EvenAus(2, 90000, 90000, 100), false, -1, "Wrong multiplex rate"},
        {"rate too high", 48000001, EvenAus(2, 90000, 90000, 100), false, -1,
         "Wrong multiplex rate"},
        {"no AU with data", 48000000, {{90000, 90000, 0}}, false, 2, "No track has an AU"},
        // 100 kB every 40 ms is 20 Mbit/s: late at 1 Mbit/s.
        {"late AUs", 1000000, EvenAus(5, 90000, 3600, 100000), false, 2, "after their decoding"},
        {"cancelled", 48000000, EvenAus(400, 90000, 3600, 70000), true, 1, ""},
        // An AU two hours after the one before: the gap would be filled with tables.
        {"time stamps jump",
         48000000,
         {{90000, 90000, 1000}, {90000 + 7200ull * 90000, 90000 + 7200ull * 90000, 1000}},
         false,
         2,
         "jump by more than an hour"},
    };
    for (const Case& c : cases) {
        FakeTrack video(0x1B, c.aus);
        MessageCapture messages;
        auto cancel = [](void*, const ProgressRecord& r) {
            return r.status != ProgressRecord::percent || r.percentDone == 0;
        };
        ProgressCallback progress{c.cancel ? +cancel : nullptr, nullptr};
        MuxRun run({&video}, 1, c.rate, progress);
        EXPECT_EQ(run.result, c.result) << c.name;
        if (c.result != 0) {
            EXPECT_FALSE(FileExists(run.dir / "out.m2ts")) << c.name;
        }
        EXPECT_FALSE(FileExists(run.dir / "out.clpi") && c.result != 0) << c.name;
        if (*c.message) {
            ASSERT_FALSE(messages.Texts().empty()) << c.name;
            EXPECT_NE(messages.Texts().front().find(c.message), std::string::npos)
                << c.name << ": " << messages.Texts().front();
        }
        // Nothing but the two outputs may ever appear in the folder.
        for (const auto& entry : std::filesystem::directory_iterator(run.dir.Path())) {
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(name == "out.m2ts" || name == "out.clpi") << c.name << ": " << name;
        }
    }
}

TEST(Muxer, ProgramMapTableOverPacketsAndItsLimit) {
    // 40 PG tracks: 200 bytes of stream entries, a PMT of two packets.
    std::vector<std::unique_ptr<FakeTrack>> tracks;
    MuxTrackList list;
    for (int i = 0; i < 40; ++i) {
        tracks.push_back(std::make_unique<FakeTrack>(0x90, EvenAus(2, 90000, 90000, 300)));
        tracks.back()->Order = i;
        list.push_back(tracks.back().get());
    }
    MuxRun run(list, 7);
    ASSERT_EQ(run.result, 0);
    EXPECT_GT(run.muxer->PmtSection().size(), 183u);
    const auto packets = PacketsOf(run.stream);
    EXPECT_EQ(packets[1].pid, pid::kPmt);
    EXPECT_TRUE(packets[1].unitStart);
    EXPECT_EQ(packets[2].pid, pid::kPmt);
    EXPECT_FALSE(packets[2].unitStart);
    EXPECT_EQ(packets[3].pid, pid::kSit);
    CFile file;
    file.OpenOrRaise(run.dir / "out.m2ts", CFile::modeRead);
    const VerifyReport report = VerifyStreamFile(file);
    EXPECT_TRUE(report.Ok()) << report.ToJson().dump(1);
    std::unique_ptr<PMT> pmt = ReadPmt(file);
    ASSERT_NE(pmt, nullptr);
    EXPECT_EQ(pmt->Streams.GetCount(), 40);

    // 256 PG tracks do not fit one section (1,021 bytes).
    for (int i = 40; i < 256; ++i) {
        tracks.push_back(std::make_unique<FakeTrack>(0x90, EvenAus(1, 90000, 90000, 300)));
        tracks.back()->Order = i;
        list.push_back(tracks.back().get());
    }
    MessageCapture messages;
    MuxRun refused(list, 7);
    EXPECT_EQ(refused.result, -1);
    ASSERT_EQ(messages.Texts().size(), 1u);
    EXPECT_NE(messages.Texts()[0].find("1021"), std::string::npos);
}

TEST(Muxer, ProgressCopyPermissionAndEmptyPacks) {
    struct Recorder {
        std::vector<std::string> texts;
        std::vector<int> percents;
        static bool On(void* context, const ProgressRecord& r) {
            auto* self = static_cast<Recorder*>(context);
            if (r.status == ProgressRecord::title)
                self->texts.push_back("title:" + r.titleText);
            else if (r.status == ProgressRecord::statusText)
                self->texts.push_back("status:" + r.text);
            else if (r.status == ProgressRecord::percent)
                self->percents.push_back(r.percentDone);
            return true;
        }
    } recorder;
    FakeTrack video(0x1B, EvenAus(300, 90000, 3754, 150000));  // 45 MB: two progress steps
    test::TempDir dir;
    MuxTrackList ordered;
    AssignPids({&video}, &ordered);
    CMuxer muxer;
    muxer.SetOutput(dir / "out.m2ts", "");
    muxer.SetCopyPermission(2);
    ASSERT_TRUE(muxer.Init(48000000, ordered, 1, 0));
    ASSERT_EQ(muxer.Mux({&Recorder::On, &recorder}), 0);
    EXPECT_EQ(recorder.texts, (std::vector<std::string>{"title:Building", "status:out.m2ts"}));
    ASSERT_GE(recorder.percents.size(), 3u);
    EXPECT_EQ(recorder.percents.front(), 0);
    EXPECT_EQ(recorder.percents.back(), 100);
    EXPECT_TRUE(std::is_sorted(recorder.percents.begin(), recorder.percents.end()));
    EXPECT_FALSE(FileExists(dir / "out.clpi"));  // no clip information asked for
    const std::vector<uint8_t> stream = ReadWholeFile(dir / "out.m2ts");
    for (size_t at = 0; at < stream.size(); at += 192) ASSERT_EQ(stream[at] >> 6, 2) << at;
    // Video: the end is one frame after the last picture, counted once.
    EXPECT_EQ(muxer.StartTime(), 90000u * 300);
    EXPECT_EQ(muxer.EndTime(), (90000u + 299 * 3754) * 300 + 1126125);

    FakeTrack broken(0x91, EvenAus(3, 90000, 90000, 1000));
    broken.EmptyAu = 1;
    MessageCapture messages;
    MuxRun run({&broken}, 5);
    EXPECT_EQ(run.result, 2);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Wrong: pack is empty ! "});
    EXPECT_FALSE(FileExists(run.dir / "out.m2ts"));
}

}  // namespace
}  // namespace vx
