// Re-multiplexing stream files other tools wrote, checked by our checker and by ffmpeg: the
// elementary streams come out frame for frame as they went in, and the clip information
// describes the new file.

#include <gtest/gtest.h>

#include <sstream>

#include "foundation/messages.h"
#include "mux/muxer.h"
#include "mux/rip_track.h"
#include "mux/verify.h"
#include "support.h"
#include "transport/probes.h"

namespace vx {
namespace {

std::unique_ptr<CLPI> ReadClip(const std::string& path) {
    const std::vector<uint8_t> data = ReadWholeFile(path);
    auto clip = std::make_unique<CLPI>();
    EXPECT_GT(clip->Parse(data.data(), data.size()), 0) << path;
    return clip;
}

// Scans the input and multiplexes every track into out (clip information beside it).
int Remux(const std::string& input, bool useClipInfo, const std::string& out,
          const std::string& clipOut, SRipTracks& tracks) {
    EXPECT_TRUE(AddTracksForStream(input, useClipInfo, tracks));
    CFile file;
    file.OpenOrRaise(input, CFile::modeRead);
    EXPECT_EQ(ScanClip(tracks.Pointers(), file, 0, -1), 0);
    MuxTrackList all, ordered;
    for (auto& track : tracks.Tracks) {
        DetectAttributes(*track, file);
        all.push_back(track.get());
    }
    EXPECT_TRUE(AssignPids(all, &ordered));
    std::vector<int> pids;
    for (SMuxTrack* track : ordered) pids.push_back(track->PID);
    CMuxer muxer;
    muxer.SetOutput(out, clipOut);
    if (!muxer.Init(48000000, ordered, ApplicationType(pids, 48000000), 0))
        return -1;
    return muxer.Mux();
}

std::vector<std::string> Lines(const std::string& text, const std::string& prefix = "") {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, prefix.size(), prefix) == 0)
            lines.push_back(line);
    return lines;
}

std::vector<uint64_t> EpTimes(const CLPI& clip) {
    std::vector<uint64_t> times;
    for (const STREAM_PID_ENTRY* entry : clip.Cpi.EpMap.Children())
        for (const KEY_POINT_INFO* point : entry->KeyPoints.Records())
            times.push_back(point->PresentationTime);
    return times;
}

TEST(Remux, FixtureDiscClipComesOutFrameForFrame) {
    const std::string source = test::Fixture("disc-avc1080p24-ac3/BDMV/STREAM/00000.m2ts");
    const auto original = ReadClip(test::Fixture("disc-avc1080p24-ac3/BDMV/CLIPINF/00000.clpi"));
    test::TempDir dir;
    SRipTracks tracks;
    ASSERT_EQ(Remux(source, true, dir / "00000.m2ts", dir / "00000.clpi", tracks), 0);
    const auto clip = ReadClip(dir / "00000.clpi");

    CFile out;
    out.OpenOrRaise(dir / "00000.m2ts", CFile::modeRead);
    const VerifyReport report = VerifyStreamFile(out, clip.get());
    EXPECT_TRUE(report.Ok()) << report.ToJson().dump(1);

    EXPECT_EQ(test::CommandOutput("ffmpeg -nostdin -v warning -i " +
                                      test::ShellQuote(dir / "00000.m2ts") + " -map 0 -f null -",
                                  true),
              "");
    const std::string crc = test::FrameCrc(dir / "00000.m2ts");
    EXPECT_FALSE(crc.empty());
    EXPECT_EQ(crc, test::FrameCrc(source));

    EXPECT_EQ(EpTimes(*clip), EpTimes(*original));
    ASSERT_EQ(clip->ProgramInfo.Streams.GetCount(), original->ProgramInfo.Streams.GetCount());
    for (int i = 0; i < clip->ProgramInfo.Streams.GetCount(); ++i) {
        const STREAM_INFO* a = clip->ProgramInfo.Streams.GetAt(i);
        const STREAM_INFO* b = original->ProgramInfo.Streams.GetAt(i);
        EXPECT_EQ(a->StreamPID, b->StreamPID);
        EXPECT_EQ(a->StreamCodingType, b->StreamCodingType);
        EXPECT_EQ(a->VideoFormat, b->VideoFormat);
        EXPECT_EQ(a->FrameRate, b->FrameRate);
        EXPECT_EQ(a->PresentationType, b->PresentationType);
        EXPECT_EQ(a->Language(), b->Language());
    }
    const STC_INFO* stc = clip->SequenceInfo.StcSequences.GetAt(0);
    const STC_INFO* was = original->SequenceInfo.StcSequences.GetAt(0);
    EXPECT_EQ(stc->StartPTS, was->StartPTS);
    EXPECT_NEAR(double(stc->EndPTS), double(was->EndPTS), 1877.0);  // one frame at 45 kHz
    EXPECT_EQ(clip->ClipInfo.NumberOfSourcePackets * 192ull, out.GetLength());
}

