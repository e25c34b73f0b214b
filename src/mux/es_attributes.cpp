#include "mux/es_attributes.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <string>

#include "streams/coding_types.h"
#include "transport/ts_packet.h"

namespace vx {

namespace {

// Frame rates by code, as numerator / denominator; code 0 and 5 name none.
struct Rate {
    uint32_t num;
    uint32_t den;
};
constexpr Rate kRates[8] = {{0, 1},        {24000, 1001}, {24, 1}, {25, 1},
                            {30000, 1001}, {0, 1},        {50, 1}, {60000, 1001}};

// A reader of the bits of an H.264 NAL unit whose emulation prevention bytes are removed.
class RbspReader {
public:
    RbspReader(const uint8_t* data, size_t size) {
        bytes_.reserve(size);
        int zeros = 0;
        for (size_t i = 0; i < size; ++i) {
            if (zeros >= 2 && data[i] == 3) {
                zeros = 0;
                continue;
            }
            zeros = data[i] == 0 ? zeros + 1 : 0;
            bytes_.push_back(data[i]);
        }
    }
    bool Ok() const { return ok_; }
    uint32_t Bits(int count) {
        uint32_t value = 0;
        for (int i = 0; i < count; ++i) {
            if (position_ >= bytes_.size() * 8) {
                ok_ = false;
                return 0;
            }
            value = value << 1 | ((bytes_[position_ / 8] >> (7 - position_ % 8)) & 1);
            ++position_;
        }
        return value;
    }
    uint32_t Ue() {
        int zeros = 0;
        while (Bits(1) == 0 && ok_) {
            if (++zeros > 31) {
                ok_ = false;
                return 0;
            }
        }
        return zeros == 0 ? 0 : (uint32_t(1) << zeros) - 1 + Bits(zeros);
    }
    int32_t Se() {
        const uint32_t k = Ue();
        return (k & 1) ? int32_t((k + 1) / 2) : -int32_t(k / 2);
    }

private:
    std::vector<uint8_t> bytes_;
    size_t position_ = 0;
    bool ok_ = true;
};

// The position of the first start code 00 00 01 whose next byte satisfies the test, or size.
template <class Test>
size_t FindStartCode(const uint8_t* data, size_t size, Test test) {
    for (size_t i = 0; i + 3 < size; ++i) {
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1 && test(data[i + 3]))
            return i;
    }
    return size;
}

uint8_t FrameRateCode(double fps) {
    uint8_t best = 0;
    double bestError = 0.01;
    for (uint8_t code = 1; code < 8; ++code) {
        if (kRates[code].num == 0)
            continue;
        const double rate = double(kRates[code].num) / kRates[code].den;
        const double error = std::fabs(rate - fps) / rate;
        if (error < bestError) {
            best = code;
            bestError = error;
        }
    }
    return best;
}

uint8_t VideoFormatCode(uint32_t width, uint32_t height, bool interlaced) {
    if (width == 1920 || width == 1440) {
        if (height == 1080)
            return interlaced ? 4 : 6;
    }
    if (width == 1280 && height == 720)
        return 5;
    if (width == 720 || width == 704) {
        if (height == 480)
            return interlaced ? 1 : 3;
        if (height == 576)
            return interlaced ? 2 : 7;
    }
    return 0;
}

void SkipScalingList(RbspReader& reader, int size) {
    int last = 8, next = 8;
    for (int j = 0; j < size && reader.Ok(); ++j) {
        if (next != 0)
            next = (last + reader.Se() + 256) % 256;
        last = next == 0 ? last : next;
    }
}

bool ReadAvcSps(const uint8_t* nal, size_t size, VideoAttributes* out) {
    RbspReader r(nal + 1, size - 1);
    const uint32_t profile = r.Bits(8);
    r.Bits(8);  // constraint flags
    r.Bits(8);  // level
    r.Ue();     // seq_parameter_set_id
    uint32_t chroma = 1;
    if (profile == 100 || profile == 110 || profile == 122 || profile == 244 || profile == 44 ||
        profile == 83 || profile == 86 || profile == 118 || profile == 128 || profile == 138 ||
        profile == 139 || profile == 134 || profile == 135) {
        chroma = r.Ue();
        if (chroma == 3)
            r.Bits(1);
        r.Ue();  // bit_depth_luma_minus8
        r.Ue();  // bit_depth_chroma_minus8
        r.Bits(1);
        if (r.Bits(1)) {
            for (int i = 0; i < (chroma != 3 ? 8 : 12); ++i) {
                if (r.Bits(1))
                    SkipScalingList(r, i < 6 ? 16 : 64);
            }
        }
    }
    r.Ue();  // log2_max_frame_num_minus4
    const uint32_t pocType = r.Ue();
    if (pocType == 0) {
        r.Ue();
    } else if (pocType == 1) {
        r.Bits(1);
        r.Se();
        r.Se();
        const uint32_t cycle = r.Ue();
        for (uint32_t i = 0; i < cycle && r.Ok() && i < 256; ++i) r.Se();
    }
    r.Ue();     // max_num_ref_frames
    r.Bits(1);  // gaps_in_frame_num_allowed
    const uint32_t widthMbs = r.Ue() + 1;
    const uint32_t heightUnits = r.Ue() + 1;
    const bool frameMbsOnly = r.Bits(1) != 0;
    if (!frameMbsOnly)
        r.Bits(1);
    r.Bits(1);  // direct_8x8_inference
    uint32_t cropLeft = 0, cropRight = 0, cropTop = 0, cropBottom = 0;
    if (r.Bits(1)) {
        cropLeft = r.Ue();
        cropRight = r.Ue();
        cropTop = r.Ue();
        cropBottom = r.Ue();
    }
    const uint32_t cropX = chroma == 0 || chroma == 3 ? 1 : 2;
    const uint32_t cropY = (chroma == 1 ? 2 : 1) * (frameMbsOnly ? 1 : 2);
    const uint32_t width = widthMbs * 16 - cropX * (cropLeft + cropRight);
    const uint32_t height =
        heightUnits * 16 * (frameMbsOnly ? 1 : 2) - cropY * (cropTop + cropBottom);
    double sar = 1.0;
    double fps = 0;
    if (r.Bits(1)) {  // vui_parameters_present
        if (r.Bits(1)) {
            static const uint8_t kSar[17][2] = {{0, 1},   {1, 1},   {12, 11}, {10, 11},  {16, 11},
                                                {40, 33}, {24, 11}, {20, 11}, {32, 11},  {80, 33},
                                                {18, 11}, {15, 11}, {64, 33}, {160, 99}, {4, 3},
                                                {3, 2},   {2, 1}};
            const uint32_t idc = r.Bits(8);
            if (idc == 255) {
                const uint32_t w = r.Bits(16), h = r.Bits(16);
                if (w && h)
                    sar = double(w) / h;
            } else if (idc > 0 && idc < 17) {
                sar = double(kSar[idc][0]) / kSar[idc][1];
            }
        }
        if (r.Bits(1))
            r.Bits(1);    // overscan
        if (r.Bits(1)) {  // video signal type
            r.Bits(4);
            if (r.Bits(1))
                r.Bits(24);
        }
        if (r.Bits(1)) {  // chroma location
            r.Ue();
            r.Ue();
        }
        if (r.Bits(1)) {  // timing info
            const uint32_t units = r.Bits(32);
            const uint32_t scale = r.Bits(32);
            if (units != 0)
                fps = double(scale) / (2.0 * units);
        }
    }
    if (!r.Ok())
        return false;
    out->VideoFormat = VideoFormatCode(width, height, !frameMbsOnly);
    out->FrameRate = FrameRateCode(fps);
    out->AspectRatio = double(width) * sar / height > 1.5 ? 3 : 2;
    return out->VideoFormat != 0;
}

bool ReadMpeg2Sequence(const uint8_t* data, size_t size, VideoAttributes* out) {
    const size_t at = FindStartCode(data, size, [](uint8_t c) { return c == 0xB3; });
    if (at + 12 > size)
        return false;
    const uint8_t* h = data + at + 4;
    const uint32_t width = uint32_t(h[0]) << 4 | h[1] >> 4;
    const uint32_t height = uint32_t(h[1] & 0x0F) << 8 | h[2];
    const uint8_t aspect = h[3] >> 4;
    const uint8_t rateCode = h[3] & 0x0F;
    bool progressive = false;
    const size_t ext = FindStartCode(data + at, size - at, [](uint8_t c) { return c == 0xB5; });
    if (at + ext + 10 <= size && (data[at + ext + 4] >> 4) == 1)
        progressive = (data[at + ext + 5] & 0x08) != 0;
    static const double kMpegRates[9] = {0,  24000.0 / 1001, 24, 25, 30000.0 / 1001, 30,
                                         50, 60000.0 / 1001, 60};
    out->VideoFormat = VideoFormatCode(width, height, !progressive);
    out->FrameRate = rateCode < 9 ? FrameRateCode(kMpegRates[rateCode]) : 0;
    out->AspectRatio = aspect == 3 ? 3 : 2;
    return out->VideoFormat != 0;
}

uint8_t PresentationTypeOfChannels(int channels) {
    return channels == 1 ? 1 : channels == 2 ? 3 : 6;
}

}  // namespace

