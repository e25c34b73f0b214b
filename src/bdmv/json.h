#pragma once
// Records describe themselves as JSON (the command line's inspect, readable test diffs), with
// keys in file order.

#include <nlohmann/json.hpp>

namespace vx {
using Json = nlohmann::ordered_json;
}
