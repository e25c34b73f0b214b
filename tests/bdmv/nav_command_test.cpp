#include "bdmv/nav_command.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "support.h"

namespace vx {
namespace {

std::string HexOf(const CNavCmd& command) {
    return test::ToHex(std::vector<uint8_t>(command.bytes.begin(), command.bytes.end()));
}

// The command's bytes, or "fails".
std::string Assemble(std::string_view text) {
    CNavCmd command;
    return ParseCommand(text, command) ? HexOf(command) : "fails";
}

struct TextCase {
    const char* text;
    const char* bytes;  // or "fails"
};

void ExpectAssembles(const std::vector<TextCase>& cases) {
    for (const TextCase& c : cases) EXPECT_EQ(Assemble(c.text), c.bytes) << '"' << c.text << '"';
}

TEST(NavCommandText, WorkedExamples) {
    ExpectAssembles({
        {"JumpTitle 1", "21 81 00 00 00 00 00 01 00 00 00 00"},
        {"Set GPR2012 = 0", "50 40 00 01 00 00 07 DC 00 00 00 00"},
        {"If GPR2010 == 0", "48 40 02 00 00 00 07 DA 00 00 00 00"},
        {"SetButtonPage 0 3 1", "51 C0 00 03 80 00 00 00 C0 00 00 03"},
        {"JumpTitle 70000", "21 81 00 00 00 00 FF FF 00 00 00 00"},
        {"Set 5 = GPR1", "fails"},
        {"Set GPR1 Swap 5", "fails"},
        {"GoTo 0x10", "fails"},
        {"GoTo GPR4096", "fails"},
        {"JumpObject PSR127", "21 00 00 00 80 00 00 7F 00 00 00 00"},
        {"setstream gpr2011 x 0 x x", "51 00 00 01 87 DB 00 00 00 00 00 00"},
    });
}

TEST(NavCommandText, EveryMnemonicHasItsGroupAndOption) {
    struct Row {
        NavKeyword keyword;
        const char* mnemonic;
        const char* sample;  // the mnemonic with valid operands
        uint8_t byte0;
        int optionByte;  // 1 branch (bits 3-0), 2 compare, 3 set
        uint8_t option;
    };
    const Row rows[] = {
        {NavKeyword::kNop, "Nop", "Nop", 0x00, 1, 0},
        {NavKeyword::kGoTo, "GoTo", "GoTo 3", 0x20, 1, 1},
        {NavKeyword::kBreak, "Break", "Break", 0x00, 1, 2},
        {NavKeyword::kJumpObject, "JumpObject", "JumpObject 2", 0x21, 1, 0},
        {NavKeyword::kJumpTitle, "JumpTitle", "JumpTitle 2", 0x21, 1, 1},
        {NavKeyword::kCallObject, "CallObject", "CallObject 2", 0x21, 1, 2},
        {NavKeyword::kCallTitle, "CallTitle", "CallTitle 2", 0x21, 1, 3},
        {NavKeyword::kResume, "Resume", "Resume", 0x01, 1, 4},
        {NavKeyword::kPlayPlaylist, "PlayPlaylist", "PlayPlaylist 1", 0x22, 1, 0},
        {NavKeyword::kPlayPlaylistAtPlayItem, "PlayPlaylistAtPlayItem",
         "PlayPlaylistAtPlayItem 1 2", 0x42, 1, 1},
        {NavKeyword::kPlayPlaylistAtMark, "PlayPlaylistAtMark", "PlayPlaylistAtMark 1 2", 0x42, 1,
         2},
        {NavKeyword::kTerminatePlaylist, "TerminatePlaylist", "TerminatePlaylist", 0x02, 1, 3},
        {NavKeyword::kLinkPlayItem, "LinkPlayItem", "LinkPlayItem 1", 0x22, 1, 4},
        {NavKeyword::kLinkMark, "LinkMark", "LinkMark 1", 0x22, 1, 5},
        {NavKeyword::kIf, "If", "If GPR1 < 2", 0x48, 2, 7},
        {NavKeyword::kSet, "Set", "Set GPR1 >> 2", 0x50, 3, 15},
        {NavKeyword::kSetStream, "SetStream", "SetStream 1 2 1 3 1", 0x51, 3, 1},
        {NavKeyword::kSetNVTimer, "SetNVTimer", "SetNVTimer 1 30", 0x51, 3, 2},
        {NavKeyword::kSetButtonPage, "SetButtonPage", "SetButtonPage 1 2", 0x51, 3, 3},
        {NavKeyword::kEnableButton, "EnableButton", "EnableButton 1", 0x31, 3, 4},
        {NavKeyword::kDisableButton, "DisableButton", "DisableButton 1", 0x31, 3, 5},
        {NavKeyword::kPopUpMenuOff, "PopUpMenuOff", "PopUpMenuOff", 0x11, 3, 7},
        {NavKeyword::kStillOn, "StillOn", "StillOn", 0x11, 3, 8},
        {NavKeyword::kStillOff, "StillOff", "StillOff", 0x11, 3, 9},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.sample);
        EXPECT_EQ(MnemonicOf(row.keyword), row.mnemonic);
        CNavCmd command;
        ASSERT_TRUE(ParseCommand(row.sample, command));
        const auto& b = command.bytes;
        EXPECT_EQ(b[0], row.byte0);
        EXPECT_EQ(b[1] & 0x0F, row.optionByte == 1 ? row.option : 0);
        EXPECT_EQ(b[2], row.optionByte == 2 ? row.option : 0);
        EXPECT_EQ(b[3], row.optionByte == 3 ? row.option : 0);

        // The mnemonic is matched without regard to letter case.
        std::string upper = row.sample, lower = row.sample;
        for (char& c : upper) c = char(std::toupper(static_cast<unsigned char>(c)));
        for (char& c : lower) c = char(std::tolower(static_cast<unsigned char>(c)));
        EXPECT_EQ(Assemble(upper), HexOf(command));
        EXPECT_EQ(Assemble(lower), HexOf(command));
    }
    EXPECT_EQ(MnemonicOf(NavKeyword::kSetSecondaryStream), "SetSecondaryStream");
    EXPECT_EQ(MnemonicOf(NavKeyword(-1)), "");
    EXPECT_EQ(MnemonicOf(NavKeyword(kNavKeywordCount)), "");
}

TEST(NavCommandText, CompareOperatorsAreOptionsOneToSeven) {
    const char* symbols[] = {"&", "==", "!=", ">=", ">", "<=", "<"};
    for (int option = 1; option <= 7; ++option) {
        const char* symbol = symbols[option - 1];
        EXPECT_EQ(OperatorOf(CompareOp(option)), symbol);
        char expected[40];
        std::snprintf(expected, sizeof expected, "48 40 %02X 00 00 00 00 01 00 00 00 02", option);
        EXPECT_EQ(Assemble(std::string("If GPR1 ") + symbol + " 2"), expected) << symbol;
    }
    EXPECT_EQ(OperatorOf(CompareOp(0)), "");
    EXPECT_EQ(OperatorOf(CompareOp(8)), "");
}

TEST(NavCommandText, SetOperatorsAreOptionsOneToFifteen) {
    const char* symbols[] = {"=", "Swap", "+",   "-",      "x",        "/",  "%", "Random",
                             "&", "|",    "Xor", "BitSet", "BitClear", "<<", ">>"};
    for (int option = 1; option <= 15; ++option) {
        const char* symbol = symbols[option - 1];
        EXPECT_EQ(OperatorOf(SetOp(option)), symbol);
        char expected[40];
        std::snprintf(expected, sizeof expected, "50 00 00 %02X 00 00 00 01 00 00 00 02", option);
        EXPECT_EQ(Assemble(std::string("Set GPR1 ") + symbol + " GPR2"), expected) << symbol;
    }
    EXPECT_EQ(OperatorOf(SetOp(0)), "");
    EXPECT_EQ(OperatorOf(SetOp(16)), "");
    // Operator words ignore letter case too; "X" is the multiplication.
    ExpectAssembles({
        {"Set GPR1 swap GPR2", "50 00 00 02 00 00 00 01 00 00 00 02"},
        {"Set GPR1 X 3", "50 40 00 05 00 00 00 01 00 00 00 03"},
        {"Set GPR1 RANDOM 6", "50 40 00 08 00 00 00 01 00 00 00 06"},
        {"Set GPR1 xOR 3", "50 40 00 0B 00 00 00 01 00 00 00 03"},
        {"Set GPR1 bitclear 31", "50 40 00 0D 00 00 00 01 00 00 00 1F"},
    });
}

TEST(NavCommandText, OperandsEncodeByKind) {
    ExpectAssembles({
        // Register numbers at their limits; GPR numbers span bytes 2-3, PSRs are marked.
        {"If GPR4095 == PSR0", "48 00 02 00 00 00 0F FF 80 00 00 00"},
        {"If psr127 != -1", "48 40 03 00 80 00 00 7F FF FF FF FF"},
        {"If 7 > gpr0", "48 80 05 00 00 00 00 07 00 00 00 00"},
        // Immediates: the full 32-bit range, signed or not.
        {"Set GPR0 = 4294967295", "50 40 00 01 00 00 00 00 FF FF FF FF"},
        {"Set GPR0 = -2147483648", "50 40 00 01 00 00 00 00 80 00 00 00"},
        {"Set GPR3 + +5", "50 40 00 03 00 00 00 03 00 00 00 05"},
        // Conversion stops at the first character that is not part of the number.
        {"Set GPR3 + 12abc", "50 40 00 03 00 00 00 03 00 00 00 0C"},
        {"GoTo abc", "20 81 00 00 00 00 00 00 00 00 00 00"},
        // The title cap applies to immediates only.
        {"CallTitle 65535", "21 83 00 00 00 00 FF FF 00 00 00 00"},
        {"CallTitle 65536", "21 83 00 00 00 00 FF FF 00 00 00 00"},
        {"JumpTitle GPR9", "21 01 00 00 00 00 00 09 00 00 00 00"},
        {"PlayPlaylist 800", "22 80 00 00 00 00 03 20 00 00 00 00"},
        {"PlayPlaylistAtMark GPR1 3", "42 42 00 00 00 00 00 01 00 00 00 03"},
        {"PlayPlaylistAtPlayItem 5 PSR4", "42 81 00 00 00 00 00 05 80 00 00 04"},
        {"SetNVTimer GPR1 60", "51 40 00 02 00 00 00 01 00 00 00 3C"},
        {"EnableButton GPR7", "31 00 00 04 00 00 00 07 00 00 00 00"},
        {"DisableButton 8159", "31 80 00 05 00 00 1F DF 00 00 00 00"},
    });
}

TEST(NavCommandText, TokensAreSeparatedByWhiteSpaceAndExtrasAfterTheOperandsIgnored) {
    const std::string goTo5 = Assemble("GoTo 5");
    EXPECT_EQ(Assemble(" \tGoTo\t  5  "), goTo5);
    EXPECT_EQ(Assemble("GoTo 5\r\n"), goTo5);
    EXPECT_EQ(Assemble("GoTo 5 6"), goTo5);
    EXPECT_EQ(Assemble("Break now"), Assemble("Break"));
}

TEST(NavCommandText, SetStreamPacksFourItemsAndTheDisplayFlag) {
    ExpectAssembles({
        {"SetStream 1 2 1 3 4", "51 C0 00 01 80 01 C0 02 80 03 80 04"},
        {"SetStream GPR2011 GPR2012 1 X X", "51 00 00 01 87 DB C7 DC 00 00 00 00"},
        {"SetStream 255 X 0 255 X", "51 C0 00 01 80 FF 00 00 80 FF 00 00"},
        // Without an audio item the subtitle item decides operand 1's immediate flag.
        {"SetStream X 4095 0 X X", "51 80 00 01 00 00 8F FF 00 00 00 00"},
        {"SetStream X GPR5 0 X X", "51 00 00 01 00 00 80 05 00 00 00 00"},
        // The display flag stands on its own.
        {"SetStream X X 7 X X", "51 00 00 01 00 00 40 00 00 00 00 00"},
        {"SetStream X X 0 GPR300 GPR301", "51 00 00 01 00 00 00 00 81 2C 81 2D"},
        // Without an IG item the angle item decides operand 2's immediate flag.
        {"SetStream X X 0 X 2", "51 40 00 01 00 00 00 00 00 00 80 02"},
        {"SetStream X X 0 X GPR4095", "51 00 00 01 00 00 00 00 00 00 8F FF"},
    });
}

TEST(NavCommandText, SetButtonPageSelectsButtonPageAndOutEffect) {
    ExpectAssembles({
        {"SetButtonPage 65535 255", "51 C0 00 03 80 00 FF FF 80 00 00 FF"},
        {"SetButtonPage GPR4095 GPR10 0", "51 00 00 03 80 00 0F FF 80 00 00 0A"},
        {"SetButtonPage 1 2 7", "51 C0 00 03 80 00 00 01 C0 00 00 02"},
        {"SetButtonPage 1 2 X", "51 C0 00 03 80 00 00 01 80 00 00 02"},
        // "X" selects nothing but marks its operand immediate; an "X" page ends the command.
        {"SetButtonPage X 2", "51 C0 00 03 00 00 00 00 80 00 00 02"},
        {"SetButtonPage 1 X 1", "51 C0 00 03 80 00 00 01 00 00 00 00"},
        {"SetButtonPage 1 X GPR1", "51 C0 00 03 80 00 00 01 00 00 00 00"},
    });
}

TEST(NavCommandText, SyntaxProblemsFailAndClearTheCommand) {
    const char* texts[] = {
        "",
        "   \t",
        "Jump 1",
        "GoToo 1",
        "GoTo",
        // Operands
        "GoTo 0X10",
        "GoTo -0x10",
        "GoTo GPR",
        "GoTo GPR-1",
        "GoTo GPR12x",
        "GoTo PSR128",
        "GoTo 4294967296",
        "GoTo -2147483649",
        "JumpTitle 99999999999",
        // Compare and set
        "If GPR1 =< 2",
        "If GPR1 ==",
        "If GPR1",
        "Set GPR1 == 2",
        "Set PSR1 = 2",
        "Set GPR1 Swap PSR2",
        "Set GPR1 =",
        "PlayPlaylistAtPlayItem 1",
        "SetNVTimer PSR1 5",
        "SetNVTimer 1 PSR5",
        "SetNVTimer 1",
        "EnableButton",
        // SetStream: count, display flag, register kinds, items that do not fit their field
        "SetStream 1 2 1 3",
        "SetStream 1 X X X X",
        "SetStream 1 X GPR1 X X",
        "SetStream 1 GPR2 0 X X",
        "SetStream X X 0 1 GPR2",
        "SetStream PSR1 X 0 X X",
        "SetStream X X 0 X PSR3",
        "SetStream 0x1 X 0 X X",
        "SetStream 256 X 0 X X",
        "SetStream X 4096 0 X X",
        "SetStream X X 0 256 X",
        "SetStream X X 0 X 256",
        "SetStream -1 X 0 X X",
        // SetButtonPage
        "SetButtonPage 1",
        "SetButtonPage 1 2 GPR1",
        "SetButtonPage PSR1 2",
        "SetButtonPage 1 PSR2",
        "SetButtonPage 65536 1",
        "SetButtonPage 1 256",
        // A known keyword without a text form
        "SetSecondaryStream",
        "SetSecondaryStream 1 2",
    };
    for (const char* text : texts) {
        CNavCmd command;
        command.bytes.fill(0xAA);
        EXPECT_FALSE(ParseCommand(text, command)) << '"' << text << '"';
        EXPECT_EQ(HexOf(command), "00 00 00 00 00 00 00 00 00 00 00 00") << text;
    }
}

TEST(NavCommandText, TextUpTo259CharactersIsRead) {
    // Leading zeros fill the text, so a reader that cut it short would lose the final digit.
    std::string text = "GoTo ";
    text += std::string(kMaxCommandText - text.size() - 1, '0') + "7";
    ASSERT_EQ(text.size(), 259u);
    EXPECT_EQ(Assemble(text), "20 81 00 00 00 00 00 07 00 00 00 00");
    text.insert(5, "0");
    ASSERT_EQ(text.size(), 260u);
    EXPECT_EQ(Assemble(text), "fails");
    EXPECT_EQ(Assemble("Nop" + std::string(257, ' ')), "fails");
}

TEST(NavCommandBuilders, FormatTextAndAssembleIt) {
    using Build = std::function<bool(CNavCmd&)>;
    struct Row {
        const char* what;
        Build build;
        const char* bytes;  // or "fails"
    };
    const Row rows[] = {
        {"Break", [](CNavCmd& c) { return BuildSimple(c, NavKeyword::kBreak); },
         "00 02 00 00 00 00 00 00 00 00 00 00"},
        {"Resume", [](CNavCmd& c) { return BuildSimple(c, NavKeyword::kResume); },
         "01 04 00 00 00 00 00 00 00 00 00 00"},
        {"TerminatePlaylist",
         [](CNavCmd& c) { return BuildSimple(c, NavKeyword::kTerminatePlaylist); },
         "02 03 00 00 00 00 00 00 00 00 00 00"},
        {"PopUpMenuOff", [](CNavCmd& c) { return BuildSimple(c, NavKeyword::kPopUpMenuOff); },
         "11 00 00 07 00 00 00 00 00 00 00 00"},
        {"GoTo alone", [](CNavCmd& c) { return BuildSimple(c, NavKeyword::kGoTo); }, "fails"},
        {"keyword 25", [](CNavCmd& c) { return BuildSimple(c, NavKeyword(25)); }, "fails"},

        {"GoTo 4", [](CNavCmd& c) { return BuildWithNumber(c, NavKeyword::kGoTo, 4); },
         "20 81 00 00 00 00 00 04 00 00 00 00"},
        {"GoTo -1", [](CNavCmd& c) { return BuildWithNumber(c, NavKeyword::kGoTo, -1); },
         "20 81 00 00 FF FF FF FF 00 00 00 00"},
        {"JumpTitle 70000",
         [](CNavCmd& c) { return BuildWithNumber(c, NavKeyword::kJumpTitle, 70000); },
         "21 81 00 00 00 00 FF FF 00 00 00 00"},
        {"CallTitle 2", [](CNavCmd& c) { return BuildWithNumber(c, NavKeyword::kCallTitle, 2); },
         "21 83 00 00 00 00 00 02 00 00 00 00"},
        {"PlayPlaylist 99999",
         [](CNavCmd& c) { return BuildWithNumber(c, NavKeyword::kPlayPlaylist, 99999); },
         "22 80 00 00 00 01 86 9F 00 00 00 00"},
        {"If with a number", [](CNavCmd& c) { return BuildWithNumber(c, NavKeyword::kIf, 1); },
         "fails"},

        {"If GPR2010 == 0", [](CNavCmd& c) { return BuildCompare(c, CompareOp::kEqual, 2010, 0); },
         "48 40 02 00 00 00 07 DA 00 00 00 00"},
        {"If GPR5 < -3", [](CNavCmd& c) { return BuildCompare(c, CompareOp::kLess, 5, -3); },
         "48 40 07 00 00 00 00 05 FF FF FF FD"},
        {"compare option 8", [](CNavCmd& c) { return BuildCompare(c, CompareOp(8), 1, 0); },
         "fails"},
        {"If GPR4096", [](CNavCmd& c) { return BuildCompare(c, CompareOp::kEqual, 4096, 0); },
         "fails"},

        {"Set GPR2012 = 0",
         [](CNavCmd& c) { return BuildSet(SetSource::kImmediate, c, SetOp::kMove, 2012, 0); },
         "50 40 00 01 00 00 07 DC 00 00 00 00"},
        {"Set GPR1 Swap GPR2",
         [](CNavCmd& c) { return BuildSet(SetSource::kGpr, c, SetOp::kSwap, 1, 2); },
         "50 00 00 02 00 00 00 01 00 00 00 02"},
        {"Set GPR2011 = PSR1",
         [](CNavCmd& c) { return BuildSet(SetSource::kPsr, c, SetOp::kMove, 2011, 1); },
         "50 00 00 01 00 00 07 DB 80 00 00 01"},
        {"Set GPR3 << 4",
         [](CNavCmd& c) { return BuildSet(SetSource::kImmediate, c, SetOp::kShiftLeft, 3, 4); },
         "50 40 00 0E 00 00 00 03 00 00 00 04"},
        {"Swap with a constant",
         [](CNavCmd& c) { return BuildSet(SetSource::kImmediate, c, SetOp::kSwap, 1, 2); },
         "fails"},
        {"set kind 3", [](CNavCmd& c) { return BuildSet(SetSource(3), c, SetOp::kMove, 1, 2); },
         "fails"},
        {"PSR128", [](CNavCmd& c) { return BuildSet(SetSource::kPsr, c, SetOp::kMove, 1, 128); },
         "fails"},
        {"set option 16", [](CNavCmd& c) { return BuildSet(SetSource::kGpr, c, SetOp(16), 1, 2); },
         "fails"},

        {"subtitle from GPR2012, shown", [](CNavCmd& c) { return BuildSetStream(2012, c, true); },
         "51 00 00 01 87 DB C7 DC 00 00 00 00"},
        {"audio only", [](CNavCmd& c) { return BuildSetStream(-1, c, false); },
         "51 00 00 01 87 DB 00 00 00 00 00 00"},
        {"audio only, shown", [](CNavCmd& c) { return BuildSetStream(-1, c, true); },
         "51 00 00 01 87 DB 40 00 00 00 00 00"},
        {"subtitle register 4096", [](CNavCmd& c) { return BuildSetStream(4096, c, true); },
         "fails"},
        {"subtitle register -2", [](CNavCmd& c) { return BuildSetStream(-2, c, true); }, "fails"},

        {"page 3", [](CNavCmd& c) { return BuildSetButtonPage(3, c); },
         "51 C0 00 03 80 00 00 00 C0 00 00 03"},
        {"no page", [](CNavCmd& c) { return BuildSetButtonPage(-1, c); },
         "51 C0 00 03 80 00 00 00 00 00 00 00"},
        {"page 256", [](CNavCmd& c) { return BuildSetButtonPage(256, c); }, "fails"},
    };
    for (const Row& row : rows) {
        CNavCmd command;
        EXPECT_EQ(row.build(command) ? HexOf(command) : "fails", row.bytes) << row.what;
    }
}

void Fill(CNavCmds& list, const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        CNavCmd command;
        EXPECT_TRUE(ParseCommand(line, command)) << line;
        list.Add(command);
    }
}

