#pragma once
// The one-line text form from which the authoring code assembles HDMV navigation commands: a
// mnemonic followed by its operands, e.g. "JumpTitle 1", "Set GPR2012 = 0" or
// "SetButtonPage 0 3 1". Text goes one way only: commands read from a disc keep their 12 bytes
// and are never turned back into text.
//
// Command layout (bit 7 is the most significant bit of a byte):
//   byte 0   bits 7-5 operand count, bits 4-3 group (0 branch, 1 compare, 2 set), 2-0 sub-group
//   byte 1   bit 7 operand 1 is immediate, bit 6 operand 2 is immediate, bits 3-0 branch option
//   byte 2   bits 3-0 compare option
//   byte 3   bits 4-0 set option
//   bytes 4-7 operand 1 (destination), bytes 8-11 operand 2 (source); all other bits zero.
// An operand is an immediate 32-bit value, a general-purpose register ("GPR0".."GPR4095": the
// number in the low 12 bits) or a player status register ("PSR0".."PSR127": 0x80 in the top
// byte, the number in the low byte).

#include <cstddef>
#include <string_view>

#include "bdmv/nav_cmd.h"

namespace vx {

// Keyword index of each mnemonic; the builders take it.
enum class NavKeyword : int {
    kNop = 0,
    kGoTo = 1,
    kBreak = 2,
    kJumpObject = 3,
    kJumpTitle = 4,
    kCallObject = 5,
    kCallTitle = 6,
    kResume = 7,
    kPlayPlaylist = 8,
    kPlayPlaylistAtPlayItem = 9,
    kPlayPlaylistAtMark = 10,
    kTerminatePlaylist = 11,
    kLinkPlayItem = 12,
    kLinkMark = 13,
    kIf = 14,
    kSet = 15,
    kSetStream = 16,
    kSetNVTimer = 17,
    kSetButtonPage = 18,
    kEnableButton = 19,
    kDisableButton = 20,
    kSetSecondaryStream = 21,
    kPopUpMenuOff = 22,
    kStillOn = 23,
    kStillOff = 24,
};
inline constexpr int kNavKeywordCount = 25;

// Compare options of "If" (byte 2), operators "&", "==", "!=", ">=", ">", "<=", "<".
enum class CompareOp : int {
    kBitTest = 1,
    kEqual = 2,
    kNotEqual = 3,
    kGreaterOrEqual = 4,
    kGreater = 5,
    kLessOrEqual = 6,
    kLess = 7,
};

// Set options of "Set" (byte 3), operators "=", "Swap", "+", "-", "x", "/", "%", "Random", "&",
// "|", "Xor", "BitSet", "BitClear", "<<", ">>".
enum class SetOp : int {
    kMove = 1,
    kSwap = 2,
    kAdd = 3,
    kSubtract = 4,
    kMultiply = 5,
    kDivide = 6,
    kModulo = 7,
    kRandom = 8,
    kAnd = 9,
    kOr = 10,
    kXor = 11,
    kBitSet = 12,
    kBitClear = 13,
    kShiftLeft = 14,
    kShiftRight = 15,
};

// What the second operand of BuildSet is: a constant, a GPR number or a PSR number.
enum class SetSource : int { kImmediate = 0, kGpr = 1, kPsr = 2 };

// Longest command text accepted.
inline constexpr size_t kMaxCommandText = 259;

// The register from which menu buttons take the primary audio stream number.
inline constexpr int kAudioStreamRegister = 2011;

// The mnemonic or operator as the text form spells it; empty for a value outside the tables.
std::string_view MnemonicOf(NavKeyword keyword);
std::string_view OperatorOf(CompareOp op);
std::string_view OperatorOf(SetOp op);

// Assembles one command from its text. Mnemonics and operators are matched without regard to
// letter case; tokens are separated by white space. Returns false on any syntax problem (empty or
// over-long text, unknown mnemonic or operator, missing operand, register out of range,
// hexadecimal operand, a register kind the command does not allow); out is then all zero.
bool ParseCommand(std::string_view text, CNavCmd& out);

// Each builder formats one line of text and returns ParseCommand's result for it.
// "<mnemonic>"
bool BuildSimple(CNavCmd& command, NavKeyword keyword);
// "<mnemonic> <n>"
bool BuildWithNumber(CNavCmd& command, NavKeyword keyword, int n);
// "If GPR<a> <operator> <b>"
bool BuildCompare(CNavCmd& command, CompareOp op, int registerA, int valueB);
// "Set GPR<a> <operator> <b>" with b a constant, "GPR<b>" or "PSR<b>" as kind says.
bool BuildSet(SetSource kind, CNavCmd& command, SetOp op, int registerA, int b);
// "SetStream GPR2011 <GPR<pgRegister> or X for -1> <1 or 0> X X": primary audio from GPR 2011,
// the subtitle stream from the given register, and the subtitle display flag.
bool BuildSetStream(int pgRegister, CNavCmd& command, bool displayFlag);
// "SetButtonPage 0 <page or X for -1> 1": select button 0 and show the page, skipping the
// current page's out effect.
bool BuildSetButtonPage(int page, CNavCmd& command);

// Adds delta to the target of every GoTo with an immediate target from index first onward, so
// that the targets keep pointing at the same commands after commands are inserted in front of
// them. A relocated GoTo keeps bytes 0-1 and its operand 1 (with the new target) and has bytes
// 2-3 and operand 2 zero. Returns true when the range holds a GoTo, whether its target is an
// immediate or a register.
bool RelocateGoTo(CNavCmds& list, int first, int delta);

}  // namespace vx
