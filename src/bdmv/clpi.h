#pragma once
// The clip information file (CLIPINF/nnnnn.clpi): describes one transport stream file of the
// STREAM folder: its recording rate and packet count, its arrival-time and system-time-clock
// sequences, the streams of its program, the entry-point map that lets a player seek (the CPI)
// and extension data.
//
// File layout (big-endian):
//     0    4   type indicator ("HDMV")
//     4    4   version number ("0200")
//     8    4   sequence info start address
//     12   4   program info start address
//     16   4   CPI start address
//     20   4   clip mark start address
//     24   4   extension data start address, 0 when there is none
//     28   12  zero
//     40       clip info, then sequence info, program info, CPI, clip mark and extension data.
// Each block starts with a 4-byte length of the bytes that follow it. A new record writes the
// blocks directly behind one another; some authoring tools leave alignment bytes between
// blocks, which a parsed record keeps and writes back.
//
// Clip info block (offsets from its length field):
//     0    4   length (176 without following clips)
//     4    2   zero
//     6    1   ClipStreamType
//     7    1   ApplicationType
//     8    4   bit 0: IsAtcDelta (the following-clip list exists)
//     12   4   TsRecordingRate (bytes per second)
//     16   4   NumberOfSourcePackets
//     20   128 reserved; may hold our tool identification: "CRVN" and an extension data block
//              with the tool identification entry from byte 24 on (at most 124 bytes)
//     148  2   TsTypeInfoBlock length (30)
//     150  1   ValidityFlags
//     151  4   format identifier ("HDMV")
//     155  9   NetworkInformation
//     164  16  StreamFormatName
//     180      with IsAtcDelta: a zero byte, the count, 14 bytes per following clip
//              (ATC delta 4, clip name 5, codec identifier 4, zero 1)
//
// Entry-point map: per stream a table of coarse entries (8 bytes: the index of the first fine
// entry 18 bits, presentation time bits 32-19 in 14 bits, full packet number 32 bits) and one
// fine entry per key point (4 bytes: angle change point 1 bit, I-end position offset 3 bits,
// presentation time bits 19-9 in 11 bits, packet number bits 16-0 in 17 bits). Bit 19 of the
// time is held by both. A coarse entry covers the following key points as long as their time
// bits 32-19 and packet bits 31-17 are its own.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bdmv/ext_data.h"
#include "bdmv/json.h"
#include "foundation/file.h"
#include "foundation/named_object.h"

namespace vx {

// The descriptor our tool identification entry carries: "<application>, Version <version>".
std::string ToolDescriptor();

// A clip that follows this one with an arrival-time-clock jump.
struct AtcData {
    uint32_t AtcDelta = 0;
    std::array<char, 5> FollowingClipId{'0', '0', '0', '0', '0'};
    std::array<char, 4> ClipCodecId{'M', '2', 'T', 'S'};
};

class CAtcFolder : public CTypeArray<AtcData> {
    VX_DYNAMIC(CAtcFolder, CTypeArray<AtcData>)
};

struct CLIP_INFO {
    static constexpr uint32_t kReservedSize = 128;
    static constexpr uint16_t kTsTypeInfoLength = 30;

