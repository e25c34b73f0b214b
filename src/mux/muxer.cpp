#include "mux/muxer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "foundation/bytes.h"
#include "streams/coding_types.h"
#include "transport/pid.h"

namespace vx {

namespace {

constexpr uint64_t kClockHz = 27000000;
constexpr uint64_t kProgressStep = 0x1800000;  // report after every 24 MiB of packets

// Orders the tracks by next time, then by the DTS of their current AU, then by PID. The list is
// short and mostly in order already (only the track that just sent moved): an insertion sort,
// stable and without allocation, runs once per AU sent.
void SortByNextTime(std::vector<SMuxTrack*>& tracks) {
    auto before = [](SMuxTrack* a, SMuxTrack* b) {
        if (a->NextTime != b->NextTime)
            return a->NextTime < b->NextTime;
        const uint64_t da = a->CurrentAu()->DecodeTime();
        const uint64_t db = b->CurrentAu()->DecodeTime();
        if (da != db)
            return da < db;
        return a->PID < b->PID;
    };
    for (size_t i = 1; i < tracks.size(); ++i) {
        SMuxTrack* moving = tracks[i];
        size_t j = i;
        for (; j > 0 && before(moving, tracks[j - 1]); --j) tracks[j] = tracks[j - 1];
        tracks[j] = moving;
    }
}

uint32_t To45kHz(uint64_t ticks27MHz) {
    return uint32_t(((ticks27MHz + 150) / 300) / 2);
}

}  // namespace

uint64_t PacketTime(uint32_t rate) {
    return 1504ull * kClockHz / rate;
}

uint64_t PcrOffset(uint32_t rate) {
    return 81ull * kClockHz / rate;
}

std::string FormatSize(uint64_t sourcePackets) {
    if (sourcePackets == 0)
        return {};
    const uint64_t kb = uint64_t(double(sourcePackets) * 0.1875);
    const double mb = double(kb) / 1024.0;
    char text[64];
    if (mb > 1024)
        std::snprintf(text, sizeof text, "%.2fGB", mb / 1024.0);
    else if (mb < 1)
        std::snprintf(text, sizeof text, "%dKB", int(kb));
    else
        std::snprintf(text, sizeof text, "%.2fMB", mb);
    return text;
}

CMuxer::CMuxer() = default;
CMuxer::~CMuxer() = default;

void CMuxer::SetOutput(const std::string& streamPath, const std::string& clipPath) {
    streamPath_ = streamPath;
    clipPath_ = clipPath;
}

bool CMuxer::Init(uint32_t rate, const MuxTrackList& tracks, uint8_t applicationType,
                  double frameDuration) {
    if (rate < kMinMuxRate || rate > kMaxMuxRate) {
        ShowMessage("Wrong multiplex rate: " + std::to_string(rate) +
                    " bit/s (it must lie between 1,000,000 and 48,000,000). ");
        return false;
    }
    rate_ = rate;
    tracks_ = tracks;
    applicationType_ = applicationType;
    frameDuration_ = frameDuration;
    used_ = 0;
    packetTime_ = PacketTime(rate);
    pcrOffset_ = PcrOffset(rate);

    ChooseKeyPointTracks(tracks_, applicationType_);
    for (SMuxTrack* track : tracks_) {
        if (!track->Prepare())
            return false;
        for (auto& description : track->Descriptions) description->ResetBuffers();
    }
    if (frameDuration_ <= 0) {
        for (SMuxTrack* track : tracks_) {
            if (track->IsVideo() && track->GetFrameDuration() > 0) {
                frameDuration_ = track->GetFrameDuration();
                break;
            }
        }
    }
    // The output is gathered in one buffer of at most 18 MiB; a small clip needs less.
    uint64_t total = 0;
    for (SMuxTrack* track : tracks_) total += track->GetSize();
    const uint64_t wanted =
        (std::max<uint64_t>(total * 2, 1 << 20) / kSourcePacketSize + 1) * kSourcePacketSize;
    buffer_.assign(size_t(std::min<uint64_t>(kOutputBufferSize, wanted)), 0xFF);
    frameTicks_ = uint64_t(std::llround(frameDuration_ * 27000.0));
    pat_ = TransportPacket::MakePatPacket();
    pmt_ = TransportPacket::MakePmtPacket();
    sit_ = TransportPacket::MakeSitPacket();
    pcr_ = TransportPacket::MakePcrPacket();
    return BuildPmt();
}

bool CMuxer::BuildPmt() {
    PMT pmt;
    pmt.PrivateInfoDescriptor = privateInfo_;
    for (bool primary : {true, false}) {
        for (SMuxTrack* track : tracks_) {
            if (track->Primary != primary)
                continue;
            auto esi = std::make_unique<ESI>();
            track->FillEsi(*esi);
            esi->ElementaryPid = uint16_t(track->PID);
            pmt.Streams.Add(std::move(esi));
        }
    }
    pmtSection_.clear();
    pmt.Build(&pmtSection_);
    if (pmtSection_.size() > kMaxPmtSection) {
        ShowMessage("The program map table of " + std::to_string(tracks_.size()) +
                    " tracks takes " + std::to_string(pmtSection_.size()) +
                    " bytes, more than a section holds (1021). ");
        return false;
    }
    const size_t length = pmtSection_.size();
    pmtPackets_ = length <= 183 ? 1 : int(1 + (length - 183 + 183) / 184);
    return true;
}

uint64_t CMuxer::GridSlotAtOrAfter(uint64_t time) const {
    if (time <= lastPacketTime_)
        return lastPacketTime_ + packetTime_;
    const uint64_t steps =
        std::max<uint64_t>(1, (time - lastPacketTime_ + packetTime_ - 1) / packetTime_);
    return lastPacketTime_ + steps * packetTime_;
}

void CMuxer::AppendPacket(const uint8_t* transportPacket, uint64_t time) {
    if (used_ + kSourcePacketSize > buffer_.size())
        Flush();
    uint8_t* out = buffer_.data() + used_;
    SourcePacketHeader header;
    header.CopyPermissionIndicator = copyPermission_;
    header.ArriveTimeStamp = uint32_t(time & 0x3FFFFFFF);
    header.Write(out);
    std::memcpy(out + 4, transportPacket, kTransportPacketSize);
    used_ += kSourcePacketSize;
    ++packetCount_;
    lastPacketTime_ = time;
    clock_ = std::max(clock_, time + packetTime_);
}

void CMuxer::WritePat(uint64_t time) {
    uint8_t packet[kTransportPacketSize];
    std::memset(packet, 0xFF, sizeof packet);
    pat_->Write(packet);
    AppendPacket(packet, time);
    nextPsiTime_ = time + kPsiPeriod;
}

void CMuxer::WritePmt() {
    size_t done = 0;
    for (int i = 0; i < pmtPackets_; ++i) {
        uint8_t packet[kTransportPacketSize];
        std::memset(packet, 0xFF, sizeof packet);
        done += size_t(pmt_->WriteSectionPacket(packet, pmtSection_.data() + done,
                                                pmtSection_.size() - done, i == 0));
        AppendPacket(packet, lastPacketTime_ + packetTime_);
    }
}

void CMuxer::WriteSit() {
    uint8_t packet[kTransportPacketSize];
    std::memset(packet, 0xFF, sizeof packet);
    sit_->Write(packet);
    AppendPacket(packet, lastPacketTime_ + packetTime_);
}

void CMuxer::WritePcr(uint64_t due) {
    const uint64_t arrival = GridSlotAtOrAfter(due);
    const uint64_t value = arrival + pcrOffset_;
    pcr_->AdaptationField->PCR = ClockReference::FromTicks(value);
    uint8_t packet[kTransportPacketSize];
    std::memset(packet, 0xFF, sizeof packet);
    pcr_->Write(packet);
    AppendPacket(packet, arrival);
    nextPcrTime_ = firstPcr_ ? arrival - 3 * packetTime_ + kPcrPeriod : nextPcrTime_ + kPcrPeriod;
    firstPcr_ = false;
    lastPcrValue_ = value;
    lastPcrArrival_ = arrival;
}

void CMuxer::WriteTablesAtStart() {
    WritePat(clock_);
    WritePmt();
    WriteSit();
    psiCounter_ = 0;
    WritePcr(clock_);
}

// Table packets fall due on their own cadence. When the clock has jumped over a due time (the
// tracks waited on their buffers), the tables are placed on the grid at their due times inside
// the gap, so that neither PCR nor PAT/PMT intervals grow with the wait.
void CMuxer::InsertTables() {
    // Tables fall due up to the time of the packet about to be sent; the tables themselves
    // may push that packet later, but what falls due then waits for the next packet.
    const uint64_t target = clock_;
    for (;;) {
        if (nextPcrTime_ <= nextPsiTime_) {
            if (target < nextPcrTime_)
                break;
            WritePcr(nextPcrTime_);
        } else {
            if (target < nextPsiTime_)
                break;
            WritePat(GridSlotAtOrAfter(nextPsiTime_));
            WritePmt();
            if (++psiCounter_ == kPsiPerSit) {
                WriteSit();
                psiCounter_ = 0;
            }
        }
    }
    clock_ = std::max(target, lastPacketTime_ + packetTime_);
}

void CMuxer::Flush() {
    if (used_ == 0)
        return;
    output_.Write(buffer_.data(), used_);
    std::memset(buffer_.data(), 0xFF, used_);
    used_ = 0;
}

void CMuxer::PadToAlignedUnit() {
    const uint64_t length = output_.GetLength();
    const uint64_t rest = length % kAlignedUnitSize;
    if (rest == 0)
        return;
    for (uint64_t i = 0; i < (kAlignedUnitSize - rest) / kSourcePacketSize; ++i) {
        uint8_t packet[kSourcePacketSize];
        std::memset(packet, 0xFF, sizeof packet);
        SourcePacketHeader header;
        header.CopyPermissionIndicator = copyPermission_;
        header.ArriveTimeStamp = uint32_t(clock_ & 0x3FFFFFFF);
        header.Write(packet);
        packet[4] = kSyncByte;
        packet[5] = 0x1F;
        packet[6] = 0xFF;
        packet[7] = 0x10;
        output_.Write(packet, sizeof packet);
        ++packetCount_;
        lastPacketTime_ = clock_;
        clock_ += packetTime_;
    }
}

void CMuxer::UpdateNextTime(SMuxTrack& track) {
    const uint64_t constraint = track.NextBufferTime();
    SAuBase* au = track.CurrentAu();
    if (track.AtAuStart && au != nullptr) {
        // An AU starts arriving at most 0.9 s before it is decoded.
        const uint64_t decode = au->DecodeTime();
        const uint64_t earliest = decode > kLead ? decode - kLead : 0;
        track.NextTime = std::max(earliest * 300, constraint);
    } else if (constraint != 0) {
        track.NextTime = std::max(track.NextTime, constraint);
    }
}

void CMuxer::EnterAu(SMuxTrack& track) {
    SAuBase* au = track.CurrentAu();
    if (au == nullptr)
        return;
    track.AtAuStart = true;
    track.LargestDts = std::max(track.LargestDts, au->DecodeTime());
    if (au->ExtensionLayer && track.Descriptions.size() > 1) {
        track.Descriptions[1]->AddAu(au->DTS, au->PTS);
    } else {
        for (auto& description : track.Descriptions) description->AddAu(au->DTS, au->PTS);
    }
}

void CMuxer::OnAuStart(SMuxTrack& track, SAuBase& au) {
    if (au.KeyPoint >= 0) {
        if (KEY_POINT_INFO* point = track.KeyPoints.GetAt(au.KeyPoint))
            point->StartSpn = uint32_t(packetCount_);
    }
    const uint64_t frame = frameTicks_;
    // Categories of the statistics: video 0, audio 1, PG 2, IG 3, others 4, as the primary groups.
    const int category = PidGroupOf(track.GetCodingType(), true);
    const uint64_t start = au.PTS * 300;
    const uint64_t end = start + (category == 0 && au.Size > 0 ? frame : 0);
    bool counts = true;
    if (applicationType_ >= 1 && applicationType_ <= 3)
        counts = category == 0;
    else if (applicationType_ > 3 && (category == 2 || category == 3))
        counts = track.IsDisplaySetStart();
    if (counts) {
        if (!haveStart_ || start < firstPresentation_)
            firstPresentation_ = start;
        lastPresentation_ = haveStart_ ? std::max(lastPresentation_, end) : end;
        haveStart_ = true;
        if (category == 0) {
            if (!haveVideo_ || start < firstVideo_)
                firstVideo_ = start;
            lastVideo_ = haveVideo_ ? std::max(lastVideo_, start) : start;
            haveVideo_ = true;
        }
    }
}

void CMuxer::OnAuComplete(SMuxTrack& track, SAuBase& au) {
    if (au.KeyPoint >= 0) {
        if (KEY_POINT_INFO* point = track.KeyPoints.GetAt(au.KeyPoint))
            point->EndSpn = uint32_t(packetCount_ - 1);
    }
    // The AU must be whole in the decoder's buffer when it is decoded.
    if (au.DecodeTime() != 0 && lastPacketTime_ > au.DecodeTime() * 300) {
        if (lateAus_++ == 0)
            firstLateTrack_ = track.Describe(false);
    }
}

void CMuxer::SendPacket(SMuxTrack& track, SAuBase& au, uint8_t* packet, uint32_t payload) {
    InsertTables();
    if (used_ + kSourcePacketSize > buffer_.size())
        Flush();
    SourcePacketHeader header;
    header.CopyPermissionIndicator = copyPermission_;
    header.ArriveTimeStamp = uint32_t(clock_ & 0x3FFFFFFF);
    header.Write(packet);
    std::memcpy(buffer_.data() + used_, packet, kSourcePacketSize);
    used_ += kSourcePacketSize;

    bool fits = true;
    if (au.ExtensionLayer && track.Descriptions.size() > 1) {
        fits = track.Descriptions[1]->OnPacket(clock_, payload);
    } else {
        for (auto& description : track.Descriptions)
            fits = description->OnPacket(clock_, payload) && fits;
    }
    if (!fits && !au.Oversized) {
        au.Oversized = true;
        ShowMessage("The AU with DTS " + std::to_string(au.DecodeTime()) + " of the track " +
                    track.Describe(false) +
                    " is larger than its elementary-stream buffer: players may drop it. ");
    }
    if (track.AtAuStart) {
        OnAuStart(track, au);
        track.AtAuStart = false;
    }
    ++packetCount_;
    lastPacketTime_ = clock_;
    clock_ += packetTime_;
}

void CMuxer::SendAu(SMuxTrack& track, uint64_t limit, bool haveLimit) {
    SAuBase* au = track.CurrentAu();
    uint64_t start = std::max({track.NextTime, clock_, lastPacketTime_ + packetTime_});
    // Time stamps that jump (joined files, damaged headers) would have the gap filled with
    // hours of tables: such a stream is refused.
    if (start > clock_ + kMaxGap) {
        timeJump_ = true;
        timeJumpTrack_ = track.Describe(false);
        return;
    }
    start = GridSlotAtOrAfter(start);
    clock_ = start;
    for (;;) {
        uint32_t payload = 0;
        uint8_t* packet = au->NextPacket(&payload);
        if (packet == nullptr) {
            if (track.AtAuStart) {
                emptyAu_ = true;
                return;
            }
        } else {
            SendPacket(track, *au, packet, payload);
        }
        if (packet == nullptr || au->Exhausted()) {
            OnAuComplete(track, *au);
            if (!track.NextAu()) {
                track.Finished = true;
                if (track.ReadFailed() && !unreadable_) {
                    unreadable_ = true;
                    unreadableTrack_ = track.Describe(false);
                }
                return;
            }
            EnterAu(track);
            UpdateNextTime(track);
            return;
        }
        UpdateNextTime(track);
        if ((haveLimit && clock_ >= limit) || clock_ < track.NextTime)
            return;
    }
}

void CMuxer::BuildClipInfo() {
    clip_ = std::make_unique<CLPI>();
    CLIP_INFO& info = clip_->ClipInfo;
    info.ApplicationType = applicationType_;
    info.TsRecordingRate = rate_ / 8;
    info.NumberOfSourcePackets = uint32_t(output_.GetLength() / kSourcePacketSize);
    SEQUENCE_INFO& sequence = clip_->SequenceInfo;
    sequence.NumberOfAtcSequences = 1;
    sequence.SpnAtcStart = 0;
    STC_INFO stc;
    stc.PcrPid = pid::kPcr;
    stc.SpnStcStart = 0;
    stc.StartPTS = To45kHz(firstPresentation_);
    stc.EndPTS = To45kHz(endTime_);
    sequence.StcSequences.Add(stc);
    for (bool primary : {true, false}) {
        for (SMuxTrack* track : tracks_) {
            if (track->Primary != primary)
                continue;
            STREAM_INFO stream;
            track->FillStreamInfo(stream);
            stream.StreamPID = uint16_t(track->PID);
            clip_->ProgramInfo.Streams.Add(stream);
        }
    }
    for (SMuxTrack* track : tracks_) {
        if (!track->CollectsKeyPoints)
            continue;
        auto entry = std::make_unique<STREAM_PID_ENTRY>();
        entry->StreamPid = uint16_t(track->PID);
        entry->EpStreamType = track->EpStreamType;
        entry->KeyPoints.CopyFrom(track->KeyPoints);
        clip_->Cpi.EpMap.Add(std::move(entry));
    }
}

int CMuxer::Mux(const ProgressCallback& progress) {
    try {
        output_.Open(streamPath_);
        uint64_t total = 0;
        std::vector<SMuxTrack*> working;
        for (SMuxTrack* track : tracks_) {
            total += track->GetSize();
            SAuBase* au = track->CurrentAu();
            if (au == nullptr || au->Size == 0) {
                // A track without data is finished at once and never indexed.
                track->Finished = true;
                continue;
            }
            EnterAu(*track);
            UpdateNextTime(*track);
            working.push_back(track);
        }
        if (working.empty()) {
            ShowMessage("No track has an AU to multiplex. ");
            output_.Discard();
            return resultError;
        }
        if (progress.function) {
            progress.Title("Building");
            progress.Status(PathFileName(streamPath_));
            progress.Percent(0);
        }
        uint64_t nextReport = kProgressStep;
        while (!working.empty()) {
            uint64_t limit = 0;
            bool haveLimit = false;
            if (started_ || !working.front()->IsVideo()) {
                for (SMuxTrack* track : working)
                    track->NextTime = std::max(track->NextTime, clock_);
                SortByNextTime(working);
                // A single track has nothing to give way to.
                if (working.size() > 1) {
                    limit = working[1]->NextTime;
                    haveLimit = true;
                }
            }
            if (!started_) {
                clock_ = working.front()->NextTime;
                const uint64_t start = clock_;
                WriteTablesAtStart();
                started_ = true;
                if (working.front()->IsVideo()) {
                    limit = start + packetTime_;
                    haveLimit = true;
                }
            }
            const uint64_t written = packetCount_ * kSourcePacketSize;
            if (written >= nextReport) {
                nextReport = written + kProgressStep;
                const int percent =
                    total == 0 ? 0 : int(std::min<uint64_t>(100, written * 100 / total));
                if (!progress.Percent(percent)) {
                    output_.Discard();
                    return resultCancelled;
                }
            }
            SMuxTrack& track = *working.front();
            SendAu(track, limit, haveLimit);
            if (emptyAu_) {
                ShowMessage("Wrong: pack is empty ! ");
                output_.Discard();
                return resultError;
            }
            if (timeJump_) {
                ShowMessage("The time stamps of the track " + timeJumpTrack_ +
                            " jump by more than an hour: the stream file was not written. ");
                output_.Discard();
                return resultError;
            }
            if (track.Finished)
                working.erase(working.begin());
        }
        Flush();
        PadToAlignedUnit();

        // Video ends count their frame already; other clips end one frame after their last start.
        endTime_ = lastPresentation_ + (haveVideo_ ? 0 : frameTicks_);
        endClock_ = lastPcrValue_ + (clock_ - lastPcrArrival_) - pcrOffset_;
        progress.Percent(100);

        if (unreadable_) {
            ShowMessage("An AU of the track " + unreadableTrack_ +
                        " could not be read whole: the stream file was not written. ");
            output_.Discard();
            return resultError;
        }
        if (lateAus_ > 0) {
            ShowMessage(std::to_string(lateAus_) + " AU(s) of the track " + firstLateTrack_ +
                        " arrive after their decoding time at " + std::to_string(rate_) +
                        " bit/s: the stream file was not written. ");
            output_.Discard();
            return resultError;
        }
        BuildClipInfo();
        if (!clipPath_.empty()) {
            std::vector<uint8_t> image;
            clip_->Build(&image);
            WriteWholeFileAtomic(clipPath_, image);
        }
        output_.Commit();
        return resultSuccess;
    } catch (const FileError& error) {
        ShowMessage(error.Path() + ": " + error.Description());
        output_.Discard();
        return resultError;
    }
}

}  // namespace vx
