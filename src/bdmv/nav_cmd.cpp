#include "bdmv/nav_cmd.h"

#include <cstring>

namespace vx {

int32_t CNavCmds::Load(const uint8_t* bytes, int count) {
    RemoveAll();
    for (int i = 0; i < count; ++i) {
        CNavCmd cmd;
        std::memcpy(cmd.bytes.data(), bytes + 12 * i, 12);
        Add(cmd);
    }
    return 12 * count;
}

int32_t CNavCmds::Store(uint8_t* out) const {
    if (out != nullptr) {
        int i = 0;
        for (const CNavCmd* cmd : Records()) std::memcpy(out + 12 * i++, cmd->bytes.data(), 12);
    }
    return 12 * GetCount();
}

}  // namespace vx
