#include "bdmv/mpls.h"

#include <cstring>
#include <limits>
#include <stdexcept>

#include "foundation/file.h"

namespace vx {

namespace {

// The header (40 bytes) and AppInfoPlaylist (18 bytes) come first; no block may start inside.
constexpr uint32_t kHeaderAndAppInfoSize = 58;

// A record that the file's fields cannot express (a count or length too large for its field).
[[noreturn]] void TooLarge(const char* what) {
    throw std::length_error(std::string(what) + " too large for the playlist format");
}

template <class T>
T Checked(size_t value, const char* what) {
    if (value > std::numeric_limits<T>::max())
        TooLarge(what);
    return T(value);
}

template <size_t N>
void ReadText(ByteReader& reader, std::array<char, N>& text) {
    reader.Bytes(text.data(), N);
}

template <size_t N>
void WriteText(ByteWriter& writer, const std::array<char, N>& text) {
    writer.Bytes(text.data(), N);
}

// A count read from the file, each element needing at least minSize bytes of what remains.
void CheckCount(const ByteReader& reader, size_t count, size_t minSize) {
    if (count * minSize > reader.Remaining())
        ByteReader::Fail("count exceeds the block");
}

// Printable characters of a stored text, for descriptions.
std::string Printable(const std::string& text) {
    std::string out;
    for (char c : text)
        if (c >= 0x20 && c < 0x7F)
            out.push_back(c);
    return out;
}

void ReadClipEntries(ByteReader& reader, uint8_t count, CAceFolder& entries) {
    CheckCount(reader, count, 10);
    for (int i = 0; i < count; ++i) {
        ANGLE_CLIP_ENTRY entry;
        ReadText(reader, entry.ClipInformationFileName);
        ReadText(reader, entry.ClipCodecIdentifier);
        entry.RefToSTC_ID = reader.U8();
        entries.Add(entry);
    }
}

void WriteClipEntries(ByteWriter& writer, const CAceFolder& entries) {
    for (const ANGLE_CLIP_ENTRY* entry : entries.Records()) {
        WriteText(writer, entry->ClipInformationFileName);
        WriteText(writer, entry->ClipCodecIdentifier);
        writer.U8(entry->RefToSTC_ID);
    }
}

Json ClipEntriesToJson(const CAceFolder& entries) {
    Json list = Json::array();
    for (const ANGLE_CLIP_ENTRY* entry : entries.Records())
        list.push_back(
            {{"ClipInformationFileName",
              JsonFileText(FixedTextString(entry->ClipInformationFileName))},
             {"ClipCodecIdentifier", JsonFileText(FixedTextString(entry->ClipCodecIdentifier))},
             {"RefToSTC_ID", entry->RefToSTC_ID}});
    return list;
}

void ReadCombInfo(ByteReader& reader, STREAM_COMB_INFO& info) {
    info.NumberOfRefEntries = reader.U8();
    info.reserved = reader.U8();
    info.RefID = reader.Vector(info.NumberOfRefEntries);
    if (info.NumberOfRefEntries % 2 != 0)
        reader.Skip(1);  // alignment to 16 bits
}

void WriteCombInfo(ByteWriter& writer, STREAM_COMB_INFO& info, bool store) {
    uint8_t count = Checked<uint8_t>(info.RefID.size(), "reference list");
    writer.U8(count);
    writer.U8(info.reserved);
    writer.Bytes(info.RefID);
    if (count % 2 != 0)
        writer.U8(0);
    if (store)
        info.NumberOfRefEntries = count;
}

Json CombInfoToJson(const STREAM_COMB_INFO& info) {
    Json ids = Json::array();
    for (uint8_t id : info.RefID) ids.push_back(id);
    return ids;
}

void ReadStreamEntry(ByteReader& reader, STREAM_ENTRY& entry) {
    entry = STREAM_ENTRY{};
    entry.length = reader.U8();
    ByteReader body = reader.Sub(entry.length);
    // The type byte and the 8 bytes behind it; what a short entry lacks reads as zero.
    std::array<uint8_t, 9> b{};
    body.Bytes(b.data(), std::min<size_t>(body.Size(), b.size()));
    entry.StreamType = b[0];
    switch (entry.StreamType) {
        case 1:
            entry.RefToStreamPID_OfMainClip = ReadBE16(&b[1]);
            std::memcpy(entry.preserved.data(), &b[3], 6);
            break;
        case 2:
            entry.RefToSubPathID = b[1];
            entry.RefToSubClipEntryID = b[2];
            entry.RefToStreamPID_OfSubClip = ReadBE16(&b[3]);
            std::memcpy(entry.preserved.data(), &b[5], 4);
            break;
        case 3:
            entry.RefToSubPathID = b[1];
            entry.RefToStreamPID_OfSubClip = ReadBE16(&b[2]);
            std::memcpy(entry.preserved.data(), &b[4], 5);
            break;
        default:
            break;
    }
}

void WriteStreamEntry(ByteWriter& writer, STREAM_ENTRY& entry, bool store) {
    uint8_t length = 1;
    size_t start = writer.Position();
    writer.U8(0);
    writer.U8(entry.StreamType);
    switch (entry.StreamType) {
        case 1:
            writer.U16(entry.RefToStreamPID_OfMainClip);
            writer.Bytes(entry.preserved.data(), 6);
            length = 9;
            break;
        case 2:
            writer.U8(entry.RefToSubPathID);
            writer.U8(entry.RefToSubClipEntryID);
            writer.U16(entry.RefToStreamPID_OfSubClip);
            writer.Bytes(entry.preserved.data(), 4);
            length = 9;
            break;
        case 3:
            writer.U8(entry.RefToSubPathID);
            writer.U16(entry.RefToStreamPID_OfSubClip);
            writer.Bytes(entry.preserved.data(), 5);
            length = 9;
            break;
        default:
            break;
    }
    writer.PatchU8(start, length);
    if (store)
        entry.length = length;
}

void ReadStreamAttributes(ByteReader& reader, STREAM_ATTRIBUTES& attributes) {
    attributes = STREAM_ATTRIBUTES{};
    attributes.length = reader.U8();
    ByteReader body = reader.Sub(attributes.length);
    std::array<uint8_t, 5> b{};
    body.Bytes(b.data(), std::min<size_t>(body.Size(), b.size()));
    attributes.StreamCodingType = b[0];
    std::memcpy(attributes.bytes.data(), &b[1], 4);
}

void WriteStreamAttributes(ByteWriter& writer, STREAM_ATTRIBUTES& attributes, bool store) {
    bool known = attributes.GetKind() != STREAM_ATTRIBUTES::kindOther;
    uint8_t length = known ? 5 : 1;
    writer.U8(length);
    writer.U8(attributes.StreamCodingType);
    if (known)
        writer.Bytes(attributes.bytes.data(), 4);
    if (store)
        attributes.length = length;
}

// Calls f on each of the seven lists, in the order their entries stand in the file.
template <class Table, class F>
void ForEachList(Table& table, F&& f) {
    f(table.PrimaryVideo);
    f(table.PrimaryAudio);
    f(table.PG);
    f(table.PiPPG);
    f(table.IG);
    f(table.SecondaryAudio);
    f(table.SecondaryVideo);
}

template <class Folder>
void ReadEntries(ByteReader& reader, int count, Folder& folder) {
    for (int i = 0; i < count; ++i) folder.AddNew()->ReadFrom(reader);
}

template <class Folder>
Json EntriesToJson(const Folder& folder) {
    Json list = Json::array();
    for (const auto* entry : folder.Children()) list.push_back(entry->ToJson());
    return list;
}

void ReadAngleBlock(ByteReader& reader, std::unique_ptr<ANGLE_BLOCK>& block, bool withFlags) {
    block = std::make_unique<ANGLE_BLOCK>();
    block->NumberOfAngles = reader.U8();
    uint8_t flags = reader.U8();
    if (withFlags) {
        block->IsDifferentAudios = (flags >> 1) & 1;
        block->IsSeamlessAngleChange = flags & 1;
    }
    // The count includes the item's own clip, which the entries do not repeat.
    if (block->NumberOfAngles == 0)
        ByteReader::Fail("angle block without angles");
    ReadClipEntries(reader, uint8_t(block->NumberOfAngles - 1), block->Angles);
}

void WriteAngleBlock(ByteWriter& writer, ANGLE_BLOCK& block, bool withFlags, bool store) {
    if (block.Angles.GetCount() > 254)
        TooLarge("angle block");
    uint8_t count = uint8_t(block.Angles.GetCount() + 1);
    writer.U8(count);
    writer.U8(withFlags ? uint8_t((block.IsDifferentAudios ? 2 : 0) |
                                  (block.IsSeamlessAngleChange ? 1 : 0))
                        : 0);
    WriteClipEntries(writer, block.Angles);
    if (store)
        block.NumberOfAngles = count;
}

void CopyAngleBlock(const std::unique_ptr<ANGLE_BLOCK>& source,
                    std::unique_ptr<ANGLE_BLOCK>& destination) {
    if (source == nullptr) {
        destination.reset();
        return;
    }
    if (destination == nullptr)
        destination = std::make_unique<ANGLE_BLOCK>();
    ANGLE_BLOCK::Copy(*source, *destination);
}

void AddClipNumber(std::vector<int>& out, const ClipNameText& name) {
    int number = ClipNumberFromName(name);
    for (int seen : out)
        if (seen == number)
            return;
    out.push_back(number);
}

void WriteUoMask(ByteWriter& writer, const UoMaskTable& mask) {
    writer.Bytes(mask.data(), 8);
}

void ReadUoMask(ByteReader& reader, UoMaskTable& mask) {
    reader.Bytes(mask.data(), 8);
}

}  // namespace

// ---------------------------------------------------------------------------------------------

ClipNameText ClipNameFromNumber(int number) {
    ClipNameText name{};
    int value = ((number % 100000) + 100000) % 100000;
    for (int i = 4; i >= 0; --i) {
        name[size_t(i)] = char('0' + value % 10);
        value /= 10;
    }
    return name;
}

int ClipNumberFromName(const ClipNameText& name) {
    int value = 0;
    for (char c : name) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + (c - '0');
    }
    return value;
}

