#include "graphics/ig_model.h"

#include <algorithm>
#include <cstring>

namespace vx {

namespace {

template <class Node>
int32_t BuildNode(const Node& node, uint8_t* out) {
    CModelWriter writer;
    node.Write(writer);
    if (!writer.Ok())
        return -1;
    const auto& bytes = writer.Out().Buffer();
    if (out && !bytes.empty())
        std::memcpy(out, bytes.data(), bytes.size());
    return int32_t(bytes.size());
}

template <class Node>
int32_t ParseNode(Node& node, const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    try {
        node.Read(in);
    } catch (const ParseError&) {
        node.RemoveAll();
        return 0;
    }
    return int32_t(in.Position());
}

// Nodes written as one plain record (composition objects, windows).
template <class Record, class Node>
int32_t ParseRecordNode(Node& node, const uint8_t* data, size_t size) {
    ByteReader in(data, size);
    try {
        Record r;
        r.Read(in);
        node.FromRecord(r);
    } catch (const ParseError&) {
        return 0;
    }
    return int32_t(in.Position());
}

template <class Record>
int32_t BuildRecordNode(const Record& record, uint8_t* out) {
    ByteWriter w;
    record.Write(w);
    if (out)
        std::memcpy(out, w.Buffer().data(), w.Position());
    return int32_t(w.Position());
}

// Ids of 16-bit reference fields: 0xFFFF reads as none.
int32_t IdFrom16(uint16_t v) {
    return v == 0xFFFF ? -1 : int32_t(v);
}

template <class T>
void CopyRefId(CRef<T>& to, const CRef<T>& from) {
    to.Ptr = nullptr;
    to.Id = from.Id;
}

template <class T, class Find>
void ResolveRef(CRef<T>& ref, Find find) {
    ref.Ptr = ref.Id == -1 ? nullptr : find(ref.Id);
}

// A centre coordinate: the integer half of the edge sum.
int32_t Centre(int32_t a, int32_t b) {
    return (a + b) / 2;
}

}  // namespace

void SRect::Unite(const SRect& o) {
    if (o.IsEmpty())
        return;
    if (IsEmpty()) {
        *this = o;
        return;
    }
    Left = std::min(Left, o.Left);
    Top = std::min(Top, o.Top);
    Right = std::max(Right, o.Right);
    Bottom = std::max(Bottom, o.Bottom);
}

void CModelWriter::Field(uint64_t n, int bits, const std::string& what) {
    if (bits < 64 && n >> bits) {
        Fail(what + " (" + std::to_string(n) + ") does not fit its " + std::to_string(bits) +
             "-bit field");
        n = 0;
    }
    for (int shift = bits - 8; shift >= 0; shift -= 8) out_.U8(uint8_t(n >> shift));
}

// ---- composition objects and windows ----

void CCompositionObject::Copy(const CNamedObject& source) {
    CNamedObject::Copy(source);
    if (auto* s = dynamic_cast<const CCompositionObject*>(&source)) {
        CopyRefId(Object, s->Object);
        CopyRefId(Window, s->Window);
        ObjectCroppedFlag = s->ObjectCroppedFlag;
        ForcedOnFlag = s->ForcedOnFlag;
        CompositionObjectHorPos = s->CompositionObjectHorPos;
        CompositionObjectVerPos = s->CompositionObjectVerPos;
        Cropping = s->Cropping;
    }
}

SCompositionObject CCompositionObject::ToRecord() const {
    SCompositionObject r;
    r.ObjectIdRef = uint16_t(Object.Id);
    r.WindowIdRef = uint8_t(Window.Id);
    r.ObjectCroppedFlag = ObjectCroppedFlag ? 1 : 0;
    r.ForcedOnFlag = ForcedOnFlag ? 1 : 0;
    r.CompositionObjectHorPos = uint16_t(CompositionObjectHorPos);
    r.CompositionObjectVerPos = uint16_t(CompositionObjectVerPos);
    if (r.ObjectCroppedFlag) {
        r.ObjectCroppingHorPos = uint16_t(Cropping.Left);
        r.ObjectCroppingVerPos = uint16_t(Cropping.Top);
        r.ObjectCroppingWidth = uint16_t(Cropping.Width());
        r.ObjectCroppingHeight = uint16_t(Cropping.Height());
    }
    return r;
}

void CCompositionObject::FromRecord(const SCompositionObject& r) {
    Object = {nullptr, IdFrom16(r.ObjectIdRef)};
    Window = {nullptr, r.WindowIdRef};
    ObjectCroppedFlag = r.ObjectCroppedFlag;
    ForcedOnFlag = r.ForcedOnFlag;
    CompositionObjectHorPos = r.CompositionObjectHorPos;
    CompositionObjectVerPos = r.CompositionObjectVerPos;
    Cropping = {};
    if (r.ObjectCroppedFlag)
        Cropping = {r.ObjectCroppingHorPos, r.ObjectCroppingVerPos,
                    r.ObjectCroppingHorPos + r.ObjectCroppingWidth,
                    r.ObjectCroppingVerPos + r.ObjectCroppingHeight};
}

int32_t CCompositionObject::Parse(const uint8_t* data, size_t size, int32_t) {
    return ParseRecordNode<SCompositionObject>(*this, data, size);
}

int32_t CCompositionObject::Build(uint8_t* out, int32_t) {
    return BuildRecordNode(ToRecord(), out);
}

void CWindowObject::Copy(const CNamedObject& source) {
    CNamedObject::Copy(source);
    if (auto* s = dynamic_cast<const CWindowObject*>(&source))
        Rect = s->Rect;
}

SWindow CWindowObject::ToRecord() const {
    return {uint8_t(GetId()), uint16_t(Rect.Left), uint16_t(Rect.Top), uint16_t(Rect.Width()),
            uint16_t(Rect.Height())};
}

void CWindowObject::FromRecord(const SWindow& r) {
    SetId(r.WindowID);
    Rect = {r.HorPos, r.VerPos, r.HorPos + r.Width, r.VerPos + r.Height};
}

int32_t CWindowObject::Parse(const uint8_t* data, size_t size, int32_t) {
    return ParseRecordNode<SWindow>(*this, data, size);
}

int32_t CWindowObject::Build(uint8_t* out, int32_t) {
    return BuildRecordNode(ToRecord(), out);
}

// ---- effects ----

void CEffectObject::Copy(const CNamedObject& source) {
    CNamedPtrArray<CCompositionObject>::Copy(source);
    if (auto* s = dynamic_cast<const CEffectObject*>(&source)) {
        CopyRefId(Palette, s->Palette);
        Duration = s->Duration;
    }
}

CCompositionObject* CEffectObject::NewCompositionObject() {
    if (GetCount() >= kMaxObjects)
        return nullptr;
    auto object = std::make_unique<CCompositionObject>();
    NameChild(*object, CCompositionObject::kLabel, GetCount());
    return Add(std::move(object));
}

void CEffectSequence::Write(CModelWriter& out) const {
    uint64_t windowTicks = 0;
    for (const SWindow& w : Windows)
        windowTicks += (uint64_t(w.Width) * w.Height * 9 + 1599) / 1600;
    if (Windows.size() > 2)
        out.Fail("an effect sequence holds " + std::to_string(Windows.size()) +
                 " windows; at most 2 can be written");
    out.Field(Windows.size(), 8, "number of windows of an effect sequence");
    for (const SWindow& w : Windows) w.Write(out.Out());
    out.Field(Effects.size(), 8, "number of effects of an effect sequence");
    for (const CEffect& e : Effects) {
        out.Field(std::max<uint64_t>(e.Duration, windowTicks), 24, "effect duration");
        out.Out().U8(e.PaletteIdRef);
        out.Field(e.CompositionObjects.size(), 8, "number of composition objects of an effect");
        for (const SCompositionObject& o : e.CompositionObjects) o.Write(out.Out());
    }
}

void CEffectSequence::Read(ByteReader& in) {
    Windows.clear();
    Effects.clear();
    uint8_t windows = in.U8();
    for (uint8_t i = 0; i < windows; ++i) {
        SWindow w;
        w.Read(in);
        Windows.push_back(w);
    }
    uint8_t effects = in.U8();
    for (uint8_t i = 0; i < effects; ++i) {
        CEffect e;
        e.Duration = in.U24();
        e.PaletteIdRef = in.U8();
        uint8_t objects = in.U8();
        for (uint8_t k = 0; k < objects; ++k) {
            SCompositionObject o;
            o.Read(in);
            e.CompositionObjects.push_back(o);
        }
        Effects.push_back(std::move(e));
    }
}

void CEffectSequenceObject::Copy(const CNamedObject& source) {
    CNamedPtrArray<CEffectObject>::Copy(source);
    if (auto* s = dynamic_cast<const CEffectSequenceObject*>(&source)) {
        Windows.CopyFrom(s->Windows);
        Windows.SetParent(this);
    }
}

CEffectObject* CEffectSequenceObject::NewEffect() {
    if (GetCount() >= kMaxEffects)
        return nullptr;
    auto effect = std::make_unique<CEffectObject>();
    NameChild(*effect, CEffectObject::kLabel, GetCount());
    return Add(std::move(effect));
}

CWindowObject* CEffectSequenceObject::NewWindow() {
    if (Windows.GetCount() >= kMaxWindows)
        return nullptr;
    auto window = std::make_unique<CWindowObject>();
    NameChild(*window, CWindowObject::kLabel, Windows.GetCount());
    return Windows.Add(std::move(window));
}

CEffectSequence CEffectSequenceObject::ToRecord() const {
    CEffectSequence r;
    for (CWindowObject* w : Windows.Children()) r.Windows.push_back(w->ToRecord());
    for (CEffectObject* e : Children()) {
        CEffect effect;
        effect.Duration = e->Duration;
        effect.PaletteIdRef = uint8_t(e->Palette.Id);
        for (CCompositionObject* o : e->Children())
            effect.CompositionObjects.push_back(o->ToRecord());
        r.Effects.push_back(std::move(effect));
    }
    return r;
}

void CEffectSequenceObject::FromRecord(const CEffectSequence& r) {
    RemoveAll();
    Windows.RemoveAll();
    for (const SWindow& w : r.Windows) {
        auto window = std::make_unique<CWindowObject>();
        NameChild(*window, CWindowObject::kLabel, Windows.GetCount());
        window->FromRecord(w);
        Windows.Add(std::move(window));
    }
    for (const CEffect& e : r.Effects) {
        auto effect = std::make_unique<CEffectObject>();
        NameChild(*effect, CEffectObject::kLabel, GetCount());
        effect->Duration = e.Duration;
        effect->Palette = {nullptr, e.PaletteIdRef};
        for (const SCompositionObject& o : e.CompositionObjects) {
            auto object = std::make_unique<CCompositionObject>();
            NameChild(*object, CCompositionObject::kLabel, effect->GetCount());
            object->FromRecord(o);
            effect->Add(std::move(object));
        }
        Add(std::move(effect));
    }
}

void CEffectSequenceObject::Read(ByteReader& in) {
    CEffectSequence r;
    r.Read(in);
    FromRecord(r);
}

int32_t CEffectSequenceObject::Parse(const uint8_t* data, size_t size, int32_t) {
    return ParseNode(*this, data, size);
}

int32_t CEffectSequenceObject::Build(uint8_t* out, int32_t) {
    return BuildNode(*this, out);
}

void CEffectSequenceObject::RefreshIds() {
    int id = 0;
    for (CWindowObject* w : Windows.Children()) w->SetId(id++);
    for (CEffectObject* e : Children()) {
        e->Palette.Refresh();
        for (CCompositionObject* o : e->Children()) {
            o->Object.Refresh();
            o->Window.Refresh();
        }
    }
}

// ---- buttons ----

void CBdButton::Copy(const CNamedObject& source) {
    CNamedObject::Copy(source);
    auto* s = dynamic_cast<const CBdButton*>(&source);
    if (s == nullptr)
        return;
    type_ = s->type_;
    Parameters = s->Parameters;
    NumbericValue = s->NumbericValue;
    AutoActionFlag = s->AutoActionFlag;
    HorPos = s->HorPos;
    VerPos = s->VerPos;
    for (size_t i = 0; i < 4; ++i) CopyRefId(Neighbors.Buttons[i], s->Neighbors.Buttons[i]);
    for (size_t i = 0; i < 3; ++i) {
        CopyRefId(States[i].Start, s->States[i].Start);
        CopyRefId(States[i].End, s->States[i].End);
        States[i].SoundId = s->States[i].SoundId;
        States[i].RepeatFlag = s->States[i].RepeatFlag;
    }
    Commands.CopyFrom(s->Commands);
    Commands.SetParent(this);
}

void CBdButton::SetType(uint8_t type) {
    if (type != 1)
        Commands.RemoveAll();
    type_ = type;
}

CGraphicObject* CBdButton::FirstGraphic() const {
    for (const CButtonStateInfo& s : States)
        if (CGraphicObject* g = s.First())
            return g;
    return nullptr;
}

SRect CBdButton::Rect() const {
    CGraphicObject* g = FirstGraphic();
    if (g == nullptr)
        return {};
    return {HorPos, VerPos, HorPos + g->Width, VerPos + g->Height};
}

void CBdButton::RefreshIds() {
    for (auto& n : Neighbors.Buttons) n.Refresh();
    for (auto& s : States) {
        s.Start.Refresh();
        s.End.Refresh();
    }
}

void CBdButton::Write(CModelWriter& out) const {
    ByteWriter& w = out.Out();
    if (GetId() < 0 || GetId() > kMaxId)
        out.Fail("button \"" + GetName() + "\" has id " + std::to_string(GetId()) +
                 "; button ids run from 0 to 8159");
    w.U16(uint16_t(GetId()));
    w.U16(uint16_t(NumbericValue));
    w.U8(AutoActionFlag ? 0x80 : 0);
    w.U16(HorPos);
    w.U16(VerPos);
    // A direction without a neighbour leads back to the button itself: a player given 0xFFFF
    // there would leave no button selected.
    for (const auto& n : Neighbors.Buttons) w.U16(uint16_t(n.Id == -1 ? GetId() : n.Id));
    const CButtonStateInfo& normal = States[kNormal];
    w.U16(uint16_t(normal.Start.Id));
    w.U16(uint16_t(normal.End.Id));
    w.U8(normal.RepeatFlag ? 0x80 : 0);
    const CButtonStateInfo& selected = States[kSelected];
    w.U8(selected.SoundId);
    w.U16(uint16_t(selected.Start.Id));
    w.U16(uint16_t(selected.End.Id));
    w.U8(selected.RepeatFlag ? 0x80 : 0);
    const CButtonStateInfo& activated = States[kActivated];
    w.U8(activated.SoundId);
    w.U16(uint16_t(activated.Start.Id));
    w.U16(uint16_t(activated.End.Id));
    out.Field(uint64_t(Commands.GetCount()), 16, "number of commands of a button");
    std::vector<uint8_t> commands(size_t(Commands.Store(nullptr)));
    Commands.Store(commands.data());
    w.Bytes(commands);
}

void CBdButton::Read(ByteReader& in) {
    SetId(in.U16());
    NumbericValue = int16_t(in.U16());
    AutoActionFlag = (in.U8() & 0x80) ? 1 : 0;
    HorPos = in.U16();
    VerPos = in.U16();
    for (auto& n : Neighbors.Buttons) n = {nullptr, IdFrom16(in.U16())};
    CButtonStateInfo& normal = States[kNormal];
    normal.Start = {nullptr, IdFrom16(in.U16())};
    normal.End = {nullptr, IdFrom16(in.U16())};
    normal.RepeatFlag = (in.U8() & 0x80) ? 1 : 0;
    CButtonStateInfo& selected = States[kSelected];
    selected.SoundId = in.U8();
    selected.Start = {nullptr, IdFrom16(in.U16())};
    selected.End = {nullptr, IdFrom16(in.U16())};
    selected.RepeatFlag = (in.U8() & 0x80) ? 1 : 0;
    CButtonStateInfo& activated = States[kActivated];
    activated.SoundId = in.U8();
    activated.Start = {nullptr, IdFrom16(in.U16())};
    activated.End = {nullptr, IdFrom16(in.U16())};
    activated.RepeatFlag = 0;
    uint16_t count = in.U16();
    in.Need(size_t(count) * 12);
    Commands.Load(in.Here(), count);
    in.Skip(size_t(count) * 12);
}

int32_t CBdButton::Parse(const uint8_t* data, size_t size, int32_t) {
    ByteReader in(data, size);
    try {
        Read(in);
    } catch (const ParseError&) {
        Commands.RemoveAll();
        return 0;
    }
    return int32_t(in.Position());
}

int32_t CBdButton::Build(uint8_t* out, int32_t) {
    return BuildNode(*this, out);
}

// ---- button overlap groups ----

void CBog::Copy(const CNamedObject& source) {
    CNamedPtrArray<CBdButton>::Copy(source);
    if (auto* s = dynamic_cast<const CBog*>(&source))
        CopyRefId(DefaultButton, s->DefaultButton);
}

CBdButton* CBog::NewButton() {
    std::vector<bool> used(CBdButton::kMaxId + 1, false);
    auto mark = [&](const CBog& bog) {
        for (CBdButton* b : bog.Children())
            if (b->GetId() >= 0 && b->GetId() <= CBdButton::kMaxId)
                used[size_t(b->GetId())] = true;
    };
    if (auto* page = dynamic_cast<CPage*>(GetParent()))
        for (CBog* bog : page->Children()) mark(*bog);
    else
        mark(*this);
    int32_t id = 0;
    while (id <= CBdButton::kMaxId && used[size_t(id)]) ++id;
    auto button = std::make_unique<CBdButton>();
    button->SetId(id);
    NameChild(*button, CBdButton::kLabel, id);
    CBdButton* added = Add(std::move(button));
    if (DefaultButton.Ptr == nullptr)
        DefaultButton.Set(added);
    return added;
}

SRect CBog::Rect() const {
    SRect r;
    for (CBdButton* b : Children()) r.Unite(b->Rect());
    return r;
}

void CBog::Write(CModelWriter& out) const {
    out.Out().U16(uint16_t(DefaultButton.Id));
    out.Field(uint64_t(GetCount()), 8, "number of buttons of \"" + GetName() + "\"");
    for (CBdButton* b : Children()) b->Write(out);
}

void CBog::Read(ByteReader& in) {
    RemoveAll();
    DefaultButton = {nullptr, IdFrom16(in.U16())};
    uint8_t count = in.U8();
    for (uint8_t i = 0; i < count; ++i) {
        auto button = std::make_unique<CBdButton>();
        button->Read(in);
        NameChild(*button, CBdButton::kLabel, button->GetId());
        Add(std::move(button));
    }
}

int32_t CBog::Parse(const uint8_t* data, size_t size, int32_t) {
    return ParseNode(*this, data, size);
}

int32_t CBog::Build(uint8_t* out, int32_t) {
    return BuildNode(*this, out);
}

// ---- pages ----

CPage::CPage() {
    CurrentSelectedButton.SetName("Current Selected Button");
    CurrentSelectedButton.SetId(CBdButton::kCurrentSelected);
    CurrentSelectedButton.SetParent(this);
    InEffects.SetName("In Effect");
    InEffects.SetParent(this);
    OutEffects.SetName("Out Effect");
    OutEffects.SetParent(this);
}

void CPage::Copy(const CNamedObject& source) {
    CNamedPtrArray<CBog>::Copy(source);
    auto* s = dynamic_cast<const CPage*>(&source);
    if (s == nullptr)
        return;
    CopyRefId(DefaultSelectedButton, s->DefaultSelectedButton);
    CopyRefId(DefaultActivatedButton, s->DefaultActivatedButton);
    CurrentSelectedButton.Copy(s->CurrentSelectedButton);
    CurrentSelectedButton.SetParent(this);
    CopyRefId(Palette, s->Palette);
    PaletteIdRef = s->PaletteIdRef;
    Version = s->Version;
    UMT = s->UMT;
    InEffects.Copy(s->InEffects);
    InEffects.SetParent(this);
    OutEffects.Copy(s->OutEffects);
    OutEffects.SetParent(this);
    AnimationFrameRateCode = s->AnimationFrameRateCode;
}

CBog* CPage::NewBog() {
    auto bog = std::make_unique<CBog>();
    NameChild(*bog, CBog::kLabel, GetCount());
    return Add(std::move(bog));
}

CBdButton* CPage::FindButton(int32_t id) {
    if (id == CBdButton::kCurrentSelected)
        return &CurrentSelectedButton;
    for (CBog* bog : Children())
        for (CBdButton* b : bog->Children())
            if (b->GetId() == id)
                return b;
    return nullptr;
}

void CPage::Write(CModelWriter& out) const {
    ByteWriter& w = out.Out();
    out.Field(uint64_t(uint32_t(GetId())), 8, "page id");
    w.U8(Version);
    w.Bytes(UMT.data(), UMT.size());
    InEffects.Write(out);
    OutEffects.Write(out);
    w.U8(AnimationFrameRateCode);
    w.U16(uint16_t(DefaultSelectedButton.Id));
    w.U16(uint16_t(DefaultActivatedButton.Id));
    w.U8(PaletteIdRef);
    out.Field(uint64_t(GetCount()), 8, "number of BOGs of \"" + GetName() + "\"");
    for (CBog* bog : Children()) bog->Write(out);
}

void CPage::Read(ByteReader& in) {
    RemoveAll();
    SetId(in.U8());
    Version = in.U8();
    in.Bytes(UMT.data(), UMT.size());
    InEffects.Read(in);
    OutEffects.Read(in);
    AnimationFrameRateCode = in.U8();
    DefaultSelectedButton = {nullptr, IdFrom16(in.U16())};
    DefaultActivatedButton = {nullptr, IdFrom16(in.U16())};
    PaletteIdRef = in.U8();
    Palette = {nullptr, PaletteIdRef};
    uint8_t count = in.U8();
    for (uint8_t i = 0; i < count; ++i) {
        auto bog = std::make_unique<CBog>();
        NameChild(*bog, CBog::kLabel, GetCount());
        CBog* added = Add(std::move(bog));
        added->Read(in);
    }
}

int32_t CPage::Parse(const uint8_t* data, size_t size, int32_t) {
    return ParseNode(*this, data, size);
}

int32_t CPage::Build(uint8_t* out, int32_t) {
    return BuildNode(*this, out);
}

bool CPage::ComputeGeometricNeighbours() {
    struct Candidate {
        CBog* bog;
        CBdButton* button;
        SRect rect;
        bool hasGraphic;
    };
    std::vector<Candidate> candidates;
    for (CBog* bog : Children())
        if (CBdButton* b = bog->DefaultButton.Ptr)
            candidates.push_back({bog, b, b->Rect(), b->FirstGraphic() != nullptr});
    if (candidates.size() < 2)
        return false;

    bool changed = false;
    for (size_t i = 0; i < candidates.size(); ++i) {
        const SRect& r = candidates[i].rect;
        const int32_t cx = Centre(r.Left, r.Right), cy = Centre(r.Top, r.Bottom);
        // Finds one axis's pair of neighbours. horizontal: left/right across a row; otherwise
        // up/down across a column.
        auto search = [&](bool horizontal, CBdButton*& before, CBdButton*& after) {
            before = after = nullptr;
            std::vector<const Candidate*> line;
            const Candidate* bestBefore = nullptr;
            const Candidate* bestAfter = nullptr;
            double scoreBefore = 65535, scoreAfter = 65535;
            for (size_t j = 0; j < candidates.size(); ++j) {
                if (j == i || !candidates[j].hasGraphic)
                    continue;
                const SRect& o = candidates[j].rect;
                const bool inLine = horizontal ? (o.Top < r.Bottom && r.Top < o.Bottom)
                                               : (o.Left < r.Right && r.Left < o.Right);
                if (inLine) {
                    line.push_back(&candidates[j]);
                    continue;
                }
                const int32_t ox = Centre(o.Left, o.Right), oy = Centre(o.Top, o.Bottom);
                const bool isBefore = horizontal ? o.Right < r.Left : o.Bottom < r.Top;
                const bool isAfter = horizontal ? r.Right < o.Left : r.Bottom < o.Top;
                if (!isBefore && !isAfter)
                    continue;
                const double across = horizontal ? std::abs(cy - oy) : std::abs(cx - ox);
                const double along = horizontal ? std::abs(cx - ox) : std::abs(cy - oy);
                if (along == 0)
                    continue;
                const double score = across / along;
                if (isBefore && score < scoreBefore) {
                    scoreBefore = score;
                    bestBefore = &candidates[j];
                }
                if (isAfter && score < scoreAfter) {
                    scoreAfter = score;
                    bestAfter = &candidates[j];
                }
            }
            if (line.empty()) {
                before = bestBefore ? bestBefore->button : nullptr;
                after = bestAfter ? bestAfter->button : nullptr;
                return;
            }
            auto lead = [&](const SRect& o) { return horizontal ? o.Left : o.Top; };
            auto trail = [&](const SRect& o) { return horizontal ? o.Right : o.Bottom; };
            const int32_t edge = lead(r);
            const Candidate *nearBefore = nullptr, *nearAfter = nullptr;
            const Candidate *farthest = nullptr, *firstLead = nullptr;
            for (const Candidate* c : line) {
                const int32_t l = lead(c->rect);
                if (l < edge && (!nearBefore || l > lead(nearBefore->rect)))
                    nearBefore = c;
                if (l >= edge && (!nearAfter || l < lead(nearAfter->rect)))
                    nearAfter = c;
                if (!farthest || trail(c->rect) > trail(farthest->rect))
                    farthest = c;
                if (!firstLead || l < lead(firstLead->rect))
                    firstLead = c;
            }
            before = (nearBefore ? nearBefore : farthest)->button;
            after = (nearAfter ? nearAfter : firstLead)->button;
        };
        CBdButton* found[4] = {};
        search(false, found[CNeighborInfo::kUp], found[CNeighborInfo::kDown]);
        search(true, found[CNeighborInfo::kLeft], found[CNeighborInfo::kRight]);
        for (int d = 0; d < 4; ++d) {
            if (found[d] == nullptr)
                continue;
            for (CBdButton* b : candidates[i].bog->Children()) {
                CRef<CBdButton>& slot = b->Neighbors.Buttons[size_t(d)];
                if (slot.Ptr != found[d] || slot.Id != found[d]->GetId()) {
                    slot.Set(found[d]);
                    changed = true;
                }
            }
        }
    }
    return changed;
}

// ---- compositions, display sets, epochs ----

void CIcData::Copy(const CNamedObject& source) {
    CNamedPtrArray<CPage>::Copy(source);
    if (auto* s = dynamic_cast<const CIcData*>(&source)) {
        CompositionLength = s->CompositionLength;
        StreamModel = s->StreamModel;
        UserInterfaceModel = s->UserInterfaceModel;
        CompositionTimeOutPts = s->CompositionTimeOutPts;
        SelectionTimeOutPts = s->SelectionTimeOutPts;
        UserTimeOutDuration = s->UserTimeOutDuration;
    }
}

CPage* CIcData::NewPage() {
    auto page = std::make_unique<CPage>();
    NameChild(*page, CPage::kLabel, GetCount());
    return Add(std::move(page));
}

bool CIcData::Write(CModelWriter& out) const {
    ByteWriter& w = out.Out();
    const size_t start = w.Position();
    w.U24(0);
    w.U8(uint8_t((StreamModel ? 0x80 : 0) | (UserInterfaceModel ? 0x40 : 0)));
    if (StreamModel == 0) {
        // 7 reserved bits, then the 33-bit time-out: bit 32 is the low bit of the first byte.
        for (uint64_t timeOut : {CompositionTimeOutPts, SelectionTimeOutPts}) {
            if (timeOut > kTimeOutMask)
                out.Fail("a time-out (" + std::to_string(timeOut) + ") does not fit 33 bits");
            w.U8(uint8_t((timeOut >> 32) & 1));
            w.U32(uint32_t(timeOut));
        }
    }
    out.Field(UserTimeOutDuration, 24, "user time-out duration");
    out.Field(uint64_t(GetCount()), 8, "number of pages");
    for (CPage* page : Children()) page->Write(out);
    const size_t length = w.Position() - start - 3;
    if (length > 0xFFFFFF)
        out.Fail("the interactive composition (" + std::to_string(length) +
                 " bytes) exceeds its 24-bit length");
    w.PatchU8(start, uint8_t(length >> 16));
    w.PatchU8(start + 1, uint8_t(length >> 8));
    w.PatchU8(start + 2, uint8_t(length));
    CompositionLength = uint32_t(length & 0xFFFFFF);
    return out.Ok();
}

void CIcData::Read(ByteReader& outer) {
    RemoveAll();
    CompositionLength = outer.U24();
    ByteReader in = outer.Sub(CompositionLength);
    uint8_t model = in.U8();
    StreamModel = model >> 7;
    UserInterfaceModel = (model >> 6) & 1;
    CompositionTimeOutPts = SelectionTimeOutPts = 0;
    if (StreamModel == 0) {
        CompositionTimeOutPts = (uint64_t(in.U8() & 1) << 32) | in.U32();
        SelectionTimeOutPts = (uint64_t(in.U8() & 1) << 32) | in.U32();
    }
    UserTimeOutDuration = in.U24();
    uint8_t pages = in.U8();
    for (uint8_t i = 0; i < pages; ++i) NewPage()->Read(in);
}

int32_t CIcData::Parse(const uint8_t* data, size_t size, int32_t) {
    return ParseNode(*this, data, size);
}

int32_t CIcData::Build(uint8_t* out, int32_t) {
    return BuildNode(*this, out);
}

void CDisplaySet::Copy(const CNamedObject& source) {
    CIcData::Copy(source);
    if (auto* s = dynamic_cast<const CDisplaySet*>(&source)) {
        Text = s->Text;
        StartFrame = s->StartFrame;
        CompositionState = s->CompositionState;
    }
}

CEpoch::CEpoch() {
    Graphics.SetName(CGoFolder::kLabel);
    Graphics.SetParent(this);
    Palettes.SetName(CPoFolder::kLabel);
    Palettes.SetParent(this);
}

void CEpoch::Copy(const CNamedObject& source) {
    CNamedPtrArray<CDisplaySet>::Copy(source);
    if (auto* s = dynamic_cast<const CEpoch*>(&source)) {
        DisplaySetCounter = s->DisplaySetCounter;
        Graphics.CopyFrom(s->Graphics);
        Graphics.SetParent(this);
        Palettes.CopyFrom(s->Palettes);
        Palettes.SetParent(this);
    }
}

CDisplaySet* CEpoch::NewDisplaySet() {
    auto ds = std::make_unique<CDisplaySet>();
    NameChild(*ds, CDisplaySet::kLabel, DisplaySetCounter + 1);
    ds->SetId(DisplaySetCounter++);
    return Add(std::move(ds));
}

void CIgObject::Copy(const CNamedObject& source) {
    CNamedPtrArray<CEpoch>::Copy(source);
    if (auto* s = dynamic_cast<const CIgObject*>(&source)) {
        EpochCounter = s->EpochCounter;
        VideoDescriptor = s->VideoDescriptor;
        Wide = s->Wide;
        ResolveIds();
    }
}

CEpoch* CIgObject::NewEpoch() {
    auto epoch = std::make_unique<CEpoch>();
    NameChild(*epoch, CEpoch::kLabel, EpochCounter + 1);
    epoch->SetId(EpochCounter++);
    return Add(std::move(epoch));
}

bool CIgObject::HasNoButtons() const {
    for (CEpoch* e : Children())
        for (CDisplaySet* ds : e->Children())
            for (CPage* page : ds->Children())
                if (page->GetCount() > 0)
                    return false;
    return true;
}

bool CIgObject::SetVideoFromStream(uint8_t codingType, uint8_t videoFormat, uint8_t frameRate,
                                   uint8_t aspectRatio) {
    if (codingType != 0x02 && codingType != 0x1B && codingType != 0xEA)
        return false;
    static const uint16_t sizes[8][2] = {{0, 0},       {720, 480},  {720, 576},   {720, 480},
                                         {1920, 1080}, {1280, 720}, {1920, 1080}, {720, 576}};
    Wide = aspectRatio == 3 ? 1 : 0;
    VideoDescriptor.FrameRate = frameRate;
    const uint16_t width = videoFormat < 8 ? sizes[videoFormat][0] : 0;
    const uint16_t height = videoFormat < 8 ? sizes[videoFormat][1] : 0;
    if (VideoDescriptor.Width != 0 && VideoDescriptor.Height != 0 &&
        (VideoDescriptor.Width != width || VideoDescriptor.Height != height))
        return false;
    VideoDescriptor.Width = width;
    VideoDescriptor.Height = height;
    return true;
}

void CIgObject::RefreshIds() {
    for (CEpoch* e : Children())
        for (CDisplaySet* ds : e->Children())
            for (CPage* page : ds->Children()) {
                page->InEffects.RefreshIds();
                page->OutEffects.RefreshIds();
                page->DefaultSelectedButton.Refresh();
                page->DefaultActivatedButton.Refresh();
                page->Palette.Refresh();
                for (CBog* bog : page->Children()) {
                    bog->DefaultButton.Refresh();
                    for (CBdButton* b : bog->Children()) b->RefreshIds();
                }
            }
}

void CIgObject::ResolveIds() {
    for (CEpoch* e : Children()) {
        auto graphic = [e](int32_t id) { return e->Graphics.FindById(id); };
        auto palette = [e](int32_t id) { return e->Palettes.FindById(id); };
        for (CDisplaySet* ds : e->Children())
            for (CPage* page : ds->Children()) {
                auto button = [page](int32_t id) -> CBdButton* {
                    return id == CBdButton::kCurrentSelected ? nullptr : page->FindButton(id);
                };
                ResolveRef(page->DefaultSelectedButton, button);
                ResolveRef(page->DefaultActivatedButton,
                           [page](int32_t id) { return page->FindButton(id); });
                ResolveRef(page->Palette, palette);
                for (CEffectSequenceObject* seq : {&page->InEffects, &page->OutEffects})
                    for (CEffectObject* effect : seq->Children()) {
                        ResolveRef(effect->Palette, palette);
                        for (CCompositionObject* o : effect->Children()) {
                            ResolveRef(o->Object, graphic);
                            ResolveRef(o->Window, [seq](int32_t id) -> CWindowObject* {
                                for (CWindowObject* w : seq->Windows.Children())
                                    if (w->GetId() == id)
                                        return w;
                                return nullptr;
                            });
                        }
                    }
                for (CBog* bog : page->Children()) {
                    ResolveRef(bog->DefaultButton, button);
                    for (CBdButton* b : bog->Children()) {
                        for (auto& n : b->Neighbors.Buttons) ResolveRef(n, button);
                        for (auto& s : b->States) {
                            ResolveRef(s.Start, graphic);
                            ResolveRef(s.End, graphic);
                        }
                    }
                }
            }
    }
}

}  // namespace vx