double FrameDurationMs(uint8_t frameRateCode) {
    if (frameRateCode >= 8 || kRates[frameRateCode].num == 0)
        return 0;
    return 1000.0 * kRates[frameRateCode].den / kRates[frameRateCode].num;
}

uint64_t FrameTicks(uint8_t frameRateCode) {
    if (frameRateCode >= 8 || kRates[frameRateCode].num == 0)
        return 0;
    return 27000000ull * kRates[frameRateCode].den / kRates[frameRateCode].num;
}

std::vector<uint8_t> AuPayload(const uint8_t* packets, size_t size, size_t limit) {
    std::vector<uint8_t> out;
    bool first = true;
    for (size_t at = 0; at + kSourcePacketSize <= size && out.size() < limit;
         at += kSourcePacketSize) {
        const uint8_t* p = packets + at + kSourcePacketHeaderSize;
        if (p[0] != kSyncByte)
            continue;
        const uint8_t control = (p[3] >> 4) & 3;
        if ((control & 1) == 0)
            continue;
        size_t offset = 4 + ((control & 2) ? 1 + size_t(p[4]) : 0);
        if (offset >= kTransportPacketSize)
            continue;
        if (first && (p[1] & 0x40)) {
            PES_Packet pes;
            const int32_t header = pes.Parse(p + offset, kTransportPacketSize - offset);
            if (header > 0)
                offset += size_t(header);
        }
        first = false;
        if (offset < kTransportPacketSize)
            out.insert(out.end(), p + offset, p + kTransportPacketSize);
    }
    if (out.size() > limit)
        out.resize(limit);
    return out;
}

