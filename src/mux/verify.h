#pragma once
// The stream checker: reads a BDMV stream file (.m2ts) back and judges it rule by rule, for a
// file of any origin. The decoder-buffer rule runs a transport-stream system target decoder
// (T-STD) of its own, after ISO/IEC 13818-1 2.4.2: per elementary stream, TB (512 bytes) drained
// at Rx, for video MB drained at Rbx by the leak method, and EB, from which each AU is removed
// whole at its decoding time. It shares with the multiplexer only the buffer sizes and rates of
// the stream descriptions, so that a fault of the multiplexer's own scheduling model cannot pass
// unseen.
//
// Rules ("rule" names as reported):
//   units        the file is whole 6144-byte aligned units
//   sync         every transport packet starts with 0x47
//   arrival      arrival time stamps increase, at least one packet time apart at the clip's rate
//                (48 Mbit/s when unknown)
//   psi          PAT and PMT at least every 100 ms, SIT at least every second
//   pcr          PCR at least every 100 ms, and PCR minus arrival time constant
//   continuity   continuity counters count on per PID (adaptation-only packets keep theirs)
//   pes          PES headers well formed, with the time stamps the coding type calls for
//   tstd         no TB, MB or EB overflows, every AU whole in EB by its decoding time
// With clip information also: clpi-packets, clpi-streams, clpi-times, clpi-epmap.

#include <cstdint>
#include <string>
#include <vector>

#include "bdmv/clpi.h"
#include "bdmv/json.h"
#include "foundation/file.h"

namespace vx {

struct VerifyRule {
    std::string rule;
    bool ok = true;
    std::string detail;
};

struct VerifyReport {
    std::string path;
    uint64_t packets = 0;
    std::vector<VerifyRule> rules;

    bool Ok() const;
    const VerifyRule* Find(const std::string& rule) const;
    Json ToJson() const;
};

// Judges the stream file; clip, when given, is its clip information. Raises FileError when the
// file cannot be read.
VerifyReport VerifyStreamFile(CFile& file, const CLPI* clip = nullptr);

}  // namespace vx
