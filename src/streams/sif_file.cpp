#include "streams/sif_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "streams/coding_types.h"

namespace vx {

namespace {

// Appended AU records are written in blocks of about this size.
constexpr size_t kAuFlushSize = 64 * 1024;
// An AU duration beyond this (ms) cannot come from an analysed stream.
constexpr double kMaxAuDuration = 1.0e6;

uint32_t Ticks(uint64_t units, double unitMs) {
    return uint32_t(uint64_t(double(units) * unitMs * 90.0) + kStreamStartTicks);
}

}  // namespace

void SIF_HEADER::Write(LeWriter& out) const {
    out.Bytes(Magic, 4);
    out.U32(Reserved1);
    out.U8(StreamCodingType);
    out.U32(NumberOfAus);
    out.F64(AuDuration);
    out.U32(BitRate);
    out.U32(ExtBitRate);
    out.U32(Reserved2);
    out.U32(FirstAuOffset);
    out.U32(AuTableOffset);
    out.U64(DataLength);
    out.U64(uint64_t(ModificationTime));
}

void SIF_HEADER::Read(LeReader& in) {
    in.Need(kSize);
    in.Bytes(Magic, 4);
    Reserved1 = in.U32();
    StreamCodingType = in.U8();
    NumberOfAus = in.U32();
    AuDuration = in.F64();
    BitRate = in.U32();
    ExtBitRate = in.U32();
    Reserved2 = in.U32();
    FirstAuOffset = in.U32();
    AuTableOffset = in.U32();
    DataLength = in.U64();
    ModificationTime = int64_t(in.U64());
}

bool SIF_HEADER::HasMagic() const {
    return std::memcmp(Magic, kMagic, 4) == 0;
}

bool SIF_HEADER::IsUsable() const {
    return HasMagic() && NumberOfAus != 0 && DataLength != 0;
}

Json SIF_HEADER::ToJson() const {
    Json j;
    j["Magic"] = std::string(Magic, 4);
    j["StreamCodingType"] = StreamCodingType;
    j["NumberOfAus"] = NumberOfAus;
    j["AuDuration"] = AuDuration;
    j["BitRate"] = BitRate;
    j["ExtBitRate"] = ExtBitRate;
    j["FirstAuOffset"] = FirstAuOffset;
    j["AuTableOffset"] = AuTableOffset;
    j["DataLength"] = DataLength;
    j["ModificationTime"] = ModificationTime;
    return j;
}

void SIF_AU::Write(LeWriter& out) const {
    out.U32(Size);
    out.U64(Offset);
    out.U32(Flags);
    out.U32(Dts);
    out.U32(Pts);
    out.U32(Reserved);
}

void SIF_AU::Read(LeReader& in) {
    in.Need(kSize);
    Size = in.U32();
    Offset = in.U64();
    Flags = in.U32();
    Dts = in.U32();
    Pts = in.U32();
    Reserved = in.U32();
}

bool ReadStreamFileStatus(const std::string& path, StreamFileStatus& status) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    status.ModificationTime = int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    status.Length = uint64_t(st.st_size);
    return true;
}

std::string SifPathBeside(const std::string& streamPath) {
    return streamPath + ".dsi";
}

std::string SifPathInTemp(const std::string& streamPath) {
    return WithTrailingSeparator(TempFolder()) + PathFileName(streamPath) + ".dsi";
}

CSifWriter::~CSifWriter() = default;

bool CSifWriter::Create(const std::string& streamPath) {
    Close();
    for (const std::string& path : {SifPathBeside(streamPath), SifPathInTemp(streamPath)}) {
        if (file_.Open(path, CFile::modeWrite)) {
            path_ = path;
            return true;
        }
    }
    path_.clear();
    return false;
}

std::vector<uint8_t> CSifWriter::HeadBytes() const {
    LeWriter record;
    if (data_)
        data_->Write(record);
    SIF_HEADER header = header_;
    header.AuTableOffset = uint32_t(SIF_HEADER::kSize + record.Position());
    LeWriter out;
    header.Write(out);
    out.Bytes(record.Buffer().data(), record.Position());
    return out.Take();
}

void CSifWriter::Begin(std::unique_ptr<CSifData> data, int64_t modificationTime) {
    if (path_.empty())
        throw FileError("", EINVAL);
    // Reopening truncates whatever an earlier attempt wrote.
    file_.OpenOrRaise(path_, CFile::modeWrite);
    header_ = SIF_HEADER{};
    header_.ModificationTime = modificationTime;
    data_ = std::move(data);
    pending_.Clear();
    std::vector<uint8_t> head = HeadBytes();
    headSize_ = head.size();
    header_.AuTableOffset = uint32_t(headSize_);
    file_.Write(head.data(), head.size());
}

void CSifWriter::AppendAu(const SIF_AU& au) {
    au.Write(pending_);
    ++header_.NumberOfAus;
    header_.DataLength += au.Size;
    if (pending_.Position() >= kAuFlushSize)
        Flush();
}

void CSifWriter::Flush() {
    if (pending_.Position() == 0)
        return;
    file_.Write(pending_.Buffer().data(), pending_.Position());
    pending_.Clear();
}

