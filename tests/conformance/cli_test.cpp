// The command line as a user meets it: usage, exit codes, messages, inspect and rewrite.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <sstream>

#include "bdmv/json.h"
#include "conformance/command.h"
#include "foundation/file.h"
#include "support.h"

namespace vx {
namespace {

using test::RunVexilla;

const std::string kDisc = test::Fixture("disc-avc1080p24-ac3/BDMV");

TEST(CommandLine, HelpVersionAndUnknownCommands) {
    auto help = RunVexilla({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.out.find("inspect"), std::string::npos);
    EXPECT_NE(help.out.find("rewrite"), std::string::npos);

    auto version = RunVexilla({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out.rfind("vexilla ", 0), 0u) << version.out;

    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"frobnicate"}, std::vector<std::string>{},
          std::vector<std::string>{"inspect"}, std::vector<std::string>{"rewrite", "a"}}) {
        auto bad = RunVexilla(args);
        EXPECT_EQ(bad.exitCode, 2);
        EXPECT_NE(bad.err.find("Usage:"), std::string::npos) << bad.err;
        EXPECT_EQ(bad.out, "");
    }
}

TEST(CommandLine, InspectReportsFilesThatDoNotParse) {
    test::TempDir dir;
    std::vector<uint8_t> truncated = ReadWholeFile(kDisc + "/PLAYLIST/00000.mpls");
    truncated.resize(60);
    test::WriteFile(dir / "bad.mpls", truncated);
    test::WriteFile(dir / "junk.bin", {'J', 'U', 'N', 'K', 0, 0});

    auto bad = RunVexilla({"inspect", dir / "bad.mpls"});
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_EQ(bad.err, "Stream parse error:\n" + (dir / "bad.mpls") + "\n");

    auto junk = RunVexilla({"inspect", "--json", dir / "junk.bin"});
    EXPECT_EQ(junk.exitCode, 2);
    EXPECT_NE(junk.err.find(dir / "junk.bin"), std::string::npos);

    auto missing = RunVexilla({"inspect", dir / "missing.mpls"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.err.find("No such file or directory"), std::string::npos) << missing.err;

    // One bad file among good ones: the good one is still shown, the exit code says failure.
    auto mixed = RunVexilla({"inspect", "--json", kDisc + "/index.bdmv", dir / "bad.mpls"});
    EXPECT_EQ(mixed.exitCode, 2);
    EXPECT_EQ(Json::parse(mixed.out)["kind"], "index");
}

TEST(CommandLine, InspectOfAFolderShowsEveryDatabaseFileInOrder) {
    auto result = RunVexilla({"inspect", "--json", kDisc});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    std::vector<std::pair<std::string, std::string>> seen;
    std::istringstream lines(result.out);
    for (std::string line; std::getline(lines, line);) {
        Json doc = Json::parse(line);
        std::string path = doc["path"];
        seen.emplace_back(std::filesystem::path(path).filename().string(), doc["kind"]);
        EXPECT_TRUE(doc["record"].is_object());
    }
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"index.bdmv", "index"},
        {"MovieObject.bdmv", "movieobject"},
        {"00000.mpls", "playlist"},
        {"00000.clpi", "clipinfo"}};
    EXPECT_EQ(seen, expected);

    // The folder above BDMV works too, and plain text names the files.
    auto text = RunVexilla({"inspect", std::filesystem::path(kDisc).parent_path().string()});
    EXPECT_EQ(text.exitCode, 0) << text.err;
    EXPECT_NE(text.out.find("00000.clpi (clipinfo)"), std::string::npos);
}

TEST(CommandLine, RewriteGivesBackEveryFixtureFileByteForByte) {
    test::TempDir dir;
    int files = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(test::Fixture(""))) {
        std::string ext = entry.path().extension().string();
        if (ext != ".bdmv" && ext != ".mpls" && ext != ".clpi")
            continue;
        std::string out = dir / ("out" + std::to_string(files++));
        auto result = RunVexilla({"rewrite", entry.path().string(), out});
        ASSERT_EQ(result.exitCode, 0) << entry.path() << ": " << result.err;
        EXPECT_EQ(ReadWholeFile(out), ReadWholeFile(entry.path().string())) << entry.path();
    }
    EXPECT_EQ(files, 14) << "both fixture discs with their backups";

    auto refused = RunVexilla({"rewrite", kDisc + "/index.bdmv", dir / "no/such/folder/x"});
    EXPECT_EQ(refused.exitCode, 2);
    EXPECT_NE(refused.err.find("No such file or directory"), std::string::npos) << refused.err;
}

}  // namespace
}  // namespace vx

namespace vx {
namespace {

TEST(CommandLine, InspectOfAStreamFileAgreesWithItsClipInformation) {
    const std::string m2ts = test::Fixture("disc-avc1080p24-ac3/BDMV/STREAM/00000.m2ts");
    auto result = RunVexilla({"inspect", "--json", m2ts});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    Json doc = Json::parse(result.out);
    EXPECT_EQ(doc["kind"], "m2ts");
    const Json& pmt = doc["record"]["PMT"];
    EXPECT_EQ(pmt["PcrPid"], 0x1001);
    // The clip information file tsMuxer wrote lists the same streams as the stream's PMT.
    auto clip = RunVexilla(
        {"inspect", "--json", test::Fixture("disc-avc1080p24-ac3/BDMV/CLIPINF/00000.clpi")});
    const Json streams = Json::parse(clip.out)["record"]["ProgramInfo"]["Streams"];
    ASSERT_EQ(pmt["Streams"].size(), streams.size());
    ASSERT_EQ(streams.size(), 2u);
    for (size_t i = 0; i < streams.size(); ++i) {
        EXPECT_EQ(pmt["Streams"][i]["ElementaryPid"], streams[i]["StreamPID"]);
        EXPECT_EQ(pmt["Streams"][i]["StreamType"],
                  streams[i]["StreamCodingInfo"]["StreamCodingType"]);
    }

    auto rewrite = RunVexilla({"rewrite", m2ts, "/dev/null"});
    EXPECT_EQ(rewrite.exitCode, 2) << "stream files are not database files";
}

TEST(CommandLine, AnalyzeRecognisesStreamsWhateverTheirNameAndRejectsTheRest) {
    test::TempDir dir;
    // A WAV file named .ac3: tried as AC-3 first, then recognised as LPCM.
    std::filesystem::copy_file(test::Fixture("es/a_pcm16.wav"), dir / "misnamed.ac3");
    auto wav = RunVexilla({"analyze", "--json", dir / "misnamed.ac3"});
    ASSERT_EQ(wav.exitCode, 0) << wav.err;
    Json doc = Json::parse(wav.out);
    EXPECT_EQ(doc["result"], 0);
    EXPECT_EQ(doc["CodingType"], 0x80);
    EXPECT_EQ(doc["CodingTypeName"], "LPCM (WAV)");
    EXPECT_EQ(doc["AuCount"], 800) << "4 s of 5 ms units";
    EXPECT_TRUE(std::filesystem::exists(dir / "misnamed.ac3.dsi"));

    test::WriteFile(dir / "noise.sup", std::vector<uint8_t>(300, 0x5A));
    auto junk = RunVexilla({"analyze", dir / "noise.sup"});
    EXPECT_EQ(junk.exitCode, 2);
    EXPECT_EQ(junk.err, "Unknown file format! \n");
    EXPECT_FALSE(std::filesystem::exists(dir / "noise.sup.dsi")) << "no stream information is left";
}

}  // namespace
}  // namespace vx
