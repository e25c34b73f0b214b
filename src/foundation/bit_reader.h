#pragma once
// A buffered big-endian bit reader over a file, read one 262,144-byte block at a time. Bits are
// taken from the most significant bit of each byte first.

#include <cstdint>
#include <string>
#include <vector>

#include "foundation/file.h"

namespace vx {

class CBitReader {
public:
    static constexpr int kBlockSize = 262144;

    bool Open(const std::string& path);
    // Reads n bits (0..64) into value. Fails, for good, once the file is exhausted.
    bool ReadBits(int n, uint64_t& value);
    bool ReadBits(int n, uint32_t& value);
    // Moves n bits forward, or backwards within the current block for a negative n.
    bool SkipBits(int64_t n);
    void Close();

    uint64_t BitCount() const { return bitCount_; }
    bool AtEndOfFile() const { return endOfFile_; }
    bool IsOpen() const { return file_.IsOpen(); }

private:
    bool Refill();
    bool EnsureByte();

    CFile file_;
    std::vector<uint8_t> buffer_;
    int32_t bytePosition_ = 0;
    int32_t bitsLeft_ = 8;  // unread bits of the current byte, 8 down to 1
    int32_t validBytes_ = 0;
    uint64_t bitCount_ = 0;
    bool endOfFile_ = false;
};

}  // namespace vx
