// Tracks of stream files: the input is a stream file whose tracks come from its PMT. Its clip
// information is made (a full scan) and must build into a record that parses back; then its
// tracks are multiplexed, and a stream file the multiplexer calls good must hold whole aligned
// units, increasing arrival times and the PCR and PAT/PMT cadence.

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "foundation/file.h"
#include "foundation/messages.h"
#include "mux/muxer.h"
#include "mux/rip_track.h"
#include "mux/verify.h"

namespace {

std::string Scratch(const char* name) {
    return vx::WithTrailingSeparator(vx::TempFolder()) + "vx-ripscan-fuzz-" +
           std::to_string(::getpid()) + name;
}

void CheckMux(vx::SRipTracks& tracks, const std::string& output) {
    vx::MuxTrackList all, ordered;
    uint64_t first = UINT64_MAX, last = 0;
    for (auto& track : tracks.Tracks) {
        all.push_back(track.get());
        for (const auto& au : track->Aus) {
            first = std::min(first, au.DTS);
            last = std::max(last, au.PTS);
        }
    }
    // Table packets fill the time between AUs: keep the files of one run small.
    if (first == UINT64_MAX || last - first > 10 * 90000)
        return;
    if (!vx::AssignPids(all, &ordered))
        return;
    vx::CMuxer muxer;
    muxer.SetOutput(output, "");
    if (!muxer.Init(48000000, ordered, 1, 0) || muxer.Mux() != 0)
        return;
    vx::CFile written;
    written.OpenOrRaise(output, vx::CFile::modeRead);
    const vx::VerifyReport report = vx::VerifyStreamFile(written);
    for (const char* rule : {"units", "sync", "arrival", "psi", "pcr"}) {
        if (!report.Find(rule)->ok)
            std::abort();
    }
    vx::DeleteFile(output);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = Scratch(".m2ts");
    static const std::string output = Scratch("-out.m2ts");
    vx::MessageCapture quiet;
    try {
        vx::WriteWholeFile(path, std::vector<uint8_t>(data, data + size));
        vx::SRipTracks tracks;
        if (!vx::AddTracksForStream(path, false, tracks))
            return 0;
        vx::CFile file;
        file.OpenOrRaise(path, vx::CFile::modeRead);
        std::unique_ptr<vx::CLPI> clip;
        if (vx::MakeClipInfo(tracks, file, &clip) != 0)
            return 0;
        std::vector<uint8_t> image;
        clip->Build(&image);
        vx::CLPI again;
        if (again.Parse(image.data(), image.size()) <= 0)
            std::abort();
        CheckMux(tracks, output);
    } catch (const vx::FileError&) {
    }
    return 0;
}
