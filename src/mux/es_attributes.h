#pragma once
// What a stream's own bytes say about it, for streams whose clip information is missing: the
// video format, frame rate and aspect ratio of AVC and MPEG-2 video, the channels and rate of
// AC-3 and LPCM audio; and the mapping between clip-information attributes and PMT entries.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bdmv/clpi.h"
#include "transport/psi.h"

namespace vx {

// The duration of one frame of a frame-rate code (1 = 24000/1001 ... 7 = 60000/1001) in
// milliseconds and in 27 MHz ticks; 0 for a code without a rate.
double FrameDurationMs(uint8_t frameRateCode);
uint64_t FrameTicks(uint8_t frameRateCode);

// The elementary-stream bytes of an AU held as 192-byte source packets: the payloads of its
// transport packets behind the PES header of the first, at most limit bytes.
std::vector<uint8_t> AuPayload(const uint8_t* packets, size_t size, size_t limit = 65536);

// Profile and level of a video stream from the bytes of its first AU: MPEG-2 from the sequence
// extension, AVC from the sequence parameter set (profile_idc, level_idc), VC-1 from the
// sequence header. Leaves both unchanged when the bytes do not hold them.
void ReadProfileAndLevel(uint8_t codingType, const uint8_t* data, size_t size, uint8_t* profile,
                         uint8_t* level);

// Whether the first bytes of a video AU start a random-access point: a sequence header (MPEG-2
// 00 00 01 B3, VC-1 00 00 01 0F), or for AVC an access-unit delimiter and a sequence parameter
// set before the first coded slice.
bool StartsRandomAccess(uint8_t codingType, const uint8_t* data, size_t size);

struct VideoAttributes {
    uint8_t VideoFormat = 0;
    uint8_t FrameRate = 0;
    uint8_t AspectRatio = 0;
};
// From an AVC sequence parameter set (with its timing and aspect information) or an MPEG-2
// sequence header found in data; false when none is found or it names no disc format.
bool ReadVideoAttributes(uint8_t codingType, const uint8_t* data, size_t size,
                         VideoAttributes* attributes);

// From the first AC-3 sync frame in data: presentation type and sampling-frequency code.
bool ReadAc3Attributes(const uint8_t* data, size_t size, uint8_t* presentationType,
                       uint8_t* samplingFrequency);
// From the 4-byte audio data header of a disc LPCM packet.
bool ReadLpcmAttributes(const uint8_t* data, size_t size, uint8_t* presentationType,
                        uint8_t* samplingFrequency);

// "1080p 23.976 16:9", "stereo 48kHz", "eng" ...: what the clip information says of a stream.
std::string StreamAttributeText(const STREAM_INFO& info);

// Clip-information attributes from a PMT entry's descriptors (registration descriptors, the
// AC-3 descriptor, the language descriptor); fields they do not give stay 0.
void AttributesFromEsi(const ESI& esi, STREAM_INFO& info);
// A PMT entry for a stream known only by its clip-information attributes.
void FillEsiFromAttributes(const STREAM_INFO& info, ESI& esi);

}  // namespace vx
