#pragma once
// AC-3 (ATSC A/52) and E-AC-3 (Dolby Digital Plus) sync frames as far as a Blu-ray audio stream
// is checked: the frame header fields, the frame-size table, the channels of each audio coding
// mode and the presentation type of a stream.
//
// Both frame kinds begin with the sync word 0x0B77 and keep the bitstream id at the same place;
// bsid 6 and 8 are AC-3 (6: the alternate bit stream syntax), bsid 16 is E-AC-3.

#include <cstdint>

#include "foundation/bit_reader.h"

namespace vx {

inline constexpr uint16_t kAc3SyncWord = 0x0B77;
// Every frame allowed on a disc carries six audio blocks of 256 samples at 48 kHz.
inline constexpr uint32_t kAc3SamplesPerFrame = 1536;
inline constexpr double kAc3FrameDurationMs = 32.0;

struct Ac3FrameHeader {
    bool isEac3 = false;  // bsid 16
    uint8_t fscod = 0;
    uint8_t bsid = 0;
    uint8_t acmod = 0;
    uint8_t lfeon = 0;
    // AC-3 only.
    uint8_t frmsizecod = 0;
    uint8_t bsmod = 0;
    uint8_t dsurmod = 0;  // 2/0 mode only, else 0
    // E-AC-3 only.
    uint8_t strmtyp = 0;      // 0 independent, 1 dependent, 2 independent converted from AC-3
    uint8_t substreamid = 0;  // 0..7
    uint16_t frmsiz = 0;      // frame size in 16-bit words, minus one
    uint8_t numblkscod = 0;   // 3: six blocks
    uint8_t chanmape = 0;     // dependent substreams: custom channel map present
    uint16_t chanmap = 0;

    // The whole frame, sync word included.
    uint32_t FrameBytes() const;
    uint32_t FrameWords() const { return FrameBytes() / 2; }
};

// The nominal bit rate of an AC-3 frame size code (0..37) in kbit/s; 0 outside the table.
uint32_t Ac3BitRateKbps(uint8_t frmsizecod);
// The size in bytes of an AC-3 frame at 48 kHz: two 16-bit words per kbit/s; 0 outside the table.
uint32_t Ac3FrameBytes48k(uint8_t frmsizecod);
// Full-bandwidth channels of an audio coding mode: 1+1 and 2/0 count 2, 1/0 counts 1, 3/0 and
// 2/1 count 3, 3/1 and 2/2 count 4, 3/2 counts 5 (the LFE channel is not counted).
int Ac3ChannelsOfAcmod(uint8_t acmod);

// The audio presentation type of the clip information and playlists (1 mono, 3 stereo,
// 6 multi-channel, 12 stereo core with a multi-channel extension, 0 none of these) of a stream
// with an AC-3 core and/or an E-AC-3 part of the given coding modes.
uint8_t Ac3PresentationType(bool hasCore, uint8_t coreAcmod, bool hasEac3, uint8_t eac3Acmod);

// Reads the header of the frame that starts at the reader's position and checks it against
// what a Blu-ray disc allows. Returns 0, or a parse result code: 2 no sync word, 6 the file ends
// inside the header, 15 a bitstream id other than 6, 8 or 16, 17 not 48 kHz, 18 an AC-3 bit rate
// outside 64..640 kbit/s, 20 dual mono (1+1), 21 an E-AC-3 frame of fewer than six blocks. The
// reader is left inside the frame, behind the last field read.
int ReadAc3FrameHeader(CBitReader& reader, Ac3FrameHeader& header);

}  // namespace vx
