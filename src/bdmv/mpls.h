#pragma once
// Movie playlist files (PLAYLIST/%05d.mpls): the play items that string clip segments together,
// the stream number table of each play item (the elementary streams a player may select), the
// sub paths that play further clips beside the main path (an interactive-graphics menu, a
// picture-in-picture video ...), the chapter marks and the file's extension data.
//
// File layout (offsets from the start of the file, all numbers big-endian):
//     0   4   type indicator ("MPLS")
//     4   4   version number ("0200")
//     8   4   playlist start address (58 when we write it)
//     12  4   playlist mark start address
//     16  4   extension data start address, 0 when there is none
//     20  20  zero
//     40  18  AppInfoPlaylist
//     58      playlist block (play items, sub paths), then the mark block, then extension data
//
// Parsing checks every length, count and address against the file: a truncated or inconsistent
// file is refused (Parse returns 0). Each play item, sub path, stream entry and attribute block
// is stepped over by its own length, whatever was understood of it.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "bdmv/ext_data.h"
#include "bdmv/json.h"
#include "foundation/bytes.h"
#include "foundation/named_object.h"

namespace vx {

class CFile;

// Fixed-width texts of the file: a clip name is the five-digit clip number, a codec identifier
// is "M2TS".
using ClipNameText = std::array<char, 5>;
using CodecIdText = std::array<char, 4>;
inline constexpr ClipNameText kDefaultClipName{'0', '0', '0', '0', '0'};
inline constexpr CodecIdText kDefaultCodecId{'M', '2', 'T', 'S'};

// The five-digit name of clip number (0 to 99999, taken modulo 100000).
ClipNameText ClipNameFromNumber(int number);
// The decimal value of the name's leading digits (0 when it does not start with a digit).
int ClipNumberFromName(const ClipNameText& name);
template <size_t N>
std::string FixedTextString(const std::array<char, N>& text) {
    return std::string(text.data(), N);
}
// The first N characters of text, padded with zero bytes.
template <size_t N>
std::array<char, N> ToFixedText(std::string_view text) {
    std::array<char, N> out{};
    for (size_t i = 0; i < N && i < text.size(); ++i) out[i] = text[i];
    return out;
}

// ---------------------------------------------------------------------------------------------
// User-operation mask: 64 bits, bit n is bit 7 - n mod 8 of byte n div 8; a set bit forbids the
// operation. Bits 0 to 33 are named, 34 to 63 are reserved.

using UoMaskTable = std::array<uint8_t, 8>;
inline constexpr int kUoMaskBits = 64;
inline constexpr int kUoMaskNamedBits = 34;
inline constexpr int kUoPopupOn = 24;
inline constexpr int kUoPopupOff = 25;

// The operation of a mask bit ("MenuCall", "PopupOn" ...); "Reserved" for bits 22, 32 and 34 to
// 63, and for any number outside the mask.
const char* UoMaskBitName(int bit);
bool UoMaskBit(const UoMaskTable& mask, int bit);
void SetUoMaskBit(UoMaskTable& mask, int bit, bool forbidden);
// The names of the set bits, reserved ones as "Reserved<n>".
Json UoMaskToJson(const UoMaskTable& mask);

// ---------------------------------------------------------------------------------------------
// Stream number table entries.

// One elementary stream as a clip's program lists it: what AddStream turns into a stream
// number table entry and ExportStreams gives back.
struct SStreamDesc {
    uint16_t pid = 0;
    uint8_t codingType = 0;
    // Bytes 2-5 of the attributes block (counting its length byte as 0): their meaning depends
    // on the coding type, see STREAM_ATTRIBUTES.
    std::array<uint8_t, 4> attributes{};
    // A further attribute the clip's program may carry; the stream number table has no room for
    // it, so AddStream ignores it and ExportStreams gives 0.
    uint8_t extraAttribute = 0;
};

// Where a stream comes from. Written as a length byte (9) and the type byte followed by 8 bytes:
//   type 1 (main clip):         RefToStreamPID_OfMainClip (2), 6 preserved bytes
//   type 2 (sub path, clip id): RefToSubPathID, RefToSubClipEntryID, RefToStreamPID_OfSubClip (2),
//                               4 preserved bytes
//   type 3 (sub path):          RefToSubPathID, RefToStreamPID_OfSubClip (2), 5 preserved bytes
// Any other type is written as length 1 and the type byte alone.
struct STREAM_ENTRY {
    uint8_t length = 9;  // as last read or written
    uint8_t StreamType = 1;
    uint16_t RefToStreamPID_OfMainClip = 0;
    uint8_t RefToSubPathID = 0;
    uint8_t RefToSubClipEntryID = 0;
    uint16_t RefToStreamPID_OfSubClip = 0;
    std::array<uint8_t, 6> preserved{};  // the trailing bytes of the type, kept from the file

