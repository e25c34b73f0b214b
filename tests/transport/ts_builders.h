#pragma once
// Builders of small transport stream pieces for the transport tests.

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "foundation/bytes.h"
#include "foundation/file.h"
#include "transport/ts_packet.h"

namespace vx::test {

// A 188-byte transport packet: header, then body, then 0xFF.
inline std::vector<uint8_t> TsPacket(int pid, bool unitStart, const std::vector<uint8_t>& body,
                                     uint8_t control = 1, uint8_t counter = 0) {
    std::vector<uint8_t> p(kTransportPacketSize, 0xFF);
    p[0] = 0x47;
    p[1] = uint8_t((unitStart ? 0x40 : 0) | (pid >> 8 & 0x1F));
    p[2] = uint8_t(pid);
    p[3] = uint8_t(control << 4 | (counter & 0x0F));
    if (!body.empty())
        std::memcpy(p.data() + 4, body.data(), std::min(body.size(), size_t(184)));
    return p;
}

// A 192-byte source packet around a transport packet.
inline std::vector<uint8_t> SourcePacket(uint32_t arrival, const std::vector<uint8_t>& ts) {
    std::vector<uint8_t> p(4);
    WriteBE32(p.data(), arrival & 0x3FFFFFFF);
    p.insert(p.end(), ts.begin(), ts.end());
    p.resize(kSourcePacketSize, 0xFF);
    return p;
}

// The bytes of a PES header with a PTS, and a DTS when dts is not 0.
inline std::vector<uint8_t> PesHeader(uint8_t streamId, uint64_t pts, uint64_t dts = 0) {
    PES_Packet pes;
    pes.StreamID = streamId;
    pes.PTS_DTS_Flag = dts ? 3 : 2;
    pes.PTS = pts;
    pes.DTS = dts;
    ByteWriter w;
    pes.Write(w);
    return w.Take();
}

// A source packet that starts a PES packet on an elementary-stream PID.
inline std::vector<uint8_t> PesSourcePacket(uint32_t arrival, int pid, uint64_t pts,
                                            uint64_t dts = 0) {
    return SourcePacket(arrival, TsPacket(pid, true, PesHeader(0xE0, pts, dts)));
}

inline void Append(std::vector<uint8_t>& file, const std::vector<uint8_t>& bytes) {
    file.insert(file.end(), bytes.begin(), bytes.end());
}

// The PMT section spread over source packets the way a multiplexer writes it.
inline std::vector<uint8_t> PmtSourcePackets(PMT& pmt, uint32_t arrival = 0) {
    std::vector<uint8_t> section;
    pmt.Build(&section);
    auto packet = TransportPacket::MakePmtPacket();
    std::vector<uint8_t> out;
    size_t done = 0;
    bool first = true;
    while (done < section.size() || first) {
        std::vector<uint8_t> ts(kTransportPacketSize, 0xFF);
        done += size_t(packet->WriteSectionPacket(ts.data(), section.data() + done,
                                                  section.size() - done, first));
        first = false;
        Append(out, SourcePacket(arrival, ts));
    }
    return out;
}

}  // namespace vx::test
