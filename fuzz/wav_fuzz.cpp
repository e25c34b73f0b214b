// WAV analysis for BD LPCM: the input is a ".wav" file. Checks that nothing crashes or reads
// outside the file, that a failed parse leaves no stream information file, and that an accepted
// file's samples and AUs lie inside it and its format passes the Blu-ray checks.

#include <cstdint>

#include "audio_fuzz_common.h"
#include "streams/lpcm_parser.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace vx;
    CLPCMParser parser;
    CStreamInfo info;
    if (!fuzz::ParseInput(parser, "input.wav", data, size, info))
        return 0;
    fuzz::CheckIndexAndRecord(info, size);
    const auto* sif = dynamic_cast<const CLpcmSif*>(info.Data.get());
    fuzz::Check(sif != nullptr && info.CodingType() == 0x80);
    const SIF_HEADER& h = info.Header;
    fuzz::Check(h.FirstAuOffset + h.DataLength <= size);
    fuzz::Check(uint64_t(h.NumberOfAus) * sif->Format.AuSize() <= h.DataLength);
    fuzz::Check(sif->GetSamplingFrequency() != 0 && sif->GetBitsCode() != 0);
    return 0;
}
