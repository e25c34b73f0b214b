#include "cli/analyze.h"

#include "cli/progress_bar.h"
#include "cli/text_output.h"
#include "graphics/analyze.h"

namespace vx::cli {

int RunAnalyze(const std::vector<std::string>& paths, bool json, std::ostream& out) {
    bool allAccepted = true;
    bool first = true;
    for (const std::string& path : paths) {
        Json result;
        {
            ProgressBar bar;
            result = AnalyzeStreamFile(path, bar.Callback());
        }
        bool accepted = result.value("result", -1) == 0;
        allAccepted = allAccepted && accepted;
        if (json) {
            out << result.dump() << '\n';
        } else if (accepted) {
            out << (first ? "" : "\n") << "== " << path << '\n';
            PrintAsText(out, result, 2);
        }
        first = false;
    }
    return allAccepted ? 0 : 2;
}

}  // namespace vx::cli
