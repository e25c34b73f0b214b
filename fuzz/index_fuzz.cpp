// Index table file: parse, rebuild, and check that the rebuild is stable.

#include <cstdlib>
#include <vector>

#include "record_round_trip.h"

#include "bdmv/index_bdmv.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vx::INDEX_BDMV index;
    int32_t used = index.Parse(data, size);
    if (used <= 0)
        return 0;
    if (size_t(used) > size)
        std::abort();
    (void)index.ToJson().dump();

    vx::fuzz::CheckRoundTrip(index);
    return 0;
}
