#pragma once
// What the audio stream fuzz targets share: the input becomes a stream file in a private
// temporary folder, one parser analyses it through the driver, and whatever it accepts must
// read back from its stream information file as a valid index of AUs inside the stream.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "foundation/file.h"
#include "foundation/messages.h"
#include "streams/parse_driver.h"
#include "streams/sif_file.h"

namespace vx::fuzz {

inline const std::string& WorkFolder() {
    static const std::string folder = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "vexilla-fuzz-XXXXXX").string();
        if (::mkdtemp(pattern.data()) == nullptr)
            std::abort();
        return pattern;
    }();
    return folder;
}

inline void Check(bool condition) {
    if (!condition)
        std::abort();
}

// Parses data as a stream file named name with the one parser. On success returns true with
// the stream information read back (it must read back) and the stream bytes' size.
inline bool ParseInput(CParserBase& parser, const char* name, const uint8_t* data, size_t size,
                       CStreamInfo& info) {
    const std::string path = WorkFolder() + "/" + name;
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
    }
    std::vector<CParserBase*> parsers{&parser};
    int result;
    {
        MessageCapture quiet;
        result = ParseStreamFile(path, parsers, {}, nullptr);
    }
    bool ok = result == kParseOk;
    if (ok) {
        StreamFileStatus status;
        Check(ReadStreamFileStatus(path, status));
        const std::string sifPath = SifPathBeside(path);
        Check(ReadSifFile(sifPath, status, ParserRecordFactory(parsers), info) ==
              SifReadStatus::ok);
    } else {
        // A failed parse leaves no stream information file behind.
        Check(!FileExists(SifPathBeside(path)));
    }
    DeleteFile(SifPathBeside(path));
    DeleteFile(path);
    return ok;
}

// Every AU the index names lies inside the stream; the record reads back to what it wrote.
inline void CheckIndexAndRecord(const CStreamInfo& info, size_t size) {
    const uint32_t count = info.AuCount();
    Check(count > 0);
    for (uint32_t n : {0u, count / 2, count - 1}) {
        SIF_AU au;
        Check(info.GetAu(n, au));
        Check(au.Size > 0 && au.Offset + au.Size <= size);
    }
    Check(info.Data != nullptr);
    Check(info.Data->Validate() == kParseOk);
    LeWriter first;
    info.Data->Write(first);
    std::unique_ptr<CSifData> again = info.Data->Clone();
    again->Clear();
    LeReader in(first.Buffer().data(), first.Buffer().size());
    again->Read(in);
    Check(in.Remaining() == 0 && again->Equals(*info.Data));
    LeWriter second;
    again->Write(second);
    Check(second.Buffer() == first.Buffer());
}

}  // namespace vx::fuzz
