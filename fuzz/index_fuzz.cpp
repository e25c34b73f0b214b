// Index table file: parse, rebuild, and check that the rebuild is stable.

#include <cstdlib>
#include <vector>

#include "bdmv/index_bdmv.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vx::INDEX_BDMV index;
    int32_t used = index.Parse(data, size);
    if (used <= 0)
        return 0;
    if (size_t(used) > size)
        std::abort();
    (void)index.ToJson().dump();

    std::vector<uint8_t> first;
    if (index.Build(nullptr) != index.Build(&first))
        std::abort();
    vx::INDEX_BDMV reparsed;
    if (reparsed.Parse(first.data(), first.size()) != int32_t(first.size()))
        std::abort();
    std::vector<uint8_t> second;
    reparsed.Build(&second);
    if (first != second)
        std::abort();

    vx::INDEX_BDMV copy;
    vx::INDEX_BDMV::Copy(reparsed, copy);
    std::vector<uint8_t> third;
    copy.Build(&third);
    if (first != third)
        std::abort();
    return 0;
}
