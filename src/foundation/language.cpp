#include "foundation/language.h"

#include <strings.h>

namespace vx {
namespace {

struct LanguageEntry {
    const char* code;
    const char* name;
};

const LanguageEntry kLanguages[kLanguageCount] = {
#include "foundation/language_table.inc"
};

// The languages offered first, in this order; the rest follow in table order.
const char* const kOfferedFirst[] = {"ces", "deu", "nld", "eng", "fra", "ind", "ita", "jpn", "kor",
                                     "nor", "por", "ron", "rus", "spa", "swe", "tha", "zho"};

bool InTable(int index) {
    return index >= 0 && index < kLanguageCount;
}

}  // namespace

std::string CodeOf(int index) {
    return InTable(index) ? kLanguages[index].code : "";
}

std::string NameOf(int index) {
    return InTable(index) ? kLanguages[index].name : "";
}

int IndexOfCode(const std::string& text) {
    if (text.size() >= 3) {
        for (int i = 0; i < kLanguageCount; ++i)
            if (::strncasecmp(text.c_str(), kLanguages[i].code, 3) == 0)
                return i;
    }
    return kDefaultLanguage;
}

std::string DisplayText(int index) {
    return CodeOf(index) + " (" + NameOf(index) + ")";
}

const std::vector<int>& OfferedOrder() {
    static const std::vector<int> order = [] {
        std::vector<int> result;
        std::vector<bool> taken(kLanguageCount, false);
        for (const char* code : kOfferedFirst) {
            int index = IndexOfCode(code);
            result.push_back(index);
            taken[size_t(index)] = true;
        }
        for (int i = 0; i < kLanguageCount; ++i)
            if (!taken[size_t(i)])
                result.push_back(i);
        return result;
    }();
    return order;
}

}  // namespace vx
