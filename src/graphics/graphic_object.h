#pragma once
// Graphic objects of an epoch: the pictures buttons and effects show, each coded as one
// object (ODS) whose id is the node's id.

#include <memory>
#include <string>
#include <vector>

#include "foundation/named_object.h"
#include "graphics/bitmap.h"
#include "graphics/palette.h"

namespace vx {

class CGraphicObject : public CNamedObject {
    VX_DYNAMIC(CGraphicObject, CNamedObject)

public:
    static constexpr const char* kLabel = "Graphic";

    void Copy(const CNamedObject& source) override;

    // Takes the picture, sets the size from it and derives the object's own palette from its
    // 8-bit form (transparent index: the top-left pixel's, fully transparent when the table
    // carries no alpha). False for an empty picture or one that cannot be converted; the
    // object is then unchanged.
    bool SetImage(std::unique_ptr<CBitmap> image);
    // The picture: the image held in memory, else the one loaded from the file path.
    bool LoadPicture(CBitmap& out, std::string* reason = nullptr) const;

    const CBitmap* GetImage() const { return image_.get(); }
    const CErgbPalette* GetPalette() const { return palette_.get(); }

    std::string FilePath;
    int32_t Width = 0;
    int32_t Height = 0;

private:
    std::unique_ptr<CErgbPalette> palette_;
    std::unique_ptr<CBitmap> image_;
};

class CGoFolder : public CNamedFolder<CGraphicObject, CGoFolder> {
    VX_DYNAMIC(CGoFolder, CNamedFolder<CGraphicObject, CGoFolder>)

public:
    static constexpr const char* kLabel = "Graphics";
    // A new object appended to the items, named "Graphic#n" with n the number of items.
    CGraphicObject* NewObject();
};

// The object data of a graphic object (see run_length.h): its picture, converted to 8-bit
// when it is not, run-length coded. Fails with a reason when the picture cannot be had.
bool BuildObjectData(const CGraphicObject& object, std::vector<uint8_t>& out,
                     std::string* reason = nullptr);

}  // namespace vx
