#include "foundation/bit_reader.h"

namespace vx {

bool CBitReader::Open(const std::string& path) {
    Close();
    if (!file_.Open(path, CFile::modeRead))
        return false;
    buffer_.assign(kBlockSize, 0);
    bytePosition_ = 0;
    bitsLeft_ = 8;
    validBytes_ = 0;
    bitCount_ = 0;
    endOfFile_ = false;
    try {
        validBytes_ = int32_t(file_.Read(buffer_.data(), buffer_.size()));
    } catch (const FileError&) {
        Close();
        return false;
    }
    return true;
}

bool CBitReader::Refill() {
    if (endOfFile_)
        return false;
    size_t got = 0;
    try {
        got = file_.Read(buffer_.data(), buffer_.size());
    } catch (const FileError&) {
        got = 0;
    }
    bytePosition_ = 0;
    validBytes_ = int32_t(got);
    if (got == 0)
        endOfFile_ = true;
    return got != 0;
}

bool CBitReader::EnsureByte() {
    if (endOfFile_ || !file_.IsOpen())
        return false;
    if (bytePosition_ < validBytes_)
        return true;
    return Refill();
}

bool CBitReader::ReadBits(int n, uint64_t& value) {
    if (n < 0 || n > 64 || endOfFile_ || !file_.IsOpen())
        return false;
    uint64_t v = 0;
    int remaining = n;
    while (remaining > 0) {
        if (!EnsureByte())
            return false;
        uint8_t byte = buffer_[size_t(bytePosition_)];
        if (bitsLeft_ == 8 && remaining >= 8) {
            v = (v << 8) | byte;
            remaining -= 8;
            ++bytePosition_;
            continue;
        }
        v = (v << 1) | ((byte >> (bitsLeft_ - 1)) & 1);
        --remaining;
        if (--bitsLeft_ == 0) {
            bitsLeft_ = 8;
            ++bytePosition_;
        }
    }
    value = v;
    bitCount_ += uint64_t(n);
    return true;
}

bool CBitReader::ReadBits(int n, uint32_t& value) {
    uint64_t wide = 0;
    if (n > 32 || !ReadBits(n, wide))
        return false;
    value = uint32_t(wide);
    return true;
}

bool CBitReader::SkipBits(int64_t n) {
    if (!file_.IsOpen() || endOfFile_)
        return false;
    int64_t target = int64_t(bytePosition_) * 8 + (8 - bitsLeft_) + n;
    if (target < 0)
        return false;  // before the start of the block in memory
    while (target > int64_t(validBytes_) * 8) {
        target -= int64_t(validBytes_) * 8;
        if (!Refill())
            return false;
    }
    bytePosition_ = int32_t(target / 8);
    bitsLeft_ = 8 - int32_t(target % 8);
    bitCount_ = uint64_t(int64_t(bitCount_) + n);
    return true;
}

void CBitReader::Close() {
    file_.Close();
    buffer_.clear();
    buffer_.shrink_to_fit();
}

}  // namespace vx
