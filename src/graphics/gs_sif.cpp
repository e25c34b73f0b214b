#include "graphics/gs_sif.h"

#include "bdmv/clpi.h"
#include "bdmv/mpls.h"
#include "streams/coding_types.h"
#include "transport/psi.h"

namespace vx {

void SGsSif::Clear() {
    *this = SGsSif{};
}

void SGsSif::CopyFrom(const CSifData& other) {
    const auto* gs = dynamic_cast<const SGsSif*>(&other);
    if (!gs)
        return;
    CodingType = gs->CodingType;
    StreamModel = gs->StreamModel;
    Width = gs->Width;
    Height = gs->Height;
    FrameRate = gs->FrameRate;
    FrameRateLowBits = gs->FrameRateLowBits;
}

bool SGsSif::Equals(const CSifData& other) const {
    const auto* gs = dynamic_cast<const SGsSif*>(&other);
    return gs && gs->StreamModel == StreamModel && gs->CodingType == CodingType &&
           gs->Width == Width && gs->Height == Height && gs->FrameRate == FrameRate;
}

void SGsSif::FillEsi(ESI& esi) const {
    esi.StreamType = CodingType;
}

void SGsSif::FillStreamInfo(STREAM_INFO& info) const {
    info.StreamCodingType = CodingType;
}

void SGsSif::FillStreamAttributes(STREAM_ATTRIBUTES& attributes) const {
    attributes.StreamCodingType = CodingType;
}

StdList SGsSif::MakeDescriptions() const {
    StdList list;
    if (CodingType == coding::kPg) {
        list.push_back(std::make_unique<CPgStd>());
    } else if (CodingType == coding::kIg) {
        auto ig = std::make_unique<CIgStd>();
        ig->SetStreamModel(StreamModel);
        list.push_back(std::move(ig));
    }
    return list;
}

void SGsSif::Read(LeReader& in) {
    in.Need(kSize);
    Version = in.U32();
    CodingType = in.U8();
    StreamModel = in.U8();
    Width = in.U16();
    Height = in.U16();
    FrameRate = in.U8();
    FrameRateLowBits = 0;
}

void SGsSif::Write(LeWriter& out) const {
    out.U32(Version);
    out.U8(CodingType);
    out.U8(StreamModel);
    out.U16(Width);
    out.U16(Height);
    out.U8(FrameRate);
}

std::unique_ptr<CSifData> SGsSif::Clone() const {
    return std::make_unique<SGsSif>(*this);
}

Json SGsSif::ToJson() const {
    Json j;
    j["Version"] = Version;
    j["StreamCodingType"] = CodingType;
    j["StreamModel"] = StreamModel;
    j["Width"] = Width;
    j["Height"] = Height;
    j["FrameRate"] = FrameRate;
    return j;
}

}  // namespace vx
