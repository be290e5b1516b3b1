// KorvaGL: the ordered map.
//
// TTreeMap maps key objects to value objects and keeps its keys in ascending
// order. It is a plain binary search tree with parent links and no balancing:
// its shape follows the order of insertions and removals, so operations cost
// the depth of the tree, which is linear for keys inserted in sorted order.
// Every walk is iterative, so even a tree that has degenerated into a long
// chain never exhausts the stack.
//
// Keys are ordered by the key's own Compare (through CompareObjects): plain
// objects by identity, boxed strings by text. The null object is a valid key
// and a valid value; as a key it sorts before every other key.
//
// Range-for walks the values in ascending key order, as Values() does:
// `for (const Ref<Object>& value : map)` with `map` a Ref<TTreeMap> or a
// TTreeMap.
//
// Nothing raises: a missing key gives the null object or does nothing.
// Removing the node a cursor stands on ends that walk early.
//
// Lifetime: a map releases its nodes, keys and values when its last reference
// goes. A node a caller kept stays a valid object.
//
// Single-threaded; no locking.
#pragma once

#include "korvagl/app/object.h"
#include "korvagl/util/cursor_iterator.h"

namespace korva {

class TTreeMap;
class TTreeCursor;

// One entry of a map and its place in the tree.
class TTreeNode : public Object {
public:
    ~TTreeNode() override;

    virtual Ref<Object> Key();
    virtual Ref<Object> Value();
    // The node with `key` in the subtree below and including this node, or
    // the null object.
    virtual Ref<TTreeNode> FindNode(const Ref<Object>& key);
    // Drops every parent reference in this subtree, breaking the parent/child
    // reference cycles so the nodes are released with their last owner.
    virtual void ClearLinks();
    // Takes this non-root node out of the tree; its subtrees stay in the tree.
    virtual void Unlink();
    // Takes this root node out of the tree; returns the new root or the null
    // object.
    virtual Ref<TTreeNode> UnlinkRoot();
    // The node for `key` in this subtree, created as a leaf when missing. An
    // existing node takes the given key object.
    virtual Ref<TTreeNode> InsertKey(const Ref<Object>& key);
    // Hangs the detached subtree `sub` below this node by its root key.
    virtual void Attach(const Ref<TTreeNode>& sub);

    // The node's place in the tree: the null object for a missing parent
    // (the root) or subtree.
    Ref<TTreeNode> Parent() const noexcept { return parent_; }
    Ref<TTreeNode> Left() const noexcept { return left_; }
    Ref<TTreeNode> Right() const noexcept { return right_; }

private:
    friend class TTreeMap;
    friend class TTreeCursor;
    TTreeNode() = default;

    // The in-order successor, or null.
    TTreeNode* Successor() noexcept;

    Ref<Object> key_;
    Ref<Object> value_;
    Ref<TTreeNode> parent_;
    Ref<TTreeNode> left_;
    Ref<TTreeNode> right_;
};

// An in-order walk over the nodes of a map.
class TTreeCursor : public Object {
public:
    explicit TTreeCursor(Ref<TTreeNode> node) : node_(std::move(node)) {}

    // 1 while there is a node to yield.
    virtual int HasMore();
    // The current item (here the node itself), then moves to the node with
    // the next greater key. At the end it returns the null object.
    virtual Ref<Object> NextValue();

protected:
    // The node to yield next; moves the cursor on. Null at the end.
    Ref<TTreeNode> Advance();

private:
    Ref<TTreeNode> node_;
};

// A walk that yields the keys.
class TTreeKeyCursor : public TTreeCursor {
public:
    using TTreeCursor::TTreeCursor;
    Ref<Object> NextValue() override;
};

// A walk that yields the values.
class TTreeValueCursor : public TTreeCursor {
public:
    using TTreeCursor::TTreeCursor;
    Ref<Object> NextValue() override;
};

// Wraps a cursor so the keys or values of a map can be walked like any
// collection.
class TTreeEnumeration : public Object {
public:
    explicit TTreeEnumeration(Ref<TTreeCursor> cursor) : cursor_(std::move(cursor)) {}
    // The wrapped cursor.
    virtual Ref<TTreeCursor> Enumerate();

private:
    Ref<TTreeCursor> cursor_;
};

class TTreeMap : public Object {
public:
    TTreeMap() = default;
    ~TTreeMap() override;

    // Removes every entry.
    virtual void Clear();
    // The node with the smallest key, or the null object.
    virtual Ref<TTreeNode> FirstNode();
    // The node with `key`, or the null object.
    virtual Ref<TTreeNode> FindNode(const Ref<Object>& key);
    // The value stored for `key`, or the null object.
    virtual Ref<Object> ValueForKey(const Ref<Object>& key);
    // Removes the entry with `key`; nothing when there is none.
    virtual void Remove(const Ref<Object>& key);
    // Stores `value` for `key` and returns its node. An existing entry keeps
    // its node and takes the new key object and value.
    virtual Ref<TTreeNode> Insert(const Ref<Object>& key, const Ref<Object>& value);
    // The keys / values in ascending key order.
    virtual Ref<TTreeEnumeration> Keys();
    virtual Ref<TTreeEnumeration> Values();
    // A walk over the nodes in ascending key order.
    virtual Ref<TTreeCursor> Enumerate();

    // Range-for over the values, through Values().
    detail::CursorIterator<TTreeCursor> begin() { return detail::CursorIterator<TTreeCursor>(Values()->Enumerate()); }
    detail::CursorIterator<TTreeCursor> end() { return {}; }

private:
    Ref<TTreeNode> root_;
};

// Range-for straight over a Ref; the null object raises TNullObjectFault.
inline detail::CursorIterator<TTreeCursor> begin(const Ref<TTreeMap>& map) { return map->begin(); }
inline detail::CursorIterator<TTreeCursor> end(const Ref<TTreeMap>& map) { return map->end(); }

// The module's initialiser ("ordered map").
int InitOrderedMap();

}  // namespace korva
