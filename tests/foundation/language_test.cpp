#include <gtest/gtest.h>

#include "foundation/language.h"

namespace vx {
namespace {

TEST(LanguageTable, KnownRowsHaveTheirCodesAndNames) {
    struct Row {
        int index;
        const char* code;
        const char* name;
    };
    const Row rows[] = {{0, "aar", "Afar"},
                        {75, "ces", "Czech"},
                        {108, "deu", "German"},
                        {117, "nld", "Dutch; Flemish"},
                        {125, "eng", "English"},
                        {139, "fra", "French"},
                        {396, "spa", "Spanish; Castilian"},
                        {446, "und", "Undetermined"},
                        {471, "zho", "Chinese"},
                        {474, "zun", "Zuni"}};
    for (const Row& row : rows) {
        EXPECT_EQ(CodeOf(row.index), row.code) << row.index;
        EXPECT_EQ(NameOf(row.index), row.name) << row.index;
    }
    EXPECT_EQ(CodeOf(-1), "");
    EXPECT_EQ(CodeOf(kLanguageCount), "");
}

TEST(LanguageTable, IsAlphabeticalExceptWhereBibliographicCodesSort) {
    // nld, mkd, mri and msa stand where dut, mac, mao and may would sort.
    const std::pair<std::string, std::string> displaced[] = {
        {"nld", "dut"}, {"mkd", "mac"}, {"mri", "mao"}, {"msa", "may"}};
    auto sortKey = [&](int i) {
        for (const auto& [code, alias] : displaced)
            if (CodeOf(i) == code)
                return alias;
        return CodeOf(i);
    };
    for (int i = 1; i < kLanguageCount; ++i) EXPECT_LT(sortKey(i - 1), sortKey(i)) << i;
}

TEST(LanguageTable, IndexOfCodeIgnoresCaseAndFallsBackToEnglish) {
    const std::pair<const char*, int> cases[] = {{"eng", 125},     {"ENG", 125}, {"Fra", 139},
                                                 {"xyz", 125},     {"", 125},    {"en", 125},
                                                 {"deutsch", 108}, {"zun", 474}, {"aar", 0}};
    for (const auto& [text, index] : cases) EXPECT_EQ(IndexOfCode(text), index) << text;
}

TEST(LanguageTable, DisplayTextShowsCodeThenName) {
    EXPECT_EQ(DisplayText(125), "eng (English)");
    EXPECT_EQ(DisplayText(117), "nld (Dutch; Flemish)");
}

TEST(LanguageTable, OfferedOrderPutsCommonLanguagesFirstThenTheRestInTableOrder) {
    const std::vector<int>& order = OfferedOrder();
    ASSERT_EQ(order.size(), size_t(kLanguageCount));
    const char* first[] = {"ces", "deu", "nld", "eng", "fra", "ind", "ita", "jpn", "kor",
                           "nor", "por", "ron", "rus", "spa", "swe", "tha", "zho"};
    for (size_t k = 0; k < 17; ++k) EXPECT_EQ(CodeOf(order[k]), first[k]) << k;
    EXPECT_EQ(order[3], 125);
    EXPECT_EQ(order[17], 0);  // aar
    std::vector<bool> seen(kLanguageCount, false);
    for (size_t k = 0; k < order.size(); ++k) {
        EXPECT_FALSE(seen[size_t(order[k])]) << "offered twice: " << order[k];
        seen[size_t(order[k])] = true;
        if (k > 17) {
            EXPECT_GT(order[k], order[k - 1]);
        }
    }
}

}  // namespace
}  // namespace vx
