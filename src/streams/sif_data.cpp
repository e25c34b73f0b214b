#include "streams/sif_data.h"

namespace vx {

CSifData::~CSifData() = default;

}  // namespace vx
