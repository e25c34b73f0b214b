#pragma once
// Analysing an elementary-stream file: the driver that tries the parsers in turn, and the
// lookup that reuses a stream information file still valid for the stream.

#include <string>
#include <vector>

#include "foundation/messages.h"
#include "streams/parser_base.h"
#include "streams/sif_file.h"

namespace vx {

// Title text the driver gives the progress window.
inline constexpr const char* kParsingTitle = "Parsing";

// Analyses the stream file into its stream information file (sif_file.h). Reports the path as
// status text and "Parsing" as title, creates the stream information file (5 when it can be
// created neither beside the stream nor in the temporary folder), then tries the parsers: the
// first whose extension matches the path, and when it answers 2 (not its format) every other
// one in list order. The first result other than 2 is the result; 2 when every parser answers
// 2. Codes 2 to 45 have their message shown (ShowMessage) and stored in *message; after any
// non-zero result no stream information file is left. On success *info, when given, receives
// the path, header and record (not the AU table; ReadSifFile reads it).
int ParseStreamFile(const std::string& path, const std::vector<CParserBase*>& parsers,
                    const ProgressCallback& progress, CStreamInfo* info = nullptr,
                    std::string* message = nullptr);

// The record factory of a parser list: the record of the first parser that produces the
// coding type.
SifDataFactory ParserRecordFactory(const std::vector<CParserBase*>& parsers);

// The stream information of a stream with its AU table: from a stream information file beside
// the stream or in the temporary folder when one is valid for it (same modification time,
// usable header, complete record and table), else by analysing the stream again
// (ParseStreamFile, whose messages and codes apply). 4 when the stream's status cannot be read,
// 6 when a freshly written file cannot be read back.
int OpenStreamInfo(const std::string& path, const std::vector<CParserBase*>& parsers,
                   const ProgressCallback& progress, CStreamInfo& info);

}  // namespace vx
