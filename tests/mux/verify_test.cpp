// The stream checker, proved on files with exactly one fault each: every fault is caught by its
// own rule and by no other. The clean file is the fixture disc's clip as our multiplexer
// rewrites it.

#include "mux/verify.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "foundation/bytes.h"
#include "mux/muxer.h"
#include "mux/rip_track.h"
#include "support.h"
#include "transport/pid.h"
#include "transport/ts_packet.h"

namespace vx {
namespace {

constexpr size_t kPacket = 192;

struct Stream {
    std::vector<uint8_t> bytes;
    CLPI clip;

    size_t Count() const { return bytes.size() / kPacket; }
    uint8_t* At(size_t i) { return bytes.data() + i * kPacket; }
    int Pid(size_t i) const {
        const uint8_t* p = bytes.data() + i * kPacket;
        return (p[5] & 0x1F) << 8 | p[6];
    }
    bool UnitStart(size_t i) const { return (bytes[i * kPacket + 5] & 0x40) != 0; }
    uint32_t Arrival(size_t i) const { return ReadBE32(bytes.data() + i * kPacket) & 0x3FFFFFFF; }
    bool IsTable(size_t i) const {
        const int pid = Pid(i);
        return pid == pid::kPat || pid == pid::kSit || pid == pid::kPmt || pid == pid::kPcr ||
               pid == pid::kNull;
    }
    // The first packet at or after from that satisfies the test.
    size_t Find(size_t from, const std::function<bool(size_t)>& test) const {
        for (size_t i = from; i < Count(); ++i)
            if (test(i))
                return i;
        ADD_FAILURE() << "no such packet";
        return 0;
    }
    uint8_t* Pes(size_t i) {
        uint8_t* p = At(i) + 4;
        size_t offset = 4;
        if (p[3] & 0x20)
            offset += 1 + p[4];
        return p + offset;
    }
    std::vector<uint8_t> NullPacket(uint32_t arrival) const {
        std::vector<uint8_t> p(kPacket, 0xFF);
        WriteBE32(p.data(), arrival);
        p[4] = 0x47;
        p[5] = 0x1F;
        p[6] = 0xFF;
        p[7] = 0x10;
        return p;
    }
    void MakeNull(size_t i) {
        const auto null = NullPacket(Arrival(i));
        std::copy(null.begin(), null.end(), At(i));
    }
};

// The fixture disc's clip, re-multiplexed by us.
const Stream& CleanStream() {
    static const Stream* stream = [] {
        test::TempDir dir;
        SRipTracks tracks;
        const std::string source = test::Fixture("disc-avc1080p24-ac3/BDMV/STREAM/00000.m2ts");
        EXPECT_TRUE(AddTracksForStream(source, true, tracks));
        CFile in;
        in.OpenOrRaise(source, CFile::modeRead);
        EXPECT_EQ(ScanClip(tracks.Pointers(), in, 0, -1), 0);
        MuxTrackList all, ordered;
        for (auto& t : tracks.Tracks) all.push_back(t.get());
        EXPECT_TRUE(AssignPids(all, &ordered));
        CMuxer muxer;
        muxer.SetOutput(dir / "clean.m2ts", dir / "clean.clpi");
        EXPECT_TRUE(muxer.Init(48000000, ordered, 1, 0));
        EXPECT_EQ(muxer.Mux(), 0);
        auto* s = new Stream;
        s->bytes = ReadWholeFile(dir / "clean.m2ts");
        const std::vector<uint8_t> clip = ReadWholeFile(dir / "clean.clpi");
        EXPECT_GT(s->clip.Parse(clip.data(), clip.size()), 0);
        return s;
    }();
    return *stream;
}

std::set<std::string> FailingRules(Stream& stream, bool withClip) {
    test::TempDir dir;
    test::WriteFile(dir / "s.m2ts", stream.bytes);
    CFile file;
    file.OpenOrRaise(dir / "s.m2ts", CFile::modeRead);
    const VerifyReport report = VerifyStreamFile(file, withClip ? &stream.clip : nullptr);
    std::set<std::string> failing;
    for (const VerifyRule& rule : report.rules)
        if (!rule.ok)
            failing.insert(rule.rule);
    return failing;
}

TEST(Verify, CleanStreamPassesEveryRule) {
    Stream s;
    s.bytes = CleanStream().bytes;
    std::vector<uint8_t> image;
    const_cast<CLPI&>(CleanStream().clip).Build(&image);
    ASSERT_GT(s.clip.Parse(image.data(), image.size()), 0);
    EXPECT_EQ(FailingRules(s, true), std::set<std::string>{});
}

TEST(Verify, EachFaultIsCaughtByItsRuleAlone) {
    struct Case {
        const char* fault;
        const char* rule;
        std::function<void(Stream&)> inject;
        bool withClip = false;
    };
    const Case cases[] = {
        {"a dropped packet", "continuity",
         [](Stream& s) {
             // A packet inside a video PES packet whose length is made to agree; a null packet
             // at the end keeps the size.
             const size_t start = s.Find(
                 s.Count() / 2, [&](size_t i) { return s.Pid(i) == 0x1011 && s.UnitStart(i); });
             const size_t drop = s.Find(start + 1, [&](size_t i) { return s.Pid(i) == 0x1011; });
             ASSERT_FALSE(s.UnitStart(drop));
             if (const uint16_t length = ReadBE16(s.Pes(start) + 4))
                 WriteBE16(s.Pes(start) + 4, uint16_t(length - 184));
             const uint32_t last = s.Arrival(s.Count() - 1);
             s.bytes.erase(s.bytes.begin() + ptrdiff_t(drop * kPacket),
                           s.bytes.begin() + ptrdiff_t((drop + 1) * kPacket));
             const auto null = s.NullPacket(last + 846);
             s.bytes.insert(s.bytes.end(), null.begin(), null.end());
         }},
        {"two arrival stamps swapped", "arrival",
         [](Stream& s) {
             const size_t i = s.Find(s.Count() / 2,
                                     [&](size_t k) { return !s.IsTable(k) && !s.IsTable(k + 1); });
             std::swap_ranges(s.At(i), s.At(i) + 4, s.At(i + 1));
         }},
        {"an AU delayed past its DTS", "tstd",
         [](Stream& s) {
             const size_t i = s.Find(s.Count() / 2, [&](size_t k) {
                 return s.Pid(k) == 0x1011 && s.UnitStart(k) && (s.Pes(k)[7] >> 6) == 3;
             });
             uint8_t* dts = s.Pes(i) + 14;
             pes_time::Write(dts, pes_time::kDts, pes_time::Read(dts) - 90000);
         }},
        {"packets bunched on a PID past its TB rate", "tstd",
         [](Stream& s) {
             // Four neighbouring audio packets, which the multiplexer spread out in time as the
             // audio TB drains, sent in four consecutive packet slots instead.
             const size_t first = s.Find(s.Count() / 3, [&](size_t k) {
                 return s.Pid(k) == 0x1100 && s.Pid(k + 1) == 0x1100 && s.Pid(k + 2) == 0x1100 &&
                        s.Pid(k + 3) == 0x1100;
             });
             for (size_t n = 1; n < 4; ++n)
                 WriteBE32(s.At(first + n), s.Arrival(first) + uint32_t(n) * 846);
         }},
        {"a PCR gap past 100 ms", "pcr",
         [](Stream& s) {
             s.MakeNull(s.Find(s.Count() / 2, [&](size_t k) { return s.Pid(k) == pid::kPcr; }));
         }},
        {"the PAT removed for 200 ms", "psi",
         [](Stream& s) {
             const size_t first =
                 s.Find(s.Count() / 4, [&](size_t k) { return s.Pid(k) == pid::kPat; });
             const uint32_t from = s.Arrival(first);
             int removed = 0;
             for (size_t k = first; k < s.Count(); ++k) {
                 if (s.Pid(k) != pid::kPat)
                     continue;
                 if (s.Arrival(k) - from < 5400000) {
                     s.MakeNull(k);
                     ++removed;
                 } else {
                     // Later PATs count on from the last one left.
                     uint8_t& counter = s.At(k)[7];
                     counter = uint8_t((counter & 0xF0) | ((counter - removed) & 0x0F));
                 }
             }
             EXPECT_GE(removed, 2);
         }},
        {"a size that is not whole units", "units",
         [](Stream& s) { s.bytes.resize(s.bytes.size() - kPacket); }},
        {"an EP map entry moved by one packet", "clpi-epmap",
         [](Stream& s) { s.clip.Cpi.EpMap.GetAt(0)->KeyPoints.GetAt(1)->StartSpn += 1; }, true},
    };
    for (const Case& c : cases) {
        Stream s;
        s.bytes = CleanStream().bytes;
        std::vector<uint8_t> image;
        const_cast<CLPI&>(CleanStream().clip).Build(&image);
        ASSERT_GT(s.clip.Parse(image.data(), image.size()), 0);
        c.inject(s);
        EXPECT_EQ(FailingRules(s, c.withClip), std::set<std::string>{c.rule}) << c.fault;
    }
}

}  // namespace
}  // namespace vx
