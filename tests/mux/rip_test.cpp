// Tracks of existing stream files: the scan into AUs and packet runs, delivery of rewritten
// packets, key points and the PG end rule.

#include "mux/rip_track.h"

#include <gtest/gtest.h>

#include "foundation/messages.h"
#include "support.h"
#include "transport/ts_builders.h"

namespace vx {
namespace {

using test::Append;
using test::PesHeader;
using test::SourcePacket;
using test::TsPacket;

constexpr int kVideo = 0x1011;
constexpr int kAudio = 0x1100;

// A packet of a PID: a PES start with a PTS (and DTS), or a continuation.
std::vector<uint8_t> Start(uint32_t arrival, int pid, uint64_t pts, uint64_t dts = 0,
                           uint8_t streamId = 0xE0) {
    return SourcePacket(arrival, TsPacket(pid, true, PesHeader(streamId, pts, dts)));
}
std::vector<uint8_t> More(uint32_t arrival, int pid) {
    return SourcePacket(arrival, TsPacket(pid, false, {1, 2, 3}));
}

std::unique_ptr<SRipTrack> Track(int pid, uint8_t codingType, const std::string& path) {
    auto track = std::make_unique<SRipTrack>();
    track->SourcePid = pid;
    track->PID = pid;
    track->StreamPath = path;
    track->Attributes.StreamCodingType = codingType;
    track->Attributes.StreamPID = uint16_t(pid);
    return track;
}

struct ScanFixture {
    test::TempDir dir;
    std::string path = dir / "in.m2ts";
    CFile file;
    std::unique_ptr<SRipTrack> video = Track(kVideo, 0x1B, path);
    std::unique_ptr<SRipTrack> audio = Track(kAudio, 0x81, path);

