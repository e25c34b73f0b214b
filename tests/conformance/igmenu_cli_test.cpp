// vexilla igmenu as a user runs it: a menu described in JSON becomes a graphics stream file
// that vexilla analyze reads as interactive graphics; a failing description writes nothing.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "bdmv/json.h"
#include "conformance/command.h"
#include "foundation/file.h"
#include "support.h"

namespace vx {
namespace {

using test::RunVexilla;

// A top-down 32-bit BMP of one colour with a transparent frame.
std::vector<uint8_t> Bmp(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    std::vector<uint8_t> out;
    auto le32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
    };
    auto le16 = [&](uint16_t v) {
        out.push_back(uint8_t(v));
        out.push_back(uint8_t(v >> 8));
    };
    const uint32_t pixels = uint32_t(w * h * 4);
    out = {'B', 'M'};
    le32(54 + pixels), le32(0), le32(54);
    le32(40), le32(uint32_t(w)), le32(uint32_t(-h)), le16(1), le16(32), le32(0), le32(pixels);
    le32(0), le32(0), le32(0), le32(0);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            bool frame = x == 0 || y == 0 || x == w - 1 || y == h - 1;
            out.insert(out.end(), {b, g, r, uint8_t(frame ? 0 : 255)});
        }
    return out;
}

TEST(IgMenuCommand, EncodesAMenuThatAnalysesAsIg) {
    test::TempDir dir;
    test::WriteFile(dir / "n.bmp", Bmp(120, 40, 40, 60, 160));
    test::WriteFile(dir / "s.bmp", Bmp(120, 40, 250, 200, 0));
    test::WriteFile(dir / "a.bmp", Bmp(120, 40, 250, 30, 0));
    const std::string menu = R"({"video": {"width": 1920, "height": 1080, "frameRate": 1},
      "interface": "pop-up", "timeOut": 20,
      "pages": [{"defaultSelected": 1, "groups": [
        {"buttons": [{"id": 1, "rect": [100, 900], "normal": "n.bmp", "selected": "s.bmp",
                      "activated": "a.bmp", "commands": ["PlayPlaylist 1"]}]},
        {"buttons": [{"id": 2, "rect": [300, 900], "normal": "n.bmp", "selected": "s.bmp",
                      "activated": "a.bmp", "commands": ["PopUpMenuOff"]}]}]}]})";
    test::WriteFile(dir / "menu.json", std::vector<uint8_t>(menu.begin(), menu.end()));

    auto run = RunVexilla({"igmenu", dir / "menu.json", "-o", dir / "menu.ig"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.err, "");
    ASSERT_TRUE(FileExists(dir / "menu.ig"));

    auto analyze = RunVexilla({"analyze", "--json", dir / "menu.ig"});
    ASSERT_EQ(analyze.exitCode, 0) << analyze.err;
    Json j = Json::parse(analyze.out);
    EXPECT_EQ(j["CodingType"], 0x91);
    EXPECT_EQ(j["CodingTypeName"], "IG/Menu");
    // ICS, PDS, six objects, END.
    EXPECT_EQ(j["AuCount"], 9);
    EXPECT_EQ(j["Attributes"]["Width"], 1920);
    EXPECT_EQ(j["Attributes"]["StreamModel"], 1);

    // A description that fails leaves an existing output as it was and writes no other file.
    const std::vector<uint8_t> before = ReadWholeFile(dir / "menu.ig");
    const std::string bad = R"({"video": {"width": 1920, "height": 1080, "frameRate": 1},
      "pages": [{"groups": [{"buttons": [{"rect": [0, 0], "normal": "missing.png"}]}]}]})";
    test::WriteFile(dir / "bad.json", std::vector<uint8_t>(bad.begin(), bad.end()));
    auto failed = RunVexilla({"igmenu", dir / "bad.json", "-o", dir / "menu.ig"});
    EXPECT_EQ(failed.exitCode, 2);
    EXPECT_EQ(failed.err.rfind("vexilla igmenu: ", 0), 0u) << failed.err;
    EXPECT_NE(failed.err.find("missing.png"), std::string::npos) << failed.err;
    EXPECT_EQ(ReadWholeFile(dir / "menu.ig"), before);
    EXPECT_EQ(EnumerateFolder(dir.Path() + "/*.ig").size(), 1u);

    auto usage = RunVexilla({"igmenu", dir / "menu.json"});
    EXPECT_EQ(usage.exitCode, 2);
}

}  // namespace
}  // namespace vx