const char* UoMaskBitName(int bit) {
    static const char* const names[kUoMaskNamedBits] = {
        "MenuCall",
        "TitleSearch",
        "ChapterSearch",
        "TimeSearch",
        "SkipToNextPoint",
        "SkipBackToPreviousPoint",
        "PlayFirstPlay",
        "Stop",
        "PauseOn",
        "PauseOff",
        "StillOff",
        "ForwardPlay",
        "BackwardPlay",
        "Resume",
        "MoveUpSelectedButton",
        "MoveDownSelectedButton",
        "MoveLeftSelectedButton",
        "MoveRightSelectedButton",
        "SelectButton",
        "ActivateButton",
        "SelectButtonAndActivate",
        "PrimaryAudioStreamNumberChange",
        "Reserved",
        "AngleNumberChange",
        "PopupOn",
        "PopupOff",
        "PG_TextST_EnableDisable",
        "PG_TextST_StreamNumberChange",
        "SecondaryVideoEnableDisable",
        "SecondaryVideoStreamNumberChange",
        "SecondaryAudioEnableDisable",
        "SecondaryAudioStreamNumberChange",
        "Reserved",
        "PiP_PG_TextST_StreamNumberChange",
    };
    if (bit < 0 || bit >= kUoMaskNamedBits)
        return "Reserved";
    return names[bit];
}

bool UoMaskBit(const UoMaskTable& mask, int bit) {
    if (bit < 0 || bit >= kUoMaskBits)
        return false;
    return (mask[size_t(bit / 8)] >> (7 - bit % 8)) & 1;
}

void SetUoMaskBit(UoMaskTable& mask, int bit, bool forbidden) {
    if (bit < 0 || bit >= kUoMaskBits)
        return;
    uint8_t m = uint8_t(0x80 >> (bit % 8));
    if (forbidden) {
        mask[size_t(bit / 8)] |= m;
    } else {
        mask[size_t(bit / 8)] &= uint8_t(~m);
    }
}

Json UoMaskToJson(const UoMaskTable& mask) {
    Json names = Json::array();
    for (int bit = 0; bit < kUoMaskBits; ++bit) {
        if (!UoMaskBit(mask, bit))
            continue;
        std::string name = UoMaskBitName(bit);
        if (name == "Reserved")
            name += std::to_string(bit);
        names.push_back(name);
    }
    return names;
}

// ---------------------------------------------------------------------------------------------

