#pragma once
// Program-specific information of a BDMV transport stream: the program association table (PAT,
// PID 0x0000), the program map table (PMT, PID 0x0100) with the descriptors of the program and
// of each elementary stream, the selection information table (SIT, PID 0x001F), and the CRC-32
// that ends every section.
//
// Common section layout (big-endian, bits numbered from the most significant):
//     0     8   table_id: PAT 0x00, PMT 0x02, SIT 0x7F
//     1     1   section_syntax_indicator, then '0' and two reserved bits '11'
//           12  section_length: the bytes after this field up to and including the CRC
//     3     16  PAT: transport_stream_id; PMT: program_number; SIT: all ones
//     5     8   '11', version_number (5), current_next_indicator (1)
//     6     8   section_number
//     7     8   last_section_number
//     8         the table's own fields
//     end-4 32  CRC_32 over table_id .. the byte before the CRC
//
// Parsing works on one whole section held in memory and never reads outside it. Lengths stored
// inside the section (program info, ES info, descriptor lengths) are checked against the part
// that holds them: a length running past its container ends that part's walk; what was read
// before stays. Descriptors this system does not use are dropped (they are not written back).

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "bdmv/json.h"
#include "foundation/bytes.h"
#include "foundation/named_object.h"
#include "transport/ac3_descriptor.h"

namespace vx {

// CRC-32 of MPEG-2 systems sections: polynomial 0x04C11DB7, register preset to all ones, bits
// taken most significant first, no final inversion. A section with its CRC appended has a CRC
// of 0.
uint32_t SectionCrc32(const uint8_t* data, size_t size);

namespace table_id {
inline constexpr uint8_t kPat = 0x00;
inline constexpr uint8_t kPmt = 0x02;
inline constexpr uint8_t kSit = 0x7F;
}  // namespace table_id

// The largest section_length a 12-bit field holds.
inline constexpr uint16_t kMaxSectionLength = 0x0FFF;

// ---- PAT ------------------------------------------------------------------------------------

// One program of the PAT. Program 0 names the network PID instead of a program map PID.
struct PI {
    uint16_t ProgramNumber = 0;
    uint16_t ProgramMapPid = 0;  // 13 bits; the NetworkPID for program 0
};

class CPiFolder : public CTypeArray<PI> {
    VX_DYNAMIC(CPiFolder, CTypeArray<PI>)
};

struct PAT {
    // The table this system writes: program 0 -> network PID 0x001F, program 1 -> PMT 0x0100.
    PAT();
    PAT(const PAT&) = delete;
    PAT& operator=(const PAT&) = delete;

    uint8_t TableId = table_id::kPat;
    uint8_t SectionSyntaxIndicator = 1;
    uint16_t SectionLength = 0;  // as last read or written
    uint16_t TransportStreamId = 0;
    uint8_t VersionNumber = 0;
    uint8_t CurrentNextIndicator = 1;
    uint8_t SectionNumber = 0;
    uint8_t LastSectionNumber = 0;
    CPiFolder Programs;
    uint32_t CRC32 = 0;  // as read (not verified) or as last written

