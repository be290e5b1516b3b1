// The libraries a script engine opens, and the memory ceiling of its
// interpreter; private to the script subsystem.
#pragma once

#include <cstddef>
#include <cstdint>

struct lua_State;

namespace korva::detail {

// Opens the libraries of an engine with `powers` (SCRIPT_POWER_...) in L,
// each recorded as loaded. Every loader a script has is text-only. Raises a
// Lua error when memory runs out: call it inside a protected call.
void OpenScriptLibraries(lua_State* L, int32_t powers);

// A limit on the bytes an interpreter holds. It is in force only while
// armed: the engine arms it around the script code it runs, and disarms it
// for its own steps and for what host functions push, which therefore never
// fail for want of memory.
class TMemoryCeiling {
public:
    // Puts a ceiling of `limit` bytes on L, disarmed; what L holds already
    // counts. Remove it after closing L.
    static TMemoryCeiling* Install(lua_State* L, int64_t limit);
    // The ceiling of L (any of its threads), or null.
    static TMemoryCeiling* Of(lua_State* L);

    int64_t Limit() const { return limit_; }
    int64_t Used() const { return used_; }

private:
    friend class TCeilingScope;
    static void* Allocate(void* self, void* block, size_t oldSize, size_t newSize);

    int64_t limit_ = 0;
    int64_t used_ = 0;
    bool armed_ = false;
    void* (*inner_)(void*, void*, size_t, size_t) = nullptr;
    void* innerData_ = nullptr;
};

// Arms or disarms the ceiling of L (if it has one) for a scope, then puts
// back what was before.
class TCeilingScope {
public:
    TCeilingScope(lua_State* L, bool armed);
    ~TCeilingScope() { Restore(); }
    TCeilingScope(const TCeilingScope&) = delete;
    TCeilingScope& operator=(const TCeilingScope&) = delete;
    // Puts back the earlier state now (before the interpreter may close).
    void Restore();

private:
    TMemoryCeiling* ceiling_;
    bool was_ = false;
};

}  // namespace korva::detail