    bool RefersToSubPath() const { return StreamType == 2 || StreamType == 3; }
    // The sub clip PID for types 2 and 3, the main clip PID otherwise.
    uint16_t Pid() const {
        return RefersToSubPath() ? RefToStreamPID_OfSubClip : RefToStreamPID_OfMainClip;
    }
    Json ToJson() const;
};

// What the stream is. Written as a length byte (5), the coding type and four bytes whose meaning
// depends on the coding type (byte numbers count the length byte as 0):
//   video 0x02, 0x1B, 0xEA:           byte 2 video format (bits 7-4), frame rate (bits 3-0);
//                                     bytes 3-5 preserved
//   audio 0x80-0x86, 0xA1, 0xA2:      byte 2 presentation type (bits 7-4), sampling frequency
//                                     (bits 3-0); bytes 3-5 language code
//   graphics 0x90 (PG), 0x91 (IG):    bytes 2-4 language code; byte 5 preserved
//   text subtitle 0x92:               byte 2 character code; bytes 3-5 language code
// Any other coding type is written as length 1 and the coding type alone.
struct STREAM_ATTRIBUTES {
    enum Kind { kindOther, kindVideo, kindAudio, kindGraphics, kindText };

    uint8_t length = 5;  // as last read or written
    uint8_t StreamCodingType = 0;
    std::array<uint8_t, 4> bytes{};  // bytes 2-5

    static Kind KindOf(uint8_t codingType);
    Kind GetKind() const { return KindOf(StreamCodingType); }
    uint8_t VideoFormat() const { return bytes[0] >> 4; }
    uint8_t FrameRate() const { return bytes[0] & 0x0F; }
    uint8_t PresentationType() const { return bytes[0] >> 4; }
    uint8_t SamplingFrequency() const { return bytes[0] & 0x0F; }
    uint8_t CharacterCode() const { return bytes[0]; }
    // The three-letter language code of audio, graphics and text streams; empty for others.
    std::string LanguageCode() const;
    // Stores the first three characters of code where the coding type keeps its language.
    void SetLanguageCode(std::string_view code);
    Json ToJson() const;
};

// The selectable-stream reference lists of secondary streams: NumberOfRefEntries, a reserved
// byte (preserved), the ids, and one zero byte of alignment when the count is odd.
struct STREAM_COMB_INFO {
    uint8_t NumberOfRefEntries = 0;  // as last read or written
    uint8_t reserved = 0;
    std::vector<uint8_t> RefID;
};

// A primary video, primary audio, PG/text subtitle, PiP PG/text subtitle or IG entry.
class PRIMARY_STREAM_ENTRY : public CNamedObject {
    VX_DYNAMIC(PRIMARY_STREAM_ENTRY, CNamedObject)

public:
    // Not stored in the file: the authoring code sets it and SortStreams orders a list by it.
    int32_t orderingKey = 0;
    STREAM_ENTRY StreamEntry;
    STREAM_ATTRIBUTES StreamAttributes;

    void Copy(const CNamedObject& source) override;
    // The entry as it stands in a stream number table; returns the bytes consumed, 0 when it
    // does not fit in size.
    int32_t Parse(const uint8_t* data, size_t size, int32_t context) override;
    // Returns the bytes written; with a null out nothing is written and the size is returned.
    // out must have room for that size.
    int32_t Build(uint8_t* out, int32_t context) override;

    // Reads the entry at the reader's position; throws ParseError when it leaves the reader.
    virtual void ReadFrom(ByteReader& reader);
    // Appends the entry; with store set, the lengths written are kept as the stored lengths.
    virtual void WriteTo(ByteWriter& writer, bool store);
    virtual Json ToJson() const;
};

class SECONDARD_AUDIO_STREAM_ENTRY : public PRIMARY_STREAM_ENTRY {
    VX_DYNAMIC(SECONDARD_AUDIO_STREAM_ENTRY, PRIMARY_STREAM_ENTRY)

public:
    STREAM_COMB_INFO SecondardAudioStreamCombInfo;  // primary audio streams it may mix with

