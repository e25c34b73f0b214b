#pragma once
// Tracks of an existing stream file. A stream file is never decoded: a scan finds, per
// elementary stream, its access units (AUs: one PES packet each), their time stamps and the
// source packets that hold them. The tracks then feed those packets, unchanged apart from PID,
// transport priority and PES time stamps, to the multiplexer, and give the key points from
// which a clip's entry-point map is made.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "bdmv/clpi.h"
#include "bdmv/mpls.h"
#include "foundation/file.h"
#include "foundation/messages.h"
#include "mux/mux_track.h"
#include "transport/psi.h"

namespace vx {

// AU flags found by the scan.
namespace rip_flags {
inline constexpr uint32_t kRandomAccess = 1;  // video: the AU starts a coded sequence or GOP
// PG and IG: bits 0-7 the first segment's type; a composition (PCS or first ICS fragment) adds
// its composition state in bits 8-15, and a PCS without composition objects bit 16.
inline constexpr uint32_t kSegmentTypeMask = 0xFF;
inline constexpr int kStateShift = 8;
inline constexpr uint32_t kNoObjects = 1u << 16;
// Two-layer audio: the PES stream id extension names the extension layer (0x72).
inline constexpr uint32_t kExtensionLayer = 1u << 24;
}  // namespace rip_flags

namespace segment_type {
inline constexpr uint8_t kPds = 0x14;
inline constexpr uint8_t kOds = 0x15;
inline constexpr uint8_t kPcs = 0x16;
inline constexpr uint8_t kWds = 0x17;
inline constexpr uint8_t kIcs = 0x18;
inline constexpr uint8_t kEnd = 0x80;
}  // namespace segment_type

// A run of consecutive source packets (0-based indices of 192-byte packets in the file).
struct PacketRun {
    uint32_t First = 0;
    uint32_t Last = 0;
};

// One AU of a scanned track. Its packet runs are a slice of the track's run list.
struct SRipAuRecord {
    uint64_t DTS = 0;  // 90 kHz; equal to the PTS when the PES header has no DTS
    uint64_t PTS = 0;
    uint32_t Flags = 0;
    uint32_t Packets = 0;  // the AU's size is 192 x Packets
    uint32_t FirstRun = 0;
    uint32_t RunCount = 0;

    uint64_t Size() const { return uint64_t(Packets) * 192; }
    uint8_t SegmentType() const { return uint8_t(Flags & rip_flags::kSegmentTypeMask); }
    uint8_t CompositionState() const { return uint8_t(Flags >> rip_flags::kStateShift); }
};

class SRipTrack;

// The AU a ripped track is delivering: its packets, read from the file, rewritten one by one.
class SRipAu : public SAuBase {
public:
    uint8_t* NextPacket(uint32_t* payload) override;
    bool Exhausted() const override { return next_ >= count_; }

private:
    friend class SRipTrack;
    SRipTrack* track_ = nullptr;
    size_t next_ = 0;   // packet of the read buffer to give next
    size_t count_ = 0;  // packets in the read buffer
};

class SRipTrack : public SMuxTrack {
public:
    SRipTrack();
    ~SRipTrack() override;

    int SourcePid = 0;
    int ClipNumber = -1;
    std::string StreamPath;  // the stream file the AUs are read from while multiplexing
    STREAM_INFO Attributes;
    std::unique_ptr<ESI> SourceEsi;  // adopted from the source's PMT by PID
    bool SubPath = false;
    int FirstAu = 0;
    int LastAu = -1;  // -1: to the last
    uint8_t Profile = 0;
    uint8_t Level = 0;
    // Packets of the track counted by the first scan of its list.
    uint64_t PacketCount = 0;

    std::vector<SRipAuRecord> Aus;
    std::vector<PacketRun> Runs;

    std::string Describe(bool withFolder) const override;
    bool Prepare() override;
    void Release() override;
    SAuBase* CurrentAu() override;
    FirstAuInfo GetFirstAuInfo() const override;
    bool NextAu() override;
    bool IsDisplaySetStart() const override;
    uint8_t GetCodingType() const override { return Attributes.StreamCodingType; }
    uint64_t GetFrameTicks() const override;
    double GetFrameDuration() const override;
    std::string GetAttributeText() const override;
    void FillStreamInfo(STREAM_INFO& info) const override;
    void FillEsi(ESI& esi) const override;
    void FillStreamAttributes(STREAM_ATTRIBUTES& attributes) const override;
    bool MakeDescriptions() override;
    uint64_t GetSize() const override;

