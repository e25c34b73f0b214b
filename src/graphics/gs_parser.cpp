#include "graphics/gs_parser.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "foundation/bytes.h"
#include "streams/coding_types.h"

namespace vx {

namespace {

constexpr uint8_t kPcs = 0x16;
constexpr uint8_t kIcs = 0x18;

// Video descriptor (5) and composition descriptor (3) open both compositions; a PCS continues
// with palette_update_flag, palette_id and number_of_composition_objects. An ICS continues
// with its sequence descriptor (1) and interactive_composition_data_length (3); the first byte
// of the composition carries the stream model in bit 7.
constexpr size_t kCompositionHead = 8;
constexpr size_t kPcsHead = kCompositionHead + 3;
constexpr size_t kStreamModelAt = 12;

bool IsMagic(const uint8_t* p) {
    int a = std::toupper(p[0]);
    int b = std::toupper(p[1]);
    return (a == 'P' || a == 'I') && b == 'G';
}

// Sequential reads over the stream file through one block buffer; the position may be moved
// past the end of the file, where reads come back empty.
class BlockReader {
public:
    explicit BlockReader(CFile& file) : file_(file), buffer_(kBlock) {}

    uint64_t Position() const { return pos_; }
    void SetPosition(uint64_t pos) { pos_ = pos; }

    // Copies up to count bytes from the position on and moves past them; returns the count
    // copied, short at the end of the file.
    size_t Read(uint8_t* out, size_t count) {
        size_t done = 0;
        while (done < count) {
            if (pos_ < start_ || pos_ >= start_ + filled_) {
                if (!Fill())
                    break;
            }
            size_t at = size_t(pos_ - start_);
            size_t n = std::min(count - done, filled_ - at);
            std::copy_n(buffer_.data() + at, n, out + done);
            done += n;
            pos_ += n;
        }
        return done;
    }

private:
    static constexpr size_t kBlock = 256 * 1024;

    bool Fill() {
        file_.Seek(int64_t(pos_), CFile::begin);
        start_ = pos_;
        filled_ = file_.Read(buffer_.data(), buffer_.size());
        return filled_ > 0;
    }

    CFile& file_;
    std::vector<uint8_t> buffer_;
    uint64_t start_ = 0;
    size_t filled_ = 0;
    uint64_t pos_ = 0;
};

}  // namespace

bool CGsParser::Probe(CFile& file) {
    uint8_t magic[2];
    file.Seek(0, CFile::begin);
    return file.Read(magic, 2) == 2 && IsMagic(magic);
}

int CGsParser::ParseStream(CFile& file, CSifWriter& sif, const ProgressCallback& progress) {
    uint8_t codingType = coding::kPg;
    bool icsSeen = false;
    uint8_t streamModel = 0;
    uint16_t width = 0, height = 0;
    uint8_t frameRate = 0, frameRateLowBits = 0;

    const uint64_t length = file.GetLength();
    BlockReader in(file);
    uint64_t lastReported = 0;
    while (in.Position() != length) {
        const uint64_t unitStart = in.Position();
        if (progress.function && unitStart > lastReported + kProgressStep) {
            if (!progress.Percent(int(unitStart * 100 / length)))
                return kParseCancelled;
            lastReported = unitStart;
        }
        uint8_t head[13];
        if (in.Read(head, 2) < 2)
            return kParseCancelled;
        if (!IsMagic(head))
            return kUnknownFormat;
        if (in.Read(head + 2, 11) < 11)
            return kSyntaxIllegal;

        SIF_AU au;
        au.Offset = unitStart + kUnitHeaderSize;
        au.Pts = ReadBE32(head + 2);
        au.Dts = ReadBE32(head + 6);
        const uint8_t type = head[10];
        const uint16_t segmentLength = ReadBE16(head + 11);
        au.Size = uint32_t(segmentLength) + 3;
        if (codingType == coding::kPg && type != kIcs) {
            au.Pts += kStreamStartTicks;
            if (au.Dts != 0)
                au.Dts += kStreamStartTicks;
        }
        au.Flags = type;

        const uint64_t bodyStart = in.Position();
        if (type == kPcs || type == kIcs) {
            const bool firstIcs = type == kIcs && !icsSeen;
            size_t needed = type == kPcs ? kPcsHead : kCompositionHead;
            if (firstIcs)
                needed = kStreamModelAt + 1;
            if (segmentLength < needed)
                return kSyntaxIllegal;
            uint8_t body[kStreamModelAt + 1];
            if (in.Read(body, needed) < needed)
                return kParseCancelled;  // the segment runs past the end of the file
            width = ReadBE16(body);
            height = ReadBE16(body + 2);
            frameRate = body[4] >> 4;
            frameRateLowBits = body[4] & 0x0F;
            au.Flags |= uint32_t(body[7] >> 6) << 8;
            if (type == kPcs && body[10] == 0)
                au.Flags |= SIF_AU::kNoObjects;
            if (firstIcs) {
                icsSeen = true;
                streamModel = body[kStreamModelAt] >> 7;
            }
        }
        in.SetPosition(bodyStart + segmentLength);
        if (type == kIcs)
            codingType = coding::kIg;
        sif.AppendAu(au);
    }

    sif.Header().StreamCodingType = codingType;
    if (auto* record = dynamic_cast<SGsSif*>(sif.Data())) {
        record->CodingType = codingType;
        record->Width = width;
        record->Height = height;
        record->FrameRate = frameRate;
        record->FrameRateLowBits = frameRateLowBits;
        record->StreamModel = codingType == coding::kIg ? streamModel : 0;
    }
    return kParseOk;
}

}  // namespace vx
