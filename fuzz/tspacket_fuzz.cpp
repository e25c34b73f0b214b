// Transport packets: the input is cut into 188-byte packets (the last one may be shorter) that
// one packet reader parses in order, so PMT sections can span packets. Every packet that parses
// is written back; that image must parse and write back to the same bytes. Every PMT section
// that completes is rebuilt, parsed and rebuilt again to the same bytes, and the rebuilt section
// spread over packets must be gathered back to the same table.

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "transport/psi.h"
#include "transport/ts_packet.h"

namespace {

using vx::kTransportPacketSize;
using vx::PMT;
using vx::TransportPacket;

void CheckRewrite(const TransportPacket& parsed) {
    TransportPacket copy;
    TransportPacket::Copy(parsed, copy);
    uint8_t first[kTransportPacketSize];
    std::memset(first, 0xFF, sizeof first);
    int32_t written = copy.Write(first);
    if (written <= 0 || size_t(written) > kTransportPacketSize)
        std::abort();

    TransportPacket again;
    if (again.Parse(first, sizeof first) <= 0)
        std::abort();
    uint8_t second[kTransportPacketSize];
    std::memset(second, 0xFF, sizeof second);
    if (again.Write(second) != written || std::memcmp(first, second, sizeof first) != 0)
        std::abort();
}

void CheckPmt(const PMT& parsed) {
    PMT copy;
    PMT::Copy(parsed, copy);
    std::vector<uint8_t> section;
    if (copy.Build(&section) == 0)
        return;  // the rebuilt table would be longer than section_length can say

    PMT again;
    if (again.Parse(section.data(), section.size()) != int32_t(section.size()))
        std::abort();
    std::vector<uint8_t> rebuilt;
    again.Build(&rebuilt);
    if (rebuilt != section)
        std::abort();

    auto writer = TransportPacket::MakePmtPacket();
    TransportPacket reader;
    size_t done = 0;
    for (bool first = true; done < section.size(); first = false) {
        uint8_t packet[kTransportPacketSize];
        std::memset(packet, 0xFF, sizeof packet);
        done += size_t(writer->WriteSectionPacket(packet, section.data() + done,
                                                  section.size() - done, first));
        reader.Parse(packet, sizeof packet);
        if (reader.PmtComplete() != (done == section.size()))
            std::abort();
    }
    std::vector<uint8_t> gathered;
    reader.PMT->Build(&gathered);
    if (gathered != section)
        std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    TransportPacket reader;
    for (size_t at = 0; at < size; at += kTransportPacketSize) {
        size_t n = size - at < kTransportPacketSize ? size - at : kTransportPacketSize;
        int32_t offset = reader.Parse(data + at, n);
        if (offset <= 0)
            continue;
        if (size_t(offset) > n)
            std::abort();
        CheckRewrite(reader);
        if (reader.PmtComplete())
            CheckPmt(*reader.PMT);
    }
    return 0;
}
