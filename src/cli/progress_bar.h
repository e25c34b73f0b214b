#pragma once
// A progress bar on stderr for long operations, drawn only when stderr is a terminal.

#include "foundation/messages.h"

namespace vx::cli {

class ProgressBar {
public:
    ProgressBar();
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // The callback to hand to the core; it cancels the operation once Ctrl-C (SIGINT) or
    // SIGTERM has arrived, so that the operation cleans up and the program exits with 1.
    ProgressCallback Callback() { return {&ProgressBar::OnProgress, this}; }

    // Makes SIGINT and SIGTERM cancel the operation in progress instead of ending the process
    // at once (leaving temporary files behind).
    static void CatchInterrupts();

private:
    static bool OnProgress(void* context, const ProgressRecord& record);
    void Draw();
    void Clear();

    bool enabled_;
    bool drawn_ = false;
    int percent_ = 0;
    std::string status_;
};

}  // namespace vx::cli
