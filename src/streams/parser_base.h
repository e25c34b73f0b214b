#pragma once
// The parser interface of elementary-stream analysis and the result codes every parse returns.
// A parser recognises one stream format, checks it against the Blu-ray constraints and fills
// the stream information file (sif_file.h): header, record and, for graphics, the AU table.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "foundation/file.h"
#include "foundation/messages.h"
#include "streams/sif_data.h"
#include "streams/sif_file.h"

namespace vx {

// Parse result codes: indexes into the message table (ResultMessage). Codes 2 and above are
// failures; the parsers of this system produce 0-6, 8 and 15-21, the rest belong to parsers of
// further stream types.
enum ParseResult : int {
    kParseOk = 0,
    kParseCancelled = 1,
    kUnknownFormat = 2,
    kIncompatibleFile = 3,
    kOpenFileError = 4,
    kCreateSifError = 5,
    kReadFileError = 6,
    kWriteFileError = 7,
    kSyntaxIllegal = 8,
    kBitrateOverflow = 9,
    kVideoBufferOverflow = 10,
    kNoSequenceHeader = 11,
    kNoGopHeader = 12,
    kNoAspectInfo = 13,
    kNoFramerateInfo = 14,
    kWrongBitstreamId = 15,
    kWrongSampleBits = 16,
    kWrongSampleRate = 17,
    kWrongBitrate = 18,
    kWrongChannelCount = 19,
    kWrongAudioCodingMode = 20,
    kWrongAudioBlocksCount = 21,
    kWrongProfile = 22,
    kWrongLevel = 23,
    kWrongVideoFormat = 24,
    kWrongAspectRatio = 25,
    kWrongFrameRate = 26,
    kWrongProgressiveFlag = 27,
    kWrongPulldownFlag = 28,
    kWrongChromaFormat = 29,
    kWrongGopSize = 30,
    kWrongEntryPointPosition = 31,
    kWrongCodedSize = 32,
    kWrongFrameRateInfo = 33,
    kWrongPanscanFlag = 34,
    kNoHrdParameter = 35,
    kFrameGapsExist = 36,
    kNoSps = 37,
    kNoPps = 38,
    kNoVuiInfo = 39,
    kNoTimingInfo = 40,
    kFixedFrameRateFalse = 41,
    kWrongSliceType = 42,
    kCpbSizeOverflow = 43,
    kWrongLowDelayHrdFlag = 44,
    kWrongExtensionMode = 45,
};
inline constexpr int kParseResultCount = 46;

// The message of a result code as shown to the user (each ends with a space); "" for a code
// outside the table.
const char* ResultMessage(int code);

class CParserBase {
public:
    virtual ~CParserBase();

    uint8_t CodingType() const { return codingType_; }
    const std::vector<std::string>& Extensions() const { return extensions_; }

    // True when the path's extension (".wav") is one of the parser's, ignoring letter case.
    virtual bool MatchesExtension(const std::string& path) const;
    // Analyses the stream file into the stream information file opened by sif: opens the file
    // (4), probes it (2), writes a fresh header with the stream's modification time and the
    // parser's record, runs ParseStream. On success rewrites header and record and reports
    // 100 percent; on any other result discards the stream information file. Read failures of
    // the stream give 6, write failures of the stream information file 7.
    virtual int Parse(const std::string& path, CSifWriter& sif, const ProgressCallback& progress);
    // Recognition only: 0 recognised, 2 not recognised, 4 the file cannot be opened.
    virtual int Check(const std::string& path);
    // Whether the open file, read from its start, is of the parser's format. May move the file
    // position and may raise FileError.
    virtual bool Probe(CFile& file) = 0;
    // Walks the whole stream from the current position (the start) and fills sif's header,
    // record and AU table. Returns a result code. May raise FileError (caught by Parse).
    virtual int ParseStream(CFile& file, CSifWriter& sif, const ProgressCallback& progress);

    // The record type the parser fills, new (all fields at their defaults).
    virtual std::unique_ptr<CSifData> CreateSifData() const = 0;
    // Whether stream information files of this coding type hold the parser's record: by
    // default the parser's own coding type. Parsers that produce several coding types (AC-3:
    // 0x81, 0x84, 0xA1; graphics: 0x90, 0x91) override it.
    virtual bool ProducesCodingType(uint8_t codingType) const { return codingType == codingType_; }

protected:
    CParserBase(uint8_t codingType, std::vector<std::string> extensions)
        : codingType_(codingType), extensions_(std::move(extensions)) {}

    uint8_t codingType_;
    std::vector<std::string> extensions_;  // with the dot: ".wav"
};

}  // namespace vx