    void Copy(const CNamedObject& source) override;
    void ReadFrom(ByteReader& reader) override;
    void WriteTo(ByteWriter& writer, bool store) override;
    Json ToJson() const override;
};

class SECONDARD_VIDEO_STREAM_ENTRY : public PRIMARY_STREAM_ENTRY {
    VX_DYNAMIC(SECONDARD_VIDEO_STREAM_ENTRY, PRIMARY_STREAM_ENTRY)

public:
    STREAM_COMB_INFO SecondardVideoSecondardAudioStreamCombInfo;
    STREAM_COMB_INFO SecondardVideoPiP_PG_TextST_StreamCombInfo;

    void Copy(const CNamedObject& source) override;
    void ReadFrom(ByteReader& reader) override;
    void WriteTo(ByteWriter& writer, bool store) override;
    Json ToJson() const override;
};

// A list of stream entries of one kind.
template <class T>
class CStreamEntryFolder : public CNamedPtrArray<T> {
public:
    // The index of the entry that designates the same stream, or -1: equal entry types and, for
    // types 2 and 3, equal sub path id and sub clip PID, for other types equal main clip PID.
    int FindStream(const STREAM_ENTRY& entry) const {
        for (int i = 0; i < this->GetCount(); ++i) {
            const STREAM_ENTRY& e = this->GetAt(i)->StreamEntry;
            if (e.StreamType != entry.StreamType)
                continue;
            if (e.RefersToSubPath()
                    ? e.RefToSubPathID == entry.RefToSubPathID &&
                          e.RefToStreamPID_OfSubClip == entry.RefToStreamPID_OfSubClip
                    : e.RefToStreamPID_OfMainClip == entry.RefToStreamPID_OfMainClip)
                return i;
        }
        return -1;
    }
    // The index of the first entry whose PID (STREAM_ENTRY::Pid) is pid, or -1.
    int FindStreamById(uint16_t pid) const {
        for (int i = 0; i < this->GetCount(); ++i)
            if (this->GetAt(i)->StreamEntry.Pid() == pid)
                return i;
        return -1;
    }
    // Deletes the entry at index; returns whether there was one.
    bool RemoveAt(int index) { return this->Detach(index) != nullptr; }
    // Orders the entries by ascending ordering key (equal keys keep their order).
    void SortStreams() {
        std::vector<std::unique_ptr<T>> entries;
        while (this->GetCount() > 0) entries.push_back(this->Detach(0));
        std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
            return a->orderingKey < b->orderingKey;
        });
        for (auto& entry : entries) this->Add(std::move(entry));
    }
    // Appends a fresh entry and returns it.
    T* AddNew() { return this->Add(std::make_unique<T>()); }
};

class CPseFolder : public CStreamEntryFolder<PRIMARY_STREAM_ENTRY> {
    VX_DYNAMIC(CPseFolder, CNamedPtrArray<PRIMARY_STREAM_ENTRY>)
};
class CSaseFolder : public CStreamEntryFolder<SECONDARD_AUDIO_STREAM_ENTRY> {
    VX_DYNAMIC(CSaseFolder, CNamedPtrArray<SECONDARD_AUDIO_STREAM_ENTRY>)
};
class CSvseFolder : public CStreamEntryFolder<SECONDARD_VIDEO_STREAM_ENTRY> {
    VX_DYNAMIC(CSvseFolder, CNamedPtrArray<SECONDARD_VIDEO_STREAM_ENTRY>)
};

// Replaces the sub path id of a type-2 or type-3 entry by the new id whose old id equals it, or
// by 0 when no old id does (a reference to a removed sub path). Other types are left alone.
void RemapSubPathIds(STREAM_ENTRY& entry, const std::vector<int>& oldIds,
                     const std::vector<int>& newIds);

