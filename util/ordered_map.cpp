// The ordered map: an unbalanced binary search tree with parent links.
//
// A child refers to its parent and the parent to the child, so the tree is a
// web of reference cycles. Clearing the map drops every parent reference
// first (ClearLinks), which leaves a tree owned from the root down; removing a
// node clears its links. Walks and releases are loops, never recursion, since
// sorted insertions make the tree a chain as deep as the map is large.
#include "korvagl/util/ordered_map.h"

#include <vector>

#include "korvagl/app/modules.h"

namespace korva {

// ---------------------------------------------------------------------------
// TTreeNode

TTreeNode::~TTreeNode() {
    // Release the subtrees in a loop, taking over the children of every node
    // whose last reference is ours, so a deep chain cannot exhaust the stack.
    if (!left_ && !right_) return;
    std::vector<Ref<TTreeNode>> pending;
    pending.push_back(std::move(left_));
    pending.push_back(std::move(right_));
    while (!pending.empty()) {
        Ref<TTreeNode> node = std::move(pending.back());
        pending.pop_back();
        if (node && node->RefCount() == 1) {
            pending.push_back(std::move(node->left_));
            pending.push_back(std::move(node->right_));
        }
    }
}

Ref<Object> TTreeNode::Key() { return key_; }

Ref<Object> TTreeNode::Value() { return value_; }

Ref<TTreeNode> TTreeNode::FindNode(const Ref<Object>& key) {
    TTreeNode* node = this;
    while (node) {
        const int c = CompareObjects(key, node->key_);
        if (c == 0) return Ref<TTreeNode>(node);
        node = (c < 0 ? node->left_ : node->right_).Get();
    }
    return nullptr;
}

void TTreeNode::ClearLinks() {
    // The nodes below stay owned through the child links, which this keeps.
    std::vector<TTreeNode*> pending{this};
    while (!pending.empty()) {
        TTreeNode* node = pending.back();
        pending.pop_back();
        node->parent_ = nullptr;
        if (node->left_) pending.push_back(node->left_.Get());
        if (node->right_) pending.push_back(node->right_.Get());
    }
}

void TTreeNode::Unlink() {
    if (!parent_) return;
    const Ref<TTreeNode> self(this);  // the parent may hold the only reference
    const Ref<TTreeNode> parent = parent_;
    if (parent->left_ != self && parent->right_ != self) return;
    const Ref<TTreeNode> left = std::move(left_);
    const Ref<TTreeNode> right = std::move(right_);
    if (parent->left_ == self) {
        // The left child takes this node's place; the right subtree goes below
        // the rightmost node of the left one.
        if (left) {
            parent->left_ = left;
            left->parent_ = parent;
            if (right) {
                right->parent_ = nullptr;
                left->Attach(right);
            }
        } else {
            parent->left_ = right;
            if (right) right->parent_ = parent;
        }
    } else {
        if (right) {
            parent->right_ = right;
            right->parent_ = parent;
            if (left) {
                left->parent_ = nullptr;
                right->Attach(left);
            }
        } else {
            parent->right_ = left;
            if (left) left->parent_ = parent;
        }
    }
    parent_ = nullptr;
}

Ref<TTreeNode> TTreeNode::UnlinkRoot() {
    const Ref<TTreeNode> self(this);
    Ref<TTreeNode> left = std::move(left_);
    Ref<TTreeNode> right = std::move(right_);
    parent_ = nullptr;
    if (left) {
        left->parent_ = nullptr;
        if (right) {
            right->parent_ = nullptr;
            left->Attach(right);
        }
        return left;
    }
    if (right) right->parent_ = nullptr;
    return right;
}

Ref<TTreeNode> TTreeNode::InsertKey(const Ref<Object>& key) {
    TTreeNode* node = this;
    for (;;) {
        const int c = CompareObjects(key, node->key_);
        if (c == 0) {
            node->key_ = key;
            return Ref<TTreeNode>(node);
        }
        Ref<TTreeNode>& child = c < 0 ? node->left_ : node->right_;
        if (!child) {
            child = detail::AdoptNew(new TTreeNode());
            child->key_ = key;
            child->parent_ = Ref<TTreeNode>(node);
            return child;
        }
        node = child.Get();
    }
}

void TTreeNode::Attach(const Ref<TTreeNode>& sub) {
    // Only a detached subtree that does not hold this node may be hung here;
    // anything else would tie the tree into a loop.
    if (sub->parent_) RaiseRuntimeError("Tree node is already in a tree");
    for (TTreeNode* up = this; up; up = up->parent_.Get()) {
        if (up == sub.Get()) RaiseRuntimeError("Tree node is already in a tree");
    }
    TTreeNode* node = this;
    for (;;) {
        // Keys in a tree are unique, so 0 only comes from an inconsistent
        // Compare; the subtree then goes right rather than being lost.
        const int c = CompareObjects(sub->key_, node->key_);
        Ref<TTreeNode>& child = c < 0 ? node->left_ : node->right_;
        if (!child) {
            child = sub;
            sub->parent_ = Ref<TTreeNode>(node);
            return;
        }
        node = child.Get();
    }
}

TTreeNode* TTreeNode::Successor() noexcept {
    TTreeNode* node = this;
    if (node->right_) {
        node = node->right_.Get();
        while (node->left_) node = node->left_.Get();
        return node;
    }
    while (node->parent_ && node->parent_->right_.Get() == node) node = node->parent_.Get();
    return node->parent_.Get();
}

// ---------------------------------------------------------------------------
// Cursors

int TTreeCursor::HasMore() { return node_ ? 1 : 0; }

Ref<TTreeNode> TTreeCursor::Advance() {
    if (!node_) return nullptr;
    Ref<TTreeNode> current = std::move(node_);
    node_ = Ref<TTreeNode>(current->Successor());
    return current;
}

Ref<Object> TTreeCursor::NextValue() { return Advance(); }

Ref<Object> TTreeKeyCursor::NextValue() {
    const Ref<TTreeNode> node = Advance();
    return node ? node->Key() : nullptr;
}

Ref<Object> TTreeValueCursor::NextValue() {
    const Ref<TTreeNode> node = Advance();
    return node ? node->Value() : nullptr;
}

Ref<TTreeCursor> TTreeEnumeration::Enumerate() { return cursor_; }

// ---------------------------------------------------------------------------
// TTreeMap

TTreeMap::~TTreeMap() { Clear(); }

void TTreeMap::Clear() {
    if (!root_) return;
    root_->ClearLinks();
    root_ = nullptr;
}

Ref<TTreeNode> TTreeMap::FirstNode() {
    TTreeNode* node = root_.Get();
    if (!node) return nullptr;
    while (node->left_) node = node->left_.Get();
    return Ref<TTreeNode>(node);
}

Ref<TTreeNode> TTreeMap::FindNode(const Ref<Object>& key) {
    return root_ ? root_->FindNode(key) : nullptr;
}

Ref<Object> TTreeMap::ValueForKey(const Ref<Object>& key) {
    const Ref<TTreeNode> node = FindNode(key);
    return node ? node->value_ : nullptr;
}

void TTreeMap::Remove(const Ref<Object>& key) {
    const Ref<TTreeNode> node = FindNode(key);
    if (!node) return;
    if (node == root_) {
        root_ = root_->UnlinkRoot();
    } else {
        node->Unlink();
    }
}

Ref<TTreeNode> TTreeMap::Insert(const Ref<Object>& key, const Ref<Object>& value) {
    Ref<TTreeNode> node;
    if (!root_) {
        root_ = detail::AdoptNew(new TTreeNode());
        root_->key_ = key;
        node = root_;
    } else {
        node = root_->InsertKey(key);
    }
    node->value_ = value;
    return node;
}

Ref<TTreeEnumeration> TTreeMap::Keys() {
    return New<TTreeEnumeration>(New<TTreeKeyCursor>(FirstNode()));
}

Ref<TTreeEnumeration> TTreeMap::Values() {
    return New<TTreeEnumeration>(New<TTreeValueCursor>(FirstNode()));
}

Ref<TTreeCursor> TTreeMap::Enumerate() { return New<TTreeCursor>(FirstNode()); }

int InitOrderedMap() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    detail::NoteModuleStarted("ordered map");
    return 0;
}

}  // namespace korva
