#pragma once
// The packets of a BDMV transport stream file (.m2ts): 192-byte source packets, each a 4-byte
// header (2-bit copy permission, 30-bit arrival time stamp of a 27 MHz clock) and a 188-byte
// MPEG-2 transport packet:
//     byte 0   sync byte 0x47
//     byte 1-2 transport_error_indicator (1), payload_unit_start_indicator (1),
//              transport_priority (1), PID (13)
//     byte 3   transport_scrambling_control (2), adaptation_field_control (2: 1 payload only,
//              2 adaptation field only, 3 both), continuity_counter (4)
//     then the adaptation field (control 2 or 3) and the payload (control 1 or 3). On PIDs that
//     carry sections (PAT, SIT, PMT) a packet that starts a section has a pointer field first;
//     on elementary-stream PIDs a packet that starts a PES packet begins with its header.
//
// Lengths stored in a packet are checked against the packet: an adaptation field, private data
// block, extension or PES header that claims more bytes than the packet holds is read as far as
// whole fields lie inside it; the part that does not fit is dropped (its flag cleared) and the
// parse goes on with the next part of the packet. A PES_PacketLength is a count of bytes in
// later packets: it is kept as stored and never used to read.

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "bdmv/json.h"
#include "foundation/bytes.h"
#include "transport/psi.h"

namespace vx {

inline constexpr size_t kSourcePacketSize = 192;
inline constexpr size_t kTransportPacketSize = 188;
inline constexpr size_t kSourcePacketHeaderSize = 4;
inline constexpr size_t kAlignedUnitSize = 6144;  // 32 source packets
inline constexpr uint8_t kSyncByte = 0x47;

// The 4-byte header of a source packet: copy_permission_indicator (2), arrival_time_stamp (30).
struct SourcePacketHeader {
    uint8_t CopyPermissionIndicator = 0;
    uint32_t ArriveTimeStamp = 0;  // low 30 bits of the 27 MHz arrival clock

    // Returns 4, or 0 when size is below 4.
    int32_t Parse(const uint8_t* data, size_t size);
    void Write(uint8_t* out) const;  // 4 bytes
    Json ToJson() const;
};

// A 90 kHz time stamp in the 5-byte layout of PES headers: a 4-bit prefix and bits 32-30 with a
// marker bit, bits 29-15 with a marker bit, bits 14-0 with a marker bit.
namespace pes_time {
inline constexpr uint8_t kPtsOnly = 0x2;  // prefix 0010: a PTS without DTS
inline constexpr uint8_t kPtsWithDts = 0x3;
inline constexpr uint8_t kDts = 0x1;
uint64_t Read(const uint8_t* p);  // 33 bits; the prefix and markers are not examined
void Write(uint8_t* p, uint8_t prefix, uint64_t value);
}  // namespace pes_time

// A program clock reference: base (33 bits, 90 kHz), 6 reserved bits written '1', extension
// (9 bits); the value in 27 MHz ticks is base x 300 + extension.
struct ClockReference {
    uint64_t Base = 0;
    uint16_t Extension = 0;

    uint64_t Value() const { return Base * 300 + Extension; }
    static ClockReference FromTicks(uint64_t ticks) {
        return {(ticks / 300) & 0x1FFFFFFFFull, uint16_t(ticks % 300)};
    }
};

struct AdaptationField {
    uint8_t AdaptationFieldLength = 0;  // bytes after the length byte, as last read or written
    uint8_t DiscontinuityIndicator = 0;
    uint8_t RandomAccessIndicator = 0;
    uint8_t ElementaryStreamPriorityIndicator = 0;
    uint8_t PCR_Flag = 0;
    uint8_t OPCR_Flag = 0;
    uint8_t SplicingPointFlag = 0;
    uint8_t TransportPrivateDataFlag = 0;
    uint8_t AdaptationFieldExtensionFlag = 0;
    ClockReference PCR;
    ClockReference OPCR;
    uint8_t SpliceCountdown = 0;    // two's complement
    uint8_t PrivateDataLength = 0;  // as last read or written
    std::vector<uint8_t> PrivateDataByte;
    // Extension: flags byte with ltw (bit 7), piecewise_rate (6), seamless_splice (5) and
    // '11111'; then ltw_valid (1) + ltw_offset (15); '11' + piecewise_rate (22); splice_type (4)
    // + DTS_next_AU in the time-stamp layout.
    uint8_t AdaptationFieldExtensionLength = 0;  // as last read or written
    uint8_t LtwFlag = 0;
    uint8_t PiecewiseRateFlag = 0;
    uint8_t SeamlessSpliceFlag = 0;
    uint8_t LtwValidFlag = 0;
    uint16_t LtwOffset = 0;
    uint32_t PiecewiseRate = 0;
    uint8_t SpliceType = 0;
    uint64_t DtsNextAu = 0;
    std::vector<uint8_t> ExtensionBytes;  // extension bytes behind the known fields, as read
    uint16_t StuffingSize = 0;            // 0xFF bytes that end the field