std::vector<std::string> HexLines(const CNavCmds& list) {
    std::vector<std::string> lines;
    for (const CNavCmd* command : list.Records()) lines.push_back(HexOf(*command));
    return lines;
}

std::vector<std::string> HexLines(const std::vector<std::string>& texts) {
    std::vector<std::string> lines;
    for (const std::string& text : texts) lines.push_back(Assemble(text));
    return lines;
}

TEST(NavCommandRelocate, MovesImmediateGoToTargetsOnly) {
    CNavCmds list;
    Fill(list, {"GoTo 2", "Break", "GoTo GPR5"});
    EXPECT_TRUE(RelocateGoTo(list, 0, 3));
    EXPECT_EQ(HexLines(list), HexLines({"GoTo 5", "Break", "GoTo GPR5"}));
}

TEST(NavCommandRelocate, StartsAtTheFirstIndexAndIgnoresOtherBranches) {
    // JumpTitle shares GoTo's branch option but not its group and sub-group.
    CNavCmds list;
    Fill(list, {"GoTo 1", "JumpTitle 1", "GoTo 6", "If GPR1 == 1"});
    EXPECT_TRUE(RelocateGoTo(list, 1, -2));
    EXPECT_EQ(HexLines(list), HexLines({"GoTo 1", "JumpTitle 1", "GoTo 4", "If GPR1 == 1"}));

    EXPECT_FALSE(RelocateGoTo(list, 3, 5));
    EXPECT_FALSE(RelocateGoTo(list, 4, 5));
    EXPECT_EQ(HexLines(list), HexLines({"GoTo 1", "JumpTitle 1", "GoTo 4", "If GPR1 == 1"}));

    CNavCmds registerOnly;
    Fill(registerOnly, {"Nop", "GoTo GPR1"});
    EXPECT_TRUE(RelocateGoTo(registerOnly, 0, 5)) << "a register GoTo counts";
    EXPECT_EQ(HexLines(registerOnly), HexLines({"Nop", "GoTo GPR1"}));
    CNavCmds empty;
    EXPECT_FALSE(RelocateGoTo(empty, 0, 1));
}

TEST(NavCommandRelocate, RewritesTheGoToWithoutStrayBytes) {
    // A GoTo read from a disc with non-zero bytes where the format has none.
    CNavCmds list;
    list.Load(test::Hex("20 81 12 34 00 00 00 02 AA BB CC DD").data(), 1);
    EXPECT_TRUE(RelocateGoTo(list, 0, 3));
    EXPECT_EQ(HexOf(*list.GetAt(0)), "20 81 00 00 00 00 00 05 00 00 00 00");
}

}  // namespace
}  // namespace vx
