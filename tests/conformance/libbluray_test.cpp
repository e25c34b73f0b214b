// Discs written by our writers, opened by libbluray: what it reports is what we wrote.

#include <gtest/gtest.h>
#include <libbluray/bluray.h>

#include <filesystem>
#include <memory>

#include "bdmv/clpi.h"
#include "bdmv/index_bdmv.h"
#include "bdmv/movie_object.h"
#include "bdmv/mpls.h"
#include "bdmv/nav_command.h"
#include "conformance/bluray_harness.h"
#include "foundation/file.h"
#include "foundation/paths.h"
#include "support.h"

namespace vx {
namespace {

using test::Bluray;
using test::TitleInfo;

constexpr uint32_t kInTime = 27000;            // 45 kHz: 0.6 s
constexpr uint32_t kOutTime = 27000 + 450000;  // 10 s later
constexpr uint32_t kSourcePackets = 64;

template <class Record>
void WriteRecord(Record& record, const std::string& path) {
    std::vector<uint8_t> image;
    record.Build(&image);
    WriteWholeFile(path, image);
}

void AddStreamInfo(CLPI& clip, uint16_t pid, uint8_t codingType, const char* language) {
    STREAM_INFO info;
    info.StreamPID = pid;
    info.StreamCodingType = codingType;
    if (codingType == 0x1B) {
        info.VideoFormat = 6;  // 1920x1080 progressive
        info.FrameRate = 1;    // 24000/1001
        info.AspectRatio = 3;  // 16:9
    } else if (codingType == 0x81) {
        info.PresentationType = 3;   // stereo
        info.SamplingFrequency = 1;  // 48 kHz
    }
    std::copy(language, language + 3, info.LanguageCode.begin());
    clip.ProgramInfo.Streams.Add(info);
}

// A disc of one HDMV title whose movie object plays playlist 00000: one play item of clip
// 00000 with video, audio and PG streams, and two chapter marks.
void WriteSmallDisc(const std::string& bdmv) {
    for (const char* sub : {"", "/PLAYLIST", "/CLIPINF", "/STREAM", "/BACKUP"})
        std::filesystem::create_directories(bdmv + sub);

    INDEX_BDMV index;
    TI title;
    title.ObjectType = TI::kHdmv;
    title.MovieObjectId = 0;
    index.Titles.Add(title);
    index.FirstPlayback.MovieObjectId = 0;
    std::string path;
    ASSERT_TRUE(IndexPath(bdmv, false, path));
    WriteRecord(index, path);

    MOVIE_OBJECT_BDMV objects;
    MOVIE_OBJECT* object = objects.MovieObjects.Add();
    CNavCmd play;
    ASSERT_TRUE(ParseCommand("PlayPlaylist 0", play));
    object->Commands.Add(play);
    ASSERT_TRUE(MovieObjectPath(bdmv, false, path));
    WriteRecord(objects, path);

    MPLS playlist;
    auto item = std::make_unique<PLAY_ITEM>();
    item->InTime = kInTime;
    item->OutTime = kOutTime;
    auto addStream = [&](uint16_t pid, uint8_t codingType, std::array<uint8_t, 4> attributes) {
        SStreamDesc desc;
        desc.pid = pid;
        desc.codingType = codingType;
        desc.attributes = attributes;
        ASSERT_NE(item->Stn.AddStream(desc), nullptr) << pid;
    };
    addStream(0x1011, 0x1B, {0x61, 0, 0, 0});        // 1080p, 23.976
    addStream(0x1100, 0x81, {0x31, 'e', 'n', 'g'});  // stereo, 48 kHz
    addStream(0x1200, 0x90, {'f', 'r', 'a', 0});
    playlist.PlayItems.Add(std::move(item));
    for (uint32_t t : {kInTime, kInTime + 225000}) {
        PLAY_MARK mark;
        mark.MarkTimeStamp = t;
        playlist.PlayListMarks.Add(mark);
    }
    ASSERT_TRUE(PlaylistPath(bdmv, 0, false, path));
    WriteRecord(playlist, path);

    CLPI clip;
    clip.ClipInfo.NumberOfSourcePackets = kSourcePackets;
    STC_INFO stc;
    stc.StartPTS = kInTime;
    stc.EndPTS = kOutTime;
    clip.SequenceInfo.StcSequences.Add(stc);
    AddStreamInfo(clip, 0x1011, 0x1B, "und");
    AddStreamInfo(clip, 0x1100, 0x81, "eng");
    AddStreamInfo(clip, 0x1200, 0x90, "fra");
    ASSERT_TRUE(ClipInfoPath(bdmv, 0, false, path));
    WriteRecord(clip, path);

    ASSERT_TRUE(StreamPath(bdmv, 0, path));
    WriteWholeFile(path, std::vector<uint8_t>(kSourcePackets * 192, 0));
}

TEST(LibblurayReadsOurDisc, TitlesPlaylistClipDurationAndStreams) {
    test::TempDir dir;
    std::string bdmv = dir / "BDMV";
    WriteSmallDisc(bdmv);
    if (HasFatalFailure())
        return;

    Bluray bd(bd_open(dir.Path().c_str(), nullptr));
    ASSERT_NE(bd, nullptr) << "libbluray refused the disc";
    const BLURAY_DISC_INFO* disc = bd_get_disc_info(bd.get());
    ASSERT_NE(disc, nullptr);
    EXPECT_TRUE(disc->bluray_detected);
    EXPECT_EQ(disc->num_hdmv_titles, 1u);
    EXPECT_EQ(disc->num_bdj_titles, 0u);
    ASSERT_EQ(disc->num_titles, 1u);
    ASSERT_NE(disc->titles[1], nullptr);
    EXPECT_EQ(disc->titles[1]->bdj, 0);
    EXPECT_EQ(disc->titles[1]->id_ref, 0u) << "title 1 runs movie object 0";
    ASSERT_NE(disc->first_play, nullptr);
    EXPECT_EQ(disc->first_play->id_ref, 0u);

    ASSERT_EQ(bd_get_titles(bd.get(), TITLES_ALL, 0), 1u);
    TitleInfo info(bd_get_title_info(bd.get(), 0, 0));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->playlist, 0u);
    EXPECT_EQ(info->duration, uint64_t(kOutTime - kInTime) * 2) << "90 kHz";
    ASSERT_EQ(info->clip_count, 1u);
    const BLURAY_CLIP_INFO& clip = info->clips[0];
    EXPECT_STREQ(clip.clip_id, "00000");
    EXPECT_EQ(clip.in_time, uint64_t(kInTime) * 2);
    EXPECT_EQ(clip.out_time, uint64_t(kOutTime) * 2);
    EXPECT_EQ(clip.pkt_count, kSourcePackets);

