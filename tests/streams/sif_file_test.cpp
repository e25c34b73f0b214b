#include "streams/sif_file.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "fake_parser.h"
#include "foundation/file.h"
#include "support.h"

namespace vx {
namespace {

using test::CTestSif;

std::unique_ptr<CSifData> TestFactory(uint8_t) {
    return std::make_unique<CTestSif>();
}

void PutLE32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + i] = uint8_t(v >> (8 * i));
}

TEST(SifFile, HeaderLayoutByteForByte) {
    SIF_HEADER h;
    h.StreamCodingType = 0x91;
    h.NumberOfAus = 0x04030201;
    h.AuDuration = 32.0;
    h.BitRate = 448000;
    h.ExtBitRate = 0x11223344;
    h.FirstAuOffset = 0x2C;
    h.AuTableOffset = 68;
    h.DataLength = 0x0102030405060708;
    h.ModificationTime = 0x1122334455667788;
    LeWriter out;
    h.Write(out);
    EXPECT_EQ(test::ToHex(out.Buffer()),
              test::ToHex(test::Hex("52 53 49 46  00 00 00 00  91  01 02 03 04"
                                    "  00 00 00 00 00 00 40 40  00 d6 06 00  44 33 22 11"
                                    "  00 00 00 00  2c 00 00 00  44 00 00 00"
                                    "  08 07 06 05 04 03 02 01  88 77 66 55 44 33 22 11")));
    ASSERT_EQ(out.Position(), SIF_HEADER::kSize);

    SIF_HEADER back;
    LeReader in(out.Buffer().data(), out.Position());
    back.Read(in);
    EXPECT_TRUE(back.HasMagic());
    EXPECT_EQ(back.NumberOfAus, h.NumberOfAus);
    EXPECT_EQ(back.AuDuration, 32.0);
    EXPECT_EQ(back.DataLength, h.DataLength);
    EXPECT_EQ(back.ModificationTime, h.ModificationTime);
}

TEST(SifFile, AuRecordLayout) {
    SIF_AU au{0x1234, 0x0000000500000010, 0x00010216, 0x0001FFFE, 0x00020000, 0};
    LeWriter out;
    au.Write(out);
    EXPECT_EQ(test::ToHex(out.Buffer()),
              test::ToHex(test::Hex("34 12 00 00  10 00 00 00 05 00 00 00  16 02 01 00"
                                    "  fe ff 01 00  00 00 02 00  00 00 00 00")));
}

TEST(SifFile, WriterLaysOutHeaderRecordAndTable) {
    test::TempDir dir;
    std::string stream = dir / "menu.ig";
    test::WriteFile(stream, {1, 2, 3});
    CSifWriter sif;
    ASSERT_TRUE(sif.Create(stream));
    EXPECT_EQ(sif.Path(), stream + ".dsi");
    auto record = std::make_unique<CTestSif>();
    record->Version = 7;
    sif.Begin(std::move(record), 0x0102030405060708);
    static_cast<CTestSif*>(sif.Data())->Value = 0xBEEF;
    sif.Header().StreamCodingType = 0x91;
    sif.AppendAu({3, 10, 0x18, 100, 200, 0});
    sif.AppendAu({5, 23, 0x80, 0, 300, 0});
    sif.Finish();

    std::vector<uint8_t> b = ReadWholeFile(sif.Path());
    ASSERT_EQ(b.size(), 57u + 6 + 2 * 28);
    EXPECT_EQ(b[8], 0x91);
    EXPECT_EQ(ReadLE32(&b[9]), 2u);    // AUs
    EXPECT_EQ(ReadLE32(&b[37]), 63u);  // the table follows the record
    EXPECT_EQ(ReadLE32(&b[41]), 8u);   // data length: the AU sizes
    EXPECT_EQ(ReadLE32(&b[49]), 0x05060708u);
    EXPECT_EQ(test::ToHex({b.begin() + 57, b.begin() + 63}), "07 00 00 00 EF BE");
    EXPECT_EQ(ReadLE32(&b[63]), 3u);
    EXPECT_EQ(ReadLE32(&b[63 + 28]), 5u);
    EXPECT_EQ(ReadLE32(&b[63 + 28 + 4]), 23u);
}

