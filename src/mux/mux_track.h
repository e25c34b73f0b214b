#pragma once
// The multiplexer's view of a track: a sequence of access units (AUs), each delivered as
// ready-made 192-byte source packets whose 4-byte header the multiplexer fills with the arrival
// time. Tracks of an existing stream file (ripped tracks) and tracks of elementary-stream files
// both derive from SMuxTrack; the multiplexer sees nothing else of them.
//
// A track also carries what the clip's database needs: its PMT entry, its clip-information and
// playlist stream attributes, and the key points (random-access points) that become the
// entry-point map.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bdmv/clpi.h"
#include "bdmv/mpls.h"
#include "streams/std_desc.h"
#include "transport/psi.h"

namespace vx {

// One AU on its way into the multiplexer.
class SAuBase {
public:
    virtual ~SAuBase() = default;

    // The next source packet of the AU (192 bytes, the first 4 left for the arrival time) and
    // the bytes of elementary-stream data (PES header included) it carries; null when the AU
    // has no packet left. The pointer stays valid until the next call.
    virtual uint8_t* NextPacket(uint32_t* payload) = 0;
    // True when the AU has no packet left to give.
    virtual bool Exhausted() const = 0;

    uint32_t Flags = 0;
    uint64_t DTS = 0;  // 90 kHz; 0 when the AU has none
    uint64_t PTS = 0;
    uint64_t Size = 0;  // bytes to send
    // The key point this AU opens in its track's list, or -1.
    int KeyPoint = -1;
    // Two-layer audio: the AU belongs to the extension layer (the second description).
    bool ExtensionLayer = false;
    // Set once the multiplexer has reported that the AU is larger than its buffer.
    bool Oversized = false;

    uint64_t DecodeTime() const { return DTS != 0 ? DTS : PTS; }
};

// The first AU's time stamps and packet count, for a caller that lines tracks up.
struct FirstAuInfo {
    uint64_t DTS = 0;
    uint64_t PTS = 0;
    uint32_t Packets = 0;
};

class SMuxTrack {
public:
    static constexpr int kDefaultLanguage = 125;  // "eng"

    virtual ~SMuxTrack();

    int PID = 0;
    bool Enabled = true;
    bool Primary = true;
    int Order = 0;
    int Language = kDefaultLanguage;

    // Key points: whether the track collects them, the entry-point stream type of the EP map
    // (1 video, 3 audio, 4 secondary audio, 6 PG, 7 IG) and the points collected.
    bool CollectsKeyPoints = false;
    uint8_t EpStreamType = 0;
    CKpiFolder KeyPoints;

    // The T-STD buffer model: one description, two for two-layer audio (base, extension).
    StdList Descriptions;

    // Scheduling state of the multiplexer.
    uint64_t NextTime = 0;  // 27 MHz: earliest arrival time of the next packet
    bool Finished = false;
    uint64_t LargestDts = 0;
    bool AtAuStart = true;  // the next packet is the first of the current AU

    // A text for track lists.
    virtual std::string Describe(bool withFolder) const = 0;
    std::string GetLanguageText() const;
    // Three-letter code, compared without regard to case; an unknown code selects "eng".
    void SetLanguageByCode(const std::string& code);
    // False when index is -1 or already the language.
    bool SetLanguage(int index);

    // Makes the track ready for a pass of the multiplexer: the first AU current, descriptions
    // made, key points cleared. False (with a message shown) when it cannot be.
    virtual bool Prepare() = 0;
    virtual void Release() = 0;
    // The AU being sent, or null when the track has none left.
    virtual SAuBase* CurrentAu() = 0;
    virtual FirstAuInfo GetFirstAuInfo() const = 0;
    // Moves to the next AU; false when there is none (the track is then finished) or it could
    // not be read (ReadFailed tells).
    virtual bool NextAu() = 0;
    // PG and IG: the current AU starts a display set (a PCS or ICS first).
    virtual bool IsDisplaySetStart() const;
    virtual uint8_t GetCodingType() const = 0;
    // Video: the duration of one frame in 27 MHz ticks and in milliseconds; 0 for others.
    virtual uint64_t GetFrameTicks() const;
    virtual double GetFrameDuration() const;
    virtual std::string GetAttributeText() const = 0;
    // The clip-information stream entry (PID set by the caller), the PMT entry and the
    // playlist stream attributes of the track.
    virtual void FillStreamInfo(STREAM_INFO& info) const = 0;
    virtual void FillEsi(ESI& esi) const = 0;
    virtual void FillStreamAttributes(STREAM_ATTRIBUTES& attributes) const = 0;
    // (Re)creates Descriptions from the coding type; false when the type has none.
    virtual bool MakeDescriptions() = 0;
    // Bytes the track will send (for progress).
    virtual uint64_t GetSize() const = 0;
    // The latest earliest-send time of the buffers the current AU's packets go to.
    uint64_t NextBufferTime() const;

    // True after NextAu failed because an AU could not be read whole.
    bool ReadFailed() const { return readFailed_; }

    bool IsVideo() const;
    bool IsAudio() const;

protected:
    // The state of a new multiplexing pass: nothing sent, no key point, no failure.
    void ResetPass();
    // Opens a key point for the AU with this PTS, to be completed by the multiplexer.
    int AddKeyPoint(uint64_t pts);

    bool readFailed_ = false;
};

using MuxTrackList = std::vector<SMuxTrack*>;

// PID bases of the seven track groups, in output order: primary video, primary audio, PG, IG,
// text subtitle, secondary audio, secondary video.
inline constexpr int kPidGroupBases[7] = {0x1011, 0x1100, 0x1200, 0x1400, 0x1800, 0x1A00, 0x1B00};
// How many PIDs each group may use.
inline constexpr int kPidGroupSizes[7] = {1, 32, 256, 32, 1, 32, 32};

// The group (0-6) of a track by its coding type and primary flag.
int PidGroupOf(uint8_t codingType, bool primary);

// Gives every enabled track a PID: groups as above, within a group by order, then by the PID
// held before. Returns the tracks in PID order. A group with more tracks than PIDs fails: the
// message names the first track that has no PID, and the result is empty.
bool AssignPids(const MuxTrackList& tracks, MuxTrackList* ordered);

// Chooses the tracks that collect key points for a clip of this application type and sets
// their EP stream types: every video track (type 1); without video, application type 4, or 7
// with a primary audio track first: the first track (type 3); type 7 otherwise a secondary audio
// track (type 4), or else a first track that is PG (6) or IG (7).
void ChooseKeyPointTracks(const MuxTrackList& tracks, uint8_t applicationType);

}  // namespace vx
