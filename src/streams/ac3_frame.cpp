#include "streams/ac3_frame.h"

#include "streams/parser_base.h"

namespace vx {

namespace {

// A/52 table 5.18: the nominal bit rate of each pair of frame size codes (the two codes of a
// pair differ only at 44.1 kHz).
constexpr uint32_t kBitRatesKbps[19] = {32,  40,  48,  56,  64,  80,  96,  112, 128, 160,
                                        192, 224, 256, 320, 384, 448, 512, 576, 640};

constexpr int kChannelsOfAcmod[8] = {2, 1, 2, 3, 3, 4, 4, 5};

bool Read(CBitReader& reader, int bits, uint32_t& value) {
    return reader.ReadBits(bits, value);
}

int ReadAc3Bsi(CBitReader& reader, uint16_t word, Ac3FrameHeader& h) {
    h.frmsizecod = uint8_t((word >> 8) & 0x3F);
    h.bsmod = uint8_t(word & 0x07);
    // Codes 8..37: 64 to 640 kbit/s, the rates a Blu-ray AC-3 stream may use.
    if (h.frmsizecod < 8 || h.frmsizecod > 37)
        return kWrongBitrate;
    uint32_t v = 0;
    if (!Read(reader, 3, v))
        return kReadFileError;
    h.acmod = uint8_t(v);
    if (h.acmod == 0)
        return kWrongAudioCodingMode;
    // cmixlev exists when there are three front channels, surmixlev when there is a surround
    // channel, dsurmod (Dolby Surround encoded) only in 2/0 mode.
    if ((h.acmod & 1) && h.acmod != 1 && !reader.SkipBits(2))
        return kReadFileError;
    if ((h.acmod & 4) && !reader.SkipBits(2))
        return kReadFileError;
    if (h.acmod == 2) {
        if (!Read(reader, 2, v))
            return kReadFileError;
        h.dsurmod = uint8_t(v);
    }
    if (!Read(reader, 1, v))
        return kReadFileError;
    h.lfeon = uint8_t(v);
    return kParseOk;
}

int ReadEac3Bsi(CBitReader& reader, uint16_t firstWord, uint16_t word, Ac3FrameHeader& h) {
    h.strmtyp = uint8_t(firstWord >> 14);
    h.substreamid = uint8_t((firstWord >> 11) & 0x07);
    h.frmsiz = uint16_t(firstWord & 0x07FF);
    h.numblkscod = uint8_t((word >> 12) & 0x03);
    h.acmod = uint8_t((word >> 9) & 0x07);
    h.lfeon = uint8_t((word >> 8) & 0x01);
    if (h.acmod == 0)
        return kWrongAudioCodingMode;
    if (h.numblkscod != 3)
        return kWrongAudioBlocksCount;
    // The word ended with the first 3 of the 5 dialnorm bits; then compre and compr.
    uint32_t v = 0;
    if (!reader.SkipBits(2) || !Read(reader, 1, v))
        return kReadFileError;
    if (v != 0 && !reader.SkipBits(8))
        return kReadFileError;
    // Only a dependent substream can carry a custom channel map.
    if (h.strmtyp == 1) {
        if (!Read(reader, 1, v))
            return kReadFileError;
        h.chanmape = uint8_t(v);
        if (h.chanmape) {
            if (!Read(reader, 16, v))
                return kReadFileError;
            h.chanmap = uint16_t(v);
        }
    }
    return kParseOk;
}

}  // namespace

uint32_t Ac3FrameHeader::FrameBytes() const {
    return isEac3 ? (uint32_t(frmsiz) + 1) * 2 : Ac3FrameBytes48k(frmsizecod);
}

uint32_t Ac3BitRateKbps(uint8_t frmsizecod) {
    return frmsizecod < 38 ? kBitRatesKbps[frmsizecod / 2] : 0;
}

uint32_t Ac3FrameBytes48k(uint8_t frmsizecod) {
    // 1536 samples at 48 kHz last 32 ms: kbit/s x 32 bits = 2 x kbit/s words.
    return Ac3BitRateKbps(frmsizecod) * 4;
}

int Ac3ChannelsOfAcmod(uint8_t acmod) {
    return kChannelsOfAcmod[acmod & 0x07];
}

uint8_t Ac3PresentationType(bool hasCore, uint8_t coreAcmod, bool hasEac3, uint8_t eac3Acmod) {
    if (!hasCore && !hasEac3)
        return 0;
    int c = Ac3ChannelsOfAcmod(hasCore ? coreAcmod : eac3Acmod);
    int d = hasCore && hasEac3 ? Ac3ChannelsOfAcmod(eac3Acmod) : 0;
    if (c == 1)
        return d == 0 ? 1 : 0;
    if (c == 2)
        return d > 2 ? 12 : 3;
    return c > 2 ? 6 : 0;
}

int ReadAc3FrameHeader(CBitReader& reader, Ac3FrameHeader& header) {
    header = Ac3FrameHeader{};
    uint32_t sync = 0, first = 0, word = 0;
    if (!Read(reader, 16, sync))
        return kReadFileError;
    if (sync != kAc3SyncWord)
        return kUnknownFormat;
    if (!Read(reader, 16, first) || !Read(reader, 16, word))
        return kReadFileError;
    header.fscod = uint8_t(word >> 14);
    header.bsid = uint8_t((word >> 3) & 0x1F);
    if (header.bsid != 6 && header.bsid != 8 && header.bsid != 16)
        return kWrongBitstreamId;
    header.isEac3 = header.bsid == 16;
    if (header.fscod != 0)
        return kWrongSampleRate;
    return header.isEac3 ? ReadEac3Bsi(reader, uint16_t(first), uint16_t(word), header)
                         : ReadAc3Bsi(reader, uint16_t(word), header);
}

}  // namespace vx
