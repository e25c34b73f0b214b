#include "transport/psi.h"

#include <algorithm>
#include <string>

#include "bdmv/ext_data.h"

namespace vx {

// ---- CRC ------------------------------------------------------------------------------------

namespace {

struct CrcTable {
    uint32_t entries[256];
    constexpr CrcTable() : entries() {
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t c = i << 24;
            for (int bit = 0; bit < 8; ++bit)
                c = (c & 0x80000000u) ? (c << 1) ^ 0x04C11DB7u : c << 1;
            entries[i] = c;
        }
    }
};

constexpr CrcTable kCrcTable;

}  // namespace

uint32_t SectionCrc32(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) crc = (crc << 8) ^ kCrcTable.entries[(crc >> 24) ^ data[i]];
    return crc;
}

// ---- Shared section helpers -----------------------------------------------------------------

namespace {

// The first 8 bytes every table shares.
struct SectionHeader {
    uint8_t tableId = 0;
    uint8_t syntax = 0;
    uint16_t length = 0;
    uint16_t id = 0;
    uint8_t version = 0;
    uint8_t current = 0;
    uint8_t number = 0;
    uint8_t last = 0;
};

SectionHeader ReadSectionHeader(ByteReader& r) {
    SectionHeader h;
    h.tableId = r.U8();
    uint16_t v = r.U16();
    h.syntax = v >> 15;
    h.length = v & 0x0FFF;
    h.id = r.U16();
    uint8_t b = r.U8();
    h.version = (b >> 1) & 0x1F;
    h.current = b & 1;
    h.number = r.U8();
    h.last = r.U8();
    return h;
}

void WriteSectionHeader(ByteWriter& w, const SectionHeader& h) {
    w.U8(h.tableId);
    w.U16(0);  // syntax and length, patched by FinishSection
    w.U16(h.id);
    w.U8(uint8_t(0xC0 | (h.version & 0x1F) << 1 | (h.current & 1)));
    w.U8(h.number);
    w.U8(h.last);
}

// Patches the syntax indicator and section_length and appends the CRC. False when the section
// is longer than section_length can say.
bool FinishSection(ByteWriter& w, uint8_t syntax, uint16_t& length, uint32_t& crc) {
    size_t sectionLength = w.Position() - 3 + 4;
    if (sectionLength > kMaxSectionLength)
        return false;
    w.PatchU16(1, uint16_t((syntax & 1) << 15 | 0x3000 | sectionLength));
    crc = SectionCrc32(w.Buffer().data(), w.Position());
    w.U32(crc);
    length = uint16_t(sectionLength);
    return true;
}

std::string Chars(const char* p, size_t n) {
    return JsonFileText(std::string(p, n));
}

template <size_t N>
std::string Chars(const std::array<char, N>& a) {
    return Chars(a.data(), N);
}

// A whole descriptor (tag, length and the bytes its length names) at the reader's position.
// Returns its tag, or -1 when the bytes left cannot hold one.
int PeekDescriptor(const ByteReader& block) {
    if (block.Remaining() < 2)
        return -1;
    const uint8_t* p = block.Here();
    if (size_t(p[1]) + 2 > block.Remaining())
        return -1;
    return p[0];
}

// Moves past the descriptor PeekDescriptor found and returns a reader over its body.
ByteReader TakeDescriptor(ByteReader& block) {
    block.Skip(1);
    uint8_t length = block.U8();
    return block.Sub(length);
}

void WriteDescriptorHeader(ByteWriter& w, uint8_t tag, size_t length) {
    w.U8(tag);
    w.U8(uint8_t(length));
}

}  // namespace

// ---- PAT ------------------------------------------------------------------------------------

PAT::PAT() {
    Programs.Add(PI{0, 0x001F});
    Programs.Add(PI{1, 0x0100});
}

int32_t PAT::Parse(const uint8_t* data, size_t size) {
    // The header and a CRC: the least this record writes back.
    if (size < 12)
        return 0;
    try {
        ByteReader r(data, size);
        SectionHeader h = ReadSectionHeader(r);
        // Five header bytes after the length field and the CRC.
        if (h.length < 9)
            return 0;
        TableId = h.tableId;
        SectionSyntaxIndicator = h.syntax;
        SectionLength = h.length;
        TransportStreamId = h.id;
        VersionNumber = h.version;
        CurrentNextIndicator = h.current;
        SectionNumber = h.number;
        LastSectionNumber = h.last;
        Programs.RemoveAll();
        CRC32 = 0;
        size_t crcAt = size_t(h.length) + 3 - 4;
        // Entries stop before the CRC, and before the buffer's last 4 bytes when the section
        // runs past it, so that the record rewritten with its CRC fits where it was read.
        size_t programsEnd = std::min(crcAt, size - 4);
        while (r.Position() + 4 <= programsEnd) {
            PI pi;
            pi.ProgramNumber = r.U16();
            pi.ProgramMapPid = r.U16() & 0x1FFF;
            Programs.Add(pi);
        }
        if (crcAt + 4 > size)
            return int32_t(r.Position());
        CRC32 = ReadBE32(data + crcAt);
        return int32_t(crcAt + 4);
    } catch (const ParseError&) {
        return 0;
    }
}

