// Playlist file: parse, describe, rebuild, and check that the rebuild is stable and that a copy
// builds the same image.

#include <cstdlib>
#include <vector>

#include "record_round_trip.h"

#include "bdmv/mpls.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vx::MPLS mpls;
    int32_t used = mpls.Parse(data, size);
    if (used <= 0)
        return 0;
    if (size_t(used) > size)
        std::abort();
    (void)mpls.ToJson().dump();
    std::vector<int> clips;
    mpls.CollectClipNumbers(clips);
    (void)mpls.PipMetadata();

    vx::fuzz::CheckRoundTrip(mpls);
    return 0;
}
