// Movie object file: parse, rebuild, and check that the rebuild is stable.

#include <cstdlib>
#include <vector>

#include "record_round_trip.h"

#include "bdmv/movie_object.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vx::MOVIE_OBJECT_BDMV mobj;
    int32_t used = mobj.Parse(data, size);
    if (used <= 0)
        return 0;
    if (size_t(used) > size)
        std::abort();
    (void)mobj.ToJson().dump();

    vx::fuzz::CheckRoundTrip(mobj);
    return 0;
}
