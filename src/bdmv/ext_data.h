#pragma once
// Extension data: the tagged directory of binary entries that may close every navigation
// database file (index, movie objects, playlists, clip information, sound data). Players skip
// entries they do not know; we keep every entry byte for byte and understand two kinds, the
// picture-in-picture metadata of a playlist and our own tool identification entry.
//
// Block layout (offsets from the first byte of the block, big-endian):
//     0   4   length: the bytes that follow this field
//     4   4   data block start address (12 + 12 x entry count)
//     8   3   zero
//     11  1   entry count
//     12  12  per entry: ID1 (2), ID2 (2), data start address (4, from offset 0), data length (4)
//             the entries' data in directory order, each padded with zeros to a multiple of 4
// A block without entries is a zero length alone (4 bytes).

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bdmv/json.h"
#include "foundation/bytes.h"
#include "foundation/named_object.h"

namespace vx {

// A text taken from a file (type indicator, name, tool text) as JSON shows it: the text itself
// when it is printable ASCII, else its bytes as lowercase hex (JSON strings must be UTF-8).
std::string JsonFileText(const std::string& text);

// Entry kinds this system understands; both carry ExtDataEntry_ID2 = 1.
inline constexpr uint16_t kExtIdPipMetadata = 0x0001;
inline constexpr uint16_t kExtIdToolData = 0x1000;

// One directory entry and its data, kept as the bytes of the file.
class SExtDataEntry : public CNamedObject {
    VX_DYNAMIC(SExtDataEntry, CNamedObject)

public:
    uint16_t ExtDataEntry_ID1 = 0;
    uint16_t ExtDataEntry_ID2 = 0;
    uint32_t ExtDataStartAddress = 0;  // from the start of the block, as last read or written
    uint32_t ExtDataLength = 0;        // as last read or written; data.size() is what is written
    std::vector<uint8_t> data;

    void Copy(const CNamedObject& source) override;
    Json ToJson() const;
};

// The entries of one block, in file order.
class CEdeFolder : public CNamedPtrArray<SExtDataEntry> {
    VX_DYNAMIC(CEdeFolder, CNamedPtrArray<SExtDataEntry>)
};

// An entry's data understood as an object.
class SExtDataBase {
public:
    virtual ~SExtDataBase() = default;
    // Reads the object from an entry's data; returns the bytes consumed, 0 on failure.
    virtual int32_t Parse(const uint8_t* data, size_t size) = 0;
    // With out, replaces *out with the entry data, updates the stored lengths and addresses and
    // returns the size; with a null out only returns the size.
    virtual uint32_t Build(std::vector<uint8_t>* out) = 0;
    virtual std::unique_ptr<SExtDataBase> Clone() const = 0;
    virtual Json ToJson() const = 0;
};

// Picture-in-picture metadata of a playlist (ID1 = 1): where and how large each secondary
// video stream is shown over time.
struct MetadataBlockHeader {
    uint16_t RefPlayItemId = 0;
    uint8_t RefSvStreamId = 0;  // the secondary video stream the block positions
    uint8_t TimelineType = 0;   // 4 bits
    uint8_t IsLumaKey = 0;
    uint8_t TrickPlayingFlag = 0;
    uint8_t UpperLimitLumaKey = 0;           // meaningful when IsLumaKey is 1
    uint32_t MetadataBlockStartAddress = 0;  // from the start of the entry
};

struct PipMetadataEntry {
    uint32_t PipTimeStamp = 0;  // 45 kHz
    uint16_t PipHorPos = 0;     // 12 bits, pixels
    uint16_t PipVerPos = 0;     // 12 bits, pixels
    uint8_t PipScale = 1;       // 4 bits; 1 means unscaled
};

struct MetadataBlockData {
    uint16_t NumberOfPipMetadataEntries = 0;  // as last read or written
    std::vector<PipMetadataEntry> entries;
};

class SPipMetaData : public SExtDataBase {
public:
    uint32_t length = 0;                        // as last read or written
    uint16_t NumberOfMetadataBlockEntries = 0;  // as last read or written
    std::vector<MetadataBlockHeader> headers;
    std::vector<MetadataBlockData> blocks;  // one per header, in header order

    int32_t Parse(const uint8_t* data, size_t size) override;
    uint32_t Build(std::vector<uint8_t>* out) override;
    std::unique_ptr<SExtDataBase> Clone() const override;
    Json ToJson() const override;
};

// The tool identification entry (ID1 = 0x1000) that names the authoring tool in the files it
// writes: two length-prefixed texts, each scrambled by exclusive-or with the key "QWKT".
class SCrvnToolData : public SExtDataBase {
public:
    std::string Company = "Corvane";
    std::string Descriptor;        // "<application>, Version <file version>" when we write it
    uint8_t CompanyLength = 0;     // as last read or written
    uint8_t DescriptorLength = 0;  // as last read or written

    int32_t Parse(const uint8_t* data, size_t size) override;
    // Each text is written with its length taken to 8 bits, and only that many bytes.
    uint32_t Build(std::vector<uint8_t>* out) override;
    std::unique_ptr<SExtDataBase> Clone() const override;
    Json ToJson() const override;

    // Byte i of text is combined with key character i mod 4; applying it twice gives the text.
    static std::string Scramble(const std::string& text);
};

// The extension data block of one file.
class CExtData {
public:
    uint32_t length = 0;                 // as last read or written
    uint32_t DataBlockStartAddress = 0;  // as last read or written
    uint8_t NumberOfExtDataEntries = 0;  // as last read or written
    CEdeFolder entries;

    // The most entries a block can hold (the count is one byte).
    static constexpr int kMaxEntries = 255;

    // Parses a block that starts at data (size bytes available to the end of the file).
    // Returns length + 4, or 0 when the block or any entry leaves the span.
    int32_t Parse(const uint8_t* data, size_t size);
    // With out, replaces *out with the block and updates lengths, addresses and the count; with
    // a null out returns the size only.
    uint32_t Build(std::vector<uint8_t>* out);
    // Appends the block at the writer's position (addresses stay relative to the block) and
    // updates lengths, addresses and the count.
    void BuildInto(ByteWriter& writer);
    // Bytes the block occupies when built.
    uint32_t Size() const;

    static void Copy(const CExtData& source, CExtData& destination);
    std::unique_ptr<CExtData> Clone() const;

    // The first entry with this ID1 and ID2 = 1, or null.
    SExtDataEntry* FindEntry(uint16_t id1) const;
    // Stores the object's built bytes as the data of the entry (id1, 1), appending the entry
    // when there is none. Returns the entry, or null when a new entry would not fit (255).
    SExtDataEntry* SetEntry(SExtDataBase& object, uint16_t id1);
    // Deletes the first picture-in-picture entry (1, 1); returns whether there was one.
    bool RemovePipMetadata();
    // A new SPipMetaData for (1, 1) or SCrvnToolData for (0x1000, 1), parsed from the entry's
    // data; null for other kinds or when the data does not parse.
    static std::unique_ptr<SExtDataBase> CreateObject(const SExtDataEntry& entry);

    Json ToJson() const;
};

// Parses the extension data block that a file's header points at. The block must start at or
// behind headerEnd, lie inside the file and not overlap the file's body [bodyStart, bodyEnd).
// Returns the offset just past the block, or 0 when it is out of place or does not parse.
size_t ParseTrailingExtData(const uint8_t* data, size_t size, size_t start, size_t headerEnd,
                            size_t bodyStart, size_t bodyEnd, std::unique_ptr<CExtData>& out);

}  // namespace vx
