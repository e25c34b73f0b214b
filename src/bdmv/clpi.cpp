#include "bdmv/clpi.h"

#include <algorithm>
#include <cstring>

namespace vx {

namespace {

constexpr char kToolMagic[4] = {'C', 'R', 'V', 'N'};
constexpr size_t kMaxCount8 = 255;  // counts written in one byte
constexpr size_t kStcInfoSize = 14;
constexpr size_t kAtcDataSize = 14;
constexpr size_t kStreamEntrySize = 12;  // EP map stream entry
constexpr size_t kCoarseEntrySize = 8;
constexpr size_t kFineEntrySize = 4;
constexpr uint32_t kLow17 = 0x1FFFF;

// A reader over the content of the length-prefixed block at start (the bytes its length field
// announces); throws ParseError when the block leaves the data.
ByteReader Block(const uint8_t* data, size_t size, size_t start, uint32_t* length) {
    ByteReader r(data, size);
    r.Seek(start);
    *length = r.U32();
    return r.Sub(*length);
}

std::vector<uint8_t> Span(const uint8_t* data, size_t from, size_t to) {
    return std::vector<uint8_t>(data + from, data + to);
}

std::string Chars(const char* p, size_t n) {
    return JsonFileText(std::string(p, n));
}

template <size_t N>
void ReadChars(ByteReader& r, std::array<char, N>& out) {
    r.Bytes(out.data(), N);
}

template <size_t N>
void WriteChars(ByteWriter& w, const std::array<char, N>& in) {
    w.Bytes(in.data(), N);
}

// The reserved clip-info area holding the tool identification: the magic, then an extension
// data block with the one tool entry, then zeros. Texts too long for the area are shortened,
// the descriptor first. The lengths written are stored back into tool.
std::array<uint8_t, CLIP_INFO::kReservedSize> ToolArea(SCrvnToolData& tool) {
    // Block header, one directory entry, then the entry data padded to 4: two length bytes and
    // the texts.
    constexpr size_t kMaxTexts = (CLPI::kToolBlockRoom - 24) - 2;
    SCrvnToolData fitted(tool);
    if (fitted.Company.size() > kMaxTexts)
        fitted.Company.resize(kMaxTexts);
    if (fitted.Company.size() + fitted.Descriptor.size() > kMaxTexts)
        fitted.Descriptor.resize(kMaxTexts - fitted.Company.size());
    CExtData block;
    block.SetEntry(fitted, kExtIdToolData);
    std::vector<uint8_t> bytes;
    block.Build(&bytes);
    std::array<uint8_t, CLIP_INFO::kReservedSize> area{};
    std::memcpy(area.data(), kToolMagic, 4);
    std::memcpy(area.data() + 4, bytes.data(), std::min(bytes.size(), CLPI::kToolBlockRoom));
    tool.CompanyLength = fitted.CompanyLength;
    tool.DescriptorLength = fitted.DescriptorLength;
    return area;
}

// The tool identification the reserved area carries, or null. Only an area that we would write
// exactly so counts; anything else stays raw bytes.
std::unique_ptr<SCrvnToolData> ParseToolArea(
    const std::array<uint8_t, CLIP_INFO::kReservedSize>& area) {
    if (std::memcmp(area.data(), kToolMagic, 4) != 0)
        return nullptr;
    CExtData block;
    if (block.Parse(area.data() + 4, CLPI::kToolBlockRoom) <= 0)
        return nullptr;
    if (block.entries.GetCount() != 1)
        return nullptr;
    const SExtDataEntry* entry = block.FindEntry(kExtIdToolData);
    if (entry == nullptr)
        return nullptr;
    std::unique_ptr<SExtDataBase> object = CExtData::CreateObject(*entry);
    auto* tool = dynamic_cast<SCrvnToolData*>(object.get());
    if (tool == nullptr)
        return nullptr;
    auto result = std::make_unique<SCrvnToolData>(*tool);
    SCrvnToolData probe(*result);
    if (ToolArea(probe) != area)
        return nullptr;
    return result;
}

// ---- clip info ----------------------------------------------------------------------------

void ParseClipInfo(ByteReader& c, CLIP_INFO& ci) {
    c.Skip(2);
    ci.ClipStreamType = c.U8();
    ci.ApplicationType = c.U8();
    c.Skip(3);
    ci.IsAtcDelta = c.U8() & 1;
    ci.TsRecordingRate = c.U32();
    ci.NumberOfSourcePackets = c.U32();
    c.Bytes(ci.Reserved.data(), ci.Reserved.size());
    ci.TsTypeInfoBlockLength = c.U16();
    if (ci.TsTypeInfoBlockLength < CLIP_INFO::kTsTypeInfoLength)
        ByteReader::Fail("TS type info block too short");
    ByteReader t = c.Sub(ci.TsTypeInfoBlockLength);
    ci.ValidityFlags = t.U8();
    ReadChars(t, ci.FormatIdentifier);
    t.Bytes(ci.NetworkInformation.data(), ci.NetworkInformation.size());
    t.Bytes(ci.StreamFormatName.data(), ci.StreamFormatName.size());
    if (ci.IsAtcDelta) {
        c.Skip(1);
        const uint8_t count = c.U8();
        c.Need(kAtcDataSize * count);
        for (uint8_t i = 0; i < count; ++i) {
            AtcData atc;
            atc.AtcDelta = c.U32();
            ReadChars(c, atc.FollowingClipId);
            ReadChars(c, atc.ClipCodecId);
            c.Skip(1);
            ci.FollowingClips.Add(atc);
        }
    }
    ci.Extra = c.Vector(c.Remaining());
}

void BuildClipInfo(ByteWriter& w, CLIP_INFO& ci, SCrvnToolData* tool) {
    const size_t start = w.Position();
    w.U32(0);  // length, patched below
    w.Zeros(2);
    w.U8(ci.ClipStreamType);
    w.U8(ci.ApplicationType);
    const int following = std::min<int>(ci.FollowingClips.GetCount(), int(kMaxCount8));
    const bool withList = ci.IsAtcDelta || following > 0;
    w.Zeros(3);
    w.U8(withList ? 1 : 0);
    w.U32(ci.TsRecordingRate);
    w.U32(ci.NumberOfSourcePackets);
    if (tool != nullptr) {
        const auto area = ToolArea(*tool);
        w.Bytes(area.data(), area.size());
    } else {
        w.Bytes(ci.Reserved.data(), ci.Reserved.size());
    }
    w.U16(CLIP_INFO::kTsTypeInfoLength);
    w.U8(ci.ValidityFlags);
    WriteChars(w, ci.FormatIdentifier);
    w.Bytes(ci.NetworkInformation.data(), ci.NetworkInformation.size());
    w.Bytes(ci.StreamFormatName.data(), ci.StreamFormatName.size());
    if (withList) {
        w.U8(0);
        w.U8(uint8_t(following));
        for (int i = 0; i < following; ++i) {
            const AtcData* atc = ci.FollowingClips.GetAt(i);
            w.U32(atc->AtcDelta);
            WriteChars(w, atc->FollowingClipId);
            WriteChars(w, atc->ClipCodecId);
            w.U8(0);
        }
    }
    w.Bytes(ci.Extra);
    ci.Length = uint32_t(w.Position() - start - 4);
    ci.IsAtcDelta = withList ? 1 : 0;
    ci.TsTypeInfoBlockLength = CLIP_INFO::kTsTypeInfoLength;
    w.PatchU32(start, ci.Length);
}

// ---- sequence info ------------------------------------------------------------------------

void ParseSequenceInfo(ByteReader& s, SEQUENCE_INFO& si) {
    s.Skip(1);
    si.NumberOfAtcSequences = s.U8();
    if (si.NumberOfAtcSequences > 0) {
        si.SpnAtcStart = s.U32();
        si.NumberOfStcSequences = s.U8();
        si.OffsetStcId = s.U8();
        s.Need(kStcInfoSize * si.NumberOfStcSequences);
        for (uint8_t i = 0; i < si.NumberOfStcSequences; ++i) {
            STC_INFO stc;
            stc.PcrPid = s.U16();
            stc.SpnStcStart = s.U32();
            stc.StartPTS = s.U32();
            stc.EndPTS = s.U32();
            si.StcSequences.Add(stc);
        }
    }
    si.MoreAtcSequences = s.Vector(s.Remaining());
}

void BuildSequenceInfo(ByteWriter& w, SEQUENCE_INFO& si) {
    const size_t start = w.Position();
    w.U32(0);
    w.U8(0);
    w.U8(si.NumberOfAtcSequences);
    if (si.NumberOfAtcSequences > 0) {
        const int count = std::min<int>(si.StcSequences.GetCount(), int(kMaxCount8));
        w.U32(si.SpnAtcStart);
        w.U8(uint8_t(count));
        w.U8(si.OffsetStcId);
        for (int i = 0; i < count; ++i) {
            const STC_INFO* stc = si.StcSequences.GetAt(i);
            w.U16(stc->PcrPid);
            w.U32(stc->SpnStcStart);
            w.U32(stc->StartPTS);
            w.U32(stc->EndPTS);
        }
        si.NumberOfStcSequences = uint8_t(count);
    }
    w.Bytes(si.MoreAtcSequences);
    si.Length = uint32_t(w.Position() - start - 4);
    w.PatchU32(start, si.Length);
}

// ---- program info -------------------------------------------------------------------------

void ParseCodingInfo(ByteReader& ci, STREAM_INFO& st) {
    st.StreamCodingType = ci.U8();
    switch (STREAM_INFO::KindOf(st.StreamCodingType)) {
        case STREAM_INFO::Kind::video: {
            const uint8_t b2 = ci.U8(), b3 = ci.U8();
            st.VideoFormat = b2 >> 4;
            st.FrameRate = b2 & 0x0F;
            st.AspectRatio = b3 >> 4;
            ci.Skip(2);
            break;
        }
        case STREAM_INFO::Kind::audio: {
            const uint8_t b2 = ci.U8();
            st.PresentationType = b2 >> 4;
            st.SamplingFrequency = b2 & 0x0F;
            ReadChars(ci, st.LanguageCode);
            break;
        }
        case STREAM_INFO::Kind::graphics:
            ReadChars(ci, st.LanguageCode);
            ci.Skip(1);
            break;
        case STREAM_INFO::Kind::textSubtitle:
            st.CharacterCode = ci.U8();
            ReadChars(ci, st.LanguageCode);
            break;
        case STREAM_INFO::Kind::other:
            break;
    }
    // Some writers end the coding info early; what is missing of the recording code stays 0.
    ci.Bytes(st.ISRC.data(), std::min(st.ISRC.size(), ci.Remaining()));
}

void ParseProgramInfo(ByteReader& p, PROGRAM_INFO& pi) {
    p.Skip(1);
    pi.NumberOfProgramSequence = p.U8();
    if (pi.NumberOfProgramSequence == 0)
        return;
    pi.SpnProgramSequenceStart = p.U32();
    pi.ProgramMapPid = p.U16();
    pi.NumberOfStreams = p.U8();
    p.Skip(1);
    for (uint8_t i = 0; i < pi.NumberOfStreams; ++i) {
        STREAM_INFO st;
        st.StreamPID = p.U16();
        st.Length = p.U8();
        ByteReader ci = p.Sub(st.Length);
        ParseCodingInfo(ci, st);
        pi.Streams.Add(st);
    }
}

void BuildCodingInfo(ByteWriter& w, STREAM_INFO& st) {
    const size_t start = w.Position();
    w.U8(0);
    w.U8(st.StreamCodingType);
    switch (STREAM_INFO::KindOf(st.StreamCodingType)) {
        case STREAM_INFO::Kind::video:
            w.U8(uint8_t((st.VideoFormat << 4) | (st.FrameRate & 0x0F)));
            w.U8(uint8_t(st.AspectRatio << 4));
            w.Zeros(2);
            break;
        case STREAM_INFO::Kind::audio:
            w.U8(uint8_t((st.PresentationType << 4) | (st.SamplingFrequency & 0x0F)));
            WriteChars(w, st.LanguageCode);
            break;
        case STREAM_INFO::Kind::graphics:
            WriteChars(w, st.LanguageCode);
            w.U8(0);
            break;
        case STREAM_INFO::Kind::textSubtitle:
            w.U8(st.CharacterCode);
            WriteChars(w, st.LanguageCode);
            break;
        case STREAM_INFO::Kind::other:
            break;
    }
    w.Bytes(st.ISRC.data(), st.ISRC.size());
    w.Zeros(4);
    st.Length = uint8_t(w.Position() - start - 1);
    w.PatchU8(start, st.Length);
}

void BuildProgramInfo(ByteWriter& w, PROGRAM_INFO& pi) {
    const size_t start = w.Position();
    const int count = std::min<int>(pi.Streams.GetCount(), int(kMaxCount8));
    w.U32(0);
    w.U8(0);
    w.U8(1);
    w.U32(pi.SpnProgramSequenceStart);
    w.U16(pi.ProgramMapPid);
    w.U8(uint8_t(count));
    w.U8(0);
    for (int i = 0; i < count; ++i) {
        STREAM_INFO* st = pi.Streams.GetAt(i);
        w.U16(st->StreamPID);
        BuildCodingInfo(w, *st);
    }
    pi.NumberOfProgramSequence = 1;
    pi.NumberOfStreams = uint8_t(count);
    pi.Length = uint32_t(w.Position() - start - 4);
    w.PatchU32(start, pi.Length);
}

// ---- CPI ----------------------------------------------------------------------------------

struct Coarse {
    uint32_t fineRef;
    uint16_t time;  // presentation time bits 32-19
    uint32_t spn;
};

uint16_t CoarseTime(uint64_t pts) {
    return uint16_t((pts >> 19) & 0x3FFF);
}

// Reads the coarse and fine tables of one stream into its key points.
void ParseEpTables(ByteReader ep, STREAM_PID_ENTRY& entry) {
    ep.Seek(entry.EpMapForOneStreamStartAddress);
    const uint32_t fineStart = ep.U32();
    const size_t coarseCount = entry.NumberOfCoarseEntries;
    const size_t fineCount = entry.NumberOfFineEntries;
    ep.Need(kCoarseEntrySize * coarseCount);
    if ((coarseCount == 0) != (fineCount == 0))
        ByteReader::Fail("EP map counts disagree");
    std::vector<Coarse> coarse;
    coarse.reserve(coarseCount);
    for (size_t i = 0; i < coarseCount; ++i) {
        const uint32_t head = ep.U32();
        Coarse c{head >> 14, uint16_t(head & 0x3FFF), ep.U32()};
        // Each coarse entry opens a run of fine entries: the first at 0, then strictly rising.
        const bool inOrder = i == 0 ? c.fineRef == 0 : c.fineRef > coarse.back().fineRef;
        if (!inOrder || c.fineRef >= fineCount)
            ByteReader::Fail("EP coarse entries out of order");
        coarse.push_back(c);
    }
    ep.Seek(size_t(entry.EpMapForOneStreamStartAddress) + fineStart);
    ep.Need(kFineEntrySize * fineCount);
    size_t ci = 0;
    for (size_t j = 0; j < fineCount; ++j) {
        if (ci + 1 < coarse.size() && coarse[ci + 1].fineRef == j)
            ++ci;
        const Coarse& c = coarse[ci];
        const uint32_t fine = ep.U32();
        KEY_POINT_INFO kp;
        // Bit 19 of the time is in both tables; the fine entry's copy is used.
        kp.PresentationTime =
            (uint64_t(c.time & ~1u) << 19) | (uint64_t((fine >> 17) & 0x7FF) << 9);
        kp.StartSpn = (c.spn & ~kLow17) | (fine & kLow17);
        kp.IEndPositionOffset = int8_t((fine >> 28) & 7);
        kp.EndSpn = uint32_t(kp.IEndPositionOffset);
        kp.IsAngleChangePoint = uint8_t(fine >> 31);
        kp.StartsCoarseEntry = c.fineRef == j ? 1 : 0;
        entry.KeyPoints.Add(kp);
    }
}

void ParseCpi(ByteReader& q, CPI& cpi) {
    if (q.Size() == 0)
        return;
    q.Skip(1);
    cpi.CpiType = q.U8() & 0x0F;
    ByteReader ep = q.Sub(q.Remaining());
    ep.Skip(1);
    const uint8_t count = ep.U8();
    ep.Need(kStreamEntrySize * count);
    for (uint8_t i = 0; i < count; ++i) {
        auto entry = std::make_unique<STREAM_PID_ENTRY>();
        entry->StreamPid = ep.U16();
        ep.Skip(1);
        const uint8_t b3 = ep.U8(), b4 = ep.U8(), b5 = ep.U8();
        entry->EpStreamType = (b3 >> 2) & 0x0F;
        entry->NumberOfCoarseEntries = uint16_t(((b3 & 3) << 14) | (b4 << 6) | (b5 >> 2));
        entry->NumberOfFineEntries = (uint32_t(b5 & 3) << 16) | ep.U16();
        entry->EpMapForOneStreamStartAddress = ep.U32();
        ParseEpTables(ep, *entry);
        cpi.EpMap.Add(std::move(entry));
    }
}

// The I-end position offset a key point is written with.
uint8_t FineIEnd(const KEY_POINT_INFO& kp, uint8_t epStreamType) {
    if (kp.IEndPositionOffset >= 0)
        return uint8_t(kp.IEndPositionOffset & 7);
    return epStreamType == 1 ? KEY_POINT_INFO::IEndCode(kp.StartSpn, kp.EndSpn) : 0;
}

// The coarse and fine tables of one stream. A coarse entry starts at the first key point, where
// the file read had one, and wherever the time bits 32-19 or the packet bits 31-17 change.
std::vector<uint8_t> BuildEpTables(STREAM_PID_ENTRY& entry) {
    std::vector<Coarse> coarse;
    uint32_t fineCount = 0;
    for (const KEY_POINT_INFO* kp : entry.KeyPoints.Records()) {
        if (fineCount == STREAM_PID_ENTRY::kMaxFineEntries)
            break;
        const uint16_t time = CoarseTime(kp->PresentationTime);
        const bool starts = coarse.empty() || kp->StartsCoarseEntry || time != coarse.back().time ||
                            (kp->StartSpn >> 17) != (coarse.back().spn >> 17);
        if (starts) {
            if (coarse.size() == STREAM_PID_ENTRY::kMaxCoarseEntries)
                break;
            coarse.push_back({fineCount, time, kp->StartSpn});
        }
        ++fineCount;
    }
    ByteWriter w;
    w.U32(uint32_t(4 + kCoarseEntrySize * coarse.size()));
    for (const Coarse& c : coarse) {
        w.U32((c.fineRef << 14) | c.time);
        w.U32(c.spn);
    }
    for (uint32_t j = 0; j < fineCount; ++j) {
        const KEY_POINT_INFO* kp = entry.KeyPoints.GetAt(int(j));
        w.U32((uint32_t(kp->IsAngleChangePoint & 1) << 31) |
              (uint32_t(FineIEnd(*kp, entry.EpStreamType)) << 28) |
              (uint32_t((kp->PresentationTime >> 9) & 0x7FF) << 17) | (kp->StartSpn & kLow17));
    }
    entry.NumberOfCoarseEntries = uint16_t(coarse.size());
    entry.NumberOfFineEntries = fineCount;
    return w.Take();
}

void BuildCpi(ByteWriter& w, CPI& cpi) {
    const int count = std::min<int>(cpi.EpMap.GetCount(), int(kMaxCount8));
    if (count == 0) {
        w.U32(0);
        cpi.Length = 0;
        return;
    }
    const size_t start = w.Position();
    w.U32(0);
    w.U8(0);
    w.U8(cpi.CpiType & 0x0F);
    std::vector<std::vector<uint8_t>> tables;
    for (int i = 0; i < count; ++i) tables.push_back(BuildEpTables(*cpi.EpMap.GetAt(i)));
    w.U8(0);
    w.U8(uint8_t(count));
    uint32_t address = uint32_t(2 + kStreamEntrySize * size_t(count));
    for (int i = 0; i < count; ++i) {
        STREAM_PID_ENTRY* e = cpi.EpMap.GetAt(i);
        e->EpMapForOneStreamStartAddress = address;
        address += uint32_t(tables[size_t(i)].size());
        const uint32_t nc = e->NumberOfCoarseEntries, nf = e->NumberOfFineEntries;
        w.U16(e->StreamPid);
        w.U8(0);
        w.U8(uint8_t(((e->EpStreamType & 0x0F) << 2) | (nc >> 14)));
        w.U8(uint8_t(nc >> 6));
        w.U8(uint8_t(((nc & 0x3F) << 2) | (nf >> 16)));
        w.U16(uint16_t(nf));
        w.U32(e->EpMapForOneStreamStartAddress);
    }
    for (const auto& t : tables) w.Bytes(t);
    cpi.Length = uint32_t(w.Position() - start - 4);
    w.PatchU32(start, cpi.Length);
}

// ---- copies -------------------------------------------------------------------------------

void CopyClipInfo(const CLIP_INFO& s, CLIP_INFO& d) {
    d.Length = s.Length;
    d.ClipStreamType = s.ClipStreamType;
    d.ApplicationType = s.ApplicationType;
    d.IsAtcDelta = s.IsAtcDelta;
    d.TsRecordingRate = s.TsRecordingRate;
    d.NumberOfSourcePackets = s.NumberOfSourcePackets;
    d.Reserved = s.Reserved;
    d.TsTypeInfoBlockLength = s.TsTypeInfoBlockLength;
    d.ValidityFlags = s.ValidityFlags;
    d.FormatIdentifier = s.FormatIdentifier;
    d.NetworkInformation = s.NetworkInformation;
    d.StreamFormatName = s.StreamFormatName;
    d.FollowingClips.CopyFrom(s.FollowingClips);
    d.Extra = s.Extra;
}

void CopySequenceInfo(const SEQUENCE_INFO& s, SEQUENCE_INFO& d) {
    d.Length = s.Length;
    d.NumberOfAtcSequences = s.NumberOfAtcSequences;
    d.SpnAtcStart = s.SpnAtcStart;
    d.NumberOfStcSequences = s.NumberOfStcSequences;
    d.OffsetStcId = s.OffsetStcId;
    d.StcSequences.CopyFrom(s.StcSequences);
    d.MoreAtcSequences = s.MoreAtcSequences;
}

void CopyProgramInfo(const PROGRAM_INFO& s, PROGRAM_INFO& d) {
    d.Length = s.Length;
    d.NumberOfProgramSequence = s.NumberOfProgramSequence;
    d.SpnProgramSequenceStart = s.SpnProgramSequenceStart;
    d.ProgramMapPid = s.ProgramMapPid;
    d.NumberOfStreams = s.NumberOfStreams;
    d.Streams.CopyFrom(s.Streams);
}

void CopyCpi(const CPI& s, CPI& d) {
    d.Length = s.Length;
    d.CpiType = s.CpiType;
    d.EpMap.CopyFrom(s.EpMap);
}

}  // namespace

std::string ToolDescriptor() {
    return std::string("Vexilla, Version ") + VEXILLA_VERSION;
}

// ---- records ------------------------------------------------------------------------------

STREAM_INFO::Kind STREAM_INFO::KindOf(uint8_t codingType) {
    switch (codingType) {
        case 0x02:
        case 0x1B:
        case 0xEA:
            return Kind::video;
        case 0x80:
        case 0x81:
        case 0x82:
        case 0x83:
        case 0x84:
        case 0x85:
        case 0x86:
        case 0xA1:
        case 0xA2:
            return Kind::audio;
        case 0x90:
        case 0x91:
            return Kind::graphics;
        case 0x92:
            return Kind::textSubtitle;
        default:
            return Kind::other;
    }
}

Json STREAM_INFO::ToJson() const {
    Json info;
    info["Length"] = Length;
    info["StreamCodingType"] = StreamCodingType;
    switch (KindOf(StreamCodingType)) {
        case Kind::video:
            info["VideoFormat"] = VideoFormat;
            info["FrameRate"] = FrameRate;
            info["AspectRatio"] = AspectRatio;
            break;
        case Kind::audio:
            info["PresentationType"] = PresentationType;
            info["SamplingFrequency"] = SamplingFrequency;
            info["LanguageCode"] = JsonFileText(Language());
            break;
        case Kind::graphics:
            info["LanguageCode"] = JsonFileText(Language());
            break;
        case Kind::textSubtitle:
            info["CharacterCode"] = CharacterCode;
            info["LanguageCode"] = JsonFileText(Language());
            break;
        case Kind::other:
            break;
    }
    info["ISRC"] = HexString(ISRC.data(), ISRC.size());
    Json j;
    j["StreamPID"] = StreamPID;
    j["StreamCodingInfo"] = std::move(info);
    return j;
}

uint8_t KEY_POINT_INFO::IEndCode(uint32_t startSpn, uint32_t endSpn) {
    const uint64_t packets = endSpn >= startSpn ? uint64_t(endSpn) - startSpn + 1 : 1;
    const uint64_t bytes = packets * 192;
    static constexpr uint64_t kLimits[] = {131072, 262144, 393216, 589824, 917504, 1310720};
    uint8_t code = 1;
    for (uint64_t limit : kLimits) {
        if (bytes < limit)
            return code;
        ++code;
    }
    return 7;
}

void STREAM_PID_ENTRY::Copy(const CNamedObject& source) {
    CNamedObject::Copy(source);
    if (auto* e = dynamic_cast<const STREAM_PID_ENTRY*>(&source)) {
        StreamPid = e->StreamPid;
        EpStreamType = e->EpStreamType;
        NumberOfCoarseEntries = e->NumberOfCoarseEntries;
        NumberOfFineEntries = e->NumberOfFineEntries;
        EpMapForOneStreamStartAddress = e->EpMapForOneStreamStartAddress;
        KeyPoints.CopyFrom(e->KeyPoints);
    }
}

Json STREAM_PID_ENTRY::ToJson() const {
    Json j;
    j["StreamPID"] = StreamPid;
    j["EpStreamType"] = EpStreamType;
    j["NumberOfCoarseEntries"] = NumberOfCoarseEntries;
    j["NumberOfFineEntries"] = NumberOfFineEntries;
    j["EpMapForOneStreamStartAddress"] = EpMapForOneStreamStartAddress;
    Json points = Json::array();
    for (const KEY_POINT_INFO* kp : KeyPoints.Records()) {
        Json p;
        p["PresentationTime"] = kp->PresentationTime;
        p["StartSpn"] = kp->StartSpn;
        p["EndSpn"] = kp->EndSpn;
        if (kp->IEndPositionOffset >= 0)
            p["IEndPositionOffset"] = kp->IEndPositionOffset;
        if (kp->IsAngleChangePoint)
            p["IsAngleChangePoint"] = kp->IsAngleChangePoint;
        points.push_back(std::move(p));
    }
    j["KeyPoints"] = std::move(points);
    return j;
}

// ---- CLPI ---------------------------------------------------------------------------------

CLPI::CLPI() {
    ToolIdentification = std::make_unique<SCrvnToolData>();
    ToolIdentification->Descriptor = ToolDescriptor();
}

void CLPI::Reset() {
    TypeIndicator = "HDMV";
    VersionNumber = "0200";
    SequenceInfoStartAddress = ProgramInfoStartAddress = CpiStartAddress = 0;
    ClipMarkStartAddress = ExtensionDataStartAddress = 0;
    {
        CLIP_INFO fresh;
        CopyClipInfo(fresh, ClipInfo);
    }
    {
        SEQUENCE_INFO fresh;
        CopySequenceInfo(fresh, SequenceInfo);
    }
    {
        PROGRAM_INFO fresh;
        CopyProgramInfo(fresh, ProgramInfo);
    }
    {
        CPI fresh;
        CopyCpi(fresh, Cpi);
    }
    ClipMarkLength = 0;
    ExtensionData.reset();
    ToolIdentification.reset();
    for (auto& gap : Gaps) gap.clear();
}

int32_t CLPI::Parse(const uint8_t* data, size_t size, bool readCpi) {
    Reset();
    if (data == nullptr || size > size_t(INT32_MAX))
        return 0;
    try {
        ByteReader r(data, size);
        TypeIndicator = r.Text(4);
        VersionNumber = r.Text(4);
        SequenceInfoStartAddress = r.U32();
        ProgramInfoStartAddress = r.U32();
        CpiStartAddress = r.U32();
        ClipMarkStartAddress = r.U32();
        ExtensionDataStartAddress = r.U32();
        r.Skip(12);

        // Each block must start at or behind the end of the previous one; what lies between
        // them is kept.
        size_t end = 0;
        auto next = [&](size_t start, std::vector<uint8_t>* gapBefore) {
            if (start < end)
                ByteReader::Fail("blocks overlap");
            if (gapBefore != nullptr)
                *gapBefore = Span(data, end, std::min(start, size));
        };
        uint32_t length = 0;

        ByteReader c = Block(data, size, kClipInfoStart, &length);
        ClipInfo.Length = length;
        ParseClipInfo(c, ClipInfo);
        ToolIdentification = ParseToolArea(ClipInfo.Reserved);
        end = kClipInfoStart + 4 + size_t(length);

        next(SequenceInfoStartAddress, &Gaps[0]);
        ByteReader s = Block(data, size, SequenceInfoStartAddress, &length);
        SequenceInfo.Length = length;
        ParseSequenceInfo(s, SequenceInfo);
        end = size_t(SequenceInfoStartAddress) + 4 + length;

        next(ProgramInfoStartAddress, &Gaps[1]);
        ByteReader p = Block(data, size, ProgramInfoStartAddress, &length);
        ProgramInfo.Length = length;
        ParseProgramInfo(p, ProgramInfo);
        end = size_t(ProgramInfoStartAddress) + 4 + length;

        next(CpiStartAddress, &Gaps[2]);
        ByteReader q = Block(data, size, CpiStartAddress, &length);
        Cpi.Length = length;
        if (readCpi)
            ParseCpi(q, Cpi);
        end = size_t(CpiStartAddress) + 4 + length;

        next(ClipMarkStartAddress, &Gaps[3]);
        Block(data, size, ClipMarkStartAddress, &ClipMarkLength);
        end = size_t(ClipMarkStartAddress) + 4 + ClipMarkLength;

        if (ExtensionDataStartAddress != 0) {
            next(ExtensionDataStartAddress, &Gaps[4]);
            if (ExtensionDataStartAddress > size)
                ByteReader::Fail("extension data outside file");
            ExtensionData = std::make_unique<CExtData>();
            const int32_t used = ExtensionData->Parse(data + ExtensionDataStartAddress,
                                                      size - ExtensionDataStartAddress);
            if (used <= 0)
                return 0;
            end = size_t(ExtensionDataStartAddress) + size_t(used);
            Gaps[5] = Span(data, end, size);
        } else {
            Gaps[4] = Span(data, end, size);
        }
        return int32_t(size);
    } catch (const ParseError&) {
        return 0;
    }
}

uint32_t CLPI::Build(std::vector<uint8_t>* out) {
    if (out == nullptr) {
        CLPI scratch;
        Copy(*this, scratch);
        std::vector<uint8_t> image;
        return scratch.Build(&image);
    }
    ByteWriter w;
    w.Text(TypeIndicator, 4);
    w.Text(VersionNumber, 4);
    w.Zeros(20);  // start addresses, patched below
    w.Zeros(12);
    BuildClipInfo(w, ClipInfo, ToolIdentification.get());
    w.Bytes(Gaps[0]);
    SequenceInfoStartAddress = uint32_t(w.Position());
    BuildSequenceInfo(w, SequenceInfo);
    w.Bytes(Gaps[1]);
    ProgramInfoStartAddress = uint32_t(w.Position());
    BuildProgramInfo(w, ProgramInfo);
    w.Bytes(Gaps[2]);
    CpiStartAddress = uint32_t(w.Position());
    BuildCpi(w, Cpi);
    w.Bytes(Gaps[3]);
    ClipMarkStartAddress = uint32_t(w.Position());
    w.U32(0);
    ClipMarkLength = 0;
    w.Bytes(Gaps[4]);
    ExtensionDataStartAddress = 0;
    if (ExtensionData) {
        ExtensionDataStartAddress = uint32_t(w.Position());
        ExtensionData->BuildInto(w);
        w.Bytes(Gaps[5]);
    }
    w.PatchU32(8, SequenceInfoStartAddress);
    w.PatchU32(12, ProgramInfoStartAddress);
    w.PatchU32(16, CpiStartAddress);
    w.PatchU32(20, ClipMarkStartAddress);
    w.PatchU32(24, ExtensionDataStartAddress);
    *out = w.Take();
    return uint32_t(out->size());
}

void CLPI::Write(CFile& file) {
    std::vector<uint8_t> image;
    Build(&image);
    file.Write(image.data(), image.size());
}

void CLPI::Copy(const CLPI& source, CLPI& destination) {
    if (&source == &destination)
        return;
    destination.TypeIndicator = source.TypeIndicator;
    destination.VersionNumber = source.VersionNumber;
    destination.SequenceInfoStartAddress = source.SequenceInfoStartAddress;
    destination.ProgramInfoStartAddress = source.ProgramInfoStartAddress;
    destination.CpiStartAddress = source.CpiStartAddress;
    destination.ClipMarkStartAddress = source.ClipMarkStartAddress;
    destination.ExtensionDataStartAddress = source.ExtensionDataStartAddress;
    CopyClipInfo(source.ClipInfo, destination.ClipInfo);
    CopySequenceInfo(source.SequenceInfo, destination.SequenceInfo);
    CopyProgramInfo(source.ProgramInfo, destination.ProgramInfo);
    CopyCpi(source.Cpi, destination.Cpi);
    destination.ClipMarkLength = source.ClipMarkLength;
    destination.ExtensionData = source.ExtensionData ? source.ExtensionData->Clone() : nullptr;
    destination.ToolIdentification =
        source.ToolIdentification ? std::make_unique<SCrvnToolData>(*source.ToolIdentification)
                                  : nullptr;
    destination.Gaps = source.Gaps;
}

Json CLPI::ToJson() const {
    Json j;
    j["TypeIndicator"] = JsonFileText(TypeIndicator);
    j["VersionNumber"] = JsonFileText(VersionNumber);
    j["SequenceInfoStartAddress"] = SequenceInfoStartAddress;
    j["ProgramInfoStartAddress"] = ProgramInfoStartAddress;
    j["CpiStartAddress"] = CpiStartAddress;
    j["ClipMarkStartAddress"] = ClipMarkStartAddress;
    j["ExtensionDataStartAddress"] = ExtensionDataStartAddress;

    Json ci;
    ci["Length"] = ClipInfo.Length;
    ci["ClipStreamType"] = ClipInfo.ClipStreamType;
    ci["ApplicationType"] = ClipInfo.ApplicationType;
    ci["IsAtcDelta"] = ClipInfo.IsAtcDelta;
    ci["TsRecordingRate"] = ClipInfo.TsRecordingRate;
    ci["NumberOfSourcePackets"] = ClipInfo.NumberOfSourcePackets;
    if (ToolIdentification) {
        ci["ToolIdentification"] = ToolIdentification->ToJson();
    } else {
        ci["Reserved"] = HexString(ClipInfo.Reserved.data(), ClipInfo.Reserved.size());
    }
    Json ts;
    ts["Length"] = ClipInfo.TsTypeInfoBlockLength;
    ts["ValidityFlags"] = ClipInfo.ValidityFlags;
    ts["FormatIdentifier"] = Chars(ClipInfo.FormatIdentifier.data(), 4);
    ts["NetworkInformation"] =
        HexString(ClipInfo.NetworkInformation.data(), ClipInfo.NetworkInformation.size());
    ts["StreamFormatName"] =
        HexString(ClipInfo.StreamFormatName.data(), ClipInfo.StreamFormatName.size());
    ci["TsTypeInfoBlock"] = std::move(ts);
    Json following = Json::array();
    for (const AtcData* atc : ClipInfo.FollowingClips.Records()) {
        following.push_back({{"AtcDelta", atc->AtcDelta},
                             {"FollowingClipId", Chars(atc->FollowingClipId.data(), 5)},
                             {"ClipCodecId", Chars(atc->ClipCodecId.data(), 4)}});
    }
    ci["FollowingClips"] = std::move(following);
    if (!ClipInfo.Extra.empty())
        ci["Extra"] = HexString(ClipInfo.Extra);
    j["ClipInfo"] = std::move(ci);

    Json si;
    si["Length"] = SequenceInfo.Length;
    si["NumberOfAtcSequences"] = SequenceInfo.NumberOfAtcSequences;
    si["SpnAtcStart"] = SequenceInfo.SpnAtcStart;
    si["NumberOfStcSequences"] = SequenceInfo.NumberOfStcSequences;
    si["OffsetStcId"] = SequenceInfo.OffsetStcId;
    Json stcs = Json::array();
    for (const STC_INFO* stc : SequenceInfo.StcSequences.Records()) {
        stcs.push_back({{"PcrPID", stc->PcrPid},
                        {"SpnStcStart", stc->SpnStcStart},
                        {"StartPTS", stc->StartPTS},
                        {"EndPTS", stc->EndPTS}});
    }
    si["StcSequences"] = std::move(stcs);
    if (!SequenceInfo.MoreAtcSequences.empty())
        si["MoreAtcSequences"] = HexString(SequenceInfo.MoreAtcSequences);
    j["SequenceInfo"] = std::move(si);

    Json pi;
    pi["Length"] = ProgramInfo.Length;
    pi["NumberOfProgramSequence"] = ProgramInfo.NumberOfProgramSequence;
    pi["SpnProgramSequenceStart"] = ProgramInfo.SpnProgramSequenceStart;
    pi["ProgramMapPID"] = ProgramInfo.ProgramMapPid;
    pi["NumberOfStreams"] = ProgramInfo.NumberOfStreams;
    Json streams = Json::array();
    for (const STREAM_INFO* st : ProgramInfo.Streams.Records()) streams.push_back(st->ToJson());
    pi["Streams"] = std::move(streams);
    j["ProgramInfo"] = std::move(pi);

    Json cpi;
    cpi["Length"] = Cpi.Length;
    cpi["CpiType"] = Cpi.CpiType;
    Json map = Json::array();
    for (const STREAM_PID_ENTRY* e : Cpi.EpMap.Children()) map.push_back(e->ToJson());
    cpi["EpMap"] = std::move(map);
    j["CPI"] = std::move(cpi);

    j["ClipMarkLength"] = ClipMarkLength;
    if (ExtensionData)
        j["ExtensionData"] = ExtensionData->ToJson();
    return j;
}

}  // namespace vx
