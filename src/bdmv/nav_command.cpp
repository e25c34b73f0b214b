#include "bdmv/nav_command.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "foundation/bytes.h"

namespace vx {
namespace {

// Where a mnemonic's option goes: branch options in byte 1 bits 3-0, compare options in byte 2,
// set options in byte 3.
enum class OptionByte : uint8_t { kBranch = 1, kCompare = 2, kSet = 3 };

struct Mnemonic {
    std::string_view text;
    uint8_t byte0;  // operand count, group and sub-group
    OptionByte optionByte;
    uint8_t option;  // 0 for "If" and "Set", whose option is their operator
};

// In keyword index order.
constexpr std::array<Mnemonic, kNavKeywordCount> kMnemonics = {{
    {"Nop", 0x00, OptionByte::kBranch, 0},
    {"GoTo", 0x20, OptionByte::kBranch, 1},
    {"Break", 0x00, OptionByte::kBranch, 2},
    {"JumpObject", 0x21, OptionByte::kBranch, 0},
    {"JumpTitle", 0x21, OptionByte::kBranch, 1},
    {"CallObject", 0x21, OptionByte::kBranch, 2},
    {"CallTitle", 0x21, OptionByte::kBranch, 3},
    {"Resume", 0x01, OptionByte::kBranch, 4},
    {"PlayPlaylist", 0x22, OptionByte::kBranch, 0},
    {"PlayPlaylistAtPlayItem", 0x42, OptionByte::kBranch, 1},
    {"PlayPlaylistAtMark", 0x42, OptionByte::kBranch, 2},
    {"TerminatePlaylist", 0x02, OptionByte::kBranch, 3},
    {"LinkPlayItem", 0x22, OptionByte::kBranch, 4},
    {"LinkMark", 0x22, OptionByte::kBranch, 5},
    {"If", 0x48, OptionByte::kCompare, 0},
    {"Set", 0x50, OptionByte::kSet, 0},
    {"SetStream", 0x51, OptionByte::kSet, 1},
    {"SetNVTimer", 0x51, OptionByte::kSet, 2},
    {"SetButtonPage", 0x51, OptionByte::kSet, 3},
    {"EnableButton", 0x31, OptionByte::kSet, 4},
    {"DisableButton", 0x31, OptionByte::kSet, 5},
    {"SetSecondaryStream", 0x51, OptionByte::kSet, 6},
    {"PopUpMenuOff", 0x11, OptionByte::kSet, 7},
    {"StillOn", 0x11, OptionByte::kSet, 8},
    {"StillOff", 0x11, OptionByte::kSet, 9},
}};

constexpr std::array<std::string_view, 7> kCompareOperators = {
    "&", "==", "!=", ">=", ">", "<=", "<"};
constexpr std::array<std::string_view, 15> kSetOperators = {
    "=", "Swap", "+",   "-",      "x",        "/",  "%", "Random",
    "&", "|",    "Xor", "BitSet", "BitClear", "<<", ">>"};

constexpr uint32_t kGprCount = 4096;
constexpr uint32_t kPsrCount = 128;

bool IsSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
char Lower(char c) {
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}
bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char x, char y) { return Lower(x) == Lower(y); });
}
bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

std::vector<std::string_view> SplitTokens(std::string_view text) {
    std::vector<std::string_view> tokens;
    size_t i = 0;
    while (i < text.size()) {
        while (i < text.size() && IsSeparator(text[i])) ++i;
        size_t start = i;
        while (i < text.size() && !IsSeparator(text[i])) ++i;
        if (i > start)
            tokens.push_back(text.substr(start, i - start));
    }
    return tokens;
}

enum class OperandKind { kImmediate, kGpr, kPsr };

struct Operand {
    OperandKind kind = OperandKind::kImmediate;
    uint32_t value = 0;  // the immediate value or the register number

    bool IsImmediate() const { return kind == OperandKind::kImmediate; }
    bool IsGpr() const { return kind == OperandKind::kGpr; }
    bool IsPsr() const { return kind == OperandKind::kPsr; }
    // The 32-bit operand field: immediates as they are, a GPR number in the low 12 bits, a PSR
    // number in the low byte below the PSR marker bit.
    uint32_t Encoded() const {
        switch (kind) {
            case OperandKind::kGpr:
                return value & 0x0FFF;
            case OperandKind::kPsr:
                return 0x80000000u | value;
            default:
                return value;
        }
    }
};