void ReadProfileAndLevel(uint8_t codingType, const uint8_t* data, size_t size, uint8_t* profile,
                         uint8_t* level) {
    if (codingType == coding::kMpeg2Video) {
        size_t at = 0;
        while (at < size) {
            const size_t found =
                FindStartCode(data + at, size - at, [](uint8_t c) { return c == 0xB5; });
            const size_t i = at + found;
            if (i + 6 > size)
                return;
            // Sequence extension (identifier 1): escape bit and profile (4 bits), level (4).
            if ((data[i + 4] >> 4) == 1) {
                *profile = data[i + 4] & 0x0F;
                *level = data[i + 5] >> 4;
                return;
            }
            at = i + 4;
        }
    } else if (codingType == coding::kAvc) {
        const size_t i = FindStartCode(data, size, [](uint8_t c) { return (c & 0x1F) == 7; });
        if (i + 7 <= size) {
            *profile = data[i + 4];
            *level = data[i + 6];
        }
    } else if (codingType == coding::kVc1) {
        const size_t i = FindStartCode(data, size, [](uint8_t c) { return c == 0x0F; });
        if (i + 5 <= size) {
            *profile = data[i + 4] >> 6;
            *level = (data[i + 4] >> 3) & 7;
        }
    }
}

bool StartsRandomAccess(uint8_t codingType, const uint8_t* data, size_t size) {
    bool delimiter = false, parameters = false;
    for (size_t i = 0; i + 3 < size; ++i) {
        if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1)
            continue;
        const uint8_t code = data[i + 3];
        if (codingType == coding::kMpeg2Video && code == 0xB3)
            return true;
        if (codingType == coding::kVc1 && code == 0x0F)
            return true;
        if (codingType == coding::kAvc) {
            const uint8_t type = code & 0x1F;
            if (type == 9)
                delimiter = true;
            else if (type == 7)
                parameters = true;
            else if (type == 1 || type == 5)
                break;
        }
    }
    return delimiter && parameters;
}

