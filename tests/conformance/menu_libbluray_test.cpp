// A menu we encoded, in a menu clip we multiplexed, carried by a playlist's sub path: libbluray
// decodes it and draws its buttons on the interactive-graphics plane, and the arrow keys move
// the selection between them.

#include <gtest/gtest.h>
#include <libbluray/bluray.h>
#include <libbluray/keys.h>
#include <libbluray/overlay.h>

#include <filesystem>
#include <map>

#include "bdmv/mpls.h"
#include "conformance/bluray_harness.h"
#include "conformance/command.h"
#include "foundation/file.h"
#include "mux/es_track.h"
#include "support.h"

namespace vx {
namespace {

// A top-down 32-bit BMP of one opaque colour.
std::vector<uint8_t> Bmp(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    std::vector<uint8_t> out = {'B', 'M'};
    auto le32 = [&](uint32_t v) {
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
    };
    auto le16 = [&](uint16_t v) {
        out.push_back(uint8_t(v));
        out.push_back(uint8_t(v >> 8));
    };
    const uint32_t pixels = uint32_t(w * h * 4);
    le32(54 + pixels), le32(0), le32(54);
    le32(40), le32(uint32_t(w)), le32(uint32_t(-h)), le16(1), le16(32), le32(0), le32(pixels);
    le32(0), le32(0), le32(0), le32(0);
    for (int i = 0; i < w * h; ++i) out.insert(out.end(), {b, g, r, 255});
    return out;
}

// What libbluray drew on the IG plane: per object position, the palette entry of its first
// pixel (the pictures are of one colour each).
struct Plane {
    std::map<std::pair<int, int>, BD_PG_PALETTE_ENTRY> drawn;  // (x, y) -> colour
    std::vector<std::pair<int, BD_PG_PALETTE_ENTRY>> history;  // x and colour of every draw
    int flushes = 0;

    static void On(void* handle, const BD_OVERLAY* overlay) {
        auto* plane = static_cast<Plane*>(handle);
        if (overlay == nullptr || overlay->plane != BD_OVERLAY_IG)
            return;
        if (overlay->cmd == BD_OVERLAY_DRAW && overlay->img && overlay->palette) {
            const BD_PG_PALETTE_ENTRY colour = overlay->palette[overlay->img[0].color];
            plane->drawn[{overlay->x, overlay->y}] = colour;
            plane->history.push_back({overlay->x, colour});
        } else if (overlay->cmd == BD_OVERLAY_FLUSH)
            ++plane->flushes;
        else if (overlay->cmd == BD_OVERLAY_CLEAR)
            plane->drawn.clear();
    }
};

// Plays on until the plane has been flushed more often than before (or a bound is reached).
void PlayUntilFlush(BLURAY* bd, Plane& plane, int before) {
    std::vector<uint8_t> buffer(6144);
    for (int i = 0; i < 2000 && plane.flushes == before; ++i) {
        BD_EVENT event;
        if (bd_read_ext(bd, buffer.data(), int(buffer.size()), &event) < 0)
            break;
        while (event.event != BD_EVENT_NONE) bd_get_event(bd, &event);
    }
}

TEST(LibblurayPlaysOurMenu, DrawsTheButtonsAndMovesTheSelection) {
    const std::string source = test::Fixture("disc-avc1080p24-ac3/BDMV");
    test::TempDir dir;
    const std::string bdmv = dir / "BDMV";
    for (const char* sub : {"", "/PLAYLIST", "/CLIPINF", "/STREAM", "/BACKUP"})
        std::filesystem::create_directories(bdmv + sub);
    for (const char* file :
         {"/index.bdmv", "/MovieObject.bdmv", "/STREAM/00000.m2ts", "/CLIPINF/00000.clpi"})
        std::filesystem::copy_file(source + file, bdmv + file);

    // Two buttons side by side, blue when normal, yellow when selected, red when activated.
    test::WriteFile(dir / "n.bmp", Bmp(160, 64, 40, 60, 200));
    test::WriteFile(dir / "s.bmp", Bmp(160, 64, 250, 220, 0));
    test::WriteFile(dir / "a.bmp", Bmp(160, 64, 240, 20, 20));
    const std::string menu = R"({"video": {"width": 1920, "height": 1080, "frameRate": 1},
      "interface": "always-on",
      "pages": [{"defaultSelected": 1, "groups": [
        {"buttons": [{"id": 1, "rect": [400, 800], "normal": "n.bmp", "selected": "s.bmp",
                      "activated": "a.bmp", "commands": ["Nop"]}]},
        {"buttons": [{"id": 2, "rect": [800, 800], "normal": "n.bmp", "selected": "s.bmp",
                      "activated": "a.bmp", "commands": ["Nop"]}]}]}]})";
    test::WriteFile(dir / "menu.json", std::vector<uint8_t>(menu.begin(), menu.end()));
    const auto encoded = test::RunVexilla({"igmenu", dir / "menu.json", "-o", dir / "menu.ig"});
    ASSERT_EQ(encoded.exitCode, 0) << encoded.err;