    // Reads a section from its table_id byte; returns the bytes used (> 0) or 0 when size is
    // below 12 (header and CRC) or section_length is below the header. Programs are read while
    // whole 4-byte entries lie before the CRC and inside size less 4 bytes (room for the CRC of
    // a rewritten record); the CRC is kept when it lies inside size.
    int32_t Parse(const uint8_t* data, size_t size);
    // With null out returns the section size (CRC included) and changes nothing. With out,
    // fills it with the section and stores SectionLength and CRC32. Returns 0 (and leaves out
    // untouched) when the section would be longer than section_length can say.
    uint32_t Build(std::vector<uint8_t>* out);
    static void Copy(const PAT& source, PAT& destination);
    Json ToJson() const;
};

// ---- Descriptors of the PMT -----------------------------------------------------------------

// Program descriptor, tag 0x05: 05 04 "HDMV".
struct HDMV_REGISTRATION_DESCRIPTOR {
    std::array<char, 4> FormatIdentifier{'H', 'D', 'M', 'V'};
};

// Program descriptor, tag 0x88: CA_system_ID and the disc system's use bytes.
struct HDMV_COPY_CONTROL_DESCRIPTOR {
    static constexpr size_t kMaxUseBytes = 253;  // the length byte counts the CA system id too
    uint8_t DescriptorLength = 4;                // as last read or written
    uint16_t CaSystemId = 0x0FFF;
    std::vector<uint8_t> BdSystemUseDescription{0xFF, 0xFC};
};

// Program descriptor, tag 0x89, kept as its bytes (a source stream's private information).
struct PRIVATE_INFO_DESCRIPTOR {
    std::vector<uint8_t> Bytes;  // the bytes after the length byte; at most 255 are written
};

// Video stream registration, tag 0x05, length 8: "HDMV", 0xFF, coding type, format and rate,
// aspect ratio. Codes as in the clip information's stream attributes.
struct HDMV_VIDEO_REGISTRATION_DESCRIPTOR {
    std::array<char, 4> FormatIdentifier{'H', 'D', 'M', 'V'};
    uint8_t StreamCodingType = 0;
    uint8_t VideoFormat = 0;  // 4 bits
    uint8_t FrameRate = 0;    // 4 bits
    uint8_t AspectRatio = 0;  // 4 bits, followed by '1111'
};

// LPCM audio registration, tag 0x05, length 8: "HDMV", 0xFF, 0x80, presentation type and
// sampling frequency, bits per sample.
struct HDMV_LPCM_REGISTRATION_DESCRIPTOR {
    std::array<char, 4> FormatIdentifier{'H', 'D', 'M', 'V'};
    uint8_t StreamCodingType = 0x80;
    uint8_t AudioPresentationType = 0;  // 4 bits
    uint8_t SamplingFrequency = 0;      // 4 bits
    uint8_t BitsPerSample = 0;          // 2 bits, followed by '111111'
};

// AC-3 family registration, tag 0x05, length 4: "AC-3" (E-AC-3 streams too).
struct AC3_REGISTRATION_DESCRIPTOR {
    std::array<char, 4> FormatIdentifier{'A', 'C', '-', '3'};
};

// VC-1 registration, tag 0x05: "VC-1" and sub-descriptors 0x01 profile/level, 0x02 alignment
// type, 0x03 buffer size ('1111', exponent (4), hrd_buffer (16)); 0x00 and 0xFF are one-byte
// pads; another sub-tag ends the list. Written in the order 01, 02, 03.
struct VC1_REGISTRATION_DESCRIPTOR {
    struct SdBufferSize {
        uint8_t BufferSizeExponent = 0;
        uint16_t HrdBuffer = 0;
    };
    std::array<char, 4> FormatIdentifier{'V', 'C', '-', '1'};
    std::optional<uint8_t> SdProfileLevel;  // ProfileLevel
    std::optional<uint8_t> SdAlignment;     // AlignmentType
    std::optional<SdBufferSize> SdBuffer;
};

// AVC video descriptor, tag 0x28, length 4.
struct AVC_VIDEO_DESCRIPTOR {
    uint8_t AvcProfile = 0;
    uint8_t constraint_set0_flag = 0;
    uint8_t constraint_set1_flag = 0;
    uint8_t constraint_set2_flag = 0;
    uint8_t AVC_compatible_flags = 0;  // 5 bits
    uint8_t AvcLevel = 0;
    uint8_t AVC_still_present = 0;
    uint8_t AVC_24_hour_picture_flag = 0;  // followed by 6 reserved bits written 0
};

// AVC timing and HRD descriptor, tag 0x2A: the first two payload bytes as read, written with
// length 2.
struct AVC_TIMING_HRD_DESCRIPTOR {
    std::array<uint8_t, 2> Bytes{};
};

// One caption service: 3 language bytes; digital_cc (1), reserved '1', then the service number
// (6) for digital captions or '11111' + line21_field (1) for line-21 captions; easy_reader (1),
// wide_aspect_ratio (1) and 14 bits of '1'.
struct CAPTION_SERVICE_INFO {
    std::array<char, 3> Language{'e', 'n', 'g'};
    uint8_t DigitalCC = 0;
    uint8_t CaptionServiceNumber = 1;  // 6 bits, digital captions
    uint8_t Line21Field = 0;           // line-21 captions
    uint8_t EasyReader = 1;
    uint8_t WideAspectRatio = 0;
};

class CCsiFolder : public CTypeArray<CAPTION_SERVICE_INFO> {
    VX_DYNAMIC(CCsiFolder, CTypeArray<CAPTION_SERVICE_INFO>)
};

// Caption service descriptor, tag 0x86, length 1 + 6 per service: '111', number_of_services
// (5), the services. Writing numbers the services 1, 2, 3 ... in list order (in the record too).
struct CAPTION_SERVICE_DESCRIPTOR {
    static constexpr int kMaxServices = 31;  // 5-bit count; later services are not written
    uint8_t NumberOfServices = 0;            // as last read or written
    CCsiFolder Services;
};

// ISO 639 language descriptor, tag 0x0A, length 4.
struct ISO639_LANGUAGE_DESCRIPTOR {
    std::array<char, 3> Language{'e', 'n', 'g'};
    uint8_t AudioType = 0;
};

// ---- ESI ------------------------------------------------------------------------------------

// One elementary stream of the PMT: stream_type (8), '111' + elementary_PID (13), '1111' +
// ES_info_length (12), descriptors. Which descriptors are read and written depends on the
// stream type:
//     0x02, 0x1B     video registration; 0x1B also AVC video and AVC timing/HRD; caption service
//     0xEA           VC-1 registration, caption service
//     0x80           LPCM registration
//     0x81 0x83 0x84 0xA1   AC-3 registration, AC-3 audio
//     every type     the language descriptor, last (read for every type but video)
struct ESI : public CNamedObject {
    VX_DYNAMIC(ESI, CNamedObject)

public:
    uint8_t StreamType = 0;
    uint16_t ElementaryPid = 0;
    uint16_t ES_IfoLength = 0;  // as last read or written
    std::optional<HDMV_VIDEO_REGISTRATION_DESCRIPTOR> HdmvVideoRegistrationDescriptor;
    std::optional<AVC_VIDEO_DESCRIPTOR> AvcVideoDescriptor;
    std::optional<AVC_TIMING_HRD_DESCRIPTOR> AvcTimingHrdDescriptor;
    std::optional<VC1_REGISTRATION_DESCRIPTOR> Vc1RegistrationDescriptor;
    std::optional<CAPTION_SERVICE_DESCRIPTOR> CaptionServiceDescriptor;
    std::optional<HDMV_LPCM_REGISTRATION_DESCRIPTOR> HdmvLpcmRegistrationDescriptor;
    std::optional<AC3_REGISTRATION_DESCRIPTOR> Ac3RegistrationDescriptor;
    std::optional<AC3_AUDIO_DESCRIPTOR> Ac3AudioDescriptor;
    std::optional<ISO639_LANGUAGE_DESCRIPTOR> Iso639LanguageDescriptor;

