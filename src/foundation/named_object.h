#pragma once
// The node every model and disc object hangs from, and the three owning containers the model is
// assembled from: an ordered array of nodes, a folder of items and sub-folders, and an array of
// plain fixed-size records. Copies are deep and keep each element's dynamic class.

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>
#include <vector>

namespace vx {

class CNamedObject;

// Class identity: the name of a node class, how to make a fresh default instance of it, and
// its base class.
struct CRuntimeClass {
    const char* className;
    std::unique_ptr<CNamedObject> (*createObject)();
    const CRuntimeClass* baseClass;

    std::unique_ptr<CNamedObject> CreateObject() const { return createObject(); }
    bool IsDerivedFrom(const CRuntimeClass* other) const;
};

// Gives a node class its identity. Every concrete node class names itself and its base once:
//     class CPage : public CNamedPtrArray<CBog> { VX_DYNAMIC(CPage, CNamedPtrArray<CBog>) ... };
#define VX_DYNAMIC(Class, ...)                                                        \
public:                                                                               \
    static std::unique_ptr<::vx::CNamedObject> CreateInstance() {                     \
        return std::make_unique<Class>();                                             \
    }                                                                                 \
    static inline const ::vx::CRuntimeClass classInfo{#Class, &Class::CreateInstance, \
                                                      &__VA_ARGS__::classInfo};       \
    const ::vx::CRuntimeClass* GetRuntimeClass() const override {                     \
        return &classInfo;                                                            \
    }                                                                                 \
                                                                                      \
private:

class CNamedObject {
public:
    static std::unique_ptr<CNamedObject> CreateInstance() {
        return std::make_unique<CNamedObject>();
    }
    static inline const CRuntimeClass classInfo{"CNamedObject", &CNamedObject::CreateInstance,
                                                nullptr};

    CNamedObject() = default;
    CNamedObject(const CNamedObject&) = delete;
    CNamedObject& operator=(const CNamedObject&) = delete;

    // The virtual operations, in their fixed order; derived classes append theirs behind.
    virtual const CRuntimeClass* GetRuntimeClass() const { return &classInfo; }
    virtual ~CNamedObject() = default;
    // Deletes owned children; returns whether there was anything to delete.
    virtual bool RemoveAll() { return false; }
    // Assigns parent, name, id, mark and tag from the source; containers copy deeply.
    virtual void Copy(const CNamedObject& source);
    // Reads the node from its binary form (at most size bytes) and returns the bytes consumed;
    // 0 or less is a failure.
    virtual int32_t Parse(const uint8_t* data, size_t size, int32_t context);
    // Writes the binary form at out and returns the bytes written; with a null out nothing is
    // written and the size is returned.
    virtual int32_t Build(uint8_t* out, int32_t context);

    // A fresh instance of this node's dynamic class, with default fields.
    std::unique_ptr<CNamedObject> CreateEmpty() const { return GetRuntimeClass()->CreateObject(); }
    bool IsKindOf(const CRuntimeClass* cls) const { return GetRuntimeClass()->IsDerivedFrom(cls); }

