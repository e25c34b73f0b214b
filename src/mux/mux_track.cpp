#include "mux/mux_track.h"

#include <algorithm>
#include <cstdio>

#include "foundation/language.h"
#include "foundation/messages.h"
#include "streams/coding_types.h"

namespace vx {

SMuxTrack::~SMuxTrack() = default;

std::string SMuxTrack::GetLanguageText() const {
    return CodeOf(Language);
}

void SMuxTrack::SetLanguageByCode(const std::string& code) {
    Language = IndexOfCode(code);
}

bool SMuxTrack::SetLanguage(int index) {
    if (index == -1 || index == Language)
        return false;
    Language = index;
    return true;
}

bool SMuxTrack::IsDisplaySetStart() const {
    return false;
}

uint64_t SMuxTrack::GetFrameTicks() const {
    return 0;
}

double SMuxTrack::GetFrameDuration() const {
    return 0;
}

uint64_t SMuxTrack::NextBufferTime() const {
    // A base-layer AU goes to both descriptions, an extension AU to the second only but waits
    // on the base layer's buffers too: both constrain either way.
    uint64_t latest = 0;
    for (const auto& description : Descriptions)
        latest = std::max(latest, description->NextBufferTime());
    return latest;
}

bool SMuxTrack::IsVideo() const {
    return vx::IsVideoType(GetCodingType());
}

bool SMuxTrack::IsAudio() const {
    return vx::IsAudioType(GetCodingType());
}

void SMuxTrack::ResetPass() {
    readFailed_ = false;
    Finished = false;
    NextTime = 0;
    LargestDts = 0;
    AtAuStart = true;
    KeyPoints.RemoveAll();
}

int SMuxTrack::AddKeyPoint(uint64_t pts) {
    KEY_POINT_INFO point;
    point.PresentationTime = pts;
    KeyPoints.Add(point);
    return KeyPoints.GetCount() - 1;
}

int PidGroupOf(uint8_t codingType, bool primary) {
    const StreamCategory category = CategoryOf(codingType);
    if (!primary)
        return category == StreamCategory::audio ? 5 : 6;
    switch (category) {
        case StreamCategory::video:
            return 0;
        case StreamCategory::audio:
            return 1;
        case StreamCategory::pg:
            return 2;
        case StreamCategory::ig:
            return 3;
        default:
            return 4;
    }
}

bool AssignPids(const MuxTrackList& tracks, MuxTrackList* ordered) {
    std::vector<SMuxTrack*> groups[7];
    for (SMuxTrack* track : tracks) {
        if (track->Enabled)
            groups[PidGroupOf(track->GetCodingType(), track->Primary)].push_back(track);
    }
    ordered->clear();
    for (int g = 0; g < 7; ++g) {
        auto& group = groups[g];
        std::stable_sort(group.begin(), group.end(), [](const SMuxTrack* a, const SMuxTrack* b) {
            return a->Order != b->Order ? a->Order < b->Order : a->PID < b->PID;
        });
        if (int(group.size()) > kPidGroupSizes[g]) {
            const SMuxTrack* extra = group[size_t(kPidGroupSizes[g])];
            ShowMessage("No PID left for the track " + extra->Describe(false) +
                        ": a clip holds at most " + std::to_string(kPidGroupSizes[g]) +
                        " such tracks. ");
            ordered->clear();
            return false;
        }
        for (size_t i = 0; i < group.size(); ++i) {
            group[i]->PID = kPidGroupBases[g] + int(i);
            ordered->push_back(group[i]);
        }
    }
    return true;
}

void ChooseKeyPointTracks(const MuxTrackList& tracks, uint8_t applicationType) {
    bool haveVideo = false;
    for (SMuxTrack* track : tracks) {
        track->CollectsKeyPoints = false;
        track->EpStreamType = 0;
        if (track->IsVideo()) {
            track->CollectsKeyPoints = true;
            track->EpStreamType = 1;
            haveVideo = true;
        }
    }
    if (haveVideo || tracks.empty())
        return;
    SMuxTrack* first = tracks.front();
    auto choose = [](SMuxTrack* track, uint8_t epType) {
        track->CollectsKeyPoints = true;
        track->EpStreamType = epType;
    };
    const bool primaryAudioFirst = first->IsAudio() && first->Primary;
    if (applicationType == 4 || (applicationType == 7 && primaryAudioFirst)) {
        choose(first, 3);
        return;
    }
    if (applicationType != 7)
        return;
    for (SMuxTrack* track : tracks) {
        if (track->IsAudio() && !track->Primary) {
            choose(track, 4);
            return;
        }
    }
    if (first->GetCodingType() == coding::kPg)
        choose(first, 6);
    else if (first->GetCodingType() == coding::kIg)
        choose(first, 7);
}

}  // namespace vx
