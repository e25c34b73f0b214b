#pragma once
// vexilla mux, clipinfo and verify: re-multiplexing existing stream files, making clip
// information for a stream file, and judging a stream file against the transport rules.

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace vx::cli {

struct MuxOptions {
    std::string output;
    std::string clipOutput;  // empty: beside the stream by the folder rule
    uint32_t rate = 48000000;
    std::optional<int> applicationType;
    std::vector<int> pids;  // source PIDs to keep; empty: all
    bool force = false;     // replace an existing clip information file
    std::vector<std::string> inputs;
};

// Returns 0, 1 when cancelled, 2 on an error (the reason on stderr).
int RunMux(const MuxOptions& options);
int RunClipInfo(const std::string& stream, const std::string& output, bool force);
// Judges a stream file (and its clip information when clip is not empty): 0 when every rule
// holds, 2 otherwise.
int RunVerify(const std::string& stream, const std::string& clip, bool json, std::ostream& out);

// A transport stream file by its extension (.m2ts, .mts); other inputs of mux are
// elementary-stream files.
bool IsStreamFile(const std::string& path);

// "0x1011,4352" -> PIDs; false on a malformed list.
bool ParsePidList(const std::string& text, std::vector<int>* pids);

}  // namespace vx::cli