// A register number: the decimal digits after "GPR" or "PSR", nothing else, below count.
std::optional<uint32_t> RegisterNumber(std::string_view digits, uint32_t count) {
    if (digits.empty())
        return std::nullopt;
    uint32_t n = 0;
    for (char c : digits) {
        if (!IsDigit(c))
            return std::nullopt;
        n = n * 10 + uint32_t(c - '0');
        if (n >= count)
            return std::nullopt;
    }
    return n;
}

// Decimal conversion of an immediate: an optional sign and digits, ending at the first other
// character; a token without digits is 0. Negative values are stored in two's complement. A
// value that does not fit 32 bits is refused instead of being wrapped into another number.
std::optional<uint32_t> ImmediateValue(std::string_view token) {
    size_t i = 0;
    bool negative = false;
    if (i < token.size() && (token[i] == '+' || token[i] == '-'))
        negative = token[i++] == '-';
    int64_t magnitude = 0;
    for (; i < token.size() && IsDigit(token[i]); ++i) {
        magnitude = magnitude * 10 + (token[i] - '0');
        if (magnitude > int64_t(UINT32_MAX))
            return std::nullopt;
    }
    if (!negative)
        return uint32_t(magnitude);
    if (magnitude > int64_t(1) << 31)
        return std::nullopt;
    return uint32_t(-magnitude);
}

std::optional<Operand> ReadOperand(std::string_view token) {
    if (StartsWithNoCase(token, "GPR")) {
        auto n = RegisterNumber(token.substr(3), kGprCount);
        if (!n)
            return std::nullopt;
        return Operand{OperandKind::kGpr, *n};
    }
    if (StartsWithNoCase(token, "PSR")) {
        auto n = RegisterNumber(token.substr(3), kPsrCount);
        if (!n)
            return std::nullopt;
        return Operand{OperandKind::kPsr, *n};
    }
    // Operands are decimal; a hexadecimal number would silently convert to 0.
    std::string_view number = token;
    if (!number.empty() && (number[0] == '+' || number[0] == '-'))
        number.remove_prefix(1);
    if (StartsWithNoCase(number, "0x"))
        return std::nullopt;
    auto value = ImmediateValue(token);
    if (!value)
        return std::nullopt;
    return Operand{OperandKind::kImmediate, *value};
}

// The tokens after the mnemonic, read front to back.
class OperandTokens {
public:
    explicit OperandTokens(std::vector<std::string_view> tokens) : tokens_(std::move(tokens)) {}

    size_t Remaining() const { return tokens_.size() - next_; }
    std::optional<std::string_view> NextToken() {
        if (next_ >= tokens_.size())
            return std::nullopt;
        return tokens_[next_++];
    }
    std::optional<Operand> NextOperand() {
        auto token = NextToken();
        if (!token)
            return std::nullopt;
        return ReadOperand(*token);
    }

private:
    std::vector<std::string_view> tokens_;
    size_t next_ = 1;  // token 0 is the mnemonic
};

class CommandBytes {
public:
    explicit CommandBytes(const Mnemonic& mnemonic) {
        bytes_[0] = mnemonic.byte0;
        SetOption(mnemonic.optionByte, mnemonic.option);
    }
    void SetOption(OptionByte where, uint8_t option) { bytes_[size_t(where)] |= option; }
    // Operand 1 or 2 written whole, with its immediate flag.
    void SetOperand(int index, const Operand& operand) {
        WriteBE32(Field(index), operand.Encoded());
        if (operand.IsImmediate())
            SetImmediateFlag(index);
    }
    void SetImmediateFlag(int index) { bytes_[1] |= index == 1 ? 0x80 : 0x40; }
    // Byte offset within operand index's field.
    uint8_t& At(int index, int offset) { return Field(index)[offset]; }
    const std::array<uint8_t, 12>& Bytes() const { return bytes_; }

private:
    uint8_t* Field(int index) { return bytes_.data() + (index == 1 ? 4 : 8); }

    std::array<uint8_t, 12> bytes_{};
};

template <size_t N>
std::optional<uint8_t> FindOperator(const std::array<std::string_view, N>& table,
                                    std::string_view token) {
    for (size_t i = 0; i < N; ++i)
        if (EqualsNoCase(table[i], token))
            return uint8_t(i + 1);
    return std::nullopt;
}

bool IsX(std::string_view token) {
    return EqualsNoCase(token, "X");
}

