#include "streams/parse_driver.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "fake_parser.h"
#include "foundation/file.h"
#include "streams/ac3_parser.h"
#include "streams/lpcm_parser.h"
#include "support.h"

namespace vx {
namespace {

using test::CFakeParser;
using test::CTestSif;
using Log = std::vector<std::string>;

// Points the temporary folder at a folder of the test while it lives.
class TempFolderOverride {
public:
    explicit TempFolderOverride(const std::string& folder) {
        if (const char* old = std::getenv("TMPDIR"))
            saved_ = old;
        hadValue_ = std::getenv("TMPDIR") != nullptr;
        ::setenv("TMPDIR", folder.c_str(), 1);
    }
    ~TempFolderOverride() {
        if (hadValue_)
            ::setenv("TMPDIR", saved_.c_str(), 1);
        else
            ::unsetenv("TMPDIR");
    }

private:
    std::string saved_;
    bool hadValue_ = false;
};

struct ProgressLog {
    std::vector<ProgressRecord> records;
    bool answer = true;
    static bool Record(void* context, const ProgressRecord& record) {
        auto* self = static_cast<ProgressLog*>(context);
        self->records.push_back(record);
        return self->answer;
    }
    ProgressCallback Callback() { return {&ProgressLog::Record, this}; }
};

// Three fake parsers in the order of the standard list: "WAV" files, "AC3" files, graphics
// files ("GS", an AU per byte after the magic).
struct Driver {
    test::TempDir dir;
    test::TempDir temp;
    TempFolderOverride tempOverride{temp.Path()};
    Log log;
    CFakeParser wav{"wav", 0x80, ".wav", "WAV", kParseOk, &log};
    CFakeParser ac3{"ac3", 0x81, ".ac3", "AC3", kParseOk, &log};
    CFakeParser gs{"gs", 0x90, ".sup", "GS", kParseOk, &log};
    std::vector<CParserBase*> parsers{&wav, &ac3, &gs};

