// The linked list: entries, order, removal during walks, sorting, and the
// release of links and values.
#include <gtest/gtest.h>

#include "korvagl/util/linked_list.h"
#include "util/counted.h"

namespace korva {
namespace {

using test::Counted;
using test::NumberOf;
using test::TCounted;

// The texts of a list's values, walked with a cursor ("-" for the null object).
std::string Texts(const Ref<TLinkedList>& list) {
    std::string out;
    for (auto cursor = list->Enumerate(); cursor->HasMore();) {
        const Ref<Object> value = cursor->NextValue();
        out += value ? UnboxString(value).ToBytes() : "-";
    }
    return out;
}

Ref<TLinkedList> ListOf(const char* letters) {
    Ref<TLinkedList> list = NewList();
    for (const char* c = letters; *c; ++c) ListAddLast(list, BoxString(std::string(1, *c)));
    return list;
}

String TextAt(const Ref<TLinkedList>& list, int32_t index) {
    try {
        return UnboxString(list->ValueAt(index));
    } catch (const TRuntimeError& e) {
        return e.text;
    }
}

class LinkedListTest : public testing::Test {
protected:
    void SetUp() override { InitLinkedList(); }
    // Everything the test made is gone again.
    void TearDown() override { EXPECT_EQ(TCounted::alive, 0); }
};

TEST_F(LinkedListTest, NewListIsEmpty) {
    Ref<TLinkedList> list = NewList();
    EXPECT_FALSE(list->RemoveFirst() || list->RemoveLast() || list->First() || list->Last());
    EXPECT_FALSE(list->FirstLink() || list->LastLink());
    EXPECT_EQ(ListIsEmpty(list), 1);
    EXPECT_EQ(ListCount(list), 0);
    EXPECT_EQ(TextAt(list, 0), String("List index out of range"));
    Ref<TListCursor> cursor = list->Enumerate();
    EXPECT_EQ(cursor->HasMore(), 0);
    // Past the end a cursor yields the null object and stays there.
    EXPECT_FALSE(cursor->NextValue());
    EXPECT_EQ(cursor->HasMore(), 0);
}

TEST_F(LinkedListTest, AddsAtBothEndsAndIndexes) {
    Ref<TLinkedList> list = ListOf("abc");
    ListAddFirst(list, BoxString("z"));
    EXPECT_EQ(Texts(list), "zabc");
    EXPECT_EQ(TextAt(list, 0), String("z"));
    EXPECT_EQ(TextAt(list, 3), String("c"));
    EXPECT_EQ(TextAt(list, 4), String("List index out of range"));
    EXPECT_EQ(TextAt(list, -1), String("List index out of range"));
    EXPECT_FALSE(list->FirstLink()->Prev());
    EXPECT_FALSE(list->LastLink()->Next());
    EXPECT_EQ(UnboxString(list->LastLink()->Prev()->Value()), String("b"));

    Ref<TListNode> b = ListLinkOf(list, BoxString("b"));
    list->InsertBefore(BoxString("1"), b);
    list->InsertAfter(BoxString("2"), b);
    EXPECT_EQ(UnboxString(list->RemoveFirst()), String("z"));
    EXPECT_EQ(UnboxString(list->RemoveLast()), String("c"));
    EXPECT_EQ(Texts(list), "a1b2");
    EXPECT_EQ(ListClear(list), 0);
    EXPECT_EQ(list->IsEmpty(), 1);
}

TEST_F(LinkedListTest, NullValuesAreEntriesThatCopiesSkip) {
    Ref<TLinkedList> list = NewList();
    for (const Ref<Object>& value : {Ref<Object>(BoxString("a")), Ref<Object>(), Ref<Object>(BoxString("b"))}) {
        list->AddLast(value);
    }
    EXPECT_EQ(list->Count(), 3);
    EXPECT_EQ(Texts(list), "a-b");
    EXPECT_EQ(TextAt(list, 1), String("b"));
    EXPECT_EQ(TextAt(list, 2), String("List index out of range"));
    const ObjectArray array = ListToArray(list);
    ASSERT_EQ(array.size(), 3u);
    EXPECT_EQ(UnboxString(array[1]), String("b"));
    EXPECT_FALSE(array[2]);
    EXPECT_EQ(Texts(list->Copy()), "ab");
    EXPECT_EQ(Texts(list->ReversedCopy()), "ba");
    EXPECT_EQ(Texts(ListFromArray({nullptr, BoxString("x"), nullptr, BoxString("y")})), "xy");

    // The null object equals only itself and sorts before everything.
    EXPECT_EQ(ListContains(list, nullptr), 1);
    EXPECT_EQ(list->LinkOf(nullptr), list->FirstLink()->Next());
    EXPECT_EQ(list->Contains(BoxString("c")), 0);
    list->Sort(1);
    EXPECT_EQ(Texts(list), "-ab");
    list->Sort(0);
    EXPECT_EQ(Texts(list), "ba-");
    EXPECT_EQ(ListRemove(list, nullptr), 1);
    EXPECT_EQ(ListRemove(list, nullptr), 0);
    EXPECT_EQ(Texts(list), "ba");
}

TEST_F(LinkedListTest, RemovingDuringAWalkVisitsEveryOtherEntryOnce) {
    // Removing every other entry just returned.
    Ref<TLinkedList> list = ListOf("abcde");
    std::string seen;
    for (auto cursor = list->Enumerate(); cursor->HasMore();) {
        const Ref<Object> value = cursor->NextValue();
        seen += UnboxString(value).ToBytes();
        if (seen.size() % 2 == 1) list->Remove(value);
    }
    EXPECT_EQ(seen, "abcde");
    EXPECT_EQ(Texts(list), "bd");

    // Removing the entries ahead of the cursor: it yields their (now null)
    // values, then goes on with the entry that followed.
    list = ListOf("abcd");
    Ref<TListCursor> cursor = list->Enumerate();
    EXPECT_EQ(UnboxString(cursor->NextValue()), String("a"));
    list->Remove(BoxString("b"));
    list->Remove(BoxString("c"));
    EXPECT_FALSE(cursor->NextValue() || cursor->NextValue());
    EXPECT_EQ(UnboxString(cursor->NextValue()), String("d"));
    EXPECT_EQ(cursor->HasMore(), 0);

    // Emptying the list from inside the walk.
    list = ListOf("abc");
    int steps = 0;
    for (cursor = list->Enumerate(); cursor->HasMore(); cursor->NextValue(), ++steps) list->Clear();
    EXPECT_EQ(steps, 3);
}

// Range-for walks as a cursor does: every value, null objects included,
// and removing the value just seen is safe.
TEST_F(LinkedListTest, RangeForWalksTheValues) {
    Ref<TLinkedList> list = ListOf("abc");
    list->InsertAfter(nullptr, list->FirstLink());
    std::string seen;
    for (const Ref<Object>& value : list) {
        seen += value ? UnboxString(value).ToBytes() : "-";
        if (value) list->Remove(value);
    }
    EXPECT_EQ(seen, "a-bc");
    EXPECT_EQ(list->Count(), 1);
    for (const Ref<Object>& value : NewList()) ADD_FAILURE() << value->ToString();
    EXPECT_THROW(for (const Ref<Object>& value : Ref<TLinkedList>()) (void)value, TNullObjectFault);
}

TEST_F(LinkedListTest, RemoveTakesOnlyTheFirstEqualValue) {
    Ref<TLinkedList> list = NewList();
    Ref<TListNode> first = list->AddLast(Counted(7));
    Ref<TListNode> second = list->AddLast(Counted(7));
    EXPECT_EQ(list->Remove(Counted(7)), 1);
    EXPECT_FALSE(first->Value());  // released at once
    EXPECT_EQ(TCounted::alive, 1);
    EXPECT_EQ(NumberOf(second->Value()), 7);
    EXPECT_EQ(list->Remove(Counted(8)), 0);
    // Plain objects are equal only to themselves.
    const Ref<Object> plain = New<Object>();
    list->AddLast(plain);
    EXPECT_EQ(list->Contains(New<Object>()), 0);
    EXPECT_EQ(list->Contains(plain), 1);
}

TEST_F(LinkedListTest, SortsStablyByValueCompare) {
    Ref<TLinkedList> list = ListOf("312");
    Ref<TListNode> kept = list->FirstLink();
    EXPECT_EQ(ListSort(list), 0);  // ascending by default
    EXPECT_EQ(Texts(list), "123");
    // Values move between links; the links stay.
    EXPECT_EQ(UnboxString(kept->Value()), String("1"));
    list->Sort(0);
    EXPECT_EQ(Texts(list), "321");

    list = NewList();
    const Ref<Object> first = Counted(1);
    const Ref<Object> second = Counted(1);
    for (const Ref<Object>& value : {Counted(2), first, Counted(0), second}) list->AddLast(value);
    for (int ascending : {1, 0}) {
        list->Sort(ascending);
        const ObjectArray sorted = list->ToArray();
        EXPECT_EQ(NumberOf(sorted[0]), ascending ? 0 : 2);
        EXPECT_EQ(sorted[1], first);
        EXPECT_EQ(sorted[2], second);
    }
}

TEST_F(LinkedListTest, SwapAndReverseMoveLinks) {
    Ref<TLinkedList> one = ListOf("ab");
    Ref<TLinkedList> two = ListOf("xyz");
    Ref<TListNode> kept = one->FirstLink();
    EXPECT_EQ(ListSwap(one, two), 0);
    EXPECT_EQ(Texts(one), "xyz");
    EXPECT_EQ(Texts(two), "ab");
    EXPECT_EQ(two->FirstLink(), kept);

    // Reverse puts new links in place: a kept link is detached and holds the
    // null object, and a cursor standing on the old links still ends.
    Ref<TListCursor> cursor = one->Enumerate();
    kept = one->LastLink();
    EXPECT_EQ(ListReverse(one), 0);
    EXPECT_EQ(Texts(one), "zyx");
    EXPECT_EQ(kept->InList(), 0);
    EXPECT_FALSE(kept->Value());
    int steps = 0;
    for (; cursor->HasMore(); ++steps) EXPECT_FALSE(cursor->NextValue());
    EXPECT_EQ(steps, 3);
}

TEST_F(LinkedListTest, DetachedLinksCannotCorruptTheRing) {
    Ref<TLinkedList> list = ListOf("abcd");
    Ref<TListNode> b = list->LinkOf(BoxString("b"));
    EXPECT_EQ(LinkRemove(b), 0);
    list->Remove(BoxString("a"));
    // Removing a removed link again would write stale neighbours back.
    b->Remove();
    EXPECT_EQ(Texts(list), "cd");
    EXPECT_FALSE(list->FirstLink()->Prev());
    EXPECT_EQ(list->LastLink()->Prev(), list->FirstLink());
    try {
        list->InsertAfter(BoxString("x"), b);
        ADD_FAILURE();
    } catch (const TRuntimeError& e) {
        EXPECT_EQ(e.text, String("List node is not in a list"));
    }
    EXPECT_THROW(list->InsertBefore(BoxString("x"), nullptr), TNullObjectFault);
    EXPECT_THROW(ListCount(nullptr), TNullObjectFault);
    EXPECT_EQ(list->Count(), 2);
}

TEST_F(LinkedListTest, KeptLinksAndCursorsOutliveTheirList) {
    Ref<TListNode> link;
    Ref<TListCursor> cursor;
    {
        Ref<TLinkedList> list = NewList();
        for (int i = 0; i < 4; ++i) list->AddLast(Counted(i));
        link = list->FirstLink()->Next();
        list->Reverse();
        list->Copy();
        cursor = list->Enumerate();
        EXPECT_EQ(TCounted::alive, 4);
    }
    EXPECT_EQ(TCounted::alive, 0);
    EXPECT_EQ(link->InList(), 0);
    int steps = 0;
    for (; cursor->HasMore(); ++steps) EXPECT_FALSE(cursor->NextValue());
    EXPECT_EQ(steps, 4);
}

TEST_F(LinkedListTest, LongChainsOfRemovedLinksReleaseWithoutRecursion) {
    constexpr int kCount = 200000;
    Ref<TListCursor> forward;
    Ref<TListNode> backward;
    {
        Ref<TLinkedList> front = NewList();
        Ref<TLinkedList> back = NewList();
        for (int i = 0; i < kCount; ++i) {
            front->AddLast(Counted(i));
            back->AddLast(Counted(i));
        }
        // Each removed link keeps its former neighbour alive: the cursor holds
        // a chain through every link, and so does the last link of `back`.
        forward = front->Enumerate();
        while (!front->IsEmpty()) front->RemoveFirst();
        backward = back->LastLink();
        while (!back->IsEmpty()) back->RemoveLast();
    }
    EXPECT_EQ(TCounted::alive, 0);
    forward = nullptr;
    backward = nullptr;
}

}  // namespace
}  // namespace korva