TEST(Remux, StreamFilesWithoutClipInformation) {
    struct Case {
        const char* file;
        std::vector<int> pids;
    } cases[] = {
        {"mux/avc_ac3.m2ts", {0x1011, 0x1100}},
        {"mux/avc_ac3_pg.m2ts", {0x1011, 0x1100, 0x1200}},
    };
    for (const Case& c : cases) {
        const std::string source = test::Fixture(c.file);
        // The clip information of the file as it is.
        SRipTracks tracks;
        ASSERT_TRUE(AddTracksForStream(source, false, tracks)) << c.file;
        CFile in;
        in.OpenOrRaise(source, CFile::modeRead);
        std::unique_ptr<CLPI> clip;
        ASSERT_EQ(MakeClipInfo(tracks, in, &clip), 0) << c.file;
        std::vector<int> pids;
        for (const STREAM_INFO* info : clip->ProgramInfo.Streams.Records())
            pids.push_back(info->StreamPID);
        EXPECT_EQ(pids, c.pids) << c.file;
        EXPECT_EQ(clip->SequenceInfo.StcSequences.GetAt(0)->PcrPid, ReadPmt(in)->PcrPid);
        const STREAM_INFO* video = clip->ProgramInfo.Streams.GetAt(0);
        EXPECT_EQ(video->VideoFormat, 6) << "1920x1080 progressive, from the SPS";
        EXPECT_EQ(video->FrameRate, 1) << "24000/1001";
        EXPECT_EQ(video->AspectRatio, 3);
        const STREAM_INFO* audio = clip->ProgramInfo.Streams.GetAt(1);
        EXPECT_EQ(audio->PresentationType, 3);
        EXPECT_EQ(audio->SamplingFrequency, 1);
        // ffmpeg leaves every arrival time stamp 0: the rate is the highest a disc allows.
        EXPECT_EQ(clip->ClipInfo.TsRecordingRate, 6000000u);
        ASSERT_EQ(clip->Cpi.EpMap.GetCount(), 1);
        EXPECT_EQ(clip->Cpi.EpMap.GetAt(0)->KeyPoints.GetCount(), 4) << "a key frame a second";

        // Re-multiplexed: a stream file that passes the checker, with the same frames (the PG
        // track without the display set that never clears).
        test::TempDir dir;
        SRipTracks remuxed;
        ASSERT_EQ(Remux(source, false, dir / "out.m2ts", dir / "out.clpi", remuxed), 0);
        CFile out;
        out.OpenOrRaise(dir / "out.m2ts", CFile::modeRead);
        const auto written = ReadClip(dir / "out.clpi");
        const VerifyReport report = VerifyStreamFile(out, written.get());
        EXPECT_TRUE(report.Ok()) << c.file << report.ToJson().dump(1);
        const std::string before = test::FrameCrc(source);
        const std::string after = test::FrameCrc(dir / "out.m2ts");
        for (std::string stream : {"0,", "1,"})
            EXPECT_EQ(Lines(after, stream), Lines(before, stream)) << c.file << " " << stream;
        const auto pgBefore = Lines(before, "2,"), pgAfter = Lines(after, "2,");
        if (!pgBefore.empty()) {
            ASSERT_EQ(pgAfter.size(), pgBefore.size() - 5) << "the last display set goes";
            EXPECT_TRUE(std::equal(pgAfter.begin(), pgAfter.end(), pgBefore.begin()));
        }
    }
}

TEST(Remux, LpcmAttributesFromItsAudioDataHeader) {
    // An audio-only clip: application type 7 at 48 Mbit/s, key points on the LPCM track.
    const std::string source = test::Fixture("mux/lpcm.m2ts");
    SRipTracks tracks;
    ASSERT_TRUE(AddTracksForStream(source, false, tracks));
    CFile in;
    in.OpenOrRaise(source, CFile::modeRead);
    std::unique_ptr<CLPI> clip;
    ASSERT_EQ(MakeClipInfo(tracks, in, &clip), 0);
    EXPECT_EQ(clip->ClipInfo.ApplicationType, 7);
    ASSERT_EQ(clip->ProgramInfo.Streams.GetCount(), 1);
    const STREAM_INFO* audio = clip->ProgramInfo.Streams.GetAt(0);
    EXPECT_EQ(audio->StreamCodingType, 0x80);
    EXPECT_EQ(audio->PresentationType, 3);
    EXPECT_EQ(audio->SamplingFrequency, 1);
    ASSERT_EQ(clip->Cpi.EpMap.GetCount(), 1);
    EXPECT_EQ(clip->Cpi.EpMap.GetAt(0)->EpStreamType, 3);
    EXPECT_EQ(clip->Cpi.EpMap.GetAt(0)->KeyPoints.GetCount(), 2);  // 0 and 0.5 s of 1 s

    test::TempDir dir;
    SRipTracks remuxed;
    ASSERT_EQ(Remux(source, false, dir / "out.m2ts", dir / "out.clpi", remuxed), 0);
    CFile out;
    out.OpenOrRaise(dir / "out.m2ts", CFile::modeRead);
    const auto written = ReadClip(dir / "out.clpi");
    EXPECT_TRUE(VerifyStreamFile(out, written.get()).Ok());
    EXPECT_EQ(test::FrameCrc(dir / "out.m2ts"), test::FrameCrc(source));
}

}  // namespace
}  // namespace vx