    uint32_t Length = 176;  // as last read or written
    uint8_t ClipStreamType = 1;
    // 1 MainTS of a movie, 2 and 3 MainTS of a time-based or browsable slideshow, 4 SubTS of a
    // browsable slideshow, 5 SubTS of an interactive graphics menu, 6 SubTS of a text subtitle,
    // 7 SubTS of elementary streams.
    uint8_t ApplicationType = 1;
    uint8_t IsAtcDelta = 0;
    uint32_t TsRecordingRate = 6000000;
    uint32_t NumberOfSourcePackets = 0;
    // As read. Written back only when the record holds no tool identification block.
    std::array<uint8_t, kReservedSize> Reserved{};
    uint16_t TsTypeInfoBlockLength = kTsTypeInfoLength;  // as last read or written
    uint8_t ValidityFlags = 0x80;
    std::array<char, 4> FormatIdentifier{'H', 'D', 'M', 'V'};
    std::array<uint8_t, 9> NetworkInformation{};
    std::array<uint8_t, 16> StreamFormatName{};
    CAtcFolder FollowingClips;  // at most 255 are written
    // Bytes of the block behind the fields above (later format versions), kept as read.
    std::vector<uint8_t> Extra;
};

// One system-time-clock sequence; times are 45 kHz.
struct STC_INFO {
    uint16_t PcrPid = 0x1001;
    uint32_t SpnStcStart = 0;
    uint32_t StartPTS = 0;
    uint32_t EndPTS = 0;
};

class CStcFolder : public CTypeArray<STC_INFO> {
    VX_DYNAMIC(CStcFolder, CTypeArray<STC_INFO>)
};

struct SEQUENCE_INFO {
    uint32_t Length = 0;               // as last read or written
    uint8_t NumberOfAtcSequences = 1;  // written as held
    // The first ATC sequence (written when NumberOfAtcSequences is not 0).
    uint32_t SpnAtcStart = 0;
    uint8_t NumberOfStcSequences = 0;  // as last read or written
    uint8_t OffsetStcId = 0;
    CStcFolder StcSequences;  // at most 255 are written
    // The rest of the block behind the first ATC sequence (further ATC sequences), as read.
    std::vector<uint8_t> MoreAtcSequences;
};

// One stream of the clip's program and its coding attributes.
struct STREAM_INFO {
    uint16_t StreamPID = 0;
    uint8_t Length = 21;  // of the coding info, as last read or written
    uint8_t StreamCodingType = 0;
    // Video (0x02, 0x1B, 0xEA).
    uint8_t VideoFormat = 0;
    uint8_t FrameRate = 0;
    uint8_t AspectRatio = 0;
    // Audio (0x80-0x86, 0xA1, 0xA2).
    uint8_t PresentationType = 0;
    uint8_t SamplingFrequency = 0;
    // Text subtitle (0x92).
    uint8_t CharacterCode = 0;
    // ISO 639-2 code of audio, PG, IG and text subtitle streams.
    std::array<char, 3> LanguageCode{'e', 'n', 'g'};
    // ISO 3901 recording code: country (2), registrant (3), year (2), designation (5).
    std::array<uint8_t, 12> ISRC{};

    enum class Kind { video, audio, graphics, textSubtitle, other };
    static Kind KindOf(uint8_t codingType);
    std::string Language() const { return std::string(LanguageCode.data(), 3); }
    Json ToJson() const;
};

class CSiFolder : public CTypeArray<STREAM_INFO> {
    VX_DYNAMIC(CSiFolder, CTypeArray<STREAM_INFO>)
};

struct PROGRAM_INFO {
    uint32_t Length = 0;                  // as last read or written
    uint8_t NumberOfProgramSequence = 1;  // only the first program is kept; written as 1
    uint32_t SpnProgramSequenceStart = 0;
    uint16_t ProgramMapPid = 0x0100;
    uint8_t NumberOfStreams = 0;  // as last written
    CSiFolder Streams;            // at most 255 are written
};

// One random-access point of a track.
struct KEY_POINT_INFO {
    uint64_t PresentationTime = 0;  // 90 kHz, 33 bits significant
    uint32_t StartSpn = 0;          // the packet that starts the access unit
    // Key points of the multiplexer: the packet where the intra-coded picture ends. Key points
    // read from a file: the stored I-end position offset (0-7).
    uint32_t EndSpn = 0;
    // What a file stores beyond the time and packet, kept so a read map is written back as it
    // was; a new key point leaves them at their defaults.
    int8_t IEndPositionOffset = -1;  // 0-7 as read; -1: derived from EndSpn when written
    uint8_t IsAngleChangePoint = 0;
    uint8_t StartsCoarseEntry = 0;  // a coarse entry began here in the file read