    // A field with no flag byte at all (adaptation_field_length 0): one byte of stuffing.
    bool IsEmpty() const;
    // Reads the field from its length byte. Returns the bytes the field takes in the packet
    // (1 + stored length, or all of size when the stored length runs past it); 0 when size is
    // 0. A part whose flag is set but that does not fit is dropped with its flag and every later
    // part; the bytes left count as stuffing.
    int32_t Parse(const uint8_t* data, size_t size);
    // Appends the field and stores the written lengths.
    void Write(ByteWriter& writer);
    // The bytes Write produces, length byte included.
    size_t WrittenSize() const;
    Json ToJson() const;
};

// The data stream alignment block that may directly follow a PES header: 0x06, a length byte
// (written 1), the alignment type.
struct DATA_STREAM_ALIGNMENT {
    uint8_t DescriptorLength = 1;  // as read; the payload continues after length + 2 bytes
    uint8_t AlignmentType = 0;
};

// The header of a PES packet.
struct PES_Packet {
    uint32_t PacketStartCodePrefix = 0x000001;
    uint8_t StreamID = 0;
    uint16_t PES_PacketLength = 0;  // 0 when the packet is longer than 65535 bytes
    // First flag byte: '10', then these.
    uint8_t PES_ScramblingControl = 0;
    uint8_t PES_Priority = 0;
    uint8_t DataAlignmentIndicator = 0;
    uint8_t Copyright = 0;
    uint8_t OriginalOrCopy = 0;
    // Second flag byte.
    uint8_t PTS_DTS_Flag = 0;  // 2: PTS; 3: PTS and DTS
    uint8_t ESCR_Flag = 0;
    uint8_t ES_RateFlag = 0;
    uint8_t DSM_TrickModeFlag = 0;
    uint8_t AdditionalCopyInfoFlag = 0;
    uint8_t PES_CRC_Flag = 0;
    uint8_t PES_ExtensionFlag = 0;
    uint8_t PES_HeaderDataLength = 0;  // as last read or written
    uint64_t PTS = 0;                  // 33 bits, 90 kHz
    uint64_t DTS = 0;
    uint64_t ESCR_Base = 0;  // 33 bits
    uint16_t ESCR_Extension = 0;
    uint32_t ES_Rate = 0;  // 22 bits, units of 50 bytes/s
    uint8_t TrickModeControl = 0;
    uint8_t FieldID = 0;
    uint8_t IntraSliceRefresh = 0;
    uint8_t FrequencyTruncation = 0;
    uint8_t FieldRepCntrl = 0;
    uint8_t AdditionalCopyInfo = 0;  // 7 bits
    uint16_t PreviousPES_PacketCRC = 0;
    // Extension: flags byte (private data, pack header field, program packet sequence counter,
    // P-STD buffer, '111', extension 2), then the parts the flags name.
    uint8_t PES_PrivateDataFlag = 0;
    uint8_t PackHeaderFieldFlag = 0;
    uint8_t ProgramPacketSequenceCounterFlag = 0;
    uint8_t P_STD_BufferFlag = 0;
    uint8_t PES_ExtensionFlag2 = 0;
    std::array<uint8_t, 16> PES_PrivateData{};
    uint8_t PackFieldLength = 0;  // as last read or written
    std::vector<uint8_t> PackHeader;
    uint8_t ProgramPacketSequenceCounter = 0;  // 7 bits
    uint8_t MPEG1_MPEG2_Identifier = 0;
    uint8_t OriginalStuffLength = 0;  // 6 bits
    uint8_t P_STD_BufferScale = 0;
    uint16_t P_STD_BufferSize = 0;         // 13 bits
    uint8_t PES_ExtensionFieldLength = 0;  // 7 bits, as last read or written
    std::vector<uint8_t> PES_ExtensionField;
    uint8_t StuffingSize = 0;  // 0xFF bytes ending the header data
    std::optional<DATA_STREAM_ALIGNMENT> PES_DataStreamAlignmentType;

    // Stream ids whose header ends after PES_PacketLength (no flag bytes).
    static bool HasOptionalFields(uint8_t streamId);
    // The time that orders the header among others of its stream: the DTS when it carries PTS
    // and DTS, else the PTS.
    uint64_t DecodeTime() const { return PTS_DTS_Flag == 3 ? DTS : PTS; }
    bool HasPts() const { return PTS_DTS_Flag >= 2; }