Json STREAM_ENTRY::ToJson() const {
    Json j{{"StreamType", StreamType}};
    size_t preservedCount = 0;
    switch (StreamType) {
        case 1:
            j["RefToStreamPID_OfMainClip"] = RefToStreamPID_OfMainClip;
            preservedCount = 6;
            break;
        case 2:
            j["RefToSubPathID"] = RefToSubPathID;
            j["RefToSubClipEntryID"] = RefToSubClipEntryID;
            j["RefToStreamPID_OfSubClip"] = RefToStreamPID_OfSubClip;
            preservedCount = 4;
            break;
        case 3:
            j["RefToSubPathID"] = RefToSubPathID;
            j["RefToStreamPID_OfSubClip"] = RefToStreamPID_OfSubClip;
            preservedCount = 5;
            break;
        default:
            break;
    }
    if (preservedCount > 0)
        j["Preserved"] = HexString(preserved.data(), preservedCount);
    return j;
}

STREAM_ATTRIBUTES::Kind STREAM_ATTRIBUTES::KindOf(uint8_t codingType) {
    switch (codingType) {
        case 0x02:
        case 0x1B:
        case 0xEA:
            return kindVideo;
        case 0x80:
        case 0x81:
        case 0x82:
        case 0x83:
        case 0x84:
        case 0x85:
        case 0x86:
        case 0xA1:
        case 0xA2:
            return kindAudio;
        case 0x90:
        case 0x91:
            return kindGraphics;
        case 0x92:
            return kindText;
        default:
            return kindOther;
    }
}

std::string STREAM_ATTRIBUTES::LanguageCode() const {
    switch (GetKind()) {
        case kindAudio:
        case kindText:
            return std::string(reinterpret_cast<const char*>(&bytes[1]), 3);
        case kindGraphics:
            return std::string(reinterpret_cast<const char*>(&bytes[0]), 3);
        default:
            return {};
    }
}

void STREAM_ATTRIBUTES::SetLanguageCode(std::string_view code) {
    size_t at;
    switch (GetKind()) {
        case kindAudio:
        case kindText:
            at = 1;
            break;
        case kindGraphics:
            at = 0;
            break;
        default:
            return;
    }
    for (size_t i = 0; i < 3; ++i) bytes[at + i] = i < code.size() ? uint8_t(code[i]) : 0;
}

Json STREAM_ATTRIBUTES::ToJson() const {
    Json j{{"StreamCodingType", StreamCodingType}};
    switch (GetKind()) {
        case kindVideo:
            j["VideoFormat"] = VideoFormat();
            j["FrameRate"] = FrameRate();
            break;
        case kindAudio:
            j["PresentationType"] = PresentationType();
            j["SamplingFrequency"] = SamplingFrequency();
            j["LanguageCode"] = Printable(LanguageCode());
            break;
        case kindGraphics:
            j["LanguageCode"] = Printable(LanguageCode());
            break;
        case kindText:
            j["CharacterCode"] = CharacterCode();
            j["LanguageCode"] = Printable(LanguageCode());
            break;
        default:
            break;
    }
    return j;
}

void RemapSubPathIds(STREAM_ENTRY& entry, const std::vector<int>& oldIds,
                     const std::vector<int>& newIds) {
    if (!entry.RefersToSubPath())
        return;
    uint8_t remapped = 0;
    for (size_t i = 0; i < oldIds.size() && i < newIds.size(); ++i) {
        if (oldIds[i] == entry.RefToSubPathID) {
            remapped = uint8_t(newIds[i]);
            break;
        }
    }
    entry.RefToSubPathID = remapped;
}

// ---------------------------------------------------------------------------------------------

void PRIMARY_STREAM_ENTRY::Copy(const CNamedObject& source) {
    CNamedObject::Copy(source);
    if (auto* s = dynamic_cast<const PRIMARY_STREAM_ENTRY*>(&source)) {
        orderingKey = s->orderingKey;
        StreamEntry = s->StreamEntry;
        StreamAttributes = s->StreamAttributes;
    }
}

int32_t PRIMARY_STREAM_ENTRY::Parse(const uint8_t* data, size_t size, int32_t) {
    try {
        ByteReader reader(data, size);
        ReadFrom(reader);
        return int32_t(reader.Position());
    } catch (const ParseError&) {
        return 0;
    }
}

int32_t PRIMARY_STREAM_ENTRY::Build(uint8_t* out, int32_t) {
    try {
        ByteWriter dry;
        WriteTo(dry, false);
        if (out == nullptr)
            return int32_t(dry.Position());
        ByteWriter writer;
        WriteTo(writer, true);
        std::memcpy(out, writer.Buffer().data(), writer.Position());
        return int32_t(writer.Position());
    } catch (const std::length_error&) {
        return 0;
    }
}

void PRIMARY_STREAM_ENTRY::ReadFrom(ByteReader& reader) {
    ReadStreamEntry(reader, StreamEntry);
    ReadStreamAttributes(reader, StreamAttributes);
}

void PRIMARY_STREAM_ENTRY::WriteTo(ByteWriter& writer, bool store) {
    WriteStreamEntry(writer, StreamEntry, store);
    WriteStreamAttributes(writer, StreamAttributes, store);
}

Json PRIMARY_STREAM_ENTRY::ToJson() const {
    return Json{{"StreamEntry", StreamEntry.ToJson()},
                {"StreamAttributes", StreamAttributes.ToJson()}};
}

void SECONDARD_AUDIO_STREAM_ENTRY::Copy(const CNamedObject& source) {
    PRIMARY_STREAM_ENTRY::Copy(source);
    if (auto* s = dynamic_cast<const SECONDARD_AUDIO_STREAM_ENTRY*>(&source))
        SecondardAudioStreamCombInfo = s->SecondardAudioStreamCombInfo;
}

void SECONDARD_AUDIO_STREAM_ENTRY::ReadFrom(ByteReader& reader) {
    PRIMARY_STREAM_ENTRY::ReadFrom(reader);
    ReadCombInfo(reader, SecondardAudioStreamCombInfo);
}

void SECONDARD_AUDIO_STREAM_ENTRY::WriteTo(ByteWriter& writer, bool store) {
    PRIMARY_STREAM_ENTRY::WriteTo(writer, store);
    WriteCombInfo(writer, SecondardAudioStreamCombInfo, store);
}

Json SECONDARD_AUDIO_STREAM_ENTRY::ToJson() const {
    Json j = PRIMARY_STREAM_ENTRY::ToJson();
    j["SecondardAudioStreamCombInfo"] = CombInfoToJson(SecondardAudioStreamCombInfo);
    return j;
}

