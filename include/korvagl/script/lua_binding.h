// KorvaGL: a thin layer over the Lua 5.4 host interface.
//
// These functions are what host functions (C++ functions registered into a
// script engine) use to read their arguments and to reach globals. Each keeps
// the effect on the Lua stack that its description gives. Lua's own headers
// are not needed to call them; include <lua.hpp> for the rest of the API.
//
// Host functions. A host function has Lua's C-function form: it receives the
// calling state, reads its arguments from the stack, pushes its results and
// returns their count. Every host function pushed or registered here runs
// behind a guard:
//   - a C++ exception it throws (a KorvaGL fault, any std::exception, anything
//     else) never crosses Lua's C frames; the guard catches it and raises a
//     Lua error with its text, which the nearest protected call reports;
//   - a failed argument check (LuaCheckString, LuaCheckInt, the engine's Arg
//     helpers) inside a guarded function unwinds the C++ frames of the host
//     function first and then raises Lua's usual "bad argument" error, so the
//     host function's objects are released properly;
//   - a null function pointer raises "Attempt to call uninitialized function
//     pointer" when called.
// Outside a guarded function the checks fail exactly as Lua's own argument
// checks do (a Lua error that unwinds to the nearest protected call).
//
// Text is 8-bit: these functions take and give Lua's bytes unchanged.
// No function here keeps state; all of them work on the state they are given.
#pragma once

struct lua_State;

namespace korva {

// A host function, Lua's C-function form (the same type as lua_CFunction).
using LuaCFunction = int (*)(lua_State* L);

// Removes the top n values; n = -1 empties the stack. Popping more values
// than the stack holds empties it. Any other negative n sets the top to the
// absolute index -n-1 (filling with nil), as lua_settop does.
void LuaPop(lua_State* L, int n);
// 1 when the value at index is a boolean / a table, else 0.
int LuaIsBoolean(lua_State* L, int index);
int LuaIsTable(lua_State* L, int index);
// Pushes the value of the global `name` (metamethods of the global table
// apply, as for any table access).
void LuaGetGlobal(lua_State* L, const char* name);
// Pops the value on top of the stack into the global `name`.
void LuaSetGlobal(lua_State* L, const char* name);
// Pushes `function` as a Lua function, behind the guard described above.
void LuaPushFunction(lua_State* L, LuaCFunction function);
// Makes `function` the value of the global `name` (guarded, as above).
void LuaRegister(lua_State* L, const char* name, LuaCFunction function);
// The string at index; a number there is converted to a string in place.
// Anything else fails the argument check. The text stays valid while the
// value remains on the stack.
const char* LuaCheckString(lua_State* L, int index);
// The number at index (or a string that reads as a number), truncated toward
// zero. Values beyond the int range give its nearest end, NaN gives 0.
// Anything else fails the argument check.
int LuaCheckInt(lua_State* L, int index);
// The number at index, or a string that reads as a number; anything else
// fails the argument check.
double LuaCheckNumber(lua_State* L, int index);

// The module's initialiser ("Lua binding").
int InitLuaBinding();

}  // namespace korva
