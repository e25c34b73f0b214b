#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "foundation/file.h"
#include "foundation/paths.h"
#include "support.h"

namespace vx {
namespace {

TEST(PathBuilders, BuildEveryFileOfTheLayout) {
    struct Case {
        const char* what;
        std::function<bool(const std::string&, std::string&)> build;
        const char* expected;
    };
    const Case cases[] = {
        {"clip", [](auto& f, auto& o) { return ClipInfoPath(f, 7, false, o); },
         "/out/BDMV/CLIPINF/00007.clpi"},
        {"clip backup", [](auto& f, auto& o) { return ClipInfoPath(f, 7, true, o); },
         "/out/BDMV/BACKUP/CLIPINF/00007.clpi"},
        {"playlist", [](auto& f, auto& o) { return PlaylistPath(f, 99999, false, o); },
         "/out/BDMV/PLAYLIST/99999.mpls"},
        {"playlist backup", [](auto& f, auto& o) { return PlaylistPath(f, 0, true, o); },
         "/out/BDMV/BACKUP/PLAYLIST/00000.mpls"},
        {"playlist wildcard", [](auto& f, auto& o) { return PlaylistPath(f, -1, false, o); },
         "/out/BDMV/PLAYLIST/*.mpls"},
        {"playlist backup wildcard", [](auto& f, auto& o) { return PlaylistPath(f, -1, true, o); },
         "/out/BDMV/BACKUP/PLAYLIST/*.mpls"},
        {"stream", [](auto& f, auto& o) { return StreamPath(f, 12345, o); },
         "/out/BDMV/STREAM/12345.m2ts"},
        {"index", [](auto& f, auto& o) { return IndexPath(f, false, o); }, "/out/BDMV/index.bdmv"},
        {"index backup", [](auto& f, auto& o) { return IndexPath(f, true, o); },
         "/out/BDMV/BACKUP/index.bdmv"},
        {"movie objects", [](auto& f, auto& o) { return MovieObjectPath(f, false, o); },
         "/out/BDMV/MovieObject.bdmv"},
        {"movie objects backup", [](auto& f, auto& o) { return MovieObjectPath(f, true, o); },
         "/out/BDMV/BACKUP/MovieObject.bdmv"},
        {"sound", [](auto& f, auto& o) { return SoundPath(f, o); }, "/out/BDMV/AUXDATA/Sound.bdmv"},
    };
    for (const Case& c : cases) {
        for (const char* folder : {"/out/BDMV", "/out/BDMV/"}) {
            std::string out;
            EXPECT_TRUE(c.build(folder, out)) << c.what;
            EXPECT_EQ(out, c.expected) << c.what << " from " << folder;
        }
        std::string untouched = "before";
        EXPECT_FALSE(c.build("", untouched)) << c.what << " with an empty folder";
        EXPECT_EQ(untouched, "before");
    }
}

TEST(PathBuilders, RefuseNumbersOutsideTheFiveDigitRange) {
    for (int n : {100000, -2, 1 << 30}) {
        std::string out = "before";
        EXPECT_FALSE(ClipInfoPath("/d", n, false, out)) << n;
        EXPECT_FALSE(ClipInfoPath("/d", n, true, out)) << n;
        EXPECT_FALSE(PlaylistPath("/d", n, false, out)) << n;
        EXPECT_FALSE(StreamPath("/d", n, out)) << n;
        EXPECT_EQ(out, "before");
    }
    std::string out;
    EXPECT_FALSE(ClipInfoPath("/d", -1, false, out)) << "only playlists have a wildcard form";
}

TEST(PurgeFolder, DeletesFilesNotKeptComparingExactly) {
    test::TempDir dir;
    for (const char* name : {"00001.m2ts", "00002.m2ts", "00001.M2TS", "notes.txt"})
        test::WriteFile(dir / name, {1, 2, 3});
    std::filesystem::create_directory(dir / "BACKUP");
    std::filesystem::create_directory(dir / "OTHER");

    PurgeFolder(dir.Path(), {"00001.m2ts", "BACKUP"}, {"BACKUP"});
    EXPECT_TRUE(FileExists(dir / "00001.m2ts"));
    EXPECT_FALSE(FileExists(dir / "00002.m2ts"));
    EXPECT_FALSE(FileExists(dir / "00001.M2TS"));
    EXPECT_FALSE(FileExists(dir / "notes.txt"));
    EXPECT_TRUE(FolderExists(dir / "BACKUP"));
    EXPECT_TRUE(FolderExists(dir / "OTHER"));  // file deletion leaves folders alone

    test::WriteFile(dir / "a", {});
    PurgeFolder(dir.Path() + "/", {}, {});
    EXPECT_FALSE(FileExists(dir / "00001.m2ts"));
    EXPECT_FALSE(FileExists(dir / "a"));
}

TEST(TrackFilters, JoinWithSemicolonsOnlyBetweenPatterns) {
    EXPECT_STREQ(kAudioTrackFilter, "*.wav;*.ac3");
    EXPECT_EQ(CombinedTrackFilter(), "*.wav;*.ac3;*.sup");
    std::string filter;
    AppendFilter(filter, "*.sup");
    EXPECT_EQ(filter, "*.sup");
    AppendFilter(filter, "*.ac3");
    EXPECT_EQ(filter, "*.sup;*.ac3");
}

TEST(Enumerate, MatchesWildcardsWithoutRegardToCase) {
    test::TempDir dir;
    for (const char* name : {"00000.mpls", "00001.MPLS", "readme", "x.mplsx"})
        test::WriteFile(dir / name, {});
    std::vector<std::string> names;
    for (const FolderEntry& e : EnumerateFolder(dir / "*.mpls")) names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<std::string>{"00000.mpls", "00001.MPLS"}));
    EXPECT_EQ(EnumerateFolder(dir / "*.*").size(), 4u);
    EXPECT_TRUE(EnumerateFolder(dir / "missing/*").empty());

    const std::tuple<const char*, const char*, bool> matches[] = {
        {"*", "", true},
        {"*.m2ts", "00001.m2ts", true},
        {"0000?.m2ts", "00001.m2ts", true},
        {"0000?.m2ts", "0001.m2ts", false},
        {"a*b*c", "aXXbYYc", true},
        {"a*b*c", "aXXbYY", false}};
    for (const auto& [pattern, name, expected] : matches)
        EXPECT_EQ(WildcardMatch(pattern, name), expected) << pattern << " vs " << name;
}

TEST(PathHelpers, SplitNamesAndExtensions) {
    EXPECT_EQ(PathExtension("/a/b/00001.m2ts"), "m2ts");
    EXPECT_EQ(PathExtension("/a.b/noext"), "");
    EXPECT_EQ(PathFileName("/a/b/00001.m2ts"), "00001.m2ts");
    EXPECT_EQ(PathFolder("/a/b/00001.m2ts"), "/a/b");
    EXPECT_EQ(WithTrailingSeparator("/a"), "/a/");
    EXPECT_EQ(WithTrailingSeparator("/a/"), "/a/");
    EXPECT_EQ(WithTrailingSeparator(""), "");
}

}  // namespace
}  // namespace vx
