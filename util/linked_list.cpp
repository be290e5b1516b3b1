// The linked list: a ring of counted links through a sentinel.
//
// Neighbouring links refer to each other, so the ring is a web of reference
// cycles. It is broken link by link: removing a link unhooks it from its
// neighbours (it keeps its own next/prev, which only point away from it), and
// destroying a list removes every link and then drops the sentinel's
// references to itself.
#include "korvagl/util/linked_list.h"

#include <vector>

#include "korvagl/app/modules.h"

namespace korva {

// ---------------------------------------------------------------------------
// TListNode

TListNode::~TListNode() {
    // A removed link keeps its neighbours alive, and they may be removed links
    // too: release such chains in a loop instead of one destructor inside the
    // next, so a long chain cannot exhaust the stack.
    if (!next_ && !prev_) return;
    std::vector<Ref<TListNode>> pending;
    pending.push_back(std::move(next_));
    pending.push_back(std::move(prev_));
    while (!pending.empty()) {
        Ref<TListNode> link = std::move(pending.back());
        pending.pop_back();
        if (link && link->RefCount() == 1) {
            // This is the last reference: take its neighbours over before it goes.
            pending.push_back(std::move(link->next_));
            pending.push_back(std::move(link->prev_));
        }
    }
}

Ref<Object> TListNode::Value() { return value_; }

Ref<TListNode> TListNode::Next() {
    if (!next_ || next_->IsSentinel()) return nullptr;
    return next_;
}

Ref<TListNode> TListNode::Prev() {
    if (!prev_ || prev_->IsSentinel()) return nullptr;
    return prev_;
}

void TListNode::Remove() {
    if (sentinel_) return;
    // The value is released last, once the ring is consistent again.
    const Ref<Object> value = std::move(value_);
    // Unhooking twice would write stale neighbours back into the ring.
    if (!inList_) return;
    inList_ = false;
    // Keep this link alive while it is being unhooked: the ring may hold the
    // only references to it.
    const Ref<TListNode> self(this);
    next_->prev_ = prev_;
    prev_->next_ = next_;
}

// ---------------------------------------------------------------------------
// TListCursor

int TListCursor::HasMore() { return link_ && !link_->IsSentinel() ? 1 : 0; }

Ref<Object> TListCursor::NextValue() {
    if (!HasMore()) return nullptr;
    Ref<Object> value = link_->value_;
    link_ = link_->next_;
    return value;
}

// ---------------------------------------------------------------------------
// TLinkedList

TLinkedList::TLinkedList() : head_(detail::AdoptNew(new TListNode())) {
    head_->sentinel_ = true;
    head_->inList_ = true;
    head_->next_ = head_;
    head_->prev_ = head_;
}

TLinkedList::~TLinkedList() {
    Clear();
    // Drop the sentinel's references to itself. Removed links that a caller
    // kept may still point at it; it stays recognisable as the end for their
    // cursors.
    head_->next_ = nullptr;
    head_->prev_ = nullptr;
}

void TLinkedList::Clear() {
    while (head_->next_ != head_) head_->next_->Remove();
}

int TLinkedList::IsEmpty() { return head_->next_ == head_ ? 1 : 0; }

int TLinkedList::Contains(const Ref<Object>& value) { return LinkOf(value) ? 1 : 0; }

Ref<TListNode> TLinkedList::AddFirst(const Ref<Object>& value) { return InsertAfter(value, head_); }

Ref<TListNode> TLinkedList::AddLast(const Ref<Object>& value) { return InsertBefore(value, head_); }

Ref<Object> TLinkedList::First() { return IsEmpty() ? nullptr : head_->next_->value_; }

Ref<Object> TLinkedList::Last() { return IsEmpty() ? nullptr : head_->prev_->value_; }

Ref<Object> TLinkedList::RemoveFirst() {
    if (IsEmpty()) return nullptr;
    Ref<TListNode> link = head_->next_;
    Ref<Object> value = link->value_;
    link->Remove();
    return value;
}

Ref<Object> TLinkedList::RemoveLast() {
    if (IsEmpty()) return nullptr;
    Ref<TListNode> link = head_->prev_;
    Ref<Object> value = link->value_;
    link->Remove();
    return value;
}

Ref<TListNode> TLinkedList::FirstLink() { return IsEmpty() ? nullptr : head_->next_; }

Ref<TListNode> TLinkedList::LastLink() { return IsEmpty() ? nullptr : head_->prev_; }

namespace {
void RequireLinked(const Ref<TListNode>& link) {
    if (!link->InList()) RaiseRuntimeError("List node is not in a list");
}
}  // namespace

Ref<TListNode> TLinkedList::InsertBefore(const Ref<Object>& value, const Ref<TListNode>& succ) {
    RequireLinked(succ);
    Ref<TListNode> link = detail::AdoptNew(new TListNode());
    link->value_ = value;
    link->next_ = succ;
    link->prev_ = succ->prev_;
    link->inList_ = true;
    link->prev_->next_ = link;
    succ->prev_ = link;
    return link;
}

Ref<TListNode> TLinkedList::InsertAfter(const Ref<Object>& value, const Ref<TListNode>& pred) {
    RequireLinked(pred);
    Ref<TListNode> link = detail::AdoptNew(new TListNode());
    link->value_ = value;
    link->prev_ = pred;
    link->next_ = pred->next_;
    link->inList_ = true;
    link->next_->prev_ = link;
    pred->next_ = link;
    return link;
}

Ref<TListNode> TLinkedList::LinkOf(const Ref<Object>& value) {
    for (TListNode* link = head_->next_.Get(); link != head_.Get(); link = link->next_.Get()) {
        if (CompareObjects(link->value_, value) == 0) return Ref<TListNode>(link);
    }
    return nullptr;
}

Ref<Object> TLinkedList::ValueAt(int32_t index) {
    for (TListNode* link = head_->next_.Get(); link != head_.Get(); link = link->next_.Get()) {
        if (!link->value_) continue;
        if (index == 0) return link->value_;
        --index;
    }
    RaiseRuntimeError("List index out of range");
}

int32_t TLinkedList::Count() {
    int32_t count = 0;
    for (TListNode* link = head_->next_.Get(); link != head_.Get(); link = link->next_.Get()) ++count;
    return count;
}

int TLinkedList::Remove(const Ref<Object>& value) {
    Ref<TListNode> link = LinkOf(value);
    if (!link) return 0;
    link->Remove();
    return 1;
}

void TLinkedList::Swap(const Ref<TLinkedList>& other) { head_.Swap(other->head_); }

Ref<TLinkedList> TLinkedList::Copy() {
    Ref<TLinkedList> copy = New<TLinkedList>();
    for (TListNode* link = head_->next_.Get(); link != head_.Get(); link = link->next_.Get()) {
        if (link->value_) copy->AddLast(link->value_);
    }
    return copy;
}

void TLinkedList::Reverse() { Swap(ReversedCopy()); }

Ref<TLinkedList> TLinkedList::ReversedCopy() {
    Ref<TLinkedList> copy = New<TLinkedList>();
    for (TListNode* link = head_->next_.Get(); link != head_.Get(); link = link->next_.Get()) {
        if (link->value_) copy->AddFirst(link->value_);
    }
    return copy;
}

void TLinkedList::Sort(int ascending) {
    TListNode* tail = head_->prev_.Get();
    if (tail == head_.Get()) return;
    for (;;) {
        TListNode* link = head_->next_.Get();
        if (link == tail) return;
        bool sorted = true;
        for (; link != tail; link = link->next_.Get()) {
            const int c = CompareObjects(link->value_, link->next_->value_);
            if ((c > 0 && ascending) || (c < 0 && !ascending)) {
                link->value_.Swap(link->next_->value_);
                sorted = false;
            }
        }
        if (sorted) return;
        tail = tail->prev_.Get();
    }
}

Ref<TListCursor> TLinkedList::Enumerate() { return New<TListCursor>(head_->next_); }

ObjectArray TLinkedList::ToArray() {
    ObjectArray array(static_cast<size_t>(Count()));
    size_t at = 0;
    for (TListNode* link = head_->next_.Get(); link != head_.Get(); link = link->next_.Get()) {
        if (link->value_) array[at++] = link->value_;
    }
    return array;
}

Ref<TLinkedList> TLinkedList::FromArray(const ObjectArray& array) {
    Ref<TLinkedList> list = New<TLinkedList>();
    for (const Ref<Object>& value : array) {
        if (value) list->AddLast(value);
    }
    return list;
}

// ---------------------------------------------------------------------------
// The procedural interface

Ref<TLinkedList> NewList() { return New<TLinkedList>(); }

int ListClear(const Ref<TLinkedList>& list) {
    list->Clear();
    return 0;
}

int32_t ListCount(const Ref<TLinkedList>& list) { return list->Count(); }

int ListIsEmpty(const Ref<TLinkedList>& list) { return list->IsEmpty(); }

int ListContains(const Ref<TLinkedList>& list, const Ref<Object>& value) { return list->Contains(value); }

int ListSort(const Ref<TLinkedList>& list, int ascending) {
    list->Sort(ascending);
    return 0;
}

Ref<TLinkedList> ListFromArray(const ObjectArray& array) { return TLinkedList::FromArray(array); }

ObjectArray ListToArray(const Ref<TLinkedList>& list) { return list->ToArray(); }

int ListSwap(const Ref<TLinkedList>& list, const Ref<TLinkedList>& other) {
    list->Swap(other);
    return 0;
}

int ListReverse(const Ref<TLinkedList>& list) {
    list->Reverse();
    return 0;
}

Ref<TListNode> ListLinkOf(const Ref<TLinkedList>& list, const Ref<Object>& value) {
    return list->LinkOf(value);
}

Ref<TListNode> ListAddLast(const Ref<TLinkedList>& list, const Ref<Object>& value) {
    return list->AddLast(value);
}

Ref<TListNode> ListAddFirst(const Ref<TLinkedList>& list, const Ref<Object>& value) {
    return list->AddFirst(value);
}

int ListRemove(const Ref<TLinkedList>& list, const Ref<Object>& value) { return list->Remove(value); }

int LinkRemove(const Ref<TListNode>& link) {
    link->Remove();
    return 0;
}

int InitLinkedList() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    detail::NoteModuleStarted("linked list");
    return 0;
}

}  // namespace korva