bool ReadVideoAttributes(uint8_t codingType, const uint8_t* data, size_t size,
                         VideoAttributes* attributes) {
    if (codingType == coding::kMpeg2Video)
        return ReadMpeg2Sequence(data, size, attributes);
    if (codingType != coding::kAvc)
        return false;
    const size_t i = FindStartCode(data, size, [](uint8_t c) { return (c & 0x1F) == 7; });
    if (i >= size)
        return false;
    const size_t start = i + 3;
    const size_t next = FindStartCode(data + start, size - start, [](uint8_t) { return true; });
    return ReadAvcSps(data + start, next, attributes);
}

bool ReadAc3Attributes(const uint8_t* data, size_t size, uint8_t* presentationType,
                       uint8_t* samplingFrequency) {
    for (size_t i = 0; i + 7 <= size; ++i) {
        if (data[i] != 0x0B || data[i + 1] != 0x77)
            continue;
        const uint8_t fscod = data[i + 4] >> 6;
        const uint8_t bsid = data[i + 5] >> 3;
        // AC-3 keeps acmod in the top bits of byte 6; E-AC-3 (bsid 16) in byte 4, behind
        // fscod and numblkscod.
        const uint8_t acmod = bsid == 16 ? (data[i + 4] >> 1) & 7 : data[i + 6] >> 5;
        static const int kChannels[8] = {2, 1, 2, 3, 3, 4, 4, 5};
        *presentationType = PresentationTypeOfChannels(kChannels[acmod]);
        *samplingFrequency = fscod == 0 ? 1 : 0;
        return true;
    }
    return false;
}

bool ReadLpcmAttributes(const uint8_t* data, size_t size, uint8_t* presentationType,
                        uint8_t* samplingFrequency) {
    if (size < 4)
        return false;
    const uint8_t assignment = data[2] >> 4;
    *samplingFrequency = data[2] & 0x0F;
    *presentationType = assignment == 1 ? 1 : assignment == 3 ? 3 : 6;
    return true;
}

