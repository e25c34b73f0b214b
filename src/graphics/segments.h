#pragma once
// The segment layer of interactive-graphics (IG) and presentation-graphics (PG) streams.
//
// A stream is a sequence of segments, each a 3-byte header (type 8, body length 16) and a body:
//   0x14 PDS palette definition      PaletteId, PaletteVersion, entries of 5 bytes (id Y Cr Cb T)
//   0x15 ODS object definition       ObjectId 16, ObjectVersion 8, sequence descriptor, fragment
//   0x16 PCS presentation composition  video and composition descriptors, palette update,
//                                    palette id, composition objects
//   0x17 WDS window definition       NumberOfWindows, windows of 9 bytes
//   0x18 ICS interactive composition video and composition descriptors, sequence descriptor,
//                                    fragment of the interactive composition
//   0x80 END                         empty; closes a display set
// Segments form display sets (ending with END); a display set in the Epoch Start state begins
// a new epoch. In a graphics stream file every segment is preceded by a 10-byte unit header:
// "IG" or "PG", PTS (32) and DTS (32, 0 when the segment has none), big-endian.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/bytes.h"

namespace vx {

enum SegmentTypes : uint8_t {
    kSegmentPds = 0x14,
    kSegmentOds = 0x15,
    kSegmentPcs = 0x16,
    kSegmentWds = 0x17,
    kSegmentIcs = 0x18,
    kSegmentEnd = 0x80,
};

enum CompositionStates : uint8_t {
    kNormalCase = 0,
    kAcquisitionPoint = 1,
    kEpochStart = 2,
    kEpochContinue = 3,
};

// "Normal Case", "Acquisition Point", "Epoch Start", "Epoch Continue".
const char* CompositionStateName(uint8_t state);
// "23.976", "24", "25", "29.97", "50", "59.94"; "Reserved" for 0, 5 and codes past 7.
const char* FrameRateName(uint8_t code);

// Largest body of one segment, and the room an ODS or ICS leaves for its data fragment.
inline constexpr size_t kMaxSegmentBody = 0xFFFF;
inline constexpr size_t kOdsFragmentSize = 65515;
inline constexpr size_t kIcsFragmentSize = 65510;
inline constexpr size_t kUnitHeaderBytes = 10;

// Width 16, height 16, frame-rate code 4, 4 reserved bits (written as 0).
struct SVideoDescriptor {
    static constexpr size_t kSize = 5;
    uint16_t Width = 0;
    uint16_t Height = 0;
    uint8_t FrameRate = 0;

    void Write(ByteWriter& out) const;
    void Read(ByteReader& in);
    bool operator==(const SVideoDescriptor&) const = default;
};

// CompositionNumber 16, CompositionState 2, 6 reserved bits.
struct SCompositionDescriptor {
    static constexpr size_t kSize = 3;
    uint16_t CompositionNumber = 0;
    uint8_t CompositionState = kEpochStart;

    void Write(ByteWriter& out) const;
    void Read(ByteReader& in);
    bool operator==(const SCompositionDescriptor&) const = default;
};

// FirstFlag marks the first fragment of a datum, LastFlag the last; one fragment has both.
struct SSequenceDescriptor {
    bool FirstFlag = true;
    bool LastFlag = true;

    void Write(ByteWriter& out) const;
    void Read(ByteReader& in);
    bool operator==(const SSequenceDescriptor&) const = default;
};

// 8 bytes, or 16 when the object is cropped.
struct SCompositionObject {
    uint16_t ObjectIdRef = 0;
    uint8_t WindowIdRef = 0;
    uint8_t ObjectCroppedFlag = 0;
    uint8_t ForcedOnFlag = 0;
    uint16_t CompositionObjectHorPos = 0;
    uint16_t CompositionObjectVerPos = 0;
    uint16_t ObjectCroppingHorPos = 0;
    uint16_t ObjectCroppingVerPos = 0;
    uint16_t ObjectCroppingWidth = 0;
    uint16_t ObjectCroppingHeight = 0;

