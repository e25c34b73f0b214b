#include "transport/psi.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/file.h"
#include "support.h"
#include "transport/ts_packet.h"

namespace vx {
namespace {

using test::Hex;
using test::ToHex;

const char* const kDiscStream = "disc-avc1080p24-ac3/BDMV/STREAM/00000.m2ts";
const char* const kCamcorder = "third-party/m2ts/M2TS.mts";
const char* const kCut = "third-party/m2ts/Test_H264_AC3.m2ts";

// The section of the first packet on this PID that starts one (all fixture tables fit in one).
std::vector<uint8_t> FirstSection(const char* fixture, int pid) {
    std::vector<uint8_t> file = ReadWholeFile(test::Fixture(fixture));
    for (size_t at = 0; at + 192 <= file.size(); at += 192) {
        const uint8_t* ts = file.data() + at + 4;
        if ((ReadBE16(ts + 1) & 0x1FFF) != pid || !(ts[1] & 0x40))
            continue;
        const uint8_t* section = ts + 5 + ts[4];
        size_t size = 3 + (ReadBE16(section + 1) & 0x0FFF);
        return std::vector<uint8_t>(section, section + size);
    }
    return {};
}

std::vector<uint8_t> BuildPmt(PMT& pmt) {
    std::vector<uint8_t> out;
    EXPECT_GT(pmt.Build(&out), 0u);
    return out;
}

// ---- CRC and the tables this system writes ------------------------------------------------

TEST(PsiDefaults, TablesAreWrittenByteForByte) {
    struct Case {
        const char* name;
        std::vector<uint8_t> built;
        std::string expected;
    };
    PAT pat;
    SIT sit;
    PMT pmt;
    std::vector<uint8_t> patBytes, sitBytes, pmtBytes;
    EXPECT_EQ(pat.Build(&patBytes), 20u);
    EXPECT_EQ(sit.Build(&sitBytes), 28u);
    EXPECT_EQ(pmt.Build(&pmtBytes), 28u);
    const Case cases[] = {
        {"PAT", patBytes, "00 B0 11 00 00 C1 00 00 00 00 E0 1F 00 01 E1 00 23 5A AB 82"},
        {"SIT", sitBytes,
         "7F B0 19 FF FF C1 00 00 F0 0A 63 08 C1 D4 C0 FF FF FF FF FF 00 01 80 00 94 CB 51 DA"},
        {"PMT", pmtBytes,
         "02 B0 19 00 01 C1 00 00 F0 01 F0 0C 05 04 48 44 4D 56 88 04 0F FF FF FC 9E 2C F3 C5"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ToHex(c.built), ToHex(Hex(c.expected))) << c.name;
        // A section followed by its own CRC has a CRC of zero.
        EXPECT_EQ(SectionCrc32(c.built.data(), c.built.size()), 0u) << c.name;
    }
    EXPECT_EQ(pat.SectionLength, 0x11);
    EXPECT_EQ(pat.CRC32, 0x235AAB82u);
    EXPECT_EQ(sit.CRC32, 0x94CB51DAu);
    EXPECT_EQ(sit.TransmissionInfoLength, 10);
    EXPECT_EQ(pmt.ProgramInfoLength, 12);
    EXPECT_EQ(pmt.SectionLength, 0x19);
}

TEST(PsiDefaults, MeasuringChangesNothing) {
    PMT pmt;
    auto esi = std::make_unique<ESI>();
    esi->StreamType = 0x1B;
    esi->CaptionServiceDescriptor.emplace();
    esi->CaptionServiceDescriptor->Services.Add(CAPTION_SERVICE_INFO{{'e', 'n', 'g'}, 1, 9});
    pmt.Streams.Add(std::move(esi));
    PAT pat;
    EXPECT_EQ(pat.Build(nullptr), 20u);
    EXPECT_EQ(pmt.Build(nullptr), 28u + 5 + 9);  // entry and a one-service caption descriptor
    EXPECT_EQ(pmt.SectionLength, 0);
    EXPECT_EQ(pmt.CRC32, 0u);
    EXPECT_EQ(pat.SectionLength, 0);
    EXPECT_EQ(
        pmt.Streams.GetAt(0)->CaptionServiceDescriptor->Services.GetAt(0)->CaptionServiceNumber, 9);
}

// ---- Sections of files made by other tools -------------------------------------------------

TEST(PsiFixtures, TablesReadFromOtherMultiplexers) {
    PMT pmt;
    std::vector<uint8_t> section = FirstSection(kDiscStream, 0x0100);
    ASSERT_EQ(pmt.Parse(section.data(), section.size()), int32_t(section.size()));
    EXPECT_EQ(pmt.PcrPid, 0x1001);
    EXPECT_EQ(pmt.HdmvCopyControlDescriptor.CaSystemId, 0x0FFF);
    EXPECT_EQ(ToHex(pmt.HdmvCopyControlDescriptor.BdSystemUseDescription), "FC FC");
    ASSERT_EQ(pmt.Streams.GetCount(), 2);
    const ESI& video = *pmt.Streams.GetAt(0);
    EXPECT_EQ(video.StreamType, 0x1B);
    EXPECT_EQ(video.ElementaryPid, 0x1011);
    ASSERT_TRUE(video.HdmvVideoRegistrationDescriptor);
    EXPECT_EQ(video.HdmvVideoRegistrationDescriptor->VideoFormat, 6);  // 1080p
    EXPECT_EQ(video.HdmvVideoRegistrationDescriptor->FrameRate, 1);    // 23.976
    EXPECT_EQ(video.HdmvVideoRegistrationDescriptor->AspectRatio, 3);  // 16:9
    const ESI& audio = *pmt.Streams.GetAt(1);
    EXPECT_EQ(audio.StreamType, 0x81);
    EXPECT_EQ(audio.ElementaryPid, 0x1100);
    ASSERT_TRUE(audio.Ac3RegistrationDescriptor && audio.Ac3AudioDescriptor);
    EXPECT_EQ(audio.Ac3AudioDescriptor->Bsid, 8);
    EXPECT_EQ(audio.Ac3AudioDescriptor->BitRateCode, 10);  // 192 kbit/s
    EXPECT_EQ(audio.Ac3AudioDescriptor->NumChannels, 2);
    EXPECT_FALSE(audio.Iso639LanguageDescriptor);

    PAT pat;
    section = FirstSection(kCut, 0x0000);
    ASSERT_GT(pat.Parse(section.data(), section.size()), 0);
    EXPECT_EQ(pat.TransportStreamId, 1);
    ASSERT_EQ(pat.Programs.GetCount(), 2);
    EXPECT_EQ(pat.Programs.GetAt(1)->ProgramMapPid, 0x0100);
    EXPECT_EQ(pat.CRC32, 0x24AC4884u);

    SIT sit;
    section = FirstSection(kCut, 0x001F);
    ASSERT_EQ(sit.Parse(section.data(), section.size()), int32_t(section.size()));
    EXPECT_EQ(sit.PartialTransportStreamDescriptor.PeakRate, 0x15AAE);
    EXPECT_EQ(sit.ServiceID, 1);
    EXPECT_EQ(sit.CRC32, 0x341EE74Eu);
}

TEST(PsiFixtures, RoundTripOfProgramTables) {
    // Sections whose descriptors are in the order this system writes come back unchanged.
    struct Case {
        const char* fixture;
        int pid;
    };
    for (const Case& c : {Case{kDiscStream, 0x0100}, Case{kCamcorder, 0x0100},
                          Case{kDiscStream, 0x0000}, Case{kCut, 0x0000}}) {
        std::vector<uint8_t> section = FirstSection(c.fixture, c.pid);
        std::vector<uint8_t> built;
        if (c.pid == 0x0100) {
            PMT pmt;
            ASSERT_GT(pmt.Parse(section.data(), section.size()), 0) << c.fixture;
            pmt.Build(&built);
        } else {
            PAT pat;
            ASSERT_GT(pat.Parse(section.data(), section.size()), 0) << c.fixture;
            pat.Build(&built);
        }
        EXPECT_EQ(ToHex(built), ToHex(section)) << c.fixture << " PID " << c.pid;
    }
}

TEST(PsiFixtures, RewrittenTablesOfTheCutStream) {
    // This multiplexer puts the AVC video descriptor before the registration descriptor and
    // sets the reserved bits after the AVC flags; the rewritten PMT has the registration first
    // and those bits zero. Its SIT has the private indicator set in byte 1 (F0), rewritten B0.
    PMT pmt;
    std::vector<uint8_t> section = FirstSection(kCut, 0x0100);
    ASSERT_GT(pmt.Parse(section.data(), section.size()), 0);
    const ESI& video = *pmt.Streams.GetAt(0);
    ASSERT_TRUE(video.AvcVideoDescriptor);
    EXPECT_EQ(video.AvcVideoDescriptor->AvcProfile, 100);
    EXPECT_EQ(video.AvcVideoDescriptor->AvcLevel, 41);
    EXPECT_EQ(video.AvcVideoDescriptor->AVC_still_present, 1);
    const ESI& audio = *pmt.Streams.GetAt(1);
    ASSERT_TRUE(audio.Iso639LanguageDescriptor);
    EXPECT_EQ(std::string(audio.Iso639LanguageDescriptor->Language.data(), 3), "eng");

    std::vector<uint8_t> expected(section.begin(), section.end() - 4);
    std::vector<uint8_t> videoInfo = Hex("05 08 48 44 4D 56 FF 1B 61 3F 28 04 64 00 29 80");
    std::copy(videoInfo.begin(), videoInfo.end(), expected.begin() + 29);
    std::vector<uint8_t> rebuilt = BuildPmt(pmt);
    EXPECT_EQ(ToHex(std::vector<uint8_t>(rebuilt.begin(), rebuilt.end() - 4)), ToHex(expected));

    SIT sit;
    section = FirstSection(kCut, 0x001F);
    ASSERT_GT(sit.Parse(section.data(), section.size()), 0);
    std::vector<uint8_t> built;
    sit.Build(&built);
    section[1] = 0xB0;
    EXPECT_EQ(ToHex(std::vector<uint8_t>(built.begin(), built.end() - 4)),
              ToHex(std::vector<uint8_t>(section.begin(), section.end() - 4)));
}

// ---- Descriptors --------------------------------------------------------------------------

TEST(PsiDescriptors, CaptionServicesAreRenumberedWhenWritten) {
    struct Service {
        const char* language;
        uint8_t digital, number, line21, easyReader, wide;
    };
    struct Case {
        std::vector<Service> services;
        std::string expected;  // the descriptor
    };
    const Case cases[] = {
        // Line-21 first (field kept), digital second: written with number 2 whatever it had.
        {{{"eng", 0, 1, 1, 1, 0}, {"spa", 1, 7, 0, 0, 1}},
         "86 0D E2 65 6E 67 7F BF FF 73 70 61 C2 7F FF"},
        {{{"fra", 1, 30, 0, 1, 1}}, "86 07 E1 66 72 61 C1 FF FF"},
        {{}, "86 01 E0"},
    };
    for (const Case& c : cases) {
        ESI esi;
        esi.StreamType = 0x1B;
        auto& d = esi.CaptionServiceDescriptor.emplace();
        for (const Service& s : c.services) {
            CAPTION_SERVICE_INFO info;
            std::copy(s.language, s.language + 3, info.Language.begin());
            info.DigitalCC = s.digital;
            info.CaptionServiceNumber = s.number;
            info.Line21Field = s.line21;
            info.EasyReader = s.easyReader;
            info.WideAspectRatio = s.wide;
            d.Services.Add(info);
        }
        ByteWriter w;
        esi.Write(w);
        std::vector<uint8_t> bytes = w.Take();
        std::vector<uint8_t> info(bytes.begin() + 5, bytes.end());
        EXPECT_EQ(ToHex(info), ToHex(Hex(c.expected)));
        for (int i = 0; i < d.Services.GetCount(); ++i)
            EXPECT_EQ(d.Services.GetAt(i)->CaptionServiceNumber, i + 1);

        ESI back;
        ASSERT_EQ(back.Parse(bytes.data(), bytes.size()), int32_t(bytes.size()));
        ASSERT_TRUE(back.CaptionServiceDescriptor);
        ASSERT_EQ(back.CaptionServiceDescriptor->Services.GetCount(), int(c.services.size()));
        for (size_t i = 0; i < c.services.size(); ++i) {
            const CAPTION_SERVICE_INFO& s = *back.CaptionServiceDescriptor->Services.GetAt(int(i));
            EXPECT_EQ(s.DigitalCC, c.services[i].digital);
            EXPECT_EQ(s.Line21Field, c.services[i].digital ? 0 : c.services[i].line21);
            EXPECT_EQ(s.EasyReader, c.services[i].easyReader);
            EXPECT_EQ(s.WideAspectRatio, c.services[i].wide);
        }
    }
}

// The descriptors a stream type reads, shown by what is written back.
TEST(PsiDescriptors, DescriptorsReadAndWrittenPerStreamType) {
    struct Case {
        const char* what;
        uint8_t streamType;
        std::string info;     // ES info as stored
        std::string written;  // ES info as written back
    };
    const Case cases[] = {
        {"LPCM registration and language", 0x80, "05 08 48 44 4D 56 FF 80 61 40 0A 04 6A 70 6E 00",
         "05 08 48 44 4D 56 FF 80 61 7F 0A 04 6A 70 6E 00"},
        {"PG: only a language", 0x90, "0A 04 66 72 61 00", "0A 04 66 72 61 00"},
        {"video does not read a language", 0x02, "05 08 48 44 4D 56 FF 02 43 2F 0A 04 65 6E 67 00",
         "05 08 48 44 4D 56 FF 02 43 2F"},
        {"MPEG-2 video writes no AVC descriptors", 0x02, "28 04 4D 40 28 00 2A 02 7E 1F", ""},
        {"AVC walk: HRD, video registration, AVC, caption", 0x1B,
         "2A 02 7E 1F 05 08 48 44 4D 56 FF 1B 61 3F 28 04 64 00 29 00 86 07 E1 65 6E 67 C1 BF FF",
         "05 08 48 44 4D 56 FF 1B 61 3F 28 04 64 00 29 00 2A 02 7E 1F 86 07 E1 65 6E 67 C1 BF FF"},
        {"AVC walk ends at an unknown tag", 0x1B, "52 01 00 05 08 48 44 4D 56 FF 1B 61 3F", ""},
        {"VC-1 sub-descriptors with pads, then caption", 0xEA,
         "05 0E 56 43 2D 31 00 03 F5 12 34 FF 02 01 01 A4 86 01 E0",
         "05 0C 56 43 2D 31 01 A4 02 01 03 F5 12 34 86 01 E0"},
        {"VC-1 sub-descriptors end at an unknown sub-tag", 0xEA, "05 09 56 43 2D 31 01 A4 09 02 01",
         "05 06 56 43 2D 31 01 A4"},
        {"AC-3: registration, audio, language", 0xA1,
         "05 04 41 43 2D 33 81 04 08 28 04 00 0A 04 65 6E 67 00",
         "05 04 41 43 2D 33 81 04 08 28 04 00 0A 04 65 6E 67 00"},
        {"AC-3 audio descriptor longer than written: the rest skipped", 0x81,
         "05 04 41 43 2D 33 81 06 08 28 04 00 77 77", "05 04 41 43 2D 33 81 04 08 28 04 00"},
        {"AC-3 without registration first: no language behind another tag", 0x81,
         "52 01 00 0A 04 65 6E 67 00", ""},
        {"a language needs 6 bytes left", 0x91, "0A 03 65 6E 67", ""},
        {"unknown descriptors are dropped", 0x82, "05 08 48 44 4D 56 FF 82 61 FF", ""},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> info = Hex(c.info);
        std::vector<uint8_t> entry = {c.streamType, 0xF1, 0x00, uint8_t(0xF0 | info.size() >> 8),
                                      uint8_t(info.size())};
        entry.insert(entry.end(), info.begin(), info.end());
        ESI esi;
        ASSERT_EQ(esi.Parse(entry.data(), entry.size()), int32_t(entry.size())) << c.what;
        ByteWriter w;
        esi.Write(w);
        std::vector<uint8_t> bytes = w.Take();
        EXPECT_EQ(ToHex(std::vector<uint8_t>(bytes.begin() + 5, bytes.end())),
                  ToHex(Hex(c.written)))
            << c.what;
        EXPECT_EQ(esi.ES_IfoLength, bytes.size() - 5) << c.what;
    }
}

TEST(PsiDescriptors, DualMonoAc3DescriptorCarriesItsTail) {
    AC3_AUDIO_DESCRIPTOR d;
    d.NumChannels = 0;
    d.BsMode = 0;
    d.LangCode = 0x09;
    d.LangCode2 = 0x0A;
    d.MainID = 5;
    d.Priority = 2;
    d.Text = {'A', 'B'};
    d.TextCode = 1;
    d.LanguageFlag = 1;
    d.LanguageFlag2 = 1;
    d.Language = {'d', 'e', 'u'};
    d.Language2 = {'f', 'r', 'a'};
    d.AdditionInfo = {0x42};
    ByteWriter w;
    d.Write(w);
    std::vector<uint8_t> bytes = w.Take();
    EXPECT_EQ(ToHex(bytes), ToHex(Hex("81 11 08 00 01 09 0A B7 05 41 42 FF 64 65 75 66 72 61 42")));
    EXPECT_EQ(d.DescriptorLength, 0x11);

    AC3_AUDIO_DESCRIPTOR back;
    back.AuFrameSize = 768;  // the stream part is not the descriptor's
    ASSERT_EQ(back.Parse(bytes.data(), bytes.size()), int32_t(bytes.size()));
    ByteWriter again;
    back.Write(again);
    EXPECT_EQ(ToHex(again.Take()), ToHex(bytes));
    EXPECT_EQ(back.AuFrameSize, 768u);

    // From bsmod 2 on the service byte is the associated-service flags.
    d.BsMode = 2;
    d.AsvcFlags = 0x3C;
    ByteWriter w2;
    d.Write(w2);
    EXPECT_EQ(w2.Buffer()[7], 0x3C);
}

TEST(PsiDescriptors, StreamLanguageInTheDescription) {
    struct Case {
        const char* what;
        const char* iso639;     // nullptr: no ISO 639 descriptor
        const char* ac3;        // nullptr: no AC-3 descriptor language
        const char* expected;   // nullptr: no "Language" key
    };
    const Case cases[] = {
        {"neither", nullptr, nullptr, nullptr},
        {"ISO 639 only", "fra", nullptr, "fra"},
        {"dual-mono AC-3 only", nullptr, "deu", "deu"},
        {"both: the ISO 639 one", "jpn", "deu", "jpn"},
    };
    for (const Case& c : cases) {
        ESI esi;
        esi.StreamType = 0x81;
        if (c.iso639)
            std::copy(c.iso639, c.iso639 + 3, esi.Iso639LanguageDescriptor.emplace().Language.begin());
        if (c.ac3) {
            AC3_AUDIO_DESCRIPTOR& d = esi.Ac3AudioDescriptor.emplace();
            d.NumChannels = 0;
            d.LanguageFlag = 1;
            std::copy(c.ac3, c.ac3 + 3, d.Language.begin());
        }
        Json j = esi.ToJson();
        if (c.expected)
            EXPECT_EQ(j.value("Language", ""), c.expected) << c.what;
        else
            EXPECT_FALSE(j.contains("Language")) << c.what;
    }
}

TEST(PsiDescriptors, ShortAc3DescriptorsAreRejected) {
    struct Case {
        std::string bytes;
        int32_t used;
    };
    const Case cases[] = {
        {"81 02 08 28", 0},           // fewer than the three fixed bytes
        {"81 05 08 28 04", 0},        // length past the buffer
        {"82 03 08 28 04", 0},        // another tag
        {"81 03 08 28 04", 5},        // no language code: kept at 0
        {"81 05 08 28 00 07 0A", 7},  // dual mono, tail cut after langcod2
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> b = Hex(c.bytes);
        AC3_AUDIO_DESCRIPTOR d;
        EXPECT_EQ(d.Parse(b.data(), b.size()), c.used) << c.bytes;
    }
    std::vector<uint8_t> b = Hex("81 05 08 28 00 07 0A");
    AC3_AUDIO_DESCRIPTOR d;
    d.Parse(b.data(), b.size());
    EXPECT_EQ(d.LangCode, 7);
    EXPECT_EQ(d.LangCode2, 0x0A);
    EXPECT_TRUE(d.Text.empty());
}

// ---- Damaged sections ---------------------------------------------------------------------

// A PMT section with one ES entry; the CRC is appended and section_length set.
std::vector<uint8_t> Section(const std::string& body) {
    std::vector<uint8_t> s = Hex("02 B0 00 00 01 C1 00 00 F0 01");
    std::vector<uint8_t> b = Hex(body);
    s.insert(s.end(), b.begin(), b.end());
    size_t length = s.size() - 3 + 4;
    s[1] = uint8_t(0xB0 | length >> 8);
    s[2] = uint8_t(length);
    uint32_t crc = SectionCrc32(s.data(), s.size());
    s.push_back(uint8_t(crc >> 24));
    s.push_back(uint8_t(crc >> 16));
    s.push_back(uint8_t(crc >> 8));
    s.push_back(uint8_t(crc));
    return s;
}

TEST(PsiDamaged, StoredLengthsAreCheckedAgainstTheSection) {
    struct Case {
        const char* what;
        std::string body;  // from program_info_length on
        int streams;
        bool registration;  // the program's 05 descriptor was read
        bool language;      // the first stream's language was read
    };
    const Case cases[] = {
        {"sound", "F0 06 05 04 48 44 4D 57 90 F2 00 F0 06 0A 04 6A 70 6E 00", 1, true, true},
        {"program info past the section", "FF FF 05 04 48 44 4D 57 90 F2 00 F0 06", 0, true, false},
        {"program descriptor length past program info", "F0 04 05 08 48 44 4D 57 90 F2 00 F0 00", 1,
         false, false},
        {"ES info past the section", "F0 00 90 F2 00 FF FF 0A 04 6A 70 6E 00", 1, false, true},
        {"descriptor past the ES info", "F0 00 90 F2 00 F0 04 0A 04 6A 70 6E 00", 1, false, false},
        {"trailing bytes too few for an entry", "F0 00 90 F2 00 F0 00 81 F1", 1, false, false},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> s = Section(c.body);
        PMT pmt;
        ASSERT_EQ(pmt.Parse(s.data(), s.size()), int32_t(s.size())) << c.what;
        EXPECT_EQ(pmt.Streams.GetCount(), c.streams) << c.what;
        EXPECT_EQ(pmt.HdmvRegistrationDescriptor.FormatIdentifier[3], c.registration ? 'W' : 'V')
            << c.what;
        if (pmt.Streams.GetCount() > 0) {
            EXPECT_EQ(bool(pmt.Streams.GetAt(0)->Iso639LanguageDescriptor), c.language) << c.what;
        }
        // Whatever was read is written as a well-formed section.
        std::vector<uint8_t> built = BuildPmt(pmt);
        PMT again;
        ASSERT_EQ(again.Parse(built.data(), built.size()), int32_t(built.size())) << c.what;
        EXPECT_EQ(ToHex(BuildPmt(again)), ToHex(built)) << c.what;
    }
}

TEST(PsiDamaged, SectionsThatCannotBeRead) {
    std::vector<uint8_t> good = Section("F0 00");
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        size_t size;
    };
    std::vector<uint8_t> shortLength = good;
    shortLength[2] = 12;  // below the 9 header bytes and the CRC
    const Case cases[] = {
        {"empty", good, 0},
        {"header cut", good, 11},
        {"section longer than the buffer", good, good.size() - 1},
        {"section_length below its minimum", shortLength, shortLength.size()},
    };
    for (const Case& c : cases) {
        PMT pmt;
        EXPECT_EQ(pmt.Parse(c.bytes.data(), c.size), 0) << c.what;
    }

