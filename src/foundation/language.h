#pragma once
// The fixed table of 475 ISO 639-2 languages; tracks and menus store a language as an index
// into it.

#include <string>
#include <vector>

namespace vx {

inline constexpr int kLanguageCount = 475;
inline constexpr int kDefaultLanguage = 125;  // "eng"

// Code ("eng") and English name ("English") of an entry; empty for an index outside the table.
std::string CodeOf(int index);
std::string NameOf(int index);
// Compares the first three characters of text with each code regardless of letter case;
// the first match, or the default language when nothing matches.
int IndexOfCode(const std::string& text);
// "eng (English)".
std::string DisplayText(int index);
// All indices in the order languages are offered for choice: the common ones first.
const std::vector<int>& OfferedOrder();

}  // namespace vx
