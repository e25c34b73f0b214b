// Encoding the interactive composition model into graphics-stream units.

#include <algorithm>
#include <map>

#include "foundation/file.h"
#include "foundation/messages.h"
#include "graphics/convert.h"
#include "graphics/ig_encode.h"
#include "graphics/ig_model.h"
#include "graphics/run_length.h"

namespace vx {

namespace {

constexpr uint32_t kFirstPresentation = 131070;

int64_t CeilDiv(int64_t a, int64_t b) {
    return a >= 0 ? (a + b - 1) / b : -((-a) / b);
}

int64_t Pixels(const CGraphicObject* g) {
    return g ? int64_t(g->Width) * g->Height : 0;
}

void SetReason(std::string* reason, const std::string& text) {
    if (reason)
        *reason = text;
}

// Collects objects once each, in first-reference order, through the mark flag.
class ObjectCollector {
public:
    ObjectCollector(CEpoch& epoch, CNamedPtrCollection& into) : epoch_(epoch), into_(into) {}

    void Take(CGraphicObject* g) { CollectMarked(g, into_); }
    // The objects whose ids run between the state's start and end ids.
    void TakeState(const CButtonStateInfo& s) {
        if (s.Start.Ptr == nullptr || s.End.Ptr == nullptr)
            return;
        int32_t a = s.Start.Ptr->GetId(), b = s.End.Ptr->GetId();
        if (a > b)
            std::swap(a, b);
        for (int32_t id = a; id <= b; ++id) Take(epoch_.Graphics.FindById(id));
    }
    void TakeEffects(const CEffectSequenceObject& seq) {
        for (CEffectObject* e : seq.Children())
            for (CCompositionObject* o : e->Children()) Take(o->Object.Ptr);
    }
    int Count() const { return into_.GetCount(); }

private:
    CEpoch& epoch_;
    CNamedPtrCollection& into_;
};

}  // namespace

void ClearMarks(CEpoch& epoch) {
    CNamedPtrCollection all;
    epoch.Graphics.CollectItems(&all);
    for (CNamedObject* o : all) o->SetMark(0);
    for (CErgbPalette* p : epoch.Palettes.Children()) p->SetMark(0);
}

int CollectPageObjects(CEpoch& epoch, const CPage& page, CNamedPtrCollection& into) {
    ObjectCollector take(epoch, into);
    const int before = take.Count();
    take.TakeEffects(page.InEffects);
    for (CBog* bog : page.Children())
        if (CBdButton* d = bog->DefaultButton.Ptr)
            take.TakeState(d->States[CBdButton::kNormal]);
    int lastInitial = take.Count() > before ? take.Count() - 1 : -1;
    const int beforeSelected = take.Count();
    CBdButton* selected = page.DefaultSelectedButton.Ptr;
    if (selected)
        take.TakeState(selected->States[CBdButton::kSelected]);
    for (CBog* bog : page.Children())
        if (CBdButton* d = bog->DefaultButton.Ptr)
            take.TakeState(d->States[CBdButton::kSelected]);
    if (take.Count() > beforeSelected)
        lastInitial = selected ? beforeSelected : take.Count() - 1;
    for (CBog* bog : page.Children())
        if (CBdButton* d = bog->DefaultButton.Ptr)
            take.TakeState(d->States[CBdButton::kActivated]);
    for (CBog* bog : page.Children())
        for (CBdButton* b : bog->Children()) {
            if (b == bog->DefaultButton.Ptr || b == selected)
                continue;
            for (const CButtonStateInfo& s : b->States) take.TakeState(s);
        }
    take.TakeEffects(page.OutEffects);
    return lastInitial;
}

bool FrameRateOf(uint8_t code, int64_t& numerator, int64_t& denominator) {
    switch (code) {
        case 1:
            numerator = 24000, denominator = 1001;
            return true;
        case 2:
            numerator = 24, denominator = 1;
            return true;
        case 3:
            numerator = 25, denominator = 1;
            return true;
        case 4:
            numerator = 30000, denominator = 1001;
            return true;
        case 6:
            numerator = 50, denominator = 1;
            return true;
        case 7:
            numerator = 60000, denominator = 1001;
            return true;
        default:
            return false;
    }
}

bool PresentationTime(uint8_t frameRate, uint32_t startFrame, int64_t decodeDuration,
                      uint32_t& presentation, uint32_t& decodeStart) {
    int64_t num, den;
    if (!FrameRateOf(frameRate, num, den))
        return false;
    const int64_t period = 90000 * den / num;
    // startFrame / fps x 90 000, rounded half up, exactly.
    int64_t p = (2 * int64_t(startFrame) * 90000 * den + num) / (2 * num);
    const int64_t room = period * CeilDiv(decodeDuration, period);
    p = std::max({p, room, int64_t(kFirstPresentation)});
    if (p > int64_t(UINT32_MAX))
        return false;
    presentation = uint32_t(p);
    decodeStart = uint32_t(p - decodeDuration);
    return true;
}

int64_t DecodeDuration(const CNamedPtrCollection& objects, int lastInitial, bool epochStart,
                       const SVideoDescriptor& video, const CPage* firstPage) {
    int64_t b = 0;
    for (int i = 0; i <= lastInitial; ++i)
        b += CeilDiv(Pixels(static_cast<CGraphicObject*>(objects.GetAt(i))) * 9, 800);
    if (epochStart)
        b = std::max(b, CeilDiv(int64_t(video.Width) * video.Height * 9, 1600));
    int64_t c = 0;
    if (firstPage) {
        bool anyDefault = false;
        for (CBog* bog : firstPage->Children())
            if (CBdButton* d = bog->DefaultButton.Ptr) {
                anyDefault = true;
                c += Pixels(d->States[CBdButton::kNormal].First()) * 8;
            }
        if (CBdButton* s = firstPage->DefaultSelectedButton.Ptr) {
            c = c - Pixels(s->States[CBdButton::kNormal].First()) * 8 +
                Pixels(s->States[CBdButton::kSelected].First()) * 8;
        } else if (anyDefault) {
            CBdButton* largest = nullptr;
            int64_t size = -1;
            for (CBog* bog : firstPage->Children())
                if (CBdButton* d = bog->DefaultButton.Ptr) {
                    int64_t px = Pixels(d->FirstGraphic());
                    if (px > size) {
                        size = px;
                        largest = d;
                    }
                }
            c = c - size * 8 + Pixels(largest->States[CBdButton::kSelected].First()) * 8;
        } else {
            c = 0;
        }
    }
    return b + CeilDiv((c / 8) * 9, 1600);
}

bool PagePaletteFromImages(CEpoch& epoch, const CPage& page, CErgbPalette& palette,
                           std::vector<SPagePicture>& pictures, std::string* reason) {
    palette.RemoveAll();
    pictures.clear();
    CNamedPtrCollection objects;
    ClearMarks(epoch);
    CollectPageObjects(epoch, page, objects);
    ClearMarks(epoch);
    if (objects.GetCount() == 0)
        return true;
    std::vector<CBitmap> sources(size_t(objects.GetCount()));
    std::vector<const CBitmap*> pointers;
    for (int i = 0; i < objects.GetCount(); ++i) {
        if (!static_cast<CGraphicObject*>(objects.GetAt(i))
                 ->LoadPicture(sources[size_t(i)], reason))
            return false;
        pointers.push_back(&sources[size_t(i)]);
    }
    std::vector<CBitmap> indexed;
    ColorTable table;
    int transparent = 255;
    if (!ConvertSetTo8Bit(pointers, indexed, table, transparent)) {
        SetReason(reason, "the pictures of page \"" + page.GetName() + "\" cannot be converted");
        return false;
    }
    palette.FromColorTable(table, 255, 0.0);
    for (int i = 0; i < objects.GetCount(); ++i)
        pictures.push_back(
            {static_cast<CGraphicObject*>(objects.GetAt(i)), std::move(indexed[size_t(i)])});
    return true;
}

namespace {

class DisplaySetEncoder {
public:
    DisplaySetEncoder(CIgObject& ig, CEpoch& epoch, CDisplaySet& ds, std::string* reason)
        : ig_(ig), epoch_(epoch), ds_(ds), reason_(reason) {}