    ASSERT_EQ(clip.video_stream_count, 1);
    EXPECT_EQ(clip.video_streams[0].pid, 0x1011);
    EXPECT_EQ(clip.video_streams[0].coding_type, 0x1B);
    EXPECT_EQ(clip.video_streams[0].format, BLURAY_VIDEO_FORMAT_1080P);
    EXPECT_EQ(clip.video_streams[0].rate, BLURAY_VIDEO_RATE_24000_1001);
    ASSERT_EQ(clip.audio_stream_count, 1);
    EXPECT_EQ(clip.audio_streams[0].pid, 0x1100);
    EXPECT_EQ(clip.audio_streams[0].coding_type, 0x81);
    EXPECT_EQ(clip.audio_streams[0].format, BLURAY_AUDIO_FORMAT_STEREO);
    EXPECT_EQ(clip.audio_streams[0].rate, BLURAY_AUDIO_RATE_48);
    EXPECT_STREQ(reinterpret_cast<const char*>(clip.audio_streams[0].lang), "eng");
    ASSERT_EQ(clip.pg_stream_count, 1);
    EXPECT_EQ(clip.pg_streams[0].pid, 0x1200);
    EXPECT_EQ(clip.pg_streams[0].coding_type, 0x90);
    EXPECT_STREQ(reinterpret_cast<const char*>(clip.pg_streams[0].lang), "fra");

    ASSERT_EQ(info->mark_count, 2u);
    EXPECT_EQ(info->marks[0].start, 0u) << "playlist time of the first mark";
    EXPECT_EQ(info->marks[1].start, 225000u * 2);
    EXPECT_EQ(info->chapter_count, 2u);
}

}  // namespace
}  // namespace vx
