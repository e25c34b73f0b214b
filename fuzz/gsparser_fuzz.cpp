// Graphics stream files: analyse the input as a stream file, then read the stream information
// file back and check it against the stream (every AU one segment, 10 bytes of stream header
// between them, the sizes summing to the data length). The same input is also read as a stream
// information file, with the stream status it claims, to walk its header and table checks.

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/file.h"
#include "graphics/gs_parser.h"
#include "streams/le_bytes.h"
#include "streams/parse_driver.h"

namespace {

std::string ScratchPath() {
    return vx::WithTrailingSeparator(vx::TempFolder()) + "vx-gsparser-fuzz-" +
           std::to_string(::getpid()) + ".sup";
}

void CheckAnalysis(const std::string& path, const std::vector<uint8_t>& input) {
    vx::CGsParser parser;
    vx::CSifWriter sif;
    if (!sif.Create(path))
        return;
    int result = parser.Parse(path, sif, {});
    if (result != vx::kParseOk) {
        if (vx::FileExists(sif.Path()))
            std::abort();  // a failed parse leaves no stream information file
        return;
    }
    vx::StreamFileStatus status;
    vx::CStreamInfo info;
    if (!vx::ReadStreamFileStatus(path, status))
        std::abort();
    vx::SifReadStatus read =
        vx::ReadSifFile(sif.Path(), status, vx::ParserRecordFactory({&parser}), info);
    vx::DeleteFile(sif.Path());
    if (input.empty())
        std::abort();  // an empty file is not a graphics stream
    if (read != vx::SifReadStatus::ok || info.AuTable.size() != info.AuCount())
        std::abort();
    uint64_t expectedOffset = vx::CGsParser::kUnitHeaderSize;
    uint64_t total = 0;
    for (const vx::SIF_AU& au : info.AuTable) {
        if (au.Offset != expectedOffset || (au.Flags & 0xFF) != input[au.Offset])
            std::abort();
        expectedOffset += au.Size + vx::CGsParser::kUnitHeaderSize;
        total += au.Size;
    }
    if (total != info.Header.DataLength || expectedOffset - 10 != input.size())
        std::abort();
    if (info.CodingType() != 0x90 && info.CodingType() != 0x91)
        std::abort();
    (void)info.Data->ToJson().dump();
}

void CheckSifReading(const std::string& path, const std::vector<uint8_t>& input) {
    vx::StreamFileStatus claimed{0, UINT64_MAX / 2};
    if (input.size() >= vx::SIF_HEADER::kSize) {
        vx::SIF_HEADER header;
        vx::LeReader in(input.data(), input.size());
        header.Read(in);
        claimed.ModificationTime = header.ModificationTime;
    }
    std::string sifPath = path + ".dsi";
    vx::WriteWholeFile(sifPath, input);
    vx::CGsParser parser;
    vx::CStreamInfo info;
    if (vx::ReadSifFile(sifPath, claimed, vx::ParserRecordFactory({&parser}), info) ==
        vx::SifReadStatus::ok) {
        vx::SIF_AU au;
        for (uint32_t n = 0; n < info.AuCount(); ++n)
            if (!info.GetAu(n, au))
                std::abort();
    }
    vx::DeleteFile(sifPath);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<uint8_t> input(data, data + size);
    std::string path = ScratchPath();
    vx::WriteWholeFile(path, input);
    CheckAnalysis(path, input);
    CheckSifReading(path, input);
    vx::DeleteFile(path);
    return 0;
}
