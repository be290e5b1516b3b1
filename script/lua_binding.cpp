// The Lua binding: stack helpers, argument checks, and the guard that every
// host function runs behind.
//
// Lua raises errors with longjmp, which skips C++ destructors, and a C++
// exception must not travel through Lua's C frames. The guard keeps the two
// apart: C++ failures become Lua errors at the guard, and argument checks made
// inside a guarded function become C++ exceptions until they reach it.
#include "korvagl/script/lua_binding.h"

#include <lua.hpp>

#include <climits>
#include <cmath>
#include <exception>
#include <string>

#include "korvagl/app/faults.h"
#include "korvagl/app/modules.h"

namespace korva {
namespace {

// A failed argument check inside a guarded host function, on its way to the
// guard. Deliberately not a std::exception, so a host function's own handlers
// for faults let it pass.
struct ArgumentFailure {
    int index;
    std::string detail;  // "number expected, got string"
};

int CallHostFunction(lua_State* L);

// True when the function running on L is a guarded host function.
bool InsideGuard(lua_State* L) {
    lua_Debug ar;
    if (!lua_getstack(L, 0, &ar) || !lua_checkstack(L, 1)) return false;
    lua_getinfo(L, "f", &ar);
    const bool guarded = lua_tocfunction(L, -1) == CallHostFunction;
    lua_pop(L, 1);
    return guarded;
}

// "<expected> expected, got <kind>", the way Lua's own checks say it.
std::string TypeMismatch(lua_State* L, int index, const char* expected) {
    index = lua_absindex(L, index);
    std::string got;
    if (lua_checkstack(L, 2)) {
        const int kind = luaL_getmetafield(L, index, "__name");
        if (kind == LUA_TSTRING) got = lua_tostring(L, -1);
        if (kind != LUA_TNIL) lua_pop(L, 1);
    }
    if (got.empty()) got = lua_type(L, index) == LUA_TLIGHTUSERDATA ? "light userdata" : luaL_typename(L, index);
    return std::string(expected) + " expected, got " + got;
}

// Fails an argument check: through the guard when one is running, else as
// Lua's own checks fail. Does not return.
void FailArgument(lua_State* L, int index, const char* expected) {
    if (InsideGuard(L)) throw ArgumentFailure{index, TypeMismatch(L, index, expected)};
    luaL_typeerror(L, index, expected);
}

int PushText(lua_State* L) {
    lua_pushstring(L, static_cast<const char*>(lua_touserdata(L, 1)));
    return 1;
}

// Pushes a copy of `text` without raising: a memory error leaves its own
// message in its place.
void PushMessage(lua_State* L, const char* text) {
    if (!lua_checkstack(L, 2)) lua_settop(L, 0);
    lua_pushcfunction(L, PushText);
    lua_pushlightuserdata(L, const_cast<char*>(text));
    lua_pcall(L, 1, 1, 0);
}

// The guard. Its only upvalue is the host function's address.
int CallHostFunction(lua_State* L) {
    const auto function = reinterpret_cast<LuaCFunction>(lua_touserdata(L, lua_upvalueindex(1)));
    bool badArgument = false;
    int argument = 0;
    // Lua's error unwinds this frame with longjmp, so no object with a
    // destructor may be alive then: each handler copies its text into Lua, and
    // the error is raised after the handler has ended.
    try {
        if (!function) throw TUnsetFunctionFault();
        return function(L);
    } catch (const ArgumentFailure& failure) {
        PushMessage(L, failure.detail.c_str());
        badArgument = true;
        argument = failure.index;
    } catch (const std::exception& e) {
        PushMessage(L, e.what());
    } catch (...) {
        PushMessage(L, "Unknown C++ exception");
    }
    if (badArgument) return luaL_argerror(L, argument, lua_tostring(L, -1));
    // Where the script called from, as luaL_error reports it.
    luaL_where(L, 1);
    lua_insert(L, -2);
    lua_concat(L, 2);
    return lua_error(L);
}

}  // namespace

void LuaPop(lua_State* L, int n) {
    const int top = lua_gettop(L);
    if (n >= top) {
        lua_settop(L, 0);
    } else if (n >= 0) {
        lua_settop(L, -n - 1);
    } else {
        const int newTop = -(n + 1);
        if (newTop > top) luaL_checkstack(L, newTop - top, nullptr);
        lua_settop(L, newTop);
    }
}

int LuaIsBoolean(lua_State* L, int index) { return lua_type(L, index) == LUA_TBOOLEAN ? 1 : 0; }

int LuaIsTable(lua_State* L, int index) { return lua_type(L, index) == LUA_TTABLE ? 1 : 0; }

void LuaGetGlobal(lua_State* L, const char* name) { lua_getglobal(L, name ? name : ""); }

void LuaSetGlobal(lua_State* L, const char* name) { lua_setglobal(L, name ? name : ""); }

void LuaPushFunction(lua_State* L, LuaCFunction function) {
    lua_pushlightuserdata(L, reinterpret_cast<void*>(function));
    lua_pushcclosure(L, CallHostFunction, 1);
}

void LuaRegister(lua_State* L, const char* name, LuaCFunction function) {
    LuaPushFunction(L, function);
    LuaSetGlobal(L, name);
}

const char* LuaCheckString(lua_State* L, int index) {
    const char* text = lua_tolstring(L, index, nullptr);
    if (!text) FailArgument(L, index, "string");
    return text;
}

double LuaCheckNumber(lua_State* L, int index) {
    int isNumber = 0;
    const lua_Number value = lua_tonumberx(L, index, &isNumber);
    if (!isNumber) FailArgument(L, index, "number");
    return value;
}

int LuaCheckInt(lua_State* L, int index) {
    const double value = LuaCheckNumber(L, index);
    if (std::isnan(value)) return 0;
    if (value >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (value <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(value);  // truncates toward zero
}

int InitLuaBinding() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    detail::NoteModuleStarted("Lua binding");
    return 0;
}

}  // namespace korva