uint32_t PAT::Build(std::vector<uint8_t>* out) {
    ByteWriter w;
    WriteSectionHeader(w, {TableId, SectionSyntaxIndicator, 0, TransportStreamId, VersionNumber,
                           CurrentNextIndicator, SectionNumber, LastSectionNumber});
    for (const PI* pi : Programs.Records()) {
        w.U16(pi->ProgramNumber);
        w.U16(uint16_t(0xE000 | (pi->ProgramMapPid & 0x1FFF)));
    }
    uint16_t length = 0;
    uint32_t crc = 0;
    if (!FinishSection(w, SectionSyntaxIndicator, length, crc))
        return 0;
    uint32_t size = uint32_t(w.Position());
    if (out != nullptr) {
        SectionLength = length;
        CRC32 = crc;
        *out = w.Take();
    }
    return size;
}

void PAT::Copy(const PAT& source, PAT& destination) {
    destination.TableId = source.TableId;
    destination.SectionSyntaxIndicator = source.SectionSyntaxIndicator;
    destination.SectionLength = source.SectionLength;
    destination.TransportStreamId = source.TransportStreamId;
    destination.VersionNumber = source.VersionNumber;
    destination.CurrentNextIndicator = source.CurrentNextIndicator;
    destination.SectionNumber = source.SectionNumber;
    destination.LastSectionNumber = source.LastSectionNumber;
    destination.Programs.CopyFrom(source.Programs);
    destination.CRC32 = source.CRC32;
}

Json PAT::ToJson() const {
    Json j;
    j["TableId"] = TableId;
    j["SectionSyntaxIndicator"] = SectionSyntaxIndicator;
    j["SectionLength"] = SectionLength;
    j["TransportStreamId"] = TransportStreamId;
    j["VersionNumber"] = VersionNumber;
    j["CurrentNextIndicator"] = CurrentNextIndicator;
    j["SectionNumber"] = SectionNumber;
    j["LastSectionNumber"] = LastSectionNumber;
    Json programs = Json::array();
    for (const PI* pi : Programs.Records()) {
        Json p;
        p["ProgramNumber"] = pi->ProgramNumber;
        p[pi->ProgramNumber == 0 ? "NetworkPID" : "ProgramMapPid"] = pi->ProgramMapPid;
        programs.push_back(p);
    }
    j["Programs"] = programs;
    j["CRC32"] = CRC32;
    return j;
}

// ---- ESI ------------------------------------------------------------------------------------

