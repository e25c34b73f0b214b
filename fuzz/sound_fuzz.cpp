// Sound data reader. The system never writes sound data files, so there is no rebuild to
// compare; instead the input is read from memory and through a file, and both readings must
// agree. Every clip of a successful read must lie inside the input.

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bdmv/sound_bdmv.h"
#include "foundation/file.h"

namespace {

// One scratch file per process, removed at exit.
struct ScratchFile {
    std::string path = (std::filesystem::temp_directory_path() /
                        ("vx-sound-fuzz-" + std::to_string(::getpid()) + ".bdmv"))
                           .string();
    ~ScratchFile() { std::remove(path.c_str()); }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static ScratchFile scratch;
    vx::CSoundBdmv fromSpan;
    const bool ok = fromSpan.Read(data, size);
    if (ok) {
        for (const vx::SSoundEntry* e : fromSpan.SoundIndex.Children()) {
            const uint64_t end = uint64_t(fromSpan.SoundDataStartAddress) +
                                 e->SoundDataStartAddress + e->SoundDataStartLength;
            if (end > size)
                std::abort();
        }
    }
    const std::string json = fromSpan.ToJson().dump();

    vx::WriteWholeFile(scratch.path, std::vector<uint8_t>(data, data + size));
    vx::CFile file;
    if (!file.Open(scratch.path, vx::CFile::modeRead))
        std::abort();
    vx::CSoundBdmv fromFile;
    if (fromFile.Read(file) != ok)
        std::abort();
    if (fromFile.ToJson().dump() != json)
        std::abort();
    return 0;
}
