// KorvaGL: range-for over the values of a container, through its cursor.
#pragma once

#include <cstddef>
#include <iterator>
#include <utility>

#include "korvagl/app/object.h"

namespace korva::detail {

// An input iterator over the values a cursor yields (HasMore, NextValue).
// The cursor is one value ahead of the iterator, and the walk follows the
// cursor's own rules, so changing the container inside the loop is exactly
// as safe as it is during a cursor walk. The end iterator holds no cursor.
template <typename Cursor>
class CursorIterator {
public:
    using iterator_category = std::input_iterator_tag;
    using value_type = Ref<Object>;
    using difference_type = std::ptrdiff_t;
    using pointer = const Ref<Object>*;
    using reference = const Ref<Object>&;

    CursorIterator() = default;
    explicit CursorIterator(Ref<Cursor> cursor) : cursor_(std::move(cursor)) { Advance(); }

    reference operator*() const noexcept { return value_; }
    pointer operator->() const noexcept { return &value_; }
    CursorIterator& operator++() {
        Advance();
        return *this;
    }
    void operator++(int) { Advance(); }
    // Only "at the end or not" is told apart, which is all a loop asks.
    bool operator==(const CursorIterator& other) const noexcept { return cursor_.IsNull() == other.cursor_.IsNull(); }

private:
    void Advance() {
        if (cursor_ && cursor_->HasMore()) {
            value_ = cursor_->NextValue();
        } else {
            cursor_ = nullptr;
            value_ = nullptr;
        }
    }

    Ref<Cursor> cursor_;
    Ref<Object> value_;
};

}  // namespace korva::detail