namespace {

void ReadVideoRegistration(ByteReader body, ESI& esi) {
    if (body.Size() < 8)
        return;
    HDMV_VIDEO_REGISTRATION_DESCRIPTOR d;
    body.Bytes(d.FormatIdentifier.data(), 4);
    body.Skip(1);
    d.StreamCodingType = body.U8();
    uint8_t b = body.U8();
    d.VideoFormat = b >> 4;
    d.FrameRate = b & 0x0F;
    d.AspectRatio = body.U8() >> 4;
    esi.HdmvVideoRegistrationDescriptor = d;
}

void ReadLpcmRegistration(ByteReader body, ESI& esi) {
    if (body.Size() < 8)
        return;
    HDMV_LPCM_REGISTRATION_DESCRIPTOR d;
    body.Bytes(d.FormatIdentifier.data(), 4);
    body.Skip(1);
    d.StreamCodingType = body.U8();
    uint8_t b = body.U8();
    d.AudioPresentationType = b >> 4;
    d.SamplingFrequency = b & 0x0F;
    d.BitsPerSample = body.U8() >> 6;
    esi.HdmvLpcmRegistrationDescriptor = d;
}

void ReadAc3Registration(ByteReader body, ESI& esi) {
    if (body.Size() < 4)
        return;
    AC3_REGISTRATION_DESCRIPTOR d;
    body.Bytes(d.FormatIdentifier.data(), 4);
    esi.Ac3RegistrationDescriptor = d;
}

void ReadVc1Registration(ByteReader body, ESI& esi) {
    if (body.Size() < 4)
        return;
    VC1_REGISTRATION_DESCRIPTOR d;
    body.Bytes(d.FormatIdentifier.data(), 4);
    while (body.Remaining() > 0) {
        uint8_t tag = body.U8();
        if (tag == 0x00 || tag == 0xFF)
            continue;
        if (tag == 0x01 && body.Remaining() >= 1) {
            d.SdProfileLevel = body.U8();
        } else if (tag == 0x02 && body.Remaining() >= 1) {
            d.SdAlignment = body.U8();
        } else if (tag == 0x03 && body.Remaining() >= 3) {
            VC1_REGISTRATION_DESCRIPTOR::SdBufferSize s;
            s.BufferSizeExponent = body.U8() & 0x0F;
            s.HrdBuffer = body.U16();
            d.SdBuffer = s;
        } else {
            break;
        }
    }
    esi.Vc1RegistrationDescriptor = d;
}

void ReadAvcVideo(ByteReader body, ESI& esi) {
    if (body.Size() < 4)
        return;
    AVC_VIDEO_DESCRIPTOR d;
    d.AvcProfile = body.U8();
    uint8_t b = body.U8();
    d.constraint_set0_flag = b >> 7;
    d.constraint_set1_flag = (b >> 6) & 1;
    d.constraint_set2_flag = (b >> 5) & 1;
    d.AVC_compatible_flags = b & 0x1F;
    d.AvcLevel = body.U8();
    b = body.U8();
    d.AVC_still_present = b >> 7;
    d.AVC_24_hour_picture_flag = (b >> 6) & 1;
    esi.AvcVideoDescriptor = d;
}

void ReadAvcTimingHrd(ByteReader body, ESI& esi) {
    if (body.Size() < 2)
        return;
    AVC_TIMING_HRD_DESCRIPTOR d;
    body.Bytes(d.Bytes.data(), 2);
    esi.AvcTimingHrdDescriptor = d;
}

void ReadCaptionService(ByteReader body, ESI& esi) {
    if (body.Size() < 1)
        return;
    auto& d = esi.CaptionServiceDescriptor.emplace();
    d.NumberOfServices = body.U8() & 0x1F;
    size_t count = std::min<size_t>(d.NumberOfServices, body.Remaining() / 6);
    for (size_t i = 0; i < count; ++i) {
        CAPTION_SERVICE_INFO s;
        body.Bytes(s.Language.data(), 3);
        uint8_t b = body.U8();
        s.DigitalCC = b >> 7;
        if (s.DigitalCC)
            s.CaptionServiceNumber = b & 0x3F;
        else
            s.Line21Field = b & 1;
        b = body.U8();
        s.EasyReader = b >> 7;
        s.WideAspectRatio = (b >> 6) & 1;
        body.Skip(1);
        d.Services.Add(s);
    }
}

void ReadLanguage(ByteReader body, ESI& esi) {
    if (body.Size() < 4)
        return;
    ISO639_LANGUAGE_DESCRIPTOR d;
    body.Bytes(d.Language.data(), 3);
    d.AudioType = body.U8();
    esi.Iso639LanguageDescriptor = d;
}

void ReadAc3Audio(ByteReader& block, ESI& esi) {
    const uint8_t* start = block.Here();
    ByteReader body = TakeDescriptor(block);
    AC3_AUDIO_DESCRIPTOR d;
    if (d.Parse(start, body.Size() + 2) > 0)
        esi.Ac3AudioDescriptor = std::move(d);
}

}  // namespace

void ESI::ParseDescriptors(ByteReader& block) {
    if (IsVideoType(StreamType)) {
        for (;;) {
            int tag = PeekDescriptor(block);
            if (tag == 0x05)
                ReadVideoRegistration(TakeDescriptor(block), *this);
            else if (tag == 0x28)
                ReadAvcVideo(TakeDescriptor(block), *this);
            else if (tag == 0x2A)
                ReadAvcTimingHrd(TakeDescriptor(block), *this);
            else if (tag == 0x86)
                ReadCaptionService(TakeDescriptor(block), *this);
            else
                return;
        }
    }
    if (StreamType == 0xEA) {
        if (PeekDescriptor(block) == 0x05) {
            ReadVc1Registration(TakeDescriptor(block), *this);
            if (PeekDescriptor(block) == 0x86)
                ReadCaptionService(TakeDescriptor(block), *this);
        }
        return;
    }
    if (StreamType == 0x80) {
        if (PeekDescriptor(block) == 0x05)
            ReadLpcmRegistration(TakeDescriptor(block), *this);
    } else if (IsAc3Type(StreamType)) {
        if (PeekDescriptor(block) == 0x05) {
            ReadAc3Registration(TakeDescriptor(block), *this);
            if (PeekDescriptor(block) == AC3_AUDIO_DESCRIPTOR::kTag)
                ReadAc3Audio(block, *this);
        }
    }
    if (block.Remaining() >= 6 && PeekDescriptor(block) == 0x0A)
        ReadLanguage(TakeDescriptor(block), *this);
}

