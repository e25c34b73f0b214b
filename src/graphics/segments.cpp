#include "graphics/segments.h"

#include <algorithm>

namespace vx {

namespace {

void SetReason(std::string* reason, const std::string& text) {
    if (reason)
        *reason = text;
}

}  // namespace

const char* CompositionStateName(uint8_t state) {
    static const char* const names[] = {"Normal Case", "Acquisition Point", "Epoch Start",
                                        "Epoch Continue"};
    return names[state & 3];
}

const char* FrameRateName(uint8_t code) {
    static const char* const names[] = {"Reserved", "23.976",   "24", "25",
                                        "29.97",    "Reserved", "50", "59.94"};
    return code < 8 ? names[code] : "Reserved";
}

void SVideoDescriptor::Write(ByteWriter& out) const {
    out.U16(Width);
    out.U16(Height);
    out.U8(uint8_t((FrameRate & 0x0F) << 4));
}

void SVideoDescriptor::Read(ByteReader& in) {
    Width = in.U16();
    Height = in.U16();
    FrameRate = in.U8() >> 4;
}

void SCompositionDescriptor::Write(ByteWriter& out) const {
    out.U16(CompositionNumber);
    out.U8(uint8_t((CompositionState & 3) << 6));
}

void SCompositionDescriptor::Read(ByteReader& in) {
    CompositionNumber = in.U16();
    CompositionState = in.U8() >> 6;
}

void SSequenceDescriptor::Write(ByteWriter& out) const {
    out.U8(uint8_t((FirstFlag ? 0x80 : 0) | (LastFlag ? 0x40 : 0)));
}

void SSequenceDescriptor::Read(ByteReader& in) {
    uint8_t b = in.U8();
    FirstFlag = (b & 0x80) != 0;
    LastFlag = (b & 0x40) != 0;
}

void SCompositionObject::Write(ByteWriter& out) const {
    out.U16(ObjectIdRef);
    out.U8(WindowIdRef);
    out.U8(uint8_t((ObjectCroppedFlag ? 0x80 : 0) | (ForcedOnFlag ? 0x40 : 0)));
    out.U16(CompositionObjectHorPos);
    out.U16(CompositionObjectVerPos);
    if (ObjectCroppedFlag) {
        out.U16(ObjectCroppingHorPos);
        out.U16(ObjectCroppingVerPos);
        out.U16(ObjectCroppingWidth);
        out.U16(ObjectCroppingHeight);
    }
}

void SCompositionObject::Read(ByteReader& in) {
    ObjectIdRef = in.U16();
    WindowIdRef = in.U8();
    uint8_t flags = in.U8();
    ObjectCroppedFlag = (flags & 0x80) ? 1 : 0;
    ForcedOnFlag = (flags & 0x40) ? 1 : 0;
    CompositionObjectHorPos = in.U16();
    CompositionObjectVerPos = in.U16();
    if (ObjectCroppedFlag) {
        ObjectCroppingHorPos = in.U16();
        ObjectCroppingVerPos = in.U16();
        ObjectCroppingWidth = in.U16();
        ObjectCroppingHeight = in.U16();
    } else {
        ObjectCroppingHorPos = ObjectCroppingVerPos = 0;
        ObjectCroppingWidth = ObjectCroppingHeight = 0;
    }
}

void SWindow::Write(ByteWriter& out) const {
    out.U8(WindowID);
    out.U16(HorPos);
    out.U16(VerPos);
    out.U16(Width);
    out.U16(Height);
}

void SWindow::Read(ByteReader& in) {
    WindowID = in.U8();
    HorPos = in.U16();
    VerPos = in.U16();
    Width = in.U16();
    Height = in.U16();
}

int32_t CSegmentBase::ParseBody(const uint8_t* body, size_t size) {
    Reset();
    ByteReader in(body, size);
    try {
        ReadBody(in);
    } catch (const ParseError&) {
        Reset();
        return -1;
    }
    return int32_t(in.Position());
}

int32_t CSegmentBase::Write(ByteWriter& out) {
    ByteWriter body;
    if (!WriteBody(body) || body.Position() > kMaxSegmentBody)
        return 0;
    SegmentLength = uint16_t(body.Position());
    out.U8(SegmentType);
    out.U16(SegmentLength);
    out.Bytes(body.Buffer());
    return int32_t(3 + body.Position());
}

void CPds::ReadBody(ByteReader& in) {
    PaletteId = in.U8();
    PaletteVersion = in.U8();
    // Entries run to the end of the body; a trailing group of fewer than 5 bytes is none.
    while (in.Remaining() >= 5) {
        SPaletteEntry e;
        e.Id = in.U8();
        e.Y = in.U8();
        e.Cr = in.U8();
        e.Cb = in.U8();
        e.T = in.U8();
        Entries.push_back(e);
    }
    in.Skip(in.Remaining());
}

bool CPds::WriteBody(ByteWriter& out) const {
    out.U8(PaletteId);
    out.U8(PaletteVersion);
    size_t n = std::min(Entries.size(), kMaxEntries);
    for (size_t i = 0; i < n; ++i) {
        const SPaletteEntry& e = Entries[i];
        out.U8(e.Id);
        out.U8(e.Y);
        out.U8(e.Cr);
        out.U8(e.Cb);
        out.U8(e.T);
    }
    return true;
}

uint32_t COds::ObjectDataLength() const {
    return HasObjectHeader() ? ReadBE24(Fragment.data()) : 0;
}
uint16_t COds::ObjectWidth() const {
    return HasObjectHeader() ? ReadBE16(Fragment.data() + 3) : 0;
}
uint16_t COds::ObjectHeight() const {
    return HasObjectHeader() ? ReadBE16(Fragment.data() + 5) : 0;
}

void COds::ReadBody(ByteReader& in) {
    ObjectId = in.U16();
    ObjectVersion = in.U8();
    Sequence.Read(in);
    Fragment = in.Vector(in.Remaining());
}

bool COds::WriteBody(ByteWriter& out) const {
    out.U16(ObjectId);
    out.U8(ObjectVersion);
    Sequence.Write(out);
    out.Bytes(Fragment);
    return true;
}

void CPcs::ReadBody(ByteReader& in) {
    VideoDescriptor.Read(in);
    CompositionDescriptor.Read(in);
    PaletteUpdateFlag = (in.U8() & 0x80) ? 1 : 0;
    PaletteIdRef = in.U8();
    uint8_t count = in.U8();
    for (uint8_t i = 0; i < count; ++i) {
        SCompositionObject object;
        object.Read(in);
        Objects.push_back(object);
    }
}

bool CPcs::WriteBody(ByteWriter& out) const {
    if (Objects.size() > 255)
        return false;
    VideoDescriptor.Write(out);
    CompositionDescriptor.Write(out);
    out.U8(PaletteUpdateFlag ? 0x80 : 0);
    out.U8(PaletteIdRef);
    out.U8(uint8_t(Objects.size()));
    for (const auto& object : Objects) object.Write(out);
    return true;
}

void CWds::ReadBody(ByteReader& in) {
    uint8_t count = in.U8();
    for (uint8_t i = 0; i < count; ++i) {
        SWindow w;
        w.Read(in);
        Windows.push_back(w);
    }
}

bool CWds::WriteBody(ByteWriter& out) const {
    if (Windows.size() > kMaxWindows)
        return false;
    out.U8(uint8_t(Windows.size()));
    for (const auto& w : Windows) w.Write(out);
    return true;
}

void CIcs::ReadBody(ByteReader& in) {
    VideoDescriptor.Read(in);
    CompositionDescriptor.Read(in);
    Sequence.Read(in);
    Fragment = in.Vector(in.Remaining());
}

bool CIcs::WriteBody(ByteWriter& out) const {
    VideoDescriptor.Write(out);
    CompositionDescriptor.Write(out);
    Sequence.Write(out);
    out.Bytes(Fragment);
    return true;
}

CPds& AddPalette(CDsData& ds) {
    auto pds = std::make_unique<CPds>();
    pds->PaletteId = uint8_t(ds.Pds.size());
    pds->PaletteVersion = 0;
    ds.Pds.push_back(std::move(pds));
    return *ds.Pds.back();
}

namespace {

// Cuts size bytes into pieces of at most step bytes, the last piece holding the rest.
template <class Make>
void CutIntoFragments(const std::vector<uint8_t>& data, size_t step, Make make) {
    const size_t size = data.size();
    for (size_t at = 0; at < size; at += step) {
        size_t n = std::min(step, size - at);
        make(data.data() + at, n, at == 0, at + n == size);
    }
}

}  // namespace

void FragmentComposition(CDsData& ds, const std::vector<uint8_t>& composition,
                         const SVideoDescriptor& video) {
    ds.Ics.clear();
    CutIntoFragments(composition, kIcsFragmentSize,
                     [&](const uint8_t* p, size_t n, bool first, bool last) {
                         auto ics = std::make_unique<CIcs>();
                         ics->VideoDescriptor = video;
                         ics->CompositionDescriptor.CompositionNumber = 0;
                         ics->CompositionDescriptor.CompositionState = ds.CompositionState;
                         ics->Sequence.FirstFlag = first;
                         ics->Sequence.LastFlag = last;
                         ics->Fragment.assign(p, p + n);
                         ds.Ics.push_back(std::move(ics));
                     });
}

void AppendObjectData(CDsData& ds, uint16_t objectId, const std::vector<uint8_t>& objectData) {
    CutIntoFragments(objectData, kOdsFragmentSize,
                     [&](const uint8_t* p, size_t n, bool first, bool last) {
                         auto ods = std::make_unique<COds>();
                         ods->ObjectId = objectId;
                         ods->ObjectVersion = 0;
                         ods->Sequence.FirstFlag = first;
                         ods->Sequence.LastFlag = last;
                         ods->Fragment.assign(p, p + n);
                         ds.Ods.push_back(std::move(ods));
                     });
}

uint64_t PixelDuration(uint64_t pixels, uint64_t rate) {
    return (pixels * 720000 + rate - 1) / rate;
}

void SetTimeStamps(CDsData& ds, uint32_t decodeStart, uint32_t presentation) {
    const bool hasPcs = ds.Pcs != nullptr;
    const uint64_t decodeRate = hasPcs ? 128000000 : 64000000;
    const uint64_t windowRate = hasPcs ? 256000000 : 128000000;
    const uint32_t d = decodeStart, p = presentation;

    if (hasPcs) {
        ds.Pcs->Pts = p;
        ds.Pcs->Dts = d;
    } else {
        for (auto& ics : ds.Ics) {
            ics->Pts = p;
            ics->Dts = d;
        }
    }
    if (ds.Wds) {
        uint64_t pixels = 0;
        for (const auto& w : ds.Wds->Windows) pixels += uint64_t(w.Width) * w.Height;
        int64_t pts = int64_t(p) - int64_t(PixelDuration(pixels, windowRate));
        ds.Wds->Dts = d;
        ds.Wds->Pts = uint32_t(std::max<int64_t>(pts, d));
    }
    for (auto& pds : ds.Pds) {
        pds->Pts = d;
        pds->Dts = 0;
    }
    uint64_t t = d;
    uint64_t objectStart = d;
    for (auto& ods : ds.Ods) {
        if (ods->Sequence.FirstFlag) {
            objectStart = t;
            t += PixelDuration(uint64_t(ods->ObjectWidth()) * ods->ObjectHeight(), decodeRate);
        }
        ods->Dts = uint32_t(objectStart);
        ods->Pts = uint32_t(t);
    }
    if (ds.End) {
        uint64_t end = t;
        if (ds.Wds && ds.Pds.empty() && ds.Ods.empty())
            end = ds.Wds->Pts;
        ds.End->Dts = 0;
        ds.End->Pts = uint32_t(end);
    }
}

bool EmitDisplaySet(CDsData& ds, ByteWriter& out, int64_t base, std::string* reason) {
    if (!ds.End)
        ds.End = std::make_unique<CEs>();
    if (ds.Pcs)
        ds.Pcs->CompositionDescriptor.CompositionState = ds.CompositionState;
    if (ds.Wds && ds.Wds->Windows.size() > CWds::kMaxWindows) {
        SetReason(reason, "a window definition holds " + std::to_string(ds.Wds->Windows.size()) +
                              " windows; at most 2 can be written");
        return false;
    }

    std::vector<CSegmentBase*> order;
    if (ds.Pcs)
        order.push_back(ds.Pcs.get());
    for (auto& ics : ds.Ics) order.push_back(ics.get());
    if (ds.Wds)
        order.push_back(ds.Wds.get());
    for (auto& pds : ds.Pds) order.push_back(pds.get());
    for (auto& ods : ds.Ods) order.push_back(ods.get());
    order.push_back(ds.End.get());

    const char* magic = ds.Pcs ? "PG" : "IG";
    ByteWriter units;
    std::vector<int64_t> offsets;
    for (CSegmentBase* segment : order) {
        offsets.push_back(int64_t(out.Position() + units.Position() + kUnitHeaderBytes) + base);
        units.U8(uint8_t(magic[0]));
        units.U8(uint8_t(magic[1]));
        units.U32(segment->Pts);
        units.U32(segment->Dts);
        if (segment->Write(units) == 0) {
            SetReason(reason, "a segment of type 0x" + HexString(&segment->SegmentType, 1) +
                                  " does not fit its 16-bit length");
            return false;
        }
    }
    for (size_t i = 0; i < order.size(); ++i) order[i]->FileOffset = offsets[i];
    out.Bytes(units.Buffer());
    return true;
}

std::unique_ptr<CSegmentBase> ReadSegment(ByteReader& in, std::string* reason) {
    if (in.Remaining() < 3) {
        SetReason(reason, "segment header cut short");
        return nullptr;
    }
    uint8_t type = in.U8();
    uint16_t length = in.U16();
    std::unique_ptr<CSegmentBase> segment;
    switch (type) {
        case kSegmentPds:
            segment = std::make_unique<CPds>();
            break;
        case kSegmentOds:
            segment = std::make_unique<COds>();
            break;
        case kSegmentPcs:
            segment = std::make_unique<CPcs>();
            break;
        case kSegmentWds:
            segment = std::make_unique<CWds>();
            break;
        case kSegmentIcs:
            segment = std::make_unique<CIcs>();
            break;
        case kSegmentEnd:
            segment = std::make_unique<CEs>();
            break;
        default:
            SetReason(reason, "unknown segment type 0x" + HexString(&type, 1));
            return nullptr;
    }
    if (in.Remaining() < length) {
        SetReason(reason, "segment body runs past the end of the data");
        return nullptr;
    }
    segment->SegmentLength = length;
    int32_t used = segment->ParseBody(in.Here(), length);
    if (used < 0) {
        SetReason(reason, "segment body too short for its fields");
        return nullptr;
    }
    // Bytes past the fields of a fixed body (a PCS or WDS longer than its records) are skipped.
    in.Skip(length);
    return segment;
}

bool ReadGraphicsStream(const uint8_t* data, size_t size, CGsData& out, std::string* reason) {
    out = CGsData{};
    ByteReader in(data, size);
    CDsData current;
    bool open = false;       // current holds segments of an unfinished display set
    bool haveState = false;  // current's state was taken from its first composition
    bool haveVideo = false;
    auto fail = [&](const std::string& text) {
        SetReason(reason, "at offset " + std::to_string(in.Position()) + ": " + text);
        return false;
    };
    while (in.Remaining() > 0) {
        const size_t unitStart = in.Position();
        if (in.Remaining() < kUnitHeaderBytes)
            return fail("unit header cut short");
        uint8_t m0 = in.U8() & 0xDF, m1 = in.U8() & 0xDF;
        if (!((m0 == 'P' || m0 == 'I') && m1 == 'G'))
            return fail("unit magic is neither \"PG\" nor \"IG\"");
        uint32_t pts = in.U32();
        uint32_t dts = in.U32();
        std::string why;
        auto segment = ReadSegment(in, &why);
        if (!segment)
            return fail(why);
        segment->Pts = pts;
        segment->Dts = dts;
        segment->FileOffset = int64_t(unitStart + kUnitHeaderBytes);

        auto takeState = [&](const SVideoDescriptor& video, const SCompositionDescriptor& cd) {
            if (!haveVideo) {
                out.VideoDescriptor = video;
                haveVideo = true;
            }
            if (!haveState)
                current.CompositionState = cd.CompositionState;
            haveState = true;
        };
        switch (segment->SegmentType) {
            case kSegmentPcs: {
                if (current.Pcs)
                    return fail("second PCS in one display set");
                auto* pcs = static_cast<CPcs*>(segment.release());
                current.Pcs.reset(pcs);
                takeState(pcs->VideoDescriptor, pcs->CompositionDescriptor);
                break;
            }
            case kSegmentIcs: {
                auto* ics = static_cast<CIcs*>(segment.release());
                current.Ics.emplace_back(ics);
                takeState(ics->VideoDescriptor, ics->CompositionDescriptor);
                break;
            }
            case kSegmentWds:
                if (current.Wds)
                    return fail("second WDS in one display set");
                current.Wds.reset(static_cast<CWds*>(segment.release()));
                break;
            case kSegmentPds:
                current.Pds.emplace_back(static_cast<CPds*>(segment.release()));
                break;
            case kSegmentOds:
                current.Ods.emplace_back(static_cast<COds*>(segment.release()));
                break;
            case kSegmentEnd: {
                current.End.reset(static_cast<CEs*>(segment.release()));
                if (out.Epochs.empty() || current.CompositionState == kEpochStart)
                    out.Epochs.emplace_back();
                out.Epochs.back().push_back(std::move(current));
                current = CDsData{};
                open = haveState = false;
                continue;
            }
        }
        open = true;
    }
    if (open)
        return fail("the last display set has no END segment");
    return true;
}

bool JoinComposition(const CDsData& ds, std::vector<uint8_t>& composition) {
    composition.clear();
    for (size_t i = 0; i < ds.Ics.size(); ++i) {
        const CIcs& ics = *ds.Ics[i];
        if (ics.Sequence.FirstFlag != (i == 0) || ics.Sequence.LastFlag != (i + 1 == ds.Ics.size()))
            return false;
        composition.insert(composition.end(), ics.Fragment.begin(), ics.Fragment.end());
    }
    return !ds.Ics.empty();
}

bool JoinObjectData(const CDsData& ds, size_t first, std::vector<uint8_t>& objectData,
                    size_t& next) {
    objectData.clear();
    if (first >= ds.Ods.size() || !ds.Ods[first]->Sequence.FirstFlag)
        return false;
    const uint16_t id = ds.Ods[first]->ObjectId;
    for (size_t i = first; i < ds.Ods.size(); ++i) {
        const COds& ods = *ds.Ods[i];
        if (ods.ObjectId != id || (i > first && ods.Sequence.FirstFlag))
            return false;
        objectData.insert(objectData.end(), ods.Fragment.begin(), ods.Fragment.end());
        if (ods.Sequence.LastFlag) {
            next = i + 1;
            return true;
        }
    }
    return false;
}

}  // namespace vx