// One item of "SetStream": unselected ("X"), an immediate stream number or a GPR holding it.
struct StreamItem {
    bool selected = false;
    Operand operand;
};

std::optional<StreamItem> ReadStreamItem(std::string_view token) {
    if (IsX(token))
        return StreamItem{};
    auto operand = ReadOperand(token);
    if (!operand || operand->IsPsr())
        return std::nullopt;
    return StreamItem{true, *operand};
}

// A selected item occupies one 16-bit half of an operand: bit 15 marks it selected and the low
// 12 bits hold a GPR number, or the stream number itself in at most immediateBits bits.
bool PutStreamItem(uint8_t* half, const StreamItem& item, int immediateBits) {
    if (!item.selected)
        return true;
    uint32_t n = item.operand.value;
    if (item.operand.IsImmediate() && n >= (1u << immediateBits))
        return false;
    half[0] |= uint8_t(0x80 | ((n >> 8) & 0x0F));
    half[1] = uint8_t(n);
    return true;
}

// Two items share one operand and so one immediate flag: when both are selected they must be
// of one kind, and the flag follows the first selected item.
bool ShareImmediateFlag(CommandBytes& command, int index, const StreamItem& first,
                        const StreamItem& second) {
    if (first.selected && second.selected &&
        first.operand.IsImmediate() != second.operand.IsImmediate())
        return false;
    const StreamItem& decisive = first.selected ? first : second;
    if (decisive.selected && decisive.operand.IsImmediate())
        command.SetImmediateFlag(index);
    return true;
}

// "SetStream audio subtitle displayFlag ig angle". Operand 1 carries the primary audio stream
// (bits 31-16) and the PG/text subtitle stream (bits 15-0, bit 14 the display flag); operand 2
// carries the IG stream (bits 31-16) and the angle (bits 15-0). The angle is treated like the
// subtitle item: it shares operand 2's immediate flag with the IG item, so with the IG item "X"
// the angle decides that flag, and with both given they must be of one kind (a player reads
// both through the one flag).
bool ParseSetStream(OperandTokens& tokens, CommandBytes& command) {
    if (tokens.Remaining() < 5)
        return false;
    auto audio = ReadStreamItem(*tokens.NextToken());
    auto subtitle = ReadStreamItem(*tokens.NextToken());
    auto flagToken = *tokens.NextToken();
    auto ig = ReadStreamItem(*tokens.NextToken());
    auto angle = ReadStreamItem(*tokens.NextToken());
    if (!audio || !subtitle || !ig || !angle)
        return false;
    auto flag = ReadOperand(flagToken);
    if (IsX(flagToken) || !flag || !flag->IsImmediate())
        return false;

    if (!ShareImmediateFlag(command, 1, *audio, *subtitle))
        return false;
    if (!ShareImmediateFlag(command, 2, *ig, *angle))
        return false;
    if (!PutStreamItem(&command.At(1, 0), *audio, 8))
        return false;
    if (!PutStreamItem(&command.At(1, 2), *subtitle, 12))
        return false;
    if (!PutStreamItem(&command.At(2, 0), *ig, 8))
        return false;
    if (!PutStreamItem(&command.At(2, 2), *angle, 8))
        return false;
    if (flag->value != 0)
        command.At(1, 2) |= 0x40;
    return true;
}

// "SetButtonPage button page [flag]". Operand 1: bit 31 selects a button, bits 15-0 its number
// (or the GPR holding it). Operand 2: bit 31 selects a page, bit 30 skips the current page's
// out effect, bits 7-0 the page number (or bits 11-0 the GPR holding it). "X" leaves an item
// unselected but still marks its operand immediate. The fields hold GPR numbers only, and a
// PSR's marker bit would collide with the select bit, so PSRs are refused.
bool ParseSetButtonPage(OperandTokens& tokens, CommandBytes& command) {
    auto buttonToken = tokens.NextToken();
    auto pageToken = tokens.NextToken();
    if (!buttonToken || !pageToken)
        return false;

    if (IsX(*buttonToken)) {
        command.SetImmediateFlag(1);
    } else {
        auto button = ReadOperand(*buttonToken);
        if (!button || button->IsPsr())
            return false;
        if (button->IsImmediate()) {
            if (button->value > 0xFFFF)
                return false;
            command.SetImmediateFlag(1);
        }
        command.At(1, 0) = 0x80;
        command.At(1, 2) = uint8_t(button->value >> 8);
        command.At(1, 3) = uint8_t(button->value);
    }

    if (IsX(*pageToken)) {
        command.SetImmediateFlag(2);
        return true;
    }
    auto page = ReadOperand(*pageToken);
    if (!page || page->IsPsr())
        return false;
    if (page->IsImmediate()) {
        if (page->value > 0xFF)
            return false;
        command.SetImmediateFlag(2);
    }
    command.At(2, 0) = 0x80;
    command.At(2, 2) = uint8_t(page->value >> 8);
    command.At(2, 3) = uint8_t(page->value);

    auto flagToken = tokens.NextToken();
    if (!flagToken || IsX(*flagToken))
        return true;
    auto flag = ReadOperand(*flagToken);
    if (!flag || !flag->IsImmediate())
        return false;
    if (flag->value != 0)
        command.At(2, 0) |= 0x40;
    return true;
}