TEST(SifFile, RecordThatChangesSize) {
    test::TempDir dir;
    std::string stream = dir / "a.ac3";
    test::WriteFile(stream, {1});
    {
        // Without a table the file is rewritten to the new size.
        CSifWriter sif;
        ASSERT_TRUE(sif.Create(stream));
        sif.Begin(std::make_unique<CTestSif>(), 1);
        static_cast<CTestSif*>(sif.Data())->Long = true;
        sif.Finish();
        std::vector<uint8_t> b = ReadWholeFile(sif.Path());
        EXPECT_EQ(b.size(), 57u + 9);
        EXPECT_EQ(ReadLE32(&b[37]), 66u);
    }
    {
        // With a table it cannot move: refused.
        CSifWriter sif;
        ASSERT_TRUE(sif.Create(stream));
        sif.Begin(std::make_unique<CTestSif>(), 1);
        sif.AppendAu({1, 0, 0, 0, 0, 0});
        static_cast<CTestSif*>(sif.Data())->Long = true;
        EXPECT_THROW(sif.Finish(), FileError);
    }
}

TEST(SifFile, CreateFallsBackToTheTemporaryFolder) {
    test::TempDir dir;
    test::TempDir temp;
    std::string stream = dir / "sub.sup";
    test::WriteFile(stream, {1});
    // A folder in the way of the stream information file makes creating it beside fail.
    std::filesystem::create_directory(stream + ".dsi");
    std::string saved = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "";
    ::setenv("TMPDIR", temp.Path().c_str(), 1);
    CSifWriter sif;
    bool created = sif.Create(stream);
    std::string inTemp = SifPathInTemp(stream);
    if (saved.empty())
        ::unsetenv("TMPDIR");
    else
        ::setenv("TMPDIR", saved.c_str(), 1);
    ASSERT_TRUE(created);
    EXPECT_EQ(sif.Path(), temp / "sub.sup.dsi");
    EXPECT_EQ(inTemp, temp / "sub.sup.dsi");
    EXPECT_TRUE(FileExists(sif.Path()));
    sif.Discard();
    EXPECT_FALSE(FileExists(sif.Path()));
}

// A valid stream information file of a PG stream of three AUs over a stream of 100 bytes.
struct ValidFile {
    test::TempDir dir;
    std::string sif = dir / "s.sup.dsi";
    StreamFileStatus stream{1000, 100};
    std::vector<uint8_t> bytes;

    ValidFile() {
        SIF_HEADER h;
        h.StreamCodingType = 0x90;
        h.NumberOfAus = 3;
        h.DataLength = 30;
        h.ModificationTime = 1000;
        h.AuTableOffset = 63;
        LeWriter out;
        h.Write(out);
        CTestSif record;
        record.Value = 0x4242;
        record.Write(out);
        for (uint32_t n = 0; n < 3; ++n) SIF_AU{10, 10 + n * 20, 0x16, n, 1000 + n, 0}.Write(out);
        bytes = out.Take();
    }
    SifReadStatus Read(CStreamInfo& info) const {
        test::WriteFile(sif, bytes);
        return ReadSifFile(sif, stream, TestFactory, info);
    }
};

TEST(SifFile, ReadsAValidFile) {
    ValidFile f;
    CStreamInfo info;
    ASSERT_EQ(f.Read(info), SifReadStatus::ok);
    EXPECT_EQ(info.CodingType(), 0x90);
    EXPECT_EQ(static_cast<CTestSif*>(info.Data.get())->Value, 0x4242);
    ASSERT_EQ(info.AuTable.size(), 3u);
    SIF_AU au;
    ASSERT_TRUE(info.GetAu(2, au));
    EXPECT_EQ(au, (SIF_AU{10, 50, 0x16, 2, 1002, 0}));
    EXPECT_FALSE(info.GetAu(3, au));
}

TEST(SifFile, DamagedOrStaleFilesAreNotTrusted) {
    struct Case {
        const char* label;
        std::function<void(ValidFile&)> damage;
        SifReadStatus expected;
    };
    const Case cases[] = {
        {"wrong magic", [](ValidFile& f) { f.bytes[3] = 'G'; }, SifReadStatus::invalid},
        {"no AUs", [](ValidFile& f) { PutLE32(f.bytes, 9, 0); }, SifReadStatus::invalid},
        {"no data", [](ValidFile& f) { PutLE32(f.bytes, 41, 0); }, SifReadStatus::invalid},
        {"other modification time", [](ValidFile& f) { f.stream.ModificationTime = 1001; },
         SifReadStatus::stale},
        {"header cut short", [](ValidFile& f) { f.bytes.resize(56); }, SifReadStatus::invalid},
        {"record cut short", [](ValidFile& f) { f.bytes.resize(60); }, SifReadStatus::invalid},
        {"table offset inside the header", [](ValidFile& f) { PutLE32(f.bytes, 37, 20); },
         SifReadStatus::invalid},
        {"table offset before the record ends", [](ValidFile& f) { PutLE32(f.bytes, 37, 59); },
         SifReadStatus::invalid},
        {"table offset past the end", [](ValidFile& f) { PutLE32(f.bytes, 37, 5000); },
         SifReadStatus::invalid},
        {"table one byte short", [](ValidFile& f) { f.bytes.pop_back(); }, SifReadStatus::invalid},
        {"huge AU count", [](ValidFile& f) { PutLE32(f.bytes, 9, 0xFFFFFFFF); },
         SifReadStatus::invalid},
        {"AU past the end of the stream", [](ValidFile& f) { f.stream.Length = 59; },
         SifReadStatus::invalid},
        {"AU offset beyond the stream",
         [](ValidFile& f) { PutLE32(f.bytes, 63 + 28 + 4, 0xFFFFFFF0); }, SifReadStatus::invalid},
        {"AU duration not a number",
         [](ValidFile& f) {
             double nan = std::numeric_limits<double>::quiet_NaN();
             std::memcpy(&f.bytes[13], &nan, 8);
         },
         SifReadStatus::invalid},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ValidFile f;
        c.damage(f);
        CStreamInfo info;
        EXPECT_EQ(f.Read(info), c.expected);
    }
}

