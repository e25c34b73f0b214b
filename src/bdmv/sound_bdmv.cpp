#include "bdmv/sound_bdmv.h"

#include <cstring>
#include <vector>

#include "foundation/bytes.h"

namespace vx {

namespace {

constexpr size_t kIndexStart = CSoundBdmv::kHeaderSize;  // the index length field
constexpr size_t kEntriesStart = kIndexStart + 6;

// Where the record's bytes come from: a file read piece by piece, or a span in memory.
// Offsets count from the record's first byte.
class Source {
public:
    virtual ~Source() = default;
    virtual uint64_t Size() const = 0;
    // False when fewer than count bytes could be read.
    virtual bool ReadAt(uint64_t offset, void* out, size_t count) = 0;
};

class SpanSource : public Source {
public:
    SpanSource(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* out, size_t count) override {
        if (offset > size_ || count > size_ - offset)
            return false;
        if (count != 0)
            std::memcpy(out, data_ + offset, count);
        return true;
    }

private:
    const uint8_t* data_;
    size_t size_;
};

class FileSource : public Source {
public:
    explicit FileSource(CFile& file) : file_(file), start_(file.GetPosition()) {
        const uint64_t length = file.GetLength();
        size_ = length > start_ ? length - start_ : 0;
    }
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t offset, void* out, size_t count) override {
        if (offset > size_ || count > size_ - offset)
            return false;
        file_.Seek(int64_t(start_ + offset), CFile::begin);
        return file_.Read(out, count) == count;
    }

private:
    CFile& file_;
    uint64_t start_;
    uint64_t size_;
};

bool ReadIndex(Source& source, CSoundBdmv& record) {
    uint8_t field[4];
    if (!source.ReadAt(kIndexStart, field, 4))
        return false;
    CSoundIndex& index = record.SoundIndex;
    index.Length = ReadBE32(field);
    if (index.Length == 0)
        return true;
    uint8_t head[2];
    if (!source.ReadAt(kIndexStart + 4, head, 2))
        return false;
    const uint8_t count = head[1];
    if (count == 0)
        return false;
    // The index must hold its entries and end inside the file.
    const uint64_t indexEnd = kIndexStart + 4 + uint64_t(index.Length);
    if (index.Length < 2 + CSoundBdmv::kEntrySize * count || indexEnd > source.Size())
        return false;
    std::vector<uint8_t> bytes(CSoundBdmv::kEntrySize * count);
    if (!source.ReadAt(kEntriesStart, bytes.data(), bytes.size()))
        return false;
    for (uint8_t i = 0; i < count; ++i) {
        const uint8_t* p = bytes.data() + CSoundBdmv::kEntrySize * i;
        SSoundEntry* entry = index.Add(std::make_unique<SSoundEntry>());
        entry->ChannelConfiguration = p[0] >> 4;
        entry->SamplingFrequency = p[0] & 0x0F;
        entry->BitsPerSample = p[1] >> 6;
        entry->SoundDataStartAddress = ReadBE32(p + 2);
        entry->SoundDataStartLength = ReadBE32(p + 6);
        // The clip's samples lie behind the index and inside the file.
        const uint64_t first =
            uint64_t(record.SoundDataStartAddress) + entry->SoundDataStartAddress;
        if (first < indexEnd || first + entry->SoundDataStartLength > source.Size())
            return false;
    }
    return true;
}

bool ReadExtensionData(Source& source, CSoundBdmv& record) {
    const uint64_t start = record.ExtensionDataStartAddress;
    if (start == 0)
        return true;
    // The block lies behind the index.
    const uint64_t indexEnd =
        kIndexStart + 4 + (record.SoundIndex.Length == 0 ? 0 : uint64_t(record.SoundIndex.Length));
    if (start < indexEnd)
        return false;
    uint8_t field[4];
    if (!source.ReadAt(start, field, 4))
        return false;
    const uint32_t length = ReadBE32(field);
    if (length & 0x80000000u)
        return false;
    if (length == 0)
        return true;
    const uint64_t blockSize = uint64_t(length) + 4;
    if (start + blockSize > source.Size())
        return false;
    std::vector<uint8_t> block(blockSize);
    if (!source.ReadAt(start, block.data(), block.size()))
        return false;
    auto ext = std::make_unique<CExtData>();
    if (ext->Parse(block.data(), block.size()) != int32_t(blockSize))
        return false;
    record.ExtensionData = std::move(ext);
    return true;
}

bool ReadRecord(Source& source, CSoundBdmv& record) {
    if (source.Size() < CSoundBdmv::kHeaderSize)
        return false;
    record.SoundIndex.RemoveAll();
    record.SoundIndex.Length = 0;
    record.ExtensionData.reset();
    uint8_t header[CSoundBdmv::kHeaderSize];
    if (!source.ReadAt(0, header, sizeof header))
        return false;
    record.TypeIndicator.assign(reinterpret_cast<const char*>(header), 4);
    if (record.TypeIndicator != "BCLK")
        return false;
    record.VersionNumber.assign(reinterpret_cast<const char*>(header + 4), 4);
    record.SoundDataStartAddress = ReadBE32(header + 8);
    record.ExtensionDataStartAddress = ReadBE32(header + 12);
    return ReadIndex(source, record) && ReadExtensionData(source, record);
}

}  // namespace

