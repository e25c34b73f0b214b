#pragma once
// Stream information records of the audio streams: the WAVE format of a WAV file that becomes
// BD LPCM, and the AC-3 audio descriptor with the frame parameters of an AC-3 / E-AC-3 file.
// Besides their place in the stream information file they give the stream's program-map entry,
// its attribute bytes in clip information and playlists, and its buffer-model descriptions.

#include <array>
#include <cstdint>
#include <memory>

#include "streams/sif_data.h"
#include "transport/ac3_descriptor.h"

namespace vx {

// An audio record: the attribute codes of clip information and playlists.
class CAudioSif : public CSifData {
public:
    // 1 mono, 3 stereo, 6 multi-channel, 12 stereo core with multi-channel extension.
    virtual uint8_t GetPresentationType() const = 0;
    // 1 48 kHz, 4 96 kHz, 5 192 kHz.
    virtual uint8_t GetSamplingFrequency() const = 0;
};

// The format chunk of a WAV file (WAVEFORMATEX, and WAVEFORMATEXTENSIBLE when FormatTag is
// 0xFFFE). Little-endian in the file.
struct PCM_WAVE_FORMAT {
    static constexpr uint16_t kFormatPcm = 0x0001;
    static constexpr uint16_t kFormatExtensible = 0xFFFE;
    // The extension of WAVEFORMATEXTENSIBLE: valid bits, channel mask, sub-format.
    static constexpr uint16_t kExtensionSize = 22;
    // KSDATAFORMAT_SUBTYPE_PCM, 00000001-0000-0010-8000-00AA00389B71, as stored.
    static constexpr std::array<uint8_t, 16> kSubFormatPcm = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                              0x10, 0x00, 0x80, 0x00, 0x00, 0xAA,
                                                              0x00, 0x38, 0x9B, 0x71};
    // Speaker positions of the channel mask.
    static constexpr uint32_t kSpeakerFrontCenter = 0x4;
    static constexpr uint32_t kSpeakerLowFrequency = 0x8;
    static constexpr uint32_t kSpeakerBackCenter = 0x100;

    uint16_t FormatTag = kFormatPcm;
    uint16_t Channels = 0;
    uint32_t SamplesPerSec = 0;
    uint32_t AvgBytesPerSec = 0;
    uint16_t BlockAlign = 0;
    uint16_t BitsPerSample = 0;  // of the sample container
    // WAVE_FORMAT_EXTENSIBLE only.
    uint16_t ExtensionSize = 0;  // cbSize
    uint16_t ValidBitsPerSample = 0;
    uint32_t ChannelMask = 0;
    std::array<uint8_t, 16> SubFormat{};

    bool IsExtensible() const { return FormatTag == kFormatExtensible; }
    // The bits of a sample: the valid bits of the extensible form, else the container bits.
    uint16_t SampleBits() const { return IsExtensible() ? ValidBitsPerSample : BitsPerSample; }
    // A channel mask is known only in the extensible form, and only when it names speakers.
    bool HasChannelMask() const { return IsExtensible() && ChannelMask != 0; }
    // The bytes of one AU: 5 ms of samples.
    uint32_t AuSize() const { return AvgBytesPerSec / 200; }

    bool operator==(const PCM_WAVE_FORMAT&) const = default;
    Json ToJson() const;
};

// BD LPCM attribute codes.
// Presentation type by channel count: 1 mono, 3 stereo, 6 multi-channel (0 for no channels).
uint8_t LpcmPresentationType(uint16_t channels);
// Sampling-frequency code: 48 kHz 1, 96 kHz 4, 192 kHz 5; 0 for other rates.
uint8_t LpcmSamplingFrequencyCode(uint32_t samplesPerSec);
// Bits-per-sample code: 16 bits 1, 20 bits 2, 24 bits 3; 0 for other sizes.
uint8_t LpcmBitsCode(uint16_t bits);
// The channel assignment of the BD LPCM audio data header from the channel count and, for the
// extensible form, the speaker mask: 3 stereo (and anything unknown), 4 L C R, 5 L R S,
// 6 L C R S, 7 L R LS RS, 8 L C R LS RS, 9 with LFE, 10 3/4, 11 3/4 with LFE.
uint8_t LpcmChannelAssignment(uint16_t channels, bool hasMask, uint32_t mask);

