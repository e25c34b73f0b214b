#include "streams/lpcm_parser.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
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
using audio_test::Only;
using audio_test::ParseAudio;
using audio_test::ParseBytes;

constexpr uint32_t kAuto = 0xFFFFFFFF;

// A WAV file as a test wants it; block align, byte rate and chunk lengths follow from the
// sample format unless given.
struct Wav {
    uint16_t tag = 1;
    uint16_t channels = 2;
    uint32_t rate = 48000;
    uint16_t bits = 16;
    uint16_t validBits = 0;  // extensible: 0 = bits
    uint32_t mask = 0;
    uint32_t blockAlign = kAuto;
    uint32_t avgBytes = kAuto;
    uint32_t fmtLength = kAuto;       // 16 plain, 40 extensible
    uint32_t fmtLengthField = kAuto;  // the length written, when not fmtLength
    uint16_t cbSize = 22;
    std::array<uint8_t, 16> subFormat = PCM_WAVE_FORMAT::kSubFormatPcm;
    std::vector<uint8_t> chunksBefore;  // whole chunks between "fmt " and "data"
    bool hasData = true;
    uint32_t declaredData = kAuto;
    size_t dataBytes = 34560;  // whole AUs of every layout used here
    std::vector<uint8_t> chunksAfter;
};

