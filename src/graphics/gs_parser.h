#pragma once
// Analysis of graphics stream files (".sup", ".pg", ".ig"): a sequence of units, each a 10-byte
// stream header and one segment, with no file header:
//
//   0   2  magic "PG" or "IG" (either letter case; it says nothing the parser relies on)
//   2   4  PTS of the segment, 90 kHz, big-endian
//   6   4  DTS of the segment, 90 kHz, 0 when it has none
//  10      the segment: type (1), length (2), body
//
// One AU is one segment without its stream header. A stream is IG from its first interactive
// composition segment (ICS) on, PG until then; PG time stamps, which conventionally start at
// 0, are moved by 131,070 ticks to the start every analysed stream shares.

#include <cstdint>
#include <memory>

#include "graphics/gs_sif.h"
#include "streams/parser_base.h"

namespace vx {

class CGsParser : public CParserBase {
public:
    // Progress is reported at most once per this many bytes.
    static constexpr uint64_t kProgressStep = 0x500000;
    static constexpr size_t kUnitHeaderSize = 10;

    CGsParser() : CParserBase(0x90, {".sup", ".pg", ".ig"}) {}

    // The first two bytes are "PG" or "IG", ignoring letter case.
    bool Probe(CFile& file) override;
    // Fills the AU table (flags: segment type in bits 0-7; for a PCS or ICS its composition
    // state in bits 8-15; a PCS without composition objects sets bit 16) and the record with
    // the video descriptor of the last PCS or ICS. Results: 0; 1 cancelled, or the file ends
    // where a unit should start (also when the last segment runs past the end of the file);
    // 2 a unit whose magic is neither "PG" nor "IG"; 8 a unit header cut short, or a PCS or
    // ICS too short for its fixed fields.
    int ParseStream(CFile& file, CSifWriter& sif, const ProgressCallback& progress) override;

    std::unique_ptr<CSifData> CreateSifData() const override { return std::make_unique<SGsSif>(); }
    bool ProducesCodingType(uint8_t codingType) const override {
        return codingType == 0x90 || codingType == 0x91;
    }
};

}  // namespace vx
