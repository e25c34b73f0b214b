#include "cli/igmenu.h"

#include <iostream>

#include "graphics/ig_model.h"
#include "graphics/menu_description.h"

namespace vx::cli {

const char* const kIgMenuHelp = R"(MENU.json describes one menu:
  {"video": {"width": 1920, "height": 1080, "frameRate": 1},
   "interface": "always-on" | "pop-up", "timeOut": seconds (pop-up closes), "startFrame": 0,
   "pages": [{"defaultSelected": id, "defaultActivated": id,
              "groups": [{"default": id,
                          "buttons": [{"id": 1, "value": 1, "rect": [x, y, width, height],
                                       "normal": "n.png", "selected": ["s1.png", "s2.png"],
                                       "activated": "a.png",
                                       "neighbours": {"up": id, "down": id, "left": id,
                                                      "right": id},
                                       "autoAction": false,
                                       "commands": ["SetButtonPage 0 1 1"]}]}]}]}
frameRate is the code 1 23.976, 2 24, 3 25, 4 29.97, 6 50, 7 59.94. Pictures are PNG or BMP
files relative to MENU.json; a state lists one picture or an animation. Neighbours left out
are computed from the groups' places. Commands use the navigation command text form.)";

int RunIgMenu(const std::string& menuPath, const std::string& outPath) {
    CIgObject menu;
    std::string reason;
    if (!LoadMenuDescription(menuPath, menu, reason) || !menu.Encode(outPath, true, &reason)) {
        std::cerr << "vexilla igmenu: " << reason << '\n';
        return 2;
    }
    return 0;
}

}  // namespace vx::cli