    // The I-end position offset of an intra-coded picture spanning these packets (video).
    static uint8_t IEndCode(uint32_t startSpn, uint32_t endSpn);
};

class CKpiFolder : public CTypeArray<KEY_POINT_INFO> {
    VX_DYNAMIC(CKpiFolder, CTypeArray<KEY_POINT_INFO>)
};

// The entry points of one stream of the EP map.
class STREAM_PID_ENTRY : public CNamedObject {
    VX_DYNAMIC(STREAM_PID_ENTRY, CNamedObject)

public:
    // The most entries a stream's tables can hold (the counts are 16 and 18 bits wide). Key
    // points beyond what fits are not written.
    static constexpr uint32_t kMaxCoarseEntries = 0xFFFF;
    static constexpr uint32_t kMaxFineEntries = 0x3FFFF;

    uint16_t StreamPid = 0x1011;
    uint8_t EpStreamType = 1;                    // 1 video, 3 audio, 4 secondary audio, 6 PG, 7 IG
    uint16_t NumberOfCoarseEntries = 0;          // as last read or written
    uint32_t NumberOfFineEntries = 0;            // 18 bits, as last read or written
    uint32_t EpMapForOneStreamStartAddress = 0;  // from the EP map start, as last read or written
    CKpiFolder KeyPoints;

    void Copy(const CNamedObject& source) override;
    Json ToJson() const;
};

class CSpeFolder : public CNamedPtrArray<STREAM_PID_ENTRY> {
    VX_DYNAMIC(CSpeFolder, CNamedPtrArray<STREAM_PID_ENTRY>)
};

struct CPI {
    uint32_t Length = 0;  // as last read or written
    uint8_t CpiType = 1;  // 1: EP map
    CSpeFolder EpMap;     // at most 255 streams are written
};

class CLPI {
public:
    static constexpr uint32_t kClipInfoStart = 40;
    // Bytes of the reserved clip-info area behind the magic "CRVN" that the tool
    // identification block may use.
    static constexpr size_t kToolBlockRoom = 124;

    std::string TypeIndicator = "HDMV";  // 4 characters, kept as read
    std::string VersionNumber = "0200";  // 4 characters, kept as read
    uint32_t SequenceInfoStartAddress = 0;
    uint32_t ProgramInfoStartAddress = 0;
    uint32_t CpiStartAddress = 0;
    uint32_t ClipMarkStartAddress = 0;
    uint32_t ExtensionDataStartAddress = 0;  // 0 when there is none
    CLIP_INFO ClipInfo;
    SEQUENCE_INFO SequenceInfo;
    PROGRAM_INFO ProgramInfo;
    CPI Cpi;
    uint32_t ClipMarkLength = 0;  // as read; the clip mark block is always written empty
    std::unique_ptr<CExtData> ExtensionData;  // null when the file has none
    // Our tool identification, written into the reserved clip-info area. A new record has one
    // naming this application; a parsed record has one only when the file carries it.
    std::unique_ptr<SCrvnToolData> ToolIdentification;
    // Bytes found behind each block before the next one (or the end of the file), in block
    // order: clip info, sequence info, program info, CPI, clip mark, extension data.
    std::array<std::vector<uint8_t>, 6> Gaps;

    CLPI();
    CLPI(const CLPI&) = delete;
    CLPI& operator=(const CLPI&) = delete;

    // Parses the whole file; the EP map is read only when readCpi is set. Returns the offset
    // just past the last byte used (> 0), or 0 when a length, count or address leaves the file,
    // the blocks overlap or the EP map contradicts itself.
    int32_t Parse(const uint8_t* data, size_t size, bool readCpi = true);
    // With out, fills *out with the file image and updates addresses, lengths and counts; with a
    // null out returns the size only. A tool identification whose texts do not fit the
    // reserved area is written shortened (descriptor first).
    uint32_t Build(std::vector<uint8_t>* out);
    // Builds and writes the image with one write; raises FileError.
    void Write(CFile& file);
    static void Copy(const CLPI& source, CLPI& destination);
    Json ToJson() const;

private:
    void Reset();
};

}  // namespace vx
