#include "cli/inspect.h"

#include <algorithm>
#include <cstring>

#include "bdmv/clpi.h"
#include "bdmv/index_bdmv.h"
#include "bdmv/movie_object.h"
#include "bdmv/mpls.h"
#include "bdmv/sound_bdmv.h"
#include "cli/text_output.h"
#include "foundation/file.h"
#include "foundation/messages.h"
#include "foundation/paths.h"
#include "transport/probes.h"

namespace vx::cli {
namespace {

struct KindInfo {
    FileKind kind;
    const char* typeIndicator;
    const char* name;
};

const KindInfo kKinds[] = {
    {FileKind::index, "INDX", "index"},       {FileKind::movieObject, "MOBJ", "movieobject"},
    {FileKind::playlist, "MPLS", "playlist"}, {FileKind::clipInfo, "HDMV", "clipinfo"},
    {FileKind::sound, "BCLK", "sound"},       {FileKind::transportStream, "", "m2ts"},
};

void ParseError(const std::string& path) {
    ShowMessage("Stream parse error:\n" + path);
}

void FileFailure(const FileError& error) {
    ShowMessage(error.Path() + ": " + error.Description());
}

// Parses a whole-file record; nothing when it does not parse.
template <class Record>
std::unique_ptr<Record> ParseRecord(const std::vector<uint8_t>& data) {
    auto record = std::make_unique<Record>();
    if (record->Parse(data.data(), data.size()) <= 0)
        return nullptr;
    return record;
}

template <class Record>
std::optional<Json> Describe(const std::vector<uint8_t>& data) {
    auto record = ParseRecord<Record>(data);
    if (!record)
        return std::nullopt;
    return record->ToJson();
}

template <class Record>
bool Rewrite(const std::vector<uint8_t>& data, const std::string& out) {
    auto record = ParseRecord<Record>(data);
    if (!record)
        return false;
    CFile file;
    file.OpenOrRaise(out, CFile::modeWrite);
    record->Write(file);
    return true;
}

std::optional<Json> DescribeSound(const std::string& path) {
    CFile file;
    file.OpenOrRaise(path, CFile::modeRead);
    CSoundBdmv sound;
    if (!sound.Read(file))
        return std::nullopt;
    return sound.ToJson();
}

// The first bytes of a file: enough to see its type indicator or its first source packets.
std::vector<uint8_t> ReadHead(const std::string& path) {
    CFile file;
    file.OpenOrRaise(path, CFile::modeRead);
    std::vector<uint8_t> head(192 * 4);
    head.resize(file.Read(head.data(), head.size()));
    return head;
}

Json DescribeStream(const std::string& path) {
    CFile file;
    file.OpenOrRaise(path, CFile::modeRead);
    return DescribeTransportStream(file);
}

Json Document(const std::string& path, FileKind kind, Json record) {
    Json document;
    document["path"] = path;
    document["kind"] = KindName(kind);
    document["record"] = std::move(record);
    return document;
}

std::vector<std::string> Sorted(std::vector<FolderEntry> entries, const std::string& folder) {
    std::vector<std::string> paths;
    for (const FolderEntry& e : entries)
        if (!e.isFolder)
            paths.push_back(WithTrailingSeparator(folder) + e.name);
    std::sort(paths.begin(), paths.end());
    return paths;
}

// A BDMV folder given directly, or the disc folder that holds one.
std::string BdmvFolderOf(const std::string& path) {
    std::string inner = WithTrailingSeparator(path) + bdmv_names::kBdmv;
    if (!FileExists(WithTrailingSeparator(path) + "index.bdmv") && FolderExists(inner))
        return inner;
    return path;
}

}  // namespace

const char* KindName(FileKind kind) {
    for (const KindInfo& k : kKinds)
        if (k.kind == kind)
            return k.name;
    return "unknown";
}

FileKind DetectKind(const std::vector<uint8_t>& head) {
    if (head.size() < 4)
        return FileKind::unknown;
    for (const KindInfo& k : kKinds)
        if (*k.typeIndicator && std::memcmp(head.data(), k.typeIndicator, 4) == 0)
            return k.kind;
    // Source packets of 192 bytes: every transport packet starts 4 bytes in with 0x47.
    constexpr size_t kSourcePacket = 192;
    if (head.size() < kSourcePacket)
        return FileKind::unknown;
    for (size_t at = 4; at < head.size(); at += kSourcePacket)
        if (head[at] != 0x47)
            return FileKind::unknown;
    return FileKind::transportStream;
}

std::vector<std::string> DatabaseFiles(const std::string& bdmvFolder) {
    std::vector<std::string> files;
    std::string path;
    if (IndexPath(bdmvFolder, false, path) && FileExists(path))
        files.push_back(path);
    if (MovieObjectPath(bdmvFolder, false, path) && FileExists(path))
        files.push_back(path);
    if (SoundPath(bdmvFolder, path) && FileExists(path))
        files.push_back(path);
    std::string base = WithTrailingSeparator(bdmvFolder);
    for (const char* sub : {bdmv_names::kPlaylist, bdmv_names::kClipInf}) {
        std::string folder = base + sub;
        std::string ext =
            sub == bdmv_names::kPlaylist ? bdmv_names::kExtMpls : bdmv_names::kExtClpi;
        for (const std::string& p : Sorted(EnumerateFolder(folder + "/*." + ext), folder))
            files.push_back(p);
    }
    return files;
}

std::optional<Json> InspectFile(const std::string& path) {
    try {
        FileKind kind = DetectKind(ReadHead(path));
        if (kind == FileKind::transportStream)
            return Document(path, kind, DescribeStream(path));
        std::vector<uint8_t> data = ReadWholeFile(path);
        std::optional<Json> record;
        switch (kind) {
            case FileKind::transportStream:  // described above, without reading it whole
                break;
            case FileKind::index:
                record = Describe<INDEX_BDMV>(data);
                break;
            case FileKind::movieObject:
                record = Describe<MOVIE_OBJECT_BDMV>(data);
                break;
            case FileKind::playlist:
                record = Describe<MPLS>(data);
                break;
            case FileKind::clipInfo:
                record = Describe<CLPI>(data);
                break;
            case FileKind::sound:
                record = DescribeSound(path);
                break;
            case FileKind::unknown:
                ShowMessage(path + ": not a BDMV database file (unknown type indicator)");
                return std::nullopt;
        }
        if (!record) {
            ParseError(path);
            return std::nullopt;
        }
        return Document(path, kind, std::move(*record));
    } catch (const FileError& error) {
        FileFailure(error);
        return std::nullopt;
    }
}

int RunInspect(const std::vector<std::string>& paths, bool json, std::ostream& out) {
    bool allParsed = true;
    bool first = true;
    for (const std::string& given : paths) {
        std::vector<std::string> files;
        if (FolderExists(given)) {
            files = DatabaseFiles(BdmvFolderOf(given));
            if (files.empty()) {
                ShowMessage(given + ": no BDMV database files in this folder");
                allParsed = false;
            }
        } else {
            files.push_back(given);
        }
        for (const std::string& file : files) {
            std::optional<Json> document = InspectFile(file);
            if (!document) {
                allParsed = false;
                continue;
            }
            if (json) {
                out << document->dump() << '\n';
            } else {
                out << (first ? "" : "\n") << "== " << file << " ("
                    << (*document)["kind"].get<std::string>() << ")\n";
                PrintAsText(out, (*document)["record"], 2);
            }
            first = false;
        }
    }
    return allParsed ? 0 : 2;
}

int RunRewrite(const std::string& in, const std::string& out) {
    try {
        std::vector<uint8_t> data = ReadWholeFile(in);
        bool ok = false;
        switch (DetectKind(data)) {
            case FileKind::index:
                ok = Rewrite<INDEX_BDMV>(data, out);
                break;
            case FileKind::movieObject:
                ok = Rewrite<MOVIE_OBJECT_BDMV>(data, out);
                break;
            case FileKind::playlist:
                ok = Rewrite<MPLS>(data, out);
                break;
            case FileKind::clipInfo:
                ok = Rewrite<CLPI>(data, out);
                break;
            case FileKind::sound:
                ShowMessage(in + ": sound data files are only read, never written");
                return 2;
            case FileKind::transportStream:
                ShowMessage(in + ": stream files are not rewritten (only database files are)");
                return 2;
            case FileKind::unknown:
                ShowMessage(in + ": not a BDMV database file (unknown type indicator)");
                return 2;
        }
        if (!ok) {
            ParseError(in);
            return 2;
        }
        return 0;
    } catch (const FileError& error) {
        FileFailure(error);
        return 2;
    }
}

}  // namespace vx::cli
