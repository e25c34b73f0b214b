#pragma once
// Analysis of AC-3 and E-AC-3 elementary-stream files (".ac3"): a stream of AC-3 frames
// (coding type 0x81), of E-AC-3 frames alone (0xA1, only usable as secondary audio), or of
// AC-3 and E-AC-3 frames in alternation (0x84: an AC-3 core with its E-AC-3 extension).
//
// The first three frame headers are checked in full and decide the kind of stream; the frame
// sizes found there are then taken as constant, and every later frame only has to begin with
// the sync word where the previous one ends. One AU is one frame (32 ms).

#include <memory>

#include "streams/ac3_frame.h"
#include "streams/audio_sif.h"
#include "streams/parser_base.h"

namespace vx {

class CAC3Parser : public CParserBase {
public:
    // How often the scan reports progress.
    static constexpr uint64_t kProgressStep = 0x500000;

    CAC3Parser() : CParserBase(0x81, {".ac3"}) {}

    // The file begins with the sync word 0x0B77.
    bool Probe(CFile& file) override;
    // Results: 0; 1 cancelled; 2 a frame of the first three without sync word; 3 the first
    // three frames neither of one kind nor alternating; 6 the file ends inside the first three
    // frames; 8 a later frame without sync word where one is due, or a frame of the first three
    // whose size breaks the constant frame pattern; 15, 17, 18, 20, 21 from the header checks
    // (ac3_frame.h). A final frame cut short by the end of the file is not counted.
    int ParseStream(CFile& file, CSifWriter& sif, const ProgressCallback& progress) override;

    std::unique_ptr<CSifData> CreateSifData() const override { return std::make_unique<CAc3Sif>(); }
    bool ProducesCodingType(uint8_t codingType) const override {
        return codingType == 0x81 || codingType == 0x84 || codingType == 0xA1;
    }
};

}  // namespace vx