    std::string Stream(const std::string& name, const std::string& content) {
        std::string path = dir / name;
        test::WriteFile(path, std::vector<uint8_t>(content.begin(), content.end()));
        return path;
    }
};

TEST(ParseDriver, TriesTheParserOfTheExtensionFirstThenTheOthersInOrder) {
    struct Case {
        const char* name;
        const char* content;
        Log tried;
        int result;
        uint8_t codingType;
    };
    const Case cases[] = {
        {"a.wav", "WAVxx", {"wav"}, kParseOk, 0x80},
        {"a.ac3", "WAVxx", {"ac3", "wav"}, kParseOk, 0x80},
        {"a.SUP", "AC3xx", {"gs", "wav", "ac3"}, kParseOk, 0x81},
        {"a.bin", "GSxxx", {"wav", "ac3", "gs"}, kParseOk, 0x90},
        {"a.ac3", "none!", {"ac3", "wav", "gs"}, kUnknownFormat, 0},
        {"noext", "none!", {"wav", "ac3", "gs"}, kUnknownFormat, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.name << " " << c.content);
        Driver d;
        std::string path = d.Stream(c.name, c.content);
        MessageCapture messages;
        CStreamInfo info;
        std::string message;
        int result = ParseStreamFile(path, d.parsers, {}, &info, &message);
        EXPECT_EQ(result, c.result);
        EXPECT_EQ(d.log, c.tried);
        if (c.result == kParseOk) {
            EXPECT_TRUE(messages.Texts().empty());
            EXPECT_EQ(message, "");
            EXPECT_EQ(info.CodingType(), c.codingType);
            EXPECT_EQ(info.SifPath, path + ".dsi");
            EXPECT_TRUE(FileExists(path + ".dsi"));
            ASSERT_NE(info.Data, nullptr);
            EXPECT_EQ(static_cast<CTestSif*>(info.Data.get())->Value, 0x1234);
        } else {
            EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Unknown file format! "});
            EXPECT_EQ(message, "Unknown file format! ");
            EXPECT_FALSE(FileExists(path + ".dsi"));
        }
    }
}

TEST(ParseDriver, AResultOtherThanUnknownFormatEndsTheSearch) {
    struct Case {
        int result;
        const char* message;  // shown
    };
    const Case cases[] = {
        {kParseCancelled, nullptr},
        {kIncompatibleFile, "Incompatible file! "},
        {kSyntaxIllegal, "Syntax illegal! "},
        {kWrongSampleRate, "Wrong sample rate! "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.result);
        Driver d;
        CFakeParser failing{"failing", 0x81, ".ac3", "AC3", c.result, &d.log};
        d.parsers[1] = &failing;
        std::string path = d.Stream("x.ac3", "AC3 and more");
        MessageCapture messages;
        EXPECT_EQ(ParseStreamFile(path, d.parsers, {}), c.result);
        EXPECT_EQ(d.log, Log{"failing"});
        if (c.message)
            EXPECT_EQ(messages.Texts(), std::vector<std::string>{c.message});
        else
            EXPECT_TRUE(messages.Texts().empty());
        EXPECT_FALSE(FileExists(path + ".dsi"));
        EXPECT_FALSE(FileExists(d.temp / "x.ac3.dsi"));
    }
}

TEST(ParseDriver, ReportsPathTitleAndCompletion) {
    Driver d;
    std::string path = d.Stream("p.sup", "GSabc");
    ProgressLog progress;
    ASSERT_EQ(ParseStreamFile(path, d.parsers, progress.Callback()), kParseOk);
    ASSERT_GE(progress.records.size(), 3u);
    EXPECT_EQ(progress.records[0].status, ProgressRecord::statusText);
    EXPECT_EQ(progress.records[0].text, path);
    EXPECT_EQ(progress.records[1].status, ProgressRecord::title);
    EXPECT_EQ(progress.records[1].titleText, "Parsing");
    EXPECT_EQ(progress.records.back().status, ProgressRecord::percent);
    EXPECT_EQ(progress.records.back().percentDone, 100);
}

TEST(ParseDriver, MissingStreamIsAnOpenError) {
    Driver d;
    MessageCapture messages;
    EXPECT_EQ(ParseStreamFile(d.dir / "missing.wav", d.parsers, {}), kOpenFileError);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Open file error! "});
    EXPECT_FALSE(FileExists(d.dir / "missing.wav.dsi"));
    EXPECT_FALSE(FileExists(d.temp / "missing.wav.dsi"));
}

TEST(ParseDriver, WritesIntoTheTemporaryFolderWhenTheStreamsFolderRefuses) {
    Driver d;
    std::string path = d.Stream("t.sup", "GSabc");
    std::filesystem::create_directory(path + ".dsi");
    CStreamInfo info;
    ASSERT_EQ(ParseStreamFile(path, d.parsers, {}, &info), kParseOk);
    EXPECT_EQ(info.SifPath, d.temp / "t.sup.dsi");
    EXPECT_TRUE(FileExists(d.temp / "t.sup.dsi"));
}

TEST(ParseDriver, NoPlaceForTheStreamInformationFile) {
    Driver d;
    std::string path = d.Stream("t.sup", "GSabc");
    std::filesystem::create_directory(path + ".dsi");
    std::filesystem::create_directory(d.temp / "t.sup.dsi");
    MessageCapture messages;
    EXPECT_EQ(ParseStreamFile(path, d.parsers, {}), kCreateSifError);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Create stream info file error! "});
    EXPECT_TRUE(d.log.empty());
}

// A WAV file named as AC-3, with the real parsers: AC-3 is tried first and refuses it, LPCM
// recognises it.
TEST(ParseDriver, WavNamedAc3IsRecognisedByLpcmAfterAc3) {
    test::TempDir dir;
    std::vector<uint8_t> wav = test::Hex(
        "52 49 46 46 00 00 00 00 57 41 56 45"                          // RIFF, WAVE
        "66 6d 74 20 10 00 00 00 01 00 02 00 80 bb 00 00 00 ee 02 00"  // fmt: PCM 2 ch 48 kHz
        "04 00 10 00"                                                  // 4 bytes, 16 bits
        "64 61 74 61 80 25 00 00");                                    // data, 9600 bytes
    wav.resize(wav.size() + 9600, 0);
    std::string path = dir / "music.ac3";
    test::WriteFile(path, wav);

    CLPCMParser lpcm;
    CAC3Parser ac3;
    Log log;
    test::CLoggingParser loggedLpcm("lpcm", lpcm, &log);
    test::CLoggingParser loggedAc3("ac3", ac3, &log);
    std::vector<CParserBase*> parsers{&loggedLpcm, &loggedAc3};
    MessageCapture messages;
    CStreamInfo info;
    ASSERT_EQ(ParseStreamFile(path, parsers, {}, &info), kParseOk);
    EXPECT_EQ(log, (Log{"ac3", "lpcm"}));
    EXPECT_TRUE(messages.Texts().empty());
    EXPECT_EQ(info.CodingType(), 0x80);
    EXPECT_EQ(info.AuCount(), 10u);
    EXPECT_EQ(info.Header.FirstAuOffset, 44u);
}

TEST(OpenStreamInfo, ReusesAValidFileAndRebuildsAStaleOne) {
    Driver d;
    std::string path = d.Stream("m.sup", "GSabcd");
    CStreamInfo info;
    ASSERT_EQ(OpenStreamInfo(path, d.parsers, {}, info), kParseOk);
    EXPECT_EQ(d.log, Log{"gs"});
    ASSERT_EQ(info.AuTable.size(), 4u);
    EXPECT_EQ(info.AuTable[3].Offset, 5u);

    CStreamInfo again;
    ASSERT_EQ(OpenStreamInfo(path, d.parsers, {}, again), kParseOk);
    EXPECT_EQ(d.log, Log{"gs"});  // not parsed again
    EXPECT_EQ(again.AuTable, info.AuTable);
    EXPECT_EQ(again.Header.ModificationTime, info.Header.ModificationTime);

    // The stream changes: a newer modification time makes the file stale.
    test::WriteFile(path, {'G', 'S', 'a'});
    std::filesystem::last_write_time(
        path, std::filesystem::last_write_time(path) + std::chrono::seconds(5));
    CStreamInfo rebuilt;
    ASSERT_EQ(OpenStreamInfo(path, d.parsers, {}, rebuilt), kParseOk);
    EXPECT_EQ(d.log, (Log{"gs", "gs"}));
    EXPECT_EQ(rebuilt.AuCount(), 1u);
    EXPECT_NE(rebuilt.Header.ModificationTime, info.Header.ModificationTime);
}

TEST(OpenStreamInfo, ADamagedFileIsParsedAgain) {
    Driver d;
    std::string path = d.Stream("m.sup", "GSabcd");
    CStreamInfo info;
    ASSERT_EQ(OpenStreamInfo(path, d.parsers, {}, info), kParseOk);
    std::vector<uint8_t> bytes = ReadWholeFile(path + ".dsi");
    bytes.resize(40);
    test::WriteFile(path + ".dsi", bytes);
    ASSERT_EQ(OpenStreamInfo(path, d.parsers, {}, info), kParseOk);
    EXPECT_EQ(d.log, (Log{"gs", "gs"}));
    EXPECT_EQ(info.AuTable.size(), 4u);
}

TEST(OpenStreamInfo, FindsTheFileInTheTemporaryFolder) {
    Driver d;
    std::string path = d.Stream("m.sup", "GSab");
    std::filesystem::create_directory(path + ".dsi");
    CStreamInfo info;
    ASSERT_EQ(OpenStreamInfo(path, d.parsers, {}, info), kParseOk);
    ASSERT_EQ(OpenStreamInfo(path, d.parsers, {}, info), kParseOk);
    EXPECT_EQ(d.log, Log{"gs"});
    EXPECT_EQ(info.SifPath, d.temp / "m.sup.dsi");
}

TEST(OpenStreamInfo, FailureOfTheAnalysisIsItsResult) {
    Driver d;
    std::string path = d.Stream("m.sup", "nothing");
    MessageCapture messages;
    CStreamInfo info;
    EXPECT_EQ(OpenStreamInfo(path, d.parsers, {}, info), kUnknownFormat);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Unknown file format! "});
    EXPECT_EQ(OpenStreamInfo(d.dir / "gone.sup", d.parsers, {}, info), kOpenFileError);
}

}  // namespace
}  // namespace vx
