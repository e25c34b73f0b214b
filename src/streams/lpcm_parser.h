#pragma once
// Analysis of WAV files (".wav") that become BD LPCM streams (coding type 0x80). A WAV file is
// a RIFF file of form "WAVE": the "fmt " chunk right after the form type, then chunks of a
// 4-byte identifier and a 4-byte little-endian length up to the "data" chunk with the samples.
// One AU is 5 ms of samples.

#include <cstdint>
#include <memory>

#include "foundation/file.h"
#include "streams/audio_sif.h"
#include "streams/parser_base.h"

namespace vx {

// Reads the "fmt " chunk that starts at byte 12 of the file. Returns 0, or 2 when the chunk is
// shorter than the format fields or than the file holds, or when a WAVE_FORMAT_EXTENSIBLE
// extension is shorter than 22 bytes, has more valid bits than container bits, or names a
// sub-format other than integer PCM. formatEnd receives the offset just past the chunk.
int ReadWavFormat(CFile& file, PCM_WAVE_FORMAT& format, uint64_t& formatEnd);

// Walks the chunks from offset to the "data" chunk; other chunks are skipped by their length
// and the pad byte that keeps chunks at even offsets. Returns 0 with the offset of the first
// sample and the bytes of samples the file holds (the declared length, or what is left of the
// file when less), or 6 when the file has no "data" chunk.
int FindWavData(CFile& file, uint64_t offset, uint64_t& dataOffset, uint64_t& dataLength);

class CLPCMParser : public CParserBase {
public:
    CLPCMParser() : CParserBase(0x80, {".wav"}) {}

    // Longer than 43 bytes, "RIFF" at 0, "WAVE" at 8, "fmt " at 12.
    bool Probe(CFile& file) override;
    // Results: 0; 2 a format chunk that cannot be read or a format other than PCM; the checks
    // of CLpcmSif::Validate (17, 16, 19, 8); 6 no "data" chunk, or one that holds less than
    // one AU (5 ms) of samples.
    int ParseStream(CFile& file, CSifWriter& sif, const ProgressCallback& progress) override;

    std::unique_ptr<CSifData> CreateSifData() const override {
        return std::make_unique<CLpcmSif>();
    }
};

}  // namespace vx