void Le16(std::vector<uint8_t>& b, uint32_t v) {
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void Le32(std::vector<uint8_t>& b, uint32_t v) {
    Le16(b, v & 0xFFFF);
    Le16(b, v >> 16);
}
void Text(std::vector<uint8_t>& b, const char* four) {
    b.insert(b.end(), four, four + 4);
}

std::vector<uint8_t> Chunk(const char* id, std::vector<uint8_t> body) {
    std::vector<uint8_t> c;
    Text(c, id);
    Le32(c, uint32_t(body.size()));
    c.insert(c.end(), body.begin(), body.end());
    if (body.size() & 1)
        c.push_back(0);
    return c;
}

std::vector<uint8_t> MakeWav(const Wav& w) {
    const bool extensible = w.tag == 0xFFFE;
    uint32_t blockAlign = w.blockAlign != kAuto ? w.blockAlign : w.channels * ((w.bits + 7) / 8);
    uint32_t avg = w.avgBytes != kAuto ? w.avgBytes : w.rate * blockAlign;
    std::vector<uint8_t> fmt;
    Le16(fmt, w.tag);
    Le16(fmt, w.channels);
    Le32(fmt, w.rate);
    Le32(fmt, avg);
    Le16(fmt, blockAlign);
    Le16(fmt, w.bits);
    if (extensible) {
        Le16(fmt, w.cbSize);
        Le16(fmt, w.validBits ? w.validBits : w.bits);
        Le32(fmt, w.mask);
        fmt.insert(fmt.end(), w.subFormat.begin(), w.subFormat.end());
        fmt.resize(std::max<size_t>(fmt.size(), 18 + w.cbSize), 0);
    }
    uint32_t fmtLength = w.fmtLength != kAuto ? w.fmtLength : uint32_t(fmt.size());
    fmt.resize(std::min<size_t>(fmt.size(), fmtLength), 0);
    fmt.resize(fmtLength, 0);

    std::vector<uint8_t> b;
    Text(b, "RIFF");
    Le32(b, 0);
    Text(b, "WAVE");
    Text(b, "fmt ");
    Le32(b, w.fmtLengthField != kAuto ? w.fmtLengthField : fmtLength);
    b.insert(b.end(), fmt.begin(), fmt.end());
    b.insert(b.end(), w.chunksBefore.begin(), w.chunksBefore.end());
    if (w.hasData) {
        Text(b, "data");
        Le32(b, w.declaredData != kAuto ? w.declaredData : uint32_t(w.dataBytes));
        for (size_t i = 0; i < w.dataBytes; ++i) b.push_back(uint8_t(i * 7));
    }
    b.insert(b.end(), w.chunksAfter.begin(), w.chunksAfter.end());
    uint32_t riffLength = uint32_t(b.size() - 8);
    for (int i = 0; i < 4; ++i) b[4 + i] = uint8_t(riffLength >> (8 * i));
    return b;
}

Wav Extensible(uint16_t channels, uint32_t mask, uint16_t bits = 24, uint32_t rate = 48000) {
    Wav w;
    w.tag = 0xFFFE;
    w.channels = channels;
    w.mask = mask;
    w.bits = bits;
    w.rate = rate;
    return w;
}

size_t FindData(const std::vector<uint8_t>& b) {
    const char data[] = "data";
    auto at = std::search(b.begin() + 12, b.end(), data, data + 4);
    return size_t(at - b.begin()) + 8;
}

TEST(LpcmCodes, PresentationTypeSamplingFrequencyAndBits) {
    struct Case {
        uint16_t channels;
        uint8_t presentation;
    };
    for (const Case& c : {Case{1, 1}, Case{2, 3}, Case{4, 6}, Case{6, 6}, Case{8, 6}})
        EXPECT_EQ(LpcmPresentationType(c.channels), c.presentation) << c.channels;
    struct Rate {
        uint32_t rate;
        uint8_t code;
    };
    for (const Rate& r : {Rate{48000, 1}, Rate{96000, 4}, Rate{192000, 5}, Rate{44100, 0}})
        EXPECT_EQ(LpcmSamplingFrequencyCode(r.rate), r.code) << r.rate;
    struct Bits {
        uint16_t bits;
        uint8_t code;
    };
    for (const Bits& b : {Bits{16, 1}, Bits{20, 2}, Bits{24, 3}, Bits{32, 0}, Bits{8, 0}})
        EXPECT_EQ(LpcmBitsCode(b.bits), b.code) << b.bits;
}

TEST(LpcmCodes, ChannelAssignment) {
    struct Case {
        uint16_t channels;
        bool hasMask;
        uint32_t mask;
        uint8_t assignment;
    };
    const Case cases[] = {
        {2, false, 0, 3},    {2, true, 0x3, 3},    {4, false, 0, 4},
        {4, true, 0x107, 6},                       // L C R S
        {4, true, 0x00F, 4}, {4, true, 0x10B, 5},  // L R S + LFE
        {4, true, 0x033, 7},                       // L R LS RS
        {6, true, 0x03F, 9}, {6, true, 0x037, 8},  {6, true, 0x60F, 9},
        {6, false, 0, 8},    {8, true, 0x63F, 11}, {8, true, 0x637, 10},
        {1, true, 0x4, 3},   {3, true, 0x7, 3},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LpcmChannelAssignment(c.channels, c.hasMask, c.mask), c.assignment)
            << c.channels << " " << std::hex << c.mask;
}

TEST(LpcmParser, FfmpegWavAgreesWithFfprobe) {
    VX_REQUIRE_FFMPEG();
    test::TempDir dir;
    std::vector<uint8_t> bytes = ReadWholeFile(test::Fixture("es/a_pcm16.wav"));
    AudioParse p = ParseBytes(dir, "a.wav", bytes);
    ASSERT_EQ(p.result, kParseOk);
    EXPECT_TRUE(p.messages.empty());
    ASSERT_TRUE(p.readBack);
    const SIF_HEADER& h = p.Header();
    EXPECT_EQ(h.StreamCodingType, 0x80);
    EXPECT_EQ(long(h.NumberOfAus), audio_test::FfprobeSampleCount(dir / "a.wav") / 240);
    EXPECT_EQ(h.AuDuration, 5.0);
    EXPECT_EQ(h.BitRate, 1536000u);
    // The samples follow a LIST chunk.
    EXPECT_EQ(h.FirstAuOffset, FindData(bytes));
    EXPECT_GT(h.FirstAuOffset, 44u);
    EXPECT_EQ(h.DataLength, bytes.size() - h.FirstAuOffset);

    const CLpcmSif* sif = p.Lpcm();
    ASSERT_NE(sif, nullptr);
    EXPECT_EQ(sif->Format.AuSize(), 960u);
    EXPECT_EQ(sif->GetPresentationType(), 3);
    EXPECT_EQ(sif->GetSamplingFrequency(), 1);
    EXPECT_EQ(sif->GetBitsCode(), 1);
    EXPECT_EQ(sif->GetChannelAssignment(), 3);

    ESI esi;
    sif->FillEsi(esi);
    EXPECT_EQ(esi.StreamType, 0x80);
    ASSERT_TRUE(esi.HdmvLpcmRegistrationDescriptor.has_value());
    EXPECT_EQ(esi.HdmvLpcmRegistrationDescriptor->AudioPresentationType, 3);
    EXPECT_EQ(esi.HdmvLpcmRegistrationDescriptor->SamplingFrequency, 1);
    EXPECT_EQ(esi.HdmvLpcmRegistrationDescriptor->BitsPerSample, 1);
    STREAM_INFO info;
    sif->FillStreamInfo(info);
    EXPECT_EQ(info.StreamCodingType, 0x80);
    EXPECT_EQ(info.PresentationType, 3);
    EXPECT_EQ(info.SamplingFrequency, 1);
    STREAM_ATTRIBUTES attributes;
    sif->FillStreamAttributes(attributes);
    EXPECT_EQ(attributes.bytes[0], 0x31);

    for (uint32_t n : {0u, h.NumberOfAus - 1}) {
        SIF_AU au;
        ASSERT_TRUE(p.info.GetAu(n, au));
        EXPECT_EQ(au.Size, 960u);
        EXPECT_LE(au.Offset + au.Size, bytes.size());
    }
}

TEST(LpcmParser, FfmpegMultiChannelWavs) {
    VX_REQUIRE_FFMPEG();
    test::TempDir dir;
    // ffmpeg writes WAVE_FORMAT_EXTENSIBLE with a speaker mask for more than two channels.
    std::string six = dir / "six.wav";
    ASSERT_TRUE(
        audio_test::RunFfmpeg("-f lavfi -i sine=frequency=1000:sample_rate=48000 -t 0.1 -af "
                              "aformat=channel_layouts=5.1 -c:a pcm_s24le " +
                              six));
    AudioParse p = ParseAudio(six);
    ASSERT_EQ(p.result, kParseOk);
    ASSERT_TRUE(p.readBack);
    EXPECT_EQ(long(p.Header().NumberOfAus), audio_test::FfprobeSampleCount(six) / 240);
    ASSERT_NE(p.Lpcm(), nullptr);
    EXPECT_TRUE(p.Lpcm()->Format.IsExtensible());
    EXPECT_EQ(p.Lpcm()->GetChannelAssignment(), 9);
    EXPECT_EQ(p.Lpcm()->GetPresentationType(), 6);
    EXPECT_EQ(p.Lpcm()->GetBitsCode(), 3);

    std::string eight = dir / "eight.wav";
    ASSERT_TRUE(
        audio_test::RunFfmpeg("-f lavfi -i sine=frequency=1000:sample_rate=192000 -t 0.05 -af "
                              "aformat=channel_layouts=7.1 -c:a pcm_s24le " +
                              eight));
    AudioParse rejected = ParseAudio(eight);
    EXPECT_EQ(rejected.result, kWrongChannelCount);
    EXPECT_EQ(rejected.messages, Only("Wrong channel count! "));
    EXPECT_FALSE(rejected.sifLeft);
}

TEST(LpcmParser, AcceptedLayouts) {
    struct Case {
        const char* name;
        Wav wav;
        uint32_t firstAu;  // offset of the samples
        uint64_t dataLength;
        uint8_t assignment;
        uint8_t bitsCode;
    };
    Wav fmt18;
    fmt18.fmtLength = 18;
    Wav mask3F = Extensible(6, 0x3F);
    Wav mask37 = Extensible(6, 0x37);
    Wav longExtension = Extensible(2, 0x3);
    longExtension.cbSize = 26;
    Wav oddChunk;
    oddChunk.chunksBefore = Chunk("LIST", {1, 2, 3, 4, 5});
    Wav beyondFile;
    beyondFile.declaredData = 100000;
    Wav chunkAfterData;
    chunkAfterData.dataBytes = 1920;
    chunkAfterData.chunksAfter = Chunk("id3 ", std::vector<uint8_t>(10, 0));
    Wav hiRes = Extensible(8, 0x63F, 24, 96000);
    hiRes.dataBytes = 2 * 11520;
    Wav rate192 = Extensible(6, 0x60F, 24, 192000);
    rate192.dataBytes = 3 * 17280;
    Wav bits20 = Extensible(2, 0x3, 24);
    bits20.validBits = 20;
    Wav plain20;
    plain20.bits = 20;

    const Case cases[] = {
        {"16-byte format chunk", Wav{}, 44, 34560, 3, 1},
        {"18-byte format chunk", fmt18, 46, 34560, 3, 1},
        {"mask 0x3F", mask3F, 68, 34560, 9, 3},
        {"mask 0x37, no LFE", mask37, 68, 34560, 8, 3},
        {"extension longer than 22 bytes", longExtension, 72, 34560, 3, 3},
        {"odd-sized chunk before the data", oddChunk, 58, 34560, 3, 1},
        {"data length beyond the file", beyondFile, 44, 34560, 3, 1},
        {"chunk after the data", chunkAfterData, 44, 1920, 3, 1},
        {"96 kHz 8 channels", hiRes, 68, 2 * 11520, 11, 3},
        {"192 kHz 6 channels", rate192, 68, 3 * 17280, 9, 3},
        {"20 bits in 24", bits20, 68, 34560, 3, 2},
        {"plain 20 bits", plain20, 44, 34560, 3, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        AudioParse p = ParseBytes(dir, "w.wav", MakeWav(c.wav));
        ASSERT_EQ(p.result, kParseOk);
        ASSERT_TRUE(p.readBack);
        const CLpcmSif* sif = p.Lpcm();
        ASSERT_NE(sif, nullptr);
        EXPECT_EQ(p.Header().FirstAuOffset, c.firstAu);
        EXPECT_EQ(p.Header().DataLength, c.dataLength);
        EXPECT_EQ(p.Header().NumberOfAus, c.dataLength / sif->Format.AuSize());
        EXPECT_EQ(p.Header().BitRate, sif->Format.AvgBytesPerSec * 8);
        EXPECT_EQ(sif->GetChannelAssignment(), c.assignment);
        EXPECT_EQ(sif->GetBitsCode(), c.bitsCode);
    }
}

TEST(LpcmParser, RejectedLayouts) {
    struct Case {
        const char* name;
        Wav wav;
        int result;
    };
    auto with = [](auto change) {
        Wav w;
        change(w);
        return w;
    };
    Wav shortExtension = Extensible(2, 0x3);
    shortExtension.cbSize = 20;
    shortExtension.fmtLength = 38;
    Wav extensionCut = Extensible(2, 0x3);
    extensionCut.fmtLength = 30;
    Wav tooManyValidBits = Extensible(2, 0x3);
    tooManyValidBits.validBits = 28;
    Wav floatSubFormat = Extensible(2, 0x3, 32);
    floatSubFormat.subFormat[0] = 3;
    Wav container32 = Extensible(2, 0x3, 32);
    container32.validBits = 24;
    Wav rate192x8 = Extensible(8, 0x63F, 24, 192000);

    const Case cases[] = {
        {"44.1 kHz", with([](Wav& w) { w.rate = 44100; }), kWrongSampleRate},
        {"32 kHz", with([](Wav& w) { w.rate = 32000; }), kWrongSampleRate},
        {"8 bits", with([](Wav& w) { w.bits = 8; }), kWrongSampleBits},
        {"32 bits", with([](Wav& w) { w.bits = 32; }), kWrongSampleBits},
        {"24 bits in 4-byte containers", container32, kWrongSampleBits},
        {"plain 24 bits with block align 8", with([](Wav& w) {
             w.bits = 24;
             w.blockAlign = 8;
         }),
         kWrongSampleBits},
        {"mono", with([](Wav& w) { w.channels = 1; }), kWrongChannelCount},
        {"3 channels", with([](Wav& w) { w.channels = 3; }), kWrongChannelCount},
        {"10 channels", with([](Wav& w) { w.channels = 10; }), kWrongChannelCount},
        {"192 kHz 8 channels", rate192x8, kWrongChannelCount},
        {"byte rate off", with([](Wav& w) { w.avgBytes = 192001; }), kSyntaxIllegal},
        {"byte rate 0", with([](Wav& w) { w.avgBytes = 0; }), kSyntaxIllegal},
        {"IEEE float", with([](Wav& w) { w.tag = 3; }), kUnknownFormat},
        {"extension size 20", shortExtension, kUnknownFormat},
        {"extension cut by the chunk", extensionCut, kUnknownFormat},
        {"valid bits above container", tooManyValidBits, kUnknownFormat},
        {"float sub-format", floatSubFormat, kUnknownFormat},
        {"format chunk of 14 bytes", with([](Wav& w) { w.fmtLength = 14; }), kUnknownFormat},
        {"format chunk beyond the file", with([](Wav& w) {
             w.fmtLengthField = 0x7FFFFFF0;
             w.hasData = false;
         }),
         kUnknownFormat},
        {"no data chunk", with([](Wav& w) { w.hasData = false; }), kReadFileError},
        {"less than 5 ms of samples", with([](Wav& w) { w.dataBytes = 959; }), kReadFileError},
        {"chunk length past the end",
         with([](Wav& w) { w.chunksBefore = test::Hex("4C 49 53 54 FF FF FF FF 00 00 00 00"); }),
         kReadFileError},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        Wav wav = c.wav;
        std::vector<uint8_t> bytes = MakeWav(wav);
        if (bytes.size() < 44)
            bytes.resize(44, 0);  // long enough to be probed as WAV
        AudioParse p = ParseBytes(dir, "w.wav", bytes);
        EXPECT_EQ(p.result, c.result);
        EXPECT_EQ(p.messages, Only(ResultMessage(c.result)));
        EXPECT_FALSE(p.sifLeft);
    }
}

TEST(LpcmParser, WavFilesOfOtherTools) {
    struct Case {
        const char* file;
        int result;
    };
    const Case cases[] = {
        // 24-bit samples in 4-byte containers: BD LPCM carries them in 3 bytes.
        {"pcmwaveformat-24bit-4byte-48kHz-stereo.wav", kWrongSampleBits},
        {"waveformatextensible-24bit-4byte-48kHz-stereo.wav", kWrongSampleBits},
        {"waveformatex-16bit-44100Hz-stereo.wav", kWrongSampleRate},
        {"waveformatextensible-24bit-192kHz-mono.wav", kWrongChannelCount},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        test::TempDir dir;
        AudioParse p = ParseBytes(
            dir, "t.wav", ReadWholeFile(test::Fixture(std::string("third-party/wav/") + c.file)));
        EXPECT_EQ(p.result, c.result);
        EXPECT_EQ(p.messages, Only(ResultMessage(c.result)));
    }
}

TEST(LpcmParser, WavNamedAc3IsRecognisedByTheLpcmParser) {
    test::TempDir dir;
    AudioParse p = ParseBytes(dir, "sound.ac3", MakeWav(Wav{}));
    EXPECT_EQ(p.result, kParseOk);
    EXPECT_TRUE(p.messages.empty());
    ASSERT_TRUE(p.readBack);
    EXPECT_EQ(p.Header().StreamCodingType, 0x80);
}

TEST(LpcmSif, RecordInTheStreamInformationFile) {
    CLpcmSif sif;
    sif.Format.FormatTag = 0xFFFE;
    sif.Format.Channels = 6;
    sif.Format.SamplesPerSec = 48000;
    sif.Format.AvgBytesPerSec = 864000;
    sif.Format.BlockAlign = 18;
    sif.Format.BitsPerSample = 24;
    sif.Format.ExtensionSize = 26;  // as the WAV file had it
    sif.Format.ValidBitsPerSample = 20;
    sif.Format.ChannelMask = 0x3F;
    sif.Format.SubFormat = PCM_WAVE_FORMAT::kSubFormatPcm;
    LeWriter out;
    sif.Write(out);
    EXPECT_EQ(test::ToHex(out.Buffer()),
              "00 00 00 00 FE FF 06 00 80 BB 00 00 00 2F 0D 00 12 00 18 00 16 00 14 00 3F 00 "
              "00 00 01 00 00 00 00 00 10 00 80 00 00 AA 00 38 9B 71");
    CLpcmSif back;
    LeReader in(out.Buffer().data(), out.Buffer().size());
    back.Read(in);
    EXPECT_EQ(in.Remaining(), 0u);
    EXPECT_EQ(back.Format.ExtensionSize, 22);
    EXPECT_EQ(back.Format.ChannelMask, 0x3Fu);
    EXPECT_EQ(back.GetBitsCode(), 2);
    EXPECT_EQ(back.GetChannelAssignment(), 9);
    for (size_t cut = 0; cut < out.Position(); ++cut) {
        LeReader shortReader(out.Buffer().data(), cut);
        EXPECT_THROW(back.Read(shortReader), ParseError) << cut;
    }
    std::vector<uint8_t> otherSize = out.Buffer();
    otherSize[20] = 24;
    LeReader odd(otherSize.data(), otherSize.size());
    EXPECT_THROW(back.Read(odd), ParseError);

    CLpcmSif plain;
    plain.Format.Channels = 2;
    plain.Format.SamplesPerSec = 48000;
    LeWriter plainOut;
    plain.Write(plainOut);
    EXPECT_EQ(plainOut.Position(), 20u);
    EXPECT_FALSE(plain.Equals(sif));
}

TEST(LpcmSif, DescriptionsFollowTheSamplingFrequency) {
    struct Case {
        uint32_t rate;
        uint32_t rx;
        uint32_t eb;
    };
    for (const Case& c : {Case{48000, 20000000, 536832}, Case{96000, 20000000, 536832},
                          Case{192000, 30000000, 1073664}}) {
        CLpcmSif sif;
        sif.Format.SamplesPerSec = c.rate;
        StdList list = sif.MakeDescriptions();
        ASSERT_EQ(list.size(), 1u);
        EXPECT_NE(dynamic_cast<CLpcmStd*>(list[0].get()), nullptr);
        EXPECT_EQ(list[0]->Rx(), c.rx) << c.rate;
        EXPECT_EQ(list[0]->EbSize(), c.eb) << c.rate;
        EXPECT_TRUE(list[0]->TbMustEmptyEverySecond());
    }
}

}  // namespace
}  // namespace vx
