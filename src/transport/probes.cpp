#include "transport/probes.h"

#include <algorithm>

#include "transport/pid.h"
#include "transport/ts_packet.h"

namespace vx {

namespace {

// Puts the file position back when the probe ends, however it ends.
class PositionGuard {
public:
    explicit PositionGuard(CFile& file) : file_(file), position_(file.GetPosition()) {}
    ~PositionGuard() {
        try {
            file_.Seek(int64_t(position_), CFile::begin);
        } catch (const FileError&) {
            // The probe's own error (if any) is the one the caller sees.
        }
    }
    PositionGuard(const PositionGuard&) = delete;
    PositionGuard& operator=(const PositionGuard&) = delete;

private:
    CFile& file_;
    uint64_t position_;
};

// Calls visit(sourcePacket) for each whole source packet between start and end, reading
// blockSize bytes (a multiple of 192) at a time, until visit returns false.
template <class Visit>
void ForEachSourcePacket(CFile& file, uint64_t start, uint64_t end, size_t blockSize, Visit visit) {
    std::vector<uint8_t> block(blockSize);
    file.Seek(int64_t(start), CFile::begin);
    uint64_t position = start;
    while (position + kSourcePacketSize <= end) {
        size_t want = size_t(std::min<uint64_t>(blockSize, end - position));
        want -= want % kSourcePacketSize;
        size_t got = file.Read(block.data(), want);
        size_t whole = got - got % kSourcePacketSize;
        for (size_t at = 0; at < whole; at += kSourcePacketSize)
            if (!visit(block.data() + at))
                return;
        position += got;
        if (got < want)
            return;  // end of file
    }
}

bool HasSync(const uint8_t* sourcePacket) {
    return sourcePacket[kSourcePacketHeaderSize] == kSyncByte;
}

int PacketPid(const uint8_t* sourcePacket) {
    return ReadBE16(sourcePacket + kSourcePacketHeaderSize + 1) & 0x1FFF;
}

bool StartsUnit(const uint8_t* sourcePacket) {
    return (sourcePacket[kSourcePacketHeaderSize + 1] & 0x40) != 0;
}

uint32_t ArrivalTime(const uint8_t* sourcePacket) {
    return ReadBE32(sourcePacket) & 0x3FFFFFFF;
}

// The PES header of an elementary-stream packet that begins a PES packet with a PTS, or null.
const PES_Packet* PesWithPts(TransportPacket& packet, const uint8_t* sourcePacket) {
    if (!HasSync(sourcePacket) || !IsElementaryPid(PacketPid(sourcePacket)) ||
        !StartsUnit(sourcePacket))
        return nullptr;
    packet.Parse(sourcePacket + kSourcePacketHeaderSize, kTransportPacketSize);
    const PES_Packet* pes = packet.PES_Packet.get();
    return pes != nullptr && pes->HasPts() ? pes : nullptr;
}

std::vector<int> StreamPids(const PMT& pmt) {
    std::vector<int> pids;
    for (const ESI* esi : pmt.Streams.Children()) pids.push_back(esi->ElementaryPid);
    return pids;
}

}  // namespace

std::unique_ptr<PMT> ReadPmt(CFile& file) {
    PositionGuard guard(file);
    TransportPacket packet;
    std::unique_ptr<PMT> result;
    ForEachSourcePacket(file, 0, file.GetLength(), kProbeBlockSize, [&](const uint8_t* p) {
        if (!HasSync(p) || PacketPid(p) != pid::kPmt)
            return true;
        packet.Parse(p + kSourcePacketHeaderSize, kTransportPacketSize);
        if (!packet.PmtComplete())
            return true;
        result = std::move(packet.PMT);
        return false;
    });
    return result;
}

std::optional<PesTimeStamps> FirstTimeStamps(CFile& file) {
    PositionGuard guard(file);
    TransportPacket packet;
    std::optional<PesTimeStamps> result;
    ForEachSourcePacket(file, 0, file.GetLength(), kProbeBlockSize, [&](const uint8_t* p) {
        const PES_Packet* pes = PesWithPts(packet, p);
        if (pes == nullptr)
            return true;
        result = PesTimeStamps{pes->PTS, pes->PTS_DTS_Flag == 3 ? pes->DTS : 0};
        return false;
    });
    return result;
}

uint64_t TransportRate(CFile& file) {
    PositionGuard guard(file);
    // A plain flag rather than std::optional: GCC's Release build warns (falsely) that an
    // optional captured by the lambda may be read uninitialised.
    bool havePrevious = false;
    uint32_t previous = 0;
    uint32_t ticks = 0;
    uint64_t end = std::min<uint64_t>(file.GetLength(), kProbeBlockSize);
    ForEachSourcePacket(file, 0, end, kProbeBlockSize, [&](const uint8_t* p) {
        if (!HasSync(p)) {
            havePrevious = false;
            return true;
        }
        uint32_t arrival = ArrivalTime(p);
        if (havePrevious && arrival > previous) {
            ticks = arrival - previous;
            return false;
        }
        previous = arrival;
        havePrevious = true;
        return true;
    });
    if (ticks == 0)
        return kDefaultTransportRate;
    return uint64_t(kTransportPacketSize * 8) * 27000000 / ticks;
}

uint8_t ApplicationType(const std::vector<int>& pids, uint64_t rate) {
    bool present[7] = {};
    for (int value : pids) {
        int category = ClassifyPid(value);
        if (category >= 0)
            present[category] = true;
    }
    if (present[kPidVideo])
        return 1;
    if (present[kPidTextSubtitle])
        return 6;
    if (!present[kPidPg] && !present[kPidSecondaryAudio] && !present[kPidSecondaryVideo]) {
        bool audio = present[kPidPrimaryAudio];
        bool ig = present[kPidIg];
        bool slow = rate < 28000000;
        if (!audio && !ig)
            return 0;
        if (ig && !audio)
            return slow ? 7 : 5;
        if (audio && !ig)
            return slow ? 4 : 7;
    }
    return 7;
}

std::optional<uint64_t> LastPresentationTime(CFile& file) {
    PositionGuard guard(file);
    uint8_t applicationType = 0;
    if (std::unique_ptr<PMT> pmt = ReadPmt(file))
        applicationType = ApplicationType(StreamPids(*pmt), TransportRate(file));

    struct PidTimes {
        int pid;
        uint64_t largestPts;
        uint64_t firstTime;
        int64_t step;
        int headers;
    };
    std::vector<PidTimes> pids;  // in the order of their first header
    uint64_t length = file.GetLength();
    uint64_t start = length > kTailSize ? length - kTailSize : 0;
    start = (start + kSourcePacketSize - 1) / kSourcePacketSize * kSourcePacketSize;
    TransportPacket packet;
    ForEachSourcePacket(file, start, length, kSourcePacketSize * 1024, [&](const uint8_t* p) {
        if (!HasSync(p))
            return true;
        int value = PacketPid(p);
        if (value == pid::kNull)
            return false;
        int category = ClassifyPid(value);
        if (applicationType == 1 && category != kPidVideo)
            return true;
        const PES_Packet* pes = PesWithPts(packet, p);
        if (pes == nullptr)
            return true;
        auto it = std::find_if(pids.begin(), pids.end(),
                               [value](const PidTimes& t) { return t.pid == value; });
        if (it == pids.end()) {
            pids.push_back({value, pes->PTS, pes->DecodeTime(), 0, 1});
            return true;
        }
        it->largestPts = std::max(it->largestPts, pes->PTS);
        bool stepped = category == kPidVideo || category == kPidPrimaryAudio ||
                       category == kPidSecondaryAudio || category == kPidSecondaryVideo;
        if (it->headers == 1 && stepped)
            it->step = int64_t(pes->DecodeTime()) - int64_t(it->firstTime);
        ++it->headers;
        return true;
    });

    std::optional<uint64_t> result;
    for (const PidTimes& t : pids) {
        int64_t end = std::max<int64_t>(int64_t(t.largestPts) + t.step, 0);
        if (!result || uint64_t(end) > *result)
            result = uint64_t(end);
        if (ClassifyPid(t.pid) == kPidVideo)
            break;
    }
    return result;
}

Json DescribeTransportStream(CFile& file) {
    Json j;
    uint64_t length = file.GetLength();
    j["SourcePackets"] = length / kSourcePacketSize;
    j["WholeAlignedUnits"] = length % kAlignedUnitSize == 0;
    {
        PositionGuard guard(file);
        TransportPacket packet;
        ForEachSourcePacket(file, 0, length, kProbeBlockSize, [&](const uint8_t* p) {
            if (!HasSync(p))
                return true;
            int value = PacketPid(p);
            bool wanted = (value == pid::kPat && !j.contains("PAT")) ||
                          (value == pid::kSit && !j.contains("SIT"));
            if (wanted) {
                packet.Parse(p + kSourcePacketHeaderSize, kTransportPacketSize);
                if (packet.PAT)
                    j["PAT"] = packet.PAT->ToJson();
                if (packet.SIT)
                    j["SIT"] = packet.SIT->ToJson();
            }
            return !(j.contains("PAT") && j.contains("SIT"));
        });
    }
    std::unique_ptr<PMT> pmt = ReadPmt(file);
    if (pmt)
        j["PMT"] = pmt->ToJson();
    if (auto first = FirstTimeStamps(file)) {
        j["FirstPts"] = first->PTS;
        j["FirstDts"] = first->DTS;
    }
    uint64_t rate = TransportRate(file);
    j["TransportRate"] = rate;
    if (pmt)
        j["ApplicationType"] = ApplicationType(StreamPids(*pmt), rate);
    if (auto last = LastPresentationTime(file))
        j["LastPresentationTime"] = *last;
    return j;
}

}  // namespace vx
