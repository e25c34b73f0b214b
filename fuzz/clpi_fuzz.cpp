// Clip information parser: whatever parses must build, and the built image must parse back and
// build to the same bytes; the size Build predicts must be the size it writes.

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "bdmv/clpi.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    for (bool readCpi : {true, false}) {
        vx::CLPI clpi;
        if (clpi.Parse(data, size, readCpi) <= 0)
            continue;
        const uint32_t predicted = clpi.Build(nullptr);
        std::vector<uint8_t> first;
        if (clpi.Build(&first) != predicted || first.size() != predicted)
            std::abort();
        (void)clpi.ToJson().dump();

        vx::CLPI again;
        if (again.Parse(first.data(), first.size()) != int32_t(first.size()))
            std::abort();
        std::vector<uint8_t> second;
        again.Build(&second);
        if (second != first)
            std::abort();
    }
    return 0;
}