int32_t ESI::Parse(const uint8_t* data, size_t size) {
    if (size < 5)
        return 0;
    try {
        ByteReader r(data, size);
        StreamType = r.U8();
        ElementaryPid = r.U16() & 0x1FFF;
        ES_IfoLength = r.U16() & 0x0FFF;
        HdmvVideoRegistrationDescriptor.reset();
        AvcVideoDescriptor.reset();
        AvcTimingHrdDescriptor.reset();
        Vc1RegistrationDescriptor.reset();
        CaptionServiceDescriptor.reset();
        HdmvLpcmRegistrationDescriptor.reset();
        Ac3RegistrationDescriptor.reset();
        Ac3AudioDescriptor.reset();
        Iso639LanguageDescriptor.reset();
        ByteReader block = r.Sub(std::min<size_t>(ES_IfoLength, r.Remaining()));
        ParseDescriptors(block);
        return int32_t(r.Position());
    } catch (const ParseError&) {
        // Every read above is checked before it is made; reaching here means a reader bug,
        // and the entry keeps what it has.
        return int32_t(size);
    }
}

void ESI::Write(ByteWriter& w) {
    w.U8(StreamType);
    w.U16(uint16_t(0xE000 | (ElementaryPid & 0x1FFF)));
    size_t lengthAt = w.Position();
    w.U16(0);
    bool video = IsVideoType(StreamType);
    if (video && HdmvVideoRegistrationDescriptor) {
        const auto& d = *HdmvVideoRegistrationDescriptor;
        WriteDescriptorHeader(w, 0x05, 8);
        w.Bytes(d.FormatIdentifier.data(), 4);
        w.U8(0xFF);
        w.U8(d.StreamCodingType);
        w.U8(uint8_t((d.VideoFormat & 0x0F) << 4 | (d.FrameRate & 0x0F)));
        w.U8(uint8_t((d.AspectRatio & 0x0F) << 4 | 0x0F));
    }
    if (StreamType == 0x1B && AvcVideoDescriptor) {
        const auto& d = *AvcVideoDescriptor;
        WriteDescriptorHeader(w, 0x28, 4);
        w.U8(d.AvcProfile);
        w.U8(uint8_t((d.constraint_set0_flag & 1) << 7 | (d.constraint_set1_flag & 1) << 6 |
                     (d.constraint_set2_flag & 1) << 5 | (d.AVC_compatible_flags & 0x1F)));
        w.U8(d.AvcLevel);
        w.U8(uint8_t((d.AVC_still_present & 1) << 7 | (d.AVC_24_hour_picture_flag & 1) << 6));
    }
    if (StreamType == 0x1B && AvcTimingHrdDescriptor) {
        WriteDescriptorHeader(w, 0x2A, 2);
        w.Bytes(AvcTimingHrdDescriptor->Bytes.data(), 2);
    }
    if (StreamType == 0xEA && Vc1RegistrationDescriptor) {
        const auto& d = *Vc1RegistrationDescriptor;
        size_t at = w.Position();
        WriteDescriptorHeader(w, 0x05, 0);
        w.Bytes(d.FormatIdentifier.data(), 4);
        if (d.SdProfileLevel) {
            w.U8(0x01);
            w.U8(*d.SdProfileLevel);
        }
        if (d.SdAlignment) {
            w.U8(0x02);
            w.U8(*d.SdAlignment);
        }
        if (d.SdBuffer) {
            w.U8(0x03);
            w.U8(uint8_t(0xF0 | (d.SdBuffer->BufferSizeExponent & 0x0F)));
            w.U16(d.SdBuffer->HrdBuffer);
        }
        w.PatchU8(at + 1, uint8_t(w.Position() - at - 2));
    }
    if ((video || StreamType == 0xEA) && CaptionServiceDescriptor) {
        auto& d = *CaptionServiceDescriptor;
        int count = std::min(d.Services.GetCount(), CAPTION_SERVICE_DESCRIPTOR::kMaxServices);
        d.NumberOfServices = uint8_t(count);
        WriteDescriptorHeader(w, 0x86, 1 + 6 * size_t(count));
        w.U8(uint8_t(0xE0 | count));
        for (int i = 0; i < count; ++i) {
            CAPTION_SERVICE_INFO& s = *d.Services.GetAt(i);
            s.CaptionServiceNumber = uint8_t(i + 1);
            w.Bytes(s.Language.data(), 3);
            if (s.DigitalCC)
                w.U8(uint8_t(0xC0 | (s.CaptionServiceNumber & 0x3F)));
            else
                w.U8(uint8_t(0x7E | (s.Line21Field & 1)));
            w.U8(uint8_t((s.EasyReader & 1) << 7 | (s.WideAspectRatio & 1) << 6 | 0x3F));
            w.U8(0xFF);
        }
    }
    if (StreamType == 0x80 && HdmvLpcmRegistrationDescriptor) {
        const auto& d = *HdmvLpcmRegistrationDescriptor;
        WriteDescriptorHeader(w, 0x05, 8);
        w.Bytes(d.FormatIdentifier.data(), 4);
        w.U8(0xFF);
        w.U8(d.StreamCodingType);
        w.U8(uint8_t((d.AudioPresentationType & 0x0F) << 4 | (d.SamplingFrequency & 0x0F)));
        w.U8(uint8_t((d.BitsPerSample & 0x03) << 6 | 0x3F));
    }
    if (IsAc3Type(StreamType)) {
        if (Ac3RegistrationDescriptor) {
            WriteDescriptorHeader(w, 0x05, 4);
            w.Bytes(Ac3RegistrationDescriptor->FormatIdentifier.data(), 4);
        }
        if (Ac3AudioDescriptor)
            Ac3AudioDescriptor->Write(w);
    }
    if (Iso639LanguageDescriptor) {
        WriteDescriptorHeader(w, 0x0A, 4);
        w.Bytes(Iso639LanguageDescriptor->Language.data(), 3);
        w.U8(Iso639LanguageDescriptor->AudioType);
    }
    ES_IfoLength = uint16_t((w.Position() - lengthAt - 2) & 0x0FFF);
    w.PatchU16(lengthAt, uint16_t(0xF000 | ES_IfoLength));
}

