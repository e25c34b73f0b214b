#pragma once
// Small readers of a transport stream file (.m2ts) that answer one question each: its program
// map table, its first time stamps, its transport rate, the clip application type its streams
// give, and the end of its presentation. Each works from the file positions it names and puts
// the file position back before it returns (also when a read raises FileError, which it passes
// on to the caller that opened the file).
//
// The file is read as 192-byte source packets; a packet counts only when the byte after its
// 4-byte header is the sync byte 0x47. A trailing piece shorter than a source packet is ignored.

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "bdmv/json.h"
#include "foundation/file.h"
#include "transport/psi.h"

namespace vx {

// Bytes the probes read at a time from the start of a file: 100 source packets.
inline constexpr size_t kProbeBlockSize = 19200;
// The end of a file that LastPresentationTime examines.
inline constexpr uint64_t kTailSize = 0x1800000;
// The rate TransportRate gives when the arrival time stamps do not tell it (see there).
inline constexpr uint64_t kDefaultTransportRate = 48000000;

// The first complete PMT section on PID 0x0100, read from the start of the file; null when the
// file holds none.
std::unique_ptr<PMT> ReadPmt(CFile& file);

struct PesTimeStamps {
    uint64_t PTS = 0;
    uint64_t DTS = 0;  // 0 when the header carries none
};

// The time stamps of the first PES header with a PTS on an elementary-stream PID, from the
// start of the file; none when there is no such header.
std::optional<PesTimeStamps> FirstTimeStamps(CFile& file);

// Bits per second from the first 19,200 bytes: the first two neighbouring source packets whose
// arrival time stamps increase give d ticks of the 27 MHz clock for one 188-byte packet, and the
// rate is 1504 x 27,000,000 / d (truncated). When no neighbouring pair increases (fewer than
// two packets, equal stamps, or only a wrap of the 30-bit clock) the stamps say nothing about
// the rate and kDefaultTransportRate, the highest rate of a BDMV transport stream, is given.
uint64_t TransportRate(CFile& file);

// The clip application type (as in the clip information) of a stream file holding these PIDs:
// 1 with primary video; else 6 with a text subtitle; else, when there is no PG, secondary audio
// or secondary video: 0 with neither audio nor IG, for IG alone 7 below 28,000,000 bit/s and 5
// otherwise, for audio alone 4 below 28,000,000 bit/s and 7 otherwise; 7 for every other mix.
uint8_t ApplicationType(const std::vector<int>& pids, uint64_t rate);

// The presentation end of the file (90 kHz): over the last kTailSize bytes (the whole file when
// it is shorter; the start is rounded up to a whole source packet) up to the first null packet
// (PID 0x1FFF), per elementary-stream PID that begins a PES packet with a PTS: the largest PTS
// plus, for video and audio PIDs, the step between its first two headers' times (DTS when
// present, else PTS). The result is the largest of these over the PIDs in the order of their
// first header, up to and including the first video PID. When the file's PMT gives application
// type 1 only video PIDs count. None when no PID qualified.
std::optional<uint64_t> LastPresentationTime(CFile& file);

// What `vexilla inspect` shows for a stream file: packet count, the first PAT, PMT and SIT, the
// first time stamps, the transport rate, the application type and the presentation end.
Json DescribeTransportStream(CFile& file);

}  // namespace vx