    static bool IsVideoType(uint8_t streamType) { return streamType == 0x02 || streamType == 0x1B; }
    static bool IsAc3Type(uint8_t streamType) {
        return streamType == 0x81 || streamType == 0x83 || streamType == 0x84 || streamType == 0xA1;
    }

    void Copy(const CNamedObject& source) override;
    using CNamedObject::Parse;
    // Reads one entry of the ES loop from data (at most size bytes, the rest of the loop).
    // Returns the bytes used, or 0 when fewer than the 5 fixed bytes remain. An ES_info_length
    // that runs past size gives the descriptors inside size, and size is returned.
    int32_t Parse(const uint8_t* data, size_t size);
    // Appends the entry with the descriptors its stream type carries; stores ES_IfoLength and
    // renumbers the caption services.
    void Write(ByteWriter& writer);
    Json ToJson() const;

private:
    void ParseDescriptors(ByteReader& block);
};

class CEsiFolder : public CNamedPtrArray<ESI> {
    VX_DYNAMIC(CEsiFolder, CNamedPtrArray<ESI>)
};

// ---- PMT ------------------------------------------------------------------------------------

// Program map table: the common header with program_number, then '111' + PCR_PID (13),
// '1111' + program_info_length (12), the program descriptors, the ES loop, the CRC.
struct PMT {
    // Section bytes before the program descriptors (table_id .. program_info_length).
    static constexpr size_t kFixedSize = 12;
    // The smallest section_length: 9 header bytes after the length field and the CRC.
    static constexpr uint16_t kMinSectionLength = 13;

    // The table this system writes: program 1, PCR PID 0x1001, HDMV registration and copy
    // control descriptors, no streams.
    PMT() = default;
    PMT(const PMT&) = delete;
    PMT& operator=(const PMT&) = delete;