    const std::string& GetName() const { return name_; }
    // Assigns the text unless it equals the present name without regard to letter case;
    // returns whether the name changed.
    bool SetName(const std::string& name);
    int32_t GetId() const { return id_; }
    void SetId(int32_t id) {
        if (id_ != id)
            id_ = id;
    }
    CNamedObject* GetParent() const { return parent_; }
    void SetParent(CNamedObject* parent) { parent_ = parent; }
    uint8_t GetMark() const { return mark_; }
    void SetMark(uint8_t mark) { mark_ = mark; }
    uint32_t GetTag() const { return tag_; }
    void SetTag(uint32_t tag) { tag_ = tag; }

private:
    CNamedObject* parent_ = nullptr;
    std::string name_;
    int32_t id_ = -1;
    uint8_t mark_ = 0;
    uint32_t tag_ = 0;
};

// Names a new child "%s#%d" from its kind's label and number; the name is applied with SetName,
// so an unchanged name (in any letter case) stays as it is.
bool NameChild(CNamedObject& child, const std::string& label, int number);

// A non-owning scratch list of nodes, for passes that gather objects from several containers.
class CNamedPtrCollection {
public:
    void Add(CNamedObject* object) { items_.push_back(object); }
    int GetCount() const { return int(items_.size()); }
    CNamedObject* GetAt(int index) const {
        return index >= 0 && index < GetCount() ? items_[size_t(index)] : nullptr;
    }
    // The first collected object whose id equals id, or null.
    CNamedObject* FindById(int32_t id) const;
    void RemoveAll() { items_.clear(); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::vector<CNamedObject*> items_;
};

// Mark-flag collection: appends the object once, in first-reference order, marking it.
inline void CollectMarked(CNamedObject* object, CNamedPtrCollection& collection) {
    if (object == nullptr || object->GetMark())
        return;
    object->SetMark(1);
    collection.Add(object);
}

// Iterates an owning vector as plain pointers.
template <class T>
class PtrRange {
public:
    using Vec = std::vector<std::unique_ptr<T>>;
    struct Iterator {
        typename Vec::const_iterator it;
        T* operator*() const { return it->get(); }
        Iterator& operator++() {
            ++it;
            return *this;
        }
        bool operator!=(const Iterator& o) const { return it != o.it; }
    };
    explicit PtrRange(const Vec& v) : v_(v) {}
    Iterator begin() const { return {v_.begin()}; }
    Iterator end() const { return {v_.end()}; }

private:
    const Vec& v_;
};

namespace detail {

template <class T>
void ClearInOrder(std::vector<std::unique_ptr<T>>& v) {
    for (auto& p : v) p.reset();
    v.clear();
    v.shrink_to_fit();
}

// A fresh element of the source element's own dynamic class, copied from it.
template <class T>
std::unique_ptr<T> CloneElement(const T& source) {
    std::unique_ptr<CNamedObject> fresh = source.CreateEmpty();
    T* typed = dynamic_cast<T*>(fresh.get());
    if (typed == nullptr)
        return nullptr;  // a class registered with the wrong identity
    fresh.release();
    std::unique_ptr<T> element(typed);
    element->Copy(source);
    return element;
}

}  // namespace detail

// An ordered list of owned child nodes of class T (or classes derived from it).
template <class T>
class CNamedPtrArray : public CNamedObject {
    VX_DYNAMIC(CNamedPtrArray, CNamedObject)

public:
    ~CNamedPtrArray() override { RemoveAllChildren(); }

    bool RemoveAll() override { return RemoveAllChildren(); }
    void Copy(const CNamedObject& source) override {
        if (auto* typed = dynamic_cast<const CNamedPtrArray*>(&source)) {
            CopyFrom(*typed);
        } else {
            CNamedObject::Copy(source);
        }
    }
    // Children are built one after another; the container's own header is the derived
    // class's business.
    int32_t Build(uint8_t* out, int32_t context) override {
        int32_t total = 0;
        for (auto& child : children_) total += child->Build(out ? out + total : nullptr, context);
        return total;
    }
    virtual void CopyFrom(const CNamedPtrArray& source) {
        RemoveAll();
        CNamedObject::Copy(source);
        for (const auto& child : source.children_) {
            if (auto copy = detail::CloneElement<T>(*child))
                Add(std::move(copy));
        }
    }

    // Appends the child and takes ownership; the child's parent becomes this container.
    T* Add(std::unique_ptr<T> child) {
        if (child->GetParent() != this)
            child->SetParent(this);
        children_.push_back(std::move(child));
        return children_.back().get();
    }
    T* InsertAt(int index, std::unique_ptr<T> child) {
        if (child->GetParent() != this)
            child->SetParent(this);
        auto it = children_.insert(children_.begin() + index, std::move(child));
        return it->get();
    }
    // Removes and returns the child at index (null when out of range).
    std::unique_ptr<T> Detach(int index) {
        if (index < 0 || index >= GetCount())
            return nullptr;
        std::unique_ptr<T> child = std::move(children_[size_t(index)]);
        children_.erase(children_.begin() + index);
        return child;
    }
    int GetCount() const { return int(children_.size()); }
    T* GetAt(int index) const {
        return index >= 0 && index < GetCount() ? children_[size_t(index)].get() : nullptr;
    }
    int IndexOf(const T* child) const {
        for (int i = 0; i < GetCount(); ++i)
            if (children_[size_t(i)].get() == child)
                return i;
        return -1;
    }
    void CollectItems(CNamedPtrCollection* collection) const {
        if (collection == nullptr)
            return;
        for (const auto& child : children_) collection->Add(child.get());
    }
    PtrRange<T> Children() const { return PtrRange<T>(children_); }

private:
    bool RemoveAllChildren() {
        bool had = !children_.empty();
        detail::ClearInOrder(children_);
        return had;
    }

    std::vector<std::unique_ptr<T>> children_;
};

// A folder owning items of class T and sub-folders of class F (F derives from this template).
template <class T, class F>
class CNamedFolder : public CNamedObject {
    VX_DYNAMIC(CNamedFolder, CNamedObject)

public:
    ~CNamedFolder() override { RemoveAllElements(); }

