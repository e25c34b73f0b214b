#include "streams/std_desc.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>

namespace vx {
namespace {

struct Expected {
    uint32_t rx, mbSize, rbx, ebSize;
    bool tbMustEmpty;
};

void ExpectBuffers(const CStdBase& d, const Expected& e) {
    EXPECT_EQ(d.TbSize(), 512u);
    EXPECT_EQ(d.Rx(), e.rx);
    EXPECT_EQ(d.MbSize(), e.mbSize);
    EXPECT_EQ(d.HasMb(), e.mbSize != 0);
    EXPECT_EQ(d.Rbx(), e.rbx);
    EXPECT_EQ(d.EbSize(), e.ebSize);
    EXPECT_EQ(d.TbMustEmptyEverySecond(), e.tbMustEmpty);
}

TEST(StreamDescriptions, BufferValuesOfNewDescriptions) {
    struct Case {
        const char* label;
        std::function<std::unique_ptr<CStdBase>()> make;
        uint8_t codingType;
        Expected expected;
    };
    const Case cases[] = {
        {"AC-3", [] { return std::make_unique<CAc3Std>(); }, 0x81, {2000000, 0, 0, 18640, true}},
        {"E-AC-3",
         [] { return std::make_unique<CDdpStd>(); },
         0x84,
         {48000000, 0, 0, 137936, true}},
        {"E-AC-3 secondary",
         [] { return std::make_unique<CDdpStd>(0xA1, false); },
         0xA1,
         {2000000, 0, 0, 7456, true}},
        {"DTS", [] { return std::make_unique<CDtsStd>(); }, 0x82, {5000000, 0, 0, 43972, true}},
        {"DTS-HD",
         [] { return std::make_unique<CDtsHdStd>(); },
         0x85,
         {48000000, 0, 0, 713563, true}},
        {"DTS-HD secondary",
         [] { return std::make_unique<CDtsHdStd>(0xA2, false); },
         0xA2,
         {2000000, 0, 0, 7456, true}},
        {"TrueHD",
         [] { return std::make_unique<CMlpStd>(); },
         0x83,
         {48000000, 0, 0, 404250, true}},
        {"LPCM", [] { return std::make_unique<CLpcmStd>(); }, 0x80, {20000000, 0, 0, 536832, true}},
        {"PG", [] { return std::make_unique<CPgStd>(); }, 0x90, {48000000, 0, 0, 1048576, false}},
        {"IG", [] { return std::make_unique<CIgStd>(); }, 0x91, {48000000, 0, 0, 1048576, false}},
        {"MPEG-2 (MP@HL)",
         [] { return std::make_unique<CMpeg2Std>(); },
         0x02,
         {48000000, 53333, 42000000, 1222656, false}},
        {"AVC (level 4.1)",
         [] { return std::make_unique<CAvcStd>(); },
         0x1B,
         {48000000, 40000, 40000000, 3750000, false}},
        {"VC-1",
         [] { return std::make_unique<CVc1Std>(); },
         0xEA,
         {48000000, 26666, 40000000, 3750000, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        auto d = c.make();
        EXPECT_EQ(d->CodingType(), c.codingType);
        ExpectBuffers(*d, c.expected);
    }
}

TEST(StreamDescriptions, SecondaryAudioSwitchesBuffersBothWays) {
    CDdpStd ddp;
    ddp.SetPrimary(false);
    ExpectBuffers(ddp, {2000000, 0, 0, 7456, true});
    ddp.SetPrimary(true);
    ExpectBuffers(ddp, {48000000, 0, 0, 137936, true});

    CDtsHdStd dtsHd;
    dtsHd.SetPrimary(false);
    ExpectBuffers(dtsHd, {2000000, 0, 0, 7456, true});
    EXPECT_FALSE(dtsHd.IsPrimary());

    // AC-3 has one set of values for both uses.
    CAc3Std ac3;
    ac3.SetPrimary(false);
    ExpectBuffers(ac3, {2000000, 0, 0, 18640, true});
}

TEST(StreamDescriptions, AvcByLevel) {
    struct Case {
        int level;
        bool primary;
        Expected expected;
    };
    const Case cases[] = {
        {30, true, {14400000, 40000, 12000000, 1500000, false}},
        {31, true, {20160000, 40000, 16800000, 2100000, false}},
        {32, true, {28800000, 40000, 24000000, 3000000, false}},
        {32, false, {9600000, 40000, 8000000, 1500000, false}},
        {40, true, {28800000, 40000, 24000000, 3750000, false}},
        {40, false, {28800000, 40000, 24000000, 3750000, false}},
        {41, true, {48000000, 40000, 40000000, 3750000, false}},
        {41, false, {48000000, 40000, 40000000, 3750000, false}},
        {42, true, {18000000, 40000, 15000000, 1500000, false}},
        {21, true, {18000000, 40000, 15000000, 1500000, false}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "level " << c.level << " primary " << c.primary);
        CAvcStd avc;
        avc.SetLevel(c.level, c.primary);
        ExpectBuffers(avc, c.expected);
        EXPECT_EQ(avc.Level(), c.level);
        EXPECT_EQ(avc.IsPrimary(), c.primary);
    }
}

TEST(StreamDescriptions, SetPrimaryOnVideoKeepsTheLevel) {
    CAvcStd avc;
    avc.SetLevel(32, true);
    avc.SetPrimary(false);
    ExpectBuffers(avc, {9600000, 40000, 8000000, 1500000, false});
    avc.SetPrimary(true);
    ExpectBuffers(avc, {28800000, 40000, 24000000, 3000000, false});
}

TEST(StreamDescriptions, Mpeg2ByProfileAndLevel) {
    CMpeg2Std mpeg2;
    mpeg2.SetLevel(0x48, true);
    ExpectBuffers(mpeg2, {18000000, 10000, 15000000, 229376, false});
    mpeg2.SetLevel(0x46, true);
    ExpectBuffers(mpeg2, {48000000, 40000, 42000000, 917504, false});
    // An unknown byte leaves the values of the last known one.
    mpeg2.SetLevel(0x4A, true);
    ExpectBuffers(mpeg2, {48000000, 40000, 42000000, 917504, false});
    EXPECT_EQ(mpeg2.Level(), 0x46);
    mpeg2.SetLevel(0x44, true);
    ExpectBuffers(mpeg2, {48000000, 53333, 42000000, 1222656, false});
}

TEST(StreamDescriptions, Vc1Level2) {
    CVc1Std vc1;
    vc1.SetLevel(2, true);
    ExpectBuffers(vc1, {24000000, 26666, 20000000, 3750000, false});
    vc1.SetLevel(2, false);
    ExpectBuffers(vc1, {24000000, 26666, 20000000, 1500000, false});
    vc1.SetLevel(3, false);
    ExpectBuffers(vc1, {48000000, 26666, 40000000, 3750000, false});
}

TEST(StreamDescriptions, LpcmBySamplingFrequencyCode) {
    CLpcmStd lpcm;
    lpcm.SetSamplingFrequency(5);
    ExpectBuffers(lpcm, {30000000, 0, 0, 1073664, true});
    lpcm.SetSamplingFrequency(2);  // not a BD LPCM code: unchanged
    ExpectBuffers(lpcm, {30000000, 0, 0, 1073664, true});
    lpcm.SetSamplingFrequency(4);
    ExpectBuffers(lpcm, {20000000, 0, 0, 536832, true});
    lpcm.SetSamplingFrequency(5);
    lpcm.SetSamplingFrequency(1);
    ExpectBuffers(lpcm, {20000000, 0, 0, 536832, true});
}

TEST(StreamDescriptions, GraphicsStreamModelAndName) {
    CIgStd ig;
    EXPECT_TRUE(ig.IsMultiplexedModel());
    ig.SetStreamModel(1);
    EXPECT_FALSE(ig.IsMultiplexedModel());
    EXPECT_STREQ(ig.Name(), "IG/Menu");
    EXPECT_STREQ(CPgStd().Name(), "PG/Subtitle");
}

// The buffer state a multiplexer keeps: arrivals on the 27 MHz clock, the earliest next arrival.
TEST(StreamDescriptionBuffers, TransportBufferWaitsForRoomForTwoPackets) {
    // AC-3: TB 512 bytes drained at 2 Mbit/s, 108 ticks a byte.
    CAc3Std ac3;
    ac3.AddAu(90000, 90000);
    EXPECT_TRUE(ac3.OnPacket(1000, 184));
    // 188 held: 512 - 188 - 376 < 0 by 52 bytes, 52 x 108 ticks to drain.
    EXPECT_EQ(ac3.NextBufferTime(), 1000u + 5616);
    // Arriving then, the first packet has drained to 136 bytes: 324 held, room for two more.
    ac3.OnPacket(1000 + 5616, 184);
    EXPECT_EQ(ac3.NextBufferTime(), 1000u + 5616 + (324 + 376 - 512) * 108);
    // Once drained empty, no constraint.
    ac3.OnPacket(1000000, 184);
    EXPECT_EQ(ac3.NextBufferTime(), 1000000u + 5616);
}

TEST(StreamDescriptionBuffers, AudioTransportBufferMustRunEmptyWithinASecond) {
    // Packets every 20,303 ticks, one tick faster than TB drains a packet (20,304): TB never
    // runs empty, yet never holds enough for the room rule to bind. Some 0.98 s after it last
    // ran empty, the next packet must wait until TB has drained completely.
    CAc3Std ac3;
    ac3.AddAu(9000000, 9000000);
    const uint64_t step = 20303;
    uint64_t t = 0;
    uint64_t waitedAt = 0;
    for (int i = 0; i < 2000 && waitedAt == 0; ++i, t += step) {
        ac3.OnPacket(t, 184);
        if (ac3.NextBufferTime() > t + step)
            waitedAt = t;
    }
    ASSERT_NE(waitedAt, 0u);
    // It last ran empty at 0: the rule binds once TB could not be empty before 0.98 s.
    EXPECT_LE(waitedAt, 26460000u);
    EXPECT_GE(waitedAt, 26460000u - 2 * 188 * 108);
    EXPECT_GE(ac3.NextBufferTime(), 26460000u);
    // Arriving then, it finds TB empty and the clock of the rule starts again.
    const uint64_t resumed = ac3.NextBufferTime();
    ac3.OnPacket(resumed, 184);
    EXPECT_EQ(ac3.NextBufferTime(), resumed + 5616);

    // A video TB has no such rule: only the room rule, (188 + 376 - 512) x 4.5 ticks.
    CAvcStd avc;
    avc.AddAu(9000000, 9000000);
    uint64_t v = 0;
    for (; v < 30000000; v += 2000) avc.OnPacket(v, 184);
    EXPECT_EQ(avc.NextBufferTime(), v - 2000 + 234);
}

TEST(StreamDescriptionBuffers, ElementaryBufferWaitsForTheDecodingTimeThatFreesRoom) {
    // IG: EB 1,048,576 bytes; TB drained at 48 Mbit/s, 4.5 ticks a byte. Packets every 846
    // ticks (one packet time at 48 Mbit/s) leave 188 bytes in TB: a 234-tick wait.
    CIgStd ig;
    ig.AddAu(100000, 100000);
    const uint32_t first = 1048576 - 100;  // fills EB to within 100 bytes
    uint64_t t = 0;
    for (uint32_t sent = 0; sent < first; sent += 184, t += 846)
        ig.OnPacket(t, std::min(184u, first - sent));
    const uint64_t last = t - 846;
    // No room for 184 more, but the AU being sent cannot leave EB: only TB constrains.
    EXPECT_EQ(ig.NextBufferTime(), last + 234);
    // Once the next AU is entered, the first one leaves at its decoding time: wait for it.
    ig.AddAu(200000, 200000);
    EXPECT_EQ(ig.NextBufferTime(), 100000u * 300);
    EXPECT_TRUE(ig.OnPacket(100000 * 300, 184));
    EXPECT_EQ(ig.NextBufferTime(), 100000u * 300 + 234);

    // An AU larger than EB: reported, and EB does not hold it back.
    CAc3Std ac3;
    ac3.AddAu(90000, 90000);
    bool fits = true;
    for (uint64_t t = 0; t < 120 * 20304; t += 20304) fits = ac3.OnPacket(t, 184) && fits;
    EXPECT_FALSE(fits);  // 120 x 184 bytes > 18,640
}

}  // namespace
}  // namespace vx