    uint8_t TableId = table_id::kPmt;
    uint8_t SectionSyntaxIndicator = 1;
    uint16_t SectionLength = 0;  // as last read or written
    uint16_t ProgramNumber = 1;
    uint8_t VersionNumber = 0;
    uint8_t CurrentNextIndicator = 1;
    uint8_t SectionNumber = 0;
    uint8_t LastSectionNumber = 0;
    uint16_t PcrPid = 0x1001;
    uint16_t ProgramInfoLength = 0;  // as last read or written
    HDMV_REGISTRATION_DESCRIPTOR HdmvRegistrationDescriptor;
    HDMV_COPY_CONTROL_DESCRIPTOR HdmvCopyControlDescriptor;
    std::optional<PRIVATE_INFO_DESCRIPTOR> PrivateInfoDescriptor;
    CEsiFolder Streams;
    uint32_t CRC32 = 0;  // as read (not verified) or as last written

    // Reads one whole section from its table_id byte. Returns the section size, or 0 when the
    // fixed header does not fit, section_length is below kMinSectionLength, or the section is
    // longer than size.
    int32_t Parse(const uint8_t* data, size_t size);
    // As PAT::Build; also stores ProgramInfoLength, every ES_IfoLength and descriptor length.
    uint32_t Build(std::vector<uint8_t>* out);
    // The entry of this PID, or null.
    ESI* FindStream(int pid) const;
    static void Copy(const PMT& source, PMT& destination);
    Json ToJson() const;

private:
    void ParseProgramDescriptors(ByteReader& block);
};

// ---- SIT ------------------------------------------------------------------------------------

// Partial transport stream descriptor, tag 0x63, length 8: '11' + peak_rate (22, units of
// 400 bit/s), '11' + minimum_overall_smoothing_rate (22), '11' +
// maximum_overall_smoothing_buffer (14).
struct PARTIAL_TRANSPORT_STREAM_DESCRIPTOR {
    uint32_t PeakRate = 120000;                       // 48 Mbit/s
    uint32_t MinimumOverallSmoothingRate = 0x3FFFFF;  // all ones: not given
    uint16_t MaximumOverallSmoothingBuffer = 0x3FFF;  // all ones: not given
};

// Selection information table: the common header (16 bits of ones in place of an id),
// '1111' + transmission_info_loop_length (12), the partial transport stream descriptor at
// bytes 10-19, then one service: service_id (16), '1' + running_status (3) +
// service_loop_length (12), the service descriptors, the CRC.
struct SIT {
    // The section without transmission and service descriptors beyond the partial transport
    // stream descriptor: 10 header bytes, the descriptor, the service entry and the CRC.
    static constexpr size_t kFixedSize = 28;

    SIT() = default;
    SIT(const SIT&) = default;
    SIT& operator=(const SIT&) = default;

    uint8_t TableId = table_id::kSit;
    uint8_t SectionSyntaxIndicator = 1;
    uint16_t SectionLength = 0;  // as last read or written
    uint8_t VersionNumber = 0;
    uint8_t CurrentNextIndicator = 1;
    uint8_t SectionNumber = 0;
    uint8_t LastSectionNumber = 0;
    uint16_t TransmissionInfoLength = 10;  // as last read or written
    PARTIAL_TRANSPORT_STREAM_DESCRIPTOR PartialTransportStreamDescriptor;
    // Transmission descriptor bytes behind the partial transport stream descriptor, as read.
    std::vector<uint8_t> MoreTransmissionDescriptors;
    uint16_t ServiceID = 1;
    uint8_t RunningStatus = 0;
    uint16_t ServiceLoopLength = 0;           // as last read or written
    std::vector<uint8_t> ServiceDescriptors;  // the service loop, as read
    uint32_t CRC32 = 0;                       // as read (not verified) or as last written

    // Reads a section from its table_id byte at the fixed positions above; each part is taken
    // only when it lies inside both the section and size, and byte blocks only as far as the
    // rewritten record still fits in size. Returns the bytes used, or 0 when size is below
    // kFixedSize.
    int32_t Parse(const uint8_t* data, size_t size);
    uint32_t Build(std::vector<uint8_t>* out);
    static void Copy(const SIT& source, SIT& destination) { destination = source; }
    Json ToJson() const;
};

}  // namespace vx
