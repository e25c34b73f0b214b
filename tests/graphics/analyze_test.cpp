#include "graphics/analyze.h"

#include <gtest/gtest.h>

#include "foundation/file.h"
#include "graphics/standard_parsers.h"
#include "support.h"

namespace vx {
namespace {

TEST(StandardParsers, LpcmThenAc3ThenGraphics) {
    CStandardParsers parsers;
    ASSERT_EQ(parsers.List().size(), 3u);
    EXPECT_EQ(parsers.List()[0]->CodingType(), 0x80);
    EXPECT_EQ(parsers.List()[1]->CodingType(), 0x81);
    EXPECT_EQ(parsers.List()[2]->CodingType(), 0x90);
    EXPECT_TRUE(parsers.List()[2]->MatchesExtension("/a/b.IG"));
}

TEST(Analyze, GraphicsStream) {
    test::TempDir dir;
    std::string path = dir / "test.sup";
    CopyFileOverwrite(test::Fixture("third-party/sup/test.sup"), path);
    Json j = AnalyzeStreamFile(path);
    EXPECT_EQ(j["path"], path);
    EXPECT_EQ(j["result"], 0);
    EXPECT_EQ(j["message"], "Parse sucessfully! ");
    EXPECT_EQ(j["CodingType"], 0x90);
    EXPECT_EQ(j["CodingTypeName"], "PG/Subtitle");
    EXPECT_EQ(j["AuCount"], 16);
    EXPECT_EQ(j["AuDurationMs"], 0.0);
    EXPECT_EQ(j["BitRate"], 0);
    EXPECT_EQ(j["ExtBitRate"], 0);
    EXPECT_EQ(j["FirstAuOffset"], 0);
    EXPECT_EQ(j["DataLength"], 4589);
    EXPECT_EQ(j["Attributes"], (Json{{"Version", 0},
                                     {"StreamCodingType", 0x90},
                                     {"StreamModel", 0},
                                     {"Width", 128},
                                     {"Height", 64},
                                     {"FrameRate", 2}}));
    EXPECT_TRUE(FileExists(path + ".dsi"));
}

TEST(Analyze, WavNamedAc3) {
    test::TempDir dir;
    std::vector<uint8_t> wav = test::Hex(
        "52 49 46 46 00 00 00 00 57 41 56 45"
        "66 6d 74 20 10 00 00 00 01 00 02 00 80 bb 00 00 00 ee 02 00 04 00 10 00"
        "64 61 74 61 c0 12 00 00");  // 4800 bytes: 5 AUs of 5 ms
    wav.resize(wav.size() + 4800, 0);
    std::string path = dir / "music.ac3";
    test::WriteFile(path, wav);
    MessageCapture messages;
    Json j = AnalyzeStreamFile(path);
    EXPECT_TRUE(messages.Texts().empty());
    EXPECT_EQ(j["result"], 0);
    EXPECT_EQ(j["CodingType"], 0x80);
    EXPECT_EQ(j["CodingTypeName"], "LPCM (WAV)");
    EXPECT_EQ(j["AuCount"], 5);
    EXPECT_EQ(j["AuDurationMs"], 5.0);
    EXPECT_EQ(j["BitRate"], 1536000);
    EXPECT_EQ(j["FirstAuOffset"], 44);
    EXPECT_EQ(j["DataLength"], 4800);
    EXPECT_TRUE(j["Attributes"].is_object());
}

TEST(Analyze, UnknownFile) {
    test::TempDir dir;
    std::string path = dir / "notes.txt";
    test::WriteFile(path, {'h', 'e', 'l', 'l', 'o'});
    MessageCapture messages;
    Json j = AnalyzeStreamFile(path);
    EXPECT_EQ(j, (Json{{"path", path}, {"result", 2}, {"message", "Unknown file format! "}}));
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Unknown file format! "});
    EXPECT_FALSE(FileExists(path + ".dsi"));
}

}  // namespace
}  // namespace vx
