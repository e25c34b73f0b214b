#include "streams/std_desc.h"

#include "streams/coding_types.h"

#include <algorithm>
#include <cmath>

namespace vx {

CStdBase::~CStdBase() = default;

void CStdBase::SetPrimary(bool primary) {
    primary_ = primary;
}

const char* CStdBase::Name() const {
    const char* name = CodingTypeName(codingType_);
    return name ? name : "";
}

void CStdBase::SetBuffers(uint32_t rx, uint32_t ebSize, uint32_t mbSize, uint32_t rbx) {
    rx_ = rx;
    ebSize_ = ebSize;
    mbSize_ = mbSize;
    rbx_ = rbx;
}

Json CStdBase::ToJson() const {
    Json j;
    j["StreamCodingType"] = codingType_;
    j["Name"] = Name();
    j["Primary"] = primary_;
    j["TbSize"] = kTbSize;
    j["Rx"] = rx_;
    if (HasMb()) {
        j["MbSize"] = mbSize_;
        j["Rbx"] = rbx_;
    }
    j["EbSize"] = ebSize_;
    j["TbMustEmptyEverySecond"] = tbMustEmpty_;
    return j;
}

namespace {
constexpr double kClockHz = 27000000.0;        // the arrival clock
constexpr uint64_t kTbEmptyPeriod = 26460000;  // 0.98 s: an audio TB must run empty this often
constexpr uint32_t kPacketBytes = 188;
constexpr uint32_t kEbRoom = 184;  // the payload of one more packet
}  // namespace

void CStdBase::LeakyBuffer::Arrive(uint64_t time, double size, uint32_t rate,
                                   bool mustEmptyEverySecond) {
    // Bytes and ticks convert through 8 x 27,000,000 / rate, kept in that order so that whole
    // byte counts give whole tick counts without rounding.
    auto ticksFor = [rate](double bytes) { return bytes * 8.0 * kClockHz / rate; };
    fullness -= double(time - last) * rate / (8.0 * kClockHz);
    if (fullness <= 0) {
        fullness = 0;
        emptyTime = time;
    }
    last = time;
    fullness += kPacketBytes;
    // Room for the packet after next: the next one must find two packets of space.
    const double over = 2.0 * kPacketBytes + fullness - size;
    earliest = over > 0 ? time + uint64_t(std::ceil(ticksFor(over))) : 0;
    if (mustEmptyEverySecond) {
        const uint64_t drained = time + uint64_t(std::ceil(ticksFor(fullness)));
        if (emptyTime + kTbEmptyPeriod <= drained)
            earliest = std::max(earliest, drained);
    }
}

void CStdBase::ResetBuffers() {
    tb_ = {};
    mb_ = {};
    eb_.clear();
    ebHeld_ = 0;
    ebEarliest_ = 0;
}

uint64_t CStdBase::NextBufferTime() const {
    return std::max({tb_.earliest, mb_.earliest, ebEarliest_});
}

void CStdBase::AddAu(uint64_t dts, uint64_t /*pts*/) {
    eb_.push_back({dts, 0});
    // The AU sent last is no longer the newest: its removal at its DTS may now make room.
    UpdateEbConstraint();
}

bool CStdBase::OnPacket(uint64_t time, uint32_t payload) {
    tb_.Arrive(time, kTbSize, rx_, tbMustEmpty_);
    if (HasMb())
        mb_.Arrive(time, mbSize_, rbx_, false);
    if (eb_.empty())
        eb_.push_back({0, 0});
    eb_.back().bytes += payload;
    ebHeld_ += payload;
    while (eb_.size() > 1 && eb_.front().dts * 300 <= time) {
        ebHeld_ -= eb_.front().bytes;
        eb_.pop_front();
    }
    UpdateEbConstraint();
    return eb_.back().bytes <= ebSize_;
}

void CStdBase::UpdateEbConstraint() {
    uint64_t held = ebHeld_;
    ebEarliest_ = 0;
    // Wait for the oldest AU whose removal, with every older one, leaves room for a packet.
    // The newest AU stays; when it alone leaves no room no wait helps.
    for (size_t i = 0; held + kEbRoom > ebSize_ && i + 1 < eb_.size(); ++i) {
        held -= eb_[i].bytes;
        if (held + kEbRoom <= ebSize_)
            ebEarliest_ = eb_[i].dts * 300;
    }
}

CGsStd::CGsStd(uint8_t codingType) : CStdBase(codingType) {
    SetBuffers(48000000, 1048576);
}

CAc3Std::CAc3Std(uint8_t codingType) : CAudioStd(codingType) {
    SetBuffers(2000000, 18640);
}

CDdpStd::CDdpStd(uint8_t codingType, bool primary) : CAudioStd(codingType) {
    SetPrimary(primary);
}

void CDdpStd::SetPrimary(bool primary) {
    CStdBase::SetPrimary(primary);
    if (primary)
        SetBuffers(48000000, 137936);
    else
        SetBuffers(2000000, 7456);
}

CDtsStd::CDtsStd(uint8_t codingType) : CAudioStd(codingType) {
    SetBuffers(5000000, 43972);
}

CDtsHdStd::CDtsHdStd(uint8_t codingType, bool primary) : CAudioStd(codingType) {
    SetPrimary(primary);
}

void CDtsHdStd::SetPrimary(bool primary) {
    CStdBase::SetPrimary(primary);
    if (primary)
        SetBuffers(48000000, 713563);
    else
        SetBuffers(2000000, 7456);
}

CMlpStd::CMlpStd(uint8_t codingType) : CAudioStd(codingType) {
    SetBuffers(48000000, 404250);
}

CLpcmStd::CLpcmStd() : CAudioStd(coding::kLpcm) {
    SetSamplingFrequency(1);
}

void CLpcmStd::SetSamplingFrequency(uint8_t code) {
    if (code == 1 || code == 4)
        SetBuffers(20000000, 536832);
    else if (code == 5)
        SetBuffers(30000000, 1073664);
}

CPgStd::CPgStd() : CGsStd(coding::kPg) {}

CIgStd::CIgStd() : CGsStd(coding::kIg) {}

CMpeg2Std::CMpeg2Std() : CVideoStd(coding::kMpeg2Video, 0x44) {
    SetLevel(0x44, true);
}

void CMpeg2Std::SetLevel(int profileAndLevel, bool primary) {
    primary_ = primary;
    switch (profileAndLevel) {
        case 0x44:
            SetBuffers(48000000, 1222656, 53333, 42000000);
            break;
        case 0x46:
            SetBuffers(48000000, 917504, 40000, 42000000);
            break;
        case 0x48:
            SetBuffers(18000000, 229376, 10000, 15000000);
            break;
        default:
            return;
    }
    level_ = profileAndLevel;
}

CAvcStd::CAvcStd() : CVideoStd(coding::kAvc, 41) {
    SetLevel(41, true);
}

void CAvcStd::SetLevel(int level, bool primary) {
    primary_ = primary;
    level_ = level;
    constexpr uint32_t mb = 40000;
    switch (level) {
        case 30:
            SetBuffers(14400000, 1500000, mb, 12000000);
            break;
        case 31:
            SetBuffers(20160000, 2100000, mb, 16800000);
            break;
        case 32:
            if (primary)
                SetBuffers(28800000, 3000000, mb, 24000000);
            else
                SetBuffers(9600000, 1500000, mb, 8000000);
            break;
        case 40:
            SetBuffers(28800000, 3750000, mb, 24000000);
            break;
        case 41:
            SetBuffers(48000000, 3750000, mb, 40000000);
            break;
        default:
            SetBuffers(18000000, 1500000, mb, 15000000);
            break;
    }
}

CVc1Std::CVc1Std() : CVideoStd(coding::kVc1, 3) {
    SetLevel(3, true);
}

void CVc1Std::SetLevel(int level, bool primary) {
    primary_ = primary;
    level_ = level;
    constexpr uint32_t mb = 26666;
    if (level == 2)
        SetBuffers(24000000, primary ? 3750000 : 1500000, mb, 20000000);
    else
        SetBuffers(48000000, 3750000, mb, 40000000);
}

}  // namespace vx
