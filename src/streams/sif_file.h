#pragma once
// The stream information file ("<stream path>.dsi"): what analysing an elementary-stream file
// found, so that it is analysed once and multiplexed from this index afterwards. Little-endian
// throughout:
//
//   header (57 bytes, no gaps)            0  "RSIF"
//                                         4  reserved (4), 0
//                                         8  stream coding type (1)
//                                         9  number of AUs (4)
//                                        13  AU duration in ms (8, IEEE double)
//                                        21  bit rate, bit/s (4)
//                                        25  bit rate of the E-AC-3 extension, else 0 (4)
//                                        29  reserved (4), 0
//                                        33  offset of the first AU in the stream file (4)
//                                        37  offset of the AU table in this file (4)
//                                        41  length of the stream data (8)
//                                        49  modification time of the stream file (8)
//   stream information record            57  (CSifData::Write)
//   AU table (PG and IG only)                one 28-byte SIF_AU per AU
//
// Constant-rate audio has no table: its AUs follow from the header (CStreamInfo::GetAu).

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "foundation/file.h"
#include "streams/le_bytes.h"
#include "streams/sif_data.h"

namespace vx {

// Analysed elementary streams start at this time stamp (90 kHz), about 1.456 s.
inline constexpr uint32_t kStreamStartTicks = 131070;

struct SIF_HEADER {
    static constexpr size_t kSize = 57;
    static constexpr char kMagic[5] = "RSIF";

    char Magic[4] = {'R', 'S', 'I', 'F'};
    uint32_t Reserved1 = 0;
    uint8_t StreamCodingType = 0;
    uint32_t NumberOfAus = 0;
    double AuDuration = 0;  // ms
    uint32_t BitRate = 0;
    uint32_t ExtBitRate = 0;
    uint32_t Reserved2 = 0;
    uint32_t FirstAuOffset = 0;
    uint32_t AuTableOffset = 0;
    uint64_t DataLength = 0;
    int64_t ModificationTime = 0;  // of the stream file, nanoseconds since the epoch

    void Write(LeWriter& out) const;
    // Reads the 57 bytes; throws ParseError when fewer remain. Accepts any magic (see IsUsable).
    void Read(LeReader& in);
    bool HasMagic() const;
    // Magic "RSIF", at least one AU and some data: a header that can describe a stream.
    bool IsUsable() const;
    Json ToJson() const;
};

// One AU of a stream: for PG and IG one record of the AU table, for audio computed.
struct SIF_AU {
    static constexpr size_t kSize = 28;
    // Flag bits of graphics AUs.
    static constexpr uint32_t kSegmentTypeMask = 0xFF;         // type of the first segment
    static constexpr uint32_t kCompositionStateMask = 0xFF00;  // of a PCS or ICS
    static constexpr uint32_t kNoObjects = 0x10000;            // a PCS without objects
    static constexpr uint32_t kRandomAccess = 0x20000;         // starts a random-access unit

    uint32_t Size = 0;
    uint64_t Offset = 0;  // in the stream file
    uint32_t Flags = 0;
    uint32_t Dts = 0;  // 90 kHz
    uint32_t Pts = 0;  // 90 kHz
    uint32_t Reserved = 0;

    void Write(LeWriter& out) const;
    void Read(LeReader& in);
    bool operator==(const SIF_AU&) const = default;
};

// Where the stream information file of a stream is written first: "<stream path>.dsi".
std::string SifPathBeside(const std::string& streamPath);
// The fallback in the temporary folder: "<temp>/<stream file name>.dsi".
std::string SifPathInTemp(const std::string& streamPath);

// A stream information file being written by a parse. The parse writes the header with the
// record first, appends AU records while it walks the stream, and rewrites header and record
// with the final values at the end; a failed parse discards the file.
class CSifWriter {
public:
    CSifWriter() = default;
    ~CSifWriter();
    CSifWriter(const CSifWriter&) = delete;
    CSifWriter& operator=(const CSifWriter&) = delete;

    // Creates (or truncates) the file beside the stream, or in the temporary folder when that
    // fails. False when neither can be created.
    bool Create(const std::string& streamPath);
    bool IsOpen() const { return file_.IsOpen(); }
    const std::string& Path() const { return path_; }

    // The values being gathered. Begin takes a fresh record.
    SIF_HEADER& Header() { return header_; }
    CSifData* Data() { return data_.get(); }
    // Starts again from an empty file: a zero header with the stream's modification time, the
    // record written behind it, the AU table offset set to where the record ends. Raises
    // FileError; reopens the file if it was discarded.
    void Begin(std::unique_ptr<CSifData> data, int64_t modificationTime);
    // Appends one record to the AU table and counts it (NumberOfAus, DataLength). Raises
    // FileError.
    void AppendAu(const SIF_AU& au);
    // Writes everything still buffered and rewrites header and record. Raises FileError; also
    // fails (FileError EINVAL) when the record's size changed after AU records were appended.
    void Finish();
    // Closes and deletes the file.
    void Discard();
    void Close();
    // The record, taken out after Finish.
    std::unique_ptr<CSifData> TakeData() { return std::move(data_); }

private:
    void Flush();
    std::vector<uint8_t> HeadBytes() const;

    CFile file_;
    std::string path_;
    SIF_HEADER header_;
    std::unique_ptr<CSifData> data_;
    size_t headSize_ = 0;  // header and record as written by Begin
    LeWriter pending_;     // AU records not yet written
};

// A stream information file read back: header, record and AU table.
struct CStreamInfo {
    std::string SifPath;
    SIF_HEADER Header;
    std::unique_ptr<CSifData> Data;
    std::vector<SIF_AU> AuTable;  // PG and IG

    uint8_t CodingType() const { return Header.StreamCodingType; }
    uint32_t AuCount() const { return Header.NumberOfAus; }
    // AU n of the stream: from the AU table for PG and IG, computed for constant-rate audio
    // (LPCM 5 ms units, AC-3 and E-AC-3 frames, E-AC-3 with core as alternating AC-3 and
    // E-AC-3 frames with flags 0 and 1). False for n beyond the count or a type without index.
    bool GetAu(uint32_t n, SIF_AU& au) const;
};

// Creates the record type a coding type is stored with; null for a type the caller cannot read.
using SifDataFactory = std::function<std::unique_ptr<CSifData>(uint8_t codingType)>;

// What the stream information file is checked against: the stream file's status.
struct StreamFileStatus {
    int64_t ModificationTime = 0;  // nanoseconds since the epoch
    uint64_t Length = 0;
};
// The status of a stream file, or false when it cannot be read.
bool ReadStreamFileStatus(const std::string& path, StreamFileStatus& status);

enum class SifReadStatus { ok, cannotOpen, invalid, stale };
// Reads a stream information file for a stream. ok only when the file opens, its header is
// usable (magic, AUs, data), the stored modification time is the stream's, the record of the
// coding type reads completely within the file, the AU table of PG and IG holds NumberOfAus
// records, and every AU lies inside the stream file; stale when only the time differs. Every
// count and offset read from the file is checked against the file's size before it is used.
SifReadStatus ReadSifFile(const std::string& sifPath, const StreamFileStatus& stream,
                          const SifDataFactory& factory, CStreamInfo& info);

}  // namespace vx
