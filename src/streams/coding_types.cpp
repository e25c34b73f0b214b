#include "streams/coding_types.h"

namespace vx {

namespace {

struct CodingTypeNames {
    uint8_t code;
    StreamCategory category;
    const char* name;
    const char* shortName;
};

constexpr CodingTypeNames kNames[] = {
    {0x02, StreamCategory::video, "MPEG-2 Video", "MPEG-2 Video"},
    {0x1B, StreamCategory::video, "MPEG-4 AVC/h.264", "MPEG-4 AVC/H.264"},
    {0xEA, StreamCategory::video, "VC-1", "VC-1"},
    {0x80, StreamCategory::audio, "LPCM (WAV)", "LPCM audio"},
    {0x81, StreamCategory::audio, "AC-3", "AC-3"},
    {0x82, StreamCategory::audio, "DTS", "DTS"},
    {0x83, StreamCategory::audio, "TrueHD/Dolby Lossless", "TrueHD"},
    {0x84, StreamCategory::audio, "Dolby Digital Plus/E-AC3", "EAC-3"},
    {0x85, StreamCategory::audio, "DTS-HD except XLL", "DTS-HD except XLL"},
    {0x86, StreamCategory::audio, "DTS-HD XLL", "DTS-HD XLL"},
    {0xA1, StreamCategory::audio, "Dolby Digital Plus (2nd Audio)", "EAC-3"},
    {0xA2, StreamCategory::audio, "DTS-HD LBR (2nd Audio)", "DTS-HD LBR"},
    {0x90, StreamCategory::pg, "PG/Subtitle", "PG(Subtitle)"},
    {0x91, StreamCategory::ig, "IG/Menu", "IG(Menu)"},
    {0x92, StreamCategory::other, "Text subtitle", "Text subtitle"},
};

const CodingTypeNames* Find(uint8_t code) {
    for (const auto& entry : kNames)
        if (entry.code == code)
            return &entry;
    return nullptr;
}

}  // namespace

StreamCategory CategoryOf(uint8_t codingType) {
    const auto* entry = Find(codingType);
    return entry ? entry->category : StreamCategory::none;
}

const char* CodingTypeName(uint8_t codingType) {
    const auto* entry = Find(codingType);
    return entry ? entry->name : nullptr;
}

const char* CodingTypeShortName(uint8_t codingType) {
    const auto* entry = Find(codingType);
    return entry ? entry->shortName : nullptr;
}

}  // namespace vx
