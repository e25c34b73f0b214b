#pragma once
// Elementary-stream files as tracks of the multiplexer. A stream file (an IG or PG stream file,
// AC-3/E-AC-3, WAV) has been analysed into its stream information file, whose AU index tells
// where each AU lies and when it is presented. A pipe reads the AUs through that index and
// packs each into a PES packet spread over transport packets; the raw track hands those packets
// to the multiplexer. A clip job gathers the sources of one new clip and multiplexes them.
//
// Time stamps: analysed streams start at 131,070 (90 kHz). Every track of a clip is moved so
// that this start lands on the clip start time, one value for the whole process (600 s when the
// program starts; the episode build sets it, and it keeps its last value).

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bdmv/clpi.h"
#include "foundation/file.h"
#include "foundation/messages.h"
#include "foundation/named_object.h"
#include "mux/mux_track.h"
#include "streams/sif_file.h"
#include "transport/ts_packet.h"

namespace vx {

// The clip start time (90 kHz) that elementary-stream tracks are placed at.
int64_t ClipStartTime();
void SetClipStartTime(int64_t ticks);
inline constexpr int64_t kDefaultClipStartTime = 54000000;  // 600 s

// One input of a track: the stream file and, for a Dolby TrueHD track, the TrueHD file whose
// AUs interleave with those of its AC-3 file (the main path).
class CSource : public CNamedObject {
    VX_DYNAMIC(CSource, CNamedObject)

public:
    std::string FilePath;
    std::string CompanionPath;
    std::array<char, 3> Language{'e', 'n', 'g'};
    // Copied unchanged behind the language into the clip information's stream attributes.
    std::array<uint8_t, 12> ExtraAttributes{};

    void Copy(const CNamedObject& source) override;
    // The sizes of both files; a file that cannot be read counts 0.
    uint64_t GetSize() const;
};

// An AU as a pipe delivers it: flags and time stamps as analysed (before any offset).
struct SPipeUnit {
    uint32_t Flags = 0;
    uint64_t DTS = 0;
    uint64_t PTS = 0;
    uint32_t Size = 0;
    bool Companion = false;  // from the companion file (TrueHD)
    bool End = false;        // the synthetic unit after the last one
};

class CPipe {
public:
    virtual ~CPipe();
    virtual void Reset();
    // Opens the source: 0, 1 when cancelled, 2 failed (the message shown).
    virtual int Open(const ProgressCallback& progress) = 0;
    // The next unit in presentation order, or null when there is none left.
    virtual const SPipeUnit* NextUnit() = 0;
    // Fills one 188-byte transport packet from the current unit; false when it has no byte
    // left. payload receives the bytes after the packet header and adaptation field.
    virtual bool WriteNextPacket(uint8_t* packet, uint32_t* payload) = 0;
    virtual uint64_t TotalBytes() const = 0;
    // The stream information of the main file.
    virtual const CStreamInfo& MainInfo() const = 0;

    uint8_t CodingType() const { return codingType_; }
    double UnitDuration() const { return unitDuration_; }  // ms
    // The transport priority and PID the packets carry, and the offset added to time stamps.
    int PID = 0x1FFF;
    int64_t Offset = 0;

protected:
    const CSource* source_ = nullptr;
    uint8_t codingType_ = 0;
    double unitDuration_ = 0;
    uint8_t counter_ = 0;
};

// A pipe over analysed stream files.
class CFilePipe : public CPipe {
public:
    explicit CFilePipe(const CSource& source);
    ~CFilePipe() override;

    void Reset() override;
    int Open(const ProgressCallback& progress) override;
    const SPipeUnit* NextUnit() override;
    bool WriteNextPacket(uint8_t* packet, uint32_t* payload) override;
    uint64_t TotalBytes() const override;
    const CStreamInfo& MainInfo() const override;
    bool HasCompanion() const { return companion_ != nullptr; }
    // True while the current unit has bytes not yet written into packets.
    bool HasBytesLeft() const;
    // The stream information of the companion file, or of the main file without one.
    const CStreamInfo& DescribingInfo() const;

    // Transport packets the first unit takes: one when it fits the first packet's capacity (170
    // bytes when DTS = PTS, else 165; 4 less for LPCM; 3 less for streams with a PES
    // extension and VC-1), else one more for every 184 bytes beyond it.
    static uint32_t PacketCount(uint8_t codingType, uint32_t size, bool withDts);

private:
    struct Context;

