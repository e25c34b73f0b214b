#pragma once
// The stream coding types of BDMV elementary streams (the stream_coding_type byte of clip
// information, playlists and the program map table), their names and categories.

#include <cstdint>

namespace vx {

namespace coding {
inline constexpr uint8_t kMpeg2Video = 0x02;
inline constexpr uint8_t kAvc = 0x1B;
inline constexpr uint8_t kVc1 = 0xEA;
inline constexpr uint8_t kLpcm = 0x80;
inline constexpr uint8_t kAc3 = 0x81;
inline constexpr uint8_t kDts = 0x82;
inline constexpr uint8_t kTrueHd = 0x83;    // AC-3 core + TrueHD
inline constexpr uint8_t kEac3 = 0x84;      // AC-3 core + E-AC-3
inline constexpr uint8_t kDtsHd = 0x85;     // DTS core + DTS-HD, except XLL
inline constexpr uint8_t kDtsHdXll = 0x86;  // DTS core + DTS-HD master audio
inline constexpr uint8_t kEac3Secondary = 0xA1;
inline constexpr uint8_t kDtsHdSecondary = 0xA2;
inline constexpr uint8_t kPg = 0x90;
inline constexpr uint8_t kIg = 0x91;
inline constexpr uint8_t kTextSubtitle = 0x92;
}  // namespace coding

enum class StreamCategory { none, video, audio, pg, ig, other };

// none for a code that is not a stream coding type.
StreamCategory CategoryOf(uint8_t codingType);
inline bool IsVideoType(uint8_t codingType) {
    return CategoryOf(codingType) == StreamCategory::video;
}
inline bool IsAudioType(uint8_t codingType) {
    return CategoryOf(codingType) == StreamCategory::audio;
}
inline bool IsGraphicsType(uint8_t codingType) {
    return codingType == coding::kPg || codingType == coding::kIg;
}

// The long name labels tracks in stream descriptions, the short name appears in track lists.
// Both are null for a code without a name.
const char* CodingTypeName(uint8_t codingType);
const char* CodingTypeShortName(uint8_t codingType);

}  // namespace vx
