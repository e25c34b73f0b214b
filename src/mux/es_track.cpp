#include "mux/es_track.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "foundation/language.h"
#include "graphics/gs_sif.h"
#include "graphics/standard_parsers.h"
#include "mux/es_attributes.h"
#include "mux/muxer.h"
#include "streams/audio_sif.h"
#include "streams/coding_types.h"

namespace vx {

namespace {

int64_t clipStartTime = kDefaultClipStartTime;

constexpr uint64_t kTimeMask = 0x1FFFFFFFFull;  // 33 bits
constexpr uint64_t kAudioKeyPointStep = 45000;  // 0.5 s
constexpr uint32_t kEac3ExtensionFlag = 1;      // AU flag of an E-AC-3 frame behind a core
constexpr uint8_t kBaseLayerExtension = 0x71;   // PES stream id extensions
constexpr uint8_t kExtensionLayerExtension = 0x72;

bool HasPesExtension(uint8_t codingType) {
    return codingType == coding::kAc3 || codingType == coding::kTrueHd ||
           codingType == coding::kEac3 || codingType == coding::kEac3Secondary;
}

uint8_t StreamIdOf(uint8_t codingType) {
    if (codingType == coding::kMpeg2Video || codingType == coding::kAvc)
        return 0xE0;
    if (HasPesExtension(codingType))
        return 0xFD;
    if (codingType == coding::kTextSubtitle)
        return 0xBF;
    return 0xBD;  // LPCM, PG, IG
}

uint64_t FileSizeOf(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 ? uint64_t(st.st_size) : 0;
}

}  // namespace

int64_t ClipStartTime() {
    return clipStartTime;
}

void SetClipStartTime(int64_t ticks) {
    clipStartTime = ticks;
}

// ---- CSource --------------------------------------------------------------------------------

void CSource::Copy(const CNamedObject& source) {
    CNamedObject::Copy(source);
    if (auto* other = dynamic_cast<const CSource*>(&source)) {
        FilePath = other->FilePath;
        CompanionPath = other->CompanionPath;
        Language = other->Language;
        ExtraAttributes = other->ExtraAttributes;
    }
}

uint64_t CSource::GetSize() const {
    return FileSizeOf(FilePath) + FileSizeOf(CompanionPath);
}

// ---- Pipes ----------------------------------------------------------------------------------

CPipe::~CPipe() = default;

void CPipe::Reset() {
    counter_ = 0;
}

struct CFilePipe::Context {
    CStreamInfo info;
    CFile file;
    bool companion = false;
    uint32_t next = 0;  // index of the AU to read next
    bool hasUnit = false;
    SIF_AU au;
    std::vector<uint8_t> data;
    size_t readPos = 0;
    // LPCM: the audio data header of every PES packet, and the sample size for byte order.
    bool lpcm = false;
    std::array<uint8_t, 4> lpcmHeader{};
    int sampleBytes = 2;
};

CFilePipe::CFilePipe(const CSource& source) {
    source_ = &source;
}

CFilePipe::~CFilePipe() = default;

void CFilePipe::Reset() {
    CPipe::Reset();
    main_.reset();
    companion_.reset();
    current_ = nullptr;
    started_ = false;
    endGiven_ = false;
}

int CFilePipe::Open(const ProgressCallback& progress) {
    Reset();
    auto open = [&](const std::string& path, bool companion) -> std::unique_ptr<Context> {
        auto context = std::make_unique<Context>();
        context->companion = companion;
        if (OpenStreamInfo(path, progress, context->info) != 0)
            return nullptr;
        FileError error(path, 0);
        if (!context->file.Open(path, CFile::modeRead, &error)) {
            ShowMessage(path + ":\n" + error.Description());
            return nullptr;
        }
        if (auto* lpcm = dynamic_cast<const CLpcmSif*>(context->info.Data.get())) {
            const PCM_WAVE_FORMAT& f = lpcm->Format;
            context->lpcm = true;
            context->sampleBytes = f.BitsPerSample / 8;
            const uint16_t size = uint16_t(f.AvgBytesPerSec / 200);
            context->lpcmHeader = {
                uint8_t(size >> 8), uint8_t(size),
                uint8_t(lpcm->GetChannelAssignment() << 4 | lpcm->GetSamplingFrequency()),
                uint8_t(lpcm->GetBitsCode() << 6)};
        }
        return context;
    };
    main_ = open(source_->FilePath, false);
    if (!main_)
        return resultError;
    codingType_ = main_->info.CodingType();
    unitDuration_ = main_->info.Header.AuDuration;
    if (!source_->CompanionPath.empty()) {
        companion_ = open(source_->CompanionPath, true);
        if (!companion_) {
            main_.reset();  // a pipe whose companion fails keeps no context open
            return resultError;
        }
    }
    return resultSuccess;
}

const CStreamInfo& CFilePipe::MainInfo() const {
    return main_->info;
}

const CStreamInfo& CFilePipe::DescribingInfo() const {
    return companion_ ? companion_->info : main_->info;
}

uint64_t CFilePipe::TotalBytes() const {
    return (main_ ? main_->info.Header.DataLength : 0) +
           (companion_ ? companion_->info.Header.DataLength : 0);
}

bool CFilePipe::Advance(Context& c) {
    c.hasUnit = false;
    c.readPos = 0;
    c.data.clear();
    if (c.next >= c.info.AuCount() || !c.info.GetAu(c.next, c.au))
        return false;
    ++c.next;
    c.data.resize(c.au.Size);
    try {
        c.file.Seek(int64_t(c.au.Offset), CFile::begin);
        if (c.file.Read(c.data.data(), c.data.size()) != c.data.size())
            return false;
    } catch (const FileError&) {
        return false;
    }
    if (c.lpcm) {
        // WAV samples are little-endian, disc LPCM samples big-endian.
        const size_t step = size_t(c.sampleBytes);
        for (size_t i = 0; step >= 2 && i + step <= c.data.size(); i += step)
            std::swap(c.data[i], c.data[i + step - 1]);
    }
    c.hasUnit = true;
    return true;
}

const SPipeUnit* CFilePipe::NextUnit() {
    if (!main_)
        return nullptr;
    if (!started_) {
        started_ = true;
        Advance(*main_);
        if (companion_)
            Advance(*companion_);
    } else if (current_ != nullptr) {
        lastDts_ = current_->au.Dts ? current_->au.Dts : current_->au.Pts;
        lastPts_ = current_->au.Pts;
        Advance(*current_);
    } else {
        return nullptr;  // the end unit was given
    }
    current_ = nullptr;
    if (main_->hasUnit)
        current_ = companion_ && companion_->hasUnit && companion_->au.Pts < main_->au.Pts
                       ? companion_.get()
                       : main_.get();
    else if (companion_ && companion_->hasUnit)
        current_ = companion_.get();
    if (current_ == nullptr) {
        const bool timed = IsVideoType(codingType_) || IsAudioType(codingType_);
        if (!timed || endGiven_)
            return nullptr;
        endGiven_ = true;
        const uint64_t step = uint64_t(unitDuration_ * 90.0 + 0.5);
        unit_ = {};
        unit_.End = true;
        unit_.PTS = lastPts_ + step;
        unit_.DTS = lastDts_ + step;
        return &unit_;
    }
    unit_ = {};
    unit_.Flags = current_->au.Flags;
    unit_.DTS = current_->au.Dts;
    unit_.PTS = current_->au.Pts;
    unit_.Size = current_->au.Size;
    unit_.Companion = current_->companion;
    return &unit_;
}

uint32_t CFilePipe::PacketCount(uint8_t codingType, uint32_t size, bool withDts) {
    if (size == 0)
        return 0;
    uint32_t first = withDts ? 165 : 170;
    if (codingType == coding::kLpcm)
        first -= 4;
    if ((codingType >= coding::kAc3 && codingType <= coding::kDtsHdXll) ||
        codingType == coding::kEac3Secondary || codingType == coding::kDtsHdSecondary ||
        codingType == coding::kVc1)
        first -= 3;
    return size <= first ? 1 : 1 + (size - first + 183) / 184;
}

bool CFilePipe::WriteNextPacket(uint8_t* out, uint32_t* payload) {
    Context* c = current_;
    if (c == nullptr || c->readPos >= c->data.size())
        return false;
    const uint8_t type = c->companion ? companion_->info.CodingType() : codingType_;
    const size_t remaining = c->data.size() - c->readPos;
    const bool first = c->readPos == 0;

    TransportPacket packet;
    packet.PID = PID;
    packet.PayloadUnitStartIndicator = first ? 1 : 0;
    packet.ContinuityCounter = counter_;
    packet.AdaptationFieldControl = 1;
    // Two-layer and AC-3 family audio: the stream id extension names the layer, the transport
    // priority tells it apart without parsing the PES header.
    uint8_t extension = 0;
    if (HasPesExtension(codingType_)) {
        const bool extensionLayer =
            c->companion || codingType_ == coding::kEac3Secondary ||
            (codingType_ == coding::kEac3 && (c->au.Flags & kEac3ExtensionFlag) != 0);
        extension = extensionLayer ? kExtensionLayerExtension : kBaseLayerExtension;
        packet.TransportPriority = extensionLayer ? 0 : 1;
    }
    size_t lpcmBytes = 0;
    size_t headerBytes = 0;  // PES header and LPCM header in this packet
    if (first) {
        auto pes = std::make_unique<PES_Packet>();
        pes->StreamID = StreamIdOf(type);
        const uint8_t segment = c->data.empty() ? 0 : c->data[0];
        const bool withDts = IsGraphicsType(type) && segment >= 0x15 && segment <= 0x18;
        pes->PTS_DTS_Flag = withDts ? 3 : 2;
        pes->PTS = (c->au.Pts + uint64_t(Offset)) & kTimeMask;
        pes->DTS = ((c->au.Dts ? c->au.Dts : c->au.Pts) + uint64_t(Offset)) & kTimeMask;
        if (extension != 0) {
            pes->PES_ExtensionFlag = 1;
            pes->PES_ExtensionFlag2 = 1;
            pes->PES_ExtensionFieldLength = 1;
            pes->PES_ExtensionField = {extension};
        }
        lpcmBytes = c->lpcm ? 4 : 0;
        const size_t afterLength = (withDts ? 13 : 8) + (extension ? 3 : 0) + lpcmBytes;
        const size_t length = c->data.size() + afterLength;
        pes->PES_PacketLength = length < 65536 ? uint16_t(length) : 0;
        headerBytes = 6 + afterLength;
        packet.PES_Packet = std::move(pes);
    }
    const size_t room = kTransportPacketSize - 4 - headerBytes;
    if (remaining < room)
        packet.SetStuffing(int(room - remaining));
    std::memset(out, 0xFF, kTransportPacketSize);
    const int32_t written = packet.Write(out);
    if (written <= 0)
        return false;
    size_t at = size_t(written);
    if (lpcmBytes) {
        std::memcpy(out + at, c->lpcmHeader.data(), lpcmBytes);
        at += lpcmBytes;
    }
    const size_t take = std::min(remaining, kTransportPacketSize - at);
    std::memcpy(out + at, c->data.data() + c->readPos, take);
    c->readPos += take;
    const uint8_t control = (out[3] >> 4) & 3;
    *payload = uint32_t(kTransportPacketSize - 4 - ((control & 2) ? 1 + out[4] : 0));
    counter_ = uint8_t((counter_ + 1) & 0x0F);
    return true;
}

int OpenPipe(const CSource& source, const ProgressCallback& progress,
             std::unique_ptr<CFilePipe>* pipe) {
    auto opened = std::make_unique<CFilePipe>(source);
    const int result = opened->Open(progress);
    if (result == resultSuccess)
        *pipe = std::move(opened);
    return result;
}

// ---- SRawTrack ------------------------------------------------------------------------------

SRawTrack::SRawTrack(const CSource& source, const CStreamInfo& info)
    : info_(std::make_unique<CStreamInfo>()) {
    info_->Header = info.Header;
    info_->Data = info.Data ? info.Data->Clone() : nullptr;
    Source.Copy(source);
    Language = IndexOfCode(std::string(source.Language.data(), 3));
    au_.track = this;
}

SRawTrack::~SRawTrack() = default;

uint8_t* SRawTrack::RawAu::NextPacket(uint32_t* payload) {
    if (exhausted)
        return nullptr;
    if (!track->pipe_->WriteNextPacket(packet + 4, payload)) {
        exhausted = true;
        return nullptr;
    }
    exhausted = !track->pipe_->HasBytesLeft();
    return packet;
}

bool CFilePipe::HasBytesLeft() const {
    return current_ != nullptr && current_->readPos < current_->data.size();
}

std::string SRawTrack::Describe(bool withFolder) const {
    std::string text = withFolder ? Source.FilePath : PathFileName(Source.FilePath);
    if (!IsVideo())
        text += ", " + GetLanguageText();
    return text;
}

std::string SRawTrack::GetAttributeText() const {
    if (info_) {
        if (auto* gs = dynamic_cast<const SGsSif*>(info_->Data.get())) {
            static const char* const kRates[8] = {"Reserved", "23.976",   "24", "25",
                                                  "29.97",    "Reserved", "50", "59.94"};
            char text[64];
            if (gs->FrameRate < 8)
                std::snprintf(text, sizeof text, "%dx%d %s", gs->Width, gs->Height,
                              kRates[gs->FrameRate]);
            else
                std::snprintf(text, sizeof text, "%dx%d", gs->Width, gs->Height);
            return text;
        }
    }
    STREAM_INFO info;
    FillStreamInfo(info);
    return StreamAttributeText(info);
}

uint8_t SRawTrack::GetCodingType() const {
    return info_ && info_->Data ? info_->Data->GetCodingType() : 0;
}

double SRawTrack::GetFrameDuration() const {
    return IsVideo() && info_ ? info_->Header.AuDuration : 0;
}

uint64_t SRawTrack::GetSize() const {
    return Source.GetSize();
}

bool SRawTrack::IsDisplaySetStart() const {
    const uint8_t type = uint8_t(au_.Flags & 0xFF);
    return type == 0x16 || type == 0x18;
}

void SRawTrack::FillStreamInfo(STREAM_INFO& info) const {
    if (info_ && info_->Data)
        info_->Data->FillStreamInfo(info);
    info.StreamPID = uint16_t(PID);
    if (!IsVideo()) {
        const std::string code = GetLanguageText();
        if (code.size() == 3)
            std::copy(code.begin(), code.end(), info.LanguageCode.begin());
    }
    info.ISRC = Source.ExtraAttributes;
}

void SRawTrack::FillEsi(ESI& esi) const {
    if (info_ && info_->Data)
        info_->Data->FillEsi(esi);
    esi.ElementaryPid = uint16_t(PID);
    const std::string code = GetLanguageText();
    if (!IsVideo() && code.size() == 3) {
        ISO639_LANGUAGE_DESCRIPTOR language;
        std::copy(code.begin(), code.end(), language.Language.begin());
        esi.Iso639LanguageDescriptor = language;
    }
}

void SRawTrack::FillStreamAttributes(STREAM_ATTRIBUTES& attributes) const {
    if (info_ && info_->Data)
        info_->Data->FillStreamAttributes(attributes);
    attributes.SetLanguageCode(GetLanguageText());
}

bool SRawTrack::MakeDescriptions() {
    Descriptions = info_ && info_->Data ? info_->Data->MakeDescriptions() : StdList{};
    if (Descriptions.empty()) {
        ShowMessage("The track " + Describe(true) + " has no coding type a clip can carry. ");
        return false;
    }
    for (auto& description : Descriptions) description->SetPrimary(Primary);
    return true;
}

bool SRawTrack::IsKeyPoint(const SPipeUnit& unit) {
    const StreamCategory category = CategoryOf(GetCodingType());
    bool key = false;
    if (category == StreamCategory::audio) {
        key = !unit.Companion && (!haveKeyPoint_ || unit.PTS >= lastKeyPts_ + kAudioKeyPointStep);
    } else if (category == StreamCategory::pg || category == StreamCategory::ig) {
        const uint8_t type = uint8_t(unit.Flags & SIF_AU::kSegmentTypeMask);
        key = (type == 0x16 || type == 0x18) && (unit.Flags & SIF_AU::kCompositionStateMask) != 0;
    } else if (category == StreamCategory::video) {
        key = (unit.Flags & SIF_AU::kRandomAccess) != 0;
    }
    if (key) {
        haveKeyPoint_ = true;
        lastKeyPts_ = unit.PTS;
    }
    return key;
}

bool SRawTrack::TakeUnit(const SPipeUnit* unit) {
    haveAu_ = false;
    // The end unit marks where the stream ends; it carries no data to send.
    if (unit == nullptr || unit->End)
        return false;
    const int64_t offset = pipe_->Offset;
    const int64_t dts = unit->DTS ? int64_t(unit->DTS) + offset : 0;
    const int64_t pts = int64_t(unit->PTS) + offset;
    if (dts < 0 || pts < 0) {
        char text[160];
        std::snprintf(
            text, sizeof text, "Wrong AU's start time: DTS(%u), PTS(%u), Start Offset(%llx) ",
            unsigned(unit->DTS), unsigned(unit->PTS), static_cast<unsigned long long>(offset));
        ShowMessage(text);
        readFailed_ = true;
        return false;
    }
    au_.Flags = unit->Flags;
    au_.DTS = uint64_t(dts);
    au_.PTS = uint64_t(pts);
    au_.Size = unit->Size;
    au_.ExtensionLayer =
        Descriptions.size() > 1 &&
        (unit->Companion || (GetCodingType() == coding::kEac3 && (unit->Flags & 1) != 0));
    au_.Oversized = false;
    au_.exhausted = unit->Size == 0;
    au_.KeyPoint = CollectsKeyPoints && IsKeyPoint(*unit) ? AddKeyPoint(uint64_t(pts)) : -1;
    haveAu_ = true;
    return true;
}

bool SRawTrack::Prepare() {
    Release();
    ResetPass();
    haveKeyPoint_ = false;
    if (OpenPipe(Source, {}, &pipe_) != resultSuccess)
        return false;
    info_ = std::make_unique<CStreamInfo>();
    info_->Header = pipe_->DescribingInfo().Header;
    info_->Data = pipe_->DescribingInfo().Data ? pipe_->DescribingInfo().Data->Clone() : nullptr;
    pipe_->PID = PID;
    pipe_->Offset = ClipStartTime() - int64_t(kStreamStartTicks);
    if (!MakeDescriptions())
        return false;
    const SPipeUnit* first = pipe_->NextUnit();
    if (!TakeUnit(first) && readFailed_)
        return false;
    return true;
}

void SRawTrack::Release() {
    pipe_.reset();
    haveAu_ = false;
}

SAuBase* SRawTrack::CurrentAu() {
    return haveAu_ ? &au_ : nullptr;
}

FirstAuInfo SRawTrack::GetFirstAuInfo() const {
    FirstAuInfo info;
    SIF_AU au;
    if (info_ == nullptr)
        return info;
    if (pipe_ && pipe_->MainInfo().GetAu(0, au)) {
        info.DTS = au.Dts;
        info.PTS = au.Pts;
        const uint8_t segment = uint8_t(au.Flags & 0xFF);
        info.Packets = CFilePipe::PacketCount(
            GetCodingType(), au.Size,
            IsGraphicsType(GetCodingType()) && segment >= 0x15 && segment <= 0x18);
    }
    return info;
}

bool SRawTrack::NextAu() {
    if (!pipe_)
        return false;
    return TakeUnit(pipe_->NextUnit());
}

std::unique_ptr<SRawTrack> OpenRawTrack(const std::string& path, const ProgressCallback& progress) {
    CSource source;
    source.FilePath = path;
    std::string extension = PathExtension(path);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return char(std::tolower(c)); });
    if (extension == "thd" || extension == "mlp") {
        const std::string ac3 = path.substr(0, path.size() - extension.size()) + "ac3";
        if (!FileExists(ac3)) {
            ShowMessage(path + "\r\n" + "Corresponding ac3 file doesn't exist! ");
            return nullptr;
        }
        source.FilePath = ac3;
        source.CompanionPath = path;
    }
    std::unique_ptr<CFilePipe> pipe;
    if (OpenPipe(source, progress, &pipe) != resultSuccess)
        return nullptr;
    const CStreamInfo& info = pipe->DescribingInfo();
    const uint8_t type = info.CodingType();
    // "movie_deu.ac3": an audio or PG file may name its language behind an underscore.
    std::string stem = PathFileName(source.FilePath);
    const size_t dot = stem.rfind('.');
    if (dot != std::string::npos)
        stem.resize(dot);
    if ((IsAudioType(type) || type == coding::kPg) && stem.size() >= 4 &&
        stem[stem.size() - 4] == '_') {
        const std::string code = CodeOf(IndexOfCode(stem.substr(stem.size() - 3)));
        std::copy(code.begin(), code.begin() + 3, source.Language.begin());
    }
    if (info.Data && info.Data->IsSecondaryOnly()) {
        ShowMessage(path + "\r\n" +
                    "E-AC-3 without an AC-3 core can only be a secondary audio stream. ");
        return nullptr;
    }
    auto track = std::make_unique<SRawTrack>(source, info);
    track->Primary = true;
    return track;
}