void ESI::Copy(const CNamedObject& source) {
    CNamedObject::Copy(source);
    const auto* s = dynamic_cast<const ESI*>(&source);
    if (s == nullptr)
        return;
    StreamType = s->StreamType;
    ElementaryPid = s->ElementaryPid;
    ES_IfoLength = s->ES_IfoLength;
    HdmvVideoRegistrationDescriptor = s->HdmvVideoRegistrationDescriptor;
    AvcVideoDescriptor = s->AvcVideoDescriptor;
    AvcTimingHrdDescriptor = s->AvcTimingHrdDescriptor;
    Vc1RegistrationDescriptor = s->Vc1RegistrationDescriptor;
    CaptionServiceDescriptor.reset();
    if (s->CaptionServiceDescriptor) {
        auto& d = CaptionServiceDescriptor.emplace();
        d.NumberOfServices = s->CaptionServiceDescriptor->NumberOfServices;
        d.Services.CopyFrom(s->CaptionServiceDescriptor->Services);
    }
    HdmvLpcmRegistrationDescriptor = s->HdmvLpcmRegistrationDescriptor;
    Ac3RegistrationDescriptor = s->Ac3RegistrationDescriptor;
    Ac3AudioDescriptor = s->Ac3AudioDescriptor;
    Iso639LanguageDescriptor = s->Iso639LanguageDescriptor;
}

Json ESI::ToJson() const {
    Json j;
    j["StreamType"] = StreamType;
    j["ElementaryPid"] = ElementaryPid;
    j["ES_IfoLength"] = ES_IfoLength;
    if (const auto& d = HdmvVideoRegistrationDescriptor) {
        j["HdmvVideoRegistrationDescriptor"] = {{"FormatIdentifier", Chars(d->FormatIdentifier)},
                                                {"StreamCodingType", d->StreamCodingType},
                                                {"VideoFormat", d->VideoFormat},
                                                {"FrameRate", d->FrameRate},
                                                {"AspectRatio", d->AspectRatio}};
    }
    if (const auto& d = AvcVideoDescriptor) {
        j["AvcVideoDescriptor"] = {{"AvcProfile", d->AvcProfile},
                                   {"constraint_set0_flag", d->constraint_set0_flag},
                                   {"constraint_set1_flag", d->constraint_set1_flag},
                                   {"constraint_set2_flag", d->constraint_set2_flag},
                                   {"AVC_compatible_flags", d->AVC_compatible_flags},
                                   {"AvcLevel", d->AvcLevel},
                                   {"AVC_still_present", d->AVC_still_present},
                                   {"AVC_24_hour_picture_flag", d->AVC_24_hour_picture_flag}};
    }
    if (const auto& d = AvcTimingHrdDescriptor)
        j["AvcTimingHrdDescriptor"] = HexString(d->Bytes.data(), 2);
    if (const auto& d = Vc1RegistrationDescriptor) {
        Json v;
        v["FormatIdentifier"] = Chars(d->FormatIdentifier);
        if (d->SdProfileLevel)
            v["SdProfileLevel"] = {{"ProfileLevel", *d->SdProfileLevel}};
        if (d->SdAlignment)
            v["SdAlignment"] = {{"AlignmentType", *d->SdAlignment}};
        if (d->SdBuffer) {
            v["SdBufferSize"] = {{"BufferSizeExponent", d->SdBuffer->BufferSizeExponent},
                                 {"HrdBuffer", d->SdBuffer->HrdBuffer}};
        }
        j["Vc1RegistrationDescriptor"] = v;
    }
    if (const auto& d = CaptionServiceDescriptor) {
        Json services = Json::array();
        for (const CAPTION_SERVICE_INFO* s : d->Services.Records()) {
            Json e;
            e["Language"] = Chars(s->Language);
            e["DigitalCC"] = s->DigitalCC;
            if (s->DigitalCC)
                e["CaptionServiceNumber"] = s->CaptionServiceNumber;
            else
                e["Line21Field"] = s->Line21Field;
            e["EasyReader"] = s->EasyReader;
            e["WideAspectRatio"] = s->WideAspectRatio;
            services.push_back(e);
        }
        j["CaptionServiceDescriptor"] = {{"NumberOfServices", d->NumberOfServices},
                                         {"Services", services}};
    }
    if (const auto& d = HdmvLpcmRegistrationDescriptor) {
        j["HdmvLpcmRegistrationDescriptor"] = {{"FormatIdentifier", Chars(d->FormatIdentifier)},
                                               {"StreamCodingType", d->StreamCodingType},
                                               {"AudioPresentationType", d->AudioPresentationType},
                                               {"SamplingFrequency", d->SamplingFrequency},
                                               {"BitsPerSample", d->BitsPerSample}};
    }
    if (const auto& d = Ac3RegistrationDescriptor)
        j["Ac3RegistrationDescriptor"] = {{"FormatIdentifier", Chars(d->FormatIdentifier)}};
    if (const auto& d = Ac3AudioDescriptor)
        j["Ac3AudioDescriptor"] = d->ToJson();
    if (const auto& d = Iso639LanguageDescriptor) {
        j["Iso639LanguageDescriptor"] = {{"Language", Chars(d->Language)},
                                         {"AudioType", d->AudioType}};
    }
    // The stream's language as players take it: the ISO 639 descriptor's, else the one an
    // AC-3 descriptor carries; absent when neither names one.
    if (Iso639LanguageDescriptor)
        j["Language"] = Chars(Iso639LanguageDescriptor->Language);
    else if (Ac3AudioDescriptor && Ac3AudioDescriptor->NumChannels == 0 &&
             Ac3AudioDescriptor->LanguageFlag)
        j["Language"] = Chars(Ac3AudioDescriptor->Language);
    return j;
}

