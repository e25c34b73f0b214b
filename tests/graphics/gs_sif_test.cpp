#include "graphics/gs_sif.h"

#include <gtest/gtest.h>

#include "bdmv/clpi.h"
#include "bdmv/mpls.h"
#include "support.h"
#include "transport/psi.h"

namespace vx {
namespace {

SGsSif Menu() {
    SGsSif s;
    s.CodingType = 0x91;
    s.StreamModel = 1;
    s.Width = 1920;
    s.Height = 1080;
    s.FrameRate = 6;
    s.FrameRateLowBits = 0x5;
    return s;
}

TEST(GsSif, StoredAsElevenLittleEndianBytes) {
    SGsSif s = Menu();
    LeWriter out;
    s.Write(out);
    EXPECT_EQ(test::ToHex(out.Buffer()), "00 00 00 00 91 01 80 07 38 04 06");

    SGsSif back;
    back.FrameRateLowBits = 9;
    LeReader in(out.Buffer().data(), out.Position());
    back.Read(in);
    EXPECT_TRUE(back.Equals(s));
    EXPECT_EQ(back.FrameRateLowBits, 0);  // not stored

    std::vector<uint8_t> shortRecord(out.Buffer().begin(), out.Buffer().end() - 1);
    LeReader cut(shortRecord.data(), shortRecord.size());
    EXPECT_THROW(back.Read(cut), ParseError);
}

TEST(GsSif, CopyEqualsAndClear) {
    SGsSif s = Menu();
    SGsSif copy;
    copy.CopyFrom(s);
    EXPECT_TRUE(copy.Equals(s));
    EXPECT_EQ(copy.FrameRateLowBits, 0x5);
    copy.Height = 720;
    EXPECT_FALSE(copy.Equals(s));
    copy.Clear();
    EXPECT_TRUE(copy.Equals(SGsSif{}));
    EXPECT_EQ(copy.Width, 0);
}

TEST(GsSif, DescriptionsAndStreamEntries) {
    SGsSif ig = Menu();
    StdList d = ig.MakeDescriptions();
    ASSERT_EQ(d.size(), 1u);
    auto* igStd = dynamic_cast<CIgStd*>(d[0].get());
    ASSERT_NE(igStd, nullptr);
    EXPECT_EQ(igStd->StreamModel(), 1);
    EXPECT_FALSE(ig.IsMultiplexedModel());

    SGsSif pg;
    pg.CodingType = 0x90;
    d = pg.MakeDescriptions();
    ASSERT_EQ(d.size(), 1u);
    EXPECT_NE(dynamic_cast<CPgStd*>(d[0].get()), nullptr);
    EXPECT_TRUE(pg.IsMultiplexedModel());

    SGsSif unknown;
    unknown.CodingType = 0x92;
    EXPECT_TRUE(unknown.MakeDescriptions().empty());

    ESI esi;
    STREAM_INFO info;
    STREAM_ATTRIBUTES attributes;
    ig.FillEsi(esi);
    ig.FillStreamInfo(info);
    ig.FillStreamAttributes(attributes);
    EXPECT_EQ(esi.StreamType, 0x91);
    EXPECT_EQ(info.StreamCodingType, 0x91);
    EXPECT_EQ(attributes.StreamCodingType, 0x91);
}

}  // namespace
}  // namespace vx
