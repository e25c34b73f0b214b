#pragma once
// HDMV navigation commands: fixed 12-byte instructions kept exactly as they stand in the file,
// and the command list of a movie object or a button.

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

#include "foundation/named_object.h"

namespace vx {

struct CNavCmd {
    std::array<uint8_t, 12> bytes{};
};

class CNavCmds : public CTypeArray<CNavCmd> {
    VX_DYNAMIC(CNavCmds, CTypeArray<CNavCmd>)

public:
    // Empties the list and appends count commands read 12 bytes at a time; returns 12 * count.
    // The caller guarantees that 12 * count bytes are readable at bytes.
    int32_t Load(const uint8_t* bytes, int count);
    // Copies every command in order; with a null out only returns 12 * count.
    int32_t Store(uint8_t* out) const;
};

}  // namespace vx