// ---- CClip ----------------------------------------------------------------------------------

bool CClip::MakeMenuClip() {
    if (Kind == kMenuClip)
        return false;
    for (auto& list : Lists) list.reset();
    Prepared.clear();
    Kind = kMenuClip;
    Lists[3] = std::make_unique<CTracks>();
    return true;
}

int CClip::AddSource(const CSource& source) {
    std::unique_ptr<CFilePipe> pipe;
    const int result = OpenPipe(source, {}, &pipe);
    if (result != resultSuccess)
        return result;
    const uint8_t type = pipe->DescribingInfo().CodingType();
    const int list = PidGroupOf(type, true);
    if (list == 0)
        VideoUnitDuration = pipe->UnitDuration();
    if (!Lists[size_t(list)])
        Lists[size_t(list)] = std::make_unique<CTracks>();
    auto track = std::make_unique<CTrack>();
    track->Source = &source;
    Lists[size_t(list)]->Add(std::move(track));
    return resultSuccess;
}

bool CClip::PrepareTracks() {
    Prepared.clear();
    for (size_t list = 0; list < Lists.size(); ++list) {
        if (!Lists[list])
            continue;
        int number = 0;
        for (const CTrack* entry : Lists[list]->Children()) {
            if (entry->Source == nullptr)
                continue;
            std::unique_ptr<CFilePipe> pipe;
            if (OpenPipe(*entry->Source, {}, &pipe) != resultSuccess)
                return false;
            auto track = std::make_unique<SRawTrack>(*entry->Source, pipe->DescribingInfo());
            track->PID = kPidGroupBases[list] + number++;
            track->Primary = list < 5;
            track->Order = int(Prepared.size());
            Prepared.push_back(std::move(track));
        }
    }
    return true;
}

int CClip::Mux(const std::string& streamPath, const std::string& clipPath,
               const ProgressCallback& progress) {
    if (!PrepareTracks())
        return resultError;
    MuxTrackList tracks;
    for (auto& track : Prepared) tracks.push_back(track.get());
    CMuxer muxer;
    muxer.SetOutput(streamPath, clipPath);
    if (!muxer.Init(uint32_t(Rate), tracks, Kind, VideoUnitDuration))
        return resultError;
    const int result = muxer.Mux(progress);
    StartTime = int32_t((muxer.StartTime() + 150) / 300);
    EndTime = int32_t((muxer.EndTime() + 150) / 300);
    return result;
}

}  // namespace vx
