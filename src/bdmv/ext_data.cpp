#include "bdmv/ext_data.h"

#include <algorithm>

namespace vx {

namespace {

constexpr size_t kBlockHeaderSize = 12;
constexpr size_t kDirectoryEntrySize = 12;
constexpr size_t kPipHeaderSize = 14;
constexpr size_t kPipEntrySize = 8;
constexpr char kToolKey[] = "QWKT";

size_t PadTo4(size_t n) {
    return (n + 3) & ~size_t(3);
}

// A reader over a length-prefixed block: the 4-byte length and the bytes it announces. Throws
// ParseError when the span holds fewer.
ByteReader LengthPrefixed(const uint8_t* data, size_t size, uint32_t* length) {
    ByteReader r(data, size);
    *length = r.U32();
    r.Need(*length);
    ByteReader block(data, size_t(*length) + 4);
    block.Skip(4);
    return block;
}

}  // namespace

std::string JsonFileText(const std::string& text) {
    for (char c : text) {
        if (c < 0x20 || c > 0x7E) {
            return HexString(reinterpret_cast<const uint8_t*>(text.data()), text.size());
        }
    }
    return text;
}

// ---- SExtDataEntry ------------------------------------------------------------------------

void SExtDataEntry::Copy(const CNamedObject& source) {
    CNamedObject::Copy(source);
    if (auto* entry = dynamic_cast<const SExtDataEntry*>(&source)) {
        ExtDataEntry_ID1 = entry->ExtDataEntry_ID1;
        ExtDataEntry_ID2 = entry->ExtDataEntry_ID2;
        ExtDataStartAddress = entry->ExtDataStartAddress;
        ExtDataLength = entry->ExtDataLength;
        data = entry->data;
    }
}

Json SExtDataEntry::ToJson() const {
    Json j;
    j["ExtDataEntry_ID1"] = ExtDataEntry_ID1;
    j["ExtDataEntry_ID2"] = ExtDataEntry_ID2;
    j["ExtDataStartAddress"] = ExtDataStartAddress;
    j["ExtDataLength"] = ExtDataLength;
    j["Data"] = HexString(data);
    if (auto object = CExtData::CreateObject(*this)) {
        j[ExtDataEntry_ID1 == kExtIdPipMetadata ? "PipMetadata" : "ToolData"] = object->ToJson();
    }
    return j;
}

// ---- SPipMetaData -------------------------------------------------------------------------

int32_t SPipMetaData::Parse(const uint8_t* data, size_t size) {
    headers.clear();
    blocks.clear();
    try {
        uint32_t len = 0;
        ByteReader r = LengthPrefixed(data, size, &len);
        if (len > uint32_t(INT32_MAX) - 4)
            return 0;
        uint16_t count = r.U16();
        r.Need(kPipHeaderSize * count);
        const size_t dataAreaStart = 6 + kPipHeaderSize * count;
        for (uint16_t i = 0; i < count; ++i) {
            MetadataBlockHeader h;
            h.RefPlayItemId = r.U16();
            h.RefSvStreamId = r.U8();
            r.Skip(1);
            uint8_t flags = r.U8();
            h.TimelineType = flags >> 4;
            h.IsLumaKey = (flags >> 3) & 1;
            h.TrickPlayingFlag = (flags >> 2) & 1;
            r.Skip(2);
            h.UpperLimitLumaKey = r.U8();
            r.Skip(2);
            h.MetadataBlockStartAddress = r.U32();
            // A data block inside the header table would make the entry contradict itself.
            if (h.MetadataBlockStartAddress < dataAreaStart)
                return 0;
            headers.push_back(h);
        }
        for (const MetadataBlockHeader& h : headers) {
            ByteReader b(data, size_t(len) + 4);
            b.Seek(h.MetadataBlockStartAddress);
            MetadataBlockData block;
            block.NumberOfPipMetadataEntries = b.U16();
            b.Need(kPipEntrySize * block.NumberOfPipMetadataEntries);
            block.entries.reserve(block.NumberOfPipMetadataEntries);
            for (uint16_t k = 0; k < block.NumberOfPipMetadataEntries; ++k) {
                PipMetadataEntry e;
                e.PipTimeStamp = b.U32();
                uint8_t b4 = b.U8(), b5 = b.U8(), b6 = b.U8(), b7 = b.U8();
                e.PipHorPos = uint16_t((b4 << 4) | (b5 >> 4));
                e.PipVerPos = uint16_t(((b5 & 0x0F) << 8) | b6);
                e.PipScale = b7 >> 4;
                block.entries.push_back(e);
            }
            blocks.push_back(std::move(block));
        }
        length = len;
        NumberOfMetadataBlockEntries = count;
        return int32_t(len + 4);
    } catch (const ParseError&) {
        return 0;
    }
}

// One data block is written per header, directly behind the header table in header order; a
// header without a data block gets an empty one.
uint32_t SPipMetaData::Build(std::vector<uint8_t>* out) {
    // The block and entry counts are 16-bit fields.
    const size_t count = std::min<size_t>(headers.size(), 0xFFFF);
    auto entriesOf = [&](size_t i) -> const std::vector<PipMetadataEntry>* {
        return i < blocks.size() ? &blocks[i].entries : nullptr;
    };
    auto entryCount = [&](size_t i) -> size_t {
        auto* e = entriesOf(i);
        return e ? std::min<size_t>(e->size(), 0xFFFF) : 0;
    };
    size_t total = 6 + kPipHeaderSize * count;
    for (size_t i = 0; i < count; ++i) {
        total += 2 + kPipEntrySize * entryCount(i);
    }
    if (out == nullptr)
        return uint32_t(total);

    ByteWriter w;
    w.U32(uint32_t(total - 4));
    w.U16(uint16_t(count));
    uint32_t address = uint32_t(6 + kPipHeaderSize * count);
    for (size_t i = 0; i < count; ++i) {
        MetadataBlockHeader& h = headers[i];
        h.MetadataBlockStartAddress = address;
        address += uint32_t(2 + kPipEntrySize * entryCount(i));
        w.U16(h.RefPlayItemId);
        w.U8(h.RefSvStreamId);
        w.U8(0);
        w.U8(uint8_t(((h.TimelineType & 0x0F) << 4) | ((h.IsLumaKey & 1) << 3) |
                     ((h.TrickPlayingFlag & 1) << 2)));
        w.Zeros(2);
        w.U8(h.IsLumaKey & 1 ? h.UpperLimitLumaKey : 0);
        w.Zeros(2);
        w.U32(h.MetadataBlockStartAddress);
    }
    for (size_t i = 0; i < count; ++i) {
        auto* e = entriesOf(i);
        uint16_t n = uint16_t(entryCount(i));
        if (i < blocks.size())
            blocks[i].NumberOfPipMetadataEntries = n;
        w.U16(n);
        for (uint16_t k = 0; k < n; ++k) {
            const PipMetadataEntry& p = (*e)[k];
            w.U32(p.PipTimeStamp);
            uint16_t hor = p.PipHorPos & 0x0FFF, ver = p.PipVerPos & 0x0FFF;
            w.U8(uint8_t(hor >> 4));
            w.U8(uint8_t(((hor & 0x0F) << 4) | (ver >> 8)));
            w.U8(uint8_t(ver));
            w.U8(uint8_t((p.PipScale & 0x0F) << 4));
        }
    }
    length = uint32_t(total - 4);
    NumberOfMetadataBlockEntries = uint16_t(count);
    *out = w.Take();
    return uint32_t(total);
}

std::unique_ptr<SExtDataBase> SPipMetaData::Clone() const {
    return std::make_unique<SPipMetaData>(*this);
}

Json SPipMetaData::ToJson() const {
    Json j;
    j["Length"] = length;
    j["NumberOfMetadataBlockEntries"] = NumberOfMetadataBlockEntries;
    Json list = Json::array();
    for (size_t i = 0; i < headers.size(); ++i) {
        const MetadataBlockHeader& h = headers[i];
        Json b;
        b["RefPlayItemId"] = h.RefPlayItemId;
        b["RefSvStreamId"] = h.RefSvStreamId;
        b["TimelineType"] = h.TimelineType;
        b["IsLumaKey"] = h.IsLumaKey;
        b["TrickPlayingFlag"] = h.TrickPlayingFlag;
        b["UpperLimitLumaKey"] = h.UpperLimitLumaKey;
        b["MetadataBlockStartAddress"] = h.MetadataBlockStartAddress;
        Json entries = Json::array();
        if (i < blocks.size()) {
            for (const PipMetadataEntry& e : blocks[i].entries) {
                entries.push_back({{"PipTimeStamp", e.PipTimeStamp},
                                   {"PipHorPos", e.PipHorPos},
                                   {"PipVerPos", e.PipVerPos},
                                   {"PipScale", e.PipScale}});
            }
        }
        b["PipMetadataEntries"] = std::move(entries);
        list.push_back(std::move(b));
    }
    j["MetadataBlocks"] = std::move(list);
    return j;
}

// ---- SCrvnToolData ------------------------------------------------------------------------

std::string SCrvnToolData::Scramble(const std::string& text) {
    std::string out(text);
    for (size_t i = 0; i < out.size(); ++i) out[i] = char(out[i] ^ kToolKey[i % 4]);
    return out;
}

int32_t SCrvnToolData::Parse(const uint8_t* data, size_t size) {
    try {
        ByteReader r(data, size);
        auto readText = [&r](uint8_t* lengthOut) {
            *lengthOut = r.U8();
            std::string text = Scramble(r.Text(*lengthOut));
            // The text ends at its first zero byte.
            size_t zero = text.find('\0');
            if (zero != std::string::npos)
                text.resize(zero);
            return text;
        };
        Company = readText(&CompanyLength);
        Descriptor = readText(&DescriptorLength);
        return int32_t(r.Position());
    } catch (const ParseError&) {
        return 0;
    }
}

uint32_t SCrvnToolData::Build(std::vector<uint8_t>* out) {
    const uint8_t companyLength = uint8_t(Company.size());
    const uint8_t descriptorLength = uint8_t(Descriptor.size());
    const uint32_t total = 2u + companyLength + descriptorLength;
    if (out == nullptr)
        return total;
    ByteWriter w;
    w.U8(companyLength);
    w.Text(Scramble(Company.substr(0, companyLength)), companyLength);
    w.U8(descriptorLength);
    w.Text(Scramble(Descriptor.substr(0, descriptorLength)), descriptorLength);
    CompanyLength = companyLength;
    DescriptorLength = descriptorLength;
    *out = w.Take();
    return total;
}

std::unique_ptr<SExtDataBase> SCrvnToolData::Clone() const {
    return std::make_unique<SCrvnToolData>(*this);
}

Json SCrvnToolData::ToJson() const {
    Json j;
    j["Company"] = JsonFileText(Company);
    j["Descriptor"] = JsonFileText(Descriptor);
    return j;
}

// ---- CExtData -----------------------------------------------------------------------------

int32_t CExtData::Parse(const uint8_t* data, size_t size) {
    entries.RemoveAll();
    length = 0;
    DataBlockStartAddress = 0;
    NumberOfExtDataEntries = 0;
    try {
        uint32_t len = 0;
        ByteReader r = LengthPrefixed(data, size, &len);
        if (len > uint32_t(INT32_MAX) - 4)
            return 0;
        const size_t blockSize = size_t(len) + 4;
        length = len;
        if (len == 0)
            return 4;
        DataBlockStartAddress = r.U32();
        r.Skip(3);
        const uint8_t count = r.U8();
        r.Need(kDirectoryEntrySize * count);
        const size_t dataAreaStart = kBlockHeaderSize + kDirectoryEntrySize * count;
        for (uint8_t i = 0; i < count; ++i) {
            auto entry = std::make_unique<SExtDataEntry>();
            entry->ExtDataEntry_ID1 = r.U16();
            entry->ExtDataEntry_ID2 = r.U16();
            entry->ExtDataStartAddress = r.U32();
            entry->ExtDataLength = r.U32();
            const size_t start = entry->ExtDataStartAddress;
            // Data must lie behind the directory and inside the block.
            if (start < dataAreaStart || start > blockSize ||
                entry->ExtDataLength > blockSize - start) {
                return 0;
            }
            entry->data.assign(data + start, data + start + entry->ExtDataLength);
            entries.Add(std::move(entry));
        }
        NumberOfExtDataEntries = count;
        return int32_t(blockSize);
    } catch (const ParseError&) {
        return 0;
    }
}

uint32_t CExtData::Size() const {
    const int count = std::min(entries.GetCount(), kMaxEntries);
    if (count == 0)
        return 4;
    size_t total = kBlockHeaderSize + kDirectoryEntrySize * size_t(count);
    for (int i = 0; i < count; ++i) total += PadTo4(entries.GetAt(i)->data.size());
    return uint32_t(total);
}

void CExtData::BuildInto(ByteWriter& writer) {
    const int count = std::min(entries.GetCount(), kMaxEntries);
    const size_t base = writer.Position();
    if (count == 0) {
        writer.U32(0);
        length = 0;
        DataBlockStartAddress = 0;
        NumberOfExtDataEntries = 0;
        return;
    }
    const uint32_t dataStart = uint32_t(kBlockHeaderSize + kDirectoryEntrySize * size_t(count));
    writer.U32(0);  // patched below
    writer.U32(dataStart);
    writer.Zeros(3);
    writer.U8(uint8_t(count));
    uint32_t address = dataStart;
    for (int i = 0; i < count; ++i) {
        SExtDataEntry* e = entries.GetAt(i);
        e->ExtDataStartAddress = address;
        e->ExtDataLength = uint32_t(e->data.size());
        address += uint32_t(PadTo4(e->data.size()));
        writer.U16(e->ExtDataEntry_ID1);
        writer.U16(e->ExtDataEntry_ID2);
        writer.U32(e->ExtDataStartAddress);
        writer.U32(e->ExtDataLength);
    }
    for (int i = 0; i < count; ++i) {
        const SExtDataEntry* e = entries.GetAt(i);
        writer.Bytes(e->data);
        writer.Zeros(PadTo4(e->data.size()) - e->data.size());
    }
    length = uint32_t(writer.Position() - base - 4);
    writer.PatchU32(base, length);
    DataBlockStartAddress = dataStart;
    NumberOfExtDataEntries = uint8_t(count);
}

uint32_t CExtData::Build(std::vector<uint8_t>* out) {
    if (out == nullptr)
        return Size();
    ByteWriter w;
    BuildInto(w);
    *out = w.Take();
    return uint32_t(out->size());
}

void CExtData::Copy(const CExtData& source, CExtData& destination) {
    if (&source == &destination)
        return;
    destination.length = source.length;
    destination.DataBlockStartAddress = source.DataBlockStartAddress;
    destination.NumberOfExtDataEntries = source.NumberOfExtDataEntries;
    destination.entries.CopyFrom(source.entries);
}

std::unique_ptr<CExtData> CExtData::Clone() const {
    auto copy = std::make_unique<CExtData>();
    Copy(*this, *copy);
    return copy;
}

SExtDataEntry* CExtData::FindEntry(uint16_t id1) const {
    for (SExtDataEntry* e : entries.Children()) {
        if (e->ExtDataEntry_ID1 == id1 && e->ExtDataEntry_ID2 == 1)
            return e;
    }
    return nullptr;
}

SExtDataEntry* CExtData::SetEntry(SExtDataBase& object, uint16_t id1) {
    SExtDataEntry* entry = FindEntry(id1);
    if (entry == nullptr) {
        if (entries.GetCount() >= kMaxEntries)
            return nullptr;
        entry = entries.Add(std::make_unique<SExtDataEntry>());
    }
    entry->ExtDataEntry_ID1 = id1;
    entry->ExtDataEntry_ID2 = 1;
    object.Build(&entry->data);
    entry->ExtDataLength = uint32_t(entry->data.size());
    return entry;
}

bool CExtData::RemovePipMetadata() {
    SExtDataEntry* entry = FindEntry(kExtIdPipMetadata);
    if (entry == nullptr)
        return false;
    entries.Detach(entries.IndexOf(entry));
    return true;
}

std::unique_ptr<SExtDataBase> CExtData::CreateObject(const SExtDataEntry& entry) {
    if (entry.ExtDataEntry_ID2 != 1)
        return nullptr;
    std::unique_ptr<SExtDataBase> object;
    if (entry.ExtDataEntry_ID1 == kExtIdPipMetadata) {
        object = std::make_unique<SPipMetaData>();
    } else if (entry.ExtDataEntry_ID1 == kExtIdToolData) {
        object = std::make_unique<SCrvnToolData>();
    } else {
        return nullptr;
    }
    if (object->Parse(entry.data.data(), entry.data.size()) <= 0)
        return nullptr;
    return object;
}

Json CExtData::ToJson() const {
    Json j;
    j["Length"] = length;
    j["DataBlockStartAddress"] = DataBlockStartAddress;
    j["NumberOfExtDataEntries"] = NumberOfExtDataEntries;
    Json list = Json::array();
    for (const SExtDataEntry* e : entries.Children()) list.push_back(e->ToJson());
    j["Entries"] = std::move(list);
    return j;
}

size_t ParseTrailingExtData(const uint8_t* data, size_t size, size_t start, size_t headerEnd,
                            size_t bodyStart, size_t bodyEnd, std::unique_ptr<CExtData>& out) {
    if (start < headerEnd || start > size)
        return 0;
    out = std::make_unique<CExtData>();
    const int32_t used = out->Parse(data + start, size - start);
    if (used <= 0)
        return 0;
    const size_t end = start + size_t(used);
    const bool overlapsBody = start < bodyEnd && bodyStart < end;
    return overlapsBody ? 0 : end;
}

}  // namespace vx
