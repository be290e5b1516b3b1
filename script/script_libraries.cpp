// What a script sees: the standard libraries an engine's powers allow, with
// loaders that take source text only, and the allocator that holds an
// interpreter to its memory ceiling.
//
// Precompiled chunks are never loaded: Lua does not check them, and a
// crafted one takes the host process over. So load, loadfile and dofile are
// the engine's own, with the binary mode taken out of whatever mode a script
// asks for.
#include "script/script_libraries.h"

#include <lua.hpp>

#include <cstring>
#include <initializer_list>

#include "korvagl/script/script_engine.h"

namespace korva::detail {

namespace {

// The stack slot in which load keeps the piece its reader function returned.
constexpr int kPieceSlot = 5;

// The mode a script asked for at `index`, without binary chunks: "t" when it
// allows text, else "" (which refuses every chunk).
const char* TextMode(lua_State* L, int index) {
    return std::strchr(luaL_optstring(L, index, "bt"), 't') ? "t" : "";
}

// The chunk, with `env` (a stack index, 0 for none) as its first upvalue; or
// fail and the message, as the standard loaders return them.
int LoadResult(lua_State* L, int status, int env) {
    if (status == LUA_OK) {
        if (env != 0) {
            lua_pushvalue(L, env);
            if (!lua_setupvalue(L, -2, 1)) lua_pop(L, 1);
        }
        return 1;
    }
    luaL_pushfail(L);
    lua_insert(L, -2);
    return 2;
}

// Each call of load's reader function gives the next piece; nil or an empty
// string ends the chunk.
const char* NextPiece(lua_State* L, void*, size_t* size) {
    luaL_checkstack(L, 2, "too many nested functions");
    lua_pushvalue(L, 1);
    lua_call(L, 0, 1);
    if (lua_isnil(L, -1)) {
        lua_pop(L, 1);
        *size = 0;
        return nullptr;
    }
    if (!lua_isstring(L, -1)) luaL_error(L, "reader function must return a string");
    lua_replace(L, kPieceSlot);
    return lua_tolstring(L, kPieceSlot, size);
}

// load(chunk [, chunkname [, mode [, env]]])
int Load(lua_State* L) {
    size_t length = 0;
    const char* text = lua_tolstring(L, 1, &length);
    const char* mode = TextMode(L, 3);
    const int env = lua_isnone(L, 4) ? 0 : 4;
    int status;
    if (text) {
        status = luaL_loadbufferx(L, text, length, luaL_optstring(L, 2, text), mode);
    } else {
        const char* name = luaL_optstring(L, 2, "=(load)");
        luaL_checktype(L, 1, LUA_TFUNCTION);
        lua_settop(L, kPieceSlot);
        status = lua_load(L, NextPiece, nullptr, name, mode);
    }
    return LoadResult(L, status, env);
}

// loadfile([filename [, mode [, env]]])
int LoadFile(lua_State* L) {
    const char* name = luaL_optstring(L, 1, nullptr);
    const char* mode = TextMode(L, 2);
    const int env = lua_isnone(L, 3) ? 0 : 3;
    return LoadResult(L, luaL_loadfilex(L, name, mode), env);
}

int DoFileDone(lua_State* L, int, lua_KContext) { return lua_gettop(L) - 1; }

// dofile([filename]): runs the file's chunk and returns all its results.
int DoFile(lua_State* L) {
    const char* name = luaL_optstring(L, 1, nullptr);
    lua_settop(L, 1);
    if (luaL_loadfilex(L, name, "t") != LUA_OK) return lua_error(L);
    lua_callk(L, 0, LUA_MULTRET, 0, DoFileDone);
    return DoFileDone(L, 0, 0);
}

// setmetatable(t, mt) without finalizers: a __gc metamethod runs where no
// hook can stop it (inside the collector, and when the engine stops).
int SetMetatable(lua_State* L) {
    const int kind = lua_type(L, 2);
    luaL_checktype(L, 1, LUA_TTABLE);
    luaL_argexpected(L, kind == LUA_TNIL || kind == LUA_TTABLE, 2, "nil or table");
    if (luaL_getmetafield(L, 1, "__metatable") != LUA_TNIL) return luaL_error(L, "cannot change a protected metatable");
    if (kind == LUA_TTABLE) {
        lua_pushliteral(L, "__gc");
        if (lua_rawget(L, 2) != LUA_TNIL) return luaL_error(L, "finalizers (__gc) are not allowed in this engine");
        lua_pop(L, 1);
    }
    lua_settop(L, 2);
    lua_setmetatable(L, 1);
    return 1;
}

// collectgarbage with the options that only look or collect; stopping the
// collector or retuning it would let garbage pile up against the ceiling.
int CollectGarbage(lua_State* L) {
    static const char* const options[] = {"collect", "count", "step", "isrunning", nullptr};
    luaL_checkoption(L, 1, "collect", options);
    lua_pushvalue(L, lua_upvalueindex(1));
    lua_insert(L, 1);
    lua_call(L, lua_gettop(L) - 1, LUA_MULTRET);
    return lua_gettop(L);
}

// Sets the fields `names` of the table on top to nil.
void Remove(lua_State* L, std::initializer_list<const char*> names) {
    for (const char* name : names) {
        lua_pushnil(L);
        lua_setfield(L, -2, name);
    }
}

}  // namespace

void OpenScriptLibraries(lua_State* L, int32_t powers) {
    const luaL_Reg libraries[] = {
        {LUA_GNAME, luaopen_base},
        {LUA_COLIBNAME, luaopen_coroutine},
        {LUA_TABLIBNAME, luaopen_table},
        {LUA_IOLIBNAME, (powers & SCRIPT_POWER_IO) ? luaopen_io : nullptr},
        {LUA_OSLIBNAME, luaopen_os},
        {LUA_STRLIBNAME, luaopen_string},
        {LUA_MATHLIBNAME, luaopen_math},
    };
    for (const luaL_Reg& library : libraries) {
        if (!library.func) continue;
        luaL_requiref(L, library.name, library.func, 1);
        lua_pop(L, 1);
    }

    lua_pushglobaltable(L);
    lua_pushcfunction(L, Load);
    lua_setfield(L, -2, "load");
    if (powers & SCRIPT_POWER_FILES) {
        lua_pushcfunction(L, LoadFile);
        lua_setfield(L, -2, "loadfile");
        lua_pushcfunction(L, DoFile);
        lua_setfield(L, -2, "dofile");
    } else {
        Remove(L, {"loadfile", "dofile"});
    }
    if (!(powers & SCRIPT_POWER_GC)) {
        lua_pushcfunction(L, SetMetatable);
        lua_setfield(L, -2, "setmetatable");
        lua_getfield(L, -1, "collectgarbage");
        lua_pushcclosure(L, CollectGarbage, 1);
        lua_setfield(L, -2, "collectgarbage");
    }
    if (!(powers & SCRIPT_POWER_OS)) {
        // What is left of os tells the time.
        lua_getfield(L, -1, LUA_OSLIBNAME);
        Remove(L, {"execute", "remove", "rename", "exit", "getenv", "tmpname", "setlocale"});
        lua_pop(L, 1);
    }
    lua_pop(L, 1);
}

// ---- the memory ceiling ----

TMemoryCeiling* TMemoryCeiling::Install(lua_State* L, int64_t limit) {
    auto* ceiling = new TMemoryCeiling;
    ceiling->limit_ = limit;
    ceiling->inner_ = lua_getallocf(L, &ceiling->innerData_);
    ceiling->used_ = int64_t{lua_gc(L, LUA_GCCOUNT, 0)} * 1024 + lua_gc(L, LUA_GCCOUNTB, 0);
    lua_setallocf(L, Allocate, ceiling);
    return ceiling;
}

TMemoryCeiling* TMemoryCeiling::Of(lua_State* L) {
    void* data = nullptr;
    return lua_getallocf(L, &data) == Allocate ? static_cast<TMemoryCeiling*>(data) : nullptr;
}

// Lua's allocator contract: a null block is new (its old size is a type
// tag), a new size of 0 frees. Only growth is refused, and only while armed;
// Lua answers a refusal with a full collection and one more try, then a
// memory error.
void* TMemoryCeiling::Allocate(void* self, void* block, size_t oldSize, size_t newSize) {
    auto* ceiling = static_cast<TMemoryCeiling*>(self);
    const auto held = static_cast<int64_t>(block ? oldSize : 0);
    const auto wanted = static_cast<int64_t>(newSize);
    if (ceiling->armed_ && wanted > held && ceiling->used_ - held + wanted > ceiling->limit_) return nullptr;
    void* moved = ceiling->inner_(ceiling->innerData_, block, oldSize, newSize);
    if (moved || newSize == 0) ceiling->used_ += wanted - held;
    return moved;
}

TCeilingScope::TCeilingScope(lua_State* L, bool armed) : ceiling_(L ? TMemoryCeiling::Of(L) : nullptr) {
    if (!ceiling_) return;
    was_ = ceiling_->armed_;
    ceiling_->armed_ = armed;
}

void TCeilingScope::Restore() {
    if (ceiling_) ceiling_->armed_ = was_;
    ceiling_ = nullptr;
}

}  // namespace korva::detail
