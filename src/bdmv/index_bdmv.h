#pragma once
// The index table file (index.bdmv): which object runs at first playback, which runs as the top
// menu, and which object each numbered title runs.
//
// File layout (big-endian):
//     0    4   type indicator ("INDX")
//     4    4   version number ("0200")
//     8    4   indexes start address (78 when we write it)
//     12   4   extension data start address, 0 when there is none
//     16   24  zero
//     40   4   AppInfoBDMV length (34)
//     44   2   AppInfoBDMV flags (output mode, stereoscopic flag, video format, frame rate)
//     46   32  ContentProviderUserData
//     78   4   Indexes length: the bytes that follow (26 + 12 x titles)
//     82   12  FirstPlayback entry
//     94   12  TopMenu entry
//     106  2   number of titles
//     108  12  per title: its entry
//              extension data block, when present, directly behind the titles

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

// A title entry (FirstPlayback, TopMenu or a numbered title), 12 bytes in the file:
//     byte 0 bits 7-6 ObjectType, bits 5-4 TitleAccessType; byte 4 bits 7-6 playback type;
//     ObjectType 1: bytes 6-7 movie object id; otherwise bytes 6-10 the BD-J object file name.
struct TI {
    static constexpr uint8_t kHdmv = 1;
    static constexpr uint8_t kBdj = 2;
    static constexpr uint16_t kNoMovieObject = 0xFFFF;

    uint8_t ObjectType = kHdmv;  // 1 HDMV (a movie object runs), 2 BD-J
    uint8_t TitleAccessType = 0;
    // HDMV_TitlePlaybackType (0 movie title, 1 interactive) or BDJ_TitlePlaybackType (2 movie
    // title, 3 interactive).
    uint8_t TitlePlaybackType = 0;
    uint16_t MovieObjectId = kNoMovieObject;                     // used when ObjectType is 1
    std::array<char, 5> BDJO_FileName{'0', '0', '0', '0', '0'};  // used otherwise

    bool IsHdmv() const { return ObjectType == kHdmv; }
    std::string BdjoName() const { return std::string(BDJO_FileName.data(), 5); }
    // Takes the first five characters of name, padding with '0'.
    void SetBdjoName(const std::string& name);
    Json ToJson() const;
};

// The numbered titles; title 1 is element 0.
class CTiFolder : public CTypeArray<TI> {
    VX_DYNAMIC(CTiFolder, CTypeArray<TI>)
};

struct INDEX_BDMV {
    static constexpr uint32_t kIndexesStart = 78;
    static constexpr uint32_t kAppInfoLength = 34;

    std::string TypeIndicator = "INDX";  // 4 characters, kept as read
    std::string VersionNumber = "0200";  // 4 characters, kept as read
    uint32_t IndexesStartAddress = 0;
    uint32_t ExtensionDataStartAddress = 0;
    uint32_t AppInfoBDMVLength = 0;
    std::array<uint8_t, 2> AppInfoBDMVFlags{};
    std::array<uint8_t, 32> ContentProviderUserData{};
    uint32_t IndexesLength = 0;
    TI FirstPlayback;
    TI TopMenu;
    uint16_t NumberOfTitles = 0;  // as last read or written
    CTiFolder Titles;
    std::unique_ptr<CExtData> ExtensionData;  // null when the file has none

    INDEX_BDMV() = default;
    INDEX_BDMV(const INDEX_BDMV&) = delete;
    INDEX_BDMV& operator=(const INDEX_BDMV&) = delete;

    // Parses the whole file. Returns the offset just past the last byte used (> 0), or 0 when a
    // length, count or address leaves the file or the blocks overlap.
    int32_t Parse(const uint8_t* data, size_t size);
    // With out, fills *out with the file image and updates addresses, lengths and counts, and
    // the top menu's playback type (the top menu is always an interactive title); with a null
    // out returns the size only.
    uint32_t Build(std::vector<uint8_t>* out);
    // Builds and writes the image with one write; raises FileError.
    void Write(CFile& file);
    static void Copy(const INDEX_BDMV& source, INDEX_BDMV& destination);
    Json ToJson() const;

private:
    void Reset();
};

}  // namespace vx
