#include "mux/verify.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <set>

#include "foundation/bytes.h"
#include "mux/es_attributes.h"
#include "streams/coding_types.h"
#include "streams/std_desc.h"
#include "transport/pid.h"
#include "transport/probes.h"
#include "transport/ts_packet.h"

namespace vx {

namespace {

constexpr double kClock = 27000000.0;
constexpr int64_t kPsiLimit = 2700000;   // 100 ms
constexpr int64_t kSitLimit = 27000000;  // 1 s
constexpr int64_t kPcrLimit = 2700000;   // 100 ms
constexpr uint32_t kAtsWrap = 1u << 30;
constexpr size_t kBlock = 0x600000;

// A rule's verdict gathered while reading: the first fault is described, the rest counted.
struct Verdict {
    uint64_t faults = 0;
    std::string first;
    void Fault(const std::string& text) {
        if (faults++ == 0)
            first = text;
    }
    VerifyRule Rule(const std::string& name, const std::string& okDetail) const {
        VerifyRule rule{name, faults == 0, okDetail};
        if (faults != 0)
            rule.detail = first + (faults > 1 ? " (" + std::to_string(faults) + " faults)" : "");
        return rule;
    }
};

std::string At(uint64_t packet) {
    return "packet " + std::to_string(packet);
}

std::string Ms(int64_t ticks) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f ms", double(ticks) / 27000.0);
    return text;
}

// Makes the stream descriptions that hold a coding type's buffer sizes and rates.
std::unique_ptr<CStdBase> DescriptionFor(uint8_t type, int level) {
    switch (type) {
        case coding::kMpeg2Video: {
            auto d = std::make_unique<CMpeg2Std>();
            if (level)
                d->SetLevel(level, true);
            return d;
        }
        case coding::kAvc: {
            auto d = std::make_unique<CAvcStd>();
            if (level)
                d->SetLevel(level, true);
            return d;
        }
        case coding::kVc1: {
            auto d = std::make_unique<CVc1Std>();
            if (level)
                d->SetLevel(level, true);
            return d;
        }
        case coding::kLpcm:
            return std::make_unique<CLpcmStd>();
        case coding::kAc3:
            return std::make_unique<CAc3Std>();
        case coding::kDts:
            return std::make_unique<CDtsStd>();
        // Two-layer audio: one decoder takes both layers; the larger buffers of the pair.
        case coding::kTrueHd:
            return std::make_unique<CMlpStd>(type);
        case coding::kEac3:
            return std::make_unique<CDdpStd>(type, true);
        case coding::kDtsHd:
        case coding::kDtsHdXll:
            return std::make_unique<CDtsHdStd>(type, true);
        case coding::kEac3Secondary:
            return std::make_unique<CDdpStd>(type, false);
        case coding::kDtsHdSecondary:
            return std::make_unique<CDtsHdStd>(type, false);
        case coding::kPg:
            return std::make_unique<CPgStd>();
        case coding::kIg:
            return std::make_unique<CIgStd>();
        default:
            return nullptr;
    }
}

// The T-STD of one elementary stream. Buffers are queues served at constant rates: a byte's
// departure time from TB (and MB) follows from the arrival times, so the fullness at any
// arrival is rate x (departure of the last byte - now).
class Decoder {
public:
    Decoder(int pid, uint8_t type, std::unique_ptr<CStdBase> description)
        : pid_(pid), type_(type), d_(std::move(description)) {}

    uint8_t Type() const { return type_; }

    // A transport packet arriving at time (27 MHz, arrival clock) with payload bytes, of which
    // pesHeader bytes are a PES header that begins a new AU decoded at dts (arrival clock).
    void Packet(uint64_t packet, double time, uint32_t payload, uint32_t pesHeader, bool auStart,
                double dts, Verdict& verdict) {
        const double rx = d_->Rx() / 8.0 / kClock;  // bytes per tick
        tbDepart_ = std::max(time, tbDepart_) + kTransportPacketSize / rx;
        const double tbFull = (tbDepart_ - time) * rx;
        if (tbFull > d_->TbSize() + 0.5)
            verdict.Fault("TB of PID " + Pid() + " overflows at " + At(packet) + " (" +
                          std::to_string(int(tbFull)) + " bytes)");
        if (auStart) {
            CloseAu(verdict);
            aus_.push_back({dts, 0, 0, false, packet});
        }
        if (aus_.empty())
            return;  // payload before the first PES header is no AU's
        double entry = tbDepart_;
        if (d_->HasMb()) {
            const double rbx = d_->Rbx() / 8.0 / kClock;
            mbDepart_ = std::max(tbDepart_, mbDepart_) + payload / rbx;
            const double mbFull = (mbDepart_ - tbDepart_) * rbx;
            if (mbFull > d_->MbSize() + 0.5)
                verdict.Fault("MB of PID " + Pid() + " overflows at " + At(packet) + " (" +
                              std::to_string(int(mbFull)) + " bytes)");
            entry = mbDepart_;
        }
        EnterEb(packet, entry, payload - std::min(payload, pesHeader), verdict);
    }