// The stream number table of a play item. Layout: length (2, the bytes that follow), 2 reserved
// bytes, seven entry counts (primary video, primary audio, PG/text subtitle, IG, secondary audio,
// secondary video, PiP PG/text subtitle), 5 reserved bytes, then the entries list by list in the
// order primary video, primary audio, PG, PiP PG, IG, secondary audio, secondary video.
struct StnTable {
    uint16_t length = 0;                 // as last read or written
    uint16_t reserved = 0;               // preserved
    std::array<uint8_t, 7> counts{};     // as last read or written, in the file's count order
    std::array<uint8_t, 5> reserved2{};  // preserved
    CPseFolder PrimaryVideo;
    CPseFolder PrimaryAudio;
    CPseFolder PG;
    CPseFolder IG;
    CSaseFolder SecondaryAudio;
    CSvseFolder SecondaryVideo;
    CPseFolder PiPPG;

    StnTable() = default;
    StnTable(const StnTable&) = delete;
    StnTable& operator=(const StnTable&) = delete;

    static void Copy(const StnTable& source, StnTable& destination);
    void Clear();

    // The list a PID belongs to: 0x1011 primary video, 0x1100-0x111F primary audio,
    // 0x1200-0x12FF and 0x1800 PG/text subtitle, 0x1400-0x141F IG, 0x1A00-0x1A1F secondary
    // audio, 0x1B00-0x1B1F secondary video. The others belong to no list.
    enum List {
        listNone,
        listPrimaryVideo,
        listPrimaryAudio,
        listPG,
        listIG,
        listSecondaryAudio,
        listSecondaryVideo
    };
    static List ListOfPid(uint16_t pid);

    // Appends a type-1 entry for the stream to the list of its PID; returns it, or null (and
    // changes nothing) for a PID of no list.
    PRIMARY_STREAM_ENTRY* AddStream(const SStreamDesc& stream);
    // The first entry designating the same stream (CStreamEntryFolder::FindStream), searching
    // primary video, primary audio, PG, PiP PG, IG, secondary audio, secondary video; or null.
    PRIMARY_STREAM_ENTRY* FindInAnyList(const STREAM_ENTRY& entry) const;
    // Deletes the entry designating the same stream from the list of the entry's PID (PG/text
    // PIDs: the PG list first, then the PiP PG list). Returns whether one was deleted.
    bool RemoveStream(const STREAM_ENTRY& entry);
    void SortStreams();
    // Appends a description of every entry of the seven lists except type-2 entries.
    void ExportStreams(std::vector<SStreamDesc>& out) const;
    // RemapSubPathIds for every entry of the seven lists.
    void RemapSubPathIds(const std::vector<int>& oldIds, const std::vector<int>& newIds);
    int TotalEntries() const;

    void ReadFrom(ByteReader& reader);
    void WriteTo(ByteWriter& writer, bool store);
    Json ToJson() const;
};

// ---------------------------------------------------------------------------------------------
// Play items, sub paths, marks.

// A further angle of a play item, or a further clip of a sub play item: 10 bytes.
struct ANGLE_CLIP_ENTRY {
    ClipNameText ClipInformationFileName = kDefaultClipName;
    CodecIdText ClipCodecIdentifier = kDefaultCodecId;
    uint8_t RefToSTC_ID = 0;
};

class CAceFolder : public CTypeArray<ANGLE_CLIP_ENTRY> {
    VX_DYNAMIC(CAceFolder, CTypeArray<ANGLE_CLIP_ENTRY>)
};

// The angle block of a multi-angle play item (the entries are the second and later angles),
// and the same shape as the clip-entry block of a sub play item (both flags zero there).
struct ANGLE_BLOCK {
    uint8_t NumberOfAngles = 1;  // as last written: entries + 1
    uint8_t IsDifferentAudios = 0;
    uint8_t IsSeamlessAngleChange = 0;
    CAceFolder Angles;

    static void Copy(const ANGLE_BLOCK& source, ANGLE_BLOCK& destination);
};