    // PAT and SIT parse what lies inside the buffer, leaving room for their CRC.
    PAT pat;
    std::vector<uint8_t> patBytes =
        Hex("00 B0 31 00 00 C1 00 00 00 00 E0 1F 00 01 E1 00 00 02 E2 00 AA BB");
    EXPECT_EQ(pat.Parse(patBytes.data(), patBytes.size()), 16);
    EXPECT_EQ(pat.Programs.GetCount(), 2);
    EXPECT_EQ(pat.CRC32, 0u);
    EXPECT_EQ(pat.Parse(patBytes.data(), 11), 0);

    SIT sit;
    std::vector<uint8_t> sitBytes =
        Hex("7F B0 19 FF FF C1 00 00 FF FF 63 08 C1 D4 C0 FF FF FF FF FF");
    sitBytes.resize(40, 0xAA);
    EXPECT_EQ(sit.Parse(sitBytes.data(), 27), 0);
    // The transmission loop runs past the section: its bytes are kept up to the section end.
    EXPECT_EQ(sit.Parse(sitBytes.data(), sitBytes.size()), 28);
    EXPECT_EQ(sit.PartialTransportStreamDescriptor.PeakRate, 120000u);
    EXPECT_EQ(sit.MoreTransmissionDescriptors.size(), 8u);
    EXPECT_EQ(sit.ServiceID, 1);  // not reached: the default
    std::vector<uint8_t> built;
    ASSERT_EQ(sit.Build(&built), 36u);
    SIT again;
    ASSERT_EQ(again.Parse(built.data(), built.size()), int32_t(built.size()));
    EXPECT_EQ(again.MoreTransmissionDescriptors, sit.MoreTransmissionDescriptors);
}

}  // namespace
}  // namespace vx
