// Command text assembly: the input bytes are one line of command text. Checks that nothing
// crashes, that a text that assembles always assembles to the same bytes, and that those bytes
// keep the command layout (reserved bits zero, a known group, at most two operands).

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "bdmv/nav_command.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    vx::CNavCmd first;
    if (!vx::ParseCommand(text, first))
        return 0;

    vx::CNavCmd second;
    second.bytes.fill(0xAA);
    if (!vx::ParseCommand(text, second) || second.bytes != first.bytes)
        std::abort();

    const auto& b = first.bytes;
    int operandCount = b[0] >> 5;
    int group = (b[0] >> 3) & 0x03;
    if (operandCount > 2 || group > 2)
        std::abort();
    if ((b[1] & 0x30) != 0 || (b[2] & 0xF0) != 0 || (b[3] & 0xE0) != 0)
        std::abort();

    // An assembled GoTo is already in the form relocation writes, so a zero move keeps it.
    vx::CNavCmds list;
    list.Add(first);
    vx::RelocateGoTo(list, 0, 0);
    if (list.GetAt(0)->bytes != first.bytes)
        std::abort();
    return 0;
}