// One segment of a clip on the main path. Layout: length (2), clip name (5), codec identifier
// (4), a zero byte, a byte with the multi-angle flag in bit 4 and the connection condition in
// bits 3-0, RefToSTC_ID, in and out time (4 each), UO mask (8), a byte with the random access
// flag in bit 7, still mode, still time (2, zero unless the still mode is 1), the angle block
// when multi-angle, then the stream number table.
class PLAY_ITEM : public CNamedObject {
    VX_DYNAMIC(PLAY_ITEM, CNamedObject)

public:
    uint16_t length = 0;  // as last read or written
    ClipNameText ClipInformationFileName = kDefaultClipName;
    CodecIdText ClipCodecIdentifier = kDefaultCodecId;
    uint8_t ConnectionCondition = 1;  // 1 non-seamless, 5 seamless with clean break, 6 seamless
    uint8_t RefToSTC_ID = 0;
    uint32_t InTime = 0;   // 45 kHz
    uint32_t OutTime = 0;  // 45 kHz
    UoMaskTable UoMask{};
    uint8_t PlayItemRandomAccessFlag = 0;
    uint8_t StillMode = 0;                // 0 none, 1 finite, 2 infinite
    uint16_t StillTime = 0;               // seconds, used when the still mode is 1
    std::unique_ptr<ANGLE_BLOCK> angles;  // null unless the item is multi-angle
    StnTable Stn;

    bool IsMultiAngle() const { return angles != nullptr; }
    void Copy(const CNamedObject& source) override;
    void ReadFrom(ByteReader& reader);
    void WriteTo(ByteWriter& writer, bool store);
    Json ToJson() const;
};

// One clip segment of a sub path. Layout: length (2), clip name (5), codec identifier (4), 3 zero
// bytes, a byte with the connection condition in bits 4-1 and the multi-clip flag in bit 0,
// RefToSTC_ID, in and out time (4 each), SyncPlayItemID (2), SyncStartPTS_OfPlayItem (4), then
// when multi-clip: the number of clip entries (further entries + 1), a zero byte and the further
// entries.
class SUB_PLAY_ITEM : public CNamedObject {
    VX_DYNAMIC(SUB_PLAY_ITEM, CNamedObject)

public:
    uint16_t length = 0;  // as last read or written
    ClipNameText ClipInformationFileName = kDefaultClipName;
    CodecIdText ClipCodecIdentifier = kDefaultCodecId;
    uint8_t ConnectionCondition = 1;
    uint8_t RefToSTC_ID = 0;
    uint32_t InTime = 0;
    uint32_t OutTime = 0;
    uint16_t SyncPlayItemID = 0;
    uint32_t SyncStartPTS_OfPlayItem = 0;
    std::unique_ptr<ANGLE_BLOCK> clipEntries;  // null unless the item has several clips

    bool IsMultiClipEntries() const { return clipEntries != nullptr; }
    void Copy(const CNamedObject& source) override;
    void ReadFrom(ByteReader& reader);
    void WriteTo(ByteWriter& writer, bool store);
    Json ToJson() const;
};

class CSpiFolder : public CNamedPtrArray<SUB_PLAY_ITEM> {
    VX_DYNAMIC(CSpiFolder, CNamedPtrArray<SUB_PLAY_ITEM>)
};

// Sub path types of the Blu-ray standard.
enum SubPathTypeCode : uint8_t {
    subPathBrowsableSlideshowAudio = 2,
    subPathIgMenu = 3,
    subPathTextSubtitle = 4,
    subPathOutOfMuxSync = 5,
    subPathOutOfMuxAsyncPip = 6,
    subPathInMuxSyncPip = 7,
};

// Layout: length (4), a zero byte, SubPathType, a zero byte, a byte with the repeat flag in bit
// 0, a zero byte, the sub play item count (1), the sub play items.
class SUB_PATH : public CNamedObject {
    VX_DYNAMIC(SUB_PATH, CNamedObject)

public:
    uint32_t length = 0;  // as last read or written
    uint8_t SubPathType = subPathBrowsableSlideshowAudio;
    uint8_t IsRepeatSubPath = 0;
    uint8_t NumberOfSubPlayItems = 0;  // as last read or written
    CSpiFolder SubPlayItems;

    void Copy(const CNamedObject& source) override;
    void ReadFrom(ByteReader& reader);
    void WriteTo(ByteWriter& writer, bool store);
    Json ToJson() const;
};

class CPlayItems : public CNamedPtrArray<PLAY_ITEM> {
    VX_DYNAMIC(CPlayItems, CNamedPtrArray<PLAY_ITEM>)
};
class CSubPaths : public CNamedPtrArray<SUB_PATH> {
    VX_DYNAMIC(CSubPaths, CNamedPtrArray<SUB_PATH>)
};