    // Reads a header from its start code, then takes an alignment block that directly follows
    // it (0x06 and a length whose block lies inside size). Returns the offset after both, or 0
    // when there is no start code 00 00 01 and stream id inside size.
    int32_t Parse(const uint8_t* data, size_t size);
    // Appends the header and the alignment block; stores PES_HeaderDataLength and the other
    // written lengths.
    void Write(ByteWriter& writer);
    Json ToJson() const;
};

// One transport packet and the parts this system reads from it.
class TransportPacket {
public:
    TransportPacket() = default;
    TransportPacket(const TransportPacket&) = delete;
    TransportPacket& operator=(const TransportPacket&) = delete;

    uint8_t SyncByte = kSyncByte;
    uint8_t TransportErrorIndicator = 0;
    uint8_t PayloadUnitStartIndicator = 0;
    uint8_t TransportPriority = 0;
    int32_t PID = 0x1FFF;  // 0x1FFF also when no packet could be parsed
    uint8_t TransportScramblingControl = 0;
    uint8_t AdaptationFieldControl = 1;
    uint8_t ContinuityCounter = 0;  // 0..15
    std::unique_ptr<vx::AdaptationField> AdaptationField;
    std::unique_ptr<vx::PAT> PAT;
    // Set by the packet that completes a PMT section; kept until the next Parse.
    std::unique_ptr<vx::PMT> PMT;
    std::unique_ptr<vx::SIT> SIT;
    std::unique_ptr<vx::PES_Packet> PES_Packet;

    // Templates of the table packets this system writes: unit start, payload only, counter 0,
    // with their default tables (the PMT packet carries no table: its section is written with
    // WriteSectionPacket). The PCR packet has PID 0x1001 and an adaptation field of 183 bytes
    // holding only a PCR and 176 stuffing bytes.
    static std::unique_ptr<TransportPacket> MakePatPacket();
    static std::unique_ptr<TransportPacket> MakePmtPacket();
    static std::unique_ptr<TransportPacket> MakeSitPacket();
    static std::unique_ptr<TransportPacket> MakePcrPacket();

    // Parses the transport packet at data (its sync byte), never reading past size (at most
    // 188 bytes are used). Returns 0 when size is below 4 or the first byte is not 0x47 (PID
    // is then 0x1FFF); otherwise the offset of the first payload byte for the caller: after
    // the header and adaptation field; on a PAT or SIT packet that starts a section, after the
    // pointer field; on a PMT packet, the packet's end; on an elementary-stream PID with the
    // unit-start flag, after the PES header and its alignment block.
    //
    // PMT sections are gathered over packets: a unit-start packet on PID 0x0100 begins a
    // section (an unfinished one is abandoned), later packets on that PID append to it, and the
    // packet that completes it sets PMT. A continuation with no section begun is ignored.
    int32_t Parse(const uint8_t* data, size_t size);
    // Writes the header, the adaptation field (control 2 or 3) and by PID: 0x0000 a pointer
    // field 0 and the PAT; 0x001F a pointer field 0 and the SIT; an elementary-stream PID with
    // the unit-start flag and a PES header, that header. Bytes of the 188 it does not write are
    // left as they are. Returns the bytes written, or 0 (writing nothing) when the parts do not
    // fit in 188 bytes. On PAT, PMT, SIT and PCR packets that carry a payload the continuity
    // counter moves on by one (mod 16) after the write; a packet without payload keeps its
    // counter, as MPEG-2 systems require.
    int32_t Write(uint8_t* out);
    // Writes one packet of a section that may span packets: the 4-byte header (unit start =
    // first, payload only), a pointer field 0 on the first packet, then min(length, room)
    // section bytes. Returns the section bytes copied; the counter moves on by one.
    int32_t WriteSectionPacket(uint8_t* out, const uint8_t* section, size_t length, bool first);
    // Gives the packet an adaptation field of exactly count bytes (count 1: only the length
    // byte; 2: length and flag byte; more: stuffing): control 1 becomes 3, 3 stays, any other
    // becomes 2. False (nothing changed) when count is not 1..184.
    bool SetStuffing(int count);
    // Bytes of the packet after the header and adaptation field.
    size_t PayloadSize() const;
    // True when the last Parse completed a PMT section.
    bool PmtComplete() const { return pmtComplete_; }

    static void Copy(const TransportPacket& source, TransportPacket& destination);
    Json ToJson() const;

private:
    void ParsePmtPayload(const uint8_t* data, size_t size, size_t at);
    bool AdvancesCounter() const;

    std::vector<uint8_t> pmtSection_;  // the section being gathered
    size_t pmtNeeded_ = 0;             // its full size (3 + section_length)
    bool pmtGathering_ = false;
    bool pmtComplete_ = false;
};

}  // namespace vx
