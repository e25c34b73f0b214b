#pragma once
// The harness through which the tests hand discs we wrote to libbluray, a real player library:
// opening a disc, its titles, reading its stream data, and what libbluray logs meanwhile.

#include <libbluray/bluray.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vx::test {

struct BlurayCloser {
    void operator()(BLURAY* bd) const { bd_close(bd); }
};
struct TitleInfoFree {
    void operator()(BLURAY_TITLE_INFO* info) const { bd_free_title_info(info); }
};
using Bluray = std::unique_ptr<BLURAY, BlurayCloser>;
using TitleInfo = std::unique_ptr<BLURAY_TITLE_INFO, TitleInfoFree>;

// The disc in folder (the folder that holds BDMV), or null when libbluray refuses it.
Bluray OpenDisc(const std::string& folder);

// Collects what libbluray logs at the levels of mask while it lives (the default: critical
// errors, which libbluray logs for every fault it finds in a disc's files and streams).
class BlurayLog {
public:
    explicit BlurayLog(uint32_t mask = 0x800 /* DBG_CRIT */);
    ~BlurayLog();
    BlurayLog(const BlurayLog&) = delete;
    BlurayLog& operator=(const BlurayLog&) = delete;
    const std::vector<std::string>& Lines() const;
};

// The first presentation time stamp of a PES packet of pid in source packets read from a title
// (aligned units, as bd_read gives them); -1 when there is none.
int64_t FirstPts(const uint8_t* data, size_t size, int pid);

}  // namespace vx::test