// A chapter mark (entry mark) or link point: 14 bytes, a zero byte, MarkType,
// RefToPlayItemID (2), MarkTimeStamp (4), EntryES_PID (2), Duration (4).
struct PLAY_MARK {
    uint8_t MarkType = 1;  // 1 entry mark, 2 link point
    uint16_t RefToPlayItemID = 0;
    uint32_t MarkTimeStamp = 0;     // 45 kHz
    uint16_t EntryES_PID = 0xFFFF;  // none
    uint32_t Duration = 0;
};

// The mark block: length (4), mark count (2), the marks.
class CPlayMarks : public CTypeArray<PLAY_MARK> {
    VX_DYNAMIC(CPlayMarks, CTypeArray<PLAY_MARK>)

public:
    uint32_t length = 0;                 // as last read or written
    uint16_t NumberOfPlayListMarks = 0;  // as last read or written

    void CopyFrom(const CTypeArray<PLAY_MARK>& source) override;
};

// Application information: length (4, written as 14), a reserved byte (preserved), playback
// type, playback count (2), UO mask (8), a byte with the random access flag in bit 7, the audio
// mix flag in bit 6 and the lossless bypass flag in bit 5, a zero byte.
struct APP_INFO_PLAYLIST {
    uint32_t length = 0;  // as last read or written
    uint8_t reserved = 0;
    uint8_t PlaylistPlaybackType = 1;  // 1 sequential, 2 random, 3 shuffle
    uint16_t PlaybackCount = 0;
    UoMaskTable UoMask{};
    uint8_t PlaylistRandomAccessFlag = 0;
    uint8_t AudioMixAppFlag = 0;
    uint8_t LosslessMayBypassMixerFlag = 0;

    Json ToJson() const;
};

// ---------------------------------------------------------------------------------------------

struct MPLS {
    std::string TypeIndicator = "MPLS";
    std::string VersionNumber = "0200";
    uint32_t PlayListStartAddress = 0;       // as last read or written
    uint32_t PlayListMarkStartAddress = 0;   // as last read or written
    uint32_t ExtensionDataStartAddress = 0;  // as last read or written, 0 when absent
    APP_INFO_PLAYLIST AppInfoPlaylist;
    // The playlist block: length (4, the bytes that follow), 2 zero bytes, play item count (2),
    // sub path count (2), the play items, the sub paths.
    uint32_t PlayListLength = 0;     // as last read or written
    uint16_t NumberOfPlayItems = 0;  // as last read or written
    uint16_t NumberOfSubPaths = 0;   // as last read or written
    CPlayItems PlayItems;
    CSubPaths SubPaths;
    CPlayMarks PlayListMarks;
    std::unique_ptr<CExtData> ExtensionData;  // null when the file has none

    MPLS() = default;
    MPLS(const MPLS&) = delete;
    MPLS& operator=(const MPLS&) = delete;

    // Parses a whole file; returns the offset just past the last byte used, 0 on failure (the
    // record may then be partly filled). The previous contents are released first.
    int32_t Parse(const uint8_t* data, size_t size);
    // With out, replaces *out with the file image and stores the lengths, counts and addresses
    // written; with a null out only returns the size. Returns 0, changing nothing, when the
    // record does not fit the format (a count or length beyond its field).
    uint32_t Build(std::vector<uint8_t>* out);
    // Builds and writes the image with one write; raises FileError. A record that does not fit
    // the format raises std::length_error before anything is written.
    void Write(CFile& file);
    static void Copy(const MPLS& source, MPLS& destination);
    // Back to a new record's state.
    void Clear();

    // Permits an operation again: clears the bit in the playlist's mask and in every play
    // item's.
    void ClearUoMaskBit(int bit);
    // The number of every clip the play items, their angles and the sub play items use, once
    // each, in first-use order.
    void CollectClipNumbers(std::vector<int>& out) const;
    // The sub paths of a type (by default in-mux synchronous picture-in-picture), in order.
    std::vector<SUB_PATH*> CollectSubPaths(uint8_t type = subPathInMuxSyncPip) const;
    // The picture-in-picture metadata of the extension data, or null when there is none or it
    // does not parse.
    std::unique_ptr<SPipMetaData> PipMetadata() const;

    Json ToJson() const;

private:
    void WriteTo(ByteWriter& writer, bool store);
};

}  // namespace vx
