// vexilla inspect --json of a disc another tool wrote agrees with what libbluray reads from it.

#include <gtest/gtest.h>
#include <libbluray/bluray.h>

#include <memory>
#include <string>

#include "bdmv/json.h"
#include "conformance/bluray_harness.h"
#include "conformance/command.h"
#include "support.h"

namespace vx {
namespace {

using test::BlurayCloser;
using test::TitleInfoFree;

Json InspectRecord(const std::string& path) {
    auto result = test::RunVexilla({"inspect", "--json", path});
    EXPECT_EQ(result.exitCode, 0) << result.err;
    return Json::parse(result.out)["record"];
}

void ExpectSameStreams(const Json& list, const BLURAY_STREAM_INFO* streams, int count,
                       bool hasLanguage, const std::string& what) {
    ASSERT_EQ(int(list.size()), count) << what;
    for (int i = 0; i < count; ++i) {
        const Json& entry = list[size_t(i)];
        EXPECT_EQ(entry["StreamEntry"]["RefToStreamPID_OfMainClip"], streams[i].pid) << what;
        EXPECT_EQ(entry["StreamAttributes"]["StreamCodingType"], streams[i].coding_type) << what;
        if (hasLanguage) {
            EXPECT_EQ(entry["StreamAttributes"]["LanguageCode"],
                      std::string(reinterpret_cast<const char*>(streams[i].lang)))
                << what;
        }
    }
}

TEST(InspectAgreesWithLibbluray, PlayItemsStreamsAndMarksOfTheFixtureDisc) {
    const std::string disc = test::Fixture("disc-avc1080p24-ac3");
    Json playlist = InspectRecord(disc + "/BDMV/PLAYLIST/00000.mpls");
    Json clip = InspectRecord(disc + "/BDMV/CLIPINF/00000.clpi");

    std::unique_ptr<BLURAY, BlurayCloser> bd(bd_open(disc.c_str(), nullptr));
    ASSERT_NE(bd, nullptr);
    ASSERT_EQ(bd_get_titles(bd.get(), TITLES_ALL, 0), 1u);
    std::unique_ptr<BLURAY_TITLE_INFO, TitleInfoFree> info(bd_get_title_info(bd.get(), 0, 0));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(info->playlist, 0u);

    const Json& items = playlist["PlayItems"];
    ASSERT_EQ(items.size(), info->clip_count);
    std::vector<uint64_t> itemStart;  // playlist time (90 kHz) at which each item begins
    uint64_t start = 0;
    for (uint32_t i = 0; i < info->clip_count; ++i) {
        const Json& item = items[i];
        const BLURAY_CLIP_INFO& ci = info->clips[i];
        EXPECT_EQ(item["ClipInformationFileName"], std::string(ci.clip_id));
        EXPECT_EQ(item["InTime"].get<uint64_t>() * 2, ci.in_time) << "libbluray counts 90 kHz";
        EXPECT_EQ(item["OutTime"].get<uint64_t>() * 2, ci.out_time);
        EXPECT_EQ(ci.start_time, start);
        itemStart.push_back(start);
        start += ci.out_time - ci.in_time;

        const Json& stn = item["StnTable"];
        ExpectSameStreams(stn["PrimaryVideo"], ci.video_streams, ci.video_stream_count, false,
                          "video");
        ExpectSameStreams(stn["PrimaryAudio"], ci.audio_streams, ci.audio_stream_count, true,
                          "audio");
        ExpectSameStreams(stn["PG"], ci.pg_streams, ci.pg_stream_count, true, "PG");
        ExpectSameStreams(stn["IG"], ci.ig_streams, ci.ig_stream_count, true, "IG");
    }
    EXPECT_EQ(info->duration, start);
    EXPECT_EQ(clip["ClipInfo"]["NumberOfSourcePackets"], info->clips[0].pkt_count);

    const Json& marks = playlist["PlayListMarks"];
    ASSERT_EQ(marks.size(), info->mark_count);
    EXPECT_EQ(info->chapter_count, 2u);
    for (uint32_t m = 0; m < info->mark_count; ++m) {
        const Json& mark = marks[m];
        unsigned item = mark["RefToPlayItemID"];
        EXPECT_EQ(item, info->marks[m].clip_ref);
        EXPECT_EQ(mark["MarkType"], info->marks[m].type);
        uint64_t expected =
            itemStart.at(item) +
            (mark["MarkTimeStamp"].get<uint64_t>() - items[item]["InTime"].get<uint64_t>()) * 2;
        EXPECT_EQ(expected, info->marks[m].start) << "mark " << m;
    }
}

}  // namespace
}  // namespace vx