void SECONDARD_VIDEO_STREAM_ENTRY::Copy(const CNamedObject& source) {
    PRIMARY_STREAM_ENTRY::Copy(source);
    if (auto* s = dynamic_cast<const SECONDARD_VIDEO_STREAM_ENTRY*>(&source)) {
        SecondardVideoSecondardAudioStreamCombInfo = s->SecondardVideoSecondardAudioStreamCombInfo;
        SecondardVideoPiP_PG_TextST_StreamCombInfo = s->SecondardVideoPiP_PG_TextST_StreamCombInfo;
    }
}

void SECONDARD_VIDEO_STREAM_ENTRY::ReadFrom(ByteReader& reader) {
    PRIMARY_STREAM_ENTRY::ReadFrom(reader);
    ReadCombInfo(reader, SecondardVideoSecondardAudioStreamCombInfo);
    ReadCombInfo(reader, SecondardVideoPiP_PG_TextST_StreamCombInfo);
}

void SECONDARD_VIDEO_STREAM_ENTRY::WriteTo(ByteWriter& writer, bool store) {
    PRIMARY_STREAM_ENTRY::WriteTo(writer, store);
    WriteCombInfo(writer, SecondardVideoSecondardAudioStreamCombInfo, store);
    WriteCombInfo(writer, SecondardVideoPiP_PG_TextST_StreamCombInfo, store);
}

Json SECONDARD_VIDEO_STREAM_ENTRY::ToJson() const {
    Json j = PRIMARY_STREAM_ENTRY::ToJson();
    j["SecondardVideoSecondardAudioStreamCombInfo"] =
        CombInfoToJson(SecondardVideoSecondardAudioStreamCombInfo);
    j["SecondardVideoPiP_PG_TextST_StreamCombInfo"] =
        CombInfoToJson(SecondardVideoPiP_PG_TextST_StreamCombInfo);
    return j;
}

// ---------------------------------------------------------------------------------------------

void StnTable::Copy(const StnTable& source, StnTable& destination) {
    if (&source == &destination)
        return;
    destination.length = source.length;
    destination.reserved = source.reserved;
    destination.counts = source.counts;
    destination.reserved2 = source.reserved2;
    destination.PrimaryVideo.CopyFrom(source.PrimaryVideo);
    destination.PrimaryAudio.CopyFrom(source.PrimaryAudio);
    destination.PG.CopyFrom(source.PG);
    destination.IG.CopyFrom(source.IG);
    destination.SecondaryAudio.CopyFrom(source.SecondaryAudio);
    destination.SecondaryVideo.CopyFrom(source.SecondaryVideo);
    destination.PiPPG.CopyFrom(source.PiPPG);
}

void StnTable::Clear() {
    length = 0;
    reserved = 0;
    counts = {};
    reserved2 = {};
    ForEachList(*this, [](auto& list) { list.RemoveAll(); });
}

StnTable::List StnTable::ListOfPid(uint16_t pid) {
    if (pid == 0x1011)
        return listPrimaryVideo;
    if (pid >= 0x1100 && pid <= 0x111F)
        return listPrimaryAudio;
    if ((pid >= 0x1200 && pid <= 0x12FF) || pid == 0x1800)
        return listPG;
    if (pid >= 0x1400 && pid <= 0x141F)
        return listIG;
    if (pid >= 0x1A00 && pid <= 0x1A1F)
        return listSecondaryAudio;
    if (pid >= 0x1B00 && pid <= 0x1B1F)
        return listSecondaryVideo;
    return listNone;
}

PRIMARY_STREAM_ENTRY* StnTable::AddStream(const SStreamDesc& stream) {
    PRIMARY_STREAM_ENTRY* entry = nullptr;
    switch (ListOfPid(stream.pid)) {
        case listPrimaryVideo:
            entry = PrimaryVideo.AddNew();
            break;
        case listPrimaryAudio:
            entry = PrimaryAudio.AddNew();
            break;
        case listPG:
            entry = PG.AddNew();
            break;
        case listIG:
            entry = IG.AddNew();
            break;
        case listSecondaryAudio:
            entry = SecondaryAudio.AddNew();
            break;
        case listSecondaryVideo:
            entry = SecondaryVideo.AddNew();
            break;
        case listNone:
            return nullptr;
    }
    entry->StreamEntry.StreamType = 1;
    entry->StreamEntry.RefToStreamPID_OfMainClip = stream.pid;
    entry->StreamAttributes.StreamCodingType = stream.codingType;
    entry->StreamAttributes.bytes = stream.attributes;
    return entry;
}

PRIMARY_STREAM_ENTRY* StnTable::FindInAnyList(const STREAM_ENTRY& entry) const {
    PRIMARY_STREAM_ENTRY* hit = nullptr;
    ForEachList(*this, [&](const auto& list) {
        if (hit != nullptr)
            return;
        int index = list.FindStream(entry);
        if (index >= 0)
            hit = list.GetAt(index);
    });
    return hit;
}

bool StnTable::RemoveStream(const STREAM_ENTRY& entry) {
    auto removeFrom = [&entry](auto& list) { return list.RemoveAt(list.FindStream(entry)); };
    switch (ListOfPid(entry.Pid())) {
        case listPrimaryVideo:
            return removeFrom(PrimaryVideo);
        case listPrimaryAudio:
            return removeFrom(PrimaryAudio);
        case listPG:
            return removeFrom(PG) || removeFrom(PiPPG);
        case listIG:
            return removeFrom(IG);
        case listSecondaryAudio:
            return removeFrom(SecondaryAudio);
        case listSecondaryVideo:
            return removeFrom(SecondaryVideo);
        case listNone:
            break;
    }
    return false;
}

void StnTable::SortStreams() {
    ForEachList(*this, [](auto& list) { list.SortStreams(); });
}

void StnTable::ExportStreams(std::vector<SStreamDesc>& out) const {
    ForEachList(*this, [&out](const auto& list) {
        for (const PRIMARY_STREAM_ENTRY* entry : list.Children()) {
            if (entry->StreamEntry.StreamType == 2)
                continue;
            SStreamDesc stream;
            stream.pid = entry->StreamEntry.Pid();
            stream.codingType = entry->StreamAttributes.StreamCodingType;
            stream.attributes = entry->StreamAttributes.bytes;
            out.push_back(stream);
        }
    });
}

void StnTable::RemapSubPathIds(const std::vector<int>& oldIds, const std::vector<int>& newIds) {
    ForEachList(*this, [&](auto& list) {
        for (PRIMARY_STREAM_ENTRY* entry : list.Children())
            vx::RemapSubPathIds(entry->StreamEntry, oldIds, newIds);
    });
}

