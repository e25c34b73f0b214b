#pragma once
// vexilla analyze: runs the stream analysis on elementary-stream files.

#include <ostream>
#include <string>
#include <vector>

namespace vx::cli {

// Analyses each file (leaving its stream information file) and prints what was found. Returns
// 0 when every file was accepted, 2 otherwise (the parser's message is on stderr).
int RunAnalyze(const std::vector<std::string>& paths, bool json, std::ostream& out);

}  // namespace vx::cli
