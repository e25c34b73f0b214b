#include "transport/pid.h"

#include <gtest/gtest.h>

namespace vx {
namespace {

TEST(ClassifyPid, RangesOfTheBdmvPidPlan) {
    struct Case {
        int pid;
        int category;
    };
    const Case cases[] = {
        {0x0000, kPidNotElementary},
        {0x001F, kPidNotElementary},
        {0x0100, kPidNotElementary},
        {0x1001, kPidNotElementary},
        {0x1010, kPidNotElementary},
        {0x1011, kPidVideo},
        {0x1012, kPidNotElementary},
        {0x10FF, kPidNotElementary},
        {0x1100, kPidPrimaryAudio},
        {0x111F, kPidPrimaryAudio},
        {0x1120, kPidNotElementary},
        {0x1200, kPidPg},
        {0x1210, kPidPg},
        {0x12FF, kPidPg},
        {0x1300, kPidNotElementary},
        {0x1400, kPidIg},
        {0x141F, kPidIg},
        {0x1420, kPidNotElementary},
        {0x1800, kPidTextSubtitle},
        {0x1801, kPidNotElementary},
        {0x1A00, kPidSecondaryAudio},
        {0x1A1F, kPidSecondaryAudio},
        {0x1A20, kPidNotElementary},
        {0x1B00, kPidSecondaryVideo},
        {0x1B1F, kPidSecondaryVideo},
        {0x1B20, kPidNotElementary},
        {0x1FFF, kPidNotElementary},
        {-1, kPidNotElementary},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ClassifyPid(c.pid), c.category) << std::hex << c.pid;
        EXPECT_EQ(IsElementaryPid(c.pid), c.category >= 0) << std::hex << c.pid;
    }
}

}  // namespace
}  // namespace vx
