#include "conformance/bluray_harness.h"

#include <libbluray/log_control.h>

#include <mutex>

#include "transport/ts_packet.h"

namespace vx::test {

namespace {
std::mutex logMutex;
std::vector<std::string> logLines;

void OnLog(const char* message) {
    std::lock_guard<std::mutex> lock(logMutex);
    logLines.emplace_back(message);
}
}  // namespace

Bluray OpenDisc(const std::string& folder) {
    return Bluray(bd_open(folder.c_str(), nullptr));
}

BlurayLog::BlurayLog(uint32_t mask) {
    {
        std::lock_guard<std::mutex> lock(logMutex);
        logLines.clear();
    }
    bd_set_debug_handler(&OnLog);
    bd_set_debug_mask(mask);
}

BlurayLog::~BlurayLog() {
    bd_set_debug_handler(nullptr);
}

const std::vector<std::string>& BlurayLog::Lines() const {
    return logLines;
}

int64_t FirstPts(const uint8_t* data, size_t size, int pid) {
    for (size_t at = 0; at + kSourcePacketSize <= size; at += kSourcePacketSize) {
        TransportPacket packet;
        const uint8_t* p = data + at + kSourcePacketHeaderSize;
        if (p[0] != kSyncByte || ((p[1] & 0x1F) << 8 | p[2]) != pid || !(p[1] & 0x40))
            continue;
        if (packet.Parse(p, kTransportPacketSize) > 0 && packet.PES_Packet &&
            packet.PES_Packet->HasPts())
            return int64_t(packet.PES_Packet->PTS);
    }
    return -1;
}

}  // namespace vx::test