    // The menu clip, then the fixture's playlist with an IG sub path over it.
    CSource menuSource;
    menuSource.FilePath = dir / "menu.ig";
    CClip clip;
    clip.MakeMenuClip();
    ASSERT_EQ(clip.AddSource(menuSource), 0);
    ASSERT_EQ(clip.Mux(bdmv + "/STREAM/00001.m2ts", bdmv + "/CLIPINF/00001.clpi"), 0);

    std::vector<uint8_t> data = ReadWholeFile(source + "/PLAYLIST/00000.mpls");
    MPLS playlist;
    ASSERT_GT(playlist.Parse(data.data(), data.size()), 0);
    auto path = std::make_unique<SUB_PATH>();
    path->SubPathType = subPathIgMenu;
    auto item = std::make_unique<SUB_PLAY_ITEM>();
    item->ClipInformationFileName = {'0', '0', '0', '0', '1'};
    item->InTime = uint32_t(clip.StartTime / 2);
    item->OutTime = uint32_t(clip.EndTime / 2) + 1;
    path->SubPlayItems.Add(std::move(item));
    playlist.SubPaths.Add(std::move(path));
    SStreamDesc ig;
    ig.pid = 0x1400;
    ig.codingType = 0x91;
    ig.attributes = {'e', 'n', 'g', 0};
    PRIMARY_STREAM_ENTRY* entry = playlist.PlayItems.GetAt(0)->Stn.AddStream(ig);
    ASSERT_NE(entry, nullptr);
    entry->StreamEntry.StreamType = 2;
    entry->StreamEntry.RefToSubPathID = 0;
    entry->StreamEntry.RefToSubClipEntryID = 0;
    entry->StreamEntry.RefToStreamPID_OfSubClip = 0x1400;
    std::vector<uint8_t> image;
    playlist.Build(&image);
    WriteWholeFile(bdmv + "/PLAYLIST/00000.mpls", image);

    test::BlurayLog log;
    test::Bluray bd = test::OpenDisc(dir.Path());
    ASSERT_NE(bd, nullptr);
    Plane plane;
    bd_register_overlay_proc(bd.get(), &plane, &Plane::On);
    ASSERT_EQ(bd_play(bd.get()), 1);
    PlayUntilFlush(bd.get(), plane, 0);
    ASSERT_GE(plane.flushes, 1) << "libbluray never showed the menu";
    // Button 1 selected (yellow: high Y), button 2 normal (blue: low Y, high Cb).
    ASSERT_EQ(plane.drawn.size(), 2u);
    const auto first = plane.drawn.at({400, 800});
    const auto second = plane.drawn.at({800, 800});
    EXPECT_GT(first.Y, 150) << "selected";
    EXPECT_LT(second.Y, 100) << "normal";
    EXPECT_EQ(first.T, 255);

    // Right moves the selection to button 2 (libbluray may redraw at once).
    const int shown = plane.flushes;
    bd_user_input(bd.get(), -1, BD_VK_RIGHT);
    PlayUntilFlush(bd.get(), plane, shown);
    EXPECT_LT(plane.drawn.at({400, 800}).Y, 100);
    EXPECT_GT(plane.drawn.at({800, 800}).Y, 150);

    // Enter shows button 2 activated (red: Cr far above grey).
    plane.history.clear();
    const int selected = plane.flushes;
    bd_user_input(bd.get(), -1, BD_VK_ENTER);
    PlayUntilFlush(bd.get(), plane, selected);
    bool activated = false;
    for (const auto& [x, colour] : plane.history)
        activated = activated || (x == 800 && colour.Cr > 200);
    EXPECT_TRUE(activated);
    EXPECT_TRUE(log.Lines().empty()) << log.Lines().front();
}

}  // namespace
}  // namespace vx
