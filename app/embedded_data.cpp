// The embedded-data registry: a list searched newest first.
#include "korvagl/app/embedded_data.h"

#include <vector>

namespace korva {
namespace {

struct Entry {
    String name;
    const void* data;
    int32_t length;
};

std::vector<Entry>& Entries() {
    static auto* entries = new std::vector<Entry>;  // entries live for the whole process
    return *entries;
}

const Entry* Find(const String& name) {
    const auto& entries = Entries();
    for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
        if (it->name == name) return &*it;
    }
    return nullptr;
}

}  // namespace

int RegisterEmbeddedData(const String& name, const void* data, int32_t length) {
    Entries().push_back({name, data, length});
    return 1;
}

const void* EmbeddedDataAddress(const String& name) {
    const Entry* entry = Find(name);
    return entry ? entry->data : nullptr;
}

int32_t EmbeddedDataLength(const String& name) {
    const Entry* entry = Find(name);
    return entry ? entry->length : 0;
}

}  // namespace korva
