#pragma once
// Builds graphics stream files for tests: units of a 10-byte stream header ("PG"/"IG", PTS,
// DTS) and one segment.

#include <cstdint>
#include <string>
#include <vector>

namespace vx::test {

struct GsUnit {
    std::string magic = "PG";
    uint32_t pts = 0;
    uint32_t dts = 0;
    uint8_t type = 0x80;
    std::vector<uint8_t> body;
};

inline void AppendUnit(std::vector<uint8_t>& out, const GsUnit& u) {
    auto be32 = [&](uint32_t v) {
        for (int shift = 24; shift >= 0; shift -= 8) out.push_back(uint8_t(v >> shift));
    };
    out.insert(out.end(), u.magic.begin(), u.magic.end());
    be32(u.pts);
    be32(u.dts);
    out.push_back(u.type);
    out.push_back(uint8_t(u.body.size() >> 8));
    out.push_back(uint8_t(u.body.size()));
    out.insert(out.end(), u.body.begin(), u.body.end());
}

inline std::vector<uint8_t> GsStream(const std::vector<GsUnit>& units) {
    std::vector<uint8_t> out;
    for (const auto& u : units) AppendUnit(out, u);
    return out;
}

// Video descriptor and composition descriptor shared by PCS and ICS.
inline std::vector<uint8_t> CompositionHead(uint16_t width, uint16_t height, uint8_t frameRate,
                                            uint8_t state, uint16_t number = 0) {
    return {uint8_t(width >> 8), uint8_t(width),          uint8_t(height >> 8),
            uint8_t(height),     uint8_t(frameRate << 4), uint8_t(number >> 8),
            uint8_t(number),     uint8_t(state << 6)};
}

// A PCS body with the given number of (uncropped) composition objects.
inline std::vector<uint8_t> PcsBody(uint16_t width, uint16_t height, uint8_t frameRate,
                                    uint8_t state, uint8_t objects) {
    std::vector<uint8_t> body = CompositionHead(width, height, frameRate, state);
    body.insert(body.end(), {0x00, 0x00, objects});
    for (uint8_t i = 0; i < objects; ++i)
        body.insert(body.end(), {0x00, i, 0x00, 0x00, 0x00, 0x10, 0x00, 0x20});
    return body;
}

// An ICS body: descriptors, a sequence descriptor with first and last flags, the composition
// data length, then the composition beginning with the stream model (bit 7) and padding.
inline std::vector<uint8_t> IcsBody(uint16_t width, uint16_t height, uint8_t frameRate,
                                    uint8_t state, uint8_t streamModel) {
    std::vector<uint8_t> body = CompositionHead(width, height, frameRate, state);
    body.insert(body.end(), {0xC0, 0x00, 0x00, 0x08, uint8_t(streamModel << 7)});
    body.resize(body.size() + 7, 0);
    return body;
}

}  // namespace vx::test
