#include "cli/mux_commands.h"

#include <algorithm>
#include <iostream>
#include <memory>

#include "cli/progress_bar.h"
#include "foundation/file.h"
#include "foundation/messages.h"
#include "mux/es_track.h"
#include "mux/muxer.h"
#include "mux/rip_track.h"
#include "mux/verify.h"
#include "transport/probes.h"

namespace vx::cli {

namespace {

bool SamePath(const std::string& a, const std::string& b) {
    std::error_code ec;
    return std::filesystem::weakly_canonical(a, ec) == std::filesystem::weakly_canonical(b, ec);
}

// Scans every input's tracks; PMT-made tracks then learn their attributes from the stream.
int ScanInputs(std::vector<std::unique_ptr<SRipTracks>>& inputs, const std::vector<int>& pids) {
    for (auto& input : inputs) {
        for (auto& track : input->Tracks) {
            track->Enabled =
                pids.empty() || std::find(pids.begin(), pids.end(), track->SourcePid) != pids.end();
        }
        const std::string path = input->Tracks.front()->StreamPath;
        CFile file;
        FileError error(path, 0);
        if (!file.Open(path, CFile::modeRead, &error)) {
            ShowMessage(path + ":\n" + error.Description());
            return resultError;
        }
        try {
            int result;
            {
                ProgressBar bar;
                result = ScanClip(input->Pointers(), file, 0, -1, bar.Callback());
            }
            if (result != resultSuccess) {
                if (result == resultError)
                    ShowMessage(path + ":\nThe stream file holds no whole source packet. ");
                return result;
            }
            for (auto& track : input->Tracks) {
                if (track->Enabled)
                    DetectAttributes(*track, file);
            }
        } catch (const FileError& failure) {
            ShowMessage(path + ":\n" + failure.Description());
            return resultError;
        }
    }
    return resultSuccess;
}

}  // namespace

bool IsStreamFile(const std::string& path) {
    const std::string extension = PathExtension(path);
    return EqualsNoCase(extension, "m2ts") || EqualsNoCase(extension, "mts");
}

bool ParsePidList(const std::string& text, std::vector<int>* pids) {
    pids->clear();
    size_t at = 0;
    while (at <= text.size()) {
        const size_t comma = std::min(text.find(',', at), text.size());
        const std::string item = text.substr(at, comma - at);
        if (item.empty())
            return false;
        size_t used = 0;
        long value = 0;
        try {
            value = std::stol(item, &used, 0);
        } catch (const std::exception&) {
            return false;
        }
        if (used != item.size() || value < 0 || value > 0x1FFF)
            return false;
        pids->push_back(int(value));
        at = comma + 1;
    }
    return !pids->empty();
}

int RunMux(const MuxOptions& options) {
    for (const std::string& input : options.inputs) {
        if (SamePath(input, options.output)) {
            ShowMessage(options.output + ": the output would replace an input. ");
            return resultError;
        }
    }
    const std::string clipPath =
        options.clipOutput.empty() ? ClipInfoPathFor(options.output) : options.clipOutput;
    if (!options.force && FileExists(clipPath)) {
        ShowMessage(clipPath + " already exists: give --force to replace it. ");
        return resultError;
    }
    // Stream files (.m2ts, .mts) give their tracks; any other input is an elementary-stream
    // file (AC-3, WAV, PG or IG stream file) that becomes one track.
    std::vector<std::unique_ptr<SRipTracks>> inputs;
    std::vector<std::unique_ptr<SRawTrack>> raw;
    for (const std::string& path : options.inputs) {
        if (!IsStreamFile(path)) {
            ProgressBar bar;
            auto track = OpenRawTrack(path, bar.Callback());
            if (!track)
                return resultError;
            raw.push_back(std::move(track));
            continue;
        }
        auto tracks = std::make_unique<SRipTracks>();
        if (!AddTracksForStream(path, true, *tracks))
            return resultError;
        inputs.push_back(std::move(tracks));
    }
    if (int result = ScanInputs(inputs, options.pids); result != resultSuccess)
        return result;
    // Elementary streams start with the first video of the stream files, when there is one.
    for (auto& input : inputs) {
        for (auto& track : input->Tracks) {
            if (track->Enabled && track->IsVideo() && !track->Aus.empty()) {
                SetClipStartTime(int64_t(track->Aus.front().PTS));
                break;
            }
        }
    }

    MuxTrackList all;
    int order = 0;
    for (auto& input : inputs) {
        for (auto& track : input->Tracks) {
            track->Order = order++;
            all.push_back(track.get());
        }
    }
    for (auto& track : raw) {
        track->Order = order++;
        all.push_back(track.get());
    }
    MuxTrackList tracks;
    if (!AssignPids(all, &tracks))
        return resultError;
    if (tracks.empty()) {
        ShowMessage("No track to multiplex: the inputs hold none of the PIDs asked for. ");
        return resultError;
    }
    std::vector<int> pids;
    bool haveVideo = false;
    for (SMuxTrack* track : tracks) {
        pids.push_back(track->PID);
        haveVideo = haveVideo || track->IsVideo();
    }
    const uint8_t applicationType = options.applicationType ? uint8_t(*options.applicationType)
                                                            : ApplicationType(pids, options.rate);
    if (applicationType >= 1 && applicationType <= 3 && !haveVideo) {
        ShowMessage("Application type " + std::to_string(applicationType) +
                    " needs a video track. ");
        return resultError;
    }

    CMuxer muxer;
    muxer.SetOutput(options.output, clipPath);
    const PMT* pmt = inputs.front()->Pmt.get();
    if (pmt && pmt->PrivateInfoDescriptor)
        muxer.SetPrivateInfo(*pmt->PrivateInfoDescriptor);
    if (!muxer.Init(options.rate, tracks, applicationType, 0))
        return resultError;
    ProgressBar bar;
    return muxer.Mux(bar.Callback());
}

int RunClipInfo(const std::string& stream, const std::string& output, bool force) {
    const std::string path = output.empty() ? ClipInfoPathFor(stream) : output;
    if (SamePath(path, stream)) {
        ShowMessage(path + ": the clip information would replace the stream file. ");
        return resultError;
    }
    if (!force && FileExists(path)) {
        ShowMessage(path + " already exists: give --force to replace it. ");
        return resultError;
    }
    SRipTracks tracks;
    if (!AddTracksForStream(stream, false, tracks))
        return resultError;
    CFile file;
    FileError error(stream, 0);
    if (!file.Open(stream, CFile::modeRead, &error)) {
        ShowMessage(stream + ":\n" + error.Description());
        return resultError;
    }
    std::unique_ptr<CLPI> clip;
    try {
        int result;
        {
            ProgressBar bar;
            result = MakeClipInfo(tracks, file, &clip, bar.Callback());
        }
        if (result != resultSuccess) {
            if (result == resultError)
                ShowMessage(stream + ":\nThe stream file could not be scanned. ");
            return result;
        }
    } catch (const FileError& failure) {
        ShowMessage(stream + ":\n" + failure.Description());
        return resultError;
    }
    return WriteClipInfo(*clip, path, true);
}

int RunVerify(const std::string& stream, const std::string& clipPath, bool json,
              std::ostream& out) {
    std::unique_ptr<CLPI> clip;
    try {
        if (!clipPath.empty()) {
            const std::vector<uint8_t> data = ReadWholeFile(clipPath);
            clip = std::make_unique<CLPI>();
            if (clip->Parse(data.data(), data.size()) <= 0) {
                ShowMessage("Stream parse error:\n" + clipPath);
                return resultError;
            }
        }
        CFile file;
        file.OpenOrRaise(stream, CFile::modeRead);
        const VerifyReport report = VerifyStreamFile(file, clip.get());
        if (json) {
            out << report.ToJson().dump() << '\n';
        } else {
            out << report.path << ": " << report.packets << " source packets, "
                << (report.Ok() ? "every rule holds" : "FAULTY") << '\n';
            for (const VerifyRule& rule : report.rules)
                out << "  " << (rule.ok ? "ok    " : "FAULT ") << rule.rule << ": " << rule.detail
                    << '\n';
        }
        return report.Ok() ? resultSuccess : resultError;
    } catch (const FileError& error) {
        ShowMessage(error.Path() + ":\n" + error.Description());
        return resultError;
    }
}

}  // namespace vx::cli
