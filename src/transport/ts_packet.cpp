#include "transport/ts_packet.h"

#include <algorithm>
#include <cstring>

#include "transport/pid.h"

namespace vx {

// ---- Source packet header -------------------------------------------------------------------

int32_t SourcePacketHeader::Parse(const uint8_t* data, size_t size) {
    if (size < kSourcePacketHeaderSize)
        return 0;
    uint32_t v = ReadBE32(data);
    CopyPermissionIndicator = uint8_t(v >> 30);
    ArriveTimeStamp = v & 0x3FFFFFFF;
    return int32_t(kSourcePacketHeaderSize);
}

void SourcePacketHeader::Write(uint8_t* out) const {
    WriteBE32(out, uint32_t(CopyPermissionIndicator & 0x03) << 30 | (ArriveTimeStamp & 0x3FFFFFFF));
}

Json SourcePacketHeader::ToJson() const {
    return {{"CopyPermissionIndicator", CopyPermissionIndicator},
            {"ArriveTimeStamp", ArriveTimeStamp}};
}

// ---- Time stamps ----------------------------------------------------------------------------

namespace pes_time {

uint64_t Read(const uint8_t* p) {
    return uint64_t((p[0] >> 1) & 0x07) << 30 | uint64_t(ReadBE16(p + 1) >> 1) << 15 |
           uint64_t(ReadBE16(p + 3) >> 1);
}

void Write(uint8_t* p, uint8_t prefix, uint64_t value) {
    p[0] = uint8_t((prefix & 0x0F) << 4 | ((value >> 30) & 0x07) << 1 | 1);
    WriteBE16(p + 1, uint16_t(((value >> 15) & 0x7FFF) << 1 | 1));
    WriteBE16(p + 3, uint16_t((value & 0x7FFF) << 1 | 1));
}

}  // namespace pes_time

namespace {

uint64_t ReadTime(ByteReader& r) {
    r.Need(5);
    uint64_t v = pes_time::Read(r.Here());
    r.Skip(5);
    return v;
}

void WriteTime(ByteWriter& w, uint8_t prefix, uint64_t value) {
    uint8_t b[5];
    pes_time::Write(b, prefix, value);
    w.Bytes(b, 5);
}

ClockReference ReadClock(ByteReader& r) {
    uint64_t v = uint64_t(r.U16()) << 32 | r.U32();
    return {v >> 15, uint16_t(v & 0x1FF)};
}

void WriteClock(ByteWriter& w, const ClockReference& c) {
    uint64_t v = (c.Base & 0x1FFFFFFFFull) << 15 | 0x3F << 9 | (c.Extension & 0x1FF);
    w.U16(uint16_t(v >> 32));
    w.U32(uint32_t(v));
}

Json ClockJson(const ClockReference& c) {
    return {{"Base", c.Base}, {"Extension", c.Extension}};
}

}  // namespace

// ---- Adaptation field -----------------------------------------------------------------------

bool AdaptationField::IsEmpty() const {
    return AdaptationFieldLength == 0 && StuffingSize == 0 && !DiscontinuityIndicator &&
           !RandomAccessIndicator && !ElementaryStreamPriorityIndicator && !PCR_Flag &&
           !OPCR_Flag && !SplicingPointFlag && !TransportPrivateDataFlag &&
           !AdaptationFieldExtensionFlag;
}

namespace {

// The extension of the adaptation field from its flags byte; a part that does not fit ends the
// known fields, and the bytes from there on are kept as they are.
void ParseExtension(ByteReader body, AdaptationField& f) {
    uint8_t flags = body.U8();
    f.LtwFlag = flags >> 7;
    f.PiecewiseRateFlag = (flags >> 6) & 1;
    f.SeamlessSpliceFlag = (flags >> 5) & 1;
    if (f.LtwFlag) {
        if (body.Remaining() < 2) {
            f.LtwFlag = f.PiecewiseRateFlag = f.SeamlessSpliceFlag = 0;
        } else {
            uint16_t v = body.U16();
            f.LtwValidFlag = v >> 15;
            f.LtwOffset = v & 0x7FFF;
        }
    }
    if (f.PiecewiseRateFlag) {
        if (body.Remaining() < 3)
            f.PiecewiseRateFlag = f.SeamlessSpliceFlag = 0;
        else
            f.PiecewiseRate = body.U24() & 0x3FFFFF;
    }
    if (f.SeamlessSpliceFlag) {
        if (body.Remaining() < 5) {
            f.SeamlessSpliceFlag = 0;
        } else {
            f.SpliceType = body.Here()[0] >> 4;
            f.DtsNextAu = ReadTime(body);
        }
    }
    f.ExtensionBytes = body.Vector(body.Remaining());
}

}  // namespace

int32_t AdaptationField::Parse(const uint8_t* data, size_t size) {
    if (size == 0)
        return 0;
    *this = AdaptationField{};
    size_t length = std::min<size_t>(data[0], size - 1);
    AdaptationFieldLength = uint8_t(length);
    if (length == 0)
        return 1;
    ByteReader r(data + 1, length);
    uint8_t flags = r.U8();
    DiscontinuityIndicator = flags >> 7;
    RandomAccessIndicator = (flags >> 6) & 1;
    ElementaryStreamPriorityIndicator = (flags >> 5) & 1;
    PCR_Flag = (flags >> 4) & 1;
    OPCR_Flag = (flags >> 3) & 1;
    SplicingPointFlag = (flags >> 2) & 1;
    TransportPrivateDataFlag = (flags >> 1) & 1;
    AdaptationFieldExtensionFlag = flags & 1;

    // Each part is taken only when it lies inside the field; the first one that does not
    // clears its flag and every later flag.
    auto dropFrom = [this](int part) {
        uint8_t* chain[] = {&PCR_Flag, &OPCR_Flag, &SplicingPointFlag, &TransportPrivateDataFlag,
                            &AdaptationFieldExtensionFlag};
        for (int i = part; i < 5; ++i) *chain[i] = 0;
    };
    if (PCR_Flag) {
        if (r.Remaining() < 6)
            dropFrom(0);
        else
            PCR = ReadClock(r);
    }
    if (OPCR_Flag) {
        if (r.Remaining() < 6)
            dropFrom(1);
        else
            OPCR = ReadClock(r);
    }
    if (SplicingPointFlag) {
        if (r.Remaining() < 1)
            dropFrom(2);
        else
            SpliceCountdown = r.U8();
    }
    if (TransportPrivateDataFlag) {
        if (r.Remaining() < 1 || size_t(r.Here()[0]) + 1 > r.Remaining()) {
            dropFrom(3);
        } else {
            PrivateDataLength = r.U8();
            PrivateDataByte = r.Vector(PrivateDataLength);
        }
    }
    if (AdaptationFieldExtensionFlag) {
        // An extension needs at least its flags byte inside the field.
        if (r.Remaining() < 2 || r.Here()[0] == 0 || size_t(r.Here()[0]) + 1 > r.Remaining()) {
            dropFrom(4);
        } else {
            AdaptationFieldExtensionLength = r.U8();
            ParseExtension(r.Sub(AdaptationFieldExtensionLength), *this);
        }
    }
    StuffingSize = uint16_t(r.Remaining());
    return int32_t(length + 1);
}

size_t AdaptationField::WrittenSize() const {
    if (IsEmpty())
        return 1;
    size_t n = 2;
    if (PCR_Flag)
        n += 6;
    if (OPCR_Flag)
        n += 6;
    if (SplicingPointFlag)
        n += 1;
    if (TransportPrivateDataFlag)
        n += 1 + std::min<size_t>(PrivateDataByte.size(), 255);
    if (AdaptationFieldExtensionFlag) {
        size_t e =
            1 + (LtwFlag ? 2 : 0) + (PiecewiseRateFlag ? 3 : 0) + (SeamlessSpliceFlag ? 5 : 0);
        n += 1 + e + std::min(ExtensionBytes.size(), 255 - e);
    }
    return n + StuffingSize;
}

void AdaptationField::Write(ByteWriter& w) {
    if (IsEmpty()) {
        w.U8(0);
        return;
    }
    size_t lengthAt = w.Position();
    w.U8(0);
    w.U8(uint8_t((DiscontinuityIndicator & 1) << 7 | (RandomAccessIndicator & 1) << 6 |
                 (ElementaryStreamPriorityIndicator & 1) << 5 | (PCR_Flag & 1) << 4 |
                 (OPCR_Flag & 1) << 3 | (SplicingPointFlag & 1) << 2 |
                 (TransportPrivateDataFlag & 1) << 1 | (AdaptationFieldExtensionFlag & 1)));
    if (PCR_Flag)
        WriteClock(w, PCR);
    if (OPCR_Flag)
        WriteClock(w, OPCR);
    if (SplicingPointFlag)
        w.U8(SpliceCountdown);
    if (TransportPrivateDataFlag) {
        PrivateDataLength = uint8_t(std::min<size_t>(PrivateDataByte.size(), 255));
        w.U8(PrivateDataLength);
        w.Bytes(PrivateDataByte.data(), PrivateDataLength);
    }
    if (AdaptationFieldExtensionFlag) {
        size_t extAt = w.Position();
        w.U8(0);
        w.U8(uint8_t((LtwFlag & 1) << 7 | (PiecewiseRateFlag & 1) << 6 |
                     (SeamlessSpliceFlag & 1) << 5 | 0x1F));
        if (LtwFlag)
            w.U16(uint16_t((LtwValidFlag & 1) << 15 | (LtwOffset & 0x7FFF)));
        if (PiecewiseRateFlag)
            w.U24(0xC00000 | (PiecewiseRate & 0x3FFFFF));
        if (SeamlessSpliceFlag)
            WriteTime(w, SpliceType, DtsNextAu);
        size_t used = w.Position() - extAt - 1;
        w.Bytes(ExtensionBytes.data(), std::min(ExtensionBytes.size(), 255 - used));
        AdaptationFieldExtensionLength = uint8_t(w.Position() - extAt - 1);
        w.PatchU8(extAt, AdaptationFieldExtensionLength);
    }
    for (uint16_t i = 0; i < StuffingSize; ++i) w.U8(0xFF);
    AdaptationFieldLength = uint8_t(w.Position() - lengthAt - 1);
    w.PatchU8(lengthAt, AdaptationFieldLength);
}

Json AdaptationField::ToJson() const {
    Json j;
    j["AdaptationFieldLength"] = AdaptationFieldLength;
    if (IsEmpty())
        return j;
    j["DiscontinuityIndicator"] = DiscontinuityIndicator;
    j["RandomAccessIndicator"] = RandomAccessIndicator;
    j["ElementaryStreamPriorityIndicator"] = ElementaryStreamPriorityIndicator;
    j["PCR_Flag"] = PCR_Flag;
    j["OPCR_Flag"] = OPCR_Flag;
    j["SplicingPointFlag"] = SplicingPointFlag;
    j["TransportPrivateDataFlag"] = TransportPrivateDataFlag;
    j["AdaptationFieldExtensionFlag"] = AdaptationFieldExtensionFlag;
    if (PCR_Flag)
        j["PCR"] = ClockJson(PCR);
    if (OPCR_Flag)
        j["OPCR"] = ClockJson(OPCR);
    if (SplicingPointFlag)
        j["SpliceCountdown"] = int8_t(SpliceCountdown);
    if (TransportPrivateDataFlag)
        j["PrivateDataByte"] = HexString(PrivateDataByte);
    if (AdaptationFieldExtensionFlag) {
        Json e;
        e["AdaptationFieldExtensionLength"] = AdaptationFieldExtensionLength;
        e["LtwFlag"] = LtwFlag;
        e["PiecewiseRateFlag"] = PiecewiseRateFlag;
        e["SeamlessSpliceFlag"] = SeamlessSpliceFlag;
        if (LtwFlag) {
            e["LtwValidFlag"] = LtwValidFlag;
            e["LtwOffset"] = LtwOffset;
        }
        if (PiecewiseRateFlag)
            e["PiecewiseRate"] = PiecewiseRate;
        if (SeamlessSpliceFlag) {
            e["SpliceType"] = SpliceType;
            e["DtsNextAu"] = DtsNextAu;
        }
        if (!ExtensionBytes.empty())
            e["ExtensionBytes"] = HexString(ExtensionBytes);
        j["AdaptationFieldExtension"] = e;
    }
    j["StuffingSize"] = StuffingSize;
    return j;
}

// ---- PES header -----------------------------------------------------------------------------

bool PES_Packet::HasOptionalFields(uint8_t streamId) {
    switch (streamId) {
        case 0xBC:  // program stream map
        case 0xBE:  // padding stream
        case 0xBF:  // private stream 2
        case 0xF0:  // ECM
        case 0xF1:  // EMM
        case 0xFF:  // program stream directory
            return false;
        default:
            return true;
    }
}

namespace {

// The PES extension from its flags byte. A part that does not fit clears its flag and every
// later one; what is left of the header data counts as stuffing.
void ParsePesExtension(ByteReader& r, PES_Packet& p) {
    uint8_t flags = r.U8();
    p.PES_PrivateDataFlag = flags >> 7;
    p.PackHeaderFieldFlag = (flags >> 6) & 1;
    p.ProgramPacketSequenceCounterFlag = (flags >> 5) & 1;
    p.P_STD_BufferFlag = (flags >> 4) & 1;
    p.PES_ExtensionFlag2 = flags & 1;
    auto dropFrom = [&p](int part) {
        uint8_t* chain[] = {&p.PES_PrivateDataFlag, &p.PackHeaderFieldFlag,
                            &p.ProgramPacketSequenceCounterFlag, &p.P_STD_BufferFlag,
                            &p.PES_ExtensionFlag2};
        for (int i = part; i < 5; ++i) *chain[i] = 0;
    };
    if (p.PES_PrivateDataFlag) {
        if (r.Remaining() < 16)
            dropFrom(0);
        else
            r.Bytes(p.PES_PrivateData.data(), 16);
    }
    if (p.PackHeaderFieldFlag) {
        if (r.Remaining() < 1 || size_t(r.Here()[0]) + 1 > r.Remaining()) {
            dropFrom(1);
        } else {
            p.PackFieldLength = r.U8();
            p.PackHeader = r.Vector(p.PackFieldLength);
        }
    }
    if (p.ProgramPacketSequenceCounterFlag) {
        if (r.Remaining() < 2) {
            dropFrom(2);
        } else {
            p.ProgramPacketSequenceCounter = r.U8() & 0x7F;
            uint8_t b = r.U8();
            p.MPEG1_MPEG2_Identifier = (b >> 6) & 1;
            p.OriginalStuffLength = b & 0x3F;
        }
    }
    if (p.P_STD_BufferFlag) {
        if (r.Remaining() < 2) {
            dropFrom(3);
        } else {
            uint16_t v = r.U16();
            p.P_STD_BufferScale = (v >> 13) & 1;
            p.P_STD_BufferSize = v & 0x1FFF;
        }
    }
    if (p.PES_ExtensionFlag2) {
        if (r.Remaining() < 1 || size_t(r.Here()[0] & 0x7F) + 1 > r.Remaining()) {
            dropFrom(4);
        } else {
            p.PES_ExtensionFieldLength = r.U8() & 0x7F;
            p.PES_ExtensionField = r.Vector(p.PES_ExtensionFieldLength);
        }
    }
}

// The optional fields the two flag bytes name, in their order; the first that does not fit
// clears its flag and every later one.
void ParseOptionalFields(ByteReader& r, PES_Packet& p) {
    auto dropFrom = [&p](int part) {
        if (part == 0)
            p.PTS_DTS_Flag = 0;
        uint8_t* chain[] = {&p.ESCR_Flag,         &p.ES_RateFlag,
                            &p.DSM_TrickModeFlag, &p.AdditionalCopyInfoFlag,
                            &p.PES_CRC_Flag,      &p.PES_ExtensionFlag};
        for (int i = std::max(part - 1, 0); i < 6; ++i) *chain[i] = 0;
    };
    if (p.PTS_DTS_Flag >= 2) {
        size_t need = p.PTS_DTS_Flag == 3 ? 10 : 5;
        if (r.Remaining() < need) {
            dropFrom(0);
            return;
        }
        p.PTS = ReadTime(r);
        if (p.PTS_DTS_Flag == 3)
            p.DTS = ReadTime(r);
    }
    if (p.ESCR_Flag) {
        if (r.Remaining() < 6) {
            dropFrom(1);
            return;
        }
        uint64_t v = uint64_t(r.U16()) << 32 | r.U32();
        p.ESCR_Base = ((v >> 43) & 0x07) << 30 | ((v >> 27) & 0x7FFF) << 15 | ((v >> 11) & 0x7FFF);
        p.ESCR_Extension = uint16_t((v >> 1) & 0x1FF);
    }
    if (p.ES_RateFlag) {
        if (r.Remaining() < 3) {
            dropFrom(2);
            return;
        }
        p.ES_Rate = (r.U24() >> 1) & 0x3FFFFF;
    }
    if (p.DSM_TrickModeFlag) {
        if (r.Remaining() < 1) {
            dropFrom(3);
            return;
        }
        uint8_t b = r.U8();
        p.TrickModeControl = b >> 5;
        switch (p.TrickModeControl) {
            case 0:
            case 3:
                p.FieldID = (b >> 3) & 0x03;
                p.IntraSliceRefresh = (b >> 2) & 1;
                p.FrequencyTruncation = b & 0x03;
                break;
            case 1:
            case 4:
                p.FieldRepCntrl = b & 0x1F;
                break;
            case 2:
                p.FieldID = (b >> 3) & 0x03;
                break;
            default:
                break;
        }
    }
    if (p.AdditionalCopyInfoFlag) {
        if (r.Remaining() < 1) {
            dropFrom(4);
            return;
        }
        p.AdditionalCopyInfo = r.U8() & 0x7F;
    }
    if (p.PES_CRC_Flag) {
        if (r.Remaining() < 2) {
            dropFrom(5);
            return;
        }
        p.PreviousPES_PacketCRC = r.U16();
    }
    if (p.PES_ExtensionFlag) {
        if (r.Remaining() < 1) {
            dropFrom(6);
            return;
        }
        ParsePesExtension(r, p);
    }
}

}  // namespace

int32_t PES_Packet::Parse(const uint8_t* data, size_t size) {
    if (size < 6 || data[0] != 0 || data[1] != 0 || data[2] != 1)
        return 0;
    uint8_t streamId = data[3];
    bool optional = HasOptionalFields(streamId);
    // The two flag bytes and the header data length must be inside the packet.
    if (optional && size < 9)
        return 0;
    *this = PES_Packet{};
    StreamID = streamId;
    PES_PacketLength = ReadBE16(data + 4);
    size_t at = 6;
    if (optional) {
        uint8_t b = data[6];
        PES_ScramblingControl = (b >> 4) & 0x03;
        PES_Priority = (b >> 3) & 1;
        DataAlignmentIndicator = (b >> 2) & 1;
        Copyright = (b >> 1) & 1;
        OriginalOrCopy = b & 1;
        b = data[7];
        PTS_DTS_Flag = b >> 6;
        ESCR_Flag = (b >> 5) & 1;
        ES_RateFlag = (b >> 4) & 1;
        DSM_TrickModeFlag = (b >> 3) & 1;
        AdditionalCopyInfoFlag = (b >> 2) & 1;
        PES_CRC_Flag = (b >> 1) & 1;
        PES_ExtensionFlag = b & 1;
        // Header data that runs past the packet is read as far as the packet goes.
        size_t dataLength = std::min<size_t>(data[8], size - 9);
        PES_HeaderDataLength = uint8_t(dataLength);
        ByteReader r(data + 9, dataLength);
        ParseOptionalFields(r, *this);
        StuffingSize = uint8_t(r.Remaining());
        at = 9 + dataLength;
    }
    if (at + 2 <= size && data[at] == 0x06) {
        size_t length = data[at + 1];
        if (length >= 1 && at + 2 + length <= size) {
            PES_DataStreamAlignmentType = DATA_STREAM_ALIGNMENT{uint8_t(length), data[at + 2]};
            at += 2 + length;
        }
    }
    return int32_t(at);
}

void PES_Packet::Write(ByteWriter& w) {
    w.U24(PacketStartCodePrefix & 0xFFFFFF);
    w.U8(StreamID);
    w.U16(PES_PacketLength);
    if (HasOptionalFields(StreamID)) {
        w.U8(uint8_t(0x80 | (PES_ScramblingControl & 0x03) << 4 | (PES_Priority & 1) << 3 |
                     (DataAlignmentIndicator & 1) << 2 | (Copyright & 1) << 1 |
                     (OriginalOrCopy & 1)));
        w.U8(uint8_t((PTS_DTS_Flag & 0x03) << 6 | (ESCR_Flag & 1) << 5 | (ES_RateFlag & 1) << 4 |
                     (DSM_TrickModeFlag & 1) << 3 | (AdditionalCopyInfoFlag & 1) << 2 |
                     (PES_CRC_Flag & 1) << 1 | (PES_ExtensionFlag & 1)));
        size_t lengthAt = w.Position();
        w.U8(0);
        if (PTS_DTS_Flag == 2) {
            WriteTime(w, pes_time::kPtsOnly, PTS);
        } else if (PTS_DTS_Flag == 3) {
            WriteTime(w, pes_time::kPtsWithDts, PTS);
            WriteTime(w, pes_time::kDts, DTS);
        }
        if (ESCR_Flag) {
            uint64_t b = ESCR_Base & 0x1FFFFFFFFull;
            uint64_t v = uint64_t(3) << 46 | ((b >> 30) & 0x07) << 43 | uint64_t(1) << 42 |
                         ((b >> 15) & 0x7FFF) << 27 | uint64_t(1) << 26 | (b & 0x7FFF) << 11 |
                         uint64_t(1) << 10 | uint64_t(ESCR_Extension & 0x1FF) << 1 | 1;
            w.U16(uint16_t(v >> 32));
            w.U32(uint32_t(v));
        }
        if (ES_RateFlag)
            w.U24(0x800001 | (ES_Rate & 0x3FFFFF) << 1);
        if (DSM_TrickModeFlag) {
            uint8_t b = uint8_t((TrickModeControl & 0x07) << 5);
            switch (TrickModeControl & 0x07) {
                case 0:
                case 3:
                    b |= (FieldID & 0x03) << 3 | (IntraSliceRefresh & 1) << 2 |
                         (FrequencyTruncation & 0x03);
                    break;
                case 1:
                case 4:
                    b |= FieldRepCntrl & 0x1F;
                    break;
                case 2:
                    b |= (FieldID & 0x03) << 3 | 0x07;
                    break;
                default:
                    b |= 0x1F;
                    break;
            }
            w.U8(b);
        }
        if (AdditionalCopyInfoFlag)
            w.U8(uint8_t(0x80 | (AdditionalCopyInfo & 0x7F)));
        if (PES_CRC_Flag)
            w.U16(PreviousPES_PacketCRC);
        if (PES_ExtensionFlag) {
            w.U8(uint8_t((PES_PrivateDataFlag & 1) << 7 | (PackHeaderFieldFlag & 1) << 6 |
                         (ProgramPacketSequenceCounterFlag & 1) << 5 | (P_STD_BufferFlag & 1) << 4 |
                         0x0E | (PES_ExtensionFlag2 & 1)));
            if (PES_PrivateDataFlag)
                w.Bytes(PES_PrivateData.data(), 16);
            if (PackHeaderFieldFlag) {
                PackFieldLength = uint8_t(std::min<size_t>(PackHeader.size(), 255));
                w.U8(PackFieldLength);
                w.Bytes(PackHeader.data(), PackFieldLength);
            }
            if (ProgramPacketSequenceCounterFlag) {
                w.U8(uint8_t(0x80 | (ProgramPacketSequenceCounter & 0x7F)));
                w.U8(uint8_t(0x80 | (MPEG1_MPEG2_Identifier & 1) << 6 |
                             (OriginalStuffLength & 0x3F)));
            }
            if (P_STD_BufferFlag)
                w.U16(
                    uint16_t(0x4000 | (P_STD_BufferScale & 1) << 13 | (P_STD_BufferSize & 0x1FFF)));
            if (PES_ExtensionFlag2) {
                PES_ExtensionFieldLength =
                    uint8_t(std::min<size_t>(PES_ExtensionField.size(), 127));
                w.U8(uint8_t(0x80 | PES_ExtensionFieldLength));
                w.Bytes(PES_ExtensionField.data(), PES_ExtensionFieldLength);
            }
        }
        for (int i = 0; i < StuffingSize; ++i) w.U8(0xFF);
        PES_HeaderDataLength = uint8_t(w.Position() - lengthAt - 1);
        w.PatchU8(lengthAt, PES_HeaderDataLength);
    }
    if (PES_DataStreamAlignmentType) {
        PES_DataStreamAlignmentType->DescriptorLength = 1;
        w.U8(0x06);
        w.U8(1);
        w.U8(PES_DataStreamAlignmentType->AlignmentType);
    }
}

Json PES_Packet::ToJson() const {
    Json j;
    j["StreamID"] = StreamID;
    j["PES_PacketLength"] = PES_PacketLength;
    if (HasOptionalFields(StreamID)) {
        j["PES_ScramblingControl"] = PES_ScramblingControl;
        j["PES_Priority"] = PES_Priority;
        j["DataAlignmentIndicator"] = DataAlignmentIndicator;
        j["Copyright"] = Copyright;
        j["OriginalOrCopy"] = OriginalOrCopy;
        j["PTS_DTS_Flag"] = PTS_DTS_Flag;
        j["ESCR_Flag"] = ESCR_Flag;
        j["ES_RateFlag"] = ES_RateFlag;
        j["DSM_TrickModeFlag"] = DSM_TrickModeFlag;
        j["AdditionalCopyInfoFlag"] = AdditionalCopyInfoFlag;
        j["PES_CRC_Flag"] = PES_CRC_Flag;
        j["PES_ExtensionFlag"] = PES_ExtensionFlag;
        j["PES_HeaderDataLength"] = PES_HeaderDataLength;
        if (PTS_DTS_Flag >= 2)
            j["PTS"] = PTS;
        if (PTS_DTS_Flag == 3)
            j["DTS"] = DTS;
        if (ESCR_Flag)
            j["ESCR"] = {{"Base", ESCR_Base}, {"Extension", ESCR_Extension}};
        if (ES_RateFlag)
            j["ES_Rate"] = ES_Rate;
        if (DSM_TrickModeFlag) {
            j["TrickModeControl"] = TrickModeControl;
            j["FieldID"] = FieldID;
            j["IntraSliceRefresh"] = IntraSliceRefresh;
            j["FrequencyTruncation"] = FrequencyTruncation;
            j["FieldRepCntrl"] = FieldRepCntrl;
        }
        if (AdditionalCopyInfoFlag)
            j["AdditionalCopyInfo"] = AdditionalCopyInfo;
        if (PES_CRC_Flag)
            j["PreviousPES_PacketCRC"] = PreviousPES_PacketCRC;
        if (PES_ExtensionFlag) {
            Json e;
            e["PES_PrivateDataFlag"] = PES_PrivateDataFlag;
            e["PackHeaderFieldFlag"] = PackHeaderFieldFlag;
            e["ProgramPacketSequenceCounterFlag"] = ProgramPacketSequenceCounterFlag;
            e["P_STD_BufferFlag"] = P_STD_BufferFlag;
            e["PES_ExtensionFlag2"] = PES_ExtensionFlag2;
            if (PES_PrivateDataFlag)
                e["PES_PrivateData"] = HexString(PES_PrivateData.data(), 16);
            if (PackHeaderFieldFlag)
                e["PackHeader"] = HexString(PackHeader);
            if (ProgramPacketSequenceCounterFlag) {
                e["ProgramPacketSequenceCounter"] = ProgramPacketSequenceCounter;
                e["MPEG1_MPEG2_Identifier"] = MPEG1_MPEG2_Identifier;
                e["OriginalStuffLength"] = OriginalStuffLength;
            }
            if (P_STD_BufferFlag) {
                e["P_STD_BufferScale"] = P_STD_BufferScale;
                e["P_STD_BufferSize"] = P_STD_BufferSize;
            }
            if (PES_ExtensionFlag2)
                e["PES_ExtensionField"] = HexString(PES_ExtensionField);
            j["PES_Extension"] = e;
        }
        j["StuffingSize"] = StuffingSize;
    }
    if (PES_DataStreamAlignmentType)
        j["PES_DataStreamAlignmentType"] = PES_DataStreamAlignmentType->AlignmentType;
    return j;
}

// ---- Transport packet -----------------------------------------------------------------------

std::unique_ptr<TransportPacket> TransportPacket::MakePatPacket() {
    auto p = std::make_unique<TransportPacket>();
    p->PID = pid::kPat;
    p->PayloadUnitStartIndicator = 1;
    p->PAT = std::make_unique<vx::PAT>();
    return p;
}

std::unique_ptr<TransportPacket> TransportPacket::MakePmtPacket() {
    auto p = std::make_unique<TransportPacket>();
    p->PID = pid::kPmt;
    p->PayloadUnitStartIndicator = 1;
    p->PMT = std::make_unique<vx::PMT>();
    return p;
}

std::unique_ptr<TransportPacket> TransportPacket::MakeSitPacket() {
    auto p = std::make_unique<TransportPacket>();
    p->PID = pid::kSit;
    p->PayloadUnitStartIndicator = 1;
    p->SIT = std::make_unique<vx::SIT>();
    return p;
}

std::unique_ptr<TransportPacket> TransportPacket::MakePcrPacket() {
    auto p = std::make_unique<TransportPacket>();
    p->PID = pid::kPcr;
    p->AdaptationFieldControl = 2;
    p->AdaptationField = std::make_unique<vx::AdaptationField>();
    p->AdaptationField->PCR_Flag = 1;
    // 183 bytes after the length byte: the flags byte, the 6-byte PCR and stuffing.
    p->AdaptationField->StuffingSize = 176;
    return p;
}

void TransportPacket::ParsePmtPayload(const uint8_t* data, size_t size, size_t at) {
    if (PayloadUnitStartIndicator) {
        pmtGathering_ = false;
        pmtSection_.clear();
        if (at >= size)
            return;
        size_t start = at + 1 + data[at];
        // The section_length must be in this packet for a section to begin.
        if (start + 3 > size)
            return;
        uint16_t sectionLength = ReadBE16(data + start + 1) & 0x0FFF;
        if (sectionLength < PMT::kMinSectionLength)
            return;
        // At most 4098 bytes: section_length is 12 bits.
        pmtNeeded_ = 3 + size_t(sectionLength);
        pmtSection_.reserve(pmtNeeded_);
        pmtGathering_ = true;
        at = start;
    } else if (!pmtGathering_) {
        return;
    }
    size_t take = std::min(size - at, pmtNeeded_ - pmtSection_.size());
    pmtSection_.insert(pmtSection_.end(), data + at, data + at + take);
    if (pmtSection_.size() < pmtNeeded_)
        return;
    pmtGathering_ = false;
    auto pmt = std::make_unique<vx::PMT>();
    if (pmt->Parse(pmtSection_.data(), pmtSection_.size()) > 0) {
        PMT = std::move(pmt);
        pmtComplete_ = true;
    }
    pmtSection_.clear();
}

int32_t TransportPacket::Parse(const uint8_t* data, size_t size) {
    AdaptationField.reset();
    PAT.reset();
    SIT.reset();
    PES_Packet.reset();
    if (pmtComplete_) {
        PMT.reset();
        pmtComplete_ = false;
    }
    size = std::min(size, kTransportPacketSize);
    if (data == nullptr || size < 4 || data[0] != kSyncByte) {
        PID = pid::kNull;
        return 0;
    }
    SyncByte = data[0];
    TransportErrorIndicator = data[1] >> 7;
    PayloadUnitStartIndicator = (data[1] >> 6) & 1;
    TransportPriority = (data[1] >> 5) & 1;
    PID = ReadBE16(data + 1) & 0x1FFF;
    TransportScramblingControl = data[3] >> 6;
    AdaptationFieldControl = (data[3] >> 4) & 0x03;
    ContinuityCounter = data[3] & 0x0F;
    size_t at = 4;
    if ((AdaptationFieldControl & 2) && at < size) {
        AdaptationField = std::make_unique<vx::AdaptationField>();
        at += size_t(AdaptationField->Parse(data + at, size - at));
    }
    bool payload = AdaptationFieldControl & 1;
    if (PID == pid::kPmt) {
        if (payload)
            ParsePmtPayload(data, size, at);
        return int32_t(size);
    }
    if (!payload || at >= size)
        return int32_t(at);
    if (PID == pid::kPat || PID == pid::kSit) {
        if (!PayloadUnitStartIndicator)
            return int32_t(at);
        size_t start = at + 1 + data[at];
        if (start > size)
            return int32_t(size);
        if (PID == pid::kPat) {
            PAT = std::make_unique<vx::PAT>();
            if (PAT->Parse(data + start, size - start) == 0)
                PAT.reset();
        } else {
            SIT = std::make_unique<vx::SIT>();
            if (SIT->Parse(data + start, size - start) == 0)
                SIT.reset();
        }
        return int32_t(start);
    }
    if (PayloadUnitStartIndicator && IsElementaryPid(PID)) {
        auto pes = std::make_unique<vx::PES_Packet>();
        int32_t used = pes->Parse(data + at, size - at);
        if (used > 0) {
            PES_Packet = std::move(pes);
            at += size_t(used);
        }
    }
    return int32_t(at);
}

bool TransportPacket::AdvancesCounter() const {
    bool table = PID == pid::kPat || PID == pid::kSit || PID == pid::kPmt || PID == pid::kPcr;
    return table && (AdaptationFieldControl & 1);
}

int32_t TransportPacket::Write(uint8_t* out) {
    ByteWriter w;
    w.U8(SyncByte);
    w.U16(uint16_t((TransportErrorIndicator & 1) << 15 | (PayloadUnitStartIndicator & 1) << 14 |
                   (TransportPriority & 1) << 13 | (PID & 0x1FFF)));
    w.U8(uint8_t((TransportScramblingControl & 0x03) << 6 | (AdaptationFieldControl & 0x03) << 4 |
                 (ContinuityCounter & 0x0F)));
    if (AdaptationFieldControl & 2) {
        if (AdaptationField)
            AdaptationField->Write(w);
        else
            w.U8(0);
    }
    std::vector<uint8_t> section;
    if (PID == pid::kPat && PAT) {
        if (PAT->Build(&section) == 0)
            return 0;
    } else if (PID == pid::kSit && SIT) {
        if (SIT->Build(&section) == 0)
            return 0;
    }
    if (!section.empty()) {
        w.U8(0);  // pointer field: the section starts right after it
        w.Bytes(section);
    } else if (PayloadUnitStartIndicator && PES_Packet && IsElementaryPid(PID)) {
        PES_Packet->Write(w);
    }
    if (w.Position() > kTransportPacketSize)
        return 0;
    std::memcpy(out, w.Buffer().data(), w.Position());
    if (AdvancesCounter())
        ContinuityCounter = (ContinuityCounter + 1) & 0x0F;
    return int32_t(w.Position());
}

int32_t TransportPacket::WriteSectionPacket(uint8_t* out, const uint8_t* section, size_t length,
                                            bool first) {
    out[0] = kSyncByte;
    WriteBE16(out + 1, uint16_t((TransportErrorIndicator & 1) << 15 | (first ? 1 : 0) << 14 |
                                (TransportPriority & 1) << 13 | (PID & 0x1FFF)));
    out[3] = uint8_t((TransportScramblingControl & 0x03) << 6 | 0x10 | (ContinuityCounter & 0x0F));
    size_t at = 4;
    if (first)
        out[at++] = 0;
    size_t n = std::min(length, kTransportPacketSize - at);
    if (n > 0)
        std::memcpy(out + at, section, n);
    ContinuityCounter = (ContinuityCounter + 1) & 0x0F;
    return int32_t(n);
}

bool TransportPacket::SetStuffing(int count) {
    if (count < 1 || count > 184)
        return false;
    AdaptationField = std::make_unique<vx::AdaptationField>();
    if (count >= 2) {
        AdaptationField->AdaptationFieldLength = uint8_t(count - 1);
        AdaptationField->StuffingSize = uint16_t(count - 2);
    }
    if (AdaptationFieldControl == 1 || AdaptationFieldControl == 3)
        AdaptationFieldControl = 3;
    else
        AdaptationFieldControl = 2;
    return true;
}

size_t TransportPacket::PayloadSize() const {
    if (!(AdaptationFieldControl & 1))
        return 0;
    size_t field = 0;
    if (AdaptationFieldControl & 2)
        field = AdaptationField ? AdaptationField->WrittenSize() : 1;
    return field >= 184 ? 0 : 184 - field;
}

void TransportPacket::Copy(const TransportPacket& s, TransportPacket& d) {
    d.SyncByte = s.SyncByte;
    d.TransportErrorIndicator = s.TransportErrorIndicator;
    d.PayloadUnitStartIndicator = s.PayloadUnitStartIndicator;
    d.TransportPriority = s.TransportPriority;
    d.PID = s.PID;
    d.TransportScramblingControl = s.TransportScramblingControl;
    d.AdaptationFieldControl = s.AdaptationFieldControl;
    d.ContinuityCounter = s.ContinuityCounter;
    d.AdaptationField =
        s.AdaptationField ? std::make_unique<vx::AdaptationField>(*s.AdaptationField) : nullptr;
    d.PAT.reset();
    if (s.PAT) {
        d.PAT = std::make_unique<vx::PAT>();
        vx::PAT::Copy(*s.PAT, *d.PAT);
    }
    d.PMT.reset();
    if (s.PMT) {
        d.PMT = std::make_unique<vx::PMT>();
        vx::PMT::Copy(*s.PMT, *d.PMT);
    }
    d.SIT = s.SIT ? std::make_unique<vx::SIT>(*s.SIT) : nullptr;
    d.PES_Packet = s.PES_Packet ? std::make_unique<vx::PES_Packet>(*s.PES_Packet) : nullptr;
    d.pmtSection_ = s.pmtSection_;
    d.pmtNeeded_ = s.pmtNeeded_;
    d.pmtGathering_ = s.pmtGathering_;
    d.pmtComplete_ = s.pmtComplete_;
}

Json TransportPacket::ToJson() const {
    Json j;
    j["SyncByte"] = SyncByte;
    j["TransportErrorIndicator"] = TransportErrorIndicator;
    j["PayloadUnitStartIndicator"] = PayloadUnitStartIndicator;
    j["TransportPriority"] = TransportPriority;
    j["PID"] = PID;
    j["TransportScramblingControl"] = TransportScramblingControl;
    j["AdaptationFieldControl"] = AdaptationFieldControl;
    j["ContinuityCounter"] = ContinuityCounter;
    if (AdaptationField)
        j["AdaptationField"] = AdaptationField->ToJson();
    if (PAT)
        j["PAT"] = PAT->ToJson();
    if (PMT)
        j["PMT"] = PMT->ToJson();
    if (SIT)
        j["SIT"] = SIT->ToJson();
    if (PES_Packet)
        j["PES_Packet"] = PES_Packet->ToJson();
    return j;
}

}  // namespace vx
