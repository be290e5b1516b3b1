// KorvaGL: the object model.
//
// Object is the root of every framework class. It carries an intrusive,
// atomic reference count and the two operations every object has: ToString()
// and Compare(). Ref<T> holds one counted reference; an empty Ref is the null
// object. An object is destroyed when its last Ref goes away.
//
// Using the null object where an object is needed raises TNullObjectFault:
// Ref's -> and * check before they dereference. Functions whose contract is
// to return the null object on a soft failure return an empty Ref.
//
// Objects are made with New<T>(...), which puts them on the heap and hands
// them to reference counting. A Ref may be built from a raw pointer to such
// an object at any time (the count is intrusive). An object made any other
// way (on the stack, as a member, in a std::unique_ptr, by plain new) belongs
// to whoever made it: Refs to it count, but never delete it, so a temporary
// Ref such as ScriptEngineOf(L) gives for a stack engine is harmless. Such an
// object must outlive every Ref to it.
#pragma once

#include <atomic>
#include <cstdint>
#include <type_traits>
#include <utility>
#include <vector>

#include "korvagl/app/faults.h"
#include "korvagl/app/string.h"

namespace korva {

template <typename T>
class Ref;
namespace detail {
template <typename T>
Ref<T> AdoptNew(T* fresh) noexcept;
}  // namespace detail

class Object {
public:
    Object() noexcept = default;
    // Copying an object's fields never copies its reference count or owner.
    Object(const Object&) noexcept {}
    Object& operator=(const Object&) noexcept { return *this; }
    virtual ~Object() = default;

    // The object's address, formatted as "%p" formats it.
    virtual String ToString() const;
    // Negative, 0 or positive. Plain objects order by address, so only the
    // same object is equal; classes with contents override this.
    virtual int Compare(const Object& other) const;

    void Retain() const noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }
    void Release() const noexcept {
        if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) LastReleased();
    }
    int32_t RefCount() const noexcept { return refs_.load(std::memory_order_relaxed); }

private:
    template <typename T>
    friend Ref<T> detail::AdoptNew(T* fresh) noexcept;

    // Deletes the object if New made it. Out of line: only the last release
    // pays for the call, and the compiler never sees a delete of an object
    // that may live on the stack.
    void LastReleased() const noexcept;

    mutable std::atomic<int32_t> refs_{0};
    // Set once by New before the object is shared; read only after the last
    // release, so Retain and Release cost what they cost without it. It sits
    // in the padding after the count: objects grow by nothing.
    bool counted_ = false;
};

template <typename T>
class Ref {
public:
    Ref() noexcept : ptr_(nullptr) {}
    Ref(std::nullptr_t) noexcept : ptr_(nullptr) {}
    Ref(T* object) noexcept : ptr_(object) {
        if (ptr_) ptr_->Retain();
    }
    Ref(const Ref& other) noexcept : Ref(other.ptr_) {}
    Ref(Ref&& other) noexcept : ptr_(std::exchange(other.ptr_, nullptr)) {}
    template <typename U, typename = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    Ref(const Ref<U>& other) noexcept : Ref(other.Get()) {}
    template <typename U, typename = std::enable_if_t<std::is_convertible_v<U*, T*>>>
    Ref(Ref<U>&& other) noexcept : ptr_(other.Detach()) {}
    ~Ref() {
        if (ptr_) ptr_->Release();
    }

    Ref& operator=(const Ref& other) noexcept {
        Ref(other).Swap(*this);
        return *this;
    }
    Ref& operator=(Ref&& other) noexcept {
        Ref(std::move(other)).Swap(*this);
        return *this;
    }

    // Raises TNullObjectFault on the null object.
    T* operator->() const {
        if (!ptr_) RaiseNullObjectFault();
        return ptr_;
    }
    T& operator*() const {
        if (!ptr_) RaiseNullObjectFault();
        return *ptr_;
    }

    T* Get() const noexcept { return ptr_; }
    bool IsNull() const noexcept { return ptr_ == nullptr; }
    explicit operator bool() const noexcept { return ptr_ != nullptr; }
    void Swap(Ref& other) noexcept { std::swap(ptr_, other.ptr_); }
    // Gives up the reference without releasing it.
    T* Detach() noexcept { return std::exchange(ptr_, nullptr); }

    // Identity, as the null tests of the framework compare.
    template <typename U>
    bool operator==(const Ref<U>& other) const noexcept {
        return static_cast<const Object*>(ptr_) == static_cast<const Object*>(other.Get());
    }
    bool operator==(std::nullptr_t) const noexcept { return ptr_ == nullptr; }

private:
    T* ptr_;
};

namespace detail {
// Hands an object fresh from `new` to reference counting: its last Ref will
// delete it. For the framework's classes whose constructors New cannot reach.
template <typename T>
Ref<T> AdoptNew(T* fresh) noexcept {
    const_cast<Object*>(static_cast<const Object*>(fresh))->counted_ = true;
    return Ref<T>(fresh);
}
}  // namespace detail

// Makes a new object on the heap and returns the first reference to it; the
// last reference deletes it.
template <typename T, typename... Args>
Ref<T> New(Args&&... args) {
    return detail::AdoptNew(new T(std::forward<Args>(args)...));
}

// Checked downcast: the object when it is a T or derives from T, else the
// null object.
template <typename T, typename U>
Ref<T> DownCast(const Ref<U>& object) noexcept {
    return Ref<T>(dynamic_cast<T*>(object.Get()));
}

// Compares two possibly-null objects: the null object equals only the null
// object and sorts before everything else; otherwise a.Compare(b).
int CompareObjects(const Object* a, const Object* b);
template <typename A, typename B>
int CompareObjects(const Ref<A>& a, const Ref<B>& b) {
    return CompareObjects(static_cast<const Object*>(a.Get()), static_cast<const Object*>(b.Get()));
}

// Text held where an object is needed (list values, map keys, script
// arguments). Compares by text with other boxed strings.
class TStringObject final : public Object {
public:
    explicit TStringObject(const String& text) : text(text) {}
    String ToString() const override { return text; }
    int Compare(const Object& other) const override;
    const String text;
};

Ref<TStringObject> BoxString(const String& text);
// The text of a boxed string; the empty string for anything else.
String UnboxString(const Ref<Object>& object);

// The framework's arrays. New elements are zero, the empty string or the
// null object.
using ByteArray = std::vector<uint8_t>;
using StringArray = std::vector<String>;
using ObjectArray = std::vector<Ref<Object>>;

}  // namespace korva
