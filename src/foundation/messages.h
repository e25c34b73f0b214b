#pragma once
// The two seams through which the core talks to a person: the message sink (a message box in
// the desktop application, a line on stderr on the command line) and the progress callback of
// long operations.

#include <functional>
#include <string>
#include <vector>

namespace vx {

using MessageSink = std::function<void(const std::string& text)>;

// Installs the sink that ShowMessage uses; an empty sink restores the default, which writes the
// text and a newline to stderr. Returns the previous sink.
MessageSink SetMessageSink(MessageSink sink);
void ShowMessage(const std::string& text);

// Collects every message shown while it lives (for tests and for callers that show the texts
// their own way), then puts the previous sink back.
class MessageCapture {
public:
    MessageCapture();
    ~MessageCapture();
    MessageCapture(const MessageCapture&) = delete;
    MessageCapture& operator=(const MessageCapture&) = delete;
    const std::vector<std::string>& Texts() const { return texts_; }

private:
    std::vector<std::string> texts_;
    MessageSink previous_;
};

// Result codes of long operations.
enum Result : int { resultSuccess = 0, resultCancelled = 1, resultError = 2 };

struct ProgressRecord {
    enum Status : int { percent = 0, statusText = 1, title = 2, hideBar = 3 };
    int status = percent;
    int percentDone = 0;
    std::string text;
    std::string titleText;
};

// A function taking a context and a record and returning whether to go on: a false return
// cancels the operation that called it.
struct ProgressCallback {
    bool (*function)(void* context, const ProgressRecord& record) = nullptr;
    void* context = nullptr;

    bool Report(const ProgressRecord& record) const {
        return function == nullptr || function(context, record);
    }
    bool Percent(int value) const { return Report({ProgressRecord::percent, value, {}, {}}); }
    bool Status(const std::string& text) const {
        return Report({ProgressRecord::statusText, 0, text, {}});
    }
    bool Title(const std::string& text) const {
        return Report({ProgressRecord::title, 0, {}, text});
    }
    bool HideBar() const { return Report({ProgressRecord::hideBar, 0, {}, {}}); }
};

}  // namespace vx
