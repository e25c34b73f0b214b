#include "bdmv/index_bdmv.h"

#include <algorithm>
#include <cstring>

namespace vx {

namespace {

constexpr size_t kTiSize = 12;
// Indexes bytes behind its length field besides the titles: two entries and the title count.
constexpr uint32_t kIndexesFixedLength = 2 * kTiSize + 2;
// The count field is 16 bits wide.
constexpr int kMaxTitles = 0xFFFF;

TI ReadTi(ByteReader& r) {
    TI ti;
    uint8_t b0 = r.U8();
    ti.ObjectType = b0 >> 6;
    ti.TitleAccessType = (b0 >> 4) & 3;
    r.Skip(3);
    ti.TitlePlaybackType = r.U8() >> 6;
    r.Skip(1);
    if (ti.IsHdmv()) {
        ti.MovieObjectId = r.U16();
        r.Skip(4);
    } else {
        r.Bytes(ti.BDJO_FileName.data(), 5);
        r.Skip(1);
    }
    return ti;
}

void WriteTi(ByteWriter& w, const TI& ti) {
    w.U8(uint8_t(((ti.ObjectType & 3) << 6) | ((ti.TitleAccessType & 3) << 4)));
    w.Zeros(3);
    w.U8(uint8_t((ti.TitlePlaybackType & 3) << 6));
    w.U8(0);
    if (ti.IsHdmv()) {
        w.U16(ti.MovieObjectId);
        w.Zeros(4);
    } else {
        w.Bytes(ti.BDJO_FileName.data(), 5);
        w.U8(0);
    }
}

}  // namespace

void TI::SetBdjoName(const std::string& name) {
    for (size_t i = 0; i < BDJO_FileName.size(); ++i) {
        BDJO_FileName[i] = i < name.size() ? name[i] : '0';
    }
}

Json TI::ToJson() const {
    Json j;
    j["ObjectType"] = ObjectType;
    j["TitleAccessType"] = TitleAccessType;
    j[IsHdmv() ? "HDMV_TitlePlaybackType" : "BDJ_TitlePlaybackType"] = TitlePlaybackType;
    if (IsHdmv()) {
        j["MovieObjectId"] = MovieObjectId;
    } else {
        j["BDJO_FileName"] = JsonFileText(BdjoName());
    }
    return j;
}

void INDEX_BDMV::Reset() {
    Titles.RemoveAll();
    ExtensionData.reset();
    NumberOfTitles = 0;
}

int32_t INDEX_BDMV::Parse(const uint8_t* data, size_t size) {
    Reset();
    try {
        ByteReader r(data, size);
        TypeIndicator = r.Text(4);
        VersionNumber = r.Text(4);
        IndexesStartAddress = r.U32();
        ExtensionDataStartAddress = r.U32();
        r.Skip(24);
        AppInfoBDMVLength = r.U32();
        r.Bytes(AppInfoBDMVFlags.data(), AppInfoBDMVFlags.size());
        r.Bytes(ContentProviderUserData.data(), ContentProviderUserData.size());
        const size_t headerEnd = r.Position();

        // Indexes may stand anywhere behind the header, not only at 78.
        if (IndexesStartAddress < headerEnd)
            return 0;
        r.Seek(IndexesStartAddress);
        IndexesLength = r.U32();
        ByteReader indexes = r.Sub(IndexesLength);
        FirstPlayback = ReadTi(indexes);
        TopMenu = ReadTi(indexes);
        NumberOfTitles = indexes.U16();
        indexes.Need(kTiSize * NumberOfTitles);
        for (uint16_t i = 0; i < NumberOfTitles; ++i) Titles.Add(ReadTi(indexes));
        const size_t indexesEnd = r.Position();
        size_t end = indexesEnd;

        if (ExtensionDataStartAddress != 0) {
            const size_t extEnd =
                ParseTrailingExtData(data, size, ExtensionDataStartAddress, headerEnd,
                                     IndexesStartAddress, indexesEnd, ExtensionData);
            if (extEnd == 0)
                return 0;
            end = std::max(end, extEnd);
        }
        if (end > size_t(INT32_MAX))
            return 0;
        return int32_t(end);
    } catch (const ParseError&) {
        return 0;
    }
}

uint32_t INDEX_BDMV::Build(std::vector<uint8_t>* out) {
    const int titleCount = std::min(Titles.GetCount(), kMaxTitles);
    const uint32_t indexesLength = kIndexesFixedLength + uint32_t(kTiSize * size_t(titleCount));
    const uint32_t extStart = kIndexesStart + 4 + indexesLength;
    const uint32_t total = extStart + (ExtensionData ? ExtensionData->Size() : 0);
    if (out == nullptr)
        return total;

    ByteWriter w;
    w.Text(TypeIndicator, 4);
    w.Text(VersionNumber, 4);
    w.U32(kIndexesStart);
    w.U32(0);  // extension data start address, patched below
    w.Zeros(24);
    w.U32(kAppInfoLength);
    w.Bytes(AppInfoBDMVFlags.data(), AppInfoBDMVFlags.size());
    w.Bytes(ContentProviderUserData.data(), ContentProviderUserData.size());

    // The top menu is always an interactive title.
    TopMenu.TitlePlaybackType = TopMenu.IsHdmv() ? 1 : 3;
    w.U32(indexesLength);
    WriteTi(w, FirstPlayback);
    WriteTi(w, TopMenu);
    w.U16(uint16_t(titleCount));
    for (int i = 0; i < titleCount; ++i) WriteTi(w, *Titles.GetAt(i));

    if (ExtensionData) {
        ExtensionDataStartAddress = uint32_t(w.Position());
        w.PatchU32(12, ExtensionDataStartAddress);
        ExtensionData->BuildInto(w);
    } else {
        ExtensionDataStartAddress = 0;
    }
    IndexesStartAddress = kIndexesStart;
    AppInfoBDMVLength = kAppInfoLength;
    IndexesLength = indexesLength;
    NumberOfTitles = uint16_t(titleCount);
    *out = w.Take();
    return uint32_t(out->size());
}

void INDEX_BDMV::Write(CFile& file) {
    std::vector<uint8_t> image;
    Build(&image);
    file.Write(image.data(), image.size());
}

void INDEX_BDMV::Copy(const INDEX_BDMV& source, INDEX_BDMV& destination) {
    if (&source == &destination)
        return;
    destination.Reset();
    destination.TypeIndicator = source.TypeIndicator;
    destination.VersionNumber = source.VersionNumber;
    destination.IndexesStartAddress = source.IndexesStartAddress;
    destination.ExtensionDataStartAddress = source.ExtensionDataStartAddress;
    destination.AppInfoBDMVLength = source.AppInfoBDMVLength;
    destination.AppInfoBDMVFlags = source.AppInfoBDMVFlags;
    destination.ContentProviderUserData = source.ContentProviderUserData;
    destination.IndexesLength = source.IndexesLength;
    destination.FirstPlayback = source.FirstPlayback;
    destination.TopMenu = source.TopMenu;
    destination.NumberOfTitles = source.NumberOfTitles;
    destination.Titles.CopyFrom(source.Titles);
    if (source.ExtensionData)
        destination.ExtensionData = source.ExtensionData->Clone();
}

Json INDEX_BDMV::ToJson() const {
    Json j;
    j["TypeIndicator"] = JsonFileText(TypeIndicator);
    j["VersionNumber"] = JsonFileText(VersionNumber);
    j["IndexesStartAddress"] = IndexesStartAddress;
    j["ExtensionDataStartAddress"] = ExtensionDataStartAddress;
    j["AppInfoBDMV"] = {{"Length", AppInfoBDMVLength},
                        {"Flags", HexString(AppInfoBDMVFlags.data(), AppInfoBDMVFlags.size())}};
    j["ContentProviderUserData"] =
        HexString(ContentProviderUserData.data(), ContentProviderUserData.size());
    j["IndexesLength"] = IndexesLength;
    j["FirstPlayback"] = FirstPlayback.ToJson();
    j["TopMenu"] = TopMenu.ToJson();
    j["NumberOfTitles"] = NumberOfTitles;
    Json titles = Json::array();
    for (const TI* ti : Titles.Records()) titles.push_back(ti->ToJson());
    j["Titles"] = std::move(titles);
    if (ExtensionData)
        j["ExtensionData"] = ExtensionData->ToJson();
    return j;
}

}  // namespace vx
