#pragma once
// What `vexilla analyze --json FILE` prints: the analysis of one elementary-stream file.

#include <string>

#include "bdmv/json.h"
#include "foundation/messages.h"

namespace vx {

// Analyses the file with the standard parsers (writing its stream information file) and
// describes the outcome: "path", "result" (the parse result code), "message" (its text), and
// on success "CodingType", "CodingTypeName", "AuCount", "AuDurationMs", "BitRate",
// "ExtBitRate", "FirstAuOffset", "DataLength" and "Attributes" (the stream information
// record's fields). Failure messages also go to the message sink as the driver shows them.
Json AnalyzeStreamFile(const std::string& path, const ProgressCallback& progress = {});

}  // namespace vx
