#pragma once
// Where every database and stream file lives in a BDMV folder. Nothing builds these paths by
// hand: the builders below do, each taking the BDMV folder (a trailing '/' is added when it
// lacks one) and returning false, with the output untouched, for an empty folder or a number
// outside 0..99999.

#include <string>
#include <vector>

namespace vx {

namespace bdmv_names {
inline constexpr const char* kBdmv = "BDMV";
inline constexpr const char* kStream = "STREAM";
inline constexpr const char* kClipInf = "CLIPINF";
inline constexpr const char* kPlaylist = "PLAYLIST";
inline constexpr const char* kBdjo = "BDJO";
inline constexpr const char* kJar = "JAR";
inline constexpr const char* kAuxData = "AUXDATA";
inline constexpr const char* kMeta = "META";
inline constexpr const char* kBackup = "BACKUP";
inline constexpr const char* kCertificate = "CERTIFICATE";
inline constexpr const char* kAacs = "AACS";
inline constexpr const char* kDuplicate = "DUPLICATE";

inline constexpr const char* kExtBdmv = "bdmv";
inline constexpr const char* kExtMpls = "mpls";
inline constexpr const char* kExtClpi = "clpi";
inline constexpr const char* kExtM2ts = "m2ts";
inline constexpr const char* kExtBdjo = "bdjo";
inline constexpr const char* kExtJar = "jar";
inline constexpr const char* kExtOtf = "otf";

inline constexpr const char* kIndex = "index";
inline constexpr const char* kMovieObject = "MovieObject";
inline constexpr const char* kSound = "Sound";
}  // namespace bdmv_names

inline constexpr int kMaxFileNumber = 99999;

bool ClipInfoPath(const std::string& folder, int clip, bool backup, std::string& out);
// A playlist number of -1 gives the wildcard form that matches every playlist.
bool PlaylistPath(const std::string& folder, int playlist, bool backup, std::string& out);
bool StreamPath(const std::string& folder, int clip, std::string& out);
bool IndexPath(const std::string& folder, bool backup, std::string& out);
bool MovieObjectPath(const std::string& folder, bool backup, std::string& out);
bool SoundPath(const std::string& folder, std::string& out);

// Deletes every file of the folder whose name is not in keepFiles, and every non-folder entry
// likewise; sub-folders named in keepFolders are left alone, others are attempted and stay
// because file deletion does not remove folders. Names compare exactly (letter case counts).
void PurgeFolder(const std::string& folder, const std::vector<std::string>& keepFiles,
                 const std::vector<std::string>& keepFolders);

// Open-dialog filters of the track list.
inline constexpr const char* kAudioTrackFilter = "*.wav;*.ac3";
inline constexpr const char* kSubtitleTrackFilter = "*.sup";
// Appends a pattern to a filter, with ';' between them when the filter is not empty.
void AppendFilter(std::string& filter, const std::string& pattern);
std::string CombinedTrackFilter();

}  // namespace vx
