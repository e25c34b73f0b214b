#include "streams/coding_types.h"

#include <gtest/gtest.h>

#include <string>

#include "streams/parser_base.h"

namespace vx {
namespace {

struct NameCase {
    uint8_t code;
    const char* name;
    const char* shortName;
    StreamCategory category;
};

TEST(CodingTypes, NamesAndCategories) {
    const NameCase cases[] = {
        {0x02, "MPEG-2 Video", "MPEG-2 Video", StreamCategory::video},
        {0x1B, "MPEG-4 AVC/h.264", "MPEG-4 AVC/H.264", StreamCategory::video},
        {0xEA, "VC-1", "VC-1", StreamCategory::video},
        {0x80, "LPCM (WAV)", "LPCM audio", StreamCategory::audio},
        {0x81, "AC-3", "AC-3", StreamCategory::audio},
        {0x82, "DTS", "DTS", StreamCategory::audio},
        {0x83, "TrueHD/Dolby Lossless", "TrueHD", StreamCategory::audio},
        {0x84, "Dolby Digital Plus/E-AC3", "EAC-3", StreamCategory::audio},
        {0x85, "DTS-HD except XLL", "DTS-HD except XLL", StreamCategory::audio},
        {0x86, "DTS-HD XLL", "DTS-HD XLL", StreamCategory::audio},
        {0xA1, "Dolby Digital Plus (2nd Audio)", "EAC-3", StreamCategory::audio},
        {0xA2, "DTS-HD LBR (2nd Audio)", "DTS-HD LBR", StreamCategory::audio},
        {0x90, "PG/Subtitle", "PG(Subtitle)", StreamCategory::pg},
        {0x91, "IG/Menu", "IG(Menu)", StreamCategory::ig},
        {0x92, "Text subtitle", "Text subtitle", StreamCategory::other},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.code));
        ASSERT_NE(CodingTypeName(c.code), nullptr);
        EXPECT_STREQ(CodingTypeName(c.code), c.name);
        EXPECT_STREQ(CodingTypeShortName(c.code), c.shortName);
        EXPECT_EQ(CategoryOf(c.code), c.category);
    }
}

TEST(CodingTypes, OtherCodesHaveNoNameOrCategory) {
    for (int code :
         {0x00, 0x01, 0x03, 0x0F, 0x1A, 0x24, 0x87, 0x8F, 0x93, 0xA0, 0xA3, 0xE9, 0xFF}) {
        SCOPED_TRACE(code);
        EXPECT_EQ(CodingTypeName(uint8_t(code)), nullptr);
        EXPECT_EQ(CodingTypeShortName(uint8_t(code)), nullptr);
        EXPECT_EQ(CategoryOf(uint8_t(code)), StreamCategory::none);
    }
}

TEST(ParseResultMessages, TextsAsShownToTheUser) {
    const std::pair<int, const char*> cases[] = {
        {kParseOk, "Parse sucessfully! "},
        {kParseCancelled, "Parse canceled! "},
        {kUnknownFormat, "Unknown file format! "},
        {kIncompatibleFile, "Incompatible file! "},
        {kOpenFileError, "Open file error! "},
        {kCreateSifError, "Create stream info file error! "},
        {kReadFileError, "Read file erorr! "},
        {kWriteFileError, "Write file erorr! "},
        {kSyntaxIllegal, "Syntax illegal! "},
        {kNoSequenceHeader, "No Sequence header! "},
        {kWrongBitstreamId, "Wrong bitstream Id! "},
        {kWrongSampleBits, "Wrong sample bits! "},
        {kWrongSampleRate, "Wrong sample rate! "},
        {kWrongBitrate, "Wrong bitrate! "},
        {kWrongChannelCount, "Wrong channel count! "},
        {kWrongAudioCodingMode, "Wrong audio coding mode! "},
        {kWrongAudioBlocksCount, "Wrong audio blocks count! "},
        {kWrongProgressiveFlag, "Wrong progressive/interlace flag! "},
        {kWrongEntryPointPosition, "Wrong entry point posistion! "},
        {kFixedFrameRateFalse, "Fixed frame rate is false! "},
        {kWrongLowDelayHrdFlag, "Wrong low-delay HRD flag! "},
        {kWrongExtensionMode, "Wrong extention mode! "},
    };
    for (const auto& [code, text] : cases) EXPECT_STREQ(ResultMessage(code), text) << code;
}

TEST(ParseResultMessages, EveryCodeOfTheTableHasATextEndingInExclamationAndSpace) {
    for (int code = 0; code < kParseResultCount; ++code) {
        std::string text = ResultMessage(code);
        ASSERT_GE(text.size(), 3u) << code;
        EXPECT_EQ(text.substr(text.size() - 2), "! ") << code;
    }
    EXPECT_EQ(kParseResultCount, 46);
    EXPECT_STREQ(ResultMessage(46), "");
    EXPECT_STREQ(ResultMessage(-1), "");
}

}  // namespace
}  // namespace vx