// ---- PMT ------------------------------------------------------------------------------------

void PMT::ParseProgramDescriptors(ByteReader& block) {
    for (;;) {
        int tag = PeekDescriptor(block);
        if (tag == 0x05) {
            ByteReader body = TakeDescriptor(block);
            if (body.Size() >= 4)
                body.Bytes(HdmvRegistrationDescriptor.FormatIdentifier.data(), 4);
        } else if (tag == 0x88) {
            ByteReader body = TakeDescriptor(block);
            if (body.Size() >= 2) {
                HdmvCopyControlDescriptor.DescriptorLength = uint8_t(body.Size());
                HdmvCopyControlDescriptor.CaSystemId = body.U16();
                HdmvCopyControlDescriptor.BdSystemUseDescription = body.Vector(body.Remaining());
            }
        } else if (tag == 0x89) {
            ByteReader body = TakeDescriptor(block);
            PrivateInfoDescriptor.emplace().Bytes = body.Vector(body.Size());
        } else {
            return;
        }
    }
}

int32_t PMT::Parse(const uint8_t* data, size_t size) {
    try {
        ByteReader r(data, size);
        SectionHeader h = ReadSectionHeader(r);
        if (h.length < kMinSectionLength || size_t(h.length) + 3 > size)
            return 0;
        TableId = h.tableId;
        SectionSyntaxIndicator = h.syntax;
        SectionLength = h.length;
        ProgramNumber = h.id;
        VersionNumber = h.version;
        CurrentNextIndicator = h.current;
        SectionNumber = h.number;
        LastSectionNumber = h.last;
        PcrPid = r.U16() & 0x1FFF;
        ProgramInfoLength = r.U16() & 0x0FFF;
        HdmvRegistrationDescriptor = {};
        HdmvCopyControlDescriptor = {};
        PrivateInfoDescriptor.reset();
        Streams.RemoveAll();

        size_t crcAt = size_t(h.length) + 3 - 4;
        size_t programEnd = std::min(kFixedSize + ProgramInfoLength, crcAt);
        ByteReader program(data + kFixedSize, programEnd - kFixedSize);
        ParseProgramDescriptors(program);

        size_t at = kFixedSize + ProgramInfoLength;
        while (at + 5 <= crcAt) {
            auto esi = std::make_unique<ESI>();
            int32_t used = esi->Parse(data + at, crcAt - at);
            Streams.Add(std::move(esi));
            at += size_t(used);
        }
        CRC32 = ReadBE32(data + crcAt);
        return int32_t(crcAt + 4);
    } catch (const ParseError&) {
        return 0;
    }
}

