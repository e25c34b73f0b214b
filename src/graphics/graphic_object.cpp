#include "graphics/graphic_object.h"

#include "graphics/convert.h"
#include "graphics/run_length.h"

namespace vx {

void CGraphicObject::Copy(const CNamedObject& source) {
    CNamedObject::Copy(source);
    auto* typed = dynamic_cast<const CGraphicObject*>(&source);
    if (typed == nullptr)
        return;
    FilePath = typed->FilePath;
    Width = typed->Width;
    Height = typed->Height;
    palette_.reset();
    if (typed->palette_) {
        palette_ = std::make_unique<CErgbPalette>();
        palette_->Copy(*typed->palette_);
        palette_->SetParent(this);
    }
    image_ = typed->image_ ? std::make_unique<CBitmap>(*typed->image_) : nullptr;
}

bool CGraphicObject::SetImage(std::unique_ptr<CBitmap> image) {
    if (!image || image->Empty())
        return false;
    CBitmap indexed;
    int transparent = 255;
    if (!ConvertTo8Bit(*image, indexed, transparent))
        return false;
    // The object's own table keys its top-left pixel's entry as the transparent one.
    auto palette = std::make_unique<CErgbPalette>();
    palette->FromColorTable(indexed.Colors(), indexed.IndexAt(0, 0), 0.0);
    palette->SetParent(this);
    Width = image->Width();
    Height = image->Height();
    palette_ = std::move(palette);
    image_ = std::move(image);
    return true;
}

bool CGraphicObject::LoadPicture(CBitmap& out, std::string* reason) const {
    if (image_) {
        out = *image_;
        return true;
    }
    if (FilePath.empty()) {
        if (reason)
            *reason = "graphic object \"" + GetName() + "\" has neither a picture nor a file";
        return false;
    }
    return LoadImageFile(FilePath, out, reason);
}

CGraphicObject* CGoFolder::NewObject() {
    auto object = std::make_unique<CGraphicObject>();
    NameChild(*object, CGraphicObject::kLabel, GetCount());
    return Add(std::move(object));
}

bool BuildObjectData(const CGraphicObject& object, std::vector<uint8_t>& out, std::string* reason) {
    CBitmap picture;
    if (!object.LoadPicture(picture, reason))
        return false;
    if (picture.Format() != PixelFormat::kIndexed8) {
        CBitmap indexed;
        int transparent = 255;
        if (!ConvertTo8Bit(picture, indexed, transparent)) {
            if (reason)
                *reason = "graphic object \"" + object.GetName() + "\" cannot be converted";
            return false;
        }
        picture = std::move(indexed);
    }
    return BuildObjectData(picture, out, reason);
}

}  // namespace vx
