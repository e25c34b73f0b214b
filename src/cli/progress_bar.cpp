#include "cli/progress_bar.h"

#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <string>

namespace vx::cli {

namespace {
volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) {
    interrupted = 1;
}
}  // namespace

void ProgressBar::CatchInterrupts() {
    struct sigaction action {};
    action.sa_handler = &OnInterrupt;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
}

ProgressBar::ProgressBar() : enabled_(::isatty(STDERR_FILENO) == 1) {}

ProgressBar::~ProgressBar() {
    Clear();
}

bool ProgressBar::OnProgress(void* context, const ProgressRecord& record) {
    auto* bar = static_cast<ProgressBar*>(context);
    switch (record.status) {
        case ProgressRecord::percent:
            bar->percent_ = record.percentDone;
            bar->Draw();
            break;
        case ProgressRecord::statusText:
            bar->status_ = record.text;
            bar->Draw();
            break;
        case ProgressRecord::hideBar:
            bar->Clear();
            break;
        default:
            break;
    }
    return interrupted == 0;
}

void ProgressBar::Draw() {
    if (!enabled_)
        return;
    constexpr int kWidth = 30;
    int filled = percent_ < 0 ? 0 : (percent_ > 100 ? kWidth : percent_ * kWidth / 100);
    std::string bar(size_t(filled), '#');
    bar.append(size_t(kWidth - filled), ' ');
    std::fprintf(stderr, "\r[%s] %3d%% %s\033[K", bar.c_str(), percent_, status_.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void ProgressBar::Clear() {
    if (!drawn_)
        return;
    std::fprintf(stderr, "\r\033[K");
    std::fflush(stderr);
    drawn_ = false;
}

}  // namespace vx::cli
