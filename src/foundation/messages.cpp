#include "foundation/messages.h"

#include <cstdio>

namespace vx {
namespace {

MessageSink& CurrentSink() {
    static MessageSink sink;
    return sink;
}

}  // namespace

MessageSink SetMessageSink(MessageSink sink) {
    MessageSink previous = std::move(CurrentSink());
    CurrentSink() = std::move(sink);
    return previous;
}

void ShowMessage(const std::string& text) {
    if (CurrentSink()) {
        CurrentSink()(text);
        return;
    }
    std::fprintf(stderr, "%s\n", text.c_str());
}

MessageCapture::MessageCapture()
    : previous_(SetMessageSink([this](const std::string& text) { texts_.push_back(text); })) {}

MessageCapture::~MessageCapture() {
    SetMessageSink(std::move(previous_));
}

}  // namespace vx
