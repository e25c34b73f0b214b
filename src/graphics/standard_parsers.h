#pragma once
// The parsers the system analyses elementary-stream files with, in the order the driver tries
// them: LPCM (WAV), AC-3, graphics. The stream framework takes its parser list from the caller
// so that it does not depend on the graphics parser; this is the one place that knows all of
// them.

#include <memory>
#include <vector>

#include "streams/parser_base.h"

namespace vx {

class CStandardParsers {
public:
    CStandardParsers();
    ~CStandardParsers();
    CStandardParsers(const CStandardParsers&) = delete;
    CStandardParsers& operator=(const CStandardParsers&) = delete;

    // The list ParseStreamFile and OpenStreamInfo take; valid while this object lives.
    const std::vector<CParserBase*>& List() const { return list_; }

private:
    std::vector<std::unique_ptr<CParserBase>> owned_;
    std::vector<CParserBase*> list_;
};

// Analyses a stream file with the standard parsers (ParseStreamFile).
int ParseStreamFile(const std::string& path, const ProgressCallback& progress,
                    CStreamInfo* info = nullptr, std::string* message = nullptr);
// The stream information of a stream, reused or analysed again (OpenStreamInfo).
int OpenStreamInfo(const std::string& path, const ProgressCallback& progress, CStreamInfo& info);

}  // namespace vx
