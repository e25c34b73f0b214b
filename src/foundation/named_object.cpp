#include "foundation/named_object.h"

#include <strings.h>

namespace vx {

bool CRuntimeClass::IsDerivedFrom(const CRuntimeClass* other) const {
    for (const CRuntimeClass* cls = this; cls != nullptr; cls = cls->baseClass)
        if (cls == other)
            return true;
    return false;
}

void CNamedObject::Copy(const CNamedObject& source) {
    parent_ = source.parent_;
    name_ = source.name_;
    id_ = source.id_;
    mark_ = source.mark_;
    tag_ = source.tag_;
}

int32_t CNamedObject::Parse(const uint8_t*, size_t, int32_t) {
    return 0;
}

int32_t CNamedObject::Build(uint8_t*, int32_t) {
    return 0;
}

bool CNamedObject::SetName(const std::string& name) {
    if (name.size() == name_.size() && ::strncasecmp(name.c_str(), name_.c_str(), name.size()) == 0)
        return false;
    name_ = name;
    return true;
}

bool NameChild(CNamedObject& child, const std::string& label, int number) {
    std::string text = label + "#" + std::to_string(number);
    return child.SetName(text);
}

CNamedObject* CNamedPtrCollection::FindById(int32_t id) const {
    for (CNamedObject* object : items_)
        if (object->GetId() == id)
            return object;
    return nullptr;
}

}  // namespace vx
