#include "streams/ac3_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "audio_test_util.h"
#include "bdmv/clpi.h"
#include "bdmv/mpls.h"
#include "foundation/file.h"
#include "streams/std_desc.h"
#include "support.h"
#include "transport/psi.h"

namespace vx {
namespace {

using audio_test::AudioParse;
using audio_test::Concat;
using audio_test::Only;
using audio_test::ParseAudio;
using audio_test::ParseBytes;

const char* const kStereo192 = "es/a_stereo192.ac3";                        // 2/0, 192 kbit/s
const char* const kSurround448 = "third-party/audio/elxarus-5.1-448k.ac3";  // 3/2+LFE
constexpr size_t kStereoFrame = 768;                                        // 192 kbit/s x 32 ms

std::vector<uint8_t> Load(const char* fixture) {
    return ReadWholeFile(test::Fixture(fixture));
}

// The first n frames of the stereo fixture.
std::vector<uint8_t> StereoFrames(size_t n) {
    std::vector<uint8_t> all = Load(kStereo192);
    all.resize(n * kStereoFrame);
    return all;
}

// Header fields at their places in the first bytes of a frame (offset = frame start).
// AC-3: byte 4 fscod (2) frmsizecod (6); byte 5 bsid (5) bsmod (3); byte 6 acmod (3) ...
// E-AC-3: byte 4 fscod (2) numblkscod (2) acmod (3) lfeon (1); byte 5 bsid (5) ...
void SetBits(std::vector<uint8_t>& b, size_t at, uint8_t mask, int shift, int value) {
    b[at] = uint8_t((b[at] & ~mask) | ((value << shift) & mask));
}

// Checks that the AU index of a parsed stream lands on the frames of the file: every AU
// begins with a sync word, lies inside the file, and (with an E-AC-3 extension) AUs with flag
// 1 are E-AC-3 frames and the others AC-3 frames.
void ExpectIndexOnFrames(const AudioParse& p, const std::vector<uint8_t>& file) {
    ASSERT_GT(p.info.AuCount(), 0u);
    for (uint32_t n = 0; n < p.info.AuCount(); ++n) {
        SIF_AU au;
        ASSERT_TRUE(p.info.GetAu(n, au)) << n;
        ASSERT_LE(au.Offset + au.Size, file.size()) << n;
        ASSERT_EQ(file[au.Offset], 0x0B) << n;
        ASSERT_EQ(file[au.Offset + 1], 0x77) << n;
        bool eac3 = (file[au.Offset + 5] >> 3) == 16;
        if (p.info.CodingType() == 0x84)
            ASSERT_EQ(eac3, au.Flags == 1) << n;
        else
            ASSERT_EQ(eac3, p.info.CodingType() == 0xA1) << n;
    }
}

TEST(Ac3Frame, BitRatesAndFrameSizesAt48k) {
    struct Case {
        uint8_t code;
        uint32_t kbps;
        uint32_t bytes;
    };
    const Case cases[] = {
        {0, 32, 128},    {1, 32, 128},    {8, 64, 256},    {9, 64, 256}, {20, 192, 768},
        {30, 448, 1792}, {31, 448, 1792}, {37, 640, 2560}, {38, 0, 0},   {63, 0, 0},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Ac3BitRateKbps(c.code), c.kbps) << int(c.code);
        EXPECT_EQ(Ac3FrameBytes48k(c.code), c.bytes) << int(c.code);
    }
}

TEST(Ac3Frame, PresentationTypeFromCodingModes) {
    struct Case {
        bool core;
        uint8_t coreAcmod;
        bool eac3;
        uint8_t eac3Acmod;
        uint8_t expected;
    };
    const Case cases[] = {
        {true, 1, false, 0, 1},  // mono
        {true, 1, true, 2, 0},   // mono core with an extension: no BD type
        {true, 2, false, 0, 3},  // stereo
        {true, 2, true, 2, 3},   // stereo extension of a stereo core
        {true, 2, true, 7, 12},  // stereo core, 3/2 extension
        {true, 2, true, 4, 12},  // stereo core, 2/1 extension
        {true, 3, false, 0, 6},  // 3/0
        {true, 7, true, 7, 6},   // 3/2 core
        {false, 0, true, 2, 3},  // E-AC-3 alone: its own mode
        {false, 0, true, 1, 1}, {false, 0, true, 6, 6}, {false, 0, false, 0, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(Ac3PresentationType(c.core, c.coreAcmod, c.eac3, c.eac3Acmod), c.expected)
            << c.core << int(c.coreAcmod) << c.eac3 << int(c.eac3Acmod);
}

TEST(Ac3Frame, HeaderFieldsOfADependentSubstream) {
    // strmtyp 1, substreamid 2, frmsiz 0x2FF; fscod 0, numblkscod 3, acmod 7, lfeon 1, bsid 16,
    // dialnorm 11111, compre 1 with compr 0xAA, chanmape 1, chanmap 0xA5A5.
    test::TempDir dir;
    std::vector<uint8_t> frame = test::Hex("0B 77 52 FF 3F 87 F5 5A 5A 50");
    frame.resize(0x300 * 2, 0);
    test::WriteFile(dir / "dep.ac3", frame);
    CBitReader reader;
    ASSERT_TRUE(reader.Open(dir / "dep.ac3"));
    Ac3FrameHeader h;
    ASSERT_EQ(ReadAc3FrameHeader(reader, h), kParseOk);
    EXPECT_TRUE(h.isEac3);
    EXPECT_EQ(h.strmtyp, 1);
    EXPECT_EQ(h.substreamid, 2);
    EXPECT_EQ(h.FrameBytes(), 0x300u * 2);
    EXPECT_EQ(h.numblkscod, 3);
    EXPECT_EQ(h.acmod, 7);
    EXPECT_EQ(h.lfeon, 1);
    EXPECT_EQ(h.chanmape, 1);
    EXPECT_EQ(h.chanmap, 0xA5A5);
    // The header ends right after chanmap: 5 bytes of fixed fields, 2 + 1 + 8 + 1 + 16 bits.
    EXPECT_EQ(reader.BitCount(), 6u * 8 + 28);
}

TEST(Ac3Parser, FilesOfOtherToolsAgreeWithFfprobe) {
    VX_REQUIRE_FFMPEG();
    struct Case {
        const char* fixture;
        uint32_t auSize;
        uint32_t bitRate;
        uint8_t acmod;
        uint8_t presentationType;
        uint8_t attributes;  // presentation type and sampling frequency
    };
    const Case cases[] = {
        {kStereo192, 768, 192000, 2, 3, 0x31},
        {kSurround448, 1792, 448000, 7, 6, 0x61},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.fixture);
        test::TempDir dir;
        std::vector<uint8_t> bytes = Load(c.fixture);
        AudioParse p = ParseBytes(dir, "stream.ac3", bytes);
        ASSERT_EQ(p.result, kParseOk);
        EXPECT_TRUE(p.messages.empty());
        ASSERT_TRUE(p.readBack);
        const SIF_HEADER& h = p.Header();
        EXPECT_EQ(h.StreamCodingType, 0x81);
        EXPECT_EQ(long(h.NumberOfAus), audio_test::FfprobeFrameCount(dir / "stream.ac3"));
        EXPECT_EQ(h.AuDuration, 32.0);
        EXPECT_EQ(h.BitRate, c.bitRate);
        EXPECT_EQ(h.ExtBitRate, 0u);
        EXPECT_EQ(h.FirstAuOffset, 0u);
        EXPECT_EQ(h.DataLength, uint64_t(h.NumberOfAus) * c.auSize);
        EXPECT_EQ(h.DataLength, bytes.size());

        const CAc3Sif* sif = p.Ac3();
        ASSERT_NE(sif, nullptr);
        EXPECT_EQ(sif->Descriptor.AuFrameSize, c.auSize);
        EXPECT_EQ(sif->Descriptor.Bsid, 8);
        EXPECT_EQ(sif->Descriptor.SampleRateCode, 0);
        EXPECT_EQ(sif->Descriptor.BitRateCode, sif->Descriptor.FrameSizeCode / 2);
        EXPECT_EQ(Ac3BitRateKbps(sif->Descriptor.FrameSizeCode) * 1000, c.bitRate);
        EXPECT_EQ(sif->Descriptor.Acmod, c.acmod);
        EXPECT_EQ(sif->Descriptor.NumChannels, c.acmod);
        EXPECT_EQ(sif->GetPresentationType(), c.presentationType);
        EXPECT_EQ(sif->GetSamplingFrequency(), 1);
        EXPECT_FALSE(sif->IsSecondaryOnly());
        EXPECT_EQ(sif->Validate(), kParseOk);

        STREAM_ATTRIBUTES attributes;
        sif->FillStreamAttributes(attributes);
        EXPECT_EQ(attributes.StreamCodingType, 0x81);
        EXPECT_EQ(attributes.bytes[0], c.attributes);
        ExpectIndexOnFrames(p, bytes);
    }
}

TEST(Ac3Parser, HeaderChecksRejectWithTheirMessages) {
    // One field of the first frame (or of the second, or of an E-AC-3 frame) changed.
    struct Case {
        const char* name;
        size_t frame;  // which of the first frames is changed
        size_t at;     // byte of the frame
        uint8_t mask;
        int shift;
        int value;
        int result;
        const char* message;
    };
    const Case cases[] = {
        {"bsid 10", 0, 5, 0xF8, 3, 10, kWrongBitstreamId, "Wrong bitstream Id! "},
        {"bsid 6 is allowed", 0, 5, 0xF8, 3, 6, kParseOk, nullptr},
        {"fscod 1 (44.1 kHz)", 0, 4, 0xC0, 6, 1, kWrongSampleRate, "Wrong sample rate! "},
        {"fscod 2 (32 kHz)", 1, 4, 0xC0, 6, 2, kWrongSampleRate, "Wrong sample rate! "},
        {"48 kbit/s", 0, 4, 0x3F, 0, 7, kWrongBitrate, "Wrong bitrate! "},
        {"frame size code 38", 0, 4, 0x3F, 0, 38, kWrongBitrate, "Wrong bitrate! "},
        {"1+1 dual mono", 0, 6, 0xE0, 5, 0, kWrongAudioCodingMode, "Wrong audio coding mode! "},
        {"sync of frame 1", 1, 0, 0xFF, 0, 0x0C, kUnknownFormat, "Unknown file format! "},
        {"sync of frame 5", 5, 0, 0xFF, 0, 0x0C, kSyntaxIllegal, "Syntax illegal! "},
        {"frame 5 is E-AC-3", 5, 5, 0xF8, 3, 16, kSyntaxIllegal, "Syntax illegal! "},
        {"frame 5 has bsid 6", 5, 5, 0xF8, 3, 6, kParseOk, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        std::vector<uint8_t> bytes = StereoFrames(8);
        SetBits(bytes, c.frame * kStereoFrame + c.at, c.mask, c.shift, c.value);
        AudioParse p = ParseBytes(dir, "s.ac3", bytes);
        EXPECT_EQ(p.result, c.result);
        if (c.message) {
            EXPECT_EQ(p.messages, Only(c.message));
            EXPECT_FALSE(p.sifLeft);
        } else {
            EXPECT_TRUE(p.messages.empty());
        }
    }
}

TEST(Ac3Parser, FfmpegAc3At44100IsRejected) {
    VX_REQUIRE_FFMPEG();
    test::TempDir dir;
    std::string path = dir / "x.ac3";
    ASSERT_TRUE(audio_test::RunFfmpeg(
        "-f lavfi -i sine=frequency=1000:sample_rate=44100 -t 0.2 -c:a ac3 " + path));
    AudioParse p = ParseAudio(path);
    EXPECT_EQ(p.result, kWrongSampleRate);
    EXPECT_EQ(p.messages, Only("Wrong sample rate! "));
    EXPECT_FALSE(p.sifLeft);
}

TEST(Ac3Parser, DamagedStreams) {
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int result;
        uint32_t auCount;  // on success
    };
    std::vector<uint8_t> cutInFrame1 = StereoFrames(2);
    cutInFrame1.resize(kStereoFrame + 100);
    std::vector<uint8_t> cutInHeader = StereoFrames(3);
    cutInHeader.resize(2 * kStereoFrame + 4);
    std::vector<uint8_t> lastFrameCut = StereoFrames(10);
    lastFrameCut.resize(9 * kStereoFrame + 500);
    std::vector<uint8_t> oneTrailingByte = StereoFrames(10);
    oneTrailingByte.push_back(0x0B);
    std::vector<uint8_t> trailingGarbage = StereoFrames(10);
    trailingGarbage.insert(trailingGarbage.end(), {0x00, 0x00, 0x00});
    // Frame 1 at 224 kbit/s: a 896-byte frame where 768 bytes are due.
    std::vector<uint8_t> otherSize = StereoFrames(1);
    std::vector<uint8_t> bigger = StereoFrames(1);
    SetBits(bigger, 4, 0x3F, 0, 22);
    bigger.resize(896, 0);
    otherSize.insert(otherSize.end(), bigger.begin(), bigger.end());
    std::vector<uint8_t> rest = StereoFrames(4);
    otherSize.insert(otherSize.end(), rest.begin(), rest.end());

    const Case cases[] = {
        {"file of one and a half frames", cutInFrame1, kReadFileError, 0},
        {"file ends in the third header", cutInHeader, kReadFileError, 0},
        {"the last frame is cut short", lastFrameCut, kParseOk, 9},
        {"one byte after the last frame", oneTrailingByte, kParseOk, 10},
        {"no sync word after the last frame", trailingGarbage, kSyntaxIllegal, 0},
        {"frame sizes change", otherSize, kSyntaxIllegal, 0},
        {"exactly three frames", StereoFrames(3), kParseOk, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        AudioParse p = ParseBytes(dir, "d.ac3", c.bytes);
        EXPECT_EQ(p.result, c.result);
        if (c.result != kParseOk) {
            EXPECT_EQ(p.messages, Only(ResultMessage(c.result)));
            EXPECT_FALSE(p.sifLeft);
            continue;
        }
        ASSERT_TRUE(p.readBack);
        EXPECT_EQ(p.Header().NumberOfAus, c.auCount);
        EXPECT_EQ(p.Header().DataLength, c.auCount * kStereoFrame);
    }
}

TEST(Ac3Parser, Eac3AloneIsSecondaryAudio) {
    VX_REQUIRE_FFMPEG();
    test::TempDir dir;
    std::string path = dir / "e.ac3";
    ASSERT_TRUE(
        audio_test::RunFfmpeg("-f lavfi -i sine=frequency=1000:sample_rate=48000 -t 0.3 "
                              "-ac 2 -c:a eac3 -b:a 192k " +
                              path));
    std::vector<uint8_t> bytes = ReadWholeFile(path);
    AudioParse p = ParseAudio(path);
    ASSERT_EQ(p.result, kParseOk);
    ASSERT_TRUE(p.readBack);
    const SIF_HEADER& h = p.Header();
    EXPECT_EQ(h.StreamCodingType, 0xA1);
    EXPECT_EQ(long(h.NumberOfAus), audio_test::FfprobeFrameCount(path));
    // 192 kbit/s: 768-byte frames of 384 words; the bit rate follows from the frame words.
    EXPECT_EQ(h.BitRate, 384u * 500);
    EXPECT_EQ(h.DataLength, bytes.size());
    const CAc3Sif* sif = p.Ac3();
    ASSERT_NE(sif, nullptr);
    EXPECT_TRUE(sif->IsSecondaryOnly());
    EXPECT_EQ(sif->Descriptor.Eac3FrameWords, 384);
    EXPECT_EQ(sif->Descriptor.Eac3StreamType, 0);
    EXPECT_EQ(sif->Descriptor.Eac3Acmod, 2);
    EXPECT_EQ(sif->Descriptor.Bsid, 16);
    EXPECT_EQ(sif->GetPresentationType(), 3);
    ExpectIndexOnFrames(p, bytes);

    StdList descriptions = sif->MakeDescriptions();
    ASSERT_EQ(descriptions.size(), 1u);
    EXPECT_NE(dynamic_cast<CDdpStd*>(descriptions[0].get()), nullptr);
    EXPECT_FALSE(descriptions[0]->IsPrimary());
    EXPECT_EQ(descriptions[0]->Rx(), 2000000u);
    EXPECT_EQ(descriptions[0]->EbSize(), 7456u);
}

TEST(Ac3Parser, Eac3HeaderChecks) {
    VX_REQUIRE_FFMPEG();
    test::TempDir dir;
    std::string path = dir / "e.eac3";
    ASSERT_TRUE(
        audio_test::RunFfmpeg("-f lavfi -i sine=frequency=1000:sample_rate=48000 -t 0.3 "
                              "-ac 2 -c:a eac3 -b:a 192k " +
                              path));
    struct Case {
        const char* name;
        uint8_t mask;
        int shift;
        int value;
        int result;
    };
    const Case cases[] = {
        {"three blocks", 0x30, 4, 2, kWrongAudioBlocksCount},
        {"one block", 0x30, 4, 0, kWrongAudioBlocksCount},
        {"1+1", 0x0E, 1, 0, kWrongAudioCodingMode},
        {"fscod 1", 0xC0, 6, 1, kWrongSampleRate},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<uint8_t> bytes = ReadWholeFile(path);
        SetBits(bytes, 4, c.mask, c.shift, c.value);
        AudioParse p = ParseBytes(dir, "bad.ac3", bytes);
        EXPECT_EQ(p.result, c.result);
        EXPECT_EQ(p.messages, Only(ResultMessage(c.result)));
        EXPECT_FALSE(p.sifLeft);
    }
}

// A Blu-ray E-AC-3 stream: an AC-3 core frame and an E-AC-3 extension frame in every 32 ms.
TEST(Ac3Parser, AlternatingCoreAndExtension) {
    VX_REQUIRE_FFMPEG();
    test::TempDir dir;
    std::string extensionPath = dir / "ext.eac3";
    ASSERT_TRUE(
        audio_test::RunFfmpeg("-f lavfi -i sine=frequency=1000:sample_rate=48000 -t 0.3 "
                              "-ac 6 -c:a eac3 -b:a 384k " +
                              extensionPath));
    auto extension = audio_test::FfprobeFrames(extensionPath);
    ASSERT_GE(extension.size(), 6u);
    ASSERT_EQ(extension[0].size(), 1536u);  // 384 kbit/s x 32 ms
    std::vector<uint8_t> core = StereoFrames(6);
    std::vector<std::vector<uint8_t>> coreFrames;
    for (size_t i = 0; i < 6; ++i)
        coreFrames.emplace_back(core.begin() + long(i * kStereoFrame),
                                core.begin() + long((i + 1) * kStereoFrame));

    for (bool startsWithExtension : {false, true}) {
        SCOPED_TRACE(startsWithExtension ? "starts with E-AC-3" : "starts with AC-3");
        std::vector<std::vector<uint8_t>> frames;
        if (startsWithExtension)
            frames.push_back(extension[5]);
        for (size_t i = 0; i < 5; ++i) {
            frames.push_back(coreFrames[i]);
            frames.push_back(extension[i]);
        }
        std::vector<uint8_t> bytes = Concat(frames);
        AudioParse p = ParseBytes(dir, "pair.ac3", bytes);
        ASSERT_EQ(p.result, kParseOk);
        ASSERT_TRUE(p.readBack);
        const SIF_HEADER& h = p.Header();
        EXPECT_EQ(h.StreamCodingType, 0x84);
        EXPECT_EQ(h.FirstAuOffset, startsWithExtension ? 1536u : 0u);
        EXPECT_EQ(h.NumberOfAus, 10u);
        EXPECT_EQ(h.BitRate, 192000u);
        EXPECT_EQ(h.ExtBitRate, 768u * 500);
        EXPECT_EQ(h.DataLength, 5u * (768 + 1536));
        const CAc3Sif* sif = p.Ac3();
        ASSERT_NE(sif, nullptr);
        EXPECT_EQ(sif->Descriptor.AuFrameSize, 768u + 1536);
        EXPECT_EQ(sif->Descriptor.Bsid, 8);  // the core's
        EXPECT_EQ(sif->Descriptor.Acmod, 2);
        EXPECT_EQ(sif->Descriptor.Eac3Acmod, 7);
        EXPECT_EQ(sif->Descriptor.Eac3FrameWords, 768);
        EXPECT_FALSE(sif->IsSecondaryOnly());
        EXPECT_EQ(sif->GetPresentationType(), 12);
        ExpectIndexOnFrames(p, bytes);

        StdList descriptions = sif->MakeDescriptions();
        ASSERT_EQ(descriptions.size(), 2u);
        EXPECT_NE(dynamic_cast<CAc3Std*>(descriptions[0].get()), nullptr);
        EXPECT_NE(dynamic_cast<CDdpStd*>(descriptions[1].get()), nullptr);
        EXPECT_TRUE(descriptions[1]->IsPrimary());
        EXPECT_EQ(descriptions[1]->EbSize(), 137936u);
    }

    // Two AC-3 frames and then E-AC-3: neither one kind nor alternating.
    std::vector<uint8_t> mixed = Concat({coreFrames[0], coreFrames[1], extension[0]});
    AudioParse p = ParseBytes(dir, "mixed.ac3", mixed);
    EXPECT_EQ(p.result, kIncompatibleFile);
    EXPECT_EQ(p.messages, Only("Incompatible file! "));
    EXPECT_FALSE(p.sifLeft);
}

bool CancelAtFirstReport(void* context, const ProgressRecord& record) {
    auto* percents = static_cast<std::vector<int>*>(context);
    if (record.status == ProgressRecord::percent)
        percents->push_back(record.percentDone);
    return record.status != ProgressRecord::percent;
}

bool CollectPercents(void* context, const ProgressRecord& record) {
    if (record.status == ProgressRecord::percent)
        static_cast<std::vector<int>*>(context)->push_back(record.percentDone);
    return true;
}

TEST(Ac3Parser, ReportsProgressEveryFiveMegabytesAndCancels) {
    // 12 MiB of frames: reports near 5 and 10 MiB, then 100 at the end.
    std::vector<uint8_t> frames = Load(kStereo192);
    std::vector<uint8_t> big;
    while (big.size() < 12u * 1024 * 1024) big.insert(big.end(), frames.begin(), frames.end());
    test::TempDir dir;
    test::WriteFile(dir / "big.ac3", big);

    std::vector<int> percents;
    AudioParse done = ParseAudio(dir / "big.ac3", {CollectPercents, &percents});
    ASSERT_EQ(done.result, kParseOk);
    EXPECT_EQ(done.Header().NumberOfAus, big.size() / kStereoFrame);
    ASSERT_EQ(percents.size(), 3u);
    EXPECT_NEAR(percents[0], 5 * 100 / 12, 1);
    EXPECT_NEAR(percents[1], 10 * 100 / 12, 1);
    EXPECT_EQ(percents[2], 100);

    percents.clear();
    AudioParse cancelled = ParseAudio(dir / "big.ac3", {CancelAtFirstReport, &percents});
    EXPECT_EQ(cancelled.result, kParseCancelled);
    EXPECT_TRUE(cancelled.messages.empty());
    EXPECT_FALSE(cancelled.sifLeft);
    EXPECT_EQ(percents.size(), 1u);
}

TEST(Ac3Sif, RecordInTheStreamInformationFile) {
    CAc3Sif sif;
    AC3_AUDIO_DESCRIPTOR& d = sif.Descriptor;
    d.SampleRateCode = 0;
    d.Bsid = 8;
    d.FrameSizeCode = 30;
    d.SurroundMode = 2;
    d.BsMode = 1;
    d.Acmod = 7;
    d.NumChannels = 7;
    d.FullSVC = 1;
    d.MainID = 3;
    d.Priority = 1;
    d.AsvcFlags = 0x55;
    d.Eac3Present = 1;
    d.Eac3FrameWords = 0x0300;
    d.Eac3StreamType = 1;
    d.Eac3SubstreamId = 0;
    d.Eac3Acmod = 7;
    d.Eac3ChannelMap = 0xA5A5;
    d.AuFrameSize = 0x0D00;
    LeWriter out;
    sif.Write(out);
    EXPECT_EQ(test::ToHex(out.Buffer()),
              "01 00 00 00 00 08 1E 02 01 07 07 01 03 01 55 01 01 00 03 01 00 00 07 00 A5 A5 "
              "00 0D 00 00");

    CAc3Sif back;
    LeReader in(out.Buffer().data(), out.Buffer().size());
    back.Read(in);
    EXPECT_EQ(in.Remaining(), 0u);
    EXPECT_TRUE(back.Equals(sif));
    EXPECT_EQ(back.Descriptor.BitRateCode, 15);
    EXPECT_EQ(back.GetCodingType(), 0x84);

    // Without E-AC-3 the E-AC-3 fields are left out; version 0 ends after asvcflags and
    // restores the frame size from the frame size code.
    struct Case {
        uint32_t version;
        uint8_t eac3;
        size_t size;
    };
    for (const Case& c : {Case{1, 0, 21}, Case{0, 0, 15}, Case{1, 1, 30}}) {
        CAc3Sif record;
        record.Version = c.version;
        record.Descriptor = d;
        record.Descriptor.Eac3Present = c.eac3;
        record.Descriptor.AuFrameSize = 1792;
        LeWriter w;
        record.Write(w);
        EXPECT_EQ(w.Position(), c.size);
        CAc3Sif read;
        LeReader r(w.Buffer().data(), w.Buffer().size());
        read.Read(r);
        EXPECT_EQ(read.Descriptor.AuFrameSize, 1792u);
        EXPECT_EQ(read.Descriptor.Eac3Present, c.eac3);
        // Cut anywhere, the record fails to read instead of reading past its bytes.
        for (size_t cut = 0; cut < c.size; ++cut) {
            LeReader shortReader(w.Buffer().data(), cut);
            EXPECT_THROW(read.Read(shortReader), ParseError) << cut;
        }
    }
}

TEST(Ac3Sif, ProgramMapEntryClipAttributesAndDescriptions) {
    struct Case {
        uint8_t eac3;
        uint8_t core;
        uint8_t codingType;
        size_t descriptions;
        uint8_t presentationType;  // 2/0 core, 3/2 extension
    };
    const Case cases[] = {{0, 1, 0x81, 1, 3}, {1, 1, 0x84, 2, 12}, {1, 0, 0xA1, 1, 6}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.codingType));
        CAc3Sif sif;
        sif.Descriptor.Bsid = c.core ? 8 : 16;
        sif.Descriptor.FrameSizeCode = 30;
        sif.Descriptor.BitRateCode = 15;
        sif.Descriptor.Acmod = 2;
        sif.Descriptor.NumChannels = 2;
        sif.Descriptor.Eac3Present = c.eac3;
        sif.Descriptor.Ac3CorePresent = c.core;
        sif.Descriptor.Eac3Acmod = 7;
        EXPECT_EQ(sif.GetCodingType(), c.codingType);
        EXPECT_EQ(sif.Validate(), kParseOk);

        ESI esi;
        sif.FillEsi(esi);
        EXPECT_EQ(esi.StreamType, c.codingType);
        ASSERT_TRUE(esi.Ac3RegistrationDescriptor.has_value());
        EXPECT_EQ(std::string(esi.Ac3RegistrationDescriptor->FormatIdentifier.data(), 4), "AC-3");
        ASSERT_TRUE(esi.Ac3AudioDescriptor.has_value());
        EXPECT_EQ(esi.Ac3AudioDescriptor->BitRateCode, 15);
        EXPECT_EQ(esi.Ac3AudioDescriptor->Bsid, sif.Descriptor.Bsid);

        STREAM_INFO info;
        sif.FillStreamInfo(info);
        EXPECT_EQ(info.StreamCodingType, c.codingType);
        EXPECT_EQ(info.PresentationType, c.presentationType);
        EXPECT_EQ(info.SamplingFrequency, 1);
        EXPECT_EQ(sif.MakeDescriptions().size(), c.descriptions);
    }
}

TEST(Ac3Sif, ValidateChecksTheStoredParameters) {
    struct Case {
        const char* name;
        void (*change)(AC3_AUDIO_DESCRIPTOR&);
        int result;
    };
    const Case cases[] = {
        {"as analysed", [](AC3_AUDIO_DESCRIPTOR&) {}, kParseOk},
        {"bsid 16 with a core", [](AC3_AUDIO_DESCRIPTOR& d) { d.Bsid = 16; }, kWrongBitstreamId},
        {"44.1 kHz", [](AC3_AUDIO_DESCRIPTOR& d) { d.SampleRateCode = 1; }, kWrongSampleRate},
        {"extension at 32 kHz",
         [](AC3_AUDIO_DESCRIPTOR& d) {
             d.Eac3Present = 1;
             d.Eac3Acmod = 2;
             d.Eac3SampleRateCode = 2;
         },
         kWrongSampleRate},
        {"56 kbit/s", [](AC3_AUDIO_DESCRIPTOR& d) { d.FrameSizeCode = 6; }, kWrongBitrate},
        {"dual mono", [](AC3_AUDIO_DESCRIPTOR& d) { d.Acmod = 0; }, kWrongAudioCodingMode},
        {"neither part", [](AC3_AUDIO_DESCRIPTOR& d) { d.Ac3CorePresent = 0; }, kIncompatibleFile},
    };
    for (const Case& c : cases) {
        CAc3Sif sif;
        sif.Descriptor.FrameSizeCode = 20;
        c.change(sif.Descriptor);
        EXPECT_EQ(sif.Validate(), c.result) << c.name;
    }
}

}  // namespace
}  // namespace vx
