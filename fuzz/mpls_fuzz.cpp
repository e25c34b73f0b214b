// Playlist file: parse, describe, rebuild, and check that the rebuild is stable and that a copy
// builds the same image.

#include <cstdlib>
#include <vector>

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

    std::vector<uint8_t> first;
    uint32_t expected = mpls.Build(nullptr);
    if (mpls.Build(&first) != expected)
        std::abort();
    if (expected == 0)
        return 0;  // a record the format cannot hold (refused, nothing built)
    if (first.size() != expected)
        std::abort();
    vx::MPLS reparsed;
    if (reparsed.Parse(first.data(), first.size()) != int32_t(first.size()))
        std::abort();
    std::vector<uint8_t> second;
    reparsed.Build(&second);
    if (first != second)
        std::abort();

    vx::MPLS copy;
    vx::MPLS::Copy(reparsed, copy);
    std::vector<uint8_t> third;
    copy.Build(&third);
    if (first != third)
        std::abort();
    return 0;
}