// ---- SSoundEntry --------------------------------------------------------------------------

const char* SSoundEntry::ChannelConfigurationName(uint8_t value) {
    switch (value) {
        case 1:
            return "Mono";
        case 3:
            return "Stereo";
        default:
            return "Reserved";
    }
}

const char* SSoundEntry::SamplingFrequencyName(uint8_t value) {
    return value == 1 ? "48K" : "Reserved";
}

const char* SSoundEntry::BitsPerSampleName(uint8_t value) {
    return value == 1 ? "16 bit" : "Reserved";
}

void SSoundEntry::Copy(const CNamedObject& source) {
    CNamedObject::Copy(source);
    if (auto* e = dynamic_cast<const SSoundEntry*>(&source)) {
        ChannelConfiguration = e->ChannelConfiguration;
        SamplingFrequency = e->SamplingFrequency;
        BitsPerSample = e->BitsPerSample;
        SoundDataStartAddress = e->SoundDataStartAddress;
        SoundDataStartLength = e->SoundDataStartLength;
    }
}

Json SSoundEntry::ToJson() const {
    Json attributes;
    attributes["ChannelConfiguration"] = ChannelConfiguration;
    attributes["ChannelConfigurationName"] = ChannelConfigurationName(ChannelConfiguration);
    attributes["SamplingFrequency"] = SamplingFrequency;
    attributes["SamplingFrequencyName"] = SamplingFrequencyName(SamplingFrequency);
    attributes["BitsPerSample"] = BitsPerSample;
    attributes["BitsPerSampleName"] = BitsPerSampleName(BitsPerSample);
    Json j;
    j["SoundAttributes"] = std::move(attributes);
    j["SoundDataStartAddress"] = SoundDataStartAddress;
    j["SoundDataStartLength"] = SoundDataStartLength;
    return j;
}

void CSoundIndex::CopyFrom(const CNamedPtrArray<SSoundEntry>& source) {
    CNamedPtrArray<SSoundEntry>::CopyFrom(source);
    if (auto* index = dynamic_cast<const CSoundIndex*>(&source))
        Length = index->Length;
}

// ---- CSoundBdmv ---------------------------------------------------------------------------

bool CSoundBdmv::Read(CFile& file) {
    FileSource source(file);
    return ReadRecord(source, *this);
}

bool CSoundBdmv::Read(const uint8_t* data, size_t size) {
    if (data == nullptr)
        size = 0;
    SpanSource source(data, size);
    return ReadRecord(source, *this);
}

void CSoundBdmv::Copy(const CSoundBdmv& source, CSoundBdmv& destination) {
    if (&source == &destination)
        return;
    destination.TypeIndicator = source.TypeIndicator;
    destination.VersionNumber = source.VersionNumber;
    destination.SoundDataStartAddress = source.SoundDataStartAddress;
    destination.ExtensionDataStartAddress = source.ExtensionDataStartAddress;
    destination.SoundIndex.CopyFrom(source.SoundIndex);
    destination.ExtensionData = source.ExtensionData ? source.ExtensionData->Clone() : nullptr;
}

Json CSoundBdmv::ToJson() const {
    Json j;
    j["TypeIndicator"] = JsonFileText(TypeIndicator);
    j["VersionNumber"] = JsonFileText(VersionNumber);
    j["SoundDataStartAddress"] = SoundDataStartAddress;
    j["ExtensionDataStartAddress"] = ExtensionDataStartAddress;
    Json index;
    index["Length"] = SoundIndex.Length;
    index["NumberOfSoundEntries"] = SoundIndex.GetCount();
    Json entries = Json::array();
    for (const SSoundEntry* e : SoundIndex.Children()) entries.push_back(e->ToJson());
    index["SoundEntries"] = std::move(entries);
    j["SoundIndex"] = std::move(index);
    if (ExtensionData)
        j["ExtensionData"] = ExtensionData->ToJson();
    return j;
}

}  // namespace vx
