#pragma once
// The AC-3 audio descriptor of an AC-3 family elementary stream (tag 0x81 in the program map
// table), together with the frame parameters the AC-3 stream analysis finds (the "stream part").
// The same record describes an analysed AC-3 file and the descriptor of a stream read from a
// transport stream.
//
// Descriptor layout (after the tag and length bytes):
//     byte 2   sample_rate_code (3), bsid (5)
//     byte 3   bit_rate_code (6), surround_mode (2)
//     byte 4   bsmod (3), num_channels (4), full_svc (1)
//     byte 5   langcod
// and only for 1+1 (dual mono, num_channels 0):
//     langcod2; mainid (3) + priority (2) + '111' when bsmod < 2, else asvcflags (8);
//     textlen (7) + text_code (1) and textlen text bytes;
//     language_flag (1) + language_flag_2 (1) + 6 bits '1';
//     language (3 bytes) when its flag is set; language_2 (3 bytes) when its flag is set;
//     additional_info bytes up to the end of the descriptor.

#include <array>
#include <cstdint>
#include <vector>

#include "bdmv/json.h"
#include "foundation/bytes.h"

namespace vx {

struct AC3_AUDIO_DESCRIPTOR {
    static constexpr uint8_t kTag = 0x81;
    static constexpr size_t kMaxText = 127;  // textlen is 7 bits

    uint8_t DescriptorTag = kTag;
    uint8_t DescriptorLength = 4;  // as last read or written

    uint8_t SampleRateCode = 0;  // fscod: 0 = 48 kHz
    uint8_t Bsid = 8;
    uint8_t FrameSizeCode = 0;  // frmsizecod of the AC-3 frame header
    uint8_t BitRateCode = 0;    // frmsizecod / 2
    uint8_t SurroundMode = 0;   // dsurmod
    uint8_t BsMode = 0;         // bsmod
    uint8_t Acmod = 2;          // audio coding mode of the frame header
    uint8_t NumChannels = 2;    // descriptor's channel code; 0 is 1+1 (dual mono)
    uint8_t FullSVC = 1;
    uint8_t LangCode = 0;
    // Present in the descriptor only for dual mono.
    uint8_t LangCode2 = 0;
    uint8_t MainID = 0;     // with BsMode < 2
    uint8_t Priority = 0;   // with BsMode < 2
    uint8_t AsvcFlags = 0;  // with BsMode >= 2
    uint8_t TextLen = 0;    // as last read or written
    uint8_t TextCode = 0;
    std::vector<uint8_t> Text;  // at most kMaxText bytes are written
    uint8_t LanguageFlag = 0;
    uint8_t LanguageFlag2 = 0;
    std::array<char, 3> Language{'e', 'n', 'g'};
    std::array<char, 3> Language2{'e', 'n', 'g'};
    std::vector<uint8_t> AdditionInfo;  // written as far as the descriptor length allows

    // Stream part: what the frame headers of the analysed stream say (not in the descriptor).
    uint8_t Eac3Present = 0;
    uint8_t Ac3CorePresent = 1;
    uint16_t Eac3FrameWords = 0;  // E-AC-3 frame size in 16-bit words
    uint8_t Eac3StreamType = 0;   // strmtyp
    uint8_t Eac3SubstreamId = 0;  // substreamid
    uint8_t Eac3SampleRateCode = 0;
    uint8_t Eac3Acmod = 0;
    uint8_t Eac3Reserved = 0;
    uint16_t Eac3ChannelMap = 0;  // chanmap
    uint32_t AuFrameSize = 0;     // bytes of one access unit (0x84: an AC-3 + E-AC-3 pair)

    // Reads a descriptor from its tag byte on, never past size. Returns the bytes of the
    // descriptor (2 + its length), or 0 when the tag is not 0x81, the stored length runs past
    // size, or the length does not hold bytes 2-4. Only the descriptor fields change.
    int32_t Parse(const uint8_t* data, size_t size);
    // Appends the descriptor (tag, length, fields) and stores the written length and text
    // length in the record.
    void Write(ByteWriter& writer);
    // The descriptor part, the way the program map table shows it.
    Json ToJson() const;
};

}  // namespace vx