    // Appends the display set's units to out; base is the position out starts at in the file.
    bool Run(ByteWriter& out, int64_t base) {
        segments_.CompositionState = ds_.CompositionState;
        const SVideoDescriptor& video = ig_.VideoDescriptor;
        int64_t num, den;
        if (!FrameRateOf(video.FrameRate, num, den))
            return Fail("the menu's frame-rate code " + std::to_string(video.FrameRate) +
                        " is not a frame rate");
        CollectPalettes();
        if (ds_.GetCount() == 0)
            return Fail("display set \"" + ds_.GetName() + "\" has no pages");
        if (ds_.GetCount() > 255)
            return Fail("display set \"" + ds_.GetName() + "\" has " +
                        std::to_string(ds_.GetCount()) + " pages; at most 255 can be written");
        int pageId = 0;
        for (CPage* page : ds_.Children()) page->SetId(pageId++);
        for (CPage* page : ds_.Children())
            if (!PreparePage(*page))
                return false;

        CModelWriter composition;
        if (!ds_.Write(composition))
            return Fail(composition.Error());
        FragmentComposition(segments_, composition.Out().Buffer(), video);

        CNamedPtrCollection objects;
        int lastInitial = -1;
        ClearMarks(epoch_);
        for (int i = 0; i < ds_.GetCount(); ++i) {
            int last = CollectPageObjects(epoch_, *ds_.GetAt(i), objects);
            if (i == 0)
                lastInitial = last;
        }
        ClearMarks(epoch_);
        for (CNamedObject* o : objects)
            if (!AppendObject(*static_cast<CGraphicObject*>(o)))
                return false;

        const int64_t j = DecodeDuration(objects, lastInitial, ds_.CompositionState == kEpochStart,
                                         video, ds_.GetAt(0));
        if (!segments_.End)
            segments_.End = std::make_unique<CEs>();
        uint32_t p, d;
        if (!PresentationTime(video.FrameRate, ds_.StartFrame, j, p, d))
            return Fail("the presentation time of \"" + ds_.GetName() + "\" exceeds 32 bits");
        SetTimeStamps(segments_, d, p);
        std::string why;
        if (!EmitDisplaySet(segments_, out, base, &why))
            return Fail(why);
        return true;
    }

private:
    bool Fail(const std::string& text) {
        SetReason(reason_, text);
        return false;
    }

