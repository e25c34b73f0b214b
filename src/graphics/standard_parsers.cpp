#include "graphics/standard_parsers.h"

#include "graphics/gs_parser.h"
#include "streams/ac3_parser.h"
#include "streams/lpcm_parser.h"
#include "streams/parse_driver.h"

namespace vx {

CStandardParsers::CStandardParsers() {
    owned_.push_back(std::make_unique<CLPCMParser>());
    owned_.push_back(std::make_unique<CAC3Parser>());
    owned_.push_back(std::make_unique<CGsParser>());
    for (const auto& parser : owned_) list_.push_back(parser.get());
}

CStandardParsers::~CStandardParsers() = default;

int ParseStreamFile(const std::string& path, const ProgressCallback& progress, CStreamInfo* info,
                    std::string* message) {
    CStandardParsers parsers;
    return ParseStreamFile(path, parsers.List(), progress, info, message);
}

int OpenStreamInfo(const std::string& path, const ProgressCallback& progress, CStreamInfo& info) {
    CStandardParsers parsers;
    return OpenStreamInfo(path, parsers.List(), progress, info);
}

}  // namespace vx
