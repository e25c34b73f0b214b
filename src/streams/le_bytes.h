#pragma once
// Little-endian field access for the stream information file (the one little-endian file of
// the system). The reader is bounds-checked like ByteReader and throws vx::ParseError when a
// field would run past the span.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "foundation/bytes.h"

namespace vx {

class LeReader {
public:
    LeReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    size_t Size() const { return size_; }
    size_t Position() const { return pos_; }
    size_t Remaining() const { return size_ - pos_; }
    void Need(size_t count) const {
        if (count > size_ - pos_)
            ByteReader::Fail("data ends before the field");
    }
    void Skip(size_t count) {
        Need(count);
        pos_ += count;
    }
    uint8_t U8() {
        Need(1);
        return data_[pos_++];
    }
    uint16_t U16() { return uint16_t(Take(2)); }
    uint32_t U32() { return uint32_t(Take(4)); }
    uint64_t U64() { return Take(8); }
    double F64() {
        uint64_t bits = U64();
        double v;
        std::memcpy(&v, &bits, sizeof v);
        return v;
    }
    void Bytes(void* out, size_t count) {
        Need(count);
        std::memcpy(out, data_ + pos_, count);
        pos_ += count;
    }

private:
    uint64_t Take(size_t n) {
        Need(n);
        uint64_t v = 0;
        for (size_t i = 0; i < n; ++i) v |= uint64_t(data_[pos_ + i]) << (8 * i);
        pos_ += n;
        return v;
    }

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

class LeWriter {
public:
    size_t Position() const { return buf_.size(); }
    const std::vector<uint8_t>& Buffer() const { return buf_; }
    std::vector<uint8_t> Take() { return std::move(buf_); }
    void Clear() { buf_.clear(); }

    void U8(uint8_t v) { buf_.push_back(v); }
    void U16(uint16_t v) { Put(v, 2); }
    void U32(uint32_t v) { Put(v, 4); }
    void U64(uint64_t v) { Put(v, 8); }
    void F64(double v) {
        uint64_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        U64(bits);
    }
    void Bytes(const void* data, size_t count) {
        const auto* p = static_cast<const uint8_t*>(data);
        buf_.insert(buf_.end(), p, p + count);
    }
    void Zeros(size_t count) { buf_.resize(buf_.size() + count, 0); }

private:
    void Put(uint64_t v, size_t n) {
        for (size_t i = 0; i < n; ++i) buf_.push_back(uint8_t(v >> (8 * i)));
    }

    std::vector<uint8_t> buf_;
};

}  // namespace vx
