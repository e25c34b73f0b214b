#include "graphics/menu_description.h"

#include <gtest/gtest.h>

#include <string>

#include "ig_menu_builder.h"
#include "support.h"

namespace vx {
namespace {

class MenuDescription : public ::testing::Test {
protected:
    void SetUp() override {
        Save("n.png", 10, 6, 0xFF203040);
        Save("s.png", 10, 6, 0xFFFFD000);
        Save("a.png", 10, 6, 0xFFFF0000);
        Save("s2.png", 10, 6, 0xFFFFE000);
        Save("big.png", 30, 6, 0xFF000000);
    }
    void Save(const std::string& name, int w, int h, uint32_t argb) {
        ASSERT_TRUE(SavePng(dir_ / name, *test::SolidPicture(w, h, argb)));
    }
    bool Read(const std::string& text, CIgObject& ig, std::string& why) {
        return MenuFromDescription(Json::parse(text), dir_.Path(), ig, why);
    }
    test::TempDir dir_;
};

const char* const kMenu = R"({
  "video": {"width": 1920, "height": 1080, "frameRate": 3},
  "interface": "pop-up", "timeOut": 30, "startFrame": 25,
  "pages": [{
    "defaultSelected": 7,
    "groups": [
      {"buttons": [{"id": 7, "value": 1, "rect": [100, 200, 20, 10],
                    "normal": "n.png", "selected": ["s.png", "s2.png"], "activated": "a.png",
                    "commands": ["PlayPlaylist 1", "SetButtonPage 0 1 1"]}]},
      {"default": 4,
       "buttons": [{"rect": [300, 200], "normal": "n.png"},
                   {"id": 4, "rect": [300, 200], "normal": "n.png", "autoAction": true,
                    "neighbours": {"up": 7}}]}
    ]}, {
    "groups": [{"buttons": [{"rect": [0, 0], "normal": "n.png"}]}]
  }]
})";

TEST_F(MenuDescription, BuildsTheModel) {
    CIgObject ig;
    std::string why;
    ASSERT_TRUE(Read(kMenu, ig, why)) << why;
    EXPECT_EQ(ig.VideoDescriptor, (SVideoDescriptor{1920, 1080, 3}));
    ASSERT_EQ(ig.GetCount(), 1);
    CEpoch* epoch = ig.GetAt(0);
    CDisplaySet* ds = epoch->GetAt(0);
    EXPECT_EQ(ds->UserInterfaceModel, 1);
    EXPECT_EQ(ds->UserTimeOutDuration, 30u * 90000u);
    EXPECT_EQ(ds->StartFrame, 25u);
    ASSERT_EQ(ds->GetCount(), 2);
    CPage* page = ds->GetAt(0);
    ASSERT_EQ(page->GetCount(), 2);

    CBdButton* play = page->GetAt(0)->GetAt(0);
    EXPECT_EQ(play->GetId(), 7);
    EXPECT_EQ(play->GetName(), "Button#7");
    EXPECT_EQ(play->NumbericValue, 1);
    EXPECT_EQ(page->DefaultSelectedButton.Ptr, play);
    EXPECT_EQ(play->Commands.GetCount(), 2);
    EXPECT_EQ(play->GetType(), 1);
    // The 10 x 6 picture sits at the top-left of the 20 x 10 rectangle.
    CGraphicObject* normal = play->States[CBdButton::kNormal].Start.Ptr;
    ASSERT_TRUE(normal);
    EXPECT_EQ(normal->Width, 20);
    EXPECT_EQ(normal->Height, 10);
    EXPECT_EQ(normal->GetImage()->ArgbAt(9, 5), 0xFF203040u);
    EXPECT_EQ(normal->GetImage()->ArgbAt(10, 5) >> 24, 0u);
    EXPECT_EQ(normal->GetImage()->ArgbAt(9, 6) >> 24, 0u);
    // An animation: consecutive objects from start to end.
    const CButtonStateInfo& selected = play->States[CBdButton::kSelected];
    ASSERT_TRUE(selected.Start.Ptr && selected.End.Ptr);
    EXPECT_EQ(selected.End.Ptr->GetId(), selected.Start.Ptr->GetId() + 1);

    CBog* second = page->GetAt(1);
    CBdButton* unnamed = second->GetAt(0);
    CBdButton* four = second->GetAt(1);
    EXPECT_EQ(unnamed->GetId(), 0);  // the lowest id free when it was made
    EXPECT_EQ(second->DefaultButton.Ptr, four);
    EXPECT_EQ(four->AutoActionFlag, 1);
    // Computed: the two groups lead to each other left and right; explicit: up.
    EXPECT_EQ(play->Neighbors.Buttons[CNeighborInfo::kRight].Ptr, four);
    EXPECT_EQ(four->Neighbors.Buttons[CNeighborInfo::kLeft].Ptr, play);
    EXPECT_EQ(four->Neighbors.Buttons[CNeighborInfo::kUp].Ptr, play);
    EXPECT_EQ(play->Neighbors.Buttons[CNeighborInfo::kUp].Ptr, nullptr);

    ByteWriter out;
    EXPECT_TRUE(ig.Encode(out, true, &why)) << why;
}