    bool Advance(Context& context);
    Context* current_ = nullptr;
    std::unique_ptr<Context> main_;
    std::unique_ptr<Context> companion_;
    bool started_ = false;
    bool endGiven_ = false;
    SPipeUnit unit_;
    uint64_t lastDts_ = 0;
    uint64_t lastPts_ = 0;
};

// Opens a pipe on a source: 0 and the pipe, or the code of its failed Open.
int OpenPipe(const CSource& source, const ProgressCallback& progress,
             std::unique_ptr<CFilePipe>* pipe);

// A track of elementary-stream files.
class SRawTrack : public SMuxTrack {
public:
    // info: the stream information of the source as its pipe read it, so that the track knows
    // its coding type before it is prepared.
    SRawTrack(const CSource& source, const CStreamInfo& info);
    ~SRawTrack() override;

    CSource Source;

    std::string Describe(bool withFolder) const override;
    bool Prepare() override;
    void Release() override;
    SAuBase* CurrentAu() override;
    FirstAuInfo GetFirstAuInfo() const override;
    bool NextAu() override;
    bool IsDisplaySetStart() const override;
    uint8_t GetCodingType() const override;
    double GetFrameDuration() const override;
    std::string GetAttributeText() const override;
    void FillStreamInfo(STREAM_INFO& info) const override;
    void FillEsi(ESI& esi) const override;
    void FillStreamAttributes(STREAM_ATTRIBUTES& attributes) const override;
    bool MakeDescriptions() override;
    uint64_t GetSize() const override;

    // The stream information read when the track was opened (kept when the pipe closes).
    const CStreamInfo& Info() const { return *info_; }

private:
    class RawAu : public SAuBase {
    public:
        uint8_t* NextPacket(uint32_t* payload) override;
        bool Exhausted() const override { return exhausted; }
        SRawTrack* track = nullptr;
        bool exhausted = true;
        uint8_t packet[kSourcePacketSize] = {};
    };

    bool TakeUnit(const SPipeUnit* unit);
    bool IsKeyPoint(const SPipeUnit& unit);

    std::unique_ptr<CStreamInfo> info_;
    std::unique_ptr<CFilePipe> pipe_;
    RawAu au_;
    bool haveAu_ = false;
    bool haveKeyPoint_ = false;
    uint64_t lastKeyPts_ = 0;
};

// Opens an elementary-stream file as a track: the file is analysed (or its stream information
// reused); for a ".thd" or ".mlp" file the AC-3 file of the same name becomes the main path. An
// audio or PG file named like "movie_deu.ac3" takes "deu" as its language. Null, with the
// message shown, when the file cannot be a track (a secondary-only E-AC-3 stream among them).
std::unique_ptr<SRawTrack> OpenRawTrack(const std::string& path,
                                        const ProgressCallback& progress = {});

// One track of a clip job: the source it is made from (not owned).
class CTrack : public CNamedObject {
    VX_DYNAMIC(CTrack, CNamedObject)

public:
    const CSource* Source = nullptr;
};

class CTracks : public CNamedPtrArray<CTrack> {
    VX_DYNAMIC(CTracks, CNamedPtrArray<CTrack>)
};

// The job that makes one new clip from elementary-stream sources.
class CClip : public CNamedObject {
    VX_DYNAMIC(CClip, CNamedObject)

public:
    static constexpr uint8_t kMenuClip = 5;

    uint8_t Kind = 0;
    // Primary video, primary audio, PG, IG, text subtitle, secondary audio, secondary video.
    std::array<std::unique_ptr<CTracks>, 7> Lists;
    std::vector<std::unique_ptr<SRawTrack>> Prepared;
    int32_t StartTime = 0;  // 90 kHz, after Mux
    int32_t EndTime = 0;
    int32_t Rate = 48000000;
    double VideoUnitDuration = 0;

    // Makes the clip a menu clip with an IG list; false when it already was one.
    bool MakeMenuClip();
    // Files a track for the source in the list of its coding type: 0, or the pipe's code.
    int AddSource(const CSource& source);
    bool PrepareTracks();
    // Multiplexes the prepared tracks: 0 on success, else the error code (2 when the
    // multiplexer cannot be set up).
    int Mux(const std::string& streamPath, const std::string& clipPath,
            const ProgressCallback& progress = {});
};

}  // namespace vx
