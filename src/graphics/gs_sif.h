#pragma once
// The stream information record of a graphics stream file: PG (0x90) or IG (0x91), the video
// format its compositions are made for, and for IG the stream model of its first interactive
// composition. Stored as 11 bytes, little-endian: version (4), coding type (1), stream-model
// flag (1), width (2), height (2), frame-rate code (1).

#include <cstdint>

#include "streams/sif_data.h"

namespace vx {

struct SGsSif : public CSifData {
    static constexpr size_t kSize = 11;

    uint8_t CodingType = 0;
    // The IG stream model: 0 multiplexed with the video, 1 preloaded; 0 for PG.
    uint8_t StreamModel = 0;
    uint16_t Width = 0;
    uint16_t Height = 0;
    uint8_t FrameRate = 0;  // the video descriptor's code: 1 23.976, 2 24, 3 25, 4 29.97 ...
    // The low 4 bits of the video descriptor's frame-rate byte; kept in memory only.
    uint8_t FrameRateLowBits = 0;

    void Clear() override;
    void CopyFrom(const CSifData& other) override;
    bool Equals(const CSifData& other) const override;
    void FillEsi(ESI& esi) const override;
    void FillStreamInfo(STREAM_INFO& info) const override;
    void FillStreamAttributes(STREAM_ATTRIBUTES& attributes) const override;
    // One CPgStd for PG, one CIgStd for IG (with the stream model), none for other codes.
    StdList MakeDescriptions() const override;
    void Read(LeReader& in) override;
    void Write(LeWriter& out) const override;
    bool IsMultiplexedModel() const override { return StreamModel == 0; }
    uint8_t GetCodingType() const override { return CodingType; }
    std::unique_ptr<CSifData> Clone() const override;
    Json ToJson() const override;
};

}  // namespace vx
