#pragma once
// A track of made-up AUs for the multiplexer tests, and readers of the packets it wrote.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/bytes.h"
#include "foundation/file.h"
#include "mux/mux_track.h"
#include "streams/coding_types.h"
#include "transport/ts_packet.h"

namespace vx::test {

// AUs of a given size and time stamps, each packed into transport packets: a PES header with a
// PTS (and DTS when it differs) in the first, the rest filled with payload.
class FakeTrack : public SMuxTrack {
public:
    struct Au {
        uint64_t dts = 0;
        uint64_t pts = 0;
        uint32_t bytes = 0;
    };

    FakeTrack(uint8_t codingType, std::vector<Au> aus) : type_(codingType), aus_(std::move(aus)) {}

    // The AU of this index claims its size but gives no packet.
    int EmptyAu = -1;

    std::string Describe(bool) const override { return "fake track"; }
    bool Prepare() override {
        current_ = 0;
        Load();
        return MakeDescriptions();
    }
    void Release() override {}
    SAuBase* CurrentAu() override { return current_ < aus_.size() ? &au_ : nullptr; }
    FirstAuInfo GetFirstAuInfo() const override { return {}; }
    bool NextAu() override {
        if (++current_ >= aus_.size())
            return false;
        Load();
        return true;
    }
    uint8_t GetCodingType() const override { return type_; }
    double GetFrameDuration() const override { return IsVideo() ? 1001.0 / 24 : 0; }
    std::string GetAttributeText() const override { return {}; }
    void FillStreamInfo(STREAM_INFO& info) const override { info.StreamCodingType = type_; }
    void FillEsi(ESI& esi) const override { esi.StreamType = type_; }
    void FillStreamAttributes(STREAM_ATTRIBUTES& a) const override { a.StreamCodingType = type_; }
    bool MakeDescriptions() override {
        Descriptions.clear();
        switch (type_) {
            case coding::kAvc:
                Descriptions.push_back(std::make_unique<CAvcStd>());
                break;
            case coding::kIg:
                Descriptions.push_back(std::make_unique<CIgStd>());
                break;
            case coding::kPg:
                Descriptions.push_back(std::make_unique<CPgStd>());
                break;
            default:
                Descriptions.push_back(std::make_unique<CAc3Std>());
                break;
        }
        return true;
    }
    uint64_t GetSize() const override {
        uint64_t total = 0;
        for (const Au& au : aus_) total += au.bytes;
        return total;
    }
    bool IsDisplaySetStart() const override { return true; }

private:
    class FakeAu : public SAuBase {
    public:
        FakeTrack* track = nullptr;
        uint32_t left = 0;
        bool first = true;
        uint8_t* NextPacket(uint32_t* payload) override {
            if (left == 0)
                return nullptr;
            uint8_t* p = track->packet_ + 4;
            std::memset(p, 0xFF, kTransportPacketSize);
            p[0] = kSyncByte;
            p[1] = uint8_t((first ? 0x40 : 0) | (track->PID >> 8 & 0x1F));
            p[2] = uint8_t(track->PID);
            p[3] = uint8_t(0x10 | (track->counter_++ & 0x0F));
            size_t at = 4;
            if (first) {
                PES_Packet pes;
                pes.StreamID = IsVideoType(track->type_) ? 0xE0 : 0xBD;
                pes.PTS_DTS_Flag = DTS != PTS ? 3 : 2;
                pes.PTS = PTS;
                pes.DTS = DTS;
                ByteWriter w;
                pes.Write(w);
                const std::vector<uint8_t> header = w.Take();
                std::memcpy(p + at, header.data(), header.size());
                at += header.size();
                first = false;
            }
            const uint32_t room = uint32_t(kTransportPacketSize - at);
            const uint32_t take = std::min(room, left);
            left -= take;
            *payload = uint32_t(kTransportPacketSize - 4);
            return track->packet_;
        }
        bool Exhausted() const override { return left == 0; }
    };

    void Load() {
        const Au& a = aus_[current_];
        au_.track = this;
        au_.DTS = a.dts;
        au_.PTS = a.pts;
        au_.Size = a.bytes;
        au_.left = int(current_) == EmptyAu ? 0 : a.bytes;
        au_.first = true;
        au_.KeyPoint = CollectsKeyPoints ? AddKeyPoint(a.pts) : -1;
    }

    uint8_t type_;
    std::vector<Au> aus_;
    size_t current_ = 0;
    FakeAu au_;
    uint8_t packet_[kSourcePacketSize] = {};
    uint8_t counter_ = 0;
};

// One written source packet as the tests look at it.
struct WrittenPacket {
    uint32_t arrival = 0;
    int pid = 0;
    bool unitStart = false;
    const uint8_t* bytes = nullptr;  // the 192 bytes
};

inline std::vector<WrittenPacket> PacketsOf(const std::vector<uint8_t>& file) {
    std::vector<WrittenPacket> packets;
    for (size_t at = 0; at + kSourcePacketSize <= file.size(); at += kSourcePacketSize) {
        const uint8_t* p = file.data() + at;
        packets.push_back(
            {ReadBE32(p) & 0x3FFFFFFF, (p[5] & 0x1F) << 8 | p[6], (p[5] & 0x40) != 0, p});
    }
    return packets;
}

// AUs every step ticks (90 kHz) from first on, each of bytes.
inline std::vector<FakeTrack::Au> EvenAus(int count, uint64_t first, uint64_t step,
                                          uint32_t bytes) {
    std::vector<FakeTrack::Au> aus;
    for (int i = 0; i < count; ++i)
        aus.push_back({first + uint64_t(i) * step, first + uint64_t(i) * step, bytes});
    return aus;
}

}  // namespace vx::test
