#include "graphics/analyze.h"

#include "graphics/standard_parsers.h"
#include "streams/coding_types.h"

namespace vx {

Json AnalyzeStreamFile(const std::string& path, const ProgressCallback& progress) {
    CStreamInfo info;
    int result = ParseStreamFile(path, progress, &info);
    Json j;
    j["path"] = path;
    j["result"] = result;
    j["message"] = ResultMessage(result);
    if (result != kParseOk)
        return j;
    const SIF_HEADER& header = info.Header;
    const char* name = CodingTypeName(header.StreamCodingType);
    j["CodingType"] = header.StreamCodingType;
    j["CodingTypeName"] = name ? Json(name) : Json(nullptr);
    j["AuCount"] = header.NumberOfAus;
    j["AuDurationMs"] = header.AuDuration;
    j["BitRate"] = header.BitRate;
    j["ExtBitRate"] = header.ExtBitRate;
    j["FirstAuOffset"] = header.FirstAuOffset;
    j["DataLength"] = header.DataLength;
    j["Attributes"] = info.Data ? info.Data->ToJson() : Json::object();
    return j;
}

}  // namespace vx
