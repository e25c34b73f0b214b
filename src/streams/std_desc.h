#pragma once
// Stream descriptions: the decoder buffer model of the transport-stream system target decoder
// (T-STD) that the multiplexer runs for one elementary stream. Every stream has a transport
// buffer TB of 512 bytes drained at the rate Rx; video also has a multiplex buffer MB (size,
// drained at Rbx); every stream has an elementary buffer EB. Audio TBs must run empty at least
// once a second.
//
// These classes hold the buffer values by stream type, level and primary/secondary use, and the
// buffer state the multiplexer keeps while it schedules packets on the 27 MHz arrival clock:
// each packet is entered when it arrives, and the description answers the earliest time at
// which the next packet of its stream may arrive without a buffer overflowing.

#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "bdmv/json.h"

namespace vx {

class CStdBase {
public:
    static constexpr uint32_t kTbSize = 512;

    virtual ~CStdBase();
    // A stream is primary unless it is the secondary audio or video of picture-in-picture
    // and audio mixing; some descriptions use smaller buffers for secondary streams.
    virtual void SetPrimary(bool primary);

    uint8_t CodingType() const { return codingType_; }
    // The long name of the coding type ("AC-3"), or "" when it has none.
    const char* Name() const;
    bool IsPrimary() const { return primary_; }
    uint32_t TbSize() const { return kTbSize; }
    uint32_t Rx() const { return rx_; }  // bit/s
    bool HasMb() const { return mbSize_ != 0; }
    uint32_t MbSize() const { return mbSize_; }  // bytes
    uint32_t Rbx() const { return rbx_; }        // bit/s
    uint32_t EbSize() const { return ebSize_; }  // bytes
    bool TbMustEmptyEverySecond() const { return tbMustEmpty_; }

    Json ToJson() const;

    // ---- Buffer state of a multiplexing pass (times in 27 MHz ticks, time stamps 90 kHz) ----
    // Empties every buffer: the state before the first packet of a pass.
    void ResetBuffers();
    // The latest of the earliest arrival times the buffers allow for the next packet; 0 when
    // no buffer constrains it.
    virtual uint64_t NextBufferTime() const;
    // Enters a new AU into EB; the payload of the packets that follow belongs to it.
    virtual void AddAu(uint64_t dts, uint64_t pts);
    // A packet arriving at time with payload bytes of the newest AU. TB (and MB) take the whole
    // 188 bytes and drain at their rates; EB takes the payload and frees an AU at its DTS. When
    // the newest AU alone is larger than EB no wait helps: EB then sets no constraint and the
    // call returns false.
    virtual bool OnPacket(uint64_t time, uint32_t payload);

protected:
    explicit CStdBase(uint8_t codingType) : codingType_(codingType) {}
    void SetBuffers(uint32_t rx, uint32_t ebSize, uint32_t mbSize = 0, uint32_t rbx = 0);

    uint8_t codingType_;
    bool primary_ = true;
    bool tbMustEmpty_ = false;
    uint32_t rx_ = 0;
    uint32_t mbSize_ = 0;
    uint32_t rbx_ = 0;
    uint32_t ebSize_ = 0;

private:
    // A buffer that fills by whole transport packets and drains at a constant rate.
    struct LeakyBuffer {
        double fullness = 0;     // bytes
        uint64_t last = 0;       // arrival time of the previous packet
        uint64_t emptyTime = 0;  // when it last ran empty
        uint64_t earliest = 0;   // earliest next arrival, 0 when unconstrained
        void Arrive(uint64_t time, double size, uint32_t rate, bool mustEmptyEverySecond);
    };
    struct EbAu {
        uint64_t dts = 0;  // 90 kHz
        uint64_t bytes = 0;
    };
    void UpdateEbConstraint();

    LeakyBuffer tb_;
    LeakyBuffer mb_;
    std::deque<EbAu> eb_;
    uint64_t ebHeld_ = 0;  // bytes of the AUs in eb_
    uint64_t ebEarliest_ = 0;
};

using StdList = std::vector<std::unique_ptr<CStdBase>>;

class CAudioStd : public CStdBase {
protected:
    explicit CAudioStd(uint8_t codingType) : CStdBase(codingType) { tbMustEmpty_ = true; }
};

class CVideoStd : public CStdBase {
public:
    // level: the profile-and-level byte (MPEG-2) or the level (AVC level_idc, VC-1 level).
    virtual void SetLevel(int level, bool primary) = 0;
    void SetPrimary(bool primary) override { SetLevel(level_, primary); }
    int Level() const { return level_; }

protected:
    CVideoStd(uint8_t codingType, int level) : CStdBase(codingType), level_(level) {}
    int level_;
};

// PG and IG.
class CGsStd : public CStdBase {
public:
    // The stream-model byte of the stream information (IG: 0 when the menu is multiplexed
    // with the video, 1 when it is preloaded).
    uint8_t StreamModel() const { return streamModel_; }
    void SetStreamModel(uint8_t model) { streamModel_ = model; }
    bool IsMultiplexedModel() const { return streamModel_ == 0; }

protected:
    explicit CGsStd(uint8_t codingType);
    uint8_t streamModel_ = 0;
};

// AC-3: 0x81, and the AC-3 core of 0x83 and 0x84.
class CAc3Std : public CAudioStd {
public:
    explicit CAc3Std(uint8_t codingType = 0x81);
};

// E-AC-3: the extension of 0x84 (primary) and 0xA1 (secondary).
class CDdpStd : public CAudioStd {
public:
    explicit CDdpStd(uint8_t codingType = 0x84, bool primary = true);
    void SetPrimary(bool primary) override;
};

// DTS: 0x82 and the core of 0x85 and 0x86.
class CDtsStd : public CAudioStd {
public:
    explicit CDtsStd(uint8_t codingType = 0x82);
};

// DTS-HD: the extension of 0x85 and 0x86 (primary) and 0xA2 (secondary).
class CDtsHdStd : public CAudioStd {
public:
    explicit CDtsHdStd(uint8_t codingType = 0x85, bool primary = true);
    void SetPrimary(bool primary) override;
};

// TrueHD (MLP): the lossless part of 0x83.
class CMlpStd : public CAudioStd {
public:
    explicit CMlpStd(uint8_t codingType = 0x83);
};

// BD LPCM (0x80); 192 kHz streams have larger buffers.
class CLpcmStd : public CAudioStd {
public:
    CLpcmStd();
    // The sampling-frequency code of the stream attributes: 1 (48 kHz) and 4 (96 kHz) give the
    // standard values, 5 (192 kHz) the large ones; other codes change nothing.
    void SetSamplingFrequency(uint8_t code);
};

class CPgStd : public CGsStd {
public:
    CPgStd();
};

class CIgStd : public CGsStd {
public:
    CIgStd();
};

// MPEG-2 video by profile-and-level byte: 0x44 main profile at high level, 0x46 main profile
// at high-1440 level, 0x48 main profile at main level; other bytes keep the values set last.
class CMpeg2Std : public CVideoStd {
public:
    CMpeg2Std();
    void SetLevel(int profileAndLevel, bool primary) override;
};

// AVC by level_idc (30, 31, 32, 40, 41; others get the smallest buffers). Level 3.2 has
// smaller buffers for a secondary (picture-in-picture) stream.
class CAvcStd : public CVideoStd {
public:
    CAvcStd();
    void SetLevel(int level, bool primary) override;
};

// VC-1 by level: level 2 has lower rates, and a smaller EB when secondary.
class CVc1Std : public CVideoStd {
public:
    CVc1Std();
    void SetLevel(int level, bool primary) override;
};

}  // namespace vx
