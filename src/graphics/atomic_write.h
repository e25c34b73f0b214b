#pragma once
// Writing a file so that it appears under its name only when whole: the bytes go to a
// temporary file beside it, which is flushed, closed and renamed over the name.

#include <cstdint>
#include <string>
#include <vector>

namespace vx {

// Returns false (with the system's description of the failing step) when any write, flush,
// close or rename fails; the temporary file is removed then and the name is left untouched.
bool WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& data,
                         std::string* error = nullptr);

}  // namespace vx
