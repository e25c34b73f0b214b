#include "streams/ac3_parser.h"

#include "streams/coding_types.h"

namespace vx {

namespace {

// The descriptor fields of the frame that describes the stream: the AC-3 frame, or for an
// E-AC-3 stream without core its first frame. num_channels of the descriptor is the audio
// coding mode (0 would be 1+1, which the checks reject).
void FillMainFields(AC3_AUDIO_DESCRIPTOR& d, const Ac3FrameHeader& h) {
    d.SampleRateCode = h.fscod;
    d.Bsid = h.bsid;
    d.FrameSizeCode = h.frmsizecod;
    d.BitRateCode = uint8_t(h.frmsizecod / 2);
    d.SurroundMode = h.dsurmod;
    d.BsMode = h.bsmod;
    d.Acmod = h.acmod;
    d.NumChannels = h.acmod;
    d.FullSVC = 1;
}

void FillEac3Fields(AC3_AUDIO_DESCRIPTOR& d, const Ac3FrameHeader& h) {
    d.Eac3Present = 1;
    d.Eac3FrameWords = uint16_t(h.FrameWords());
    d.Eac3StreamType = h.strmtyp;
    d.Eac3SubstreamId = h.substreamid;
    d.Eac3SampleRateCode = h.fscod;
    d.Eac3Acmod = h.acmod;
    d.Eac3Reserved = 0;
    d.Eac3ChannelMap = h.chanmap;
}

// Moves the reader to an absolute byte position at or after its current bit position.
bool SkipTo(CBitReader& reader, uint64_t byteOffset) {
    uint64_t target = byteOffset * 8;
    uint64_t here = reader.BitCount();
    if (target < here)
        return false;
    return target == here || reader.SkipBits(int64_t(target - here));
}

}  // namespace

bool CAC3Parser::Probe(CFile& file) {
    uint8_t sync[2] = {};
    return file.Read(sync, 2) == 2 && sync[0] == (kAc3SyncWord >> 8) &&
           sync[1] == (kAc3SyncWord & 0xFF);
}

int CAC3Parser::ParseStream(CFile& file, CSifWriter& sif, const ProgressCallback& progress) {
    auto* record = dynamic_cast<CAc3Sif*>(sif.Data());
    if (record == nullptr)
        return kUnknownFormat;
    const uint64_t fileSize = file.GetLength();
    CBitReader reader;
    if (!reader.Open(file.GetFilePath()))
        return kOpenFileError;

    // The first three frames, checked in full.
    Ac3FrameHeader frames[3];
    uint64_t position = 0;
    for (Ac3FrameHeader& frame : frames) {
        if (int result = ReadAc3FrameHeader(reader, frame); result != kParseOk)
            return result;
        const uint64_t end = position + frame.FrameBytes();
        if (end * 8 < reader.BitCount())
            return kSyntaxIllegal;  // a frame shorter than its own header
        if (end > fileSize || !SkipTo(reader, end))
            return kReadFileError;
        position = end;
    }
    const Ac3FrameHeader& f0 = frames[0];
    const Ac3FrameHeader& f1 = frames[1];
    const Ac3FrameHeader& f2 = frames[2];
    const bool oneKind = f0.isEac3 == f1.isEac3 && f1.isEac3 == f2.isEac3;
    const bool alternating = f1.isEac3 != f0.isEac3 && f2.isEac3 == f0.isEac3;
    if (!oneKind && !alternating)
        return kIncompatibleFile;

    // AUs are found by position alone, so the sizes must repeat: one size for a stream of one
    // kind, two alternating sizes otherwise.
    const uint32_t sizes[2] = {f0.FrameBytes(), alternating ? f1.FrameBytes() : f0.FrameBytes()};
    if (f1.FrameBytes() != sizes[1] || f2.FrameBytes() != sizes[0])
        return kSyntaxIllegal;

    // The rest of the stream: wherever a frame is due, a sync word and a frame of the kind
    // due there (AC-3 or E-AC-3, by bsid), since the index tells the two apart by position.
    const bool kinds[2] = {f0.isEac3, f1.isEac3};
    uint64_t frameCount = 3;
    uint64_t nextReport = kProgressStep;
    while (fileSize - position >= 2) {
        uint32_t sync = 0;
        if (!reader.ReadBits(16, sync))
            return kReadFileError;
        if (sync != kAc3SyncWord)
            return kSyntaxIllegal;
        const uint32_t size = sizes[frameCount & 1];
        if (size > fileSize - position)
            break;  // the last frame is cut short: it is not part of the stream
        // Bytes 2-5 of the frame; bsid is bits 7-3 of byte 5 in both syntaxes (the first three
        // frames proved that a frame holds more than these six bytes).
        uint32_t head = 0;
        if (!reader.ReadBits(32, head))
            return kReadFileError;
        if ((((head >> 3) & 0x1F) == 16) != kinds[frameCount & 1])
            return kSyntaxIllegal;
        position += size;
        if (!SkipTo(reader, position))
            return kReadFileError;
        ++frameCount;
        if (position >= nextReport) {
            while (nextReport <= position) nextReport += kProgressStep;
            if (!progress.Percent(int(position * 100 / fileSize)))
                return kParseCancelled;
        }
    }

    // The record and the header.
    AC3_AUDIO_DESCRIPTOR& d = record->Descriptor;
    SIF_HEADER& header = sif.Header();
    record->Clear();
    header.AuDuration = kAc3FrameDurationMs;
    if (oneKind && !f0.isEac3) {
        FillMainFields(d, f0);
        d.AuFrameSize = sizes[0];
        header.BitRate = Ac3BitRateKbps(f0.frmsizecod) * 1000;
    } else if (oneKind) {
        FillMainFields(d, f0);
        FillEac3Fields(d, f0);
        d.Ac3CorePresent = 0;
        d.AuFrameSize = sizes[0];
        // A frame of w 16-bit words every 32 ms: w x 16 / 0.032 bit/s.
        header.BitRate = f0.FrameWords() * 500;
    } else {
        const Ac3FrameHeader& core = f0.isEac3 ? f1 : f0;
        const Ac3FrameHeader& extension = f0.isEac3 ? f0 : f1;
        FillMainFields(d, core);
        FillEac3Fields(d, extension);
        d.AuFrameSize = sizes[0] + sizes[1];
        header.BitRate = Ac3BitRateKbps(core.frmsizecod) * 1000;
        header.ExtBitRate = extension.FrameWords() * 500;
        // Every AU pair starts with its AC-3 frame: a leading E-AC-3 frame is left out.
        if (f0.isEac3)
            header.FirstAuOffset = sizes[0];
    }
    const uint64_t auCount = frameCount - (header.FirstAuOffset != 0 ? 1 : 0);
    header.StreamCodingType = record->GetCodingType();
    header.NumberOfAus = uint32_t(auCount);
    header.DataLength = alternating ? auCount / 2 * d.AuFrameSize : auCount * d.AuFrameSize;
    return kParseOk;
}

}  // namespace vx
