#pragma once
// Readable text of a record's JSON description: one "Key: value" line per field, nested
// blocks indented, list items numbered.

#include <ostream>

#include "bdmv/json.h"

namespace vx::cli {

void PrintAsText(std::ostream& out, const Json& value, int indent = 0);

}  // namespace vx::cli
