// Extension data block: parse, rebuild, and check that the rebuild is stable; every entry of a
// known kind is also taken through its own object.

#include <cstdlib>
#include <vector>

#include "bdmv/ext_data.h"

namespace {

void CheckObjectStable(vx::SExtDataBase& object) {
    std::vector<uint8_t> first;
    object.Build(&first);
    std::unique_ptr<vx::SExtDataBase> again = object.Clone();
    if (again->Parse(first.data(), first.size()) != int32_t(first.size()))
        std::abort();
    std::vector<uint8_t> second;
    again->Build(&second);
    if (first != second)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    vx::CExtData block;
    int32_t used = block.Parse(data, size);
    if (used <= 0)
        return 0;
    if (size_t(used) > size)
        std::abort();
    (void)block.ToJson().dump();
    for (const vx::SExtDataEntry* entry : block.entries.Children()) {
        if (auto object = vx::CExtData::CreateObject(*entry))
            CheckObjectStable(*object);
    }

    std::vector<uint8_t> first;
    if (block.Build(nullptr) != block.Build(&first) || first.size() != block.Size())
        std::abort();
    vx::CExtData reparsed;
    if (reparsed.Parse(first.data(), first.size()) != int32_t(first.size()))
        std::abort();
    std::vector<uint8_t> second;
    reparsed.Build(&second);
    if (first != second)
        std::abort();
    return 0;
}
