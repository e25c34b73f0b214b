#pragma once
// The check every database-record fuzz target makes once its input parsed: the size Build
// predicts is the size it writes, the image parses back whole, and both the re-parsed record and
// a copy of it build the same bytes. Any failure aborts, which libFuzzer reports.

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace vx::fuzz {

template <class Record>
void CheckRoundTrip(Record& parsed) {
    const uint32_t predicted = parsed.Build(nullptr);
    std::vector<uint8_t> first;
    if (parsed.Build(&first) != predicted)
        std::abort();
    if (predicted == 0)
        return;  // a record the format cannot hold: refused, nothing built
    if (first.size() != predicted)
        std::abort();

    Record reparsed;
    if (reparsed.Parse(first.data(), first.size()) != int32_t(first.size()))
        std::abort();
    std::vector<uint8_t> second;
    reparsed.Build(&second);
    if (first != second)
        std::abort();

    Record copy;
    Record::Copy(reparsed, copy);
    std::vector<uint8_t> third;
    copy.Build(&third);
    if (first != third)
        std::abort();
}

}  // namespace vx::fuzz