    // The key points a generated clip information file gets for this track over all its AUs.
    void CollectKeyPoints(CKpiFolder& points) const;
    // Reads the packets of AU index into buffer (192 bytes each, in file order); false when
    // they cannot be read whole.
    bool ReadAu(CFile& file, const SRipAuRecord& au, std::vector<uint8_t>& buffer) const;

    // Scan state (see ScanClip).
    void BeginAu(uint64_t pts, uint64_t dts, uint32_t flags);
    void AddPacket(uint32_t index);
    void CloseAu();
    // Forgets every AU, the one being collected too.
    void ClearAus();

private:
    friend class SRipAu;
    bool LoadAu(int index);
    bool IsKeyPointDuringMux(const SRipAuRecord& au, int index);
    uint8_t* RewritePacket(uint8_t* packet, uint32_t* payload);

    CFile file_;
    std::vector<uint8_t> buffer_;
    mutable std::vector<uint8_t> spanBuffer_;
    SRipAu au_;
    int current_ = -1;
    int end_ = -1;  // one past the last AU of the range
    bool twoLayer_ = false;
    uint64_t lastKeyPts_ = 0;
    bool haveKeyPoint_ = false;

    bool open_ = false;
    SRipAuRecord building_;
};

// The tracks of one source clip with the PMT read from its stream file.
struct SRipTracks {
    std::vector<std::unique_ptr<SRipTrack>> Tracks;
    std::unique_ptr<PMT> Pmt;

    std::vector<SRipTrack*> Pointers() const;
};

// One track per stream of the clip's program whose PID has no track yet; PIDs of the secondary
// ranges make secondary tracks.
void AddTracksFromClip(const CLPI& clip, int clipNumber, const std::string& streamPath,
                       SRipTracks& tracks);
// One track per stream of a PMT, for a stream file without clip information. Attributes come
// from the PMT's descriptors; DetectAttributes fills in what they do not say.
void AddTracksFromPmt(const PMT& pmt, int clipNumber, const std::string& streamPath,
                      SRipTracks& tracks);
// One track per stream entry of a play item's stream number table, section by section: primary
// video, primary audio, PG and text subtitle, IG, secondary audio, secondary video, PiP PG.
// Entries that refer to a sub path make sub-path tracks. Attributes come from the entries.
void AddTracksFromPlaylist(const StnTable& table, int clipNumber, const std::string& streamPath,
                           SRipTracks& tracks);

// The tracks of a stream file: from the clip information beside it (the folder rule of
// ClipInfoPathFor) when useClipInfo is set and that file exists and parses, else from the PMT of
// the stream. Also adopts the stream's PMT. False, with a message, when the file cannot be read
// or names no elementary stream.
bool AddTracksForStream(const std::string& streamPath, bool useClipInfo, SRipTracks& tracks);
// The number of a stream file named with five digits ("00012.m2ts" -> 12), else -1.
int ClipNumberOf(const std::string& streamPath);

// Scans source packets [first, end) of the stream file (end -1: to its end) into the AU lists of
// the enabled tracks. Returns 0, 1 when cancelled (the AU lists are then cleared), 2 when first
// does not lie inside the file before end. firstPts and firstVideoPts receive the first PTS
// seen and the first PTS of a video track when given.
int ScanClip(const std::vector<SRipTrack*>& tracks, CFile& source, int64_t first, int64_t end,
             const ProgressCallback& progress = {}, std::optional<uint64_t>* firstPts = nullptr,
             std::optional<uint64_t>* firstVideoPts = nullptr);

// Fills the attributes a track's PMT entry did not give from the stream itself: video format,
// frame rate and aspect ratio from the AVC sequence parameter set or the MPEG-2 sequence
// header, AC-3 presentation type and sampling frequency from a frame header, LPCM from its
// audio data header. Reads the track's first AUs from file.
void DetectAttributes(SRipTrack& track, CFile& file);

// Makes the clip information of an existing stream file: scans it whole, keeps its PIDs and its
// PCR PID, and builds the EP map from the key points of its key-point tracks. Returns 0, 1 when
// cancelled, 2 when the scan failed or there are no tracks.
int MakeClipInfo(SRipTracks& tracks, CFile& stream, std::unique_ptr<CLPI>* clip,
                 const ProgressCallback& progress = {});
// Where the clip information of a stream file goes: BDMV/CLIPINF/<name>.clpi when the stream
// lies in BDMV/STREAM, else the stream's path with the extension "clpi".
std::string ClipInfoPathFor(const std::string& streamPath);
// Writes the record to path (through a temporary file). An existing file is replaced only with
// overwrite; otherwise the message names it and the result is 2. File errors: their text, 2.
int WriteClipInfo(CLPI& clip, const std::string& path, bool overwrite);

}  // namespace vx
