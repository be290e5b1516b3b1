// An object that counts its living instances and orders by a number, for
// checking that containers release what they hold.
#pragma once

#include "korvagl/app/object.h"

namespace korva::test {

class TCounted : public Object {
public:
    explicit TCounted(int number = 0) : number(number) { ++alive; }
    ~TCounted() override { --alive; }
    int Compare(const Object& other) const override {
        if (const auto* counted = dynamic_cast<const TCounted*>(&other)) {
            return (number > counted->number) - (number < counted->number);
        }
        return Object::Compare(other);
    }
    const int number;
    static inline int alive = 0;
};

inline Ref<Object> Counted(int number) { return New<TCounted>(number); }

inline int NumberOf(const Ref<Object>& object) {
    const auto counted = DownCast<TCounted>(object);
    return counted ? counted->number : -1;
}

}  // namespace korva::test
