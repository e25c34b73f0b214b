#pragma once
// A menu described in JSON, without a layered picture file: what `vexilla igmenu` encodes.
//
//   {
//     "video": {"width": 1920, "height": 1080, "frameRate": 1},  frame-rate code: 1 23.976,
//                                               2 24, 3 25, 4 29.97, 6 50, 7 59.94
//     "interface": "always-on" or "pop-up",     default "always-on"
//     "timeOut": 10,                            seconds without input before a pop-up menu
//                                               closes (0, the default: never)
//     "startFrame": 0,                          when the menu shows, in video frames
//     "pages": [{
//       "defaultSelected": 1,                   button id selected first (default: none)
//       "defaultActivated": 2,                  button id activated at once (default: none)
//       "groups": [{                            button overlap groups: alternatives at one place
//         "default": 1,                         the button shown (default: the first)
//         "buttons": [{
//           "id": 1,                            0..8159, unique in the page (default: the
//                                               lowest free id)
//           "value": 1,                         numeric select value (default: none)
//           "rect": [x, y, width, height],      or [x, y]: the size of the pictures
//           "normal": "a.png",                  a picture file (PNG or BMP) or a list of them
//           "selected": ["s1.png", "s2.png"],   (an animation); relative to the JSON file
//           "activated": "c.png",
//           "neighbours": {"up": 2, "down": 3, "left": 4, "right": 5},
//                                               any direction left out is computed from the
//                                               groups' places on the screen
//           "autoAction": false,                activate as soon as selected
//           "commands": ["SetButtonPage 0 1 1"] navigation commands in their text form
//         }]
//       }]
//     }]
//   }
// A picture smaller than its button's rectangle sits at the rectangle's top-left corner, the
// rest of the rectangle transparent; a larger one is an error.

#include <string>

#include "bdmv/json.h"
#include "graphics/ig_model.h"

namespace vx {

// Builds the model of one epoch with one display set; false with a reason on any error in
// the description or its pictures.
bool MenuFromDescription(const Json& description, const std::string& baseFolder, CIgObject& ig,
                         std::string& reason);
// The same from a JSON file; relative picture paths are taken from the file's folder.
bool LoadMenuDescription(const std::string& path, CIgObject& ig, std::string& reason);

}  // namespace vx
