// Elementary-stream files as tracks: clip jobs, packetization by coding type, time stamps at
// the clip start time, languages from file names.

#include "mux/es_track.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "foundation/messages.h"
#include "mux/mux_test_util.h"
#include "mux/verify.h"
#include "support.h"
#include "transport/pid.h"
#include "transport/ts_packet.h"

namespace vx {
namespace {

// Copies fixtures into a folder of their own: analysis writes its files beside them.
struct Sources {
    test::TempDir dir;
    std::string Copy(const std::string& fixture, const std::string& name) {
        const std::string path = dir / name;
        std::filesystem::copy_file(test::Fixture(fixture), path);
        return path;
    }
};

std::unique_ptr<CSource> SourceOf(const std::string& path) {
    auto source = std::make_unique<CSource>();
    source->FilePath = path;
    return source;
}

// The PES headers of the packets of pid that start one.
std::vector<std::unique_ptr<TransportPacket>> PesStarts(const std::vector<uint8_t>& file, int pid) {
    std::vector<std::unique_ptr<TransportPacket>> starts;
    for (const auto& p : test::PacketsOf(file)) {
        if (p.pid != pid || !p.unitStart)
            continue;
        auto packet = std::make_unique<TransportPacket>();
        if (packet->Parse(p.bytes + 4, kTransportPacketSize) > 0 && packet->PES_Packet)
            starts.push_back(std::move(packet));
    }
    return starts;
}

// The size and checksum of every frame ffmpeg reads from one stream of a file (framecrc lines
// of that stream without their time stamps).
std::vector<std::string> SizesAndCrcs(const std::string& path, const std::string& stream) {
    std::vector<std::string> frames;
    const std::string all = test::FrameCrc(path);
    size_t at = 0;
    while (at < all.size()) {
        size_t end = all.find('\n', at);
        if (end == std::string::npos)
            end = all.size();
        const std::string line = all.substr(at, end - at);
        if (line.rfind(stream, 0) == 0) {
            // stream, dts, pts, duration, size, crc[, flags...]: keep size and crc.
            std::vector<std::string> fields;
            std::string field;
            for (char ch : line + ",") {
                if (ch == ',') {
                    fields.push_back(field);
                    field.clear();
                } else if (ch != ' ') {
                    field += ch;
                }
            }
            if (fields.size() >= 6)
                frames.push_back(fields[4] + " " + fields[5]);
        }
        at = end + 1;
    }
    return frames;
}

TEST(EsTrack, PacketsAnAuNeeds) {
    struct Case {
        uint8_t type;
        uint32_t size;
        bool dts;
        uint32_t packets;
    } cases[] =
        {
            {0x80, 960, false, 6},  // 5 ms of 48 kHz 16-bit stereo: 166 bytes in the first packet
            {0x80, 166, false, 1}, {0x80, 167, false, 2},
            {0x81, 767, false, 5},  // 167 in the first, then 184 each
            {0x90, 165, true, 1},  {0x90, 166, true, 2},
            {0x91, 170, false, 1}, {0x91, 0, false, 0},
        };
    for (const Case& c : cases)
        EXPECT_EQ(CFilePipe::PacketCount(c.type, c.size, c.dts), c.packets)
            << int(c.type) << " " << c.size;
}

TEST(EsTrack, LanguageFromTheFileNameAndRefusals) {
    Sources s;
    struct Case {
        const char* name;
        const char* language;
    } cases[] = {{"movie_deu.ac3", "deu"}, {"movie.ac3", "eng"}, {"a_b.ac3", "eng"}};
    for (const Case& c : cases) {
        auto track = OpenRawTrack(s.Copy("es/a_stereo192.ac3", c.name));
        ASSERT_NE(track, nullptr) << c.name;
        EXPECT_EQ(track->GetLanguageText(), c.language) << c.name;
        EXPECT_TRUE(track->Primary);
    }
    MessageCapture messages;
    const std::string lonely = s.dir / "lonely.thd";
    test::WriteFile(lonely, {1, 2, 3});
    EXPECT_EQ(OpenRawTrack(lonely), nullptr);
    EXPECT_EQ(messages.Texts(),
              std::vector<std::string>{lonely + "\r\nCorresponding ac3 file doesn't exist! "});
}

// test.sup with the time stamps of every segment those of its display set's composition (the
// file gives its object and end segments time 0, which no decoder could meet).
std::string TimedSup(const std::string& path) {
    std::vector<uint8_t> data = ReadWholeFile(test::Fixture("third-party/sup/test.sup"));
    uint32_t pts = 0;
    for (size_t at = 0; at + 13 <= data.size(); at += 13 + ReadBE16(&data[at + 11])) {
        if (data[at + 10] == 0x16)
            pts = ReadBE32(&data[at + 2]);
        WriteBE32(&data[at + 2], pts);
        WriteBE32(&data[at + 6], 0);
    }
    test::WriteFile(path, data);
    return path;
}

TEST(EsTrack, ClipOfPgAndAudioSourcesAtTheClipStartTime) {
    Sources s;
    const auto pg1 = SourceOf(TimedSup(s.dir / "a.sup"));
    const auto pg2 = SourceOf(TimedSup(s.dir / "b.sup"));
    const auto ac3 = SourceOf(s.Copy("es/a_stereo192.ac3", "a.ac3"));
    CClip clip;
    clip.Kind = 7;
    ASSERT_EQ(clip.AddSource(*pg1), 0);
    ASSERT_EQ(clip.AddSource(*ac3), 0);
    ASSERT_EQ(clip.AddSource(*pg2), 0);
    ASSERT_EQ(clip.Mux(s.dir / "out.m2ts", s.dir / "out.clpi"), 0);
    ASSERT_EQ(clip.Prepared.size(), 3u);
    EXPECT_EQ(clip.Prepared[0]->PID, 0x1100);  // audio before PG, PGs in the order added
    EXPECT_EQ(clip.Prepared[1]->PID, 0x1200);
    EXPECT_EQ(clip.Prepared[2]->PID, 0x1201);

    CFile file;
    file.OpenOrRaise(s.dir / "out.m2ts", CFile::modeRead);
    const std::vector<uint8_t> data = ReadWholeFile(s.dir / "out.clpi");
    CLPI info;
    ASSERT_GT(info.Parse(data.data(), data.size()), 0);
    const VerifyReport report = VerifyStreamFile(file, &info);
    EXPECT_TRUE(report.Ok()) << report.ToJson().dump(1);

    // The first AC-3 frame (131,070 in the analysed stream) lands on the clip start time.
    const std::vector<uint8_t> stream = ReadWholeFile(s.dir / "out.m2ts");
    const auto audio = PesStarts(stream, 0x1100);
    ASSERT_EQ(audio.size(), 125u);
    EXPECT_EQ(audio[0]->PES_Packet->PTS, uint64_t(ClipStartTime()));
    EXPECT_EQ(audio[0]->PES_Packet->PTS_DTS_Flag, 2);
    EXPECT_EQ(audio[0]->PES_Packet->StreamID, 0xFD);
    ASSERT_EQ(audio[0]->PES_Packet->PES_ExtensionField.size(), 1u);
    EXPECT_EQ(audio[0]->PES_Packet->PES_ExtensionField[0], 0x71);
    EXPECT_EQ(audio[0]->TransportPriority, 1);
    EXPECT_EQ(audio[1]->PES_Packet->PTS - audio[0]->PES_Packet->PTS, 2880u);
    // PG: a PCS, WDS or ODS carries PTS and DTS, a PDS or END only a PTS.
    const auto pg = PesStarts(stream, 0x1200);
    ASSERT_EQ(pg.size(), 16u);
    const int flags[] = {3, 3, 2, 3, 2};  // PCS, WDS, PDS, ODS, END
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(pg[size_t(i)]->PES_Packet->PTS_DTS_Flag, flags[i]) << i;
        EXPECT_EQ(pg[size_t(i)]->PES_Packet->StreamID, 0xBD);
    }
    // ffmpeg reads back the AC-3 frames and PG segments of the sources, byte for byte.
    EXPECT_EQ(SizesAndCrcs(s.dir / "out.m2ts", "0,"), SizesAndCrcs(ac3->FilePath, "0,"));
    EXPECT_EQ(SizesAndCrcs(s.dir / "out.m2ts", "1,"), SizesAndCrcs(pg1->FilePath, "0,"));
    EXPECT_EQ(SizesAndCrcs(s.dir / "out.m2ts", "2,"), SizesAndCrcs(pg2->FilePath, "0,"));
}

TEST(EsTrack, LpcmSamplesComeBackAsTheWavHoldsThem) {
    Sources s;
    const auto wav = SourceOf(s.Copy("es/a_pcm16.wav", "a.wav"));
    CClip clip;
    clip.Kind = 4;
    ASSERT_EQ(clip.AddSource(*wav), 0);
    ASSERT_EQ(clip.Mux(s.dir / "out.m2ts", s.dir / "out.clpi"), 0);
    const std::vector<uint8_t> stream = ReadWholeFile(s.dir / "out.m2ts");
    const auto starts = PesStarts(stream, 0x1100);
    ASSERT_EQ(starts.size(), 800u);  // 4 s in 5 ms units
    EXPECT_EQ(starts[0]->PES_Packet->StreamID, 0xBD);
    EXPECT_EQ(starts[0]->PES_Packet->PES_PacketLength, 960 + 8 + 4);
    // Decoded by ffmpeg, the samples equal the WAV's.
    const std::string decoded =
        test::CommandOutput("ffmpeg -nostdin -v error -i " + test::ShellQuote(s.dir / "out.m2ts") +
                            " -f s16le - | md5sum");
    const std::string original =
        test::CommandOutput("ffmpeg -nostdin -v error -i " + test::ShellQuote(s.dir / "a.wav") +
                            " -f s16le - | md5sum");
    EXPECT_FALSE(original.empty());
    EXPECT_EQ(decoded, original);
    CFile file;
    file.OpenOrRaise(s.dir / "out.m2ts", CFile::modeRead);
    EXPECT_TRUE(VerifyStreamFile(file).Ok());
}

TEST(EsTrack, MenuClipIsMadeOnce) {
    CClip clip;
    EXPECT_TRUE(clip.MakeMenuClip());
    EXPECT_EQ(clip.Kind, CClip::kMenuClip);
    ASSERT_NE(clip.Lists[3], nullptr);
    EXPECT_FALSE(clip.MakeMenuClip());
}

}  // namespace
}  // namespace vx
