// The ordered map: key order, replacement, removal shapes, deep trees, null
// keys and values, and the release of nodes, keys and values.
#include <gtest/gtest.h>

#include "korvagl/util/ordered_map.h"
#include "util/counted.h"

namespace korva {
namespace {

using test::Counted;
using test::NumberOf;
using test::TCounted;

std::string Walk(const Ref<TTreeEnumeration>& items) {
    std::string out;
    for (auto cursor = items->Enumerate(); cursor->HasMore();) {
        const Ref<Object> item = cursor->NextValue();
        out += item ? UnboxString(item).ToBytes() : "-";
    }
    return out;
}

Ref<TTreeMap> MapOf(const char* keys) {
    Ref<TTreeMap> map = New<TTreeMap>();
    for (const char* c = keys; *c; ++c) {
        // Each key maps to the same letter in upper case.
        map->Insert(BoxString(std::string(1, *c)), BoxString(std::string(1, static_cast<char>(*c - 32))));
    }
    return map;
}

String KeyOf(const Ref<TTreeNode>& node) { return node ? UnboxString(node->Key()) : String("-"); }

class OrderedMapTest : public testing::Test {
protected:
    void SetUp() override { InitOrderedMap(); }
    void TearDown() override { EXPECT_EQ(TCounted::alive, 0); }
};

TEST_F(OrderedMapTest, EmptyMap) {
    Ref<TTreeMap> map = New<TTreeMap>();
    EXPECT_FALSE(map->ValueForKey(BoxString("a")));
    EXPECT_FALSE(map->FindNode(nullptr));
    EXPECT_FALSE(map->FirstNode());
    map->Remove(BoxString("a"));
    map->Clear();
    EXPECT_EQ(map->Enumerate()->HasMore(), 0);
    EXPECT_EQ(Walk(map->Keys()), "");
}

TEST_F(OrderedMapTest, WalksInKeyOrder) {
    Ref<TTreeMap> map = MapOf("cab");
    EXPECT_EQ(Walk(map->Keys()), "abc");
    EXPECT_EQ(Walk(map->Values()), "ABC");
    EXPECT_EQ(KeyOf(map->FirstNode()), String("a"));
    EXPECT_EQ(UnboxString(map->ValueForKey(BoxString("b"))), String("B"));
    EXPECT_FALSE(map->ValueForKey(BoxString("d")));
    // The plain cursor yields the nodes; past the end, the null object.
    Ref<TTreeCursor> cursor = map->Enumerate();
    EXPECT_EQ(KeyOf(DownCast<TTreeNode>(cursor->NextValue())), String("a"));
    for (int i = 0; i < 2; ++i) cursor->NextValue();
    EXPECT_FALSE(cursor->NextValue());
}

TEST_F(OrderedMapTest, RangeForWalksTheValuesInKeyOrder) {
    Ref<TTreeMap> map = MapOf("cab");
    std::string seen;
    for (const Ref<Object>& value : map) seen += UnboxString(value).ToBytes();
    for (const Ref<Object>& value : *map) seen += UnboxString(value).ToBytes();
    EXPECT_EQ(seen, "ABCABC");
    for (const Ref<Object>& value : New<TTreeMap>()) ADD_FAILURE() << value->ToString();
}

TEST_F(OrderedMapTest, InsertingAKeyAgainReplacesKeyAndValue) {
    Ref<TTreeMap> map = New<TTreeMap>();
    Ref<TTreeNode> node = map->Insert(Counted(5), Counted(1));
    const Ref<Object> newKey = Counted(5);
    EXPECT_EQ(map->Insert(newKey, Counted(2)), node);
    EXPECT_EQ(node->Key(), newKey);
    EXPECT_EQ(NumberOf(map->ValueForKey(Counted(5))), 2);
    EXPECT_EQ(TCounted::alive, 2);
    EXPECT_FALSE(node->Parent() || node->Left() || node->Right());
}

TEST_F(OrderedMapTest, RemovingTheRootOfThreeNodes) {
    Ref<TTreeMap> map = MapOf("bac");
    map->Remove(BoxString("b"));
    Ref<TTreeNode> a = map->FirstNode();
    EXPECT_EQ(KeyOf(a), String("a"));
    EXPECT_FALSE(a->Parent());
    EXPECT_FALSE(a->Left());
    EXPECT_EQ(KeyOf(a->Right()), String("c"));
    EXPECT_EQ(a->Right()->Parent(), a);
    EXPECT_EQ(Walk(map->Keys()), "ac");
    // Down to a single node, then empty.
    map->Remove(BoxString("a"));
    EXPECT_FALSE(map->FirstNode()->Parent());
    map->Remove(BoxString("c"));
    EXPECT_FALSE(map->FirstNode());
}

TEST_F(OrderedMapTest, RemovingAChildWithBothSubtrees) {
    //        d
    //    b       f
    //   a c     e g
    Ref<TTreeMap> map = MapOf("dbfaceg");
    Ref<TTreeNode> b = map->FindNode(BoxString("b"));
    map->Remove(BoxString("b"));
    // a takes b's place and c goes below it; b keeps no links.
    EXPECT_FALSE(b->Parent() || b->Left() || b->Right());
    Ref<TTreeNode> a = map->FindNode(BoxString("a"));
    EXPECT_EQ(KeyOf(a->Parent()), String("d"));
    EXPECT_EQ(KeyOf(a->Parent()->Left()), String("a"));
    EXPECT_EQ(KeyOf(a->Right()), String("c"));
    EXPECT_EQ(a->Right()->Parent(), a);
    EXPECT_EQ(Walk(map->Keys()), "acdefg");

    // Mirror image: g takes f's place and e goes below it on the left.
    map->Remove(BoxString("f"));
    Ref<TTreeNode> g = map->FindNode(BoxString("g"));
    EXPECT_EQ(KeyOf(g->Parent()), String("d"));
    EXPECT_EQ(KeyOf(g->Left()), String("e"));
    EXPECT_EQ(Walk(map->Keys()), "acdeg");
    for (const char* key : {"a", "c", "d", "e", "g"}) EXPECT_TRUE(map->FindNode(BoxString(key))) << key;

    // One-sided children move up; removing absent keys changes nothing.
    map->Remove(BoxString("a"));
    map->Remove(BoxString("g"));
    map->Remove(BoxString("z"));
    EXPECT_EQ(Walk(map->Keys()), "cde");
    EXPECT_EQ(KeyOf(map->FindNode(BoxString("c"))->Parent()), String("d"));
    EXPECT_EQ(KeyOf(map->FindNode(BoxString("e"))->Parent()), String("d"));
}

TEST_F(OrderedMapTest, NullKeysAndValues) {
    Ref<TTreeMap> map = New<TTreeMap>();
    map->Insert(BoxString("b"), nullptr);
    map->Insert(nullptr, BoxString("N"));
    map->Insert(BoxString("a"), BoxString("A"));
    EXPECT_EQ(Walk(map->Keys()), "-ab");
    EXPECT_EQ(Walk(map->Values()), "NA-");
    EXPECT_EQ(UnboxString(map->ValueForKey(nullptr)), String("N"));
    EXPECT_FALSE(map->ValueForKey(BoxString("b")));
    map->Insert(nullptr, BoxString("M"));
    EXPECT_EQ(Walk(map->Values()), "MA-");
    map->Remove(nullptr);
    EXPECT_EQ(Walk(map->Keys()), "ab");
}

TEST_F(OrderedMapTest, AscendingKeysMakeAChainThatStillWorks) {
    Ref<TTreeMap> map = New<TTreeMap>();
    for (int i = 0; i < 1000; ++i) map->Insert(Counted(i), Counted(-i));
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(NumberOf(map->ValueForKey(Counted(i))), -i) << i;
    EXPECT_FALSE(map->FindNode(Counted(1000)));
    int expected = 0;
    for (auto cursor = map->Keys()->Enumerate(); cursor->HasMore(); ++expected) {
        ASSERT_EQ(NumberOf(cursor->NextValue()), expected);
    }
    EXPECT_EQ(expected, 1000);
    map->Remove(Counted(0));
    map->Remove(Counted(500));
    EXPECT_FALSE(map->FindNode(Counted(500)));
    EXPECT_EQ(NumberOf(map->FirstNode()->Key()), 1);
}

TEST_F(OrderedMapTest, VeryDeepTreesNeverRecurse) {
    // Hanging each key below the previous node builds a 200000-deep chain
    // quickly: root kDepth, its left child 0, then 1, 2, ... each the right
    // child of the one before. Finding, re-attaching, clearing and releasing
    // must all be loops.
    constexpr int kDepth = 200000;
    Ref<TTreeMap> map = New<TTreeMap>();
    map->Insert(Counted(kDepth), nullptr);
    Ref<TTreeNode> node = map->Insert(Counted(0), nullptr);
    for (int i = 1; i < kDepth; ++i) node = node->InsertKey(Counted(i));
    node = nullptr;
    map->Insert(Counted(kDepth + 1), nullptr);
    EXPECT_EQ(NumberOf(map->FindNode(Counted(kDepth - 1))->Key()), kDepth - 1);
    map->Remove(Counted(kDepth / 2));
    EXPECT_FALSE(map->FindNode(Counted(kDepth / 2)));
    // Removing the root hangs its right subtree below the deepest node.
    map->Remove(Counted(kDepth));
    Ref<TTreeNode> last = map->FindNode(Counted(kDepth + 1));
    EXPECT_EQ(NumberOf(last->Parent()->Key()), kDepth - 1);
    EXPECT_EQ(NumberOf(map->FirstNode()->Key()), 0);
    last = nullptr;
    map = nullptr;
    EXPECT_EQ(TCounted::alive, 0);
}

TEST_F(OrderedMapTest, ReleasesNodesKeysAndValues) {
    Ref<TTreeNode> kept;
    Ref<TTreeCursor> cursor;
    {
        Ref<TTreeMap> map = New<TTreeMap>();
        for (int i : {5, 2, 8, 1, 3, 7, 9}) map->Insert(Counted(i), Counted(i * 10));
        map->Remove(Counted(2));
        map->Remove(Counted(5));
        EXPECT_EQ(TCounted::alive, 10);  // removed nodes nobody holds are gone
        kept = map->FindNode(Counted(8));
        cursor = map->Enumerate();
        EXPECT_EQ(NumberOf(DownCast<TTreeNode>(cursor->NextValue())->Key()), 1);
        map->Clear();
        EXPECT_FALSE(map->FirstNode());
        // What a caller holds stays usable; the walk ends early but safely.
        EXPECT_EQ(NumberOf(kept->Value()), 80);
        EXPECT_FALSE(kept->Parent());
        int steps = 0;
        while (cursor->HasMore() && steps < 10) {
            cursor->NextValue();
            ++steps;
        }
        EXPECT_LT(steps, 10);
    }
    kept = nullptr;
    cursor = nullptr;
}

TEST_F(OrderedMapTest, AttachRefusesLoops) {
    Ref<TTreeMap> map = MapOf("bac");
    Ref<TTreeNode> b = map->FindNode(BoxString("b"));
    Ref<TTreeNode> a = map->FindNode(BoxString("a"));
    EXPECT_THROW(a->Attach(b), TRuntimeError);                               // its own root
    EXPECT_THROW(b->Attach(map->FindNode(BoxString("c"))), TRuntimeError);  // still in the tree
    EXPECT_THROW(a->Attach(nullptr), TNullObjectFault);
    EXPECT_EQ(Walk(map->Keys()), "abc");
}

}  // namespace
}  // namespace korva