int StnTable::TotalEntries() const {
    int total = 0;
    ForEachList(*this, [&total](const auto& list) { total += list.GetCount(); });
    return total;
}

void StnTable::ReadFrom(ByteReader& reader) {
    Clear();
    length = reader.U16();
    ByteReader table = reader.Sub(length);
    reserved = table.U16();
    table.Bytes(counts.data(), counts.size());
    table.Bytes(reserved2.data(), reserved2.size());
    size_t total = 0;
    for (uint8_t count : counts) total += count;
    CheckCount(table, total, 2);  // an entry is at least its two length bytes
    ReadEntries(table, counts[0], PrimaryVideo);
    ReadEntries(table, counts[1], PrimaryAudio);
    ReadEntries(table, counts[2], PG);
    ReadEntries(table, counts[6], PiPPG);
    ReadEntries(table, counts[3], IG);
    ReadEntries(table, counts[4], SecondaryAudio);
    ReadEntries(table, counts[5], SecondaryVideo);
}

void StnTable::WriteTo(ByteWriter& writer, bool store) {
    size_t start = writer.Position();
    writer.U16(0);
    writer.U16(reserved);
    const std::array<uint8_t, 7> written{
        Checked<uint8_t>(size_t(PrimaryVideo.GetCount()), "primary video list"),
        Checked<uint8_t>(size_t(PrimaryAudio.GetCount()), "primary audio list"),
        Checked<uint8_t>(size_t(PG.GetCount()), "PG list"),
        Checked<uint8_t>(size_t(IG.GetCount()), "IG list"),
        Checked<uint8_t>(size_t(SecondaryAudio.GetCount()), "secondary audio list"),
        Checked<uint8_t>(size_t(SecondaryVideo.GetCount()), "secondary video list"),
        Checked<uint8_t>(size_t(PiPPG.GetCount()), "PiP PG list")};
    writer.Bytes(written.data(), written.size());
    writer.Bytes(reserved2.data(), reserved2.size());
    ForEachList(*this, [&](auto& list) {
        for (PRIMARY_STREAM_ENTRY* entry : list.Children()) entry->WriteTo(writer, store);
    });
    uint16_t size = Checked<uint16_t>(writer.Position() - start - 2, "stream number table");
    writer.PatchU16(start, size);
    if (store) {
        length = size;
        counts = written;
    }
}

Json StnTable::ToJson() const {
    return Json{{"PrimaryVideo", EntriesToJson(PrimaryVideo)},
                {"PrimaryAudio", EntriesToJson(PrimaryAudio)},
                {"PG", EntriesToJson(PG)},
                {"IG", EntriesToJson(IG)},
                {"SecondaryAudio", EntriesToJson(SecondaryAudio)},
                {"SecondaryVideo", EntriesToJson(SecondaryVideo)},
                {"PiPPG", EntriesToJson(PiPPG)}};
}

// ---------------------------------------------------------------------------------------------

void ANGLE_BLOCK::Copy(const ANGLE_BLOCK& source, ANGLE_BLOCK& destination) {
    if (&source == &destination)
        return;
    destination.NumberOfAngles = source.NumberOfAngles;
    destination.IsDifferentAudios = source.IsDifferentAudios;
    destination.IsSeamlessAngleChange = source.IsSeamlessAngleChange;
    destination.Angles.CopyFrom(source.Angles);
}

void PLAY_ITEM::Copy(const CNamedObject& source) {
    if (&source == this)
        return;
    CNamedObject::Copy(source);
    auto* s = dynamic_cast<const PLAY_ITEM*>(&source);
    if (s == nullptr)
        return;
    length = s->length;
    ClipInformationFileName = s->ClipInformationFileName;
    ClipCodecIdentifier = s->ClipCodecIdentifier;
    ConnectionCondition = s->ConnectionCondition;
    RefToSTC_ID = s->RefToSTC_ID;
    InTime = s->InTime;
    OutTime = s->OutTime;
    UoMask = s->UoMask;
    PlayItemRandomAccessFlag = s->PlayItemRandomAccessFlag;
    StillMode = s->StillMode;
    StillTime = s->StillTime;
    CopyAngleBlock(s->angles, angles);
    StnTable::Copy(s->Stn, Stn);
}

void PLAY_ITEM::ReadFrom(ByteReader& reader) {
    length = reader.U16();
    ByteReader item = reader.Sub(length);
    ReadText(item, ClipInformationFileName);
    ReadText(item, ClipCodecIdentifier);
    item.Skip(1);
    uint8_t flags = item.U8();
    ConnectionCondition = flags & 0x0F;
    RefToSTC_ID = item.U8();
    InTime = item.U32();
    OutTime = item.U32();
    ReadUoMask(item, UoMask);
    PlayItemRandomAccessFlag = item.U8() >> 7;
    StillMode = item.U8();
    StillTime = item.U16();
    angles.reset();
    if (flags & 0x10)
        ReadAngleBlock(item, angles, true);
    Stn.ReadFrom(item);
}

void PLAY_ITEM::WriteTo(ByteWriter& writer, bool store) {
    size_t start = writer.Position();
    writer.U16(0);
    WriteText(writer, ClipInformationFileName);
    WriteText(writer, ClipCodecIdentifier);
    writer.U8(0);
    writer.U8(uint8_t((IsMultiAngle() ? 0x10 : 0) | (ConnectionCondition & 0x0F)));
    writer.U8(RefToSTC_ID);
    writer.U32(InTime);
    writer.U32(OutTime);
    WriteUoMask(writer, UoMask);
    writer.U8(PlayItemRandomAccessFlag ? 0x80 : 0);
    writer.U8(StillMode);
    writer.U16(StillMode == 1 ? StillTime : 0);
    if (angles)
        WriteAngleBlock(writer, *angles, true, store);
    Stn.WriteTo(writer, store);
    uint16_t size = Checked<uint16_t>(writer.Position() - start - 2, "play item");
    writer.PatchU16(start, size);
    if (store)
        length = size;
}

