#include "graphics/menu_description.h"

#include <map>
#include <set>
#include <stdexcept>

#include "bdmv/nav_command.h"
#include "foundation/file.h"

namespace vx {

namespace {

// Errors of the description end the build with their text.
class DescriptionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

[[noreturn]] void Fail(const std::string& text) {
    throw DescriptionError(text);
}

int IntIn(const Json& j, const std::string& where, int lo, int hi) {
    if (!j.is_number_integer())
        Fail(where + " must be a whole number");
    const int64_t v = j.get<int64_t>();
    if (v < lo || v > hi)
        Fail(where + " must lie in " + std::to_string(lo) + ".." + std::to_string(hi));
    return int(v);
}

class MenuReader {
public:
    MenuReader(const std::string& baseFolder, CIgObject& ig) : base_(baseFolder), ig_(ig) {}

    void Read(const Json& d) {
        if (!d.is_object())
            Fail("the menu description must be a JSON object");
        const Json& video = d.at("video");
        ig_.VideoDescriptor.Width = uint16_t(IntIn(video.at("width"), "video width", 1, 4096));
        ig_.VideoDescriptor.Height = uint16_t(IntIn(video.at("height"), "video height", 1, 4096));
        const int rate = IntIn(video.at("frameRate"), "video frameRate", 1, 7);
        if (rate == 5)
            Fail("video frameRate 5 is reserved");
        ig_.VideoDescriptor.FrameRate = uint8_t(rate);

        epoch_ = ig_.NewEpoch();
        CDisplaySet* ds = epoch_->NewDisplaySet();
        const std::string model = d.value("interface", std::string("always-on"));
        if (model != "always-on" && model != "pop-up")
            Fail("interface must be \"always-on\" or \"pop-up\"");
        ds->UserInterfaceModel = model == "pop-up" ? 1 : 0;
        if (d.contains("timeOut"))
            ds->UserTimeOutDuration =
                uint32_t(IntIn(d["timeOut"], "timeOut", 0, 0xFFFFFF / 90000) * 90000);
        if (d.contains("startFrame"))
            ds->StartFrame = uint32_t(IntIn(d["startFrame"], "startFrame", 0, 0x7FFFFFFF));
        const Json& pages = d.at("pages");
        if (!pages.is_array() || pages.empty())
            Fail("pages must be a list of at least one page");
        for (size_t i = 0; i < pages.size(); ++i)
            ReadPage(pages[i], *ds->NewPage(), "page " + std::to_string(i));
    }

private:
    void ReadPage(const Json& p, CPage& page, const std::string& where) {
        const Json& groups = p.at("groups");
        if (!groups.is_array())
            Fail(where + ": groups must be a list");
        std::map<CBdButton*, const Json*> described;
        for (size_t g = 0; g < groups.size(); ++g) {
            const std::string at = where + ", group " + std::to_string(g);
            const Json& group = groups[g];
            CBog* bog = page.NewBog();
            const Json& buttons = group.at("buttons");
            if (!buttons.is_array() || buttons.empty())
                Fail(at + ": buttons must be a list of at least one button");
            for (size_t b = 0; b < buttons.size(); ++b) {
                const std::string bat = at + ", button " + std::to_string(b);
                CBdButton* button = ReadButton(buttons[b], *bog, bat);
                described[button] = &buttons[b];
            }
            if (group.contains("default"))
                bog->DefaultButton.Set(FindInGroup(*bog, group["default"], at + ": default"));
        }
        std::set<int32_t> ids;
        for (CBog* bog : page.Children())
            for (CBdButton* b : bog->Children())
                if (!ids.insert(b->GetId()).second)
                    Fail(where + ": button id " + std::to_string(b->GetId()) + " is used twice");
        if (p.contains("defaultSelected"))
            page.DefaultSelectedButton.Set(
                FindOnPage(page, p["defaultSelected"], where + ": defaultSelected"));
        if (p.contains("defaultActivated"))
            page.DefaultActivatedButton.Set(
                FindOnPage(page, p["defaultActivated"], where + ": defaultActivated"));
        page.ComputeGeometricNeighbours();
        static const char* const directions[4] = {"up", "down", "left", "right"};
        for (auto [button, j] : described) {
            if (!j->contains("neighbours"))
                continue;
            const Json& n = (*j)["neighbours"];
            for (int d = 0; d < 4; ++d)
                if (n.contains(directions[d]))
                    button->Neighbors.Buttons[size_t(d)].Set(
                        FindOnPage(page, n[directions[d]],
                                   where + ": button " + std::to_string(button->GetId()) + " " +
                                       directions[d]));
        }
    }

    CBdButton* FindOnPage(CPage& page, const Json& id, const std::string& where) {
        const int32_t v = IntIn(id, where, 0, CBdButton::kMaxId);
        for (CBog* bog : page.Children())
            for (CBdButton* b : bog->Children())
                if (b->GetId() == v)
                    return b;
        Fail(where + ": no button " + std::to_string(v) + " on the page");
    }

    CBdButton* FindInGroup(CBog& bog, const Json& id, const std::string& where) {
        const int32_t v = IntIn(id, where, 0, CBdButton::kMaxId);
        for (CBdButton* b : bog.Children())
            if (b->GetId() == v)
                return b;
        Fail(where + ": no button " + std::to_string(v) + " in the group");
    }