    void CollectPalettes() {
        ClearMarks(epoch_);
        CNamedPtrCollection palettes;
        for (CPage* page : ds_.Children()) {
            CollectMarked(page->Palette.Ptr, palettes);
            for (CEffectSequenceObject* seq : {&page->InEffects, &page->OutEffects})
                for (CEffectObject* e : seq->Children()) CollectMarked(e->Palette.Ptr, palettes);
        }
        for (CNamedObject* p : palettes) {
            CPds& pds = AddPalette(segments_);
            FillPds(pds, *static_cast<CErgbPalette*>(p));
            pdsOf_[p] = pds.PaletteId;
        }
        ClearMarks(epoch_);
    }

    static void ShowError(const std::string& message) { ShowMessage(" Error:" + message); }

    bool CheckButtonState(const CBdButton& b, const CButtonStateInfo& s) {
        if ((s.Start.Ptr == nullptr) != (s.End.Ptr == nullptr))
            return Fail("button \"" + b.GetName() + "\" has a state with only " +
                        (s.Start.Ptr ? "a start" : "an end") + " object");
        if (s.Start.Ptr &&
            (s.Start.Ptr->Width != s.End.Ptr->Width || s.Start.Ptr->Height != s.End.Ptr->Height))
            return Fail("button \"" + b.GetName() +
                        "\" has a state whose start and end objects differ in size");
        return true;
    }