TEST_F(MenuDescription, Errors) {
    struct Case {
        const char* name;
        std::string text;
        const char* reason;
    };
    const std::string video = R"("video": {"width": 1920, "height": 1080, "frameRate": 1}, )";
    auto oneButton = [&](const std::string& button) {
        return "{" + video + R"("pages": [{"groups": [{"buttons": [)" + button + "]}]}]}";
    };
    const Case cases[] = {
        {"not an object", "[1, 2]", "JSON object"},
        {"no video", R"({"pages": []})", "video"},
        {"reserved frame rate",
         R"({"video": {"width": 1920, "height": 1080, "frameRate": 5}, "pages": []})", "reserved"},
        {"no pages", "{" + video + R"("pages": []})", "at least one page"},
        {"unknown interface", "{" + video + R"("interface": "sometimes", "pages": [{}]})",
         "interface"},
        {"missing picture", oneButton(R"({"rect": [0, 0], "normal": "gone.png"})"), "gone.png"},
        {"picture larger than its rectangle",
         oneButton(R"({"rect": [0, 0, 20, 10], "normal": "big.png"})"), "larger than its button"},
        {"rectangle past the video", oneButton(R"({"rect": [1915, 0, 20, 10], "normal": "n.png"})"),
         "width must lie in"},
        {"bad command", oneButton(R"({"rect": [0, 0], "commands": ["Jump"]})"),
         "\"Jump\" is not a navigation command"},
        {"id past 8159", oneButton(R"({"id": 8160, "rect": [0, 0]})"), "0..8159"},
        {"id used twice", oneButton(R"({"id": 3, "rect": [0, 0]}, {"id": 3, "rect": [0, 0]})"),
         "used twice"},
        {"neighbour not on the page",
         oneButton(R"({"id": 3, "rect": [0, 0], "neighbours": {"left": 9}})"), "no button 9"},
        {"animation of two sizes", oneButton(R"({"rect": [0, 0], "normal": ["n.png", "big.png"]})"),
         "one size"},
        {"state of the wrong type", oneButton(R"({"rect": [0, 0], "normal": 3})"),
         "file name or a list"},
        {"rect of three numbers", oneButton(R"({"rect": [0, 0, 1]})"), "rect must be"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CIgObject ig;
        std::string why;
        EXPECT_FALSE(Read(c.text, ig, why));
        EXPECT_NE(why.find(c.reason), std::string::npos) << why;
    }

    CIgObject ig;
    std::string why;
    test::WriteFile(dir_ / "menu.json", {'{', 'x'});
    EXPECT_FALSE(LoadMenuDescription(dir_ / "menu.json", ig, why));
    EXPECT_NE(why.find("not a JSON document"), std::string::npos) << why;
    EXPECT_FALSE(LoadMenuDescription(dir_ / "none.json", ig, why));
    EXPECT_NE(why.find("none.json"), std::string::npos) << why;
}

}  // namespace
}  // namespace vx