Json PLAY_ITEM::ToJson() const {
    Json j{{"ClipInformationFileName", JsonFileText(FixedTextString(ClipInformationFileName))},
           {"ClipCodecIdentifier", JsonFileText(FixedTextString(ClipCodecIdentifier))},
           {"IsMultiAngle", IsMultiAngle() ? 1 : 0},
           {"ConnectionCondition", ConnectionCondition},
           {"RefToSTC_ID", RefToSTC_ID},
           {"InTime", InTime},
           {"OutTime", OutTime},
           {"UoMaskTable", UoMaskToJson(UoMask)},
           {"PlayItemRandomAccessFlag", PlayItemRandomAccessFlag},
           {"StillMode", StillMode},
           {"StillTime", StillTime}};
    if (angles) {
        j["NumberOfAngles"] = angles->NumberOfAngles;
        j["IsDifferentAudios"] = angles->IsDifferentAudios;
        j["IsSeamlessAngleChange"] = angles->IsSeamlessAngleChange;
        j["Angles"] = ClipEntriesToJson(angles->Angles);
    }
    j["StnTable"] = Stn.ToJson();
    return j;
}

void SUB_PLAY_ITEM::Copy(const CNamedObject& source) {
    if (&source == this)
        return;
    CNamedObject::Copy(source);
    auto* s = dynamic_cast<const SUB_PLAY_ITEM*>(&source);
    if (s == nullptr)
        return;
    length = s->length;
    ClipInformationFileName = s->ClipInformationFileName;
    ClipCodecIdentifier = s->ClipCodecIdentifier;
    ConnectionCondition = s->ConnectionCondition;
    RefToSTC_ID = s->RefToSTC_ID;
    InTime = s->InTime;
    OutTime = s->OutTime;
    SyncPlayItemID = s->SyncPlayItemID;
    SyncStartPTS_OfPlayItem = s->SyncStartPTS_OfPlayItem;
    CopyAngleBlock(s->clipEntries, clipEntries);
}

void SUB_PLAY_ITEM::ReadFrom(ByteReader& reader) {
    length = reader.U16();
    ByteReader item = reader.Sub(length);
    ReadText(item, ClipInformationFileName);
    ReadText(item, ClipCodecIdentifier);
    item.Skip(3);
    uint8_t flags = item.U8();
    ConnectionCondition = (flags >> 1) & 0x0F;
    RefToSTC_ID = item.U8();
    InTime = item.U32();
    OutTime = item.U32();
    SyncPlayItemID = item.U16();
    SyncStartPTS_OfPlayItem = item.U32();
    clipEntries.reset();
    if (flags & 1)
        ReadAngleBlock(item, clipEntries, false);
}

void SUB_PLAY_ITEM::WriteTo(ByteWriter& writer, bool store) {
    size_t start = writer.Position();
    writer.U16(0);
    WriteText(writer, ClipInformationFileName);
    WriteText(writer, ClipCodecIdentifier);
    writer.Zeros(3);
    writer.U8(uint8_t(((ConnectionCondition & 0x0F) << 1) | (IsMultiClipEntries() ? 1 : 0)));
    writer.U8(RefToSTC_ID);
    writer.U32(InTime);
    writer.U32(OutTime);
    writer.U16(SyncPlayItemID);
    writer.U32(SyncStartPTS_OfPlayItem);
    if (clipEntries)
        WriteAngleBlock(writer, *clipEntries, false, store);
    uint16_t size = Checked<uint16_t>(writer.Position() - start - 2, "sub play item");
    writer.PatchU16(start, size);
    if (store)
        length = size;
}

Json SUB_PLAY_ITEM::ToJson() const {
    Json j{{"ClipInformationFileName", JsonFileText(FixedTextString(ClipInformationFileName))},
           {"ClipCodecIdentifier", JsonFileText(FixedTextString(ClipCodecIdentifier))},
           {"ConnectionCondition", ConnectionCondition},
           {"IsMultiClipEntries", IsMultiClipEntries() ? 1 : 0},
           {"RefToSTC_ID", RefToSTC_ID},
           {"InTime", InTime},
           {"OutTime", OutTime},
           {"SyncPlayItemID", SyncPlayItemID},
           {"SyncStartPTS_OfPlayItem", SyncStartPTS_OfPlayItem}};
    if (clipEntries) {
        j["NumberOfMultiClipEntries"] = clipEntries->NumberOfAngles;
        j["ClipEntries"] = ClipEntriesToJson(clipEntries->Angles);
    }
    return j;
}

void SUB_PATH::Copy(const CNamedObject& source) {
    if (&source == this)
        return;
    CNamedObject::Copy(source);
    auto* s = dynamic_cast<const SUB_PATH*>(&source);
    if (s == nullptr)
        return;
    length = s->length;
    SubPathType = s->SubPathType;
    IsRepeatSubPath = s->IsRepeatSubPath;
    NumberOfSubPlayItems = s->NumberOfSubPlayItems;
    SubPlayItems.CopyFrom(s->SubPlayItems);
}

void SUB_PATH::ReadFrom(ByteReader& reader) {
    length = reader.U32();
    ByteReader path = reader.Sub(length);
    path.Skip(1);
    SubPathType = path.U8();
    IsRepeatSubPath = path.U16() & 1;
    path.Skip(1);
    NumberOfSubPlayItems = path.U8();
    CheckCount(path, NumberOfSubPlayItems, 2);
    SubPlayItems.RemoveAll();
    for (int i = 0; i < NumberOfSubPlayItems; ++i)
        SubPlayItems.Add(std::make_unique<SUB_PLAY_ITEM>())->ReadFrom(path);
}

void SUB_PATH::WriteTo(ByteWriter& writer, bool store) {
    size_t start = writer.Position();
    writer.U32(0);
    writer.U8(0);
    writer.U8(SubPathType);
    writer.U8(0);
    writer.U8(IsRepeatSubPath ? 1 : 0);
    writer.U8(0);
    uint8_t count = Checked<uint8_t>(size_t(SubPlayItems.GetCount()), "sub play item list");
    writer.U8(count);
    for (SUB_PLAY_ITEM* item : SubPlayItems.Children()) item->WriteTo(writer, store);
    uint32_t size = Checked<uint32_t>(writer.Position() - start - 4, "sub path");
    writer.PatchU32(start, size);
    if (store) {
        length = size;
        NumberOfSubPlayItems = count;
    }
}

Json SUB_PATH::ToJson() const {
    Json items = Json::array();
    for (const SUB_PLAY_ITEM* item : SubPlayItems.Children()) items.push_back(item->ToJson());
    return Json{{"SubPathType", SubPathType},
                {"IsRepeatSubPath", IsRepeatSubPath},
                {"SubPlayItems", items}};
}

void CPlayMarks::CopyFrom(const CTypeArray<PLAY_MARK>& source) {
    if (&source == this)
        return;
    CTypeArray<PLAY_MARK>::CopyFrom(source);
    if (auto* s = dynamic_cast<const CPlayMarks*>(&source)) {
        length = s->length;
        NumberOfPlayListMarks = s->NumberOfPlayListMarks;
    }
}

