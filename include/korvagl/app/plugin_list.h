// KorvaGL: the one shape of every plugin registry (stream openers, pixmap,
// font and sample decoders).
#pragma once

#include "korvagl/app/faults.h"
#include "korvagl/app/object.h"

namespace korva {

// Plugins of class T, linked through T's `next` field (a Ref<T>) and asked
// newest first. An entry that is linked already, into this registry or
// another, is ignored: linking it again would close the list into a ring.
// Entries are never removed. The registry holds its head without a
// destructor, so that it still works for code that runs at process exit
// after the static destructors.
template <typename T>
class TPluginList {
public:
    constexpr TPluginList() noexcept = default;
    TPluginList(const TPluginList&) = delete;
    TPluginList& operator=(const TPluginList&) = delete;

    // Links `entry` in at the head; false when it was ignored. Safe in T's
    // constructor. Raises TNullObjectFault for a null entry.
    bool Add(T* entry) {
        if (!entry) RaiseNullObjectFault();
        if (entry->next) return false;
        for (T* linked = head_; linked; linked = linked->next.Get()) {
            if (linked == entry) return false;
        }
        entry->next = Ref<T>(head_);
        if (head_) head_->Release();  // the new entry's link holds it now
        entry->Retain();
        head_ = entry;
        return true;
    }
    bool Add(const Ref<T>& entry) { return Add(entry.Get()); }

    // The newest entry; follow `next` for the older ones.
    Ref<T> Head() const noexcept { return Ref<T>(head_); }

private:
    T* head_ = nullptr;  // one reference
};

}  // namespace korva
