#include <gtest/gtest.h>

#include "foundation/bit_reader.h"
#include "support.h"

namespace vx {
namespace {

// A file of n bytes whose byte i is (i * 7 + 3) mod 256.
std::string PatternFile(const test::TempDir& dir, size_t n) {
    std::vector<uint8_t> data(n);
    for (size_t i = 0; i < n; ++i) data[i] = uint8_t(i * 7 + 3);
    std::string path = dir / "bits.bin";
    test::WriteFile(path, data);
    return path;
}

uint8_t PatternByte(size_t i) {
    return uint8_t(i * 7 + 3);
}

TEST(BitReader, ReadsBitFieldsMostSignificantFirst) {
    test::TempDir dir;
    test::WriteFile(dir / "f", {0xA5, 0x12, 0x34, 0xF0});
    CBitReader reader;
    ASSERT_TRUE(reader.Open(dir / "f"));
    struct Step {
        int bits;
        uint32_t value;
    };
    // 0xA5 = 101 00101; then 0x1234 as one 16-bit field at a byte boundary; then 0xF0 bit-wise.
    const Step steps[] = {{3, 5}, {5, 5}, {16, 0x1234}, {1, 1}, {3, 7}, {4, 0}};
    uint64_t expectedCount = 0;
    for (const Step& s : steps) {
        uint32_t value = 0;
        ASSERT_TRUE(reader.ReadBits(s.bits, value)) << s.bits;
        EXPECT_EQ(value, s.value);
        expectedCount += uint64_t(s.bits);
        EXPECT_EQ(reader.BitCount(), expectedCount);
    }
    uint32_t value = 0;
    EXPECT_FALSE(reader.ReadBits(1, value)) << "past the end of the file";
    EXPECT_FALSE(reader.ReadBits(0, value)) << "every read fails after the end";
}

TEST(BitReader, ContinuesAcrossBlockBoundaries) {
    test::TempDir dir;
    const size_t size = CBitReader::kBlockSize * 2 + 10;
    std::string path = PatternFile(dir, size);
    CBitReader reader;
    ASSERT_TRUE(reader.Open(path));
    ASSERT_TRUE(reader.SkipBits(int64_t(CBitReader::kBlockSize - 1) * 8));
    // A 16-bit read whose bytes lie in two blocks.
    uint32_t value = 0;
    ASSERT_TRUE(reader.ReadBits(16, value));
    size_t k = CBitReader::kBlockSize - 1;
    EXPECT_EQ(value, (uint32_t(PatternByte(k)) << 8) | PatternByte(k + 1));
    // An unaligned read across the second boundary.
    ASSERT_TRUE(reader.SkipBits(int64_t(CBitReader::kBlockSize - 2) * 8 + 4));
    ASSERT_TRUE(reader.ReadBits(8, value));
    k = 2 * size_t(CBitReader::kBlockSize) - 1;
    EXPECT_EQ(value, uint32_t(((PatternByte(k) & 0x0F) << 4) | (PatternByte(k + 1) >> 4)));
    EXPECT_EQ(reader.BitCount(), uint64_t(k) * 8 + 12);
    // Reading up to the last byte works, one more bit fails, and so does everything after.
    ASSERT_TRUE(reader.SkipBits(4 + 8 * 8));
    ASSERT_TRUE(reader.ReadBits(8, value));
    EXPECT_EQ(value, PatternByte(size - 1));
    EXPECT_FALSE(reader.ReadBits(1, value));
    EXPECT_TRUE(reader.AtEndOfFile());
    EXPECT_FALSE(reader.SkipBits(0));
}

TEST(BitReader, SkipsBackwardsWithinTheBlock) {
    test::TempDir dir;
    std::string path = PatternFile(dir, 64);
    CBitReader reader;
    ASSERT_TRUE(reader.Open(path));
    uint32_t first = 0, again = 0;
    ASSERT_TRUE(reader.ReadBits(12, first));
    ASSERT_TRUE(reader.SkipBits(-12));
    ASSERT_TRUE(reader.ReadBits(12, again));
    EXPECT_EQ(first, again);
    EXPECT_EQ(reader.BitCount(), 12u);
    EXPECT_FALSE(reader.SkipBits(-100)) << "before the start of the buffered block";
}

TEST(BitReader, OpenFailsForAMissingFile) {
    CBitReader reader;
    EXPECT_FALSE(reader.Open("/nonexistent/file.ac3"));
    uint32_t value;
    EXPECT_FALSE(reader.ReadBits(8, value));
}

}  // namespace
}  // namespace vx
