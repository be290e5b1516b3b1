// KorvaGL: the linked list, the framework's general container.
//
// TLinkedList is a circular doubly linked list of object references with a
// sentinel link. Values are any objects, the null object included. An
// insertion returns the TListNode that holds the value; keep it to remove that
// entry later in constant time.
//
// Equality and order of values come from the stored value's Compare (through
// CompareObjects): plain objects are equal only to themselves, boxed strings
// compare by text, and the null object equals only the null object and sorts
// before everything else.
//
// Walking: ask Enumerate() for a cursor and call NextValue() while HasMore()
// is 1, or use range-for, which walks the same way over every value (null
// objects included): `for (const Ref<Object>& value : list)` with `list` a
// Ref<TLinkedList> or a TLinkedList. The cursor moves before it returns a value and a removed link keeps
// pointing at its former neighbours, so removing any entry during a walk is
// safe: a cursor standing on a removed link yields its (now null) value and
// then goes on with the link that followed it.
//
// Lifetime: a list frees its links and releases its values when its last
// reference goes. Links a caller kept stay valid objects: they are detached
// and hold the null object. Removing a detached link again only clears its
// value; inserting next to a detached link raises "List node is not in a
// list".
//
// Single-threaded; no locking.
#pragma once

#include <cstdint>

#include "korvagl/app/object.h"
#include "korvagl/util/cursor_iterator.h"

namespace korva {

class TLinkedList;
class TListCursor;

// One link of a list: the stored value and its two neighbours.
class TListNode : public Object {
public:
    ~TListNode() override;

    // The stored value.
    virtual Ref<Object> Value();
    // The following link, or the null object at the end of the list.
    virtual Ref<TListNode> Next();
    // The preceding link, or the null object at the start of the list.
    virtual Ref<TListNode> Prev();
    // Releases the value and takes the link out of its list. The link keeps
    // pointing at its former neighbours, so a cursor standing on it goes on.
    virtual void Remove();

    // 1 while the link is part of a list (the sentinel always is).
    int InList() const noexcept { return inList_ ? 1 : 0; }

private:
    friend class TLinkedList;
    friend class TListCursor;
    TListNode() = default;

    bool IsSentinel() const noexcept { return sentinel_; }

    Ref<Object> value_;
    Ref<TListNode> next_;
    Ref<TListNode> prev_;
    // The sentinel is told apart by this flag rather than by holding itself
    // as its value, so it holds no counted reference to itself.
    bool sentinel_ = false;
    bool inList_ = false;
};

// A walk over a list.
class TListCursor : public Object {
public:
    explicit TListCursor(Ref<TListNode> link) : link_(std::move(link)) {}

    // 1 unless the cursor has reached the end of the list.
    virtual int HasMore();
    // The value of the current link (null objects included); then moves on.
    // At the end it returns the null object and stays there.
    virtual Ref<Object> NextValue();

private:
    Ref<TListNode> link_;
};

class TLinkedList : public Object {
public:
    TLinkedList();
    ~TLinkedList() override;

    // Removes every entry.
    virtual void Clear();
    // 1 when the list has no links.
    virtual int IsEmpty();
    // 1 when some value compares equal to `value`.
    virtual int Contains(const Ref<Object>& value);
    virtual Ref<TListNode> AddFirst(const Ref<Object>& value);
    virtual Ref<TListNode> AddLast(const Ref<Object>& value);
    // The first or last value; the null object when empty.
    virtual Ref<Object> First();
    virtual Ref<Object> Last();
    // Removes the first or last link and returns its value; the null object
    // (and no change) when empty.
    virtual Ref<Object> RemoveFirst();
    virtual Ref<Object> RemoveLast();
    // The first or last link; the null object when empty.
    virtual Ref<TListNode> FirstLink();
    virtual Ref<TListNode> LastLink();
    // A new link holding `value`, placed before `succ` / after `pred`, which
    // must be links of a list.
    virtual Ref<TListNode> InsertBefore(const Ref<Object>& value, const Ref<TListNode>& succ);
    virtual Ref<TListNode> InsertAfter(const Ref<Object>& value, const Ref<TListNode>& pred);
    // The first link whose value compares equal to `value`, or the null object.
    virtual Ref<TListNode> LinkOf(const Ref<Object>& value);
    // The index-th value that is not the null object (0-based). Raises
    // "List index out of range" past the end or for a negative index.
    virtual Ref<Object> ValueAt(int32_t index);
    // The number of links, those holding the null object included.
    virtual int32_t Count();
    // Removes the first link whose value compares equal; 1 if one went, else 0.
    virtual int Remove(const Ref<Object>& value);
    // Exchanges the whole contents of the two lists; kept links move along.
    virtual void Swap(const Ref<TLinkedList>& other);
    // A new list of the values that are not the null object, in order.
    virtual Ref<TLinkedList> Copy();
    // Reverses the list. Its links are replaced by new ones: links kept from
    // before become detached and hold the null object.
    virtual void Reverse();
    // A new list of the values that are not the null object, in reverse order.
    virtual Ref<TLinkedList> ReversedCopy();
    // Stable bubble sort that exchanges values between links (links stay in
    // place, so a kept link may hold a different value afterwards).
    virtual void Sort(int ascending);
    // A new cursor at the first link.
    virtual Ref<TListCursor> Enumerate();
    // Count() elements: the values that are not the null object from index 0
    // in list order, the rest the null object.
    virtual ObjectArray ToArray();
    // A new list of the elements that are not the null object, in order.
    static Ref<TLinkedList> FromArray(const ObjectArray& array);

    // Range-for over the values, through Enumerate().
    detail::CursorIterator<TListCursor> begin() { return detail::CursorIterator<TListCursor>(Enumerate()); }
    detail::CursorIterator<TListCursor> end() { return {}; }

private:
    Ref<TListNode> head_;
};

// Range-for straight over a Ref; the null object raises TNullObjectFault.
inline detail::CursorIterator<TListCursor> begin(const Ref<TLinkedList>& list) { return list->begin(); }
inline detail::CursorIterator<TListCursor> end(const Ref<TLinkedList>& list) { return list->end(); }

// The procedural interface. Functions that wrap an operation without a result
// return 0; the null object as list or link raises TNullObjectFault.
Ref<TLinkedList> NewList();
int ListClear(const Ref<TLinkedList>& list);
int32_t ListCount(const Ref<TLinkedList>& list);
int ListIsEmpty(const Ref<TLinkedList>& list);
int ListContains(const Ref<TLinkedList>& list, const Ref<Object>& value);
int ListSort(const Ref<TLinkedList>& list, int ascending = 1);
Ref<TLinkedList> ListFromArray(const ObjectArray& array);
ObjectArray ListToArray(const Ref<TLinkedList>& list);
int ListSwap(const Ref<TLinkedList>& list, const Ref<TLinkedList>& other);
int ListReverse(const Ref<TLinkedList>& list);
Ref<TListNode> ListLinkOf(const Ref<TLinkedList>& list, const Ref<Object>& value);
Ref<TListNode> ListAddLast(const Ref<TLinkedList>& list, const Ref<Object>& value);
Ref<TListNode> ListAddFirst(const Ref<TLinkedList>& list, const Ref<Object>& value);
int ListRemove(const Ref<TLinkedList>& list, const Ref<Object>& value);
int LinkRemove(const Ref<TListNode>& link);

// The module's initialiser ("linked list").
int InitLinkedList();

}  // namespace korva