    void Finish(Verdict& verdict) { CloseAu(verdict); }

private:
    struct Au {
        double dts = 0;
        uint64_t bytes = 0;
        double lastEntry = 0;
        bool closed = false;
        uint64_t firstPacket = 0;
    };

    std::string Pid() const {
        char text[16];
        std::snprintf(text, sizeof text, "0x%04X", unsigned(pid_));
        return text;
    }

    void CloseAu(Verdict& verdict) {
        if (aus_.empty() || aus_.back().closed)
            return;
        Au& au = aus_.back();
        au.closed = true;
        if (au.bytes > 0 && au.lastEntry > au.dts + 0.5)
            verdict.Fault("the AU of PID " + Pid() + " starting at " + At(au.firstPacket) +
                          " is whole in EB only " + Ms(int64_t(au.lastEntry - au.dts)) +
                          " after its decoding time");
    }

    void EnterEb(uint64_t packet, double time, uint32_t bytes, Verdict& verdict) {
        while (!aus_.empty() && aus_.front().closed && aus_.front().dts <= time) {
            ebFull_ -= aus_.front().bytes;
            aus_.pop_front();
        }
        aus_.back().bytes += bytes;
        aus_.back().lastEntry = time;
        ebFull_ += bytes;
        if (ebFull_ > d_->EbSize())
            verdict.Fault("EB of PID " + Pid() + " overflows at " + At(packet) + " (" +
                          std::to_string(ebFull_) + " bytes)");
    }

    int pid_;
    uint8_t type_;
    std::unique_ptr<CStdBase> d_;
    double tbDepart_ = 0;
    double mbDepart_ = 0;
    uint64_t ebFull_ = 0;
    std::deque<Au> aus_;
};

struct PidState {
    int lastCounter = -1;
    uint8_t type = 0;
    bool elementary = false;
    std::unique_ptr<Decoder> decoder;
    // PES length bookkeeping.
    uint64_t pesBytes = 0;
    uint32_t pesLength = 0;  // 0: unbounded
    uint64_t pesStart = 0;
    bool inPes = false;
    std::optional<uint64_t> firstPts;
    uint64_t lastPts = 0;
};

bool StreamIdFits(uint8_t type, uint8_t id) {
    switch (CategoryOf(type)) {
        case StreamCategory::video:
            return (id >= 0xE0 && id <= 0xEF) || id == 0xFD;
        case StreamCategory::audio:
            return id == 0xBD || id == 0xFD || (id >= 0xC0 && id <= 0xDF);
        case StreamCategory::pg:
        case StreamCategory::ig:
            return id == 0xBD;
        default:
            return id == 0xBF || id == 0xBD;
    }
}

// The offset of the system clock to the arrival clock: the first PCR minus its arrival time
// (PCR-only packets and packets before it arrive on the same clock).
std::optional<int64_t> FirstPcrOffset(CFile& file, int pcrPid) {
    std::vector<uint8_t> block(size_t(std::min<uint64_t>(kBlock, file.GetLength())));
    file.Seek(0, CFile::begin);
    const size_t got = file.Read(block.data(), block.size());
    uint64_t time = 0;
    uint32_t last = 0;
    for (size_t at = 0; at + kSourcePacketSize <= got; at += kSourcePacketSize) {
        const uint8_t* sp = block.data() + at;
        const uint32_t ats = ReadBE32(sp) & 0x3FFFFFFF;
        const uint32_t delta = (ats - last) & (kAtsWrap - 1);
        if (at != 0 && delta < kAtsWrap / 2)
            time += delta;
        last = ats;
        const uint8_t* p = sp + 4;
        if (p[0] != kSyncByte || (((p[1] & 0x1F) << 8) | p[2]) != pcrPid || !(p[3] & 0x20) ||
            p[4] < 7 || !(p[5] & 0x10))
            continue;
        const uint64_t base = uint64_t(p[6]) << 25 | uint64_t(p[7]) << 17 | uint64_t(p[8]) << 9 |
                              uint64_t(p[9]) << 1 | p[10] >> 7;
        return int64_t(base * 300 + ((p[10] & 1) << 8 | p[11])) - int64_t(time);
    }
    return std::nullopt;
}

}  // namespace

