// Graphics segments and interactive compositions. The input is read twice: as a graphics
// stream file (units of stream header and segment, grouped into display sets and epochs) and
// as one interactive composition. Whatever parses must write back to bytes that parse again
// and write the same bytes; every segment read must write a segment that reads back the same;
// reading the stream into the model (objects decoded) must not crash.

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "graphics/ig_model.h"
#include "graphics/segments.h"

namespace {

std::vector<uint8_t> Built(vx::CNamedObject& node, bool& refused) {
    const int32_t predicted = node.Build(nullptr, 0);
    refused = predicted < 0;
    if (refused)
        return {};
    std::vector<uint8_t> bytes(static_cast<size_t>(predicted));
    if (node.Build(bytes.data(), 0) != predicted)
        std::abort();
    return bytes;
}

void CheckComposition(const uint8_t* data, size_t size) {
    vx::CDisplaySet ds;
    const int32_t used = ds.Parse(data, size, 0);
    if (used <= 0)
        return;
    if (size_t(used) > size)
        std::abort();
    bool refused = false;
    std::vector<uint8_t> first = Built(ds, refused);
    if (refused)
        return;  // an id or count the stream form cannot hold
    vx::CDisplaySet again;
    if (again.Parse(first.data(), first.size(), 0) != int32_t(first.size()))
        std::abort();
    std::vector<uint8_t> second = Built(again, refused);
    if (refused || second != first)
        std::abort();
    vx::CDisplaySet copy;
    copy.Copy(again);
    if (Built(copy, refused) != first)
        std::abort();
}

void CheckSegment(vx::CSegmentBase& segment) {
    vx::ByteWriter out;
    const int32_t n = segment.Write(out);
    if (n == 0)
        return;  // refused (a WDS of more than two windows)
    vx::ByteReader in(out.Buffer().data(), out.Position());
    auto back = vx::ReadSegment(in);
    if (!back || in.Remaining() != 0)
        std::abort();
    vx::ByteWriter again;
    if (back->Write(again) != n || again.Buffer() != out.Buffer())
        std::abort();
}

void CheckStream(const uint8_t* data, size_t size) {
    vx::CGsData stream;
    if (!vx::ReadGraphicsStream(data, size, stream))
        return;
    for (auto& epoch : stream.Epochs)
        for (auto& ds : epoch) {
            if (ds.Pcs)
                CheckSegment(*ds.Pcs);
            if (ds.Wds)
                CheckSegment(*ds.Wds);
            for (auto& s : ds.Ics) CheckSegment(*s);
            for (auto& s : ds.Pds) CheckSegment(*s);
            for (auto& s : ds.Ods) CheckSegment(*s);
            std::vector<uint8_t> composition;
            if (vx::JoinComposition(ds, composition))
                CheckComposition(composition.data(), composition.size());
        }
    vx::CIgObject model;
    vx::ModelFromSegments(stream, model);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    CheckStream(data, size);
    CheckComposition(data, size);
    return 0;
}
