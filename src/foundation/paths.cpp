#include "foundation/paths.h"

#include <algorithm>
#include <cstdio>

#include "foundation/file.h"

namespace vx {
namespace {

using namespace bdmv_names;

bool ValidNumber(int n) {
    return n >= 0 && n <= kMaxFileNumber;
}

std::string Numbered(int n, const char* ext) {
    char text[16];
    std::snprintf(text, sizeof text, "%05d.%s", n, ext);
    return text;
}

// folder/[BACKUP/]sub/name
bool InSubFolder(const std::string& folder, const char* sub, bool backup, const std::string& name,
                 std::string& out) {
    if (folder.empty())
        return false;
    std::string path = WithTrailingSeparator(folder);
    if (backup)
        path += std::string(kBackup) + "/";
    out = path + sub + "/" + name;
    return true;
}

bool TopLevel(const std::string& folder, const char* base, bool backup, std::string& out) {
    if (folder.empty())
        return false;
    std::string path = WithTrailingSeparator(folder);
    if (backup)
        path += std::string(kBackup) + "/";
    out = path + base + "." + kExtBdmv;
    return true;
}

}  // namespace

bool ClipInfoPath(const std::string& folder, int clip, bool backup, std::string& out) {
    if (!ValidNumber(clip))
        return false;
    return InSubFolder(folder, kClipInf, backup, Numbered(clip, kExtClpi), out);
}

bool PlaylistPath(const std::string& folder, int playlist, bool backup, std::string& out) {
    if (playlist == -1)
        return InSubFolder(folder, kPlaylist, backup, std::string("*.") + kExtMpls, out);
    if (!ValidNumber(playlist))
        return false;
    return InSubFolder(folder, kPlaylist, backup, Numbered(playlist, kExtMpls), out);
}

bool StreamPath(const std::string& folder, int clip, std::string& out) {
    if (!ValidNumber(clip))
        return false;
    return InSubFolder(folder, kStream, false, Numbered(clip, kExtM2ts), out);
}

bool IndexPath(const std::string& folder, bool backup, std::string& out) {
    return TopLevel(folder, kIndex, backup, out);
}

bool MovieObjectPath(const std::string& folder, bool backup, std::string& out) {
    return TopLevel(folder, kMovieObject, backup, out);
}

bool SoundPath(const std::string& folder, std::string& out) {
    return InSubFolder(folder, kAuxData, false, std::string(kSound) + "." + kExtBdmv, out);
}

void PurgeFolder(const std::string& folder, const std::vector<std::string>& keepFiles,
                 const std::vector<std::string>& keepFolders) {
    std::string base = WithTrailingSeparator(folder);
    auto listed = [](const std::vector<std::string>& list, const std::string& name) {
        return std::find(list.begin(), list.end(), name) != list.end();
    };
    for (const FolderEntry& entry : EnumerateFolder(base + "*.*")) {
        if (entry.name == "." || entry.name == "..")
            continue;
        if (listed(entry.isFolder ? keepFolders : keepFiles, entry.name))
            continue;
        DeleteFile(base + entry.name);  // leaves folders and undeletable files in place
    }
}

void AppendFilter(std::string& filter, const std::string& pattern) {
    if (!filter.empty())
        filter += ';';
    filter += pattern;
}

std::string CombinedTrackFilter() {
    std::string filter = kAudioTrackFilter;
    AppendFilter(filter, kSubtitleTrackFilter);
    return filter;
}

}  // namespace vx
