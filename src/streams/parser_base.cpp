#include "streams/parser_base.h"

#include <cerrno>

namespace vx {

namespace {

// The texts as the user sees them, each with its trailing space (and the spellings users of
// earlier versions know).
constexpr const char* kMessages[kParseResultCount] = {
    "Parse sucessfully! ",
    "Parse canceled! ",
    "Unknown file format! ",
    "Incompatible file! ",
    "Open file error! ",
    "Create stream info file error! ",
    "Read file erorr! ",
    "Write file erorr! ",
    "Syntax illegal! ",
    "Bitrate overflow! ",
    "Video buffer overflow! ",
    "No Sequence header! ",
    "No GOP header! ",
    "No aspect info! ",
    "No framerate info! ",
    "Wrong bitstream Id! ",
    "Wrong sample bits! ",
    "Wrong sample rate! ",
    "Wrong bitrate! ",
    "Wrong channel count! ",
    "Wrong audio coding mode! ",
    "Wrong audio blocks count! ",
    "Wrong profile! ",
    "Wrong level! ",
    "Wrong video format! ",
    "Wrong aspect ratio! ",
    "Wrong frame rate! ",
    "Wrong progressive/interlace flag! ",
    "Wrong pulldown flag! ",
    "Wrong chroma format! ",
    "Wrong GOP size! ",
    "Wrong entry point posistion! ",
    "Wrong coded size! ",
    "Wrong frame rate info! ",
    "Wrong panscan flag! ",
    "No HRD parameter! ",
    "Frame gaps exist! ",
    "No SPS! ",
    "No PPS! ",
    "No VUI info! ",
    "No timing info! ",
    "Fixed frame rate is false! ",
    "Wrong slice type! ",
    "CPB size overflow! ",
    "Wrong low-delay HRD flag! ",
    "Wrong extention mode! ",
};

}  // namespace

const char* ResultMessage(int code) {
    if (code < 0 || code >= kParseResultCount)
        return "";
    return kMessages[code];
}

CParserBase::~CParserBase() = default;

bool CParserBase::MatchesExtension(const std::string& path) const {
    std::string extension = PathExtension(path);
    if (extension.empty())
        return false;
    extension = "." + extension;
    for (const std::string& candidate : extensions_)
        if (EqualsNoCase(candidate, extension))
            return true;
    return false;
}

int CParserBase::Parse(const std::string& path, CSifWriter& sif, const ProgressCallback& progress) {
    CFile file;
    if (!file.Open(path, CFile::modeRead)) {
        sif.Discard();
        return kOpenFileError;
    }
    int result = kParseOk;
    try {
        StreamFileStatus status;
        if (!Probe(file)) {
            result = kUnknownFormat;
        } else if (!ReadStreamFileStatus(path, status)) {
            result = kOpenFileError;
        } else {
            sif.Begin(CreateSifData(), status.ModificationTime);
            file.Seek(0, CFile::begin);
            result = ParseStream(file, sif, progress);
            if (result == kParseOk)
                sif.Finish();
        }
    } catch (const FileError& error) {
        result = (!sif.Path().empty() && error.Path() == sif.Path()) || error.Path().empty()
                     ? kWriteFileError
                     : kReadFileError;
    }
    if (result != kParseOk) {
        sif.Discard();
        return result;
    }
    progress.Percent(100);
    return kParseOk;
}

int CParserBase::Check(const std::string& path) {
    CFile file;
    if (!file.Open(path, CFile::modeRead))
        return kOpenFileError;
    try {
        return Probe(file) ? kParseOk : kUnknownFormat;
    } catch (const FileError&) {
        return kReadFileError;
    }
}

int CParserBase::ParseStream(CFile&, CSifWriter&, const ProgressCallback&) {
    return kUnknownFormat;
}

}  // namespace vx
