// The root object, faults and boxed text.
#include "korvagl/app/object.h"

#include <cstdio>
#include <typeinfo>

namespace korva {

String Object::ToString() const {
    char text[32];
    std::snprintf(text, sizeof text, "%p", static_cast<const void*>(this));
    return String(text);
}

void Object::LastReleased() const noexcept {
    if (counted_) delete this;
}

int Object::Compare(const Object& other) const {
    const auto a = reinterpret_cast<uintptr_t>(this);
    const auto b = reinterpret_cast<uintptr_t>(&other);
    return a < b ? -1 : (a > b ? 1 : 0);
}

int CompareObjects(const Object* a, const Object* b) {
    if (a == nullptr || b == nullptr) return (a != nullptr) - (b != nullptr);
    return a->Compare(*b);
}

int TStringObject::Compare(const Object& other) const {
    // The class is final, so an exact type test stands in for a costlier dynamic_cast.
    if (typeid(other) == typeid(TStringObject)) return text.Compare(static_cast<const TStringObject&>(other).text);
    return Object::Compare(other);
}

Ref<TStringObject> BoxString(const String& text) { return New<TStringObject>(text); }

String UnboxString(const Ref<Object>& object) {
    const auto* box = dynamic_cast<const TStringObject*>(object.Get());
    return box ? box->text : String();
}

void RaiseRuntimeError(const String& text) { throw TRuntimeError(text); }
void RaiseNullObjectFault() { throw TNullObjectFault(); }
void RaiseAbstractMethodFault() { throw TAbstractMethodFault(); }
void RaiseArrayIndexFault() { throw TArrayIndexFault(); }

}  // namespace korva
