// The stream checker: the input is read as a stream file, alone and against clip information
// that names no stream and no entry. Whatever the bytes, it answers every rule.

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/file.h"
#include "mux/verify.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = vx::WithTrailingSeparator(vx::TempFolder()) +
                                    "vx-verify-fuzz-" + std::to_string(::getpid()) + ".m2ts";
    try {
        vx::WriteWholeFile(path, std::vector<uint8_t>(data, data + size));
        vx::CFile file;
        file.OpenOrRaise(path, vx::CFile::modeRead);
        const vx::VerifyReport alone = vx::VerifyStreamFile(file);
        if (alone.rules.size() != 8 || alone.packets != size / 192)
            std::abort();
        vx::CLPI clip;
        const vx::VerifyReport withClip = vx::VerifyStreamFile(file, &clip);
        if (withClip.rules.size() != 12)
            std::abort();
    } catch (const vx::FileError&) {
    }
    return 0;
}
