#pragma once
// The PID plan of a BDMV transport stream.

#include <cstdint>

namespace vx {

namespace pid {
inline constexpr int kPat = 0x0000;
inline constexpr int kSit = 0x001F;  // also the PAT's network PID
inline constexpr int kPmt = 0x0100;
inline constexpr int kPcr = 0x1001;
inline constexpr int kPrimaryVideo = 0x1011;
inline constexpr int kPrimaryAudioFirst = 0x1100;
inline constexpr int kPgFirst = 0x1200;
inline constexpr int kIgFirst = 0x1400;
inline constexpr int kTextSubtitle = 0x1800;
inline constexpr int kSecondaryAudioFirst = 0x1A00;
inline constexpr int kSecondaryVideoFirst = 0x1B00;
inline constexpr int kNull = 0x1FFF;
}  // namespace pid

// Categories of elementary-stream PIDs.
enum PidCategory : int {
    kPidNotElementary = -1,
    kPidVideo = 0,
    kPidPrimaryAudio = 1,
    kPidPg = 2,
    kPidIg = 3,
    kPidTextSubtitle = 4,
    kPidSecondaryAudio = 5,
    kPidSecondaryVideo = 6,
};

// The category of a PID, or kPidNotElementary for PIDs outside the elementary-stream ranges.
int ClassifyPid(int pid);
inline bool IsElementaryPid(int pid) {
    return ClassifyPid(pid) >= 0;
}

}  // namespace vx
