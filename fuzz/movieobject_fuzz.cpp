// Movie object file: parse, rebuild, and check that the rebuild is stable.

#include <cstdlib>
#include <vector>

#include "bdmv/movie_object.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vx::MOVIE_OBJECT_BDMV mobj;
    int32_t used = mobj.Parse(data, size);
    if (used <= 0)
        return 0;
    if (size_t(used) > size)
        std::abort();
    (void)mobj.ToJson().dump();

    std::vector<uint8_t> first;
    if (mobj.Build(nullptr) != mobj.Build(&first))
        std::abort();
    vx::MOVIE_OBJECT_BDMV reparsed;
    if (reparsed.Parse(first.data(), first.size()) != int32_t(first.size()))
        std::abort();
    std::vector<uint8_t> second;
    reparsed.Build(&second);
    if (first != second)
        std::abort();

    vx::MOVIE_OBJECT_BDMV copy;
    vx::MOVIE_OBJECT_BDMV::Copy(reparsed, copy);
    std::vector<uint8_t> third;
    copy.Build(&third);
    if (first != third)
        std::abort();
    return 0;
}
