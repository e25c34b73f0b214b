#pragma once
// The interactive composition model of a menu: an interactive-graphics object holds epochs;
// an epoch holds display sets plus the graphic objects and palettes they use; a display set
// holds pages; a page holds button overlap groups (BOGs), its in and out effect sequences and
// a pseudo-button standing for the button selected at the time; a BOG holds buttons, the
// alternatives shown at one place.
//
// Every node reads and writes its part of the interactive composition carried by ICS segments
// (Parse and Build):
//   composition  length 24, StreamModel 1, UserInterfaceModel 1, 6 reserved,
//                [7 reserved + CompositionTimeOutPts 33, 7 reserved + SelectionTimeOutPts 33
//                 only when StreamModel is 0], UserTimeOutDuration 24, NumberOfPages 8, pages
//   page         PageId 8, Version 8, UMT 8 bytes, in effects, out effects,
//                AnimationFrameRateCode 8, DefaultSelectedButtonId 16 (0xFFFF none),
//                DefaultActivatedButtonId 16 (0xFFFF none, 0xFFFE the selected button),
//                PaletteIdRef 8, NumberOfBogs 8, BOGs
//   effects      NumberOfWindows 8, windows of 9 bytes, NumberOfEffects 8, effects:
//                Duration 24, PaletteIdRef 8, NumberOfCompositionObjects 8, objects (8/16)
//   BOG          DefaultButtonIdRef 16, NumberOfButtons 8, buttons
//   button       Id 16, NumbericValue 16, AutoActionFlag 1 + 7, HorPos 16, VerPos 16,
//                Up, Down, Left, Right 16 each, normal start/end 16+16, repeat 1 + 7,
//                selected sound 8, start/end, repeat 1 + 7, activated sound 8, start/end,
//                NumberOfCommands 16, commands of 12 bytes
// References between nodes are a pointer and an id: RefreshIds takes the ids from the
// pointers before writing, ResolveIds finds the pointers from the ids after reading.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "bdmv/nav_cmd.h"
#include "foundation/bytes.h"
#include "foundation/named_object.h"
#include "graphics/graphic_object.h"
#include "graphics/palette.h"
#include "graphics/segments.h"

namespace vx {

// A reference to another node: the pointer once resolved, and the id it was resolved from.
template <class T>
struct CRef {
    T* Ptr = nullptr;
    int32_t Id = -1;

    void Set(T* target) {
        Ptr = target;
        Id = target ? target->GetId() : -1;
    }
    void Refresh() { Id = Ptr ? Ptr->GetId() : -1; }
};

struct SRect {
    int32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
    int32_t Width() const { return Right - Left; }
    int32_t Height() const { return Bottom - Top; }
    bool IsEmpty() const { return Right <= Left || Bottom <= Top; }
    // True when the rectangles share area; touching edges do not count.
    bool Overlaps(const SRect& o) const {
        return !IsEmpty() && !o.IsEmpty() && Left < o.Right && o.Left < Right && Top < o.Bottom &&
               o.Top < Bottom;
    }
    void Unite(const SRect& o);
    bool operator==(const SRect&) const = default;
};

// Writes the stream form of model nodes; a count or id past its field records an error
// instead of wrapping, and the write as a whole fails.
class CModelWriter {
public:
    ByteWriter& Out() { return out_; }
    bool Ok() const { return error_.empty(); }
    const std::string& Error() const { return error_; }
    void Fail(const std::string& text) {
        if (error_.empty())
            error_ = text;
    }
    // Writes n in bits bits, or fails with "what" when n does not fit.
    void Field(uint64_t n, int bits, const std::string& what);

private:
    ByteWriter out_;
    std::string error_;
};

class CWindowObject;
class CBdButton;

class CCompositionObject : public CNamedObject {
    VX_DYNAMIC(CCompositionObject, CNamedObject)

public:
    static constexpr const char* kLabel = "Composition Object";
    void Copy(const CNamedObject& source) override;
    int32_t Parse(const uint8_t* data, size_t size, int32_t context) override;
    int32_t Build(uint8_t* out, int32_t context) override;

    SCompositionObject ToRecord() const;
    void FromRecord(const SCompositionObject& record);

    CRef<CGraphicObject> Object;
    CRef<CWindowObject> Window;
    uint8_t ObjectCroppedFlag = 0;
    uint8_t ForcedOnFlag = 0;
    int32_t CompositionObjectHorPos = 0;
    int32_t CompositionObjectVerPos = 0;
    SRect Cropping;
};

class CWindowObject : public CNamedObject {
    VX_DYNAMIC(CWindowObject, CNamedObject)

public:
    static constexpr const char* kLabel = "Window";
    void Copy(const CNamedObject& source) override;
    int32_t Parse(const uint8_t* data, size_t size, int32_t context) override;
    int32_t Build(uint8_t* out, int32_t context) override;

    SWindow ToRecord() const;
    void FromRecord(const SWindow& record);