void AttributesFromEsi(const ESI& esi, STREAM_INFO& info) {
    info.StreamCodingType = esi.StreamType;
    if (esi.HdmvVideoRegistrationDescriptor) {
        info.VideoFormat = esi.HdmvVideoRegistrationDescriptor->VideoFormat;
        info.FrameRate = esi.HdmvVideoRegistrationDescriptor->FrameRate;
        info.AspectRatio = esi.HdmvVideoRegistrationDescriptor->AspectRatio;
    }
    if (esi.HdmvLpcmRegistrationDescriptor) {
        info.PresentationType = esi.HdmvLpcmRegistrationDescriptor->AudioPresentationType;
        info.SamplingFrequency = esi.HdmvLpcmRegistrationDescriptor->SamplingFrequency;
    }
    if (esi.Ac3AudioDescriptor) {
        static const int kChannels[8] = {2, 1, 2, 3, 3, 4, 4, 5};
        info.PresentationType =
            PresentationTypeOfChannels(kChannels[esi.Ac3AudioDescriptor->Acmod & 7]);
        info.SamplingFrequency = esi.Ac3AudioDescriptor->SampleRateCode == 0 ? 1 : 0;
    }
    if (esi.Iso639LanguageDescriptor)
        info.LanguageCode = esi.Iso639LanguageDescriptor->Language;
}

void FillEsiFromAttributes(const STREAM_INFO& info, ESI& esi) {
    esi.StreamType = info.StreamCodingType;
    esi.ElementaryPid = info.StreamPID;
    switch (CategoryOf(info.StreamCodingType)) {
        case StreamCategory::video: {
            HDMV_VIDEO_REGISTRATION_DESCRIPTOR video;
            video.StreamCodingType = info.StreamCodingType;
            video.VideoFormat = info.VideoFormat;
            video.FrameRate = info.FrameRate;
            video.AspectRatio = info.AspectRatio;
            esi.HdmvVideoRegistrationDescriptor = video;
            return;
        }
        case StreamCategory::audio:
            if (info.StreamCodingType == coding::kLpcm) {
                HDMV_LPCM_REGISTRATION_DESCRIPTOR lpcm;
                lpcm.AudioPresentationType = info.PresentationType;
                lpcm.SamplingFrequency = info.SamplingFrequency;
                lpcm.BitsPerSample = 1;
                esi.HdmvLpcmRegistrationDescriptor = lpcm;
            } else if (ESI::IsAc3Type(info.StreamCodingType)) {
                esi.Ac3RegistrationDescriptor = AC3_REGISTRATION_DESCRIPTOR{};
            }
            break;
        default:
            break;
    }
    ISO639_LANGUAGE_DESCRIPTOR language;
    language.Language = info.LanguageCode;
    esi.Iso639LanguageDescriptor = language;
}

std::string StreamAttributeText(const STREAM_INFO& info) {
    static const char* const kFormats[8] = {"",      "480i", "576i",  "480p",
                                            "1080i", "720p", "1080p", "576p"};
    static const char* const kRateNames[8] = {"", "23.976", "24", "25", "29.97", "", "50", "59.94"};
    switch (CategoryOf(info.StreamCodingType)) {
        case StreamCategory::video: {
            std::string text = info.VideoFormat < 8 ? kFormats[info.VideoFormat] : "";
            if (info.FrameRate < 8 && *kRateNames[info.FrameRate])
                text += std::string(" ") + kRateNames[info.FrameRate];
            if (info.AspectRatio == 2)
                text += " 4:3";
            else if (info.AspectRatio == 3)
                text += " 16:9";
            return text;
        }
        case StreamCategory::audio: {
            std::string text;
            switch (info.PresentationType) {
                case 1:
                    text = "mono";
                    break;
                case 3:
                    text = "stereo";
                    break;
                case 6:
                    text = "multi-channel";
                    break;
                case 12:
                    text = "stereo + multi-channel";
                    break;
                default:
                    text = "channels " + std::to_string(info.PresentationType);
                    break;
            }
            switch (info.SamplingFrequency) {
                case 1:
                    text += " 48kHz";
                    break;
                case 4:
                    text += " 96kHz";
                    break;
                case 5:
                    text += " 192kHz";
                    break;
                case 12:
                    text += " 48/192kHz";
                    break;
                case 14:
                    text += " 48/96kHz";
                    break;
                default:
                    break;
            }
            return text;
        }
        default:
            return info.Language();
    }
}

}  // namespace vx
