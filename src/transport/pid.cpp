#include "transport/pid.h"

namespace vx {

int ClassifyPid(int value) {
    if (value == pid::kPrimaryVideo)
        return kPidVideo;
    if (value >= pid::kPrimaryAudioFirst && value <= 0x111F)
        return kPidPrimaryAudio;
    if (value >= pid::kPgFirst && value <= 0x12FF)
        return kPidPg;
    if (value >= pid::kIgFirst && value <= 0x141F)
        return kPidIg;
    if (value == pid::kTextSubtitle)
        return kPidTextSubtitle;
    if (value >= pid::kSecondaryAudioFirst && value <= 0x1A1F)
        return kPidSecondaryAudio;
    if (value >= pid::kSecondaryVideoFirst && value <= 0x1B1F)
        return kPidSecondaryVideo;
    return kPidNotElementary;
}

}  // namespace vx