bool ParseOperands(NavKeyword keyword, OperandTokens& tokens, CommandBytes& command) {
    switch (keyword) {
        case NavKeyword::kNop:
        case NavKeyword::kBreak:
        case NavKeyword::kResume:
        case NavKeyword::kTerminatePlaylist:
        case NavKeyword::kPopUpMenuOff:
        case NavKeyword::kStillOn:
        case NavKeyword::kStillOff:
            return true;

        case NavKeyword::kGoTo:
        case NavKeyword::kJumpObject:
        case NavKeyword::kJumpTitle:
        case NavKeyword::kCallObject:
        case NavKeyword::kCallTitle:
        case NavKeyword::kPlayPlaylist:
        case NavKeyword::kLinkPlayItem:
        case NavKeyword::kLinkMark:
        case NavKeyword::kEnableButton:
        case NavKeyword::kDisableButton: {
            auto operand = tokens.NextOperand();
            if (!operand)
                return false;
            // Title numbers are 16-bit.
            bool title = keyword == NavKeyword::kJumpTitle || keyword == NavKeyword::kCallTitle;
            if (title && operand->IsImmediate())
                operand->value = std::min(operand->value, 65535u);
            command.SetOperand(1, *operand);
            return true;
        }

        case NavKeyword::kPlayPlaylistAtPlayItem:
        case NavKeyword::kPlayPlaylistAtMark: {
            auto playlist = tokens.NextOperand();
            auto position = tokens.NextOperand();
            if (!playlist || !position)
                return false;
            command.SetOperand(1, *playlist);
            command.SetOperand(2, *position);
            return true;
        }

        case NavKeyword::kIf: {
            auto left = tokens.NextOperand();
            auto op = tokens.NextToken();
            auto right = tokens.NextOperand();
            if (!left || !op || !right)
                return false;
            auto option = FindOperator(kCompareOperators, *op);
            if (!option)
                return false;
            command.SetOption(OptionByte::kCompare, *option);
            command.SetOperand(1, *left);
            command.SetOperand(2, *right);
            return true;
        }

        case NavKeyword::kSet: {
            auto destination = tokens.NextOperand();
            auto op = tokens.NextToken();
            auto source = tokens.NextOperand();
            if (!destination || !op || !source || !destination->IsGpr())
                return false;
            auto option = FindOperator(kSetOperators, *op);
            if (!option)
                return false;
            if (*option == uint8_t(SetOp::kSwap) && !source->IsGpr())
                return false;
            command.SetOption(OptionByte::kSet, *option);
            command.SetOperand(1, *destination);
            command.SetOperand(2, *source);
            return true;
        }

        case NavKeyword::kSetNVTimer: {
            auto objectId = tokens.NextOperand();
            auto timeout = tokens.NextOperand();
            if (!objectId || !timeout || objectId->IsPsr() || timeout->IsPsr())
                return false;
            command.SetOperand(1, *objectId);
            command.SetOperand(2, *timeout);
            return true;
        }

        case NavKeyword::kSetStream:
            return ParseSetStream(tokens, command);
        case NavKeyword::kSetButtonPage:
            return ParseSetButtonPage(tokens, command);

        case NavKeyword::kSetSecondaryStream:
            // The keyword is known, but there is no text form for its operands (secondary
            // video, secondary audio and PiP subtitle selection), and the command without them
            // would select nothing; nothing in this system needs it, so it is refused.
            return false;
    }
    return false;
}

