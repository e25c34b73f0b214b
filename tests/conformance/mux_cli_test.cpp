// vexilla mux, clipinfo and verify as a user runs them: exit codes, outputs and refusals.

#include <gtest/gtest.h>

#include <filesystem>

#include "bdmv/json.h"
#include "conformance/command.h"
#include "foundation/file.h"
#include "support.h"

namespace vx {
namespace {

TEST(MuxCommands, MuxClipInfoAndVerify) {
    test::TempDir dir;
    const std::string source = test::Fixture("mux/avc_ac3_pg.m2ts");

    // Only the listed PIDs, with the clip information named by --clpi.
    auto mux = test::RunVexilla(
        {"mux", "-o", dir / "a.m2ts", "--clpi", dir / "a.clpi", "--pids", "0x1011,4352", source});
    ASSERT_EQ(mux.exitCode, 0) << mux.err;
    auto verify = test::RunVexilla({"verify", "--json", dir / "a.m2ts", "--clpi", dir / "a.clpi"});
    EXPECT_EQ(verify.exitCode, 0) << verify.out;
    const Json report = Json::parse(verify.out);
    EXPECT_TRUE(report["ok"].get<bool>());
    EXPECT_EQ(report["path"], dir / "a.m2ts");
    EXPECT_EQ(report["packets"].get<uint64_t>(), std::filesystem::file_size(dir / "a.m2ts") / 192);
    ASSERT_EQ(report["rules"].size(), 12u);
    for (const Json& rule : report["rules"]) {
        EXPECT_TRUE(rule["ok"].get<bool>()) << rule.dump();
        EXPECT_FALSE(rule["detail"].get<std::string>().empty());
    }
    auto inspect = test::RunVexilla({"inspect", "--json", dir / "a.clpi"});
    ASSERT_EQ(inspect.exitCode, 0);
    EXPECT_EQ(Json::parse(inspect.out)["record"]["ProgramInfo"]["Streams"].size(), 2u);

    // A second run would replace the clip information: only with --force.
    mux = test::RunVexilla({"mux", "-o", dir / "a.m2ts", "--clpi", dir / "a.clpi", source});
    EXPECT_EQ(mux.exitCode, 2);
    EXPECT_NE(mux.err.find("--force"), std::string::npos) << mux.err;
    mux = test::RunVexilla(
        {"mux", "-o", dir / "a.m2ts", "--clpi", dir / "a.clpi", "--force", source});
    EXPECT_EQ(mux.exitCode, 0) << mux.err;

    // clipinfo: the file's own PIDs; refuses to replace without --force.
    auto clipinfo = test::RunVexilla({"clipinfo", source, "-o", dir / "src.clpi"});
    ASSERT_EQ(clipinfo.exitCode, 0) << clipinfo.err;
    clipinfo = test::RunVexilla({"clipinfo", source, "-o", dir / "src.clpi"});
    EXPECT_EQ(clipinfo.exitCode, 2);
    EXPECT_EQ(test::RunVexilla({"clipinfo", source, "-o", dir / "src.clpi", "--force"}).exitCode,
              0);

    // The source as ffmpeg wrote it fails the checker (its arrival stamps are all 0).
    verify = test::RunVexilla({"verify", source});
    EXPECT_EQ(verify.exitCode, 2);
    EXPECT_NE(verify.out.find("FAULT arrival"), std::string::npos) << verify.out;

    // Refusals: an output that is the input, a PID list that does not parse, no such file.
    EXPECT_EQ(test::RunVexilla({"mux", "-o", source, source}).exitCode, 2);
    EXPECT_EQ(test::RunVexilla({"mux", "-o", dir / "b.m2ts", "--pids", "0x1011,", source}).exitCode,
              2);
    const auto missing = test::RunVexilla({"verify", dir / "none.m2ts"});
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.err.find("No such file"), std::string::npos) << missing.err;
    EXPECT_FALSE(FileExists(dir / "b.m2ts"));
}

TEST(MuxCommands, ElementaryStreamsJoinAStreamFile) {
    // A stream file with a second AC-3 track from an elementary-stream file, which starts with
    // the stream's first picture (1.4 s in this file).
    test::TempDir dir;
    std::filesystem::copy_file(test::Fixture("es/a_stereo192.ac3"), dir / "commentary_deu.ac3");
    const std::string clip = test::Fixture("mux/avc_ac3.m2ts");
    auto mux = test::RunVexilla({"mux", "-o", dir / "out.m2ts", clip, dir / "commentary_deu.ac3"});
    ASSERT_EQ(mux.exitCode, 0) << mux.err;
    auto verify = test::RunVexilla({"verify", dir / "out.m2ts", "--clpi", dir / "out.clpi"});
    EXPECT_EQ(verify.exitCode, 0) << verify.out;
    auto inspect = test::RunVexilla({"inspect", "--json", dir / "out.clpi"});
    ASSERT_EQ(inspect.exitCode, 0);
    const Json streams = Json::parse(inspect.out)["record"]["ProgramInfo"]["Streams"];
    ASSERT_EQ(streams.size(), 3u);
    EXPECT_EQ(streams[2]["StreamPID"], 0x1101);
    EXPECT_EQ(streams[2]["StreamCodingInfo"]["LanguageCode"], "deu");
    auto firstPts = [&](int stream) {
        const std::string text =
            test::CommandOutput("ffprobe -v error -select_streams " + std::to_string(stream) +
                                " -show_entries packet=pts -of csv=p=0 -read_intervals %+#1 " +
                                test::ShellQuote(dir / "out.m2ts"));
        return text.empty() ? -1L : std::stol(text);
    };
    EXPECT_GT(firstPts(0), 90000);
    EXPECT_EQ(firstPts(2), firstPts(0));
}

}  // namespace
}  // namespace vx