// The record of a WAV file analysed as BD LPCM (coding type 0x80).
class CLpcmSif : public CAudioSif {
public:
    PCM_WAVE_FORMAT Format;

    void Clear() override;
    void CopyFrom(const CSifData& other) override;
    bool Equals(const CSifData& other) const override;
    // 2 for a format other than PCM, 17 for a rate other than 48, 96 or 192 kHz, 16 for samples
    // of other than 16, 20 or 24 bits or not in 2-byte (16-bit) or 3-byte (20, 24-bit)
    // containers, 19 for a channel count other than 2, 4, 6 or 8 (at 192 kHz: 2, 4 or 6), 8 when
    // the byte rate is not the sample rate times the block size.
    int Validate() const override;
    void FillEsi(ESI& esi) const override;
    void FillStreamInfo(STREAM_INFO& info) const override;
    void FillStreamAttributes(STREAM_ATTRIBUTES& attributes) const override;
    StdList MakeDescriptions() const override;
    // Version (4), then the format fields in file order; the extensible form continues with
    // its extension, stored with size 22.
    void Read(LeReader& in) override;
    void Write(LeWriter& out) const override;
    uint8_t GetCodingType() const override;
    std::unique_ptr<CSifData> Clone() const override;
    Json ToJson() const override;

    uint8_t GetPresentationType() const override;
    uint8_t GetSamplingFrequency() const override;
    uint8_t GetBitsCode() const;
    uint8_t GetChannelAssignment() const;
};

// The record of an AC-3 file (0x81), an E-AC-3 file with AC-3 core (0x84: AC-3 and E-AC-3
// frames alternate) or an E-AC-3 file without core (0xA1, secondary audio only).
class CAc3Sif : public CAudioSif {
public:
    static constexpr uint32_t kVersion = 1;

    CAc3Sif() { Version = kVersion; }

    // The descriptor fields as the program map table carries them, and the stream part.
    AC3_AUDIO_DESCRIPTOR Descriptor;

    void Clear() override;
    void CopyFrom(const CSifData& other) override;
    bool Equals(const CSifData& other) const override;
    // The checks of the frame headers on the stored parameters: 15 bitstream id, 17 not
    // 48 kHz, 18 AC-3 bit rate outside 64..640 kbit/s, 20 dual mono.
    int Validate() const override;
    bool IsSecondaryOnly() const override;
    void FillEsi(ESI& esi) const override;
    void FillStreamInfo(STREAM_INFO& info) const override;
    void FillStreamAttributes(STREAM_ATTRIBUTES& attributes) const override;
    StdList MakeDescriptions() const override;
    // Version (4), fscod, bsid, frmsizecod, dsurmod, bsmod, acmod, num_channels, full_svc,
    // mainid, priority, asvcflags (1 each); from version 1 on: E-AC-3 present, core present
    // (1 each); with E-AC-3: frame words (2), strmtyp, substreamid, fscod, acmod, reserved
    // (1 each), chanmap (2); then the AU frame size (4).
    void Read(LeReader& in) override;
    void Write(LeWriter& out) const override;
    uint8_t GetCodingType() const override;
    std::unique_ptr<CSifData> Clone() const override;
    Json ToJson() const override;

    uint8_t GetPresentationType() const override;
    // Always 1: every stream that passes the checks is 48 kHz.
    uint8_t GetSamplingFrequency() const override { return 1; }

    bool HasCore() const { return Descriptor.Ac3CorePresent != 0; }
    bool HasEac3() const { return Descriptor.Eac3Present != 0; }
};

}  // namespace vx
