#include "bdmv/sound_bdmv.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "foundation/bytes.h"
#include "foundation/file.h"
#include "support.h"

namespace vx {
namespace {

// A sound file with two clips (8 bytes mono, 4 bytes stereo) and an extension data block with
// one 5-byte entry. Offsets: index length 40, count 45, entries 46 and 56, samples 66, extension
// data 78, 110 bytes in all.
std::vector<uint8_t> TwoClipFile() {
    ByteWriter w;
    w.Text("BCLK", 4);
    w.Text("0200", 4);
    w.U32(66);  // SoundDataStartAddress
    w.U32(78);  // ExtensionDataStartAddress
    w.Zeros(24);
    w.U32(2 + 10 * 2);
    w.U8(0);
    w.U8(2);
    w.U8(0x11);  // mono, 48 kHz
    w.U8(0x40);  // 16 bit
    w.U32(0);
    w.U32(8);
    w.U8(0x31);  // stereo, 48 kHz
    w.U8(0x40);
    w.U32(8);
    w.U32(4);
    for (int i = 0; i < 12; ++i) w.U8(uint8_t(0xA0 + i));
    w.Bytes(
        test::Hex("00 00 00 1C 00 00 00 18 00 00 00 01 00 20 00 01 00 00 00 18 00 00 00 05"
                  "01 02 03 04 05 00 00 00"));
    return w.Take();
}

std::vector<uint8_t> EmptyIndexFile() {
    ByteWriter w;
    w.Text("BCLK", 4);
    w.Text("0200", 4);
    w.Zeros(32);
    w.U32(0);
    return w.Take();
}

TEST(SoundRead, HeaderAndEmptyIndexSizes) {
    struct Case {
        size_t size;
        bool ok;
    };
    // 44 bytes hold an empty index; 40 pass the header check but lack the index length.
    const Case cases[] = {{44, true}, {40, false}, {39, false}, {0, false}};
    const std::vector<uint8_t> file = EmptyIndexFile();
    ASSERT_EQ(file.size(), 44u);
    for (const Case& c : cases) {
        CSoundBdmv sound;
        EXPECT_EQ(sound.Read(file.data(), c.size), c.ok) << c.size << " bytes";
        if (c.ok) {
            EXPECT_EQ(sound.SoundIndex.GetCount(), 0);
            EXPECT_FALSE(sound.ExtensionData);
        }
    }
}

TEST(SoundRead, TypeIndicatorMustBeBclk) {
    for (size_t i = 0; i < 4; ++i) {
        std::vector<uint8_t> file = EmptyIndexFile();
        file[i] ^= 0x20;  // "bCLK", "BcLK", ...
        CSoundBdmv sound;
        EXPECT_FALSE(sound.Read(file.data(), file.size())) << "byte " << i;
    }
}

TEST(SoundRead, EntriesAndExtensionDataFromFilePosition) {
    // The record starts 5 bytes into the file; its addresses count from there.
    std::vector<uint8_t> file = {'j', 'u', 'n', 'k', '!'};
    const std::vector<uint8_t> record = TwoClipFile();
    file.insert(file.end(), record.begin(), record.end());
    test::TempDir dir;
    test::WriteFile(dir / "Sound.bdmv", file);
    CFile in;
    ASSERT_TRUE(in.Open(dir / "Sound.bdmv", CFile::modeRead));
    in.Seek(5, CFile::begin);

    CSoundBdmv sound;
    ASSERT_TRUE(sound.Read(in));
    EXPECT_EQ(sound.VersionNumber, "0200");
    EXPECT_EQ(sound.SoundDataStartAddress, 66u);
    EXPECT_EQ(sound.SoundIndex.Length, 22u);
    ASSERT_EQ(sound.SoundIndex.GetCount(), 2);
    const SSoundEntry* mono = sound.SoundIndex.GetAt(0);
    const SSoundEntry* stereo = sound.SoundIndex.GetAt(1);
    EXPECT_EQ(mono->ChannelConfiguration, 1);
    EXPECT_EQ(mono->SamplingFrequency, 1);
    EXPECT_EQ(mono->BitsPerSample, 1);
    EXPECT_EQ(mono->SoundDataStartLength, 8u);
    EXPECT_EQ(stereo->ChannelConfiguration, 3);
    EXPECT_EQ(stereo->SoundDataStartAddress, 8u);
    EXPECT_EQ(stereo->SoundDataStartLength, 4u);
    ASSERT_TRUE(sound.ExtensionData);
    ASSERT_EQ(sound.ExtensionData->entries.GetCount(), 1);
    EXPECT_EQ(sound.ExtensionData->entries.GetAt(0)->data, test::Hex("01 02 03 04 05"));

    // The span reader sees the same record.
    CSoundBdmv fromSpan;
    ASSERT_TRUE(fromSpan.Read(record.data(), record.size()));
    EXPECT_EQ(fromSpan.ToJson(), sound.ToJson());

    // A second read replaces what the first one found.
    const std::vector<uint8_t> empty = EmptyIndexFile();
    ASSERT_TRUE(sound.Read(empty.data(), empty.size()));
    EXPECT_EQ(sound.SoundIndex.GetCount(), 0);
    EXPECT_FALSE(sound.ExtensionData);
}

TEST(SoundRead, ZeroExtensionLengthMeansNoBlock) {
    std::vector<uint8_t> file = TwoClipFile();
    file.resize(82);
    std::memset(file.data() + 78, 0, 4);
    CSoundBdmv sound;
    ASSERT_TRUE(sound.Read(file.data(), file.size()));
    EXPECT_EQ(sound.SoundIndex.GetCount(), 2);
    EXPECT_FALSE(sound.ExtensionData);
}

TEST(SoundDamaged, InconsistentFieldsRejected) {
    struct Case {
        const char* name;
        size_t offset;
        std::vector<uint8_t> bytes;
    };
    const Case cases[] = {
        {"no entries under a non-zero length", 45, {0}},
        {"length shorter than its entries", 40, {0, 0, 0, 21}},
        {"index beyond the file", 40, {0, 0, 0x10, 0}},
        {"samples beyond the file", 62, {0, 0, 0, 0x40}},
        {"samples starting beyond the file", 58, {0x7F, 0xFF, 0xFF, 0xFF}},
        {"samples inside the index", 8, {0, 0, 0, 0x10}},
        {"extension length with its top bit set", 78, {0x80, 0, 0, 0}},
        {"extension data beyond the file", 12, {0, 0, 0x10, 0}},
        {"extension data inside the index", 12, {0, 0, 0, 0x20}},
        {"extension data longer than the file", 78, {0, 0, 0, 0x40}},
        {"extension entry beyond its block", 98, {0, 0, 0, 0x40}},
    };
    const std::vector<uint8_t> original = TwoClipFile();
    {
        CSoundBdmv sound;
        ASSERT_TRUE(sound.Read(original.data(), original.size()));
    }
    for (const Case& c : cases) {
        std::vector<uint8_t> file = original;
        std::memcpy(file.data() + c.offset, c.bytes.data(), c.bytes.size());
        CSoundBdmv sound;
        EXPECT_FALSE(sound.Read(file.data(), file.size())) << c.name;
    }
    for (size_t n = 0; n < original.size(); ++n) {
        CSoundBdmv sound;
        EXPECT_FALSE(sound.Read(original.data(), n)) << "cut to " << n << " bytes";
    }
}

TEST(SoundAttributes, Names) {
    struct Case {
        uint8_t value;
        const char* channels;
        const char* frequency;
        const char* bits;
    };
    const Case cases[] = {
        {0, "Reserved", "Reserved", "Reserved"},  {1, "Mono", "48K", "16 bit"},
        {2, "Reserved", "Reserved", "Reserved"},  {3, "Stereo", "Reserved", "Reserved"},
        {15, "Reserved", "Reserved", "Reserved"},
    };
    for (const Case& c : cases) {
        EXPECT_STREQ(SSoundEntry::ChannelConfigurationName(c.value), c.channels) << int(c.value);
        EXPECT_STREQ(SSoundEntry::SamplingFrequencyName(c.value), c.frequency) << int(c.value);
        EXPECT_STREQ(SSoundEntry::BitsPerSampleName(c.value), c.bits) << int(c.value);
    }
}

}  // namespace
}  // namespace vx