    size_t Size() const { return ObjectCroppedFlag ? 16 : 8; }
    void Write(ByteWriter& out) const;
    void Read(ByteReader& in);
    bool operator==(const SCompositionObject&) const = default;
};

// 9 bytes.
struct SWindow {
    static constexpr size_t kSize = 9;
    uint8_t WindowID = 0;
    uint16_t HorPos = 0;
    uint16_t VerPos = 0;
    uint16_t Width = 0;
    uint16_t Height = 0;

    void Write(ByteWriter& out) const;
    void Read(ByteReader& in);
    bool operator==(const SWindow&) const = default;
};

// Entry id, Y, Cr, Cb and T (0 transparent, 255 opaque); a new entry is all 0xFF until filled.
struct SPaletteEntry {
    uint8_t Id = 0xFF;
    uint8_t Y = 0xFF;
    uint8_t Cr = 0xFF;
    uint8_t Cb = 0xFF;
    uint8_t T = 0xFF;
    bool operator==(const SPaletteEntry&) const = default;
};

class CSegmentBase {
public:
    explicit CSegmentBase(uint8_t type) : SegmentType(type) {}
    virtual ~CSegmentBase() = default;
    // Drops the body's records and data.
    virtual void Reset() {}
    // Reads the body (the header is already read and stored); returns the bytes consumed, or
    // -1 when the body is too short for its fields.
    int32_t ParseBody(const uint8_t* body, size_t size);
    // Appends header and body and returns the total bytes; stores SegmentLength. Returns 0 and
    // appends nothing when the body cannot be written (see the derived classes).
    int32_t Write(ByteWriter& out);

    uint8_t SegmentType;
    uint16_t SegmentLength = 0;
    uint32_t Dts = 0;  // 0: the segment carries no DTS
    uint32_t Pts = 0;
    int64_t FileOffset = -1;  // where the segment header's first byte was last written

protected:
    // Reads the body fields; throws ParseError when they run past the body.
    virtual void ReadBody(ByteReader&) {}
    // Appends the body; false refuses the segment.
    virtual bool WriteBody(ByteWriter&) const { return true; }
};

class CPds : public CSegmentBase {
public:
    static constexpr size_t kMaxEntries = 256;
    CPds() : CSegmentBase(kSegmentPds) {}
    void Reset() override { Entries.clear(); }

    uint8_t PaletteId = 0;
    uint8_t PaletteVersion = 0;
    std::vector<SPaletteEntry> Entries;  // at most 256 are written

protected:
    void ReadBody(ByteReader& in) override;
    bool WriteBody(ByteWriter& out) const override;
};

class COds : public CSegmentBase {
public:
    COds() : CSegmentBase(kSegmentOds) {}
    void Reset() override { Fragment.clear(); }

    // The object header at the start of a first fragment: ObjectDataLength (24), width, height.
    bool HasObjectHeader() const { return Sequence.FirstFlag && Fragment.size() >= 7; }
    uint32_t ObjectDataLength() const;
    uint16_t ObjectWidth() const;
    uint16_t ObjectHeight() const;

    uint16_t ObjectId = 0;
    uint8_t ObjectVersion = 0;
    SSequenceDescriptor Sequence;
    std::vector<uint8_t> Fragment;  // at most 65 515 bytes fit one segment

protected:
    void ReadBody(ByteReader& in) override;
    bool WriteBody(ByteWriter& out) const override;
};

class CPcs : public CSegmentBase {
public:
    CPcs() : CSegmentBase(kSegmentPcs) {}
    void Reset() override { Objects.clear(); }

    SVideoDescriptor VideoDescriptor;
    SCompositionDescriptor CompositionDescriptor;
    uint8_t PaletteUpdateFlag = 0;
    uint8_t PaletteIdRef = 0;
    std::vector<SCompositionObject> Objects;  // at most 255

protected:
    void ReadBody(ByteReader& in) override;
    bool WriteBody(ByteWriter& out) const override;
};

class CWds : public CSegmentBase {
public:
    static constexpr size_t kMaxWindows = 2;
    CWds() : CSegmentBase(kSegmentWds) {}
    void Reset() override { Windows.clear(); }

    std::vector<SWindow> Windows;  // more than two are refused by Write

protected:
    void ReadBody(ByteReader& in) override;
    bool WriteBody(ByteWriter& out) const override;
};

class CIcs : public CSegmentBase {
public:
    CIcs() : CSegmentBase(kSegmentIcs) {}
    void Reset() override { Fragment.clear(); }

