#pragma once
// Helpers of the audio parser tests: running the parse driver over a copy of a stream in a
// temporary folder (so no stream information file lands beside a fixture), reading back what
// it wrote, and asking ffmpeg / ffprobe for streams and for their own frame counts.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "foundation/file.h"
#include "foundation/messages.h"
#include "streams/ac3_parser.h"
#include "streams/lpcm_parser.h"
#include "streams/parse_driver.h"
#include "streams/sif_file.h"
#include "support.h"

namespace vx::audio_test {

struct AudioParse {
    int result = -1;
    std::vector<std::string> messages;
    std::string sifPath;
    bool sifLeft = false;  // a stream information file is left beside the stream
    CStreamInfo info;      // read back from the stream information file on success
    bool readBack = false;

    const SIF_HEADER& Header() const { return info.Header; }
    const CAc3Sif* Ac3() const { return dynamic_cast<const CAc3Sif*>(info.Data.get()); }
    const CLpcmSif* Lpcm() const { return dynamic_cast<const CLpcmSif*>(info.Data.get()); }
};

// Runs the driver with the two audio parsers, in the system's order, over path.
inline AudioParse ParseAudio(const std::string& path, const ProgressCallback& progress = {}) {
    CLPCMParser lpcm;
    CAC3Parser ac3;
    std::vector<CParserBase*> parsers{&lpcm, &ac3};
    AudioParse out;
    {
        MessageCapture capture;
        CStreamInfo fresh;
        out.result = ParseStreamFile(path, parsers, progress, &fresh);
        out.messages = capture.Texts();
        out.sifPath = fresh.SifPath;
    }
    // (The fallback in the temporary folder is shared with other processes by name.)
    out.sifLeft = FileExists(SifPathBeside(path));
    if (out.result == kParseOk) {
        StreamFileStatus status;
        out.readBack = ReadStreamFileStatus(path, status) &&
                       ReadSifFile(out.sifPath, status, ParserRecordFactory(parsers), out.info) ==
                           SifReadStatus::ok;
    }
    return out;
}

// Writes bytes as name inside dir and parses them.
inline AudioParse ParseBytes(const test::TempDir& dir, const std::string& name,
                             const std::vector<uint8_t>& bytes) {
    test::WriteFile(dir / name, bytes);
    return ParseAudio(dir / name);
}

inline std::vector<std::string> Only(const char* message) {
    return {message};
}

inline std::string Quote(const std::string& path) {
    return "'" + path + "'";
}

inline bool HaveTool(const char* tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

// Runs ffmpeg with the arguments (output overwritten, errors only).
inline bool RunFfmpeg(const std::string& arguments) {
    return std::system(("ffmpeg -nostdin -v error -y " + arguments).c_str()) == 0;
}

// The output of a command, or "" when it fails.
inline std::string CommandOutput(const std::string& command) {
    std::string text;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        return text;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) text.append(buffer, n);
    if (::pclose(pipe) != 0)
        text.clear();
    return text;
}

// ffprobe's count of the frames it decodes in the first audio stream; -1 on failure.
inline long FfprobeFrameCount(const std::string& path) {
    std::string out = CommandOutput(
        "ffprobe -v error -count_frames -select_streams a:0 -show_entries stream=nb_read_frames "
        "-of csv=p=0 " +
        Quote(path));
    return out.empty() ? -1 : std::strtol(out.c_str(), nullptr, 10);
}

// ffprobe's duration_ts (samples, for PCM) of the first audio stream; -1 on failure.
inline long FfprobeSampleCount(const std::string& path) {
    std::string out = CommandOutput(
        "ffprobe -v error -select_streams a:0 -show_entries stream=duration_ts -of csv=p=0 " +
        Quote(path));
    return out.empty() ? -1 : std::strtol(out.c_str(), nullptr, 10);
}

// The file cut into its frames as ffprobe's demuxer delimits them (packet sizes).
inline std::vector<std::vector<uint8_t>> FfprobeFrames(const std::string& path) {
    std::vector<std::vector<uint8_t>> frames;
    std::string out = CommandOutput(
        "ffprobe -v error -select_streams a:0 -show_entries packet=size -of csv=p=0 " +
        Quote(path));
    std::vector<uint8_t> bytes = ReadWholeFile(path);
    size_t at = 0;
    const char* p = out.c_str();
    char* end = nullptr;
    for (long size = std::strtol(p, &end, 10); end != p; size = std::strtol(p, &end, 10)) {
        p = end;
        if (size <= 0 || at + size_t(size) > bytes.size())
            return {};
        frames.emplace_back(bytes.begin() + long(at), bytes.begin() + long(at + size_t(size)));
        at += size_t(size);
    }
    return frames;
}

inline std::vector<uint8_t> Concat(const std::vector<std::vector<uint8_t>>& parts) {
    std::vector<uint8_t> out;
    for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

#define VX_REQUIRE_FFMPEG()                                                                  \
    do {                                                                                     \
        if (!::vx::audio_test::HaveTool("ffmpeg") || !::vx::audio_test::HaveTool("ffprobe")) \
            GTEST_SKIP() << "ffmpeg and ffprobe are not installed";                          \
    } while (0)

}  // namespace vx::audio_test
