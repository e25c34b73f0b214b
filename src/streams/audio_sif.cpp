#include "streams/audio_sif.h"

#include "bdmv/clpi.h"
#include "bdmv/mpls.h"
#include "foundation/bytes.h"
#include "streams/ac3_frame.h"
#include "streams/coding_types.h"
#include "streams/parser_base.h"
#include "transport/psi.h"

namespace vx {

namespace {

// Bytes of the sample container BD LPCM carries for a sample size: 16-bit samples in two
// bytes, 20- and 24-bit samples in three.
uint16_t ContainerBytes(uint16_t sampleBits) {
    return sampleBits == 16 ? 2 : 3;
}

}  // namespace

// ---- BD LPCM codes ----

uint8_t LpcmPresentationType(uint16_t channels) {
    if (channels == 0)
        return 0;
    if (channels == 1)
        return 1;
    return channels == 2 ? 3 : 6;
}

uint8_t LpcmSamplingFrequencyCode(uint32_t samplesPerSec) {
    switch (samplesPerSec) {
        case 48000:
            return 1;
        case 96000:
            return 4;
        case 192000:
            return 5;
        default:
            return 0;
    }
}

uint8_t LpcmBitsCode(uint16_t bits) {
    switch (bits) {
        case 16:
            return 1;
        case 20:
            return 2;
        case 24:
            return 3;
        default:
            return 0;
    }
}

uint8_t LpcmChannelAssignment(uint16_t channels, bool hasMask, uint32_t mask) {
    const bool lfe = (mask & PCM_WAVE_FORMAT::kSpeakerLowFrequency) != 0;
    const bool backCenter = (mask & PCM_WAVE_FORMAT::kSpeakerBackCenter) != 0;
    switch (channels) {
        case 2:
            return 3;
        case 4:
            if (!hasMask)
                return 4;
            if (mask & PCM_WAVE_FORMAT::kSpeakerFrontCenter)
                return backCenter ? 6 : 4;
            return backCenter ? 5 : 7;
        case 6:
            return lfe ? 9 : 8;
        case 8:
            return lfe ? 11 : 10;
        default:
            return 3;
    }
}

Json PCM_WAVE_FORMAT::ToJson() const {
    Json j;
    j["FormatTag"] = FormatTag;
    j["Channels"] = Channels;
    j["SamplesPerSec"] = SamplesPerSec;
    j["AvgBytesPerSec"] = AvgBytesPerSec;
    j["BlockAlign"] = BlockAlign;
    j["BitsPerSample"] = BitsPerSample;
    if (IsExtensible()) {
        j["ExtensionSize"] = ExtensionSize;
        j["ValidBitsPerSample"] = ValidBitsPerSample;
        j["ChannelMask"] = ChannelMask;
        j["SubFormat"] = HexString(SubFormat.data(), SubFormat.size());
    }
    return j;
}

// ---- CLpcmSif ----

void CLpcmSif::Clear() {
    Version = 0;
    Format = PCM_WAVE_FORMAT{};
}

void CLpcmSif::CopyFrom(const CSifData& other) {
    if (const auto* source = dynamic_cast<const CLpcmSif*>(&other)) {
        Version = source->Version;
        Format = source->Format;
    }
}

bool CLpcmSif::Equals(const CSifData& other) const {
    const auto* that = dynamic_cast<const CLpcmSif*>(&other);
    return that != nullptr && that->Format == Format;
}

int CLpcmSif::Validate() const {
    const PCM_WAVE_FORMAT& f = Format;
    if (f.FormatTag != PCM_WAVE_FORMAT::kFormatPcm && !f.IsExtensible())
        return kUnknownFormat;
    const uint8_t rateCode = LpcmSamplingFrequencyCode(f.SamplesPerSec);
    if (rateCode == 0)
        return kWrongSampleRate;
    const uint16_t bits = f.SampleBits();
    if (LpcmBitsCode(bits) == 0)
        return kWrongSampleBits;
    const bool channelsAllowed =
        f.Channels == 2 || f.Channels == 4 || f.Channels == 6 || (f.Channels == 8 && rateCode != 5);
    if (!channelsAllowed)
        return kWrongChannelCount;
    // The samples are carried as they lie in the file, only turned big-endian: they must
    // already be packed in the containers of their size.
    if (f.BlockAlign != f.Channels * ContainerBytes(bits))
        return kWrongSampleBits;
    if (f.AvgBytesPerSec != uint64_t(f.SamplesPerSec) * f.BlockAlign)
        return kSyntaxIllegal;
    return kParseOk;
}

void CLpcmSif::FillEsi(ESI& esi) const {
    esi.StreamType = coding::kLpcm;
    HDMV_LPCM_REGISTRATION_DESCRIPTOR d;
    d.AudioPresentationType = GetPresentationType();
    d.SamplingFrequency = GetSamplingFrequency();
    d.BitsPerSample = GetBitsCode();
    esi.HdmvLpcmRegistrationDescriptor = d;
}

void CLpcmSif::FillStreamInfo(STREAM_INFO& info) const {
    info.StreamCodingType = coding::kLpcm;
    info.PresentationType = GetPresentationType();
    info.SamplingFrequency = GetSamplingFrequency();
}

void CLpcmSif::FillStreamAttributes(STREAM_ATTRIBUTES& attributes) const {
    attributes.StreamCodingType = coding::kLpcm;
    attributes.bytes[0] = uint8_t(GetPresentationType() << 4 | (GetSamplingFrequency() & 0x0F));
}

StdList CLpcmSif::MakeDescriptions() const {
    auto description = std::make_unique<CLpcmStd>();
    description->SetSamplingFrequency(GetSamplingFrequency());
    StdList list;
    list.push_back(std::move(description));
    return list;
}

void CLpcmSif::Read(LeReader& in) {
    Clear();
    Version = in.U32();
    PCM_WAVE_FORMAT& f = Format;
    f.FormatTag = in.U16();
    f.Channels = in.U16();
    f.SamplesPerSec = in.U32();
    f.AvgBytesPerSec = in.U32();
    f.BlockAlign = in.U16();
    f.BitsPerSample = in.U16();
    if (f.IsExtensible()) {
        f.ExtensionSize = in.U16();
        if (f.ExtensionSize != PCM_WAVE_FORMAT::kExtensionSize)
            ByteReader::Fail("WAVE format extension of an unexpected size");
        f.ValidBitsPerSample = in.U16();
        f.ChannelMask = in.U32();
        in.Bytes(f.SubFormat.data(), f.SubFormat.size());
    }
}

void CLpcmSif::Write(LeWriter& out) const {
    const PCM_WAVE_FORMAT& f = Format;
    out.U32(Version);
    out.U16(f.FormatTag);
    out.U16(f.Channels);
    out.U32(f.SamplesPerSec);
    out.U32(f.AvgBytesPerSec);
    out.U16(f.BlockAlign);
    out.U16(f.BitsPerSample);
    if (f.IsExtensible()) {
        out.U16(PCM_WAVE_FORMAT::kExtensionSize);
        out.U16(f.ValidBitsPerSample);
        out.U32(f.ChannelMask);
        out.Bytes(f.SubFormat.data(), f.SubFormat.size());
    }
}

uint8_t CLpcmSif::GetCodingType() const {
    return coding::kLpcm;
}

std::unique_ptr<CSifData> CLpcmSif::Clone() const {
    return std::make_unique<CLpcmSif>(*this);
}

Json CLpcmSif::ToJson() const {
    Json j;
    j["Version"] = Version;
    j["StreamCodingType"] = GetCodingType();
    j["PcmWaveFormat"] = Format.ToJson();
    j["AudioPresentationType"] = GetPresentationType();
    j["SamplingFrequency"] = GetSamplingFrequency();
    j["BitsPerSample"] = GetBitsCode();
    j["ChannelAssignment"] = GetChannelAssignment();
    return j;
}

uint8_t CLpcmSif::GetPresentationType() const {
    return LpcmPresentationType(Format.Channels);
}

uint8_t CLpcmSif::GetSamplingFrequency() const {
    return LpcmSamplingFrequencyCode(Format.SamplesPerSec);
}

uint8_t CLpcmSif::GetBitsCode() const {
    return LpcmBitsCode(Format.SampleBits());
}

uint8_t CLpcmSif::GetChannelAssignment() const {
    return LpcmChannelAssignment(Format.Channels, Format.HasChannelMask(), Format.ChannelMask);
}

// ---- CAc3Sif ----

void CAc3Sif::Clear() {
    Version = kVersion;
    Descriptor = AC3_AUDIO_DESCRIPTOR{};
}

void CAc3Sif::CopyFrom(const CSifData& other) {
    if (const auto* source = dynamic_cast<const CAc3Sif*>(&other)) {
        Version = source->Version;
        Descriptor = source->Descriptor;
    }
}

bool CAc3Sif::Equals(const CSifData& other) const {
    const auto* that = dynamic_cast<const CAc3Sif*>(&other);
    if (that == nullptr)
        return false;
    // The stream parameters are exactly what the stream information file keeps.
    LeWriter mine, theirs;
    Write(mine);
    that->Write(theirs);
    return mine.Buffer() == theirs.Buffer();
}

int CAc3Sif::Validate() const {
    const AC3_AUDIO_DESCRIPTOR& d = Descriptor;
    if (!HasCore() && !HasEac3())
        return kIncompatibleFile;
    if (HasCore() ? d.Bsid != 6 && d.Bsid != 8 : d.Bsid != 16)
        return kWrongBitstreamId;
    if (d.SampleRateCode != 0 || (HasEac3() && d.Eac3SampleRateCode != 0))
        return kWrongSampleRate;
    if (HasCore() && (d.FrameSizeCode < 8 || d.FrameSizeCode > 37))
        return kWrongBitrate;
    if ((HasCore() && d.Acmod == 0) || (HasEac3() && d.Eac3Acmod == 0))
        return kWrongAudioCodingMode;
    return kParseOk;
}

bool CAc3Sif::IsSecondaryOnly() const {
    return HasEac3() && !HasCore();
}

void CAc3Sif::FillEsi(ESI& esi) const {
    esi.StreamType = GetCodingType();
    esi.Ac3RegistrationDescriptor = AC3_REGISTRATION_DESCRIPTOR{};
    esi.Ac3AudioDescriptor = Descriptor;
}

void CAc3Sif::FillStreamInfo(STREAM_INFO& info) const {
    info.StreamCodingType = GetCodingType();
    info.PresentationType = GetPresentationType();
    info.SamplingFrequency = GetSamplingFrequency();
}

void CAc3Sif::FillStreamAttributes(STREAM_ATTRIBUTES& attributes) const {
    attributes.StreamCodingType = GetCodingType();
    attributes.bytes[0] = uint8_t(GetPresentationType() << 4 | (GetSamplingFrequency() & 0x0F));
}

StdList CAc3Sif::MakeDescriptions() const {
    StdList list;
    const uint8_t type = GetCodingType();
    if (type == coding::kEac3Secondary) {
        list.push_back(std::make_unique<CDdpStd>(type, false));
        return list;
    }
    list.push_back(std::make_unique<CAc3Std>(type));
    if (type == coding::kEac3)
        list.push_back(std::make_unique<CDdpStd>(type, true));
    return list;
}

void CAc3Sif::Read(LeReader& in) {
    Clear();
    AC3_AUDIO_DESCRIPTOR& d = Descriptor;
    Version = in.U32();
    d.SampleRateCode = in.U8();
    d.Bsid = in.U8();
    d.FrameSizeCode = in.U8();
    d.BitRateCode = d.FrameSizeCode / 2;
    d.SurroundMode = in.U8();
    d.BsMode = in.U8();
    d.Acmod = in.U8();
    d.NumChannels = in.U8();
    d.FullSVC = in.U8();
    d.MainID = in.U8();
    d.Priority = in.U8();
    d.AsvcFlags = in.U8();
    if (Version == 0) {
        // Records of the first version knew only AC-3.
        d.Eac3Present = 0;
        d.Ac3CorePresent = 1;
        d.AuFrameSize = Ac3FrameBytes48k(d.FrameSizeCode);
        return;
    }
    d.Eac3Present = in.U8();
    d.Ac3CorePresent = in.U8();
    if (d.Eac3Present) {
        d.Eac3FrameWords = in.U16();
        d.Eac3StreamType = in.U8();
        d.Eac3SubstreamId = in.U8();
        d.Eac3SampleRateCode = in.U8();
        d.Eac3Acmod = in.U8();
        d.Eac3Reserved = in.U8();
        d.Eac3ChannelMap = in.U16();
    }
    d.AuFrameSize = in.U32();
}

void CAc3Sif::Write(LeWriter& out) const {
    const AC3_AUDIO_DESCRIPTOR& d = Descriptor;
    out.U32(Version);
    out.U8(d.SampleRateCode);
    out.U8(d.Bsid);
    out.U8(d.FrameSizeCode);
    out.U8(d.SurroundMode);
    out.U8(d.BsMode);
    out.U8(d.Acmod);
    out.U8(d.NumChannels);
    out.U8(d.FullSVC);
    out.U8(d.MainID);
    out.U8(d.Priority);
    out.U8(d.AsvcFlags);
    if (Version == 0)
        return;
    out.U8(d.Eac3Present);
    out.U8(d.Ac3CorePresent);
    if (d.Eac3Present) {
        out.U16(d.Eac3FrameWords);
        out.U8(d.Eac3StreamType);
        out.U8(d.Eac3SubstreamId);
        out.U8(d.Eac3SampleRateCode);
        out.U8(d.Eac3Acmod);
        out.U8(d.Eac3Reserved);
        out.U16(d.Eac3ChannelMap);
    }
    out.U32(d.AuFrameSize);
}

uint8_t CAc3Sif::GetCodingType() const {
    if (!HasEac3())
        return coding::kAc3;
    return HasCore() ? coding::kEac3 : coding::kEac3Secondary;
}

std::unique_ptr<CSifData> CAc3Sif::Clone() const {
    return std::make_unique<CAc3Sif>(*this);
}

Json CAc3Sif::ToJson() const {
    const AC3_AUDIO_DESCRIPTOR& d = Descriptor;
    Json j;
    j["Version"] = Version;
    j["StreamCodingType"] = GetCodingType();
    j["Ac3AudioDescriptor"] = d.ToJson();
    j["FrameSizeCode"] = d.FrameSizeCode;
    j["Acmod"] = d.Acmod;
    j["Eac3Present"] = d.Eac3Present;
    j["Ac3CorePresent"] = d.Ac3CorePresent;
    if (HasEac3()) {
        j["Eac3FrameWords"] = d.Eac3FrameWords;
        j["Eac3StreamType"] = d.Eac3StreamType;
        j["Eac3SubstreamId"] = d.Eac3SubstreamId;
        j["Eac3SampleRateCode"] = d.Eac3SampleRateCode;
        j["Eac3Acmod"] = d.Eac3Acmod;
        j["Eac3ChannelMap"] = d.Eac3ChannelMap;
    }
    j["AuFrameSize"] = d.AuFrameSize;
    j["AudioPresentationType"] = GetPresentationType();
    j["SamplingFrequency"] = GetSamplingFrequency();
    return j;
}

uint8_t CAc3Sif::GetPresentationType() const {
    return Ac3PresentationType(HasCore(), Descriptor.Acmod, HasEac3(), Descriptor.Eac3Acmod);
}

}  // namespace vx