TEST(SifFile, MissingFileOrUnknownRecordType) {
    ValidFile f;
    CStreamInfo info;
    EXPECT_EQ(ReadSifFile(f.dir / "none.dsi", f.stream, TestFactory, info),
              SifReadStatus::cannotOpen);
    test::WriteFile(f.sif, f.bytes);
    auto none = [](uint8_t) { return std::unique_ptr<CSifData>(); };
    EXPECT_EQ(ReadSifFile(f.sif, f.stream, none, info), SifReadStatus::invalid);
}

TEST(SifFile, AuIndexOfConstantRateAudio) {
    struct Case {
        const char* label;
        uint8_t codingType;
        uint32_t bitRate, extBitRate, firstOffset, count;
        uint64_t dataLength;
        double duration;
        uint32_t n;
        SIF_AU expected;
    };
    const Case cases[] = {
        // 48 kHz, 16 bits, 2 channels: 192,000 bytes a second, 960 bytes every 5 ms.
        {"LPCM first", 0x80, 1536000, 0, 44, 10, 9600, 5.0, 0, {960, 44, 0, 131070, 131070, 0}},
        {"LPCM 4th", 0x80, 1536000, 0, 44, 10, 9600, 5.0, 3, {960, 2924, 0, 132420, 132420, 0}},
        {"AC-3 3rd", 0x81, 448000, 0, 0, 10, 17920, 32.0, 2, {1792, 3584, 0, 136830, 136830, 0}},
        {"E-AC-3 alone", 0xA1, 256000, 0, 0, 4, 4096, 32.0, 1, {1024, 1024, 0, 133950, 133950, 0}},
        // AC-3 frames of 1792 bytes alternate with E-AC-3 frames of 1024 bytes.
        {"E-AC-3 pair, core",
         0x84,
         448000,
         256000,
         1024,
         6,
         8448,
         32.0,
         2,
         {1792, 1024 + 2816, 0, 133950, 133950, 0}},
        {"E-AC-3 pair, extension",
         0x84,
         448000,
         256000,
         1024,
         6,
         8448,
         32.0,
         3,
         {1024, 1024 + 2816 + 1792, 1, 133950, 133950, 0}},
        // 1001/48 ms frames: 1876.875 ticks, cut to 1876.
        {"fractional ticks",
         0x81,
         448000,
         0,
         0,
         10,
         17920,
         1001.0 / 48,
         1,
         {1792, 1792, 0, 132946, 132946, 0}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        CStreamInfo info;
        info.Header.StreamCodingType = c.codingType;
        info.Header.BitRate = c.bitRate;
        info.Header.ExtBitRate = c.extBitRate;
        info.Header.FirstAuOffset = c.firstOffset;
        info.Header.NumberOfAus = c.count;
        info.Header.DataLength = c.dataLength;
        info.Header.AuDuration = c.duration;
        SIF_AU au;
        ASSERT_TRUE(info.GetAu(c.n, au));
        EXPECT_EQ(au, c.expected);
        EXPECT_FALSE(info.GetAu(c.count, au));
    }
}

TEST(SifFile, NoAuIndexWithoutSizes) {
    CStreamInfo info;
    info.Header.NumberOfAus = 5;
    info.Header.DataLength = 100;
    SIF_AU au;
    info.Header.StreamCodingType = 0x80;  // no bit rate: no AU size
    EXPECT_FALSE(info.GetAu(0, au));
    info.Header.StreamCodingType = 0x1B;  // video has no index here
    EXPECT_FALSE(info.GetAu(0, au));
    info.Header.StreamCodingType = 0x90;  // graphics without its table
    EXPECT_FALSE(info.GetAu(0, au));
}

}  // namespace
}  // namespace vx