    CBdButton* ReadButton(const Json& j, CBog& bog, const std::string& where) {
        if (!j.is_object())
            Fail(where + " must be an object");
        CBdButton* b = bog.NewButton();
        if (j.contains("id")) {
            b->SetId(IntIn(j["id"], where + ": id", 0, CBdButton::kMaxId));
            b->SetName(std::string(CBdButton::kLabel) + "#" + std::to_string(b->GetId()));
        }
        if (j.contains("value"))
            b->NumbericValue = int16_t(IntIn(j["value"], where + ": value", 0, 9999));
        b->AutoActionFlag = j.value("autoAction", false) ? 1 : 0;
        const Json& rect = j.at("rect");
        if (!rect.is_array() || (rect.size() != 2 && rect.size() != 4))
            Fail(where + ": rect must be [x, y] or [x, y, width, height]");
        b->HorPos = uint16_t(IntIn(rect[0], where + ": x", 0, ig_.VideoDescriptor.Width - 1));
        b->VerPos = uint16_t(IntIn(rect[1], where + ": y", 0, ig_.VideoDescriptor.Height - 1));
        int width = 0, height = 0;
        if (rect.size() == 4) {
            width = IntIn(rect[2], where + ": width", 1, ig_.VideoDescriptor.Width - b->HorPos);
            height = IntIn(rect[3], where + ": height", 1, ig_.VideoDescriptor.Height - b->VerPos);
        }
        static const char* const states[3] = {"normal", "selected", "activated"};
        for (int s = 0; s < 3; ++s)
            if (j.contains(states[s]))
                ReadState(j[states[s]], b->States[size_t(s)], width, height,
                          where + ": " + states[s]);
        if (j.contains("commands")) {
            const Json& commands = j["commands"];
            if (!commands.is_array())
                Fail(where + ": commands must be a list of texts");
            b->SetType(1);  // commands of its own
            for (const Json& text : commands) {
                if (!text.is_string())
                    Fail(where + ": commands must be a list of texts");
                CNavCmd cmd;
                if (!ParseCommand(text.get<std::string>(), cmd))
                    Fail(where + ": the command \"" + text.get<std::string>() +
                         "\" is not a navigation command");
                b->Commands.Add(cmd);
            }
        }
        return b;
    }

    void ReadState(const Json& files, CButtonStateInfo& state, int width, int height,
                   const std::string& where) {
        std::vector<std::string> paths;
        if (files.is_string())
            paths.push_back(files.get<std::string>());
        else if (files.is_array())
            for (const Json& f : files) {
                if (!f.is_string())
                    Fail(where + " must be a file name or a list of them");
                paths.push_back(f.get<std::string>());
            }
        else
            Fail(where + " must be a file name or a list of them");
        if (paths.empty())
            Fail(where + " names no picture");
        CGraphicObject* first = nullptr;
        CGraphicObject* last = nullptr;
        for (const std::string& name : paths) {
            const std::string path = name.empty() || name[0] == '/' ? name : base_ + name;
            auto picture = std::make_unique<CBitmap>();
            std::string why;
            if (!LoadImageFile(path, *picture, &why))
                Fail(where + ": " + why);
            if (width > 0)
                picture = Padded(*picture, width, height, where + ": " + path);
            CGraphicObject* g = epoch_->Graphics.NewObject();
            g->SetId(epoch_->Graphics.GetCount() - 1);
            g->FilePath = path;
            if (!g->SetImage(std::move(picture)))
                Fail(where + ": " + path + " cannot be converted");
            if (first && (g->Width != first->Width || g->Height != first->Height))
                Fail(where + ": the pictures of an animation must have one size");
            first = first ? first : g;
            last = g;
        }
        state.Start.Set(first);
        state.End.Set(last);
    }

    // The picture at the top-left of a width x height transparent picture.
    static std::unique_ptr<CBitmap> Padded(const CBitmap& source, int width, int height,
                                           const std::string& where) {
        if (source.Width() > width || source.Height() > height)
            Fail(where + " (" + std::to_string(source.Width()) + " x " +
                 std::to_string(source.Height()) + ") is larger than its button (" +
                 std::to_string(width) + " x " + std::to_string(height) + ")");
        auto out = std::make_unique<CBitmap>();
        out->Create(width, height, PixelFormat::kArgb32);
        for (int y = 0; y < source.Height(); ++y)
            for (int x = 0; x < source.Width(); ++x) out->SetArgb(x, y, source.ArgbAt(x, y));
        return out;
    }

    std::string base_;
    CIgObject& ig_;
    CEpoch* epoch_ = nullptr;
};

}  // namespace

bool MenuFromDescription(const Json& description, const std::string& baseFolder, CIgObject& ig,
                         std::string& reason) {
    ig.RemoveAll();
    ig.EpochCounter = 0;
    try {
        MenuReader(WithTrailingSeparator(baseFolder), ig).Read(description);
    } catch (const DescriptionError& e) {
        reason = e.what();
        return false;
    } catch (const Json::exception& e) {
        reason = std::string("menu description: ") + e.what();
        return false;
    }
    return true;
}

bool LoadMenuDescription(const std::string& path, CIgObject& ig, std::string& reason) {
    std::vector<uint8_t> bytes;
    try {
        bytes = ReadWholeFile(path);
    } catch (const FileError& e) {
        reason = path + ": " + e.Description();
        return false;
    }
    Json description = Json::parse(bytes.begin(), bytes.end(), nullptr, false);
    if (description.is_discarded()) {
        reason = path + ": not a JSON document";
        return false;
    }
    std::string folder = PathFolder(path);
    return MenuFromDescription(description, folder.empty() ? "." : folder, ig, reason);
}

}  // namespace vx
