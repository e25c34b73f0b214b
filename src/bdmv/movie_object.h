#pragma once
// The movie object file (MovieObject.bdmv): the disc's HDMV programs. Each movie object is a
// few flags and a list of navigation commands; the index table refers to movie objects by their
// position in this file.
//
// File layout (big-endian):
//     0    4   type indicator ("MOBJ")
//     4    4   version number ("0200")
//     8    4   extension data start address, 0 when there is none
//     12   28  zero
//     40   4   movie objects length: the bytes that follow this field
//     44   4   zero
//     48   2   number of movie objects
//     50       the movie objects, one after another:
//                  byte 0 bit 7 resume intention flag, bit 6 menu call mask, bit 5 title
//                  search mask; byte 1 zero; bytes 2-3 command count n; n commands of 12 bytes
//              extension data block, when present, directly behind the last movie object

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bdmv/ext_data.h"
#include "bdmv/json.h"
#include "bdmv/nav_cmd.h"
#include "foundation/file.h"

namespace vx {

struct MOVIE_OBJECT {
    uint8_t ResumeIntentionFlag = 0;          // the player may resume this object after a menu call
    uint8_t MenuCallMask = 0;                 // 1 forbids the menu call key while the object runs
    uint8_t TitleSearchMask = 0;              // 1 forbids title search while the object runs
    uint16_t NumberOfNavigationCommands = 0;  // as last read or written
    CNavCmds Commands;                        // the program, in execution order

    MOVIE_OBJECT() = default;
    MOVIE_OBJECT(const MOVIE_OBJECT&) = delete;
    MOVIE_OBJECT& operator=(const MOVIE_OBJECT&) = delete;

    // Bytes the object occupies in the file: 4 + 12 per command.
    uint32_t Size() const;
    static void Copy(const MOVIE_OBJECT& source, MOVIE_OBJECT& destination);
    Json ToJson() const;
};

struct MOVIE_OBJECTS {
    uint32_t length = 0;         // the length field, as last read or written
    uint16_t NumberOfMobjs = 0;  // as last read or written
    std::vector<std::unique_ptr<MOVIE_OBJECT>> Objects;  // movie object 0 is element 0

    int GetCount() const { return int(Objects.size()); }
    MOVIE_OBJECT* GetAt(int index) const {
        return index >= 0 && index < GetCount() ? Objects[size_t(index)].get() : nullptr;
    }
    MOVIE_OBJECT* Add() { return Objects.emplace_back(std::make_unique<MOVIE_OBJECT>()).get(); }
};

struct MOVIE_OBJECT_BDMV {
    static constexpr uint32_t kMovieObjectsStart = 40;

    std::string TypeIndicator = "MOBJ";  // 4 characters, kept as read
    std::string VersionNumber = "0200";  // 4 characters, kept as read
    uint32_t ExtensionDataStartAddress = 0;
    MOVIE_OBJECTS MovieObjects;
    std::unique_ptr<CExtData> ExtensionData;  // null when the file has none

    MOVIE_OBJECT_BDMV() = default;
    MOVIE_OBJECT_BDMV(const MOVIE_OBJECT_BDMV&) = delete;
    MOVIE_OBJECT_BDMV& operator=(const MOVIE_OBJECT_BDMV&) = delete;

    // Parses the whole file. Returns the offset just past the last byte used (> 0), or 0 when a
    // length, count or address leaves the file or the blocks overlap.
    int32_t Parse(const uint8_t* data, size_t size);
    // With out, fills *out with the file image and updates lengths, counts and addresses; with a
    // null out returns the size only.
    uint32_t Build(std::vector<uint8_t>* out);
    // Builds and writes the image with one write; raises FileError.
    void Write(CFile& file);
    static void Copy(const MOVIE_OBJECT_BDMV& source, MOVIE_OBJECT_BDMV& destination);
    Json ToJson() const;

private:
    void Reset();
};

}  // namespace vx
