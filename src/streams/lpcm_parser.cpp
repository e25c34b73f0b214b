#include "streams/lpcm_parser.h"

#include <algorithm>
#include <cstring>

#include "foundation/bytes.h"
#include "streams/coding_types.h"

namespace vx {

namespace {

constexpr uint64_t kFormatChunkAt = 12;
constexpr uint64_t kFormatBodyAt = 20;
// The WAVEFORMATEX fields before cbSize; cbSize; the 22-byte extensible extension.
constexpr uint32_t kFormatFieldsSize = 16;
constexpr uint32_t kExtensibleSize = kFormatFieldsSize + 2 + PCM_WAVE_FORMAT::kExtensionSize;

bool ReadAt(CFile& file, uint64_t offset, uint8_t* out, size_t count) {
    file.Seek(int64_t(offset), CFile::begin);
    return file.Read(out, count) == count;
}

// RIFF chunks start at even offsets: an odd-sized chunk is followed by one pad byte.
uint64_t PaddedSize(uint32_t length) {
    return uint64_t(length) + (length & 1);
}

}  // namespace

int ReadWavFormat(CFile& file, PCM_WAVE_FORMAT& format, uint64_t& formatEnd) {
    const uint64_t fileSize = file.GetLength();
    uint8_t chunk[8];
    if (fileSize < kFormatBodyAt || !ReadAt(file, kFormatChunkAt, chunk, sizeof chunk) ||
        std::memcmp(chunk, "fmt ", 4) != 0)
        return kUnknownFormat;
    const uint32_t length = ReadLE32(chunk + 4);
    if (length < kFormatFieldsSize || length > fileSize - kFormatBodyAt)
        return kUnknownFormat;

    uint8_t f[kExtensibleSize] = {};
    if (!ReadAt(file, kFormatBodyAt, f, std::min<size_t>(length, sizeof f)))
        return kUnknownFormat;
    format = PCM_WAVE_FORMAT{};
    format.FormatTag = ReadLE16(f);
    format.Channels = ReadLE16(f + 2);
    format.SamplesPerSec = ReadLE32(f + 4);
    format.AvgBytesPerSec = ReadLE32(f + 8);
    format.BlockAlign = ReadLE16(f + 12);
    format.BitsPerSample = ReadLE16(f + 14);
    if (format.IsExtensible()) {
        if (length < kFormatFieldsSize + 2)
            return kUnknownFormat;
        format.ExtensionSize = ReadLE16(f + 16);
        // The extension must be complete inside the chunk; bytes beyond its 22 are skipped.
        if (format.ExtensionSize < PCM_WAVE_FORMAT::kExtensionSize || length < kExtensibleSize)
            return kUnknownFormat;
        format.ValidBitsPerSample = ReadLE16(f + 18);
        format.ChannelMask = ReadLE32(f + 20);
        std::memcpy(format.SubFormat.data(), f + 24, format.SubFormat.size());
        if (format.ValidBitsPerSample > format.BitsPerSample ||
            format.SubFormat != PCM_WAVE_FORMAT::kSubFormatPcm)
            return kUnknownFormat;
    }
    formatEnd = kFormatBodyAt + PaddedSize(length);
    return kParseOk;
}

int FindWavData(CFile& file, uint64_t offset, uint64_t& dataOffset, uint64_t& dataLength) {
    const uint64_t fileSize = file.GetLength();
    uint64_t position = offset;
    while (fileSize >= 8 && position <= fileSize - 8) {
        uint8_t chunk[8];
        if (!ReadAt(file, position, chunk, sizeof chunk))
            return kReadFileError;
        const uint32_t length = ReadLE32(chunk + 4);
        if (std::memcmp(chunk, "data", 4) == 0) {
            dataOffset = position + 8;
            dataLength = std::min<uint64_t>(length, fileSize - dataOffset);
            return kParseOk;
        }
        position += 8 + PaddedSize(length);
    }
    return kReadFileError;
}

bool CLPCMParser::Probe(CFile& file) {
    if (file.GetLength() <= 43)
        return false;
    uint8_t head[16];
    if (!ReadAt(file, 0, head, sizeof head))
        return false;
    return std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0 &&
           std::memcmp(head + 12, "fmt ", 4) == 0;
}

int CLPCMParser::ParseStream(CFile& file, CSifWriter& sif, const ProgressCallback&) {
    auto* record = dynamic_cast<CLpcmSif*>(sif.Data());
    if (record == nullptr)
        return kUnknownFormat;
    record->Clear();
    uint64_t formatEnd = 0;
    if (int result = ReadWavFormat(file, record->Format, formatEnd); result != kParseOk)
        return result;
    if (int result = record->Validate(); result != kParseOk)
        return result;

    SIF_HEADER& header = sif.Header();
    header.StreamCodingType = coding::kLpcm;
    header.AuDuration = 5.0;
    header.BitRate = record->Format.AvgBytesPerSec * 8;

    uint64_t dataOffset = 0, dataLength = 0;
    if (int result = FindWavData(file, formatEnd, dataOffset, dataLength); result != kParseOk)
        return result;
    if (dataOffset > UINT32_MAX)
        return kReadFileError;  // beyond what the stream information header can address
    header.FirstAuOffset = uint32_t(dataOffset);
    header.DataLength = dataLength;
    header.NumberOfAus = uint32_t(dataLength / record->Format.AuSize());
    // Without one whole AU there is nothing to multiplex, and a stream information file
    // without AUs would never be taken as valid.
    if (header.NumberOfAus == 0)
        return kReadFileError;
    return kParseOk;
}

}  // namespace vx