    bool PreparePage(CPage& page) {
        if (page.GetCount() == 0) {
            ShowError("has no buttons");
            return Fail(page.GetName() + " has no buttons");
        }
        if (page.GetCount() > 255)
            return Fail("page \"" + page.GetName() + "\" has " + std::to_string(page.GetCount()) +
                        " BOGs; at most 255 can be written");
        std::vector<SRect> rects;
        for (CBog* bog : page.Children()) rects.push_back(bog->Rect());
        for (size_t i = 0; i < rects.size(); ++i)
            for (size_t j = i + 1; j < rects.size(); ++j)
                if (rects[i].Overlaps(rects[j])) {
                    const std::string names =
                        page.GetAt(int(i))->GetName() + " - " + page.GetAt(int(j))->GetName();
                    ShowError("Buttons of different group overlapped (" + names + ")");
                    return Fail("Buttons of different group overlapped (" + names + ")");
                }
        page.InEffects.RefreshIds();
        page.OutEffects.RefreshIds();
        page.DefaultSelectedButton.Refresh();
        page.DefaultActivatedButton.Refresh();

        if (page.Palette.Ptr) {
            page.PaletteIdRef = pdsOf_[page.Palette.Ptr];
        } else if (!MakePagePalette(page)) {
            return false;
        }

        for (CBog* bog : page.Children()) {
            for (CBdButton* b : bog->Children()) b->RefreshIds();
            bog->DefaultButton.Refresh();
            for (CBdButton* b : bog->Children()) {
                for (const CButtonStateInfo& s : b->States)
                    if (!CheckButtonState(*b, s))
                        return false;
                b->RefreshIds();
            }
        }
        return true;
    }

    // A page without a palette: its pictures are converted together to one shared table,
    // which becomes a palette of its own (one PDS), and the converted pictures are the ones
    // coded, so that every index means the same colour on the page.
    bool MakePagePalette(CPage& page) {
        CErgbPalette palette;
        std::vector<SPagePicture> pictures;
        if (!PagePaletteFromImages(epoch_, page, palette, pictures, reason_))
            return false;
        for (const SPagePicture& p : pictures) {
            auto it = converted_.find(p.object);
            if (it != converted_.end())
                return Fail("graphic object \"" + p.object->GetName() + "\" is shown on page \"" +
                            it->second.page + "\" and on page \"" + page.GetName() +
                            "\", neither of which has a palette; give them one");
        }
        CPds& pds = AddPalette(segments_);
        page.PaletteIdRef = pds.PaletteId;
        FillPds(pds, palette);
        for (SPagePicture& p : pictures)
            converted_[p.object] = {page.GetName(), std::move(p.picture)};
        return true;
    }

    bool AppendObject(const CGraphicObject& g) {
        std::vector<uint8_t> data;
        std::string why;
        auto it = converted_.find(&g);
        bool ok = it != converted_.end() ? BuildObjectData(it->second.picture, data, &why)
                                         : BuildObjectData(g, data, &why);
        if (!ok)
            return Fail("graphic object \"" + g.GetName() + "\": " + why);
        if (g.GetId() < 0 || g.GetId() > 0xFFFE)
            return Fail("graphic object \"" + g.GetName() + "\" has id " +
                        std::to_string(g.GetId()) + "; object ids run from 0 to 65534");
        AppendObjectData(segments_, uint16_t(g.GetId()), data);
        return true;
    }

    struct Converted {
        std::string page;
        CBitmap picture;
    };

    CIgObject& ig_;
    CEpoch& epoch_;
    CDisplaySet& ds_;
    std::string* reason_;
    CDsData segments_;
    std::map<const CNamedObject*, uint8_t> pdsOf_;
    std::map<const CGraphicObject*, Converted> converted_;
};

}  // namespace

bool CIgObject::Encode(ByteWriter& out, bool renumber, std::string* reason) {
    int displaySets = 0;
    for (CEpoch* epoch : Children()) displaySets += epoch->GetCount();
    if (displaySets == 0) {
        SetReason(reason, "the menu has no display sets");
        return false;
    }
    for (CEpoch* epoch : Children()) {
        if (renumber) {
            int32_t next = 0;
            epoch->Graphics.Renumber(next);
            int32_t id = 0;
            for (CErgbPalette* p : epoch->Palettes.Children()) p->SetId(id++);
        }
        for (CDisplaySet* ds : epoch->Children()) {
            ByteWriter units;
            DisplaySetEncoder encoder(*this, *epoch, *ds, reason);
            if (!encoder.Run(units, int64_t(out.Position())))
                return false;
            out.Bytes(units.Buffer());
        }
    }
    return true;
}

bool CIgObject::Encode(const std::string& path, bool renumber, std::string* reason) {
    ByteWriter out;
    if (!Encode(out, renumber, reason))
        return false;
    try {
        WriteWholeFileAtomic(path, out.Buffer());
    } catch (const FileError& e) {
        SetReason(reason, e.Path() + ": " + e.Description());
        return false;
    }
    return true;
}

}  // namespace vx
