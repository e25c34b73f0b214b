#include "transport/ts_packet.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "foundation/file.h"
#include "support.h"
#include "transport/pid.h"
#include "ts_builders.h"

namespace vx {
namespace {

using test::Hex;
using test::ToHex;
using test::TsPacket;

std::vector<uint8_t> Filled(size_t n = kTransportPacketSize) {
    return std::vector<uint8_t>(n, 0xFF);
}

// The expected 188 bytes: the given start, then 0xFF.
std::string PacketHex(const std::string& start) {
    std::vector<uint8_t> p = Hex(start);
    p.resize(kTransportPacketSize, 0xFF);
    return ToHex(p);
}

std::vector<uint8_t> Section(PMT& pmt) {
    std::vector<uint8_t> s;
    pmt.Build(&s);
    return s;
}

// ---- The table packets this system writes ---------------------------------------------------

TEST(TsTablePackets, DefaultPacketsByteForByte) {
    auto pat = TransportPacket::MakePatPacket();
    auto sit = TransportPacket::MakeSitPacket();
    auto pmt = TransportPacket::MakePmtPacket();
    auto pcr = TransportPacket::MakePcrPacket();

    std::vector<uint8_t> out = Filled();
    EXPECT_EQ(pat->Write(out.data()), 25);
    EXPECT_EQ(ToHex(out), PacketHex("47 40 00 10 00 00 B0 11 00 00 C1 00 00 00 00 E0 1F 00 01 E1 "
                                    "00 23 5A AB 82"));

    out = Filled();
    EXPECT_EQ(sit->Write(out.data()), 33);
    EXPECT_EQ(ToHex(out), PacketHex("47 40 1F 10 00 7F B0 19 FF FF C1 00 00 F0 0A 63 08 C1 D4 C0 "
                                    "FF FF FF FF FF 00 01 80 00 94 CB 51 DA"));

    out = Filled();
    std::vector<uint8_t> section = Section(*pmt->PMT);
    EXPECT_EQ(pmt->WriteSectionPacket(out.data(), section.data(), section.size(), true), 28);
    EXPECT_EQ(ToHex(out), PacketHex("47 41 00 10 00 02 B0 19 00 01 C1 00 00 F0 01 F0 0C 05 04 48 "
                                    "44 4D 56 88 04 0F FF FF FC 9E 2C F3 C5"));

    // 27 MHz value 27,000,045: base 90000, extension 45.
    pcr->AdaptationField->PCR = ClockReference::FromTicks(27000045);
    out = Filled();
    EXPECT_EQ(pcr->Write(out.data()), 188);
    EXPECT_EQ(ToHex(out), PacketHex("47 10 01 20 B7 10 00 00 AF C8 7E 2D"));
    EXPECT_EQ(pcr->AdaptationField->AdaptationFieldLength, 183);
    EXPECT_EQ(pcr->AdaptationField->PCR.Value(), 27000045u);
}

TEST(TsTablePackets, ContinuityCountersWrapPerPid) {
    auto pat = TransportPacket::MakePatPacket();
    auto sit = TransportPacket::MakeSitPacket();
    auto pcr = TransportPacket::MakePcrPacket();
    auto pmt = TransportPacket::MakePmtPacket();
    // A PMT section of two packets.
    pmt->PMT->PrivateInfoDescriptor.emplace().Bytes.assign(200, 0x11);
    std::vector<uint8_t> section = Section(*pmt->PMT);
    ASSERT_GT(section.size(), 183u);

    std::vector<int> patCounters, sitCounters, pcrCounters, pmtCounters;
    for (int round = 0; round < 17; ++round) {
        std::vector<uint8_t> out = Filled();
        pat->Write(out.data());
        patCounters.push_back(out[3] & 0x0F);
        sit->Write(out.data());
        sitCounters.push_back(out[3] & 0x0F);
        pcr->Write(out.data());
        pcrCounters.push_back(out[3] & 0x0F);
        size_t done = 0;
        for (bool first = true; done < section.size(); first = false) {
            done += size_t(pmt->WriteSectionPacket(out.data(), section.data() + done,
                                                   section.size() - done, first));
            pmtCounters.push_back(out[3] & 0x0F);
        }
    }
    std::vector<int> wrapped, pmtWrapped;
    for (int i = 0; i < 17; ++i) wrapped.push_back(i % 16);
    for (int i = 0; i < 34; ++i) pmtWrapped.push_back(i % 16);
    EXPECT_EQ(patCounters, wrapped);
    EXPECT_EQ(sitCounters, wrapped);
    EXPECT_EQ(pmtCounters, pmtWrapped);
    // A packet without payload does not count (MPEG-2 systems).
    EXPECT_EQ(pcrCounters, std::vector<int>(17, 0));
}

TEST(TsTablePackets, StuffingGivesAnAdaptationFieldOfTheAskedSize) {
    struct Case {
        uint8_t control;
        int count;
        bool ok;
        uint8_t controlAfter;
        std::string field;  // the adaptation field as written
    };
    const Case cases[] = {
        {1, 1, true, 3, "00"},    {1, 2, true, 3, "01 00"},    {1, 5, true, 3, "04 00 FF FF FF"},
        {3, 2, true, 3, "01 00"}, {0, 3, true, 2, "02 00 FF"}, {2, 1, true, 2, "00"},
        {1, 0, false, 1, ""},     {1, -4, false, 1, ""},       {1, 185, false, 1, ""},
    };
    for (const Case& c : cases) {
        TransportPacket p;
        p.PID = 0x1100;
        p.AdaptationFieldControl = c.control;
        EXPECT_EQ(p.SetStuffing(c.count), c.ok) << c.count;
        EXPECT_EQ(p.AdaptationFieldControl, c.controlAfter) << c.count;
        if (!c.ok) {
            EXPECT_FALSE(p.AdaptationField) << c.count;
            continue;
        }
        std::vector<uint8_t> out = Filled();
        ASSERT_EQ(p.Write(out.data()), 4 + c.count) << c.count;
        EXPECT_EQ(ToHex(std::vector<uint8_t>(out.begin() + 4, out.begin() + 4 + c.count)),
                  ToHex(Hex(c.field)))
            << c.count;
        if (c.controlAfter == 3) {
            EXPECT_EQ(p.PayloadSize(), size_t(184 - c.count)) << c.count;
        }
    }
    // The largest field fills the packet.
    TransportPacket full;
    full.PID = 0x1011;
    ASSERT_TRUE(full.SetStuffing(184));
    std::vector<uint8_t> out(188, 0);
    EXPECT_EQ(full.Write(out.data()), 188);
    EXPECT_EQ(out[4], 183);
    EXPECT_EQ(full.PayloadSize(), 0u);
}

// ---- PES headers ----------------------------------------------------------------------------

TEST(TsPes, TimeStampLayouts) {
    struct Case {
        uint8_t flag;
        uint64_t pts, dts;
        std::string header;
    };
    const Case cases[] = {
        {2, 0, 0, "00 00 01 E0 00 00 80 80 05 21 00 01 00 01"},
        {2, 0x1FFFFFFFF, 0, "00 00 01 E0 00 00 80 80 05 2F FF FF FF FF"},
        {2, (uint64_t(1) << 32) | (1 << 15) | 1, 0, "00 00 01 E0 00 00 80 80 05 29 00 03 00 03"},
        // The first video header of the tsMuxer fixture.
        {3, 54000000, 53996247, "00 00 01 E0 00 00 80 C0 0A 31 0C DF F3 01 11 0C DF D5 AF"},
        // Flag 1 is forbidden: no time stamps are written.
        {1, 5, 5, "00 00 01 E0 00 00 80 40 00"},
    };
    for (const Case& c : cases) {
        PES_Packet pes;
        pes.StreamID = 0xE0;
        pes.PTS_DTS_Flag = c.flag;
        pes.PTS = c.pts;
        pes.DTS = c.dts;
        ByteWriter w;
        pes.Write(w);
        std::vector<uint8_t> bytes = w.Take();
        EXPECT_EQ(ToHex(bytes), ToHex(Hex(c.header))) << c.pts;
        PES_Packet back;
        ASSERT_EQ(back.Parse(bytes.data(), bytes.size()), int32_t(bytes.size())) << c.pts;
        EXPECT_EQ(back.PTS_DTS_Flag, c.flag);
        if (c.flag >= 2) {
            EXPECT_EQ(back.PTS, c.pts);
        }
        if (c.flag == 3) {
            EXPECT_EQ(back.DTS, c.dts);
        }
    }
}

TEST(TsPes, HeaderWithEveryOptionalField) {
    PES_Packet pes;
    pes.StreamID = 0xE0;
    pes.PES_PacketLength = 0x1234;
    pes.PES_ScramblingControl = 1;
    pes.PES_Priority = 1;
    pes.DataAlignmentIndicator = 1;
    pes.OriginalOrCopy = 1;
    pes.PTS_DTS_Flag = 2;
    pes.PTS = 0x123456789;
    pes.ESCR_Flag = pes.ES_RateFlag = pes.DSM_TrickModeFlag = pes.AdditionalCopyInfoFlag = 1;
    pes.PES_CRC_Flag = pes.PES_ExtensionFlag = 1;
    pes.ESCR_Base = 0x1ABCDEF01;
    pes.ESCR_Extension = 0x155;
    pes.ES_Rate = 0x2AAAAA;
    pes.TrickModeControl = 0;
    pes.FieldID = 2;
    pes.IntraSliceRefresh = 1;
    pes.FrequencyTruncation = 3;
    pes.AdditionalCopyInfo = 0x55;
    pes.PreviousPES_PacketCRC = 0xBEEF;
    pes.PES_PrivateDataFlag = pes.PackHeaderFieldFlag = pes.ProgramPacketSequenceCounterFlag = 1;
    pes.P_STD_BufferFlag = pes.PES_ExtensionFlag2 = 1;
    for (int i = 0; i < 16; ++i) pes.PES_PrivateData[size_t(i)] = uint8_t(i);
    pes.PackHeader = {0xAA, 0xBB};
    pes.ProgramPacketSequenceCounter = 0x5A;
    pes.MPEG1_MPEG2_Identifier = 1;
    pes.OriginalStuffLength = 0x2A;
    pes.P_STD_BufferScale = 1;
    pes.P_STD_BufferSize = 0x1ABC;
    pes.PES_ExtensionField = {0x71};
    pes.StuffingSize = 2;
    pes.PES_DataStreamAlignmentType = DATA_STREAM_ALIGNMENT{1, 3};
    ByteWriter w;
    pes.Write(w);
    std::vector<uint8_t> bytes = w.Take();
    EXPECT_EQ(ToHex(bytes),
              ToHex(Hex("00 00 01 E0 12 34 9D BF 2E 29 8D 15 CF 13 F6 BC DF 78 0E AB D5 55 55 17 "
                        "D5 BE EF FF 00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F 02 AA BB DA "
                        "EA 7A BC 81 71 FF FF 06 01 03")));
    EXPECT_EQ(pes.PES_HeaderDataLength, 0x2E);

    PES_Packet back;
    ASSERT_EQ(back.Parse(bytes.data(), bytes.size()), int32_t(bytes.size()));
    ByteWriter again;
    back.Write(again);
    EXPECT_EQ(ToHex(again.Take()), ToHex(bytes));
    EXPECT_EQ(back.ESCR_Base, pes.ESCR_Base);
    EXPECT_EQ(back.ES_Rate, pes.ES_Rate);
    EXPECT_EQ(back.P_STD_BufferSize, pes.P_STD_BufferSize);
    EXPECT_EQ(back.PES_DataStreamAlignmentType->AlignmentType, 3);
}

TEST(TsPes, TrickModesAndHeadersWithoutFlagBytes) {
    struct Case {
        uint8_t control, fieldId, refresh, truncation, repeat;
        uint8_t byte;
    };
    const Case cases[] = {
        {0, 1, 0, 2, 0, 0x0A},    {3, 3, 1, 1, 0, 0x7D}, {1, 0, 0, 0, 0x15, 0x35},
        {4, 0, 0, 0, 0x1F, 0x9F}, {2, 2, 0, 0, 0, 0x57}, {6, 0, 0, 0, 0, 0xDF},
    };
    for (const Case& c : cases) {
        PES_Packet pes;
        pes.StreamID = 0xE0;
        pes.DSM_TrickModeFlag = 1;
        pes.TrickModeControl = c.control;
        pes.FieldID = c.fieldId;
        pes.IntraSliceRefresh = c.refresh;
        pes.FrequencyTruncation = c.truncation;
        pes.FieldRepCntrl = c.repeat;
        ByteWriter w;
        pes.Write(w);
        EXPECT_EQ(w.Buffer().at(9), c.byte) << int(c.control);
        PES_Packet back;
        back.Parse(w.Buffer().data(), w.Position());
        EXPECT_EQ(back.FieldRepCntrl, c.repeat) << int(c.control);
        EXPECT_EQ(back.FieldID, c.fieldId) << int(c.control);
    }
    // Padding and private stream 2 headers end after the length.
    for (uint8_t id : {0xBC, 0xBE, 0xBF, 0xF0, 0xF1, 0xFF}) {
        std::vector<uint8_t> b = {0, 0, 1, id, 0x00, 0x10, 0x80, 0x80, 0x05};
        PES_Packet pes;
        EXPECT_EQ(pes.Parse(b.data(), b.size()), 6) << int(id);
        ByteWriter w;
        pes.Write(w);
        EXPECT_EQ(w.Position(), 6u) << int(id);
    }
}

TEST(TsPes, AlignmentBlockAfterTheHeader) {
    struct Case {
        const char* what;
        std::string after;  // payload bytes right after a 14-byte PES header
        int offset;         // payload offset Parse returns
        int alignment;      // the block's type, -1 when none was taken
    };
    const Case cases[] = {
        {"block taken", "06 01 02 0B 77", 4 + 14 + 3, 2},
        {"longer block skipped by its length", "06 02 05 09 0B 77", 4 + 14 + 4, 5},
        {"length 0 is payload", "06 00 0B 77", 4 + 14, -1},
        {"other first byte", "0B 77 06 01", 4 + 14, -1},
        {"block past the packet", "06 FF 01", 4 + 14, -1},
    };
    for (const Case& c : cases) {
        std::vector<uint8_t> body = test::PesHeader(0xFD, 90000);
        std::vector<uint8_t> after = Hex(c.after);
        body.insert(body.end(), after.begin(), after.end());
        std::vector<uint8_t> packet = TsPacket(0x1100, true, body);
        TransportPacket p;
        EXPECT_EQ(p.Parse(packet.data(), packet.size()), c.offset) << c.what;
        ASSERT_TRUE(p.PES_Packet) << c.what;
        if (c.alignment < 0) {
            EXPECT_FALSE(p.PES_Packet->PES_DataStreamAlignmentType) << c.what;
        } else {
            ASSERT_TRUE(p.PES_Packet->PES_DataStreamAlignmentType) << c.what;
            EXPECT_EQ(p.PES_Packet->PES_DataStreamAlignmentType->AlignmentType, c.alignment);
            // Written back with length 1.
            std::vector<uint8_t> out = Filled();
            EXPECT_EQ(p.Write(out.data()), 4 + 14 + 3) << c.what;
            EXPECT_EQ(ToHex({out.begin() + 18, out.begin() + 21}),
                      ToHex({0x06, 0x01, uint8_t(c.alignment)}));
        }
    }
}

// ---- PMT sections over several packets --------------------------------------------------------

// A PMT whose section is exactly size bytes: PG entries with a language, then a private-info
// descriptor to make up the rest.
void SizePmt(PMT& pmt, size_t size) {
    size_t current = 28;
    while (size - current > 257) {
        auto esi = std::make_unique<ESI>();
        esi->StreamType = 0x90;
        esi->ElementaryPid = uint16_t(0x1200 + pmt.Streams.GetCount());
        esi->Iso639LanguageDescriptor.emplace();
        pmt.Streams.Add(std::move(esi));
        current += 11;
    }
    ASSERT_GE(size - current, 2u);
    pmt.PrivateInfoDescriptor.emplace().Bytes.assign(size - current - 2, 0x5A);
    ASSERT_EQ(pmt.Build(nullptr), size);
}

TEST(TsPmtSections, GatheredOverPacketsOfOtherPidsToo) {
    struct Case {
        size_t size;
        int packets;
    };
    // 183 and 367 end exactly at a packet's last byte.
    const Case cases[] = {{182, 1}, {183, 1}, {184, 2}, {367, 2}, {368, 3}, {551, 3}, {1021, 6}};
    for (const Case& c : cases) {
        PMT pmt;
        SizePmt(pmt, c.size);
        std::vector<uint8_t> section = Section(pmt);
        auto writer = TransportPacket::MakePmtPacket();
        std::vector<std::vector<uint8_t>> packets;
        size_t done = 0;
        for (bool first = true; done < section.size(); first = false) {
            std::vector<uint8_t> out = Filled();
            done += size_t(writer->WriteSectionPacket(out.data(), section.data() + done,
                                                      section.size() - done, first));
            packets.push_back(out);
        }
        ASSERT_EQ(int(packets.size()), c.packets) << c.size;

        TransportPacket reader;
        std::vector<uint8_t> video = TsPacket(0x1011, false, {});
        for (size_t i = 0; i < packets.size(); ++i) {
            EXPECT_EQ(reader.Parse(packets[i].data(), packets[i].size()), 188) << c.size;
            bool last = i + 1 == packets.size();
            EXPECT_EQ(reader.PmtComplete(), last) << c.size << " packet " << i;
            if (!last) {
                EXPECT_FALSE(reader.PMT) << c.size;
                reader.Parse(video.data(), video.size());
            }
        }
        ASSERT_TRUE(reader.PMT) << c.size;
        EXPECT_EQ(reader.PMT->Streams.GetCount(), pmt.Streams.GetCount()) << c.size;
        EXPECT_EQ(ToHex(Section(*reader.PMT)), ToHex(section)) << c.size;

        // A continuation packet with no section begun is ignored and the finished PMT released.
        std::vector<uint8_t> stray = TsPacket(0x0100, false, Hex("02 B0 19 00 01"));
        EXPECT_EQ(reader.Parse(stray.data(), stray.size()), 188);
        EXPECT_FALSE(reader.PMT);
        EXPECT_FALSE(reader.PmtComplete());
    }
}

TEST(TsPmtSections, NewSectionAbandonsAnUnfinishedOne) {
    PMT big;
    SizePmt(big, 368);
    std::vector<uint8_t> section = Section(big);
    auto writer = TransportPacket::MakePmtPacket();
    std::vector<uint8_t> first = Filled();
    writer->WriteSectionPacket(first.data(), section.data(), section.size(), true);

    PMT small;
    std::vector<uint8_t> smallSection = Section(small);
    std::vector<uint8_t> whole = Filled();
    writer->WriteSectionPacket(whole.data(), smallSection.data(), smallSection.size(), true);

    TransportPacket reader;
    reader.Parse(first.data(), first.size());
    reader.Parse(whole.data(), whole.size());
    ASSERT_TRUE(reader.PmtComplete());
    EXPECT_EQ(reader.PMT->Streams.GetCount(), 0);
    EXPECT_FALSE(reader.PMT->PrivateInfoDescriptor);
}

// ---- Damaged and short packets ----------------------------------------------------------------

TEST(TsDamaged, LengthsPastThePacketEndThatPart) {
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        size_t size;  // bytes given to Parse
        int32_t result;
        std::function<void(const TransportPacket&)> check;
    };
    auto pes = [](const std::string& header) { return TsPacket(0x1100, true, Hex(header)); };
    std::vector<uint8_t> headerData = pes("00 00 01 C0 00 00 80 80 FF 21 00 01 00 01");
    std::vector<uint8_t> noSync = TsPacket(0x1011, true, {});
    noSync[0] = 0x46;
    const Case cases[] = {
        {"nothing", {}, 0, 0, [](const TransportPacket& p) { EXPECT_EQ(p.PID, pid::kNull); }},
        {"three bytes", Hex("47 40 00"), 3, 0, nullptr},
        {"no sync byte", noSync, 188, 0,
         [](const TransportPacket& p) { EXPECT_EQ(p.PID, pid::kNull); }},
        {"header only with an adaptation field", TsPacket(0x1011, false, {}, 3), 4, 4,
         [](const TransportPacket& p) { EXPECT_FALSE(p.AdaptationField); }},
        {"adaptation field length past the packet", TsPacket(0x1011, false, Hex("FF 00"), 3), 188,
         188,
         [](const TransportPacket& p) {
             EXPECT_EQ(p.AdaptationField->AdaptationFieldLength, 183);
             EXPECT_EQ(p.AdaptationField->StuffingSize, 182);
         }},
        {"PCR past the field", TsPacket(0x1001, false, Hex("03 10 01 02"), 2), 188, 8,
         [](const TransportPacket& p) {
             EXPECT_EQ(p.AdaptationField->PCR_Flag, 0);
             EXPECT_EQ(p.AdaptationField->StuffingSize, 2);
         }},
        {"OPCR past the field drops the splice countdown too",
         TsPacket(0x1011, false, Hex("04 4C 00 01 02"), 3), 188, 9,
         [](const TransportPacket& p) {
             EXPECT_EQ(p.AdaptationField->RandomAccessIndicator, 1);
             EXPECT_EQ(p.AdaptationField->PCR_Flag, 0);
             EXPECT_EQ(p.AdaptationField->OPCR_Flag, 0);
             EXPECT_EQ(p.AdaptationField->SplicingPointFlag, 0);
         }},
        {"private data past the field", TsPacket(0x1011, false, Hex("05 06 7F 0A 01 02"), 3), 188,
         10,
         [](const TransportPacket& p) {
             EXPECT_EQ(p.AdaptationField->SpliceCountdown, 0x7F);
             EXPECT_EQ(p.AdaptationField->TransportPrivateDataFlag, 0);
             EXPECT_EQ(p.AdaptationField->StuffingSize, 3);
         }},
        {"extension past the field", TsPacket(0x1011, false, Hex("04 01 09 FF FF"), 3), 188, 9,
         [](const TransportPacket& p) {
             EXPECT_EQ(p.AdaptationField->AdaptationFieldExtensionFlag, 0);
         }},
        {"extension part past the extension", TsPacket(0x1011, false, Hex("05 01 03 E0 80 01"), 3),
         188, 10,
         [](const TransportPacket& p) {
             const AdaptationField& f = *p.AdaptationField;
             EXPECT_EQ(f.AdaptationFieldExtensionFlag, 1);
             EXPECT_EQ(f.LtwFlag, 1);
             EXPECT_EQ(f.LtwOffset, 1);
             EXPECT_EQ(f.PiecewiseRateFlag, 0);  // 3 bytes needed, none left
             EXPECT_EQ(f.SeamlessSpliceFlag, 0);
         }},
        {"PES header data past the packet", headerData, 188, 188,
         [](const TransportPacket& p) {
             ASSERT_TRUE(p.PES_Packet);
             EXPECT_EQ(p.PES_Packet->PTS, 0u);
             EXPECT_EQ(p.PES_Packet->PES_HeaderDataLength, 188 - 4 - 9);
         }},
        {"PES header cut by a short buffer", headerData, 20, 20,
         [](const TransportPacket& p) { EXPECT_EQ(p.PES_Packet->HasPts(), true); }},
        {"PTS past the header data", pes("00 00 01 C0 00 00 80 80 02 21 00 01 00 01"), 188, 4 + 11,
         [](const TransportPacket& p) {
             EXPECT_EQ(p.PES_Packet->PTS_DTS_Flag, 0);
             EXPECT_EQ(p.PES_Packet->StuffingSize, 2);
         }},
        {"PES flag bytes past the packet", pes("00 00 01 C0 00 00 80"), 11, 4,
         [](const TransportPacket& p) { EXPECT_FALSE(p.PES_Packet); }},
        {"no start code", pes("00 00 02 C0 00 00 80 80 00"), 188, 4,
         [](const TransportPacket& p) { EXPECT_FALSE(p.PES_Packet); }},
        {"PES length below the header is kept", pes("00 00 01 C0 00 01 80 00 00"), 188, 13,
         [](const TransportPacket& p) { EXPECT_EQ(p.PES_Packet->PES_PacketLength, 1); }},
        {"pointer field past the packet", TsPacket(0x0000, true, Hex("C0 00 B0 11")), 188, 188,
         [](const TransportPacket& p) { EXPECT_FALSE(p.PAT); }},
        {"PAT longer than the packet",
         TsPacket(0x0000, true, Hex("00 00 B3 FF 00 00 C1 00 00 00 00 E0 1F")), 188, 5,
         [](const TransportPacket& p) {
             ASSERT_TRUE(p.PAT);
             // 4-byte entries up to the packet end, less room for the CRC.
             EXPECT_EQ(p.PAT->Programs.GetCount(), 42);
         }},
        {"SIT without room for its fixed fields",
         TsPacket(0x001F, true, Hex("00 7F B0 19 FF FF C1 00 00 F0 0A 63 08 C1")), 18, 5,
         [](const TransportPacket& p) { EXPECT_FALSE(p.SIT); }},
        {"PMT section header past the packet", TsPacket(0x0100, true, Hex("B6 00 02 B0")), 188, 188,
         [](const TransportPacket& p) { EXPECT_FALSE(p.PmtComplete()); }},
    };
    for (const Case& c : cases) {
        TransportPacket p;
        ASSERT_LE(c.size, c.bytes.size()) << c.what;
        std::vector<uint8_t> input(c.bytes.begin(), c.bytes.begin() + long(c.size));
        EXPECT_EQ(p.Parse(input.data(), input.size()), c.result) << c.what;
        if (c.check)
            c.check(p);
        if (c.result == 0)
            continue;
        // What was read is written as a packet that reads back to the same bytes.
        std::vector<uint8_t> first = Filled();
        int32_t written = p.Write(first.data());
        ASSERT_GT(written, 0) << c.what;
        TransportPacket q;
        ASSERT_GT(q.Parse(first.data(), first.size()), 0) << c.what;
        std::vector<uint8_t> second = Filled();
        EXPECT_EQ(q.Write(second.data()), written) << c.what;
        EXPECT_EQ(ToHex(second), ToHex(first)) << c.what;
    }
}

// ---- Packets of files made by other tools -----------------------------------------------------

// The offset of the PES extension flags byte in a packet whose header has one.
size_t ExtensionFlagsAt(const TransportPacket& p, size_t pesStart) {
    const PES_Packet& h = *p.PES_Packet;
    size_t at = pesStart + 9;
    at += h.PTS_DTS_Flag == 3 ? 10 : h.PTS_DTS_Flag == 2 ? 5 : 0;
    at += h.ESCR_Flag * 6 + h.ES_RateFlag * 3 + h.DSM_TrickModeFlag + h.AdditionalCopyInfoFlag +
          h.PES_CRC_Flag * 2;
    return at;
}

TEST(TsFixtures, EveryPacketIsWrittenBackAsRead) {
    struct Case {
        const char* fixture;
        int packets;
        int pesHeaders;
    };
    const Case cases[] = {{"disc-avc1080p24-ac3/BDMV/STREAM/00000.m2ts", 3808, 221},
                          {"third-party/m2ts/M2TS.mts", 7, 2},
                          {"third-party/m2ts/Test_H264_AC3.m2ts", 448, 45}};
    for (const Case& c : cases) {
        std::vector<uint8_t> file = ReadWholeFile(test::Fixture(c.fixture));
        int packets = 0, pesHeaders = 0;
        TransportPacket p;
        for (size_t at = 0; at + 192 <= file.size(); at += 192, ++packets) {
            std::vector<uint8_t> original(file.begin() + long(at) + 4,
                                          file.begin() + long(at) + 192);
            int32_t payload = p.Parse(original.data(), original.size());
            ASSERT_GT(payload, 0) << c.fixture << " packet " << packets;
            std::vector<uint8_t> expected = original;
            if (p.PES_Packet) {
                ++pesHeaders;
                // The reserved bits of the PES extension flags are written as ones.
                if (p.PES_Packet->PES_ExtensionFlag) {
                    const auto& align = p.PES_Packet->PES_DataStreamAlignmentType;
                    size_t pesStart = size_t(payload) - (align ? 2 + align->DescriptorLength : 0);
                    pesStart -= 9 + p.PES_Packet->PES_HeaderDataLength;
                    expected[ExtensionFlagsAt(p, pesStart)] |= 0x0E;
                }
            }
            if (p.SIT) {
                // The private indicator of the SIT is written as 0; the CRC follows.
                expected[6] = 0xB0;
                size_t crcAt = 5 + 3 + p.SIT->SectionLength - 4;
                uint32_t crc = SectionCrc32(expected.data() + 5, crcAt - 5);
                WriteBE32(expected.data() + crcAt, crc);
            }
            std::vector<uint8_t> out = original;  // bytes not written stay as they were
            ASSERT_GT(p.Write(out.data()), 0) << c.fixture << " packet " << packets;
            ASSERT_EQ(ToHex(out), ToHex(expected)) << c.fixture << " packet " << packets;
        }
        EXPECT_EQ(packets, c.packets) << c.fixture;
        EXPECT_EQ(pesHeaders, c.pesHeaders) << c.fixture;
    }
}

TEST(TsFixtures, PcrPacketOfAnotherMultiplexer) {
    std::vector<uint8_t> file =
        ReadWholeFile(test::Fixture("disc-avc1080p24-ac3/BDMV/STREAM/00000.m2ts"));
    for (size_t at = 0; at + 192 <= file.size(); at += 192) {
        const uint8_t* ts = file.data() + at + 4;
        if ((ReadBE16(ts + 1) & 0x1FFF) != pid::kPcr)
            continue;
        TransportPacket p;
        ASSERT_EQ(p.Parse(ts, 188), 188);
        ASSERT_TRUE(p.AdaptationField);
        EXPECT_EQ(p.AdaptationField->PCR_Flag, 1);
        EXPECT_EQ(p.AdaptationField->StuffingSize, 176);
        // The same layout as the PCR packet this system writes.
        auto ours = TransportPacket::MakePcrPacket();
        ours->AdaptationField->PCR = p.AdaptationField->PCR;
        std::vector<uint8_t> out = Filled();
        ours->Write(out.data());
        EXPECT_EQ(ToHex(out), ToHex(std::vector<uint8_t>(ts, ts + 188)));
        SourcePacketHeader header;
        header.Parse(file.data() + at, 4);
        EXPECT_EQ(header.CopyPermissionIndicator, 0);
        EXPECT_EQ(header.ArriveTimeStamp, 80372640u);
        return;
    }
    FAIL() << "no PCR packet";
}

}  // namespace
}  // namespace vx
