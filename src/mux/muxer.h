#pragma once
// The multiplexer: writes a BDMV stream file (.m2ts) from a set of tracks and, in the same pass,
// the clip information that describes it.
//
// Packets are sent on a 27 MHz arrival clock at a constant transport rate: one 188-byte packet
// takes `packet time` ticks, and every packet arrives on the grid start + k x packet time. Each
// track's packets are scheduled as early as the decoder buffers of its stream allow (the T-STD
// model held by its stream descriptions), but an AU does not start arriving more than 0.9 s
// before its decoding time. PAT and PMT are repeated every 94 ms, a SIT with every 9th of them,
// and a PCR-only packet every 90 ms; the file ends padded with null packets to whole aligned
// units of 6144 bytes.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bdmv/clpi.h"
#include "foundation/file.h"
#include "foundation/messages.h"
#include "mux/mux_track.h"
#include "transport/psi.h"
#include "transport/ts_packet.h"

namespace vx {

// Rates a stream file may be written at (bit/s).
inline constexpr uint32_t kMinMuxRate = 1000000;
inline constexpr uint32_t kMaxMuxRate = 48000000;

// The duration of one 188-byte packet at rate, in 27 MHz ticks (truncated).
uint64_t PacketTime(uint32_t rate);
// The time of the first 81 bits of a packet, up to the last bit of the PCR base (truncated).
uint64_t PcrOffset(uint32_t rate);

// "1.50GB", "12.34MB", "512KB" for a count of source packets; "" for none.
std::string FormatSize(uint64_t sourcePackets);

class CMuxer {
public:
    // The largest output buffer (18 MiB); a small clip gets a smaller one.
    static constexpr size_t kOutputBufferSize = 0x1200000;
    static constexpr uint64_t kPsiPeriod = 2538000;  // 94 ms
    static constexpr uint64_t kPcrPeriod = 2430000;  // 90 ms
    static constexpr int kPsiPerSit = 9;
    static constexpr uint64_t kLead = 81000;  // 0.9 s (90 kHz): how early an AU may start arriving
    static constexpr size_t kMaxPmtSection = 1021;
    // The longest wait for the next packet of any track (an hour; subtitles may pause for
    // minutes): a longer one is a jump in the time stamps.
    static constexpr uint64_t kMaxGap = 3600ull * 27000000;

    CMuxer();
    ~CMuxer();
    CMuxer(const CMuxer&) = delete;
    CMuxer& operator=(const CMuxer&) = delete;

    // Where the stream file and the clip information go; both are written under a temporary
    // name and appear under these names only when the mux succeeds. An empty clip path writes
    // no clip information.
    void SetOutput(const std::string& streamPath, const std::string& clipPath);
    // A private-information descriptor (tag 0x89) copied from a source stream's PMT.
    void SetPrivateInfo(const PRIVATE_INFO_DESCRIPTOR& descriptor) { privateInfo_ = descriptor; }
    void SetCopyPermission(uint8_t bits) { copyPermission_ = bits & 3; }

    // Takes the tracks (in PID order, PIDs set), the transport rate, the clip's application type
    // and the video frame duration in milliseconds (0: from the first video track). False, with
    // a message shown, when the rate is outside 1 to 48 Mbit/s, a track cannot be prepared or
    // the PMT does not fit.
    bool Init(uint32_t rate, const MuxTrackList& tracks, uint8_t applicationType,
              double frameDuration);
    // Writes the stream file and the clip information: 0 success, 1 cancelled, 2 error.
    int Mux(const ProgressCallback& progress = {});

    // After Mux: presentation start and end of the clip (27 MHz; / 300 gives 90 kHz).
    uint64_t StartTime() const { return firstPresentation_; }
    uint64_t EndTime() const { return endTime_; }
    // The system clock at the end of the stream (27 MHz).
    uint64_t EndClock() const { return endClock_; }
    uint64_t PacketCount() const { return packetCount_; }
    uint64_t GetPacketTime() const { return packetTime_; }
    uint64_t GetPcrOffset() const { return pcrOffset_; }
    // The clip information written after the mux (valid after a successful Mux).
    const CLPI& ClipInfo() const { return *clip_; }
    // The encoded PMT section.
    const std::vector<uint8_t>& PmtSection() const { return pmtSection_; }

private:
    bool BuildPmt();
    void WriteTablesAtStart();
    void SendAu(SMuxTrack& track, uint64_t limit, bool haveLimit);
    void SendPacket(SMuxTrack& track, SAuBase& au, uint8_t* packet, uint32_t payload);
    void InsertTables();
    uint64_t GridSlotAtOrAfter(uint64_t time) const;
    void WritePat(uint64_t time);
    void WritePmt();
    void WriteSit();
    void WritePcr(uint64_t due);
    void AppendPacket(const uint8_t* transportPacket, uint64_t time);
    void Flush();
    void PadToAlignedUnit();
    void UpdateNextTime(SMuxTrack& track);
    void EnterAu(SMuxTrack& track);
    void OnAuStart(SMuxTrack& track, SAuBase& au);
    void OnAuComplete(SMuxTrack& track, SAuBase& au);
    void BuildClipInfo();

    std::string streamPath_;
    std::string clipPath_;
    CAtomicFile output_;
    uint32_t rate_ = kMaxMuxRate;
    uint8_t applicationType_ = 1;
    double frameDuration_ = 0;
    uint64_t frameTicks_ = 0;
    MuxTrackList tracks_;
    uint8_t copyPermission_ = 0;
    std::vector<uint8_t> buffer_;
    size_t used_ = 0;

    uint64_t packetTime_ = 0;
    uint64_t pcrOffset_ = 0;
    uint64_t clock_ = 0;
    uint64_t lastPacketTime_ = 0;
    uint64_t packetCount_ = 0;
    uint64_t nextPsiTime_ = 0;
    uint64_t nextPcrTime_ = 0;
    bool firstPcr_ = true;
    int psiCounter_ = 0;
    bool started_ = false;

    std::unique_ptr<TransportPacket> pat_, pmt_, sit_, pcr_;
    std::vector<uint8_t> pmtSection_;
    int pmtPackets_ = 1;
    std::optional<PRIVATE_INFO_DESCRIPTOR> privateInfo_;

    // Statistics.
    bool haveStart_ = false;
    uint64_t firstPresentation_ = 0;
    uint64_t lastPresentation_ = 0;
    bool haveVideo_ = false;
    uint64_t firstVideo_ = 0;
    uint64_t lastVideo_ = 0;
    uint64_t lastPcrValue_ = 0;
    uint64_t lastPcrArrival_ = 0;
    uint64_t endTime_ = 0;
    uint64_t endClock_ = 0;

    // Faults that fail the mux once the stream is written.
    int lateAus_ = 0;
    std::string firstLateTrack_;
    bool unreadable_ = false;
    std::string unreadableTrack_;
    bool emptyAu_ = false;
    bool timeJump_ = false;
    std::string timeJumpTrack_;

    std::unique_ptr<CLPI> clip_;
};

}  // namespace vx
