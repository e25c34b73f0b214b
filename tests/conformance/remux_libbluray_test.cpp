// A clip we re-multiplexed, played by libbluray in the fixture disc's place: every entry point
// of our clip information is a place libbluray can seek to, and the first picture there is the
// one the entry names.

#include <gtest/gtest.h>
#include <libbluray/bluray.h>

#include <filesystem>

#include "bdmv/clpi.h"
#include "conformance/bluray_harness.h"
#include "conformance/command.h"
#include "foundation/file.h"
#include "support.h"

namespace vx {
namespace {

TEST(LibblurayPlaysOurRemux, SeeksToEveryEntryPoint) {
    const std::string source = test::Fixture("disc-avc1080p24-ac3/BDMV");
    test::TempDir dir;
    const std::string bdmv = dir / "BDMV";
    for (const char* sub : {"", "/PLAYLIST", "/CLIPINF", "/STREAM", "/BACKUP"})
        std::filesystem::create_directories(bdmv + sub);
    for (const char* file : {"/index.bdmv", "/MovieObject.bdmv", "/PLAYLIST/00000.mpls"})
        std::filesystem::copy_file(source + file, bdmv + file);

    // The clip information goes to CLIPINF beside the STREAM folder of the output.
    const auto mux =
        test::RunVexilla({"mux", "-o", bdmv + "/STREAM/00000.m2ts", source + "/STREAM/00000.m2ts"});
    ASSERT_EQ(mux.exitCode, 0) << mux.err;
    const std::vector<uint8_t> data = ReadWholeFile(bdmv + "/CLIPINF/00000.clpi");
    CLPI clip;
    ASSERT_GT(clip.Parse(data.data(), data.size()), 0);
    ASSERT_EQ(clip.Cpi.EpMap.GetCount(), 1);
    const CKpiFolder& points = clip.Cpi.EpMap.GetAt(0)->KeyPoints;
    ASSERT_GE(points.GetCount(), 2);

    test::BlurayLog log;
    test::Bluray bd = test::OpenDisc(dir.Path());
    ASSERT_NE(bd, nullptr);
    ASSERT_EQ(bd_get_titles(bd.get(), TITLES_ALL, 0), 1u);
    ASSERT_TRUE(bd_select_playlist(bd.get(), 0));
    test::TitleInfo info(bd_get_playlist_info(bd.get(), 0, 0));
    ASSERT_NE(info, nullptr);
    ASSERT_EQ(info->clip_count, 1u);
    const uint64_t in = info->clips[0].in_time;  // 90 kHz
    std::vector<uint8_t> buffer(6144 * 16);
    // The map keeps time stamps to 512 ticks (bits 32-9).
    for (const KEY_POINT_INFO* point : points.Records()) {
        bd_seek_time(bd.get(), std::max(point->PresentationTime, in) - in);
        const int read = bd_read(bd.get(), buffer.data(), int(buffer.size()));
        ASSERT_GT(read, 0) << point->PresentationTime;
        EXPECT_EQ(test::FirstPts(buffer.data(), size_t(read), 0x1011) >> 9,
                  int64_t(point->PresentationTime >> 9))
            << "entry at packet " << point->StartSpn;
    }
    EXPECT_TRUE(log.Lines().empty()) << log.Lines().front();
}

}  // namespace
}  // namespace vx
