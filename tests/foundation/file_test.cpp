#include <gtest/gtest.h>

#include <cstring>

#include "foundation/bytes.h"
#include "foundation/file.h"
#include "foundation/messages.h"
#include "support.h"

namespace vx {
namespace {

TEST(SeekableFile, ReadsSeeksAndReportsLength) {
    test::TempDir dir;
    test::WriteFile(dir / "f", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    CFile file;
    ASSERT_TRUE(file.Open(dir / "f", CFile::modeRead));
    EXPECT_EQ(file.GetLength(), 10u);
    EXPECT_EQ(file.GetFilePath(), dir / "f");
    EXPECT_EQ(file.Seek(-3, CFile::end), 7u);
    uint8_t buf[8] = {};
    EXPECT_EQ(file.Read(buf, sizeof buf), 3u) << "short count at end of file";
    EXPECT_EQ(buf[0], 7);
    EXPECT_EQ(file.Seek(2, CFile::begin), 2u);
    EXPECT_EQ(file.Seek(3, CFile::current), 5u);
    EXPECT_EQ(file.GetPosition(), 5u);
}

TEST(SeekableFile, WriteTruncatesAndErrorsCarryTheSystemDescription) {
    test::TempDir dir;
    test::WriteFile(dir / "f", std::vector<uint8_t>(100, 0xFF));
    WriteWholeFile(dir / "f", {1, 2});
    EXPECT_EQ(ReadWholeFile(dir / "f"), (std::vector<uint8_t>{1, 2}));

    CFile file;
    FileError error("", 0);
    EXPECT_FALSE(file.Open(dir / "missing", CFile::modeRead, &error));
    EXPECT_EQ(error.Description(), std::strerror(ENOENT));
    EXPECT_EQ(error.Path(), dir / "missing");
    EXPECT_FALSE(file.Open(dir.Path(), CFile::modeRead, &error)) << "a folder is not a file";
    EXPECT_THROW(ReadWholeFile(dir / "missing"), FileError);
    EXPECT_THROW(WriteWholeFile(dir / "no/such/folder", {1}), FileError);
}

TEST(FileSystem, CopiesDeletesAndCreatesFolders) {
    test::TempDir dir;
    test::WriteFile(dir / "a", {1, 2, 3});
    test::WriteFile(dir / "b", {9});
    EXPECT_TRUE(CopyFileOverwrite(dir / "a", dir / "b"));
    EXPECT_EQ(ReadWholeFile(dir / "b"), (std::vector<uint8_t>{1, 2, 3}));
    FileError error("", 0);
    EXPECT_FALSE(CopyFileOverwrite(dir / "missing", dir / "c", &error));
    EXPECT_EQ(error.Error(), ENOENT);
    EXPECT_TRUE(DeleteFile(dir / "a"));
    EXPECT_FALSE(DeleteFile(dir / "a"));
    EXPECT_TRUE(CreateFolder(dir / "sub"));
    EXPECT_TRUE(CreateFolder(dir / "sub")) << "an existing folder is fine";
    EXPECT_FALSE(DeleteFile(dir / "sub")) << "deleting files leaves folders";
    EXPECT_FALSE(CreateFolder(dir / "b")) << "a file is in the way";
    EXPECT_FALSE(TempFolder().empty());
}

TEST(ByteReader, RefusesEveryAccessPastTheEnd) {
    const uint8_t data[] = {0x12, 0x34, 0x56, 0x78, 0x9A};
    ByteReader r(data, sizeof data);
    EXPECT_EQ(r.U16(), 0x1234);
    EXPECT_EQ(r.U24(), 0x56789Au);
    EXPECT_EQ(r.Remaining(), 0u);
    EXPECT_THROW(r.U8(), ParseError);
    ByteReader s(data, sizeof data);
    EXPECT_THROW(s.U64(), ParseError);
    EXPECT_EQ(s.Position(), 0u) << "a failed read does not move";
    EXPECT_THROW(s.Seek(6), ParseError);
    EXPECT_NO_THROW(s.Seek(5));
    EXPECT_THROW(s.Skip(1), ParseError);
    s.Seek(1);
    ByteReader sub = s.Sub(2);
    EXPECT_EQ(sub.U16(), 0x3456);
    EXPECT_THROW(sub.U8(), ParseError) << "a sub-reader ends where its block ends";
    EXPECT_THROW(s.Vector(3), ParseError);
}

TEST(ByteWriter, WritesBigEndianAndPatchesLengths) {
    ByteWriter w;
    w.U32(0);  // length of what follows, patched below
    w.U16(0xABCD);
    w.Text("INDX", 4);
    w.Text("ab", 4);
    w.PatchU32(0, uint32_t(w.Position() - 4));
    EXPECT_EQ(test::ToHex(w.Buffer()), "00 00 00 0A AB CD 49 4E 44 58 61 62 00 00");
    EXPECT_THROW(w.PatchU32(12, 1), std::out_of_range);
    EXPECT_EQ(HexString(w.Buffer()).substr(0, 8), "0000000a");
}

TEST(Messages, GoToTheInstalledSinkAndCaptureRestoresIt) {
    std::vector<std::string> outer;
    MessageSink previous = SetMessageSink([&](const std::string& t) { outer.push_back(t); });
    {
        MessageCapture capture;
        ShowMessage("Stream parse error:\n/x.mpls");
        ASSERT_EQ(capture.Texts().size(), 1u);
        EXPECT_EQ(capture.Texts()[0], "Stream parse error:\n/x.mpls");
    }
    ShowMessage("after");
    EXPECT_EQ(outer, (std::vector<std::string>{"after"}));
    SetMessageSink(std::move(previous));
}

TEST(Progress, ACallbackThatReturnsFalseCancels) {
    struct Seen {
        std::vector<int> statuses;
        int stopAt = 50;
    } seen;
    ProgressCallback cb{
        [](void* context, const ProgressRecord& r) {
            auto* s = static_cast<Seen*>(context);
            s->statuses.push_back(r.status);
            return !(r.status == ProgressRecord::percent && r.percentDone >= s->stopAt);
        },
        &seen};
    EXPECT_TRUE(cb.Title("Analysing"));
    EXPECT_TRUE(cb.Status("a.ac3"));
    EXPECT_TRUE(cb.Percent(10));
    EXPECT_FALSE(cb.Percent(50));
    EXPECT_TRUE(cb.HideBar());
    EXPECT_EQ(seen.statuses, (std::vector<int>{2, 1, 0, 0, 3}));
    EXPECT_TRUE(ProgressCallback{}.Percent(100)) << "no callback means go on";
}

}  // namespace
}  // namespace vx
