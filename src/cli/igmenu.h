#pragma once
// vexilla igmenu: encodes a menu described in JSON into an interactive-graphics stream file.

#include <string>

namespace vx::cli {

// The JSON layout, as --help shows it.
extern const char* const kIgMenuHelp;

// Reads the description, encodes the menu and writes outPath (whole or not at all). Returns 0,
// or 2 with the reason on stderr.
int RunIgMenu(const std::string& menuPath, const std::string& outPath);

}  // namespace vx::cli