Json APP_INFO_PLAYLIST::ToJson() const {
    return Json{{"PlaylistPlaybackType", PlaylistPlaybackType},
                {"PlaybackCount", PlaybackCount},
                {"UoMaskTable", UoMaskToJson(UoMask)},
                {"PlaylistRandomAccessFlag", PlaylistRandomAccessFlag},
                {"AudioMixAppFlag", AudioMixAppFlag},
                {"LosslessMayBypassMixerFlag", LosslessMayBypassMixerFlag}};
}

// ---------------------------------------------------------------------------------------------

void MPLS::Clear() {
    TypeIndicator = "MPLS";
    VersionNumber = "0200";
    PlayListStartAddress = 0;
    PlayListMarkStartAddress = 0;
    ExtensionDataStartAddress = 0;
    AppInfoPlaylist = APP_INFO_PLAYLIST{};
    PlayListLength = 0;
    NumberOfPlayItems = 0;
    NumberOfSubPaths = 0;
    PlayItems.RemoveAll();
    SubPaths.RemoveAll();
    PlayListMarks.RemoveAll();
    PlayListMarks.length = 0;
    PlayListMarks.NumberOfPlayListMarks = 0;
    ExtensionData.reset();
}

int32_t MPLS::Parse(const uint8_t* data, size_t size) {
    Clear();
    if (data == nullptr || size > size_t(std::numeric_limits<int32_t>::max()))
        return 0;
    try {
        ByteReader reader(data, size);
        TypeIndicator = reader.Text(4);
        VersionNumber = reader.Text(4);
        PlayListStartAddress = reader.U32();
        PlayListMarkStartAddress = reader.U32();
        ExtensionDataStartAddress = reader.U32();
        if (PlayListStartAddress < kHeaderAndAppInfoSize ||
            PlayListMarkStartAddress < kHeaderAndAppInfoSize ||
            (ExtensionDataStartAddress != 0 && ExtensionDataStartAddress < kHeaderAndAppInfoSize))
            return 0;

        reader.Seek(40);
        APP_INFO_PLAYLIST& app = AppInfoPlaylist;
        app.length = reader.U32();
        app.reserved = reader.U8();
        app.PlaylistPlaybackType = reader.U8();
        app.PlaybackCount = reader.U16();
        ReadUoMask(reader, app.UoMask);
        uint8_t flags = reader.U8();
        app.PlaylistRandomAccessFlag = (flags >> 7) & 1;
        app.AudioMixAppFlag = (flags >> 6) & 1;
        app.LosslessMayBypassMixerFlag = (flags >> 5) & 1;
        size_t end = std::max<size_t>(kHeaderAndAppInfoSize, 44 + size_t(app.length));
        if (end > size)
            return 0;

        reader.Seek(PlayListStartAddress);
        PlayListLength = reader.U32();
        ByteReader list = reader.Sub(PlayListLength);
        end = std::max(end, reader.Position());
        list.Skip(2);
        NumberOfPlayItems = list.U16();
        NumberOfSubPaths = list.U16();
        // A play item starts with a 2-byte length, a sub path with a 4-byte one.
        CheckCount(list, size_t(NumberOfPlayItems) * 2 + size_t(NumberOfSubPaths) * 4, 1);
        for (int i = 0; i < NumberOfPlayItems; ++i)
            PlayItems.Add(std::make_unique<PLAY_ITEM>())->ReadFrom(list);
        for (int i = 0; i < NumberOfSubPaths; ++i)
            SubPaths.Add(std::make_unique<SUB_PATH>())->ReadFrom(list);

        reader.Seek(PlayListMarkStartAddress);
        PlayListMarks.length = reader.U32();
        ByteReader marks = reader.Sub(PlayListMarks.length);
        end = std::max(end, reader.Position());
        PlayListMarks.NumberOfPlayListMarks = marks.U16();
        CheckCount(marks, PlayListMarks.NumberOfPlayListMarks, 14);
        for (int i = 0; i < PlayListMarks.NumberOfPlayListMarks; ++i) {
            PLAY_MARK mark;
            marks.Skip(1);
            mark.MarkType = marks.U8();
            mark.RefToPlayItemID = marks.U16();
            mark.MarkTimeStamp = marks.U32();
            mark.EntryES_PID = marks.U16();
            mark.Duration = marks.U32();
            PlayListMarks.Add(mark);
        }

        if (ExtensionDataStartAddress != 0) {
            if (ExtensionDataStartAddress >= size)
                return 0;
            ExtensionData = std::make_unique<CExtData>();
            int32_t used = ExtensionData->Parse(data + ExtensionDataStartAddress,
                                                size - ExtensionDataStartAddress);
            if (used <= 0)
                return 0;
            end = std::max(end, size_t(ExtensionDataStartAddress) + size_t(used));
        }
        return int32_t(end);
    } catch (const ParseError&) {
        return 0;
    }
}

