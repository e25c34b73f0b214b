#pragma once
// vexilla inspect and vexilla rewrite: what a database file holds, and writing it back with
// our own writer.

#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "bdmv/json.h"

namespace vx::cli {

enum class FileKind { index, movieObject, playlist, clipInfo, sound, transportStream, unknown };

// The kind's name in JSON output: "index", "movieobject", "playlist", "clipinfo", "sound",
// "m2ts".
const char* KindName(FileKind kind);
// The kind from the file's first bytes: a database file's type indicator, or for a BDMV
// transport stream the sync byte 0x47 behind the 4-byte header of its first source packets.
FileKind DetectKind(const std::vector<uint8_t>& head);

// The files of a BDMV folder that inspect shows, in this order: index.bdmv, MovieObject.bdmv,
// AUXDATA/Sound.bdmv when present, every playlist, every clip information file.
std::vector<std::string> DatabaseFiles(const std::string& bdmvFolder);

// Parses one file into {"path", "kind", "record"}; on failure shows the message (a file error,
// "Stream parse error:\n<path>", or that the kind is unknown) and returns nothing.
std::optional<Json> InspectFile(const std::string& path);

// Each PATH is a database file or a BDMV folder (or the folder holding BDMV). Returns the exit
// code: 0 when every file parsed, 2 otherwise.
int RunInspect(const std::vector<std::string>& paths, bool json, std::ostream& out);
// Parses IN and writes OUT with the record's own writer. Returns the exit code.
int RunRewrite(const std::string& in, const std::string& out);

}  // namespace vx::cli
