#pragma once
// Runs the vexilla program as a user would and collects what it prints.

#include <string>
#include <vector>

namespace vx::test {

struct CommandResult {
    int exitCode = -1;
    std::string out;
    std::string err;
};

// Runs the vexilla executable with the given arguments (each passed as one word).
CommandResult RunVexilla(const std::vector<std::string>& args);

}  // namespace vx::test