    SVideoDescriptor VideoDescriptor;
    SCompositionDescriptor CompositionDescriptor;
    SSequenceDescriptor Sequence;
    std::vector<uint8_t> Fragment;  // at most 65 510 bytes fit one segment

protected:
    void ReadBody(ByteReader& in) override;
    bool WriteBody(ByteWriter& out) const override;
};

class CEs : public CSegmentBase {
public:
    CEs() : CSegmentBase(kSegmentEnd) {}
};

using CIcsArray = std::vector<std::unique_ptr<CIcs>>;
using CPdsFolder = std::vector<std::unique_ptr<CPds>>;
using COdsArray = std::vector<std::unique_ptr<COds>>;

// One display set as segments.
struct CDsData {
    uint8_t CompositionState = kEpochStart;
    std::unique_ptr<CPcs> Pcs;
    CIcsArray Ics;
    std::unique_ptr<CWds> Wds;
    CPdsFolder Pds;
    COdsArray Ods;
    std::unique_ptr<CEs> End;
};

using CEpochData = std::vector<CDsData>;

struct CGsData {
    SVideoDescriptor VideoDescriptor;
    std::vector<CEpochData> Epochs;
};

// A new PDS at the end of the list whose PaletteId is the number of PDS before it.
CPds& AddPalette(CDsData& ds);

// Cuts an interactive composition into ICS of at most 65 510 bytes of data (the last carrying
// the rest) and makes them the display set's ICS list. The ICS carry the video descriptor,
// composition number 0 and the display set's state. An empty composition gives no ICS.
void FragmentComposition(CDsData& ds, const std::vector<uint8_t>& composition,
                         const SVideoDescriptor& video);

// Cuts one object's data (ObjectDataLength, width, height, coded lines) into ODS of at most
// 65 515 bytes and appends them to the display set's ODS list.
void AppendObjectData(CDsData& ds, uint16_t objectId, const std::vector<uint8_t>& objectData);

// Ticks of the 90 kHz clock that n pixels take at rate bits per second (8 bits per pixel),
// rounded up: ceil(n * 720 000 / rate).
uint64_t PixelDuration(uint64_t pixels, uint64_t rate);

// Gives every segment its time stamps from the display set's decode start and presentation
// time: compositions at (D, P); WDS DTS D, PTS P less its windows' writing time (not before
// D); every PDS PTS D; objects decoded back to back from D; END at the end of the decoding.
void SetTimeStamps(CDsData& ds, uint32_t decodeStart, uint32_t presentation);

// Appends the display set as graphics-stream units in emission order (PCS, ICS, WDS, PDS, ODS,
// END; an END is added when there is none), recording each segment's file offset (where its
// segment header starts, behind the unit header) as base + its position in out. The magic is "PG"
// when the display set has a PCS, else "IG". Nothing is appended and false is returned when a
// segment cannot be written (a WDS of more than two windows, a body past 65 535 bytes); reason then
// says why.
bool EmitDisplaySet(CDsData& ds, ByteWriter& out, int64_t base, std::string* reason = nullptr);

// One segment of a stream, read from its header on. Returns null (with a reason) when the
// type is unknown or the body runs past the data or is too short for its fields.
std::unique_ptr<CSegmentBase> ReadSegment(ByteReader& in, std::string* reason = nullptr);

// Reads a graphics stream file's units back into display sets and epochs: each display set
// ends with its END, one with a composition in the Epoch Start state (or the first) begins an
// epoch, a display set holds at most one PCS, WDS and END. The stream's video descriptor is
// the first composition's. Returns false with a reason on any violation.
bool ReadGraphicsStream(const uint8_t* data, size_t size, CGsData& out,
                        std::string* reason = nullptr);

// The display set's interactive composition: its ICS fragments joined in order. Fails when
// the fragments' first and last flags do not frame exactly one composition.
bool JoinComposition(const CDsData& ds, std::vector<uint8_t>& composition);
// One object's data joined from its ODS fragments starting at index first of the ODS list;
// next receives the index after its last fragment.
bool JoinObjectData(const CDsData& ds, size_t first, std::vector<uint8_t>& objectData,
                    size_t& next);

}  // namespace vx