    explicit ScanFixture(const std::vector<uint8_t>& bytes) {
        test::WriteFile(path, bytes);
        file.OpenOrRaise(path, CFile::modeRead);
    }
    int Scan(int64_t first = 0, int64_t end = -1) {
        return ScanClip({video.get(), audio.get()}, file, first, end);
    }
};

// Video AUs interleaved with audio: 0 V1 start, 1 A1, 2 V1, 3 V1, 4 A1, 5 V1, 6 V2 start, 7 V2.
std::vector<uint8_t> InterleavedStream() {
    std::vector<uint8_t> file;
    Append(file, More(0, kVideo));  // before any PES header: no AU's
    Append(file, Start(10, kVideo, 9000, 6000));
    Append(file, Start(20, kAudio, 7000, 0, 0xBD));
    Append(file, More(30, kVideo));
    Append(file, More(40, kVideo));
    Append(file, More(50, kAudio));
    Append(file, More(60, kVideo));
    Append(file, Start(70, kVideo, 12000, 9000));
    Append(file, More(80, kVideo));
    return file;
}

TEST(RipScan, AusHoldTheirPacketsAsRunsInFileOrder) {
    ScanFixture f(InterleavedStream());
    ASSERT_EQ(f.Scan(), 0);
    ASSERT_EQ(f.video->Aus.size(), 2u);
    const SRipAuRecord& first = f.video->Aus[0];
    EXPECT_EQ(first.PTS, 9000u);
    EXPECT_EQ(first.DTS, 6000u);
    EXPECT_EQ(first.Packets, 4u);
    EXPECT_EQ(first.Size(), 4u * 192);
    ASSERT_EQ(first.RunCount, 3u);
    const PacketRun expected[] = {{1, 1}, {3, 4}, {6, 6}};
    for (uint32_t r = 0; r < 3; ++r) {
        EXPECT_EQ(f.video->Runs[first.FirstRun + r].First, expected[r].First) << r;
        EXPECT_EQ(f.video->Runs[first.FirstRun + r].Last, expected[r].Last) << r;
    }
    ASSERT_EQ(f.audio->Aus.size(), 1u);
    EXPECT_EQ(f.audio->Aus[0].DTS, 7000u);  // no DTS in the header: the PTS
    // The first scan counted every packet of the tracks, the stray one too.
    EXPECT_EQ(f.video->PacketCount, 7u);

    // Delivered with the new PID, packet by packet in file order.
    f.video->PID = 0x1012;
    ASSERT_TRUE(f.video->Prepare());
    SAuBase* au = f.video->CurrentAu();
    ASSERT_NE(au, nullptr);
    const std::vector<uint8_t> source = ReadWholeFile(f.path);
    for (int index : {1, 3, 4, 6}) {
        uint32_t payload = 0;
        uint8_t* packet = au->NextPacket(&payload);
        ASSERT_NE(packet, nullptr);
        EXPECT_EQ(payload, 184u);
        EXPECT_EQ((packet[5] & 0x1F) << 8 | packet[6], 0x1012);
        EXPECT_EQ(std::vector<uint8_t>(packet + 7, packet + 192),
                  std::vector<uint8_t>(source.begin() + index * 192 + 7,
                                       source.begin() + index * 192 + 192))
            << index;
    }
    EXPECT_TRUE(au->Exhausted());
    ASSERT_TRUE(f.video->NextAu());
    EXPECT_EQ(f.video->CurrentAu()->PTS, 12000u);
    EXPECT_FALSE(f.video->NextAu());
    EXPECT_EQ(f.video->CurrentAu(), nullptr);
}

TEST(RipScan, RangeAndRefusal) {
    ScanFixture f(InterleavedStream());
    // The end index is not read: packets 1 to 3 only.
    ASSERT_EQ(f.Scan(1, 4), 0);
    ASSERT_EQ(f.video->Aus.size(), 1u);
    EXPECT_EQ(f.video->Aus[0].Packets, 2u);
    // A first index at or past the end (clamped to the file) reads nothing.
    EXPECT_EQ(f.Scan(9, -1), 2);
    EXPECT_EQ(f.Scan(4, 4), 2);
    EXPECT_EQ(f.Scan(-1, -1), 2);
}

TEST(RipScan, FarApartRunsAreReadOneByOne) {
    // A video AU whose last packet lies 5,000 packets (of audio) after its first.
    std::vector<uint8_t> file;
    Append(file, Start(0, kVideo, 9000, 6000));
    for (uint32_t i = 0; i < 5000; ++i) Append(file, More(10 + i, kAudio));
    std::vector<uint8_t> tail = SourcePacket(6000, TsPacket(kVideo, false, {0xAB, 0xCD}));
    Append(file, tail);
    ScanFixture f(file);
    ASSERT_EQ(f.Scan(), 0);
    ASSERT_EQ(f.video->Aus.size(), 1u);
    EXPECT_EQ(f.video->Aus[0].RunCount, 2u);
    ASSERT_TRUE(f.video->Prepare());
    uint32_t payload;
    ASSERT_NE(f.video->CurrentAu()->NextPacket(&payload), nullptr);
    const uint8_t* last = f.video->CurrentAu()->NextPacket(&payload);
    ASSERT_NE(last, nullptr);
    EXPECT_EQ(last[8], 0xAB);
    EXPECT_EQ(last[9], 0xCD);
    EXPECT_TRUE(f.video->CurrentAu()->Exhausted());
}

TEST(RipScan, ReportsParsingProgress) {
    ScanFixture f(InterleavedStream());
    std::vector<std::string> texts;
    int last = -1;
    struct Context {
        std::vector<std::string>* texts;
        int* last;
    } context{&texts, &last};
    auto on = [](void* c, const ProgressRecord& r) {
        auto* ctx = static_cast<Context*>(c);
        if (r.status == ProgressRecord::title)
            ctx->texts->push_back(r.titleText);
        else if (r.status == ProgressRecord::statusText)
            ctx->texts->push_back(r.text);
        else
            *ctx->last = r.percentDone;
        return true;
    };
    ASSERT_EQ(ScanClip({f.video.get()}, f.file, 0, -1, {on, &context}), 0);
    EXPECT_EQ(texts, (std::vector<std::string>{"Parsing", "in.m2ts"}));
    EXPECT_EQ(last, 100);
}

TEST(RipScan, CancelClearsTheAus) {
    ScanFixture f(InterleavedStream());
    auto no = [](void*, const ProgressRecord& r) { return r.status != ProgressRecord::percent; };
    EXPECT_EQ(ScanClip({f.video.get(), f.audio.get()}, f.file, 0, -1, {no, nullptr}), 1);
    EXPECT_TRUE(f.video->Aus.empty());
    EXPECT_TRUE(f.audio->Aus.empty());
}

TEST(RipScan, PesWithoutPtsContinuesTheAu) {
    std::vector<uint8_t> file;
    Append(file, Start(0, kAudio, 5000, 0, 0xBD));
    PES_Packet bare;
    bare.StreamID = 0xBD;
    ByteWriter w;
    bare.Write(w);
    Append(file, SourcePacket(10, TsPacket(kAudio, true, w.Take())));
    Append(file, Start(20, kAudio, 8000, 0, 0xBD));
    ScanFixture f(file);
    ASSERT_EQ(f.Scan(), 0);
    ASSERT_EQ(f.audio->Aus.size(), 2u);
    EXPECT_EQ(f.audio->Aus[0].Packets, 2u);
}

TEST(RipTrack, TwoLayerAudioTakesItsLayerFromTheStreamIdExtension) {
    auto pes = [](uint64_t pts, uint8_t extension) {
        PES_Packet header;
        header.StreamID = 0xFD;
        header.PTS_DTS_Flag = 2;
        header.PTS = pts;
        header.PES_ExtensionFlag = 1;
        header.PES_ExtensionFlag2 = 1;
        header.PES_ExtensionFieldLength = 1;
        header.PES_ExtensionField = {extension};
        ByteWriter w;
        header.Write(w);
        return w.Take();
    };
    std::vector<uint8_t> file;
    // AC-3 base, two E-AC-3 extension AUs, base: the layer is each AU's own.
    const uint8_t extensions[] = {0x71, 0x72, 0x72, 0x71};
    for (int i = 0; i < 4; ++i)
        Append(file,
               SourcePacket(uint32_t(i * 10),
                            TsPacket(kAudio, true, pes(9000 + uint64_t(i) * 1440, extensions[i]))));
    ScanFixture f(file);
    f.audio->Attributes.StreamCodingType = 0x84;
    ASSERT_EQ(f.Scan(), 0);
    ASSERT_EQ(f.audio->Aus.size(), 4u);
    ASSERT_TRUE(f.audio->Prepare());
    EXPECT_EQ(f.audio->Descriptions.size(), 2u);
    for (int i = 0; i < 4; ++i) {
        SAuBase* au = f.audio->CurrentAu();
        ASSERT_NE(au, nullptr);
        const bool extension = extensions[i] == 0x72;
        EXPECT_EQ(au->ExtensionLayer, extension) << i;
        uint32_t payload;
        uint8_t* packet = au->NextPacket(&payload);
        ASSERT_NE(packet, nullptr);
        EXPECT_EQ((packet[5] & 0x20) != 0, !extension) << "transport priority of AU " << i;
        f.audio->NextAu();
    }
}

TEST(RipTrack, TracksFromClipInformationMarkSecondaryPids) {
    CLPI clip;
    for (uint16_t pid : {0x1011, 0x1100, 0x1A05, 0x1B00}) {
        STREAM_INFO info;
        info.StreamPID = pid;
        info.StreamCodingType = pid == 0x1011 ? 0x1B : pid == 0x1B00 ? 0x1B : 0x81;
        info.LanguageCode = {'d', 'e', 'u'};
        clip.ProgramInfo.Streams.Add(info);
    }
    SRipTracks tracks;
    AddTracksFromClip(clip, 7, "x.m2ts", tracks);
    AddTracksFromClip(clip, 7, "x.m2ts", tracks);  // the PIDs have tracks already
    ASSERT_EQ(tracks.Tracks.size(), 4u);
    const bool primary[] = {true, true, false, false};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(tracks.Tracks[i]->Primary, primary[i]) << i;
        EXPECT_EQ(tracks.Tracks[i]->Order, int(i));
        EXPECT_EQ(tracks.Tracks[i]->GetLanguageText(), "deu");
    }
    EXPECT_EQ(tracks.Tracks[1]->Describe(false), "00007.M2TS, 0x1100, AC-3(0x81), channels 0");
}

TEST(RipTrack, TracksFromAPlaylistSectionBySection) {
    StnTable table;
    auto add = [&](uint16_t pid, uint8_t type, std::array<uint8_t, 4> attributes) {
        SStreamDesc desc;
        desc.pid = pid;
        desc.codingType = type;
        desc.attributes = attributes;
        return table.AddStream(desc);
    };
    add(0x1200, 0x90, {'f', 'r', 'a', 0});
    add(0x1100, 0x81, {0x31, 'd', 'e', 'u'});
    add(0x1011, 0x1B, {0x61, 0, 0, 0});
    PRIMARY_STREAM_ENTRY* ig = add(0x1400, 0x91, {'e', 'n', 'g', 0});
    ig->StreamEntry.StreamType = 2;  // carried by a sub path
    ig->StreamEntry.RefToStreamPID_OfSubClip = 0x1400;
    SRipTracks tracks;
    AddTracksFromPlaylist(table, 3, "x.m2ts", tracks);
    ASSERT_EQ(tracks.Tracks.size(), 4u);
    const int pids[] = {0x1011, 0x1100, 0x1200, 0x1400};
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(tracks.Tracks[i]->SourcePid, pids[i]) << i;
    EXPECT_EQ(tracks.Tracks[0]->Attributes.VideoFormat, 6);
    EXPECT_EQ(tracks.Tracks[0]->Attributes.FrameRate, 1);
    EXPECT_EQ(tracks.Tracks[1]->GetLanguageText(), "deu");
    EXPECT_EQ(tracks.Tracks[1]->Attributes.PresentationType, 3);
    EXPECT_EQ(tracks.Tracks[2]->GetLanguageText(), "fra");
    EXPECT_FALSE(tracks.Tracks[2]->SubPath);
    EXPECT_TRUE(tracks.Tracks[3]->SubPath);
}

TEST(RipTrack, TextSubtitleTracksAreRefused) {
    auto track = Track(0x1800, 0x92, "none.m2ts");
    MessageCapture messages;
    EXPECT_FALSE(track->MakeDescriptions());
    ASSERT_EQ(messages.Texts().size(), 1u);
    EXPECT_NE(messages.Texts()[0].find("text subtitle"), std::string::npos);
}

// Stream files other multiplexers wrote (tsMuxer; ffmpeg, see tools/make_mux_fixtures.sh).
struct ScannedFile {
    SRipTracks tracks;
    CFile file;
    explicit ScannedFile(const std::string& name, bool useClipInfo = false) {
        const std::string path = test::Fixture(name);
        EXPECT_TRUE(AddTracksForStream(path, useClipInfo, tracks));
        file.OpenOrRaise(path, CFile::modeRead);
        EXPECT_EQ(ScanClip(tracks.Pointers(), file, 0, -1), 0);
    }
    SRipTrack* ByPid(int pid) {
        for (auto& t : tracks.Tracks)
            if (t->SourcePid == pid)
                return t.get();
        return nullptr;
    }
};

TEST(RipTrack, AudioKeyPointsEveryHalfSecondOnFrameTimes) {
    // tsMuxer's clip carries one AC-3 frame per PES packet.
    ScannedFile f("disc-avc1080p24-ac3/BDMV/STREAM/00000.m2ts", true);
    SRipTrack* audio = f.ByPid(kAudio);
    ASSERT_NE(audio, nullptr);
    CKpiFolder points;
    audio->CollectKeyPoints(points);
    ASSERT_GE(points.GetCount(), 3);
    const uint64_t first = points.GetAt(0)->PresentationTime;
    // 32 ms frames: the first frame at or past 0.5 s after a key point is 16 frames on.
    EXPECT_EQ(points.GetAt(1)->PresentationTime - first, 46080u);  // 0.512 s
    EXPECT_EQ(points.GetAt(2)->PresentationTime - first, 92160u);  // 1.024 s
    // During a mux the audio track as key-point track finds the same points.
    audio->CollectsKeyPoints = true;
    ASSERT_TRUE(audio->Prepare());
    while (audio->NextAu()) {
    }
    ASSERT_EQ(audio->KeyPoints.GetCount(), points.GetCount());
    for (int i = 0; i < points.GetCount(); ++i)
        EXPECT_EQ(audio->KeyPoints.GetAt(i)->PresentationTime, points.GetAt(i)->PresentationTime);
}

TEST(RipTrack, PgStreamEndsWithTheEndOfItsLastClearingDisplaySet) {
    // The PG track ends with a display set at 5 s that is never cleared: it goes, and the
    // track ends with the END segment of the clearing display set at 4 s.
    ScannedFile f("mux/avc_ac3_pg.m2ts");
    SRipTrack* pg = f.ByPid(0x1200);
    ASSERT_NE(pg, nullptr);
    ASSERT_FALSE(pg->Aus.empty());
    EXPECT_EQ(pg->Aus.back().SegmentType(), 0x80);
    const SRipAuRecord& pcs = pg->Aus[pg->Aus.size() - 3];
    EXPECT_EQ(pcs.SegmentType(), 0x16);
    EXPECT_NE(pcs.Flags & rip_flags::kNoObjects, 0u);
    EXPECT_EQ(pg->Aus.size(), 16u);  // four display sets of test.sup: 5 + 3 + 5 + 3 segments
    uint64_t packets = 0;
    for (const auto& au : pg->Aus) packets += au.Packets;
    EXPECT_EQ(pg->PacketCount, packets);
    // Composition states: epoch start (2) on the showing PCS.
    EXPECT_EQ(pg->Aus[0].SegmentType(), 0x16);
    EXPECT_EQ(pg->Aus[0].CompositionState(), 2);
}

TEST(RipTrack, PgStreamWithoutClearingDisplaySetIsKeptWhole) {
    // A lone showing display set: PCS with an object, then END.
    std::vector<uint8_t> file;
    const std::vector<uint8_t> pcs =
        test::Hex("16 00 13 07 80 04 38 10 00 00 80 00 00 01 00 00 00 00 00 00 00 00");
    std::vector<uint8_t> body = PesHeader(0xBD, 90000, 90000);
    body.insert(body.end(), pcs.begin(), pcs.end());
    Append(file, SourcePacket(0, TsPacket(0x1200, true, body)));
    std::vector<uint8_t> end = PesHeader(0xBD, 90100);
    end.insert(end.end(), {0x80, 0, 0});
    Append(file, SourcePacket(10, TsPacket(0x1200, true, end)));
    test::TempDir dir;
    test::WriteFile(dir / "pg.m2ts", file);
    CFile in;
    in.OpenOrRaise(dir / "pg.m2ts", CFile::modeRead);
    auto pg = Track(0x1200, 0x90, dir / "pg.m2ts");
    MessageCapture messages;
    ASSERT_EQ(ScanClip({pg.get()}, in, 0, -1), 0);
    EXPECT_EQ(pg->Aus.size(), 2u);
    EXPECT_EQ(pg->Aus[0].CompositionState(), 2);
    EXPECT_EQ(messages.Texts().size(), 1u);
}

TEST(RipTrack, ClipInformationPathByFolder) {
    EXPECT_EQ(ClipInfoPathFor("/d/BDMV/STREAM/00012.m2ts"), "/d/BDMV/CLIPINF/00012.clpi");
    EXPECT_EQ(ClipInfoPathFor("/d/bdmv/stream/00012.M2TS"), "/d/bdmv/CLIPINF/00012.clpi");
    EXPECT_EQ(ClipInfoPathFor("/d/STREAM/00012.m2ts"), "/d/STREAM/00012.clpi");
    EXPECT_EQ(ClipInfoPathFor("movie.m2ts"), "movie.clpi");
    EXPECT_EQ(ClipNumberOf("/d/00012.m2ts"), 12);
    EXPECT_EQ(ClipNumberOf("/d/movie.m2ts"), -1);
}

}  // namespace
}  // namespace vx