    SRect Rect;
};

class CEffectObject : public CNamedPtrArray<CCompositionObject> {
    VX_DYNAMIC(CEffectObject, CNamedPtrArray<CCompositionObject>)

public:
    static constexpr const char* kLabel = "Effect";
    static constexpr int kMaxObjects = 2;
    void Copy(const CNamedObject& source) override;
    // Null when the effect already has two composition objects.
    CCompositionObject* NewCompositionObject();

    CRef<CErgbPalette> Palette;
    uint32_t Duration = 0;  // 90 kHz ticks
};

// The plain records an effect sequence is written through.
struct CEffect {
    uint32_t Duration = 0;
    uint8_t PaletteIdRef = 0;
    std::vector<SCompositionObject> CompositionObjects;
};
using CWindowArray = std::vector<SWindow>;
struct CEffectSequence {
    CWindowArray Windows;
    std::vector<CEffect> Effects;

    // Raises every effect's duration to at least the time needed to write the windows at
    // 128 Mbit/s (the sum over the windows of ceil(width x height x 9 / 1600) ticks).
    void Write(CModelWriter& out) const;
    void Read(ByteReader& in);
};

class CEffectSequenceObject : public CNamedPtrArray<CEffectObject> {
    VX_DYNAMIC(CEffectSequenceObject, CNamedPtrArray<CEffectObject>)

public:
    static constexpr const char* kLabel = "Effect Sequence";
    static constexpr int kMaxEffects = 128;
    static constexpr int kMaxWindows = 2;
    void Copy(const CNamedObject& source) override;
    int32_t Parse(const uint8_t* data, size_t size, int32_t context) override;
    int32_t Build(uint8_t* out, int32_t context) override;

    // Null when the limit (128 effects, 2 windows) is reached.
    CEffectObject* NewEffect();
    CWindowObject* NewWindow();

    CEffectSequence ToRecord() const;
    void FromRecord(const CEffectSequence& record);
    void Write(CModelWriter& out) const { ToRecord().Write(out); }
    void Read(ByteReader& in);
    // Windows get ids 0, 1 in order; the effects' palette and object references are refreshed.
    void RefreshIds();

    CNamedPtrArray<CWindowObject> Windows;
};

// What a button shows in one state: the objects whose ids run from start to end (equal for a
// still picture), a sound and whether the animation repeats.
struct CButtonStateInfo {
    CRef<CGraphicObject> Start;
    CRef<CGraphicObject> End;
    uint8_t SoundId = 255;  // 255: no sound
    uint8_t RepeatFlag = 0;
    // The state's first picture: the start object, else the end object.
    CGraphicObject* First() const { return Start.Ptr ? Start.Ptr : End.Ptr; }
};

struct CNeighborInfo {
    enum Direction { kUp = 0, kDown = 1, kLeft = 2, kRight = 3 };
    std::array<CRef<CBdButton>, 4> Buttons;
};

class CBdButton : public CNamedObject {
    VX_DYNAMIC(CBdButton, CNamedObject)

public:
    static constexpr const char* kLabel = "Button";
    static constexpr int32_t kMaxId = 8159;
    static constexpr int32_t kCurrentSelected = 0xFFFE;
    enum State { kNormal = 0, kSelected = 1, kActivated = 2 };

    void Copy(const CNamedObject& source) override;
    int32_t Parse(const uint8_t* data, size_t size, int32_t context) override;
    int32_t Build(uint8_t* out, int32_t context) override;
    void Write(CModelWriter& out) const;
    void Read(ByteReader& in);

    // Any type but 1 drops the button's commands.
    void SetType(uint8_t type);
    uint8_t GetType() const { return type_; }
    // The first graphic of the first state that has one (normal, selected, activated).
    CGraphicObject* FirstGraphic() const;
    // HorPos, VerPos and the size of the first graphic; empty without graphics.
    SRect Rect() const;
    void RefreshIds();

    std::array<int32_t, 4> Parameters{};
    int16_t NumbericValue = -1;
    uint8_t AutoActionFlag = 0;
    uint16_t HorPos = 0;
    uint16_t VerPos = 0;
    CNeighborInfo Neighbors;
    std::array<CButtonStateInfo, 3> States;
    CNavCmds Commands;

private:
    uint8_t type_ = 0;
};

class CBog : public CNamedPtrArray<CBdButton> {
    VX_DYNAMIC(CBog, CNamedPtrArray<CBdButton>)

public:
    static constexpr const char* kLabel = "Bog";
    void Copy(const CNamedObject& source) override;
    int32_t Parse(const uint8_t* data, size_t size, int32_t context) override;
    int32_t Build(uint8_t* out, int32_t context) override;
    void Write(CModelWriter& out) const;
    void Read(ByteReader& in);

    // A button with the lowest id (0..8159) that no button of the page uses (8160 when all
    // are used); it becomes the default button when the group has none. The BOG must belong
    // to a page for ids of other groups to count.
    CBdButton* NewButton();
    // Union of the buttons' rectangles.
    SRect Rect() const;

