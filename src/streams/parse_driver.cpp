#include "streams/parse_driver.h"

namespace vx {

namespace {

int Finish(int result, std::string* message) {
    if (result >= kUnknownFormat && result < kParseResultCount) {
        ShowMessage(ResultMessage(result));
        if (message)
            *message = ResultMessage(result);
    }
    return result;
}

}  // namespace

int ParseStreamFile(const std::string& path, const std::vector<CParserBase*>& parsers,
                    const ProgressCallback& progress, CStreamInfo* info, std::string* message) {
    if (message)
        message->clear();
    progress.Status(path);
    progress.Title(kParsingTitle);
    CSifWriter sif;
    if (!sif.Create(path))
        return Finish(kCreateSifError, message);

    CParserBase* first = nullptr;
    for (CParserBase* parser : parsers) {
        if (parser && parser->MatchesExtension(path)) {
            first = parser;
            break;
        }
    }
    int result = kUnknownFormat;
    if (first)
        result = first->Parse(path, sif, progress);
    for (CParserBase* parser : parsers) {
        if (result != kUnknownFormat)
            break;
        if (parser && parser != first)
            result = parser->Parse(path, sif, progress);
    }
    if (result != kParseOk) {
        // Parsers discard the file themselves; this also covers a list without any parser.
        sif.Discard();
        return Finish(result, message);
    }
    if (info) {
        info->SifPath = sif.Path();
        info->Header = sif.Header();
        info->Data = sif.TakeData();
        info->AuTable.clear();
    }
    return kParseOk;
}

SifDataFactory ParserRecordFactory(const std::vector<CParserBase*>& parsers) {
    return [parsers](uint8_t codingType) -> std::unique_ptr<CSifData> {
        for (CParserBase* parser : parsers)
            if (parser && parser->ProducesCodingType(codingType))
                return parser->CreateSifData();
        return nullptr;
    };
}

int OpenStreamInfo(const std::string& path, const std::vector<CParserBase*>& parsers,
                   const ProgressCallback& progress, CStreamInfo& info) {
    StreamFileStatus status;
    if (!ReadStreamFileStatus(path, status))
        return Finish(kOpenFileError, nullptr);
    SifDataFactory factory = ParserRecordFactory(parsers);
    for (const std::string& sifPath : {SifPathBeside(path), SifPathInTemp(path)}) {
        if (ReadSifFile(sifPath, status, factory, info) == SifReadStatus::ok)
            return kParseOk;
    }
    int result = ParseStreamFile(path, parsers, progress, &info);
    if (result != kParseOk)
        return result;
    std::string sifPath = info.SifPath;
    if (ReadSifFile(sifPath, status, factory, info) != SifReadStatus::ok) {
        DeleteFile(sifPath);
        return Finish(kReadFileError, nullptr);
    }
    return kParseOk;
}

}  // namespace vx