void MPLS::WriteTo(ByteWriter& writer, bool store) {
    writer.Text(TypeIndicator, 4);
    writer.Text(VersionNumber, 4);
    writer.Zeros(12);  // the three start addresses, patched below
    writer.Zeros(20);

    const APP_INFO_PLAYLIST& app = AppInfoPlaylist;
    writer.U32(14);
    writer.U8(app.reserved);
    writer.U8(app.PlaylistPlaybackType);
    writer.U16(app.PlaybackCount);
    WriteUoMask(writer, app.UoMask);
    writer.U8(uint8_t((app.PlaylistRandomAccessFlag ? 0x80 : 0) | (app.AudioMixAppFlag ? 0x40 : 0) |
                      (app.LosslessMayBypassMixerFlag ? 0x20 : 0)));
    writer.U8(0);

    uint32_t listStart = uint32_t(writer.Position());
    writer.PatchU32(8, listStart);
    writer.U32(0);
    writer.U16(0);
    uint16_t itemCount = Checked<uint16_t>(size_t(PlayItems.GetCount()), "play item list");
    uint16_t pathCount = Checked<uint16_t>(size_t(SubPaths.GetCount()), "sub path list");
    writer.U16(itemCount);
    writer.U16(pathCount);
    for (PLAY_ITEM* item : PlayItems.Children()) item->WriteTo(writer, store);
    for (SUB_PATH* path : SubPaths.Children()) path->WriteTo(writer, store);
    uint32_t listLength = Checked<uint32_t>(writer.Position() - listStart - 4, "playlist");
    writer.PatchU32(listStart, listLength);

    uint32_t markStart = Checked<uint32_t>(writer.Position(), "playlist file");
    writer.PatchU32(12, markStart);
    uint16_t markCount = Checked<uint16_t>(size_t(PlayListMarks.GetCount()), "mark list");
    uint32_t markLength = 2 + 14 * uint32_t(markCount);
    writer.U32(markLength);
    writer.U16(markCount);
    for (const PLAY_MARK* mark : PlayListMarks.Records()) {
        writer.U8(0);
        writer.U8(mark->MarkType);
        writer.U16(mark->RefToPlayItemID);
        writer.U32(mark->MarkTimeStamp);
        writer.U16(mark->EntryES_PID);
        writer.U32(mark->Duration);
    }

    uint32_t extStart = 0;
    if (ExtensionData) {
        extStart = Checked<uint32_t>(writer.Position(), "playlist file");
        writer.PatchU32(16, extStart);
        if (store) {
            ExtensionData->BuildInto(writer);
        } else {
            writer.Zeros(ExtensionData->Size());  // only the size matters here
        }
    }
    Checked<uint32_t>(writer.Position(), "playlist file");

    if (store) {
        PlayListStartAddress = listStart;
        PlayListMarkStartAddress = markStart;
        ExtensionDataStartAddress = extStart;
        AppInfoPlaylist.length = 14;
        PlayListLength = listLength;
        NumberOfPlayItems = itemCount;
        NumberOfSubPaths = pathCount;
        PlayListMarks.length = markLength;
        PlayListMarks.NumberOfPlayListMarks = markCount;
    }
}

uint32_t MPLS::Build(std::vector<uint8_t>* out) {
    try {
        // A dry run first, so that a record the format cannot hold changes nothing.
        ByteWriter dry;
        WriteTo(dry, false);
        if (out == nullptr)
            return uint32_t(dry.Position());
        ByteWriter writer;
        WriteTo(writer, true);
        *out = writer.Take();
        return uint32_t(out->size());
    } catch (const std::length_error&) {
        return 0;
    }
}

void MPLS::Write(CFile& file) {
    std::vector<uint8_t> image;
    if (Build(&image) == 0)
        throw std::length_error("playlist too large for the playlist format");
    file.Write(image.data(), image.size());
}

void MPLS::Copy(const MPLS& source, MPLS& destination) {
    if (&source == &destination)
        return;
    destination.TypeIndicator = source.TypeIndicator;
    destination.VersionNumber = source.VersionNumber;
    destination.PlayListStartAddress = source.PlayListStartAddress;
    destination.PlayListMarkStartAddress = source.PlayListMarkStartAddress;
    destination.ExtensionDataStartAddress = source.ExtensionDataStartAddress;
    destination.AppInfoPlaylist = source.AppInfoPlaylist;
    destination.PlayListLength = source.PlayListLength;
    destination.NumberOfPlayItems = source.NumberOfPlayItems;
    destination.NumberOfSubPaths = source.NumberOfSubPaths;
    destination.PlayItems.CopyFrom(source.PlayItems);
    destination.SubPaths.CopyFrom(source.SubPaths);
    destination.PlayListMarks.CopyFrom(source.PlayListMarks);
    destination.ExtensionData = source.ExtensionData ? source.ExtensionData->Clone() : nullptr;
}

void MPLS::ClearUoMaskBit(int bit) {
    SetUoMaskBit(AppInfoPlaylist.UoMask, bit, false);
    for (PLAY_ITEM* item : PlayItems.Children()) SetUoMaskBit(item->UoMask, bit, false);
}

void MPLS::CollectClipNumbers(std::vector<int>& out) const {
    for (const PLAY_ITEM* item : PlayItems.Children()) {
        AddClipNumber(out, item->ClipInformationFileName);
        if (item->angles)
            for (const ANGLE_CLIP_ENTRY* angle : item->angles->Angles.Records())
                AddClipNumber(out, angle->ClipInformationFileName);
    }
    for (const SUB_PATH* path : SubPaths.Children()) {
        for (const SUB_PLAY_ITEM* item : path->SubPlayItems.Children()) {
            AddClipNumber(out, item->ClipInformationFileName);
            if (item->clipEntries)
                for (const ANGLE_CLIP_ENTRY* clip : item->clipEntries->Angles.Records())
                    AddClipNumber(out, clip->ClipInformationFileName);
        }
    }
}

std::vector<SUB_PATH*> MPLS::CollectSubPaths(uint8_t type) const {
    std::vector<SUB_PATH*> paths;
    for (SUB_PATH* path : SubPaths.Children())
        if (path->SubPathType == type)
            paths.push_back(path);
    return paths;
}

std::unique_ptr<SPipMetaData> MPLS::PipMetadata() const {
    if (!ExtensionData)
        return nullptr;
    const SExtDataEntry* entry = ExtensionData->FindEntry(kExtIdPipMetadata);
    if (entry == nullptr)
        return nullptr;
    std::unique_ptr<SExtDataBase> object = CExtData::CreateObject(*entry);
    if (auto* pip = dynamic_cast<SPipMetaData*>(object.get())) {
        object.release();
        return std::unique_ptr<SPipMetaData>(pip);
    }
    return nullptr;
}

Json MPLS::ToJson() const {
    Json items = Json::array();
    for (const PLAY_ITEM* item : PlayItems.Children()) items.push_back(item->ToJson());
    Json paths = Json::array();
    for (const SUB_PATH* path : SubPaths.Children()) paths.push_back(path->ToJson());
    Json marks = Json::array();
    for (const PLAY_MARK* mark : PlayListMarks.Records())
        marks.push_back({{"MarkType", mark->MarkType},
                         {"RefToPlayItemID", mark->RefToPlayItemID},
                         {"MarkTimeStamp", mark->MarkTimeStamp},
                         {"EntryES_PID", mark->EntryES_PID},
                         {"Duration", mark->Duration}});
    return Json{{"TypeIndicator", JsonFileText(TypeIndicator)},
                {"VersionNumber", JsonFileText(VersionNumber)},
                {"AppInfoPlaylist", AppInfoPlaylist.ToJson()},
                {"PlayItems", items},
                {"SubPaths", paths},
                {"PlayListMarks", marks},
                {"ExtensionData", ExtensionData ? ExtensionData->ToJson() : Json(nullptr)}};
}

}  // namespace vx