    bool RemoveAll() override { return RemoveAllElements(); }
    void Copy(const CNamedObject& source) override {
        if (auto* typed = dynamic_cast<const CNamedFolder*>(&source)) {
            CopyFrom(*typed);
        } else {
            CNamedObject::Copy(source);
        }
    }
    virtual void CopyFrom(const CNamedFolder& source) {
        RemoveAll();
        CNamedObject::Copy(source);
        for (const auto& item : source.items_) {
            if (auto copy = detail::CloneElement<T>(*item))
                Add(std::move(copy));
        }
        for (const auto& folder : source.folders_) {
            if (auto copy = detail::CloneElement<F>(*folder))
                AddFolder(std::move(copy));
        }
    }

    T* Add(std::unique_ptr<T> item) {
        if (item->GetParent() != this)
            item->SetParent(this);
        items_.push_back(std::move(item));
        return items_.back().get();
    }
    F* AddFolder(std::unique_ptr<F> folder) {
        if (folder->GetParent() != this)
            folder->SetParent(this);
        folders_.push_back(std::move(folder));
        return folders_.back().get();
    }
    int GetCount() const { return int(items_.size()); }
    T* GetAt(int index) const {
        return index >= 0 && index < GetCount() ? items_[size_t(index)].get() : nullptr;
    }
    int GetFolderCount() const { return int(folders_.size()); }
    F* GetFolderAt(int index) const {
        return index >= 0 && index < GetFolderCount() ? folders_[size_t(index)].get() : nullptr;
    }
    PtrRange<T> Items() const { return PtrRange<T>(items_); }
    PtrRange<F> Folders() const { return PtrRange<F>(folders_); }

    // The first item with this id: this folder's items in order, then each sub-folder in turn.
    T* FindById(int32_t id) const {
        for (const auto& item : items_)
            if (item->GetId() == id)
                return item.get();
        for (const auto& folder : folders_)
            if (T* hit = folder->FindById(id))
                return hit;
        return nullptr;
    }
    // Appends all items in pre-order: this folder's items, then each sub-folder's.
    void CollectItems(CNamedPtrCollection* collection) const {
        if (collection == nullptr)
            return;
        for (const auto& item : items_) collection->Add(item.get());
        for (const auto& folder : folders_) folder->CollectItems(collection);
    }
    // Numbers all items 0, 1, 2 ... in pre-order, continuing from next.
    void Renumber(int32_t& next) {
        for (const auto& item : items_) item->SetId(next++);
        for (const auto& folder : folders_) folder->Renumber(next);
    }

private:
    bool RemoveAllElements() {
        bool had = !items_.empty() || !folders_.empty();
        detail::ClearInOrder(items_);
        detail::ClearInOrder(folders_);
        return had;
    }

    std::vector<std::unique_ptr<T>> items_;
    std::vector<std::unique_ptr<F>> folders_;
};

// The target of a reference by id: null for -1 or when nothing in the folder has the id.
template <class Folder>
auto ResolveReference(int32_t id, const Folder* folder) -> decltype(folder->FindById(id)) {
    if (id == -1 || folder == nullptr)
        return nullptr;
    return folder->FindById(id);
}

// An ordered list of owned plain records of type T (fixed-size, trivially copyable).
template <class T>
class CTypeArray : public CNamedObject {
    static_assert(std::is_trivially_copyable_v<T>, "CTypeArray holds plain records");
    VX_DYNAMIC(CTypeArray, CNamedObject)

public:
    ~CTypeArray() override { RemoveAllRecords(); }

    bool RemoveAll() override { return RemoveAllRecords(); }
    void Copy(const CNamedObject& source) override {
        if (auto* typed = dynamic_cast<const CTypeArray*>(&source)) {
            CopyFrom(*typed);
        } else {
            CNamedObject::Copy(source);
        }
    }
    virtual void CopyFrom(const CTypeArray& source) {
        RemoveAll();
        CNamedObject::Copy(source);
        for (const auto& record : source.records_) Add(*record);
    }

    T* Add(const T& record) {
        records_.push_back(std::make_unique<T>(record));
        return records_.back().get();
    }
    T* InsertAt(int index, const T& record) {
        auto it = records_.insert(records_.begin() + index, std::make_unique<T>(record));
        return it->get();
    }
    int GetCount() const { return int(records_.size()); }
    T* GetAt(int index) const {
        return index >= 0 && index < GetCount() ? records_[size_t(index)].get() : nullptr;
    }
    PtrRange<T> Records() const { return PtrRange<T>(records_); }

private:
    bool RemoveAllRecords() {
        bool had = !records_.empty();
        for (auto& record : records_) *record = T{};
        detail::ClearInOrder(records_);
        return had;
    }

    std::vector<std::unique_ptr<T>> records_;
};

}  // namespace vx