uint32_t PMT::Build(std::vector<uint8_t>* out) {
    if (out == nullptr) {
        // Writing stores lengths and caption numbers; measure on a copy.
        PMT scratch;
        Copy(*this, scratch);
        std::vector<uint8_t> bytes;
        return scratch.Build(&bytes);
    }
    ByteWriter w;
    WriteSectionHeader(w, {TableId, SectionSyntaxIndicator, 0, ProgramNumber, VersionNumber,
                           CurrentNextIndicator, SectionNumber, LastSectionNumber});
    w.U16(uint16_t(0xE000 | (PcrPid & 0x1FFF)));
    size_t infoAt = w.Position();
    w.U16(0);
    WriteDescriptorHeader(w, 0x05, 4);
    w.Bytes(HdmvRegistrationDescriptor.FormatIdentifier.data(), 4);
    auto& copy = HdmvCopyControlDescriptor;
    size_t useBytes =
        std::min(copy.BdSystemUseDescription.size(), HDMV_COPY_CONTROL_DESCRIPTOR::kMaxUseBytes);
    copy.DescriptorLength = uint8_t(2 + useBytes);
    WriteDescriptorHeader(w, 0x88, copy.DescriptorLength);
    w.U16(copy.CaSystemId);
    w.Bytes(copy.BdSystemUseDescription.data(), useBytes);
    if (PrivateInfoDescriptor) {
        size_t n = std::min<size_t>(PrivateInfoDescriptor->Bytes.size(), 255);
        WriteDescriptorHeader(w, 0x89, n);
        w.Bytes(PrivateInfoDescriptor->Bytes.data(), n);
    }
    size_t infoLength = w.Position() - infoAt - 2;
    w.PatchU16(infoAt, uint16_t(0xF000 | infoLength));
    for (ESI* esi : Streams.Children()) esi->Write(w);
    uint16_t length = 0;
    uint32_t crc = 0;
    if (!FinishSection(w, SectionSyntaxIndicator, length, crc))
        return 0;
    ProgramInfoLength = uint16_t(infoLength);
    SectionLength = length;
    CRC32 = crc;
    uint32_t size = uint32_t(w.Position());
    *out = w.Take();
    return size;
}

ESI* PMT::FindStream(int pid) const {
    for (ESI* esi : Streams.Children())
        if (esi->ElementaryPid == pid)
            return esi;
    return nullptr;
}

void PMT::Copy(const PMT& source, PMT& destination) {
    destination.TableId = source.TableId;
    destination.SectionSyntaxIndicator = source.SectionSyntaxIndicator;
    destination.SectionLength = source.SectionLength;
    destination.ProgramNumber = source.ProgramNumber;
    destination.VersionNumber = source.VersionNumber;
    destination.CurrentNextIndicator = source.CurrentNextIndicator;
    destination.SectionNumber = source.SectionNumber;
    destination.LastSectionNumber = source.LastSectionNumber;
    destination.PcrPid = source.PcrPid;
    destination.ProgramInfoLength = source.ProgramInfoLength;
    destination.HdmvRegistrationDescriptor = source.HdmvRegistrationDescriptor;
    destination.HdmvCopyControlDescriptor = source.HdmvCopyControlDescriptor;
    destination.PrivateInfoDescriptor = source.PrivateInfoDescriptor;
    destination.Streams.CopyFrom(source.Streams);
    destination.CRC32 = source.CRC32;
}

Json PMT::ToJson() const {
    Json j;
    j["TableId"] = TableId;
    j["SectionSyntaxIndicator"] = SectionSyntaxIndicator;
    j["SectionLength"] = SectionLength;
    j["ProgramNumber"] = ProgramNumber;
    j["VersionNumber"] = VersionNumber;
    j["CurrentNextIndicator"] = CurrentNextIndicator;
    j["SectionNumber"] = SectionNumber;
    j["LastSectionNumber"] = LastSectionNumber;
    j["PcrPid"] = PcrPid;
    j["ProgramInfoLength"] = ProgramInfoLength;
    j["HdmvRegistrationDescriptor"] = {
        {"FormatIdentifier", Chars(HdmvRegistrationDescriptor.FormatIdentifier)}};
    j["HdmvCopyControlDescriptor"] = {
        {"CaSystemId", HdmvCopyControlDescriptor.CaSystemId},
        {"BdSystemUseDescription", HexString(HdmvCopyControlDescriptor.BdSystemUseDescription)}};
    if (PrivateInfoDescriptor)
        j["PrivateInfoDescriptor"] = HexString(PrivateInfoDescriptor->Bytes);
    Json streams = Json::array();
    for (const ESI* esi : Streams.Children()) streams.push_back(esi->ToJson());
    j["Streams"] = streams;
    j["CRC32"] = CRC32;
    return j;
}

// ---- SIT ------------------------------------------------------------------------------------