bool VerifyReport::Ok() const {
    return std::all_of(rules.begin(), rules.end(), [](const VerifyRule& r) { return r.ok; });
}

const VerifyRule* VerifyReport::Find(const std::string& rule) const {
    for (const VerifyRule& r : rules)
        if (r.rule == rule)
            return &r;
    return nullptr;
}

Json VerifyReport::ToJson() const {
    Json j;
    j["path"] = path;
    j["ok"] = Ok();
    j["packets"] = packets;
    Json list = Json::array();
    for (const VerifyRule& r : rules)
        list.push_back({{"rule", r.rule}, {"ok", r.ok}, {"detail", r.detail}});
    j["rules"] = list;
    return j;
}

VerifyReport VerifyStreamFile(CFile& file, const CLPI* clip) {
    VerifyReport report;
    report.path = file.GetFilePath();
    const uint64_t length = file.GetLength();
    report.packets = length / kSourcePacketSize;

    Verdict units, sync, arrival, psi, pcr, continuity, pes, tstd;
    if (length % kAlignedUnitSize != 0)
        units.Fault(std::to_string(length) + " bytes is not a whole number of 6144-byte units");

    // The streams of the program, with their decoders.
    std::vector<PidState> pids(0x2000);
    std::unique_ptr<PMT> pmt = ReadPmt(file);
    int pcrPid = pid::kPcr;
    if (pmt) {
        pcrPid = pmt->PcrPid;
        for (const ESI* esi : pmt->Streams.Children()) {
            PidState& state = pids[esi->ElementaryPid & 0x1FFF];
            state.elementary = true;
            state.type = esi->StreamType;
        }
    } else {
        psi.Fault("the file holds no PMT");
    }

    const uint32_t rate = clip && clip->ClipInfo.TsRecordingRate != 0
                              ? std::min<uint32_t>(clip->ClipInfo.TsRecordingRate * 8, 48000000)
                              : 48000000;
    const uint64_t packetTime = 1504ull * 27000000ull / rate;

    // EP map entries to check, by packet number.
    std::map<uint64_t, std::vector<std::pair<const STREAM_PID_ENTRY*, const KEY_POINT_INFO*>>>
        epEntries;
    Verdict epmap;
    if (clip) {
        for (const STREAM_PID_ENTRY* entry : clip->Cpi.EpMap.Children()) {
            for (const KEY_POINT_INFO* point : entry->KeyPoints.Records()) {
                if (point->StartSpn >= report.packets)
                    epmap.Fault("an entry of PID " + std::to_string(entry->StreamPid) +
                                " points past the end (" + At(point->StartSpn) + ")");
                else
                    epEntries[point->StartSpn].push_back({entry, point});
            }
        }
    }

    std::vector<uint8_t> block(size_t(std::min<uint64_t>(kBlock, length)));
    uint64_t index = 0;
    bool haveTime = false;
    uint32_t lastAts = 0;
    int64_t stamp = 0;  // unwrapped arrival time stamp of the packet
    uint64_t time = 0;  // the arrival clock as the decoders see it: never backwards
    std::optional<uint64_t> lastPat, lastPmt, lastSit;
    std::optional<uint64_t> lastPcr;
    std::optional<int64_t> pcrOffset;
    const std::optional<int64_t> clockOffset = FirstPcrOffset(file, pcrPid);
    int64_t worstPcrDrift = 0;
    uint64_t firstPtsAny = 0;
    bool havePtsAny = false;
    uint64_t minVideoPts = UINT64_MAX, maxVideoPts = 0, maxPtsAny = 0;
    PES_Packet header;

    file.Seek(0, CFile::begin);
    for (;;) {
        const size_t got = file.Read(block.data(), block.size());
        const size_t whole = got / kSourcePacketSize;
        for (size_t k = 0; k < whole; ++k, ++index) {
            const uint8_t* sp = block.data() + k * kSourcePacketSize;
            const uint8_t* p = sp + kSourcePacketHeaderSize;
            const uint32_t ats =
                (uint32_t(sp[0]) << 24 | uint32_t(sp[1]) << 16 | uint32_t(sp[2]) << 8 | sp[3]) &
                0x3FFFFFFF;
            if (haveTime) {
                const uint32_t delta = (ats - lastAts) & (kAtsWrap - 1);
                if (delta == 0 || delta >= kAtsWrap / 2)
                    arrival.Fault(At(index) + " arrives no later than the one before it");
                else if (delta < packetTime)
                    arrival.Fault(At(index) + " arrives " + std::to_string(delta) +
                                  " ticks after the one before it, less than one packet time (" +
                                  std::to_string(packetTime) + ")");
                // The 30-bit stamps unwrapped: a step back is taken as one, not as a wrap.
                stamp += delta < kAtsWrap / 2 ? int64_t(delta) : int64_t(delta) - kAtsWrap;
                // The decoders see time run forwards only.
                time = std::max<int64_t>(int64_t(time), stamp);
            }
            haveTime = true;
            lastAts = ats;
            if (p[0] != kSyncByte) {
                sync.Fault(At(index) + " has no sync byte");
                continue;
            }
            const int pid = ((p[1] & 0x1F) << 8) | p[2];
            const bool unitStart = (p[1] & 0x40) != 0;
            const uint8_t control = (p[3] >> 4) & 3;
            const uint8_t counter = p[3] & 0x0F;
            size_t offset = 4;
            bool discontinuity = false;
            if (control & 2) {
                const uint8_t afLength = p[4];
                offset += 1 + afLength;
                if (afLength > 0) {
                    discontinuity = (p[5] & 0x80) != 0;
                    if ((p[5] & 0x10) && afLength >= 7 && pid == pcrPid) {
                        const uint64_t base = uint64_t(p[6]) << 25 | uint64_t(p[7]) << 17 |
                                              uint64_t(p[8]) << 9 | uint64_t(p[9]) << 1 |
                                              p[10] >> 7;
                        const uint64_t value = base * 300 + ((p[10] & 1) << 8 | p[11]);
                        if (lastPcr && value - *lastPcr > uint64_t(kPcrLimit))
                            pcr.Fault("PCR at " + At(index) + " comes " +
                                      Ms(int64_t(value - *lastPcr)) + " after the previous one");
                        const int64_t offsetNow = int64_t(value) - stamp;
                        if (!pcrOffset)
                            pcrOffset = offsetNow;
                        else
                            worstPcrDrift =
                                std::max(worstPcrDrift, std::abs(offsetNow - *pcrOffset));
                        lastPcr = value;
                    }
                }
            }
            if (offset > kTransportPacketSize) {
                pes.Fault(At(index) + ": the adaptation field runs past the packet");
                continue;
            }
            const bool payload = (control & 1) != 0;
            if (pid != pid::kNull) {
                PidState& state = pids[size_t(pid)];
                if (state.lastCounter >= 0 && !discontinuity) {
                    const int expected = payload ? (state.lastCounter + 1) & 15 : state.lastCounter;
                    if (counter != expected)
                        continuity.Fault("PID " + std::to_string(pid) + " at " + At(index) +
                                         ": counter " + std::to_string(counter) + ", " +
                                         std::to_string(expected) + " expected");
                }
                state.lastCounter = counter;
            }
            if (unitStart && pid == pid::kPat) {
                if (lastPat && time - *lastPat > uint64_t(kPsiLimit))
                    psi.Fault("PAT at " + At(index) + " comes " + Ms(int64_t(time - *lastPat)) +
                              " after the previous one");
                lastPat = time;
            } else if (unitStart && pid == pid::kPmt) {
                if (lastPmt && time - *lastPmt > uint64_t(kPsiLimit))
                    psi.Fault("PMT at " + At(index) + " comes " + Ms(int64_t(time - *lastPmt)) +
                              " after the previous one");
                lastPmt = time;
            } else if (unitStart && pid == pid::kSit) {
                if (lastSit && time - *lastSit > uint64_t(kSitLimit))
                    psi.Fault("SIT at " + At(index) + " comes " + Ms(int64_t(time - *lastSit)) +
                              " after the previous one");
                lastSit = time;
            }

            PidState& state = pids[size_t(pid)];
            if (!state.elementary || !payload)
                continue;
            const uint32_t bytes = uint32_t(kTransportPacketSize - offset);
            uint32_t pesHeader = 0;
            double dts = 0;
            bool auStart = false;
            if (unitStart) {
                if (state.inPes && state.pesLength != 0 && state.pesBytes != state.pesLength + 6)
                    pes.Fault("the PES packet of PID " + std::to_string(pid) + " at " +
                              At(state.pesStart) + " holds " + std::to_string(state.pesBytes) +
                              " bytes, its length says " + std::to_string(state.pesLength + 6));
                const uint8_t* data = p + offset;
                const int32_t used = header.Parse(data, bytes);
                const bool startCode = bytes >= 9 && data[0] == 0 && data[1] == 0 && data[2] == 1;
                if (used <= 0 || !startCode || (data[6] & 0xC0) != 0x80 ||
                    size_t(9) + data[8] > bytes) {
                    pes.Fault(At(index) + ": the PES header of PID " + std::to_string(pid) +
                              " is malformed");
                    state.inPes = false;
                } else {
                    const uint8_t flags = data[7] >> 6;
                    const bool audio = CategoryOf(state.type) == StreamCategory::audio;
                    if (!StreamIdFits(state.type, header.StreamID))
                        pes.Fault(At(index) + ": stream id " + std::to_string(header.StreamID) +
                                  " does not fit coding type " + std::to_string(state.type));
                    else if (flags < 2 || (audio && flags != 2))
                        pes.Fault(At(index) + ": PTS/DTS flags " + std::to_string(flags) +
                                  " on coding type " + std::to_string(state.type));
                    else if (flags == 3 && header.DTS > header.PTS)
                        pes.Fault(At(index) + ": DTS after PTS");
                    if (flags >= 2) {
                        auStart = true;
                        const uint64_t decode = flags == 3 ? header.DTS : header.PTS;
                        dts = double(int64_t(decode * 300) - clockOffset.value_or(0));
                        if (!havePtsAny || header.PTS < firstPtsAny)
                            firstPtsAny = header.PTS;
                        havePtsAny = true;
                        maxPtsAny = std::max(maxPtsAny, header.PTS);
                        if (IsVideoType(state.type)) {
                            minVideoPts = std::min(minVideoPts, uint64_t(header.PTS));
                            maxVideoPts = std::max(maxVideoPts, uint64_t(header.PTS));
                        }
                    }
                    pesHeader = uint32_t(std::min<int32_t>(used, int32_t(bytes)));
                    state.inPes = true;
                    state.pesLength = header.PES_PacketLength;
                    state.pesBytes = 0;
                    state.pesStart = index;
                    if (!state.decoder) {
                        int level = 0;
                        if (IsVideoType(state.type)) {
                            uint8_t profile = 0, lvl = 0;
                            ReadProfileAndLevel(state.type, data + used, bytes - size_t(used),
                                                &profile, &lvl);
                            level =
                                state.type == coding::kMpeg2Video && lvl ? profile << 4 | lvl : lvl;
                        }
                        if (auto description = DescriptionFor(state.type, level))
                            state.decoder =
                                std::make_unique<Decoder>(pid, state.type, std::move(description));
                    }
                }
                // EP map entries at this packet.
                if (auto it = epEntries.find(index); it != epEntries.end()) {
                    for (auto& [entry, point] : it->second) {
                        const bool pidOk = entry->StreamPid == pid;
                        const bool ptsOk =
                            auStart && (header.PTS >> 9) == (point->PresentationTime >> 9);
                        const bool ra = !IsVideoType(state.type) ||
                                        StartsRandomAccess(state.type, p + offset + pesHeader,
                                                           bytes - pesHeader);
                        if (!pidOk || !ptsOk || !ra)
                            epmap.Fault("the entry of PID " + std::to_string(entry->StreamPid) +
                                        " at " + At(index) +
                                        " does not start a random-access "
                                        "PES packet with its PTS");
                    }
                    epEntries.erase(it);
                }
            }
            if (state.inPes)
                state.pesBytes += bytes;
            if (state.decoder)
                state.decoder->Packet(index, double(time), bytes, pesHeader, auStart, dts, tstd);
        }
        if (got == 0 || got < block.size())
            break;
    }
    for (auto& state : pids) {
        if (state.decoder)
            state.decoder->Finish(tstd);
    }
    for (auto& [packet, entries] : epEntries) {
        for (auto& [entry, point] : entries)
            epmap.Fault("the entry of PID " + std::to_string(entry->StreamPid) + " at " +
                        At(packet) + " points at no PES start of its stream");
    }
    if (!lastPat)
        psi.Fault("the file holds no PAT");
    if (!lastSit)
        psi.Fault("the file holds no SIT");
    if (!lastPcr)
        pcr.Fault("the file holds no PCR on PID " + std::to_string(pcrPid));
    if (worstPcrDrift > 0)
        pcr.Fault("PCR minus arrival time varies by up to " + std::to_string(worstPcrDrift) +
                  " ticks");

    report.rules.push_back(units.Rule("units", "whole 6144-byte units"));
    report.rules.push_back(sync.Rule("sync", "every packet starts with 0x47"));
    report.rules.push_back(arrival.Rule(
        "arrival", "increasing, at least " + std::to_string(packetTime) + " ticks apart"));
    report.rules.push_back(psi.Rule("psi", "PAT and PMT within 100 ms, SIT within 1 s"));
    report.rules.push_back(pcr.Rule("pcr", "within 100 ms, constant offset to arrival"));
    report.rules.push_back(continuity.Rule("continuity", "every PID counts on"));
    report.rules.push_back(pes.Rule("pes", "headers well formed"));
    report.rules.push_back(tstd.Rule("tstd", "no buffer overflows, every AU on time"));

    if (clip) {
        Verdict packets, streams, times;
        if (clip->ClipInfo.NumberOfSourcePackets != report.packets)
            packets.Fault("the clip information counts " +
                          std::to_string(clip->ClipInfo.NumberOfSourcePackets) +
                          " source packets, the file holds " + std::to_string(report.packets));
        std::set<std::pair<int, int>> inClip, inStream;
        for (const STREAM_INFO* info : clip->ProgramInfo.Streams.Records())
            inClip.insert({info->StreamPID, info->StreamCodingType});
        if (pmt) {
            for (const ESI* esi : pmt->Streams.Children())
                inStream.insert({esi->ElementaryPid, esi->StreamType});
        }
        if (inClip != inStream)
            streams.Fault(
                "the streams of the clip information (PID and coding type) differ from "
                "the PMT's");
        const STC_INFO* stc = clip->SequenceInfo.StcSequences.GetAt(0);
        if (stc == nullptr) {
            times.Fault("the clip information has no STC sequence");
        } else {
            double frame = 0;
            for (const STREAM_INFO* info : clip->ProgramInfo.Streams.Records()) {
                if (IsVideoType(info->StreamCodingType) && frame == 0)
                    frame = FrameDurationMs(info->FrameRate) * 90.0;
            }
            const bool video = minVideoPts != UINT64_MAX;
            const double tolerance = std::max(frame, 2.0) + 2;
            const double start = double(video ? minVideoPts : firstPtsAny);
            const double end = double(video ? maxVideoPts : maxPtsAny) + frame;
            if (std::fabs(double(stc->StartPTS) * 2 - start) > tolerance)
                times.Fault("presentation start " + std::to_string(uint64_t(stc->StartPTS) * 2) +
                            ", the stream starts at " + std::to_string(uint64_t(start)));
            if (std::fabs(double(stc->EndPTS) * 2 - end) > tolerance)
                times.Fault("presentation end " + std::to_string(uint64_t(stc->EndPTS) * 2) +
                            ", the stream ends at " + std::to_string(uint64_t(end)));
        }
        report.rules.push_back(packets.Rule("clpi-packets", "the packet count agrees"));
        report.rules.push_back(streams.Rule("clpi-streams", "PIDs and coding types agree"));
        report.rules.push_back(times.Rule("clpi-times", "start and end within one frame"));
        report.rules.push_back(epmap.Rule("clpi-epmap",
                                          "every entry starts a random-access PES "
                                          "packet with its PTS"));
    }
    return report;
}

}  // namespace vx
