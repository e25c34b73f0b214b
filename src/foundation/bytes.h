#pragma once
// Big-endian byte access for the disc formats, and a bounds-checked reader and a growing writer
// that every record parser and builder goes through.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

namespace vx {

inline uint16_t ReadBE16(const uint8_t* p) {
    return uint16_t((p[0] << 8) | p[1]);
}
inline uint32_t ReadBE24(const uint8_t* p) {
    return (uint32_t(p[0]) << 16) | (p[1] << 8) | p[2];
}
inline uint32_t ReadBE32(const uint8_t* p) {
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}
inline uint64_t ReadBE64(const uint8_t* p) {
    return (uint64_t(ReadBE32(p)) << 32) | ReadBE32(p + 4);
}
inline void WriteBE16(uint8_t* p, uint16_t v) {
    p[0] = uint8_t(v >> 8);
    p[1] = uint8_t(v);
}
inline void WriteBE24(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 16);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v);
}
inline void WriteBE32(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}
inline void WriteBE64(uint8_t* p, uint64_t v) {
    WriteBE32(p, uint32_t(v >> 32));
    WriteBE32(p + 4, uint32_t(v));
}
inline uint16_t ReadLE16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}
inline uint32_t ReadLE32(const uint8_t* p) {
    return p[0] | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// Raised by ByteReader when a read, skip or seek would leave the buffer. Record parsers catch it
// at their entry point and report failure; it never escapes a Parse.
class ParseError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads big-endian fields from a byte span. Every access is checked against the span; an access
// past the end throws ParseError instead of returning made-up bytes.
class ByteReader {
public:
    ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    size_t Size() const { return size_; }
    size_t Position() const { return pos_; }
    size_t Remaining() const { return size_ - pos_; }
    const uint8_t* Data() const { return data_; }
    const uint8_t* Here() const { return data_ + pos_; }

    void Seek(size_t offset) {
        if (offset > size_)
            Fail("offset beyond end of data");
        pos_ = offset;
    }
    void Skip(size_t count) {
        Need(count);
        pos_ += count;
    }
    // Throws unless count bytes remain at the current position.
    void Need(size_t count) const {
        if (count > size_ - pos_)
            Fail("data ends before the field");
    }
    // A reader over the next count bytes (the current reader moves past them).
    ByteReader Sub(size_t count) {
        Need(count);
        ByteReader sub(data_ + pos_, count);
        pos_ += count;
        return sub;
    }

    uint8_t U8() {
        Need(1);
        return data_[pos_++];
    }
    uint16_t U16() { return Take<uint16_t>(2, ReadBE16); }
    uint32_t U24() { return Take<uint32_t>(3, ReadBE24); }
    uint32_t U32() { return Take<uint32_t>(4, ReadBE32); }
    uint64_t U64() { return Take<uint64_t>(8, ReadBE64); }
    void Bytes(void* out, size_t count) {
        Need(count);
        std::memcpy(out, data_ + pos_, count);
        pos_ += count;
    }
    std::vector<uint8_t> Vector(size_t count) {
        Need(count);
        std::vector<uint8_t> v(data_ + pos_, data_ + pos_ + count);
        pos_ += count;
        return v;
    }
    std::string Text(size_t count) {
        Need(count);
        std::string s(reinterpret_cast<const char*>(data_ + pos_), count);
        pos_ += count;
        return s;
    }

    [[noreturn]] static void Fail(const char* what) { throw ParseError(what); }

private:
    template <class V, class F>
    V Take(size_t n, F read) {
        Need(n);
        V v = read(data_ + pos_);
        pos_ += n;
        return v;
    }

    const uint8_t* data_;
    size_t size_;
    size_t pos_ = 0;
};

// Appends big-endian fields to a growing buffer. Lengths that precede a block are reserved first
// and patched once the block is written.
class ByteWriter {
public:
    size_t Position() const { return buf_.size(); }
    const std::vector<uint8_t>& Buffer() const { return buf_; }
    std::vector<uint8_t> Take() { return std::move(buf_); }

    void U8(uint8_t v) { buf_.push_back(v); }
    void U16(uint16_t v) { WriteBE16(Grow(2), v); }
    void U24(uint32_t v) { WriteBE24(Grow(3), v); }
    void U32(uint32_t v) { WriteBE32(Grow(4), v); }
    void U64(uint64_t v) { WriteBE64(Grow(8), v); }
    void Zeros(size_t count) { buf_.resize(buf_.size() + count, 0); }
    void Bytes(const void* data, size_t count) {
        if (count == 0)
            return;
        std::memcpy(Grow(count), data, count);
    }
    void Bytes(const std::vector<uint8_t>& v) { Bytes(v.data(), v.size()); }
    // Writes exactly count characters of text, padding with zero bytes.
    void Text(const std::string& s, size_t count) {
        size_t n = s.size() < count ? s.size() : count;
        Bytes(s.data(), n);
        Zeros(count - n);
    }
    // Pads with zeros up to an absolute offset (no-op when already there).
    void PadTo(size_t offset) {
        if (offset > buf_.size())
            Zeros(offset - buf_.size());
    }

    void PatchU8(size_t at, uint8_t v) { buf_.at(at) = v; }
    void PatchU16(size_t at, uint16_t v) { WriteBE16(At(at, 2), v); }
    void PatchU32(size_t at, uint32_t v) { WriteBE32(At(at, 4), v); }

private:
    uint8_t* Grow(size_t n) {
        buf_.resize(buf_.size() + n);
        return buf_.data() + buf_.size() - n;
    }
    uint8_t* At(size_t at, size_t n) {
        if (at + n > buf_.size())
            throw std::out_of_range("patch beyond written data");
        return buf_.data() + at;
    }

    std::vector<uint8_t> buf_;
};

// Hex text of a byte block, lower case, no separators.
std::string HexString(const uint8_t* data, size_t size);
inline std::string HexString(const std::vector<uint8_t>& v) {
    return HexString(v.data(), v.size());
}

}  // namespace vx
