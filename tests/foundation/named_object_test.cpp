#include <gtest/gtest.h>

#include "foundation/named_object.h"

namespace vx {
namespace {

// A small model: items that can be of a derived class, and folders of them.
class Item : public CNamedObject {
    VX_DYNAMIC(Item, CNamedObject)

public:
    int payload = 0;
    void Copy(const CNamedObject& source) override {
        CNamedObject::Copy(source);
        if (auto* item = dynamic_cast<const Item*>(&source))
            payload = item->payload;
    }
    // Binary form: one byte of payload.
    int32_t Build(uint8_t* out, int32_t) override {
        if (out)
            *out = uint8_t(payload);
        return 1;
    }
};

class SpecialItem : public Item {
    VX_DYNAMIC(SpecialItem, Item)

public:
    std::string extra;
    void Copy(const CNamedObject& source) override {
        Item::Copy(source);
        if (auto* item = dynamic_cast<const SpecialItem*>(&source))
            extra = item->extra;
    }
};

class ItemFolder : public CNamedFolder<Item, ItemFolder> {
    VX_DYNAMIC(ItemFolder, CNamedFolder<Item, ItemFolder>)
};

class ItemArray : public CNamedPtrArray<Item> {
    VX_DYNAMIC(ItemArray, CNamedPtrArray<Item>)
};

struct Record {
    uint8_t bytes[4];
};

std::unique_ptr<Item> MakeItem(const std::string& name, int payload, int id = -1) {
    auto item = std::make_unique<Item>();
    item->SetName(name);
    item->payload = payload;
    item->SetId(id);
    return item;
}

TEST(NamedObject, NewNodeIsDetachedAndUnnumbered) {
    CNamedObject node;
    EXPECT_EQ(node.GetId(), -1);
    EXPECT_EQ(node.GetMark(), 0);
    EXPECT_EQ(node.GetTag(), 0u);
    EXPECT_EQ(node.GetName(), "");
    EXPECT_EQ(node.GetParent(), nullptr);
}

TEST(NamedObject, SetNameIgnoresALetterCaseOnlyChange) {
    struct Case {
        const char* before;
        const char* text;
        bool changed;
        const char* after;
    };
    const Case cases[] = {
        {"Button#1", "BUTTON#1", false, "Button#1"},
        {"Button#1", "button#1", false, "Button#1"},
        {"Button#1", "Button#2", true, "Button#2"},
        {"", "Page#1", true, "Page#1"},
        {"Page#1", "", true, ""},
        {"Page#1", "Page#1", false, "Page#1"},
    };
    for (const Case& c : cases) {
        CNamedObject node;
        node.SetName(c.before);
        EXPECT_EQ(node.SetName(c.text), c.changed) << c.before << " -> " << c.text;
        EXPECT_EQ(node.GetName(), c.after);
    }
}

TEST(NamedObject, NameChildFormatsLabelAndNumber) {
    Item item;
    EXPECT_TRUE(NameChild(item, "DisplaySet", 3));
    EXPECT_EQ(item.GetName(), "DisplaySet#3");
    EXPECT_FALSE(NameChild(item, "displayset", 3));
}

TEST(NamedObject, CopyTakesAllBaseFields) {
    ItemArray owner;
    Item source;
    source.SetParent(&owner);
    source.SetName("Graphic#4");
    source.SetId(4);
    source.SetMark(1);
    source.SetTag(0xCAFE);
    Item copy;
    copy.Copy(source);
    EXPECT_EQ(copy.GetParent(), &owner);
    EXPECT_EQ(copy.GetName(), "Graphic#4");
    EXPECT_EQ(copy.GetId(), 4);
    EXPECT_EQ(copy.GetMark(), 1);
    EXPECT_EQ(copy.GetTag(), 0xCAFEu);
}

TEST(NamedObject, ClassIdentityCreatesTheSameDynamicClass) {
    SpecialItem special;
    const CNamedObject& asBase = special;
    auto fresh = asBase.CreateEmpty();
    EXPECT_NE(dynamic_cast<SpecialItem*>(fresh.get()), nullptr);
    EXPECT_STREQ(fresh->GetRuntimeClass()->className, "SpecialItem");
    EXPECT_TRUE(special.IsKindOf(&Item::classInfo));
    EXPECT_TRUE(special.IsKindOf(&CNamedObject::classInfo));
    EXPECT_FALSE(Item().IsKindOf(&SpecialItem::classInfo));
}

TEST(NamedPtrArray, AddReparentsAndOwns) {
    ItemArray array;
    Item* a = array.Add(MakeItem("A", 1));
    EXPECT_EQ(a->GetParent(), &array);
    EXPECT_EQ(array.GetCount(), 1);
    EXPECT_EQ(array.GetAt(0), a);
    EXPECT_EQ(array.GetAt(1), nullptr);
    EXPECT_EQ(array.GetAt(-1), nullptr);
    EXPECT_TRUE(array.RemoveAll());
    EXPECT_FALSE(array.RemoveAll());
    EXPECT_EQ(array.GetCount(), 0);
}

TEST(NamedPtrArray, DeepCopyIsIndependentAndKeepsDynamicClasses) {
    auto source = std::make_unique<ItemArray>();
    source->SetName("Bog#1");
    source->Add(MakeItem("A", 1));
    auto special = std::make_unique<SpecialItem>();
    special->SetName("B");
    special->payload = 2;
    special->extra = "kept";
    source->Add(std::move(special));
    source->Add(MakeItem("C", 3));

    ItemArray copy;
    copy.Add(MakeItem("stale", 9));
    copy.Copy(*source);  // Copy on a container is the deep copy
    ASSERT_EQ(copy.GetCount(), 3);
    EXPECT_EQ(copy.GetName(), "Bog#1");
    const char* names[] = {"A", "B", "C"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(copy.GetAt(i)->GetName(), names[i]);
        EXPECT_EQ(copy.GetAt(i)->payload, i + 1);
        EXPECT_EQ(copy.GetAt(i)->GetParent(), &copy);
        EXPECT_NE(copy.GetAt(i), source->GetAt(i));
    }
    auto* copiedSpecial = dynamic_cast<SpecialItem*>(copy.GetAt(1));
    ASSERT_NE(copiedSpecial, nullptr);
    EXPECT_EQ(copiedSpecial->extra, "kept");

    source.reset();  // the copy shares nothing with the source
    EXPECT_EQ(copy.GetAt(2)->GetName(), "C");
    EXPECT_EQ(copiedSpecial->extra, "kept");
}

TEST(NamedPtrArray, SizeOnlyBuildMatchesRealBuild) {
    ItemArray array;
    for (int i = 0; i < 5; ++i) array.Add(MakeItem("x", 10 + i));
    uint8_t out[8] = {};
    EXPECT_EQ(array.Build(nullptr, 0), 5);
    EXPECT_EQ(array.Build(out, 0), 5);
    EXPECT_EQ(out[0], 10);
    EXPECT_EQ(out[4], 14);
    EXPECT_EQ(out[5], 0);
}

// Folder: items A, B; sub-folder 1 with C; sub-folder 2 with D and a nested folder with E.
std::unique_ptr<ItemFolder> MakeTree() {
    auto root = std::make_unique<ItemFolder>();
    root->Add(MakeItem("A", 1));
    root->Add(MakeItem("B", 2));
    auto sub1 = std::make_unique<ItemFolder>();
    sub1->Add(MakeItem("C", 3));
    root->AddFolder(std::move(sub1));
    auto sub2 = std::make_unique<ItemFolder>();
    sub2->Add(MakeItem("D", 4));
    auto nested = std::make_unique<ItemFolder>();
    auto special = std::make_unique<SpecialItem>();
    special->SetName("E");
    special->extra = "deep";
    nested->Add(std::move(special));
    sub2->AddFolder(std::move(nested));
    root->AddFolder(std::move(sub2));
    return root;
}

std::string Names(const CNamedPtrCollection& collection) {
    std::string s;
    for (CNamedObject* o : collection) s += o->GetName();
    return s;
}

TEST(NamedFolder, RenumberGoesPreOrderAndAdvancesTheCounter) {
    auto tree = MakeTree();
    int32_t next = 0;
    tree->Renumber(next);
    EXPECT_EQ(next, 5);
    CNamedPtrCollection all;
    tree->CollectItems(&all);
    ASSERT_EQ(Names(all), "ABCDE");
    for (int i = 0; i < all.GetCount(); ++i) EXPECT_EQ(all.GetAt(i)->GetId(), i);

    int32_t from = 10;
    tree->Renumber(from);
    EXPECT_EQ(tree->GetAt(0)->GetId(), 10);
    EXPECT_EQ(from, 15);
}

TEST(NamedFolder, SmallExampleRenumbersABC) {
    ItemFolder folder;
    folder.Add(MakeItem("A", 0));
    folder.Add(MakeItem("B", 0));
    auto sub = std::make_unique<ItemFolder>();
    Item* c = sub->Add(MakeItem("C", 0));
    folder.AddFolder(std::move(sub));
    int32_t next = 0;
    folder.Renumber(next);
    EXPECT_EQ(folder.GetAt(0)->GetId(), 0);
    EXPECT_EQ(folder.GetAt(1)->GetId(), 1);
    EXPECT_EQ(c->GetId(), 2);
    EXPECT_EQ(next, 3);
}

TEST(NamedFolder, FindByIdSearchesItemsBeforeSubFoldersDepthFirst) {
    ItemFolder root;
    root.Add(MakeItem("A", 0, 7));
    auto sub1 = std::make_unique<ItemFolder>();
    sub1->Add(MakeItem("B", 0, 5));
    auto nested = std::make_unique<ItemFolder>();
    nested->Add(MakeItem("C", 0, 6));
    sub1->AddFolder(std::move(nested));
    root.AddFolder(std::move(sub1));
    auto sub2 = std::make_unique<ItemFolder>();
    sub2->Add(MakeItem("D", 0, 6));  // same id as C, later in depth-first order
    sub2->Add(MakeItem("E", 0, 5));
    root.AddFolder(std::move(sub2));
    root.Add(MakeItem("F", 0, 5));  // an item of the root wins over any sub-folder

    const std::pair<int, const char*> cases[] = {{7, "A"}, {5, "F"}, {6, "C"}, {99, nullptr}};
    for (const auto& [id, name] : cases) {
        Item* hit = root.FindById(id);
        if (name == nullptr) {
            EXPECT_EQ(hit, nullptr) << id;
        } else {
            ASSERT_NE(hit, nullptr) << id;
            EXPECT_EQ(hit->GetName(), name) << id;
        }
    }
}

TEST(NamedFolder, FindByMinusOneReturnsTheFirstUnnumberedItemButResolvingGivesNull) {
    ItemFolder folder;
    Item* first = folder.Add(MakeItem("A", 0));
    folder.Add(MakeItem("B", 0));
    EXPECT_EQ(folder.FindById(-1), first);
    EXPECT_EQ(ResolveReference(-1, &folder), nullptr);
    EXPECT_EQ(ResolveReference(3, &folder), nullptr);
    folder.GetAt(1)->SetId(3);
    EXPECT_EQ(ResolveReference(3, &folder), folder.GetAt(1));
}

TEST(NamedFolder, DeepCopyKeepsStructureAndDynamicClasses) {
    auto source = MakeTree();
    ItemFolder copy;
    copy.Copy(*source);
    source.reset();
    CNamedPtrCollection all;
    copy.CollectItems(&all);
    EXPECT_EQ(Names(all), "ABCDE");
    ASSERT_EQ(copy.GetFolderCount(), 2);
    ItemFolder* nested = copy.GetFolderAt(1)->GetFolderAt(0);
    ASSERT_NE(nested, nullptr);
    EXPECT_EQ(nested->GetParent(), copy.GetFolderAt(1));
    auto* e = dynamic_cast<SpecialItem*>(nested->GetAt(0));
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->extra, "deep");
    EXPECT_EQ(e->GetParent(), nested);
}

TEST(NamedFolder, CollectIntoNullDoesNothing) {
    auto tree = MakeTree();
    tree->CollectItems(nullptr);  // must not crash
    CNamedPtrCollection some;
    tree->CollectItems(&some);
    EXPECT_EQ(some.GetCount(), 5);
}

TEST(MarkCollection, CollectsEachReferencedObjectOnceInFirstReferenceOrder) {
    ItemFolder targets;
    Item* x = targets.Add(MakeItem("X", 0, 1));
    Item* y = targets.Add(MakeItem("Y", 0, 2));
    Item* z = targets.Add(MakeItem("Z", 0, 3));
    CNamedObject* references[] = {y, nullptr, x, y, y, x};
    CNamedPtrCollection used;
    for (CNamedObject* r : references) CollectMarked(r, used);
    EXPECT_EQ(Names(used), "YX");
    EXPECT_EQ(z->GetMark(), 0);  // unmarked: nothing refers to it
    EXPECT_EQ(used.FindById(1), x);
    EXPECT_EQ(used.FindById(3), nullptr);
}

TEST(TypeArray, CopiesRecordsByValue) {
    CTypeArray<Record> source;
    source.Add(Record{{1, 2, 3, 4}});
    source.Add(Record{{5, 6, 7, 8}});
    CTypeArray<Record> copy;
    copy.Add(Record{{9, 9, 9, 9}});
    copy.Copy(source);
    ASSERT_EQ(copy.GetCount(), 2);
    source.GetAt(0)->bytes[0] = 42;
    EXPECT_EQ(copy.GetAt(0)->bytes[0], 1);
    EXPECT_EQ(copy.GetAt(1)->bytes[3], 8);
    EXPECT_TRUE(copy.RemoveAll());
    EXPECT_EQ(copy.GetAt(0), nullptr);
}

}  // namespace
}  // namespace vx
