// Integer handles: a two-way table, handles counted up from 1, never reused.
#include "korvagl/app/handles.h"

#include <unordered_map>

namespace korva {
namespace {

struct HandleTable {
    std::unordered_map<int32_t, Ref<Object>> objects;
    std::unordered_map<const Object*, int32_t> handles;
    int32_t last = 0;
};

HandleTable& Table() {
    static HandleTable* table = new HandleTable;  // lives until the process ends
    return *table;
}

}  // namespace

int32_t ObjectToHandle(const Ref<Object>& object) {
    if (object.IsNull()) return 0;
    HandleTable& table = Table();
    auto found = table.handles.find(object.Get());
    if (found != table.handles.end()) return found->second;
    const int32_t handle = ++table.last;
    table.objects.emplace(handle, object);
    table.handles.emplace(object.Get(), handle);
    return handle;
}

Ref<Object> HandleToObject(int32_t handle) {
    HandleTable& table = Table();
    auto found = table.objects.find(handle);
    return found == table.objects.end() ? Ref<Object>() : found->second;
}

void ReleaseHandle(int32_t handle) {
    HandleTable& table = Table();
    auto found = table.objects.find(handle);
    if (found == table.objects.end()) return;
    Ref<Object> object = std::move(found->second);
    table.objects.erase(found);
    table.handles.erase(object.Get());
}

}  // namespace korva