std::optional<NavKeyword> FindMnemonic(std::string_view token) {
    for (int i = 0; i < kNavKeywordCount; ++i)
        if (EqualsNoCase(kMnemonics[size_t(i)].text, token))
            return NavKeyword(i);
    return std::nullopt;
}

}  // namespace

std::string_view MnemonicOf(NavKeyword keyword) {
    int i = int(keyword);
    return i >= 0 && i < kNavKeywordCount ? kMnemonics[size_t(i)].text : std::string_view();
}

std::string_view OperatorOf(CompareOp op) {
    int i = int(op) - 1;
    return i >= 0 && i < int(kCompareOperators.size()) ? kCompareOperators[size_t(i)]
                                                       : std::string_view();
}

std::string_view OperatorOf(SetOp op) {
    int i = int(op) - 1;
    return i >= 0 && i < int(kSetOperators.size()) ? kSetOperators[size_t(i)] : std::string_view();
}

bool ParseCommand(std::string_view text, CNavCmd& out) {
    out.bytes = {};
    if (text.empty() || text.size() > kMaxCommandText)
        return false;
    std::vector<std::string_view> tokens = SplitTokens(text);
    if (tokens.empty())
        return false;
    auto keyword = FindMnemonic(tokens[0]);
    if (!keyword)
        return false;
    CommandBytes command(kMnemonics[size_t(*keyword)]);
    OperandTokens operands(std::move(tokens));
    if (!ParseOperands(*keyword, operands, command))
        return false;
    out.bytes = command.Bytes();
    return true;
}

bool BuildSimple(CNavCmd& command, NavKeyword keyword) {
    std::string_view mnemonic = MnemonicOf(keyword);
    if (mnemonic.empty())
        return false;
    return ParseCommand(std::string(mnemonic), command);
}

bool BuildWithNumber(CNavCmd& command, NavKeyword keyword, int n) {
    std::string_view mnemonic = MnemonicOf(keyword);
    if (mnemonic.empty())
        return false;
    return ParseCommand(std::string(mnemonic) + " " + std::to_string(n), command);
}

bool BuildCompare(CNavCmd& command, CompareOp op, int registerA, int valueB) {
    std::string_view symbol = OperatorOf(op);
    if (symbol.empty())
        return false;
    return ParseCommand("If GPR" + std::to_string(registerA) + " " + std::string(symbol) + " " +
                            std::to_string(valueB),
                        command);
}

bool BuildSet(SetSource kind, CNavCmd& command, SetOp op, int registerA, int b) {
    std::string_view symbol = OperatorOf(op);
    if (symbol.empty())
        return false;
    std::string source;
    switch (kind) {
        case SetSource::kImmediate:
            source = std::to_string(b);
            break;
        case SetSource::kGpr:
            source = "GPR" + std::to_string(b);
            break;
        case SetSource::kPsr:
            source = "PSR" + std::to_string(b);
            break;
        default:
            return false;
    }
    return ParseCommand(
        "Set GPR" + std::to_string(registerA) + " " + std::string(symbol) + " " + source, command);
}

bool BuildSetStream(int pgRegister, CNavCmd& command, bool displayFlag) {
    std::string subtitle = pgRegister == -1 ? "X" : "GPR" + std::to_string(pgRegister);
    return ParseCommand("SetStream GPR" + std::to_string(kAudioStreamRegister) + " " + subtitle +
                            (displayFlag ? " 1" : " 0") + " X X",
                        command);
}

bool BuildSetButtonPage(int page, CNavCmd& command) {
    std::string pageText = page == -1 ? "X" : std::to_string(page);
    return ParseCommand("SetButtonPage 0 " + pageText + " 1", command);
}

bool RelocateGoTo(CNavCmds& list, int first, int delta) {
    bool found = false;
    for (int i = std::max(first, 0); i < list.GetCount(); ++i) {
        std::array<uint8_t, 12>& bytes = list.GetAt(i)->bytes;
        bool isGoTo = (bytes[0] & 0x1F) == 0 && (bytes[1] & 0x0F) == 1;
        if (!isGoTo)
            continue;
        found = true;
        if ((bytes[1] & 0x80) == 0)
            continue;  // the target is in a register
        // Unsigned arithmetic: a target moved below 0 wraps instead of being undefined.
        uint32_t target = ReadBE32(&bytes[4]) + uint32_t(delta);
        std::fill(bytes.begin() + 2, bytes.end(), 0);
        WriteBE32(&bytes[4], target);
    }
    return found;
}

}  // namespace vx
