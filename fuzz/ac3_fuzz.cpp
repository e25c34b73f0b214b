// AC-3 / E-AC-3 stream analysis: the input is an ".ac3" file. Checks that nothing crashes or
// reads outside the file, that a failed parse leaves no stream information file, and that an
// accepted stream has an index whose AUs are frames inside the file: each begins with the sync
// word, and with an E-AC-3 extension the AUs alternate between AC-3 and E-AC-3 frames.

#include <cstdint>

#include "audio_fuzz_common.h"
#include "streams/ac3_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vx;
    CAC3Parser parser;
    CStreamInfo info;
    if (!fuzz::ParseInput(parser, "input.ac3", data, size, info))
        return 0;
    fuzz::CheckIndexAndRecord(info, size);
    for (uint32_t n = 0; n < info.AuCount(); ++n) {
        SIF_AU au;
        fuzz::Check(info.GetAu(n, au) && au.Offset + au.Size <= size && au.Size >= 2);
        fuzz::Check(data[au.Offset] == 0x0B && data[au.Offset + 1] == 0x77);
        if (info.CodingType() == 0x84 && au.Size > 5) {
            bool eac3 = (data[au.Offset + 5] >> 3) == 16;
            fuzz::Check(eac3 == (au.Flags == 1));
        }
    }
    return 0;
}