void CSifWriter::Finish() {
    if (!file_.IsOpen())
        throw FileError(path_, EBADF);
    Flush();
    std::vector<uint8_t> head = HeadBytes();
    uint64_t tableBytes = file_.GetPosition() - headSize_;
    if (head.size() != headSize_) {
        // The record grew or shrank: the AU table would have to move. Only a stream without a
        // table may change its record's size.
        if (tableBytes != 0)
            throw FileError(path_, EINVAL);
        file_.OpenOrRaise(path_, CFile::modeWrite);
        headSize_ = head.size();
    } else {
        file_.Seek(0, CFile::begin);
    }
    header_.AuTableOffset = uint32_t(headSize_);
    file_.Write(head.data(), head.size());
    file_.Close();
}

void CSifWriter::Discard() {
    file_.Close();
    pending_.Clear();
    if (!path_.empty())
        DeleteFile(path_);
}

void CSifWriter::Close() {
    file_.Close();
    pending_.Clear();
}

bool CStreamInfo::GetAu(uint32_t n, SIF_AU& au) const {
    if (n >= Header.NumberOfAus)
        return false;
    au = SIF_AU{};
    switch (Header.StreamCodingType) {
        case coding::kLpcm: {
            // 5 ms of samples per AU.
            uint32_t size = Header.BitRate / 8 / 200;
            if (size == 0)
                return false;
            au.Size = size;
            au.Offset = Header.FirstAuOffset + uint64_t(n) * size;
            au.Pts = au.Dts = uint32_t(uint64_t(n) * 5 * 90 + kStreamStartTicks);
            return true;
        }
        case coding::kAc3:
        case coding::kEac3Secondary: {
            uint64_t size = Header.DataLength / Header.NumberOfAus;
            if (size == 0 || size > UINT32_MAX)
                return false;
            au.Size = uint32_t(size);
            au.Offset = Header.FirstAuOffset + uint64_t(n) * size;
            au.Pts = au.Dts = Ticks(n, Header.AuDuration);
            return true;
        }
        case coding::kEac3: {
            // AC-3 and E-AC-3 frames alternate; both frame sizes follow from their bit rates
            // (a 32 ms frame of r bit/s holds r / 250 bytes).
            uint32_t ac3Size = Header.BitRate / 250;
            uint32_t eac3Size = Header.ExtBitRate / 250;
            if (ac3Size == 0 || eac3Size == 0)
                return false;
            uint64_t pairStart = Header.FirstAuOffset + uint64_t(n / 2) * (ac3Size + eac3Size);
            bool extension = (n & 1) != 0;
            au.Size = extension ? eac3Size : ac3Size;
            au.Offset = extension ? pairStart + ac3Size : pairStart;
            au.Flags = extension ? 1 : 0;
            au.Pts = au.Dts = Ticks(n / 2, Header.AuDuration);
            return true;
        }
        case coding::kPg:
        case coding::kIg:
            if (n >= AuTable.size())
                return false;
            au = AuTable[n];
            return true;
        default:
            return false;
    }
}

namespace {

bool AusInsideStream(const CStreamInfo& info, uint64_t streamLength) {
    if (IsGraphicsType(info.CodingType())) {
        for (const SIF_AU& au : info.AuTable)
            if (au.Offset > streamLength || au.Size > streamLength - au.Offset)
                return false;
        return true;
    }
    SIF_AU first, last;
    if (!info.GetAu(0, first) || !info.GetAu(info.AuCount() - 1, last))
        return false;
    return last.Offset <= streamLength && last.Size <= streamLength - last.Offset;
}

}  // namespace

SifReadStatus ReadSifFile(const std::string& sifPath, const StreamFileStatus& stream,
                          const SifDataFactory& factory, CStreamInfo& info) {
    std::vector<uint8_t> bytes;
    try {
        bytes = ReadWholeFile(sifPath);
    } catch (const FileError&) {
        return SifReadStatus::cannotOpen;
    }
    info = CStreamInfo{};
    info.SifPath = sifPath;
    SIF_HEADER& header = info.Header;
    try {
        LeReader in(bytes.data(), bytes.size());
        header.Read(in);
        if (!header.IsUsable())
            return SifReadStatus::invalid;
        if (header.ModificationTime != stream.ModificationTime)
            return SifReadStatus::stale;
        if (header.AuTableOffset < SIF_HEADER::kSize || header.AuTableOffset > bytes.size())
            return SifReadStatus::invalid;
        if (!std::isfinite(header.AuDuration) || header.AuDuration < 0 ||
            header.AuDuration > kMaxAuDuration)
            return SifReadStatus::invalid;
        info.Data = factory ? factory(header.StreamCodingType) : nullptr;
        if (!info.Data)
            return SifReadStatus::invalid;
        LeReader record(bytes.data() + SIF_HEADER::kSize, header.AuTableOffset - SIF_HEADER::kSize);
        info.Data->Read(record);
        if (IsGraphicsType(header.StreamCodingType)) {
            size_t tableSize = bytes.size() - header.AuTableOffset;
            size_t stride = tableSize / header.NumberOfAus;
            if (stride < SIF_AU::kSize)
                return SifReadStatus::invalid;
            info.AuTable.resize(header.NumberOfAus);
            for (uint32_t n = 0; n < header.NumberOfAus; ++n) {
                LeReader at(bytes.data() + header.AuTableOffset + size_t(n) * stride, stride);
                info.AuTable[n].Read(at);
            }
        }
    } catch (const ParseError&) {
        return SifReadStatus::invalid;
    }
    if (!AusInsideStream(info, stream.Length))
        return SifReadStatus::invalid;
    return SifReadStatus::ok;
}

}  // namespace vx
