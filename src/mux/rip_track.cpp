#include "mux/rip_track.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

#include "foundation/language.h"
#include "mux/es_attributes.h"
#include "mux/muxer.h"
#include "streams/coding_types.h"
#include "transport/pid.h"
#include "transport/probes.h"
#include "transport/ts_packet.h"

namespace vx {

namespace {

constexpr size_t kScanBlock = 0x600000;         // 6 MiB: 32,768 source packets
constexpr uint64_t kAudioKeyPointStep = 45000;  // 0.5 s at 90 kHz
// An AU whose runs span more than this many packets beyond its own is read run by run.
constexpr uint64_t kSpanSlack = 2048;

bool IsTwoLayerType(uint8_t codingType) {
    return codingType == coding::kTrueHd || codingType == coding::kEac3 ||
           codingType == coding::kDtsHd || codingType == coding::kDtsHdXll;
}

bool IsSdVideoFormat(uint8_t format) {
    return format == 1 || format == 2 || format == 3 || format == 7;
}

// Where the elementary-stream bytes of a transport packet begin: after the header and the
// adaptation field. 188 when the packet carries no payload.
size_t PayloadOffset(const uint8_t* p) {
    const uint8_t control = (p[3] >> 4) & 3;
    if ((control & 1) == 0)
        return kTransportPacketSize;
    size_t offset = 4;
    if (control & 2)
        offset += 1 + size_t(p[4]);
    return std::min(offset, kTransportPacketSize);
}

// The flags of a PG or IG AU from its first segment.
uint32_t GraphicsFlags(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const uint8_t type = data[0];
    uint32_t flags = type;
    // Segment header (type, 16-bit length), then for a composition: video width, height and
    // frame rate (5 bytes), the composition number (2) and a byte with the state in bits 7-6.
    if (type == segment_type::kPcs && size >= 3 + 11) {
        const uint8_t state = data[3 + 7] >> 6;
        const uint8_t objects = data[3 + 10];
        flags |= uint32_t(state) << rip_flags::kStateShift;
        if (objects == 0)
            flags |= rip_flags::kNoObjects;
    } else if (type == segment_type::kIcs && size >= 3 + 9) {
        // Only the first fragment of an interactive composition holds the state: its sequence
        // descriptor (behind the state byte) has the first-in-sequence bit.
        if (data[3 + 8] & 0x80)
            flags |= uint32_t(data[3 + 7] >> 6) << rip_flags::kStateShift;
    }
    return flags;
}

std::string Hex4(int value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04X", unsigned(value));
    return text;
}

}  // namespace

// ---- SRipAu ---------------------------------------------------------------------------------

uint8_t* SRipAu::NextPacket(uint32_t* payload) {
    if (next_ >= count_)
        return nullptr;
    uint8_t* packet = track_->buffer_.data() + next_ * kSourcePacketSize;
    ++next_;
    return track_->RewritePacket(packet, payload);
}

// ---- SRipTrack ------------------------------------------------------------------------------

SRipTrack::SRipTrack() {
    au_.track_ = this;
}

SRipTrack::~SRipTrack() = default;

std::string SRipTrack::Describe(bool /*withFolder*/) const {
    std::string source;
    if (ClipNumber < 0) {
        source = Hex4(SourcePid);
    } else {
        char text[32];
        std::snprintf(text, sizeof text, "%05d.M2TS, 0x%04X", ClipNumber, unsigned(SourcePid));
        source = text;
    }
    const char* name = CodingTypeName(GetCodingType());
    char type[64];
    std::snprintf(type, sizeof type, "%s(0x%02X)", name ? name : "", unsigned(GetCodingType()));
    return source + ", " + type + ", " + GetAttributeText();
}

std::string SRipTrack::GetAttributeText() const {
    return StreamAttributeText(Attributes);
}

uint64_t SRipTrack::GetSize() const {
    uint64_t size = 0;
    const int last = LastAu < 0 ? int(Aus.size()) - 1 : std::min(LastAu, int(Aus.size()) - 1);
    for (int i = std::max(0, FirstAu); i <= last; ++i) size += Aus[size_t(i)].Size();
    return size;
}

double SRipTrack::GetFrameDuration() const {
    return IsVideo() ? FrameDurationMs(Attributes.FrameRate) : 0;
}

uint64_t SRipTrack::GetFrameTicks() const {
    return IsVideo() ? FrameTicks(Attributes.FrameRate) : 0;
}

bool SRipTrack::IsDisplaySetStart() const {
    if (current_ < 0 || current_ >= end_)
        return false;
    const uint8_t type = Aus[size_t(current_)].SegmentType();
    return type == segment_type::kPcs || type == segment_type::kIcs;
}

void SRipTrack::FillStreamInfo(STREAM_INFO& info) const {
    info = Attributes;
    info.StreamPID = uint16_t(PID);
}

void SRipTrack::FillEsi(ESI& esi) const {
    if (SourceEsi)
        esi.Copy(*SourceEsi);
    else
        FillEsiFromAttributes(Attributes, esi);
    esi.ElementaryPid = uint16_t(PID);
}

void SRipTrack::FillStreamAttributes(STREAM_ATTRIBUTES& attributes) const {
    attributes = {};
    attributes.StreamCodingType = Attributes.StreamCodingType;
    switch (STREAM_ATTRIBUTES::KindOf(Attributes.StreamCodingType)) {
        case STREAM_ATTRIBUTES::kindVideo:
            attributes.bytes[0] = uint8_t(Attributes.VideoFormat << 4 | Attributes.FrameRate);
            break;
        case STREAM_ATTRIBUTES::kindAudio:
            attributes.bytes[0] =
                uint8_t(Attributes.PresentationType << 4 | Attributes.SamplingFrequency);
            break;
        case STREAM_ATTRIBUTES::kindText:
            attributes.bytes[0] = Attributes.CharacterCode;
            break;
        default:
            break;
    }
    attributes.SetLanguageCode(Attributes.Language());
}

bool SRipTrack::MakeDescriptions() {
    Descriptions.clear();
    const uint8_t type = GetCodingType();
    const bool sd = IsSdVideoFormat(Attributes.VideoFormat);
    switch (type) {
        case coding::kMpeg2Video: {
            auto d = std::make_unique<CMpeg2Std>();
            const int level = Profile != 0 || Level != 0 ? (Profile << 4 | Level) : 0;
            d->SetLevel(level != 0 ? level : (sd ? 0x48 : 0x44), Primary);
            Descriptions.push_back(std::move(d));
            break;
        }
        case coding::kAvc: {
            auto d = std::make_unique<CAvcStd>();
            d->SetLevel(Level != 0 ? Level : (sd ? 30 : 41), Primary);
            Descriptions.push_back(std::move(d));
            break;
        }
        case coding::kVc1: {
            auto d = std::make_unique<CVc1Std>();
            d->SetLevel(Level != 0 ? Level : (sd ? 2 : 3), Primary);
            Descriptions.push_back(std::move(d));
            break;
        }
        case coding::kLpcm: {
            auto d = std::make_unique<CLpcmStd>();
            d->SetSamplingFrequency(Attributes.SamplingFrequency);
            Descriptions.push_back(std::move(d));
            break;
        }
        case coding::kAc3:
            Descriptions.push_back(std::make_unique<CAc3Std>());
            break;
        case coding::kDts:
            Descriptions.push_back(std::make_unique<CDtsStd>());
            break;
        case coding::kTrueHd:
            Descriptions.push_back(std::make_unique<CAc3Std>(type));
            Descriptions.push_back(std::make_unique<CMlpStd>(type));
            break;
        case coding::kEac3:
            Descriptions.push_back(std::make_unique<CAc3Std>(type));
            Descriptions.push_back(std::make_unique<CDdpStd>(type, true));
            break;
        case coding::kDtsHd:
        case coding::kDtsHdXll:
            Descriptions.push_back(std::make_unique<CDtsStd>(type));
            Descriptions.push_back(std::make_unique<CDtsHdStd>(type, true));
            break;
        case coding::kEac3Secondary:
            Descriptions.push_back(std::make_unique<CDdpStd>(type, false));
            break;
        case coding::kDtsHdSecondary:
            Descriptions.push_back(std::make_unique<CDtsHdStd>(type, false));
            break;
        case coding::kPg:
            Descriptions.push_back(std::make_unique<CPgStd>());
            break;
        case coding::kIg:
            Descriptions.push_back(std::make_unique<CIgStd>());
            break;
        case coding::kTextSubtitle:
            ShowMessage("The text subtitle track " + Describe(false) +
                        " cannot be multiplexed: its decoder buffer is not modelled. ");
            return false;
        default:
            ShowMessage("The track " + Describe(false) + " has no coding type a clip can carry. ");
            return false;
    }
    if (!Primary && Descriptions.size() == 1)
        Descriptions.front()->SetPrimary(false);
    return true;
}

bool SRipTrack::ReadAu(CFile& file, const SRipAuRecord& au, std::vector<uint8_t>& buffer) const {
    buffer.resize(au.Size());
    if (au.RunCount == 0)
        return au.Packets == 0;
    const PacketRun& first = Runs[au.FirstRun];
    const PacketRun& last = Runs[au.FirstRun + au.RunCount - 1];
    const uint64_t span = uint64_t(last.Last) - first.First + 1;
    if (au.RunCount > 1 && span <= uint64_t(au.Packets) * 2 + kSpanSlack) {
        // Close runs: one read of the whole span, then the AU's packets moved together.
        spanBuffer_.resize(span * kSourcePacketSize);
        file.Seek(int64_t(uint64_t(first.First) * kSourcePacketSize), CFile::begin);
        if (file.Read(spanBuffer_.data(), spanBuffer_.size()) != spanBuffer_.size())
            return false;
        size_t at = 0;
        for (uint32_t r = 0; r < au.RunCount; ++r) {
            const PacketRun& run = Runs[au.FirstRun + r];
            const size_t bytes = (size_t(run.Last) - run.First + 1) * kSourcePacketSize;
            std::memcpy(buffer.data() + at,
                        spanBuffer_.data() + (size_t(run.First) - first.First) * kSourcePacketSize,
                        bytes);
            at += bytes;
        }
        return true;
    }
    size_t at = 0;
    for (uint32_t r = 0; r < au.RunCount; ++r) {
        const PacketRun& run = Runs[au.FirstRun + r];
        const size_t bytes = (size_t(run.Last) - run.First + 1) * kSourcePacketSize;
        file.Seek(int64_t(uint64_t(run.First) * kSourcePacketSize), CFile::begin);
        if (file.Read(buffer.data() + at, bytes) != bytes)
            return false;
        at += bytes;
    }
    return true;
}

bool SRipTrack::Prepare() {
    Release();
    ResetPass();
    haveKeyPoint_ = false;
    lastKeyPts_ = 0;
    twoLayer_ = IsTwoLayerType(GetCodingType());

    FileError error(StreamPath, 0);
    if (!file_.Open(StreamPath, CFile::modeRead, &error)) {
        ShowMessage(StreamPath + ":\n" + error.Description());
        return false;
    }
    const int count = int(Aus.size());
    int first = std::max(0, FirstAu);
    int last = LastAu < 0 || LastAu >= count ? count - 1 : LastAu;
    last = std::max(last, first);
    current_ = first;
    end_ = std::min(count, last + 1);

    if (IsVideo() && current_ < end_) {
        try {
            if (ReadAu(file_, Aus[size_t(current_)], buffer_)) {
                const std::vector<uint8_t> payload = AuPayload(buffer_.data(), buffer_.size());
                ReadProfileAndLevel(GetCodingType(), payload.data(), payload.size(), &Profile,
                                    &Level);
            }
        } catch (const FileError&) {
        }
    }
    if (!MakeDescriptions())
        return false;
    if (current_ < end_)
        LoadAu(current_);
    return true;
}

void SRipTrack::Release() {
    file_.Close();
    buffer_.clear();
    buffer_.shrink_to_fit();
    spanBuffer_.clear();
    spanBuffer_.shrink_to_fit();
    current_ = -1;
    end_ = -1;
}

SAuBase* SRipTrack::CurrentAu() {
    return current_ >= 0 && current_ < end_ ? &au_ : nullptr;
}

FirstAuInfo SRipTrack::GetFirstAuInfo() const {
    FirstAuInfo info;
    const int first = std::max(0, FirstAu);
    if (first < int(Aus.size())) {
        const SRipAuRecord& au = Aus[size_t(first)];
        info.DTS = au.DTS;
        info.PTS = au.PTS;
        info.Packets = au.Packets;
    }
    return info;
}

bool SRipTrack::IsKeyPointDuringMux(const SRipAuRecord& au, int /*index*/) {
    const StreamCategory category = CategoryOf(GetCodingType());
    bool key = false;
    if (category == StreamCategory::video) {
        key = (au.Flags & rip_flags::kRandomAccess) != 0;
    } else if (category == StreamCategory::audio) {
        if (au.Flags & rip_flags::kExtensionLayer)
            return false;
        key = !haveKeyPoint_ || au.PTS >= lastKeyPts_ + kAudioKeyPointStep;
    } else if (category == StreamCategory::pg || category == StreamCategory::ig) {
        const uint8_t type = au.SegmentType();
        key = (type == segment_type::kPcs || type == segment_type::kIcs) &&
              au.CompositionState() != 0;
    }
    if (key) {
        haveKeyPoint_ = true;
        lastKeyPts_ = au.PTS;
    }
    return key;
}

bool SRipTrack::LoadAu(int index) {
    const SRipAuRecord& record = Aus[size_t(index)];
    bool whole = false;
    try {
        whole = ReadAu(file_, record, buffer_);
    } catch (const FileError&) {
        whole = false;
    }
    if (!whole) {
        readFailed_ = true;
        current_ = end_;
        return false;
    }
    au_.Flags = record.Flags;
    au_.DTS = record.DTS;
    au_.PTS = record.PTS;
    au_.Size = record.Size();
    au_.ExtensionLayer = (record.Flags & rip_flags::kExtensionLayer) != 0;
    au_.Oversized = false;
    au_.KeyPoint = CollectsKeyPoints && IsKeyPointDuringMux(record, index - std::max(0, FirstAu))
                       ? AddKeyPoint(record.PTS)
                       : -1;
    au_.next_ = 0;
    au_.count_ = record.Packets;
    return true;
}

bool SRipTrack::NextAu() {
    if (current_ < 0 || current_ >= end_)
        return false;
    ++current_;
    if (current_ >= end_)
        return false;
    return LoadAu(current_);
}

// A packet leaves with the track's new PID, the transport priority of its layer and the AU's
// time stamps; the rest of it is copied as it is. A packet that does not parse is left alone.
uint8_t* SRipTrack::RewritePacket(uint8_t* packet, uint32_t* payload) {
    uint8_t* p = packet + kSourcePacketHeaderSize;
    *payload = 0;
    if (p[0] != kSyncByte)
        return packet;
    p[1] = uint8_t((p[1] & 0xE0) | ((PID >> 8) & 0x1F));
    p[2] = uint8_t(PID & 0xFF);
    if (twoLayer_) {
        if (au_.ExtensionLayer)
            p[1] &= uint8_t(~0x20);
        else
            p[1] |= 0x20;
    }
    const size_t offset = PayloadOffset(p);
    *payload = uint32_t(kTransportPacketSize - offset);
    if ((p[1] & 0x40) == 0 || offset + 19 > kTransportPacketSize)
        return packet;
    uint8_t* pes = p + offset;
    if (pes[0] != 0 || pes[1] != 0 || pes[2] != 1 || !PES_Packet::HasOptionalFields(pes[3]))
        return packet;
    const uint8_t flags = pes[7] >> 6;
    if (flags == 2) {
        pes_time::Write(pes + 9, pes_time::kPtsOnly, au_.PTS);
    } else if (flags == 3) {
        pes_time::Write(pes + 9, pes_time::kPtsWithDts, au_.PTS);
        pes_time::Write(pes + 14, pes_time::kDts, au_.DTS);
    }
    return packet;
}

void SRipTrack::CollectKeyPoints(CKpiFolder& points) const {
    const StreamCategory category = CategoryOf(GetCodingType());
    bool have = false;
    uint64_t last = 0;
    for (const SRipAuRecord& au : Aus) {
        bool key = false;
        if (category == StreamCategory::video) {
            key = (au.Flags & rip_flags::kRandomAccess) != 0;
        } else if (category == StreamCategory::audio) {
            key = (au.Flags & rip_flags::kExtensionLayer) == 0 &&
                  (!have || au.PTS >= last + kAudioKeyPointStep);
        } else if (category == StreamCategory::pg || category == StreamCategory::ig) {
            key = au.SegmentType() == segment_type::kPcs || au.SegmentType() == segment_type::kIcs;
        }
        if (!key || au.RunCount == 0)
            continue;
        have = true;
        last = au.PTS;
        KEY_POINT_INFO point;
        point.PresentationTime = au.PTS;
        point.StartSpn = Runs[au.FirstRun].First;
        point.EndSpn = Runs[au.FirstRun + au.RunCount - 1].Last;
        points.Add(point);
    }
}

void SRipTrack::BeginAu(uint64_t pts, uint64_t dts, uint32_t flags) {
    CloseAu();
    building_ = {};
    building_.PTS = pts;
    building_.DTS = dts;
    building_.Flags = flags;
    building_.FirstRun = uint32_t(Runs.size());
    open_ = true;
}

void SRipTrack::AddPacket(uint32_t index) {
    if (!open_)
        return;  // packets before the first PES header belong to no AU
    if (building_.RunCount > 0 && Runs.back().Last + 1 == index) {
        Runs.back().Last = index;
    } else {
        Runs.push_back({index, index});
        ++building_.RunCount;
    }
    ++building_.Packets;
}

void SRipTrack::ClearAus() {
    open_ = false;
    Aus.clear();
    Runs.clear();
}

void SRipTrack::CloseAu() {
    if (open_ && building_.Packets > 0)
        Aus.push_back(building_);
    else if (open_)
        Runs.resize(building_.FirstRun);
    open_ = false;
}

// ---- Track lists ----------------------------------------------------------------------------

std::vector<SRipTrack*> SRipTracks::Pointers() const {
    std::vector<SRipTrack*> list;
    for (const auto& track : Tracks) list.push_back(track.get());
    return list;
}

namespace {

bool HasTrackForPid(const SRipTracks& tracks, int pid) {
    for (const auto& track : tracks.Tracks) {
        if (!track->SubPath && track->SourcePid == pid)
            return true;
    }
    return false;
}

bool IsSecondaryPid(int pid) {
    const int category = ClassifyPid(pid);
    return category == kPidSecondaryAudio || category == kPidSecondaryVideo;
}

std::unique_ptr<SRipTrack> NewTrack(int pid, int clipNumber, const std::string& streamPath,
                                    int order) {
    auto track = std::make_unique<SRipTrack>();
    track->SourcePid = pid;
    track->PID = pid;
    track->ClipNumber = clipNumber;
    track->StreamPath = streamPath;
    track->Order = order;
    track->Primary = !IsSecondaryPid(pid);
    return track;
}

}  // namespace

void AddTracksFromClip(const CLPI& clip, int clipNumber, const std::string& streamPath,
                       SRipTracks& tracks) {
    int order = int(tracks.Tracks.size());
    for (const STREAM_INFO* info : clip.ProgramInfo.Streams.Records()) {
        if (HasTrackForPid(tracks, info->StreamPID))
            continue;
        auto track = NewTrack(info->StreamPID, clipNumber, streamPath, order++);
        track->Attributes = *info;
        track->SetLanguageByCode(info->Language());
        tracks.Tracks.push_back(std::move(track));
    }
}

void AddTracksFromPmt(const PMT& pmt, int clipNumber, const std::string& streamPath,
                      SRipTracks& tracks) {
    int order = int(tracks.Tracks.size());
    for (const ESI* esi : pmt.Streams.Children()) {
        if (!IsElementaryPid(esi->ElementaryPid) || HasTrackForPid(tracks, esi->ElementaryPid))
            continue;
        auto track = NewTrack(esi->ElementaryPid, clipNumber, streamPath, order++);
        AttributesFromEsi(*esi, track->Attributes);
        track->Attributes.StreamPID = esi->ElementaryPid;
        track->SetLanguageByCode(track->Attributes.Language());
        track->SourceEsi = std::make_unique<ESI>();
        track->SourceEsi->Copy(*esi);
        tracks.Tracks.push_back(std::move(track));
    }
}

void AddTracksFromPlaylist(const StnTable& table, int clipNumber, const std::string& streamPath,
                           SRipTracks& tracks) {
    int order = int(tracks.Tracks.size());
    auto add = [&](const PRIMARY_STREAM_ENTRY& entry, bool secondary) {
        const STREAM_ENTRY& stream = entry.StreamEntry;
        auto track = NewTrack(stream.Pid(), clipNumber, streamPath, order++);
        if (secondary)
            track->Primary = false;
        track->SubPath = stream.RefersToSubPath();
        STREAM_INFO& info = track->Attributes;
        const STREAM_ATTRIBUTES& a = entry.StreamAttributes;
        info.StreamPID = stream.Pid();
        info.StreamCodingType = a.StreamCodingType;
        switch (a.GetKind()) {
            case STREAM_ATTRIBUTES::kindVideo:
                info.VideoFormat = a.VideoFormat();
                info.FrameRate = a.FrameRate();
                info.AspectRatio = 3;
                break;
            case STREAM_ATTRIBUTES::kindAudio:
                info.PresentationType = a.PresentationType();
                info.SamplingFrequency = a.SamplingFrequency();
                break;
            case STREAM_ATTRIBUTES::kindText:
                info.CharacterCode = a.CharacterCode();
                break;
            default:
                break;
        }
        const std::string language = a.LanguageCode();
        if (language.size() == 3)
            std::copy(language.begin(), language.end(), info.LanguageCode.begin());
        track->SetLanguageByCode(info.Language());
        tracks.Tracks.push_back(std::move(track));
    };
    for (const auto* e : table.PrimaryVideo.Children()) add(*e, false);
    for (const auto* e : table.PrimaryAudio.Children()) add(*e, false);
    for (const auto* e : table.PG.Children()) add(*e, false);
    for (const auto* e : table.IG.Children()) add(*e, false);
    for (const auto* e : table.SecondaryAudio.Children()) add(*e, true);
    for (const auto* e : table.SecondaryVideo.Children()) add(*e, true);
    for (const auto* e : table.PiPPG.Children()) add(*e, false);
}

int ClipNumberOf(const std::string& streamPath) {
    const std::string name = PathFileName(streamPath);
    if (name.size() < 5 || (name.size() > 5 && name[5] != '.'))
        return -1;
    int number = 0;
    for (int i = 0; i < 5; ++i) {
        if (name[size_t(i)] < '0' || name[size_t(i)] > '9')
            return -1;
        number = number * 10 + (name[size_t(i)] - '0');
    }
    return number;
}

bool AddTracksForStream(const std::string& streamPath, bool useClipInfo, SRipTracks& tracks) {
    const int clipNumber = ClipNumberOf(streamPath);
    CFile file;
    FileError error(streamPath, 0);
    if (!file.Open(streamPath, CFile::modeRead, &error)) {
        ShowMessage(streamPath + ":\n" + error.Description());
        return false;
    }
    try {
        tracks.Pmt = ReadPmt(file);
    } catch (const FileError& failure) {
        ShowMessage(streamPath + ":\n" + failure.Description());
        return false;
    }
    const size_t before = tracks.Tracks.size();
    const std::string clipPath = ClipInfoPathFor(streamPath);
    if (useClipInfo && FileExists(clipPath)) {
        try {
            const std::vector<uint8_t> data = ReadWholeFile(clipPath);
            CLPI clip;
            if (clip.Parse(data.data(), data.size(), false) > 0)
                AddTracksFromClip(clip, clipNumber, streamPath, tracks);
            else
                ShowMessage("Stream parse error:\n" + clipPath);
        } catch (const FileError& failure) {
            ShowMessage(clipPath + ":\n" + failure.Description());
        }
    }
    if (tracks.Tracks.size() == before && tracks.Pmt)
        AddTracksFromPmt(*tracks.Pmt, clipNumber, streamPath, tracks);
    if (tracks.Tracks.size() == before) {
        ShowMessage(streamPath +
                    ":\nThe stream file holds no elementary stream a clip can carry. ");
        return false;
    }
    return true;
}

// ---- Scan -----------------------------------------------------------------------------------

namespace {

// The source packets [first, end) of a file, block by block: straight from a mapping of the file
// when it maps (no copy), else read into a buffer. A block holds whole packets only.
class PacketBlocks {
public:
    PacketBlocks(CFile& file, int64_t first, int64_t end) : file_(file), next_(first), end_(end) {
        if (!mapping_.Map(file)) {
            buffer_.resize(
                size_t(std::min<uint64_t>(kScanBlock, uint64_t(end - first) * kSourcePacketSize)));
            file.Seek(first * int64_t(kSourcePacketSize), CFile::begin);
        }
    }
    bool Next(const uint8_t** data, size_t* packets) {
        // The block scanned last leaves the process's memory (the file stays in the page
        // cache): a scan holds one block at a time, however large the file.
        if (mapping_.IsMapped() && *data != nullptr)
            mapping_.Release(*data, *packets * kSourcePacketSize);
        const int64_t want =
            std::min<int64_t>(int64_t(kScanBlock / kSourcePacketSize), end_ - next_);
        if (want <= 0)
            return false;
        if (mapping_.IsMapped()) {
            *data = mapping_.Data() + uint64_t(next_) * kSourcePacketSize;
            *packets = size_t(want);
        } else {
            const size_t got = file_.Read(buffer_.data(), size_t(want) * kSourcePacketSize);
            *data = buffer_.data();
            *packets = got / kSourcePacketSize;
            if (*packets < size_t(want))
                end_ = next_ + int64_t(*packets);  // the file ended early
        }
        next_ += int64_t(*packets);
        return *packets > 0;
    }

private:
    CFile& file_;
    CMappedFile mapping_;
    std::vector<uint8_t> buffer_;
    int64_t next_;
    int64_t end_;
};

}  // namespace

namespace {

// PG: a stream must end with a display set that clears the screen, or its last subtitle would
// stay up. The tail behind the END segment that closes the last clearing display set goes.
void TrimPgTail(SRipTrack& track) {
    auto& aus = track.Aus;
    int clearing = -1;
    for (int i = int(aus.size()) - 1; i >= 0; --i) {
        const SRipAuRecord& au = aus[size_t(i)];
        if (au.SegmentType() == segment_type::kPcs && (au.Flags & rip_flags::kNoObjects)) {
            clearing = i;
            break;
        }
    }
    int cut = -1;
    if (clearing >= 0) {
        for (size_t i = size_t(clearing) + 1; i < aus.size(); ++i) {
            if (aus[i].SegmentType() == segment_type::kEnd) {
                cut = int(i) + 1;
                break;
            }
        }
    }
    if (cut < 0) {
        if (!aus.empty())
            ShowMessage("The PG track " + track.Describe(false) +
                        " does not end with a display set that clears the screen: it is kept "
                        "whole. ");
        return;
    }
    for (size_t i = size_t(cut); i < aus.size(); ++i)
        track.PacketCount -= std::min<uint64_t>(track.PacketCount, aus[i].Packets);
    if (size_t(cut) < aus.size()) {
        track.Runs.resize(aus[size_t(cut)].FirstRun);
        aus.resize(size_t(cut));
    }
}

}  // namespace

int ScanClip(const std::vector<SRipTrack*>& tracks, CFile& source, int64_t first, int64_t end,
             const ProgressCallback& progress, std::optional<uint64_t>* firstPts,
             std::optional<uint64_t>* firstVideoPts) {
    const uint64_t length = source.GetLength();
    const int64_t packets = int64_t(length / kSourcePacketSize);
    if (end < 0 || end > packets)
        end = packets;
    if (first < 0 || first >= end)
        return resultError;

    std::array<SRipTrack*, 0x2000> byPid{};
    bool countPackets = true;
    for (SRipTrack* track : tracks) {
        track->ClearAus();
        byPid[size_t(track->SourcePid & 0x1FFF)] = track;
        if (track->PacketCount != 0)
            countPackets = false;
    }
    auto clearAll = [&] {
        for (SRipTrack* track : tracks) track->ClearAus();
    };
    if (progress.function) {
        progress.Title("Parsing");
        progress.Status(PathFileName(source.GetFilePath()));
    }

    // The PMT entries of the stream go to the tracks of their PIDs (not to sub-path tracks).
    if (std::unique_ptr<PMT> pmt = ReadPmt(source)) {
        for (SRipTrack* track : tracks) {
            if (track->SubPath)
                continue;
            if (const ESI* esi = pmt->FindStream(track->SourcePid)) {
                track->SourceEsi = std::make_unique<ESI>();
                track->SourceEsi->Copy(*esi);
            }
        }
    }

    PacketBlocks blocks(source, first, end);
    const uint64_t total = uint64_t(end - first) * kSourcePacketSize;
    uint64_t done = 0;
    int64_t index = first;
    PES_Packet pes;
    const uint8_t* block = nullptr;
    size_t whole = 0;
    while (blocks.Next(&block, &whole)) {
        for (size_t k = 0; k < whole; ++k, ++index) {
            const uint8_t* p = block + k * kSourcePacketSize + kSourcePacketHeaderSize;
            if (p[0] != kSyncByte)
                continue;
            const int pid = ((p[1] & 0x1F) << 8) | p[2];
            SRipTrack* track = byPid[size_t(pid)];
            if (track == nullptr || !IsElementaryPid(pid))
                continue;
            if (countPackets)
                ++track->PacketCount;
            if (!track->Enabled)
                continue;
            if (p[1] & 0x40) {
                const size_t offset = PayloadOffset(p);
                const uint8_t* data = p + offset;
                const size_t size = kTransportPacketSize - offset;
                const int32_t header = size > 0 ? pes.Parse(data, size) : 0;
                if (header > 0 && pes.HasPts()) {
                    // A decoding time after the presentation time is damage: the PTS stands.
                    const uint64_t dts =
                        pes.PTS_DTS_Flag == 3 && pes.DTS <= pes.PTS ? pes.DTS : pes.PTS;
                    uint32_t flags = 0;
                    const uint8_t* es = data + header;
                    const size_t esSize = size - size_t(header);
                    const uint8_t type = track->GetCodingType();
                    if (IsGraphicsType(type)) {
                        flags = GraphicsFlags(es, esSize);
                    } else if (IsVideoType(type)) {
                        if (StartsRandomAccess(type, es, esSize))
                            flags |= rip_flags::kRandomAccess;
                        if (firstVideoPts && !firstVideoPts->has_value())
                            *firstVideoPts = pes.PTS;
                    }
                    if (pes.StreamID == 0xFD && !pes.PES_ExtensionField.empty() &&
                        (pes.PES_ExtensionField[0] & 0x7F) == 0x72)
                        flags |= rip_flags::kExtensionLayer;
                    if (firstPts && !firstPts->has_value())
                        *firstPts = pes.PTS;
                    track->BeginAu(pes.PTS, dts, flags);
                }
            }
            track->AddPacket(uint32_t(index));
        }
        done += whole * kSourcePacketSize;
        if (progress.function &&
            !progress.Percent(int(std::min<uint64_t>(100, total ? done * 100 / total : 100)))) {
            clearAll();
            return resultCancelled;
        }
    }
    for (SRipTrack* track : tracks) {
        track->CloseAu();
        if (track->GetCodingType() == coding::kPg && track->Enabled)
            TrimPgTail(*track);
    }
    progress.Percent(100);
    return resultSuccess;
}

void DetectAttributes(SRipTrack& track, CFile& file) {
    STREAM_INFO& info = track.Attributes;
    const StreamCategory category = CategoryOf(info.StreamCodingType);
    const bool video = category == StreamCategory::video;
    const bool audio = category == StreamCategory::audio;
    if ((video && info.VideoFormat != 0 && info.FrameRate != 0) ||
        (audio && info.PresentationType != 0 && info.SamplingFrequency != 0) || (!video && !audio))
        return;
    std::vector<uint8_t> packets;
    // The first AUs: a video stream may begin before its first sequence header.
    const size_t tries = std::min<size_t>(track.Aus.size(), video ? 64 : 4);
    for (size_t i = 0; i < tries; ++i) {
        try {
            if (!track.ReadAu(file, track.Aus[i], packets))
                return;
        } catch (const FileError&) {
            return;
        }
        const std::vector<uint8_t> payload = AuPayload(packets.data(), packets.size(), 1 << 20);
        if (video) {
            VideoAttributes attributes;
            if (ReadVideoAttributes(info.StreamCodingType, payload.data(), payload.size(),
                                    &attributes)) {
                info.VideoFormat = attributes.VideoFormat;
                info.FrameRate = attributes.FrameRate;
                info.AspectRatio = attributes.AspectRatio;
                return;
            }
        } else if (info.StreamCodingType == coding::kLpcm) {
            if (ReadLpcmAttributes(payload.data(), payload.size(), &info.PresentationType,
                                   &info.SamplingFrequency))
                return;
        } else if (ReadAc3Attributes(payload.data(), payload.size(), &info.PresentationType,
                                     &info.SamplingFrequency)) {
            return;
        }
    }
}

// ---- Clip information -----------------------------------------------------------------------

int MakeClipInfo(SRipTracks& tracks, CFile& stream, std::unique_ptr<CLPI>* clip,
                 const ProgressCallback& progress) {
    if (tracks.Tracks.empty())
        return resultError;
    std::vector<int> pids;
    MuxTrackList ordered;
    for (const auto& track : tracks.Tracks) {
        pids.push_back(track->SourcePid);
        track->PID = track->SourcePid;  // an existing file keeps its PIDs
        ordered.push_back(track.get());
    }
    std::stable_sort(ordered.begin(), ordered.end(),
                     [](const SMuxTrack* a, const SMuxTrack* b) { return a->PID < b->PID; });
    uint64_t rate = TransportRate(stream);
    if (rate < kMinMuxRate || rate > kMaxMuxRate)
        rate = kDefaultTransportRate;
    const uint8_t applicationType = ApplicationType(pids, rate);
    ChooseKeyPointTracks(ordered, applicationType);

    std::vector<bool> enabled;
    for (const auto& track : tracks.Tracks) {
        enabled.push_back(track->Enabled);
        if (track->CollectsKeyPoints)
            track->Enabled = true;
    }
    auto restore = [&] {
        for (size_t i = 0; i < tracks.Tracks.size(); ++i) tracks.Tracks[i]->Enabled = enabled[i];
    };
    const int result = ScanClip(tracks.Pointers(), stream, 0, -1, progress);
    if (result != resultSuccess) {
        restore();
        return result;
    }

    // Attributes the PMT left open come from the streams themselves.
    for (const auto& track : tracks.Tracks) {
        if (track->Enabled)
            DetectAttributes(*track, stream);
    }
    auto record = std::make_unique<CLPI>();
    record->ClipInfo.ApplicationType = applicationType;
    record->ClipInfo.TsRecordingRate = uint32_t(rate / 8);
    record->ClipInfo.NumberOfSourcePackets = uint32_t(stream.GetLength() / kSourcePacketSize);
    STC_INFO stc;
    std::unique_ptr<PMT> pmt = ReadPmt(stream);
    stc.PcrPid = pmt ? pmt->PcrPid : uint16_t(pid::kPcr);
    if (auto stamps = FirstTimeStamps(stream))
        stc.StartPTS = uint32_t(stamps->PTS / 2);
    if (auto last = LastPresentationTime(stream))
        stc.EndPTS = uint32_t(*last / 2);
    record->SequenceInfo.NumberOfAtcSequences = 1;
    record->SequenceInfo.StcSequences.Add(stc);
    for (bool primary : {true, false}) {
        for (SMuxTrack* track : ordered) {
            if (track->Primary != primary)
                continue;
            STREAM_INFO info;
            track->FillStreamInfo(info);
            record->ProgramInfo.Streams.Add(info);
        }
    }
    for (SMuxTrack* track : ordered) {
        if (!track->CollectsKeyPoints)
            continue;
        auto entry = std::make_unique<STREAM_PID_ENTRY>();
        entry->StreamPid = uint16_t(track->PID);
        entry->EpStreamType = track->EpStreamType;
        static_cast<SRipTrack*>(track)->CollectKeyPoints(entry->KeyPoints);
        record->Cpi.EpMap.Add(std::move(entry));
    }
    restore();
    *clip = std::move(record);
    return resultSuccess;
}

std::string ClipInfoPathFor(const std::string& streamPath) {
    const std::string folder = PathFolder(streamPath);
    const std::string parent = PathFolder(folder);
    std::string name = PathFileName(streamPath);
    const std::string extension = PathExtension(name);
    if (!extension.empty())
        name.resize(name.size() - extension.size() - 1);
    if (EqualsNoCase(PathFileName(folder), "STREAM") && EqualsNoCase(PathFileName(parent), "BDMV"))
        return parent + "/CLIPINF/" + name + ".clpi";
    return (folder.empty() ? std::string() : folder + "/") + name + ".clpi";
}

int WriteClipInfo(CLPI& clip, const std::string& path, bool overwrite) {
    if (!overwrite && FileExists(path)) {
        ShowMessage(path + " already exists: it is left as it is. ");
        return resultError;
    }
    try {
        std::vector<uint8_t> image;
        clip.Build(&image);
        WriteWholeFileAtomic(path, image);
    } catch (const FileError& error) {
        ShowMessage(error.Path() + ": " + error.Description());
        return resultError;
    }
    return resultSuccess;
}

}  // namespace vx