int32_t SIT::Parse(const uint8_t* data, size_t size) {
    if (size < kFixedSize)
        return 0;
    ByteReader r(data, size);
    SectionHeader h = ReadSectionHeader(r);
    *this = SIT{};
    TableId = h.tableId;
    SectionSyntaxIndicator = h.syntax;
    SectionLength = h.length;
    VersionNumber = h.version;
    CurrentNextIndicator = h.current;
    SectionNumber = h.number;
    LastSectionNumber = h.last;
    TransmissionInfoLength = r.U16() & 0x0FFF;

    size_t sectionEnd = std::min(size_t(h.length) + 3, size);
    size_t at = 10;
    if (TransmissionInfoLength >= 10) {
        // The partial transport stream descriptor, taken at its fixed place (its tag and
        // length bytes are not examined).
        if (sectionEnd < 20)
            return int32_t(at);
        auto& d = PartialTransportStreamDescriptor;
        d.PeakRate = ReadBE24(data + 12) & 0x3FFFFF;
        d.MinimumOverallSmoothingRate = ReadBE24(data + 15) & 0x3FFFFF;
        d.MaximumOverallSmoothingBuffer = ReadBE16(data + 18) & 0x3FFF;
        at = 20;
    }
    // Blocks kept as bytes are cut where the record, rewritten with its fixed fields and CRC,
    // would no longer fit in size (a well-formed section always fits).
    size_t loopEnd = 10 + size_t(TransmissionInfoLength);
    size_t room = size - kFixedSize;
    size_t keptEnd = std::min({loopEnd, sectionEnd, at + room});
    if (keptEnd > at)
        MoreTransmissionDescriptors.assign(data + at, data + keptEnd);
    if (loopEnd + 4 > sectionEnd)
        return int32_t(std::max(at, keptEnd));
    ServiceID = ReadBE16(data + loopEnd);
    uint16_t v = ReadBE16(data + loopEnd + 2);
    RunningStatus = (v >> 12) & 0x07;
    ServiceLoopLength = v & 0x0FFF;
    size_t servicesAt = loopEnd + 4;
    size_t servicesEnd = servicesAt + ServiceLoopLength;
    room -= MoreTransmissionDescriptors.size();
    size_t servicesKept = std::min({servicesEnd, sectionEnd, servicesAt + room}) - servicesAt;
    ServiceDescriptors.assign(data + servicesAt, data + servicesAt + servicesKept);
    if (servicesEnd + 4 > sectionEnd)
        return int32_t(std::min(servicesEnd, sectionEnd));
    CRC32 = ReadBE32(data + servicesEnd);
    return int32_t(servicesEnd + 4);
}

uint32_t SIT::Build(std::vector<uint8_t>* out) {
    ByteWriter w;
    WriteSectionHeader(w, {TableId, SectionSyntaxIndicator, 0, 0xFFFF, VersionNumber,
                           CurrentNextIndicator, SectionNumber, LastSectionNumber});
    size_t more = std::min<size_t>(MoreTransmissionDescriptors.size(), kMaxSectionLength - 10);
    size_t services = std::min<size_t>(ServiceDescriptors.size(), kMaxSectionLength);
    uint16_t infoLength = uint16_t(10 + more);
    w.U16(uint16_t(0xF000 | infoLength));
    const auto& d = PartialTransportStreamDescriptor;
    w.U8(0x63);
    w.U8(8);
    w.U24(0xC00000 | (d.PeakRate & 0x3FFFFF));
    w.U24(0xC00000 | (d.MinimumOverallSmoothingRate & 0x3FFFFF));
    w.U16(uint16_t(0xC000 | (d.MaximumOverallSmoothingBuffer & 0x3FFF)));
    w.Bytes(MoreTransmissionDescriptors.data(), more);
    w.U16(ServiceID);
    w.U16(uint16_t(0x8000 | (RunningStatus & 0x07) << 12 | services));
    w.Bytes(ServiceDescriptors.data(), services);
    uint16_t length = 0;
    uint32_t crc = 0;
    if (!FinishSection(w, SectionSyntaxIndicator, length, crc))
        return 0;
    uint32_t size = uint32_t(w.Position());
    if (out != nullptr) {
        TransmissionInfoLength = infoLength;
        ServiceLoopLength = uint16_t(services);
        SectionLength = length;
        CRC32 = crc;
        *out = w.Take();
    }
    return size;
}

Json SIT::ToJson() const {
    Json j;
    j["TableId"] = TableId;
    j["SectionSyntaxIndicator"] = SectionSyntaxIndicator;
    j["SectionLength"] = SectionLength;
    j["VersionNumber"] = VersionNumber;
    j["CurrentNextIndicator"] = CurrentNextIndicator;
    j["SectionNumber"] = SectionNumber;
    j["LastSectionNumber"] = LastSectionNumber;
    j["TransmissionInfoLength"] = TransmissionInfoLength;
    const auto& d = PartialTransportStreamDescriptor;
    j["PartialTransportStreamDescriptor"] = {
        {"PeakRate", d.PeakRate},
        {"MinimumOverallSmoothingRate", d.MinimumOverallSmoothingRate},
        {"MaximumOverallSmoothingBuffer", d.MaximumOverallSmoothingBuffer}};
    if (!MoreTransmissionDescriptors.empty())
        j["MoreTransmissionDescriptors"] = HexString(MoreTransmissionDescriptors);
    j["ServiceID"] = ServiceID;
    j["RunningStatus"] = RunningStatus;
    j["ServiceLoopLength"] = ServiceLoopLength;
    if (!ServiceDescriptors.empty())
        j["ServiceDescriptors"] = HexString(ServiceDescriptors);
    j["CRC32"] = CRC32;
    return j;
}

}  // namespace vx