    CRef<CBdButton> DefaultButton;
};

class CPage : public CNamedPtrArray<CBog> {
    VX_DYNAMIC(CPage, CNamedPtrArray<CBog>)

public:
    static constexpr const char* kLabel = "Page";
    CPage();
    void Copy(const CNamedObject& source) override;
    int32_t Parse(const uint8_t* data, size_t size, int32_t context) override;
    int32_t Build(uint8_t* out, int32_t context) override;
    void Write(CModelWriter& out) const;
    void Read(ByteReader& in);

    CBog* NewBog();
    // The button of this page with this id (the pseudo-button for 0xFFFE), or null.
    CBdButton* FindButton(int32_t id);
    // Sets the neighbours of the BOGs' default buttons from their places on the screen;
    // returns whether any neighbour changed.
    bool ComputeGeometricNeighbours();

    CRef<CBdButton> DefaultSelectedButton;
    CRef<CBdButton> DefaultActivatedButton;
    CBdButton CurrentSelectedButton;  // the pseudo-button, id 0xFFFE
    CRef<CErgbPalette> Palette;
    uint8_t PaletteIdRef = 0;  // as written: the id of the PDS the page uses
    uint8_t Version = 0;
    std::array<uint8_t, 8> UMT{};
    CEffectSequenceObject InEffects;
    CEffectSequenceObject OutEffects;
    uint8_t AnimationFrameRateCode = 0;
};

class CIcData : public CNamedPtrArray<CPage> {
    VX_DYNAMIC(CIcData, CNamedPtrArray<CPage>)

public:
    static constexpr uint64_t kTimeOutMask = (uint64_t(1) << 33) - 1;
    void Copy(const CNamedObject& source) override;
    int32_t Parse(const uint8_t* data, size_t size, int32_t context) override;
    int32_t Build(uint8_t* out, int32_t context) override;
    // The whole composition, length field first; false with the writer's error on a limit.
    bool Write(CModelWriter& out) const;
    void Read(ByteReader& in);

    CPage* NewPage();

    mutable uint32_t CompositionLength = 0;  // as last written or read
    uint8_t StreamModel = 1;         // 0 multiplexed with the video, 1 out of mux
    uint8_t UserInterfaceModel = 0;  // 0 always on, 1 pop-up
    uint64_t CompositionTimeOutPts = 0;
    uint64_t SelectionTimeOutPts = 0;
    uint32_t UserTimeOutDuration = 0;
};

class CDisplaySet : public CIcData {
    VX_DYNAMIC(CDisplaySet, CIcData)

public:
    static constexpr const char* kLabel = "DisplaySet";
    void Copy(const CNamedObject& source) override;

    std::string Text;
    uint32_t StartFrame = 0;  // presentation time in video frames
    uint8_t CompositionState = kEpochStart;
};

class CEpoch : public CNamedPtrArray<CDisplaySet> {
    VX_DYNAMIC(CEpoch, CNamedPtrArray<CDisplaySet>)

public:
    static constexpr const char* kLabel = "Epoch";
    CEpoch();
    void Copy(const CNamedObject& source) override;

    CDisplaySet* NewDisplaySet();

    uint16_t DisplaySetCounter = 0;
    CGoFolder Graphics;
    CPoFolder Palettes;
};

class CIgObject : public CNamedPtrArray<CEpoch> {
    VX_DYNAMIC(CIgObject, CNamedPtrArray<CEpoch>)

public:
    void Copy(const CNamedObject& source) override;

    CEpoch* NewEpoch();
    bool HasNoButtons() const;
    // Takes size and frame rate from a video stream (coding type 0x02, 0x1B or 0xEA; video
    // format and frame-rate codes of its attributes). False for other streams, or when a size
    // was set already and differs (it is then kept).
    bool SetVideoFromStream(uint8_t codingType, uint8_t videoFormat, uint8_t frameRate,
                            uint8_t aspectRatio);

    void RefreshIds();
    void ResolveIds();

    // Encodes every epoch into graphics-stream units appended to out. With renumber the
    // epochs' graphic objects and palettes are numbered 0, 1, 2 ... first. Each display set is
    // appended only when whole. On failure returns false and says why in reason (the two
    // page errors are also shown as messages).
    bool Encode(ByteWriter& out, bool renumber, std::string* reason = nullptr);
    // The same into a file, which appears under its name only when whole.
    bool Encode(const std::string& path, bool renumber, std::string* reason = nullptr);

    uint16_t EpochCounter = 0;
    SVideoDescriptor VideoDescriptor;
    uint8_t Wide = 0;
};

// Reads a graphics stream (IG) back into a model: one epoch per epoch of segments, one display
// set per display set (its composition parsed from the joined ICS), one graphic object per
// coded object with its indices as an 8-bit picture and one palette per PDS (entries keep
// index and alpha; colours are not converted back). References are resolved. False with a
// reason when a display set has no composition or an object does not decode.
bool ModelFromSegments(const CGsData& stream, CIgObject& model, std::string* reason = nullptr);

}  // namespace vx
