// The movie object file: layout, flags, extension data, copies and damaged files.

#include "bdmv/movie_object.h"

#include <gtest/gtest.h>

#include "foundation/bytes.h"
#include "foundation/file.h"
#include "support.h"

namespace vx {
namespace {

using test::Fixture;
using test::Hex;
using test::ToHex;

const char* const kMovieObjectFixtures[] = {
    "disc-avc1080p24-ac3/BDMV/MovieObject.bdmv",
    "disc-avc1080p24-ac3/BDMV/BACKUP/MovieObject.bdmv",
    "third-party/bdmv/bigbuckbunny-tsmuxer/BDMV/MovieObject.bdmv",
    "third-party/bdmv/bigbuckbunny-tsmuxer/BDMV/BACKUP/MovieObject.bdmv",
};

std::vector<uint8_t> FixtureMovieObjects() {
    return ReadWholeFile(Fixture(kMovieObjectFixtures[0]));
}

std::vector<uint8_t> Built(MOVIE_OBJECT_BDMV& mobj) {
    std::vector<uint8_t> out;
    uint32_t size = mobj.Build(nullptr);
    EXPECT_EQ(mobj.Build(&out), size);
    EXPECT_EQ(out.size(), size);
    return out;
}

std::vector<uint8_t> Slice(const std::vector<uint8_t>& v, size_t at, size_t count) {
    return std::vector<uint8_t>(v.begin() + long(at), v.begin() + long(at + count));
}

CNavCmd Command(uint8_t first, uint8_t last) {
    CNavCmd cmd;
    cmd.bytes[0] = first;
    cmd.bytes[11] = last;
    return cmd;
}

TEST(MovieObjectBdmv, EmptyRecordIs50Bytes) {
    MOVIE_OBJECT_BDMV mobj;
    std::vector<uint8_t> out = Built(mobj);
    ASSERT_EQ(out.size(), 50u);
    EXPECT_EQ(ToHex(Slice(out, 0, 12)), "4D 4F 42 4A 30 32 30 30 00 00 00 00");
    EXPECT_EQ(ToHex(Slice(out, 40, 10)), "00 00 00 06 00 00 00 00 00 00");
    EXPECT_EQ(mobj.MovieObjects.length, 6u);
}

struct ObjectCase {
    const char* name;
    uint8_t resume, menuCallMask, titleSearchMask;
    int commands;
    uint8_t firstByte;
    size_t size;
};

class MovieObjectLayout : public testing::TestWithParam<ObjectCase> {};

TEST_P(MovieObjectLayout, FlagsAndCommands) {
    const ObjectCase& c = GetParam();
    MOVIE_OBJECT_BDMV mobj;
    MOVIE_OBJECT* object = mobj.MovieObjects.Add();
    object->ResumeIntentionFlag = c.resume;
    object->MenuCallMask = c.menuCallMask;
    object->TitleSearchMask = c.titleSearchMask;
    for (int i = 0; i < c.commands; ++i)
        object->Commands.Add(Command(uint8_t(0x50 + i), uint8_t(i)));

    std::vector<uint8_t> out = Built(mobj);
    ASSERT_EQ(out.size(), 50u + c.size);
    EXPECT_EQ(object->Size(), c.size);
    EXPECT_EQ(out[50], c.firstByte);
    EXPECT_EQ(out[51], 0);
    EXPECT_EQ(ReadBE16(out.data() + 52), c.commands);
    EXPECT_EQ(ReadBE32(out.data() + 40), 6u + c.size);
    EXPECT_EQ(ReadBE16(out.data() + 48), 1);
    for (int i = 0; i < c.commands; ++i) {
        EXPECT_EQ(out[54 + 12 * size_t(i)], 0x50 + i);
        EXPECT_EQ(out[54 + 12 * size_t(i) + 11], i);
    }

    MOVIE_OBJECT_BDMV back;
    ASSERT_EQ(back.Parse(out.data(), out.size()), int32_t(out.size()));
    ASSERT_EQ(back.MovieObjects.GetCount(), 1);
    const MOVIE_OBJECT& read = *back.MovieObjects.GetAt(0);
    EXPECT_EQ(read.ResumeIntentionFlag, c.resume);
    EXPECT_EQ(read.MenuCallMask, c.menuCallMask);
    EXPECT_EQ(read.TitleSearchMask, c.titleSearchMask);
    EXPECT_EQ(read.NumberOfNavigationCommands, c.commands);
    EXPECT_EQ(read.Commands.GetCount(), c.commands);
}

INSTANTIATE_TEST_SUITE_P(Cases, MovieObjectLayout,
                         testing::Values(ObjectCase{"ResumeAndTitleSearch", 1, 0, 1, 2, 0xA0, 28},
                                         ObjectCase{"NoCommands", 0, 0, 0, 0, 0x00, 4},
                                         ObjectCase{"MenuCallOnly", 0, 1, 0, 1, 0x40, 16},
                                         ObjectCase{"AllFlags", 1, 1, 1, 3, 0xE0, 40}),
                         [](const auto& info) { return std::string(info.param.name); });

class MovieObjectFixture : public testing::TestWithParam<const char*> {};

TEST_P(MovieObjectFixture, RebuildsByteIdentical) {
    std::vector<uint8_t> file = ReadWholeFile(Fixture(GetParam()));
    MOVIE_OBJECT_BDMV mobj;
    ASSERT_EQ(mobj.Parse(file.data(), file.size()), int32_t(file.size()));
    EXPECT_EQ(ToHex(Built(mobj)), ToHex(file));
}

INSTANTIATE_TEST_SUITE_P(Files, MovieObjectFixture, testing::ValuesIn(kMovieObjectFixtures));

TEST(MovieObjectBdmv, FixtureObjects) {
    std::vector<uint8_t> file = FixtureMovieObjects();
    MOVIE_OBJECT_BDMV mobj;
    ASSERT_GT(mobj.Parse(file.data(), file.size()), 0);
    ASSERT_EQ(mobj.MovieObjects.GetCount(), 3);
    const int commandCounts[] = {5, 9, 5};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(mobj.MovieObjects.GetAt(i)->ResumeIntentionFlag, 1);
        EXPECT_EQ(mobj.MovieObjects.GetAt(i)->Commands.GetCount(), commandCounts[i]);
    }
    Json j = mobj.ToJson();
    EXPECT_EQ(j["MovieObjects"][0]["Commands"][0], "500000010000000a00000000");
}

// The fixture with an extension data block behind the movie objects: one entry of a kind we do
// not know.
std::vector<uint8_t> MovieObjectsWithUnknownExtension() {
    std::vector<uint8_t> file = FixtureMovieObjects();
    WriteBE32(file.data() + 8, uint32_t(file.size()));
    std::vector<uint8_t> ext =
        Hex("00 00 00 18  00 00 00 18  00 00 00 01"
            "AB CD 00 07  00 00 00 18  00 00 00 04"
            "DE AD BE EF");
    file.insert(file.end(), ext.begin(), ext.end());
    return file;
}

TEST(MovieObjectBdmv, UnknownExtensionEntryIsKept) {
    std::vector<uint8_t> file = MovieObjectsWithUnknownExtension();
    MOVIE_OBJECT_BDMV mobj;
    ASSERT_EQ(mobj.Parse(file.data(), file.size()), int32_t(file.size()));
    ASSERT_NE(mobj.ExtensionData, nullptr);
    EXPECT_EQ(ToHex(mobj.ExtensionData->entries.GetAt(0)->data), "DE AD BE EF");
    EXPECT_EQ(ToHex(Built(mobj)), ToHex(file));
    EXPECT_EQ(mobj.ExtensionDataStartAddress, 290u);

    // Removing an object moves the block up behind the last one.
    mobj.MovieObjects.Objects.pop_back();
    std::vector<uint8_t> out = Built(mobj);
    EXPECT_EQ(ReadBE32(out.data() + 8), 290u - 64u);
    EXPECT_EQ(ToHex(Slice(out, 226, out.size() - 226)), ToHex(Slice(file, 290, file.size() - 290)));
}

TEST(MovieObjectBdmv, CopySharesNothing) {
    std::vector<uint8_t> file = MovieObjectsWithUnknownExtension();
    auto source = std::make_unique<MOVIE_OBJECT_BDMV>();
    ASSERT_GT(source->Parse(file.data(), file.size()), 0);

    MOVIE_OBJECT_BDMV destination;
    destination.MovieObjects.Add()->Commands.Add(Command(1, 1));
    MOVIE_OBJECT_BDMV::Copy(*source, destination);

    source->MovieObjects.GetAt(0)->Commands.GetAt(0)->bytes[0] = 0xFF;
    source->ExtensionData->entries.GetAt(0)->data[0] = 0xFF;
    source.reset();
    ASSERT_NE(destination.ExtensionData, nullptr);
    EXPECT_EQ(ToHex(destination.ExtensionData->entries.GetAt(0)->data), "DE AD BE EF");
    EXPECT_EQ(ToHex(Built(destination)), ToHex(file));
}

TEST(MovieObjectBdmv, TypeAndVersionAreKeptAsRead) {
    std::vector<uint8_t> file = FixtureMovieObjects();
    std::memcpy(file.data(), "mobj0100", 8);
    MOVIE_OBJECT_BDMV mobj;
    ASSERT_GT(mobj.Parse(file.data(), file.size()), 0);
    EXPECT_EQ(mobj.VersionNumber, "0100");
    EXPECT_EQ(ToHex(Built(mobj)), ToHex(file));
}

TEST(MovieObjectBdmv, WriteWritesTheBuiltImage) {
    std::vector<uint8_t> file = MovieObjectsWithUnknownExtension();
    MOVIE_OBJECT_BDMV mobj;
    ASSERT_GT(mobj.Parse(file.data(), file.size()), 0);
    test::TempDir dir;
    {
        CFile out;
        ASSERT_TRUE(out.Open(dir / "MovieObject.bdmv", CFile::modeWrite));
        mobj.Write(out);
    }
    EXPECT_EQ(ToHex(ReadWholeFile(dir / "MovieObject.bdmv")), ToHex(file));
}

// ---- damaged files ------------------------------------------------------------------------

struct DamageCase {
    const char* name;
    size_t truncateTo;  // 0: keep the whole file
    size_t patchAt;     // 0: no patch
    uint32_t value;
    int patchBytes = 4;
};

class MovieObjectDamaged : public testing::TestWithParam<DamageCase> {};

TEST_P(MovieObjectDamaged, ParseFails) {
    const DamageCase& c = GetParam();
    std::vector<uint8_t> file = MovieObjectsWithUnknownExtension();  // 318 bytes, extension at 290
    if (c.patchAt != 0) {
        if (c.patchBytes == 2) {
            WriteBE16(file.data() + c.patchAt, uint16_t(c.value));
        } else {
            WriteBE32(file.data() + c.patchAt, c.value);
        }
    }
    if (c.truncateTo != 0)
        file.resize(c.truncateTo);
    MOVIE_OBJECT_BDMV mobj;
    EXPECT_EQ(mobj.Parse(file.data(), file.size()), 0);
}

INSTANTIATE_TEST_SUITE_P(Cases, MovieObjectDamaged,
                         testing::Values(DamageCase{"TruncatedInHeader", 39, 0, 0},
                                         DamageCase{"TruncatedInLength", 42, 0, 0},
                                         DamageCase{"TruncatedInFirstObject", 60, 0, 0},
                                         DamageCase{"TruncatedInLastObject", 289, 0, 0},
                                         DamageCase{"TruncatedInExtension", 300, 0, 0},
                                         DamageCase{"LengthBeyondFile", 0, 40, 0x200},
                                         DamageCase{"LengthHuge", 0, 40, 0xFFFFFFFC},
                                         DamageCase{"LengthTooShortForCount", 0, 40, 4},
                                         DamageCase{"ObjectCountBeyondBlock", 0, 48, 4, 2},
                                         DamageCase{"CommandCountBeyondBlock", 0, 52, 0x30, 2},
                                         DamageCase{"CommandCountHuge", 0, 52, 0xFFFF, 2},
                                         DamageCase{"ExtensionBeyondFile", 0, 8, 0x1000},
                                         DamageCase{"ExtensionInsideObjects", 0, 8, 100},
                                         DamageCase{"ExtensionInsideHeader", 0, 8, 12},
                                         DamageCase{"ExtensionLengthBeyondFile", 0, 290, 0x40}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vx
