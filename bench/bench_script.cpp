// Speed of the script engine: calling a script function through the engine
// against the same call made with the raw Lua API, and host functions called
// from a script through the guard against raw C functions.
#include <benchmark/benchmark.h>

#include <lua.hpp>

#include "korvagl/korvagl.h"

namespace korva {
namespace {

const char* const kAdd = "function add(a, b) return a + b end";

// CallFunction of "add" with the two numbers queued once. Arg 1: the name is
// a String made once; arg 0: a literal, made into a String on every call.
void BM_CallFunction(benchmark::State& state) {
    InitScriptEngine();
    const Ref<ScriptEngine> engine = New<ScriptEngine>();
    engine->LoadScript(kAdd);
    engine->RunScript();
    engine->AddNumberArgument(1.5);
    engine->AddNumberArgument(2.25);
    const String name("add");
    const bool madeOnce = state.range(0) != 0;
    double sum = 0;
    for (auto _ : state) {
        if (madeOnce) {
            engine->CallFunction(name, 1);
        } else {
            engine->CallFunction("add", 1);
        }
        sum += engine->NumberResult();
    }
    state.SetLabel(madeOnce ? "name made once" : "literal name");
    if (sum != 3.75 * static_cast<double>(state.iterations())) state.SkipWithError("wrong sum");
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CallFunction)->Arg(1)->Arg(0);

// The same call with the raw API: look the global up, push, lua_pcall, read, pop.
void BM_RawPcall(benchmark::State& state) {
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    luaL_dostring(L, kAdd);
    double sum = 0;
    for (auto _ : state) {
        lua_getglobal(L, "add");
        lua_pushnumber(L, 1.5);
        lua_pushnumber(L, 2.25);
        if (lua_pcall(L, 2, 1, 0) == LUA_OK && lua_isnumber(L, -1)) sum += lua_tonumber(L, -1);
        lua_pop(L, 1);
    }
    if (sum != 3.75 * static_cast<double>(state.iterations())) state.SkipWithError("wrong sum");
    lua_close(L);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_RawPcall);

int HostAdd(lua_State* L) {
    lua_pushnumber(L, LuaCheckNumber(L, 1) + LuaCheckNumber(L, 2));
    return 1;
}

int RawAdd(lua_State* L) {
    lua_pushnumber(L, luaL_checknumber(L, 1) + luaL_checknumber(L, 2));
    return 1;
}

const char* const kLoop = "local f = ... local s = 0 for i = 1, 1000 do s = f(s, 1) end return s";

// A script calling a registered host function 1000 times (through the guard).
void BM_HostFunctionFromScript(benchmark::State& state) {
    lua_State* L = luaL_newstate();
    luaL_openlibs(L);
    luaL_loadstring(L, kLoop);
    const bool guarded = state.range(0) != 0;
    for (auto _ : state) {
        lua_pushvalue(L, 1);
        if (guarded) {
            LuaPushFunction(L, HostAdd);
        } else {
            lua_pushcfunction(L, RawAdd);
        }
        lua_call(L, 1, 1);
        benchmark::DoNotOptimize(lua_tonumber(L, -1));
        lua_pop(L, 1);
    }
    lua_close(L);
    state.SetItemsProcessed(state.iterations() * 1000);
    state.SetLabel(guarded ? "guarded" : "raw");
}
BENCHMARK(BM_HostFunctionFromScript)->Arg(1)->Arg(0);

}  // namespace
}  // namespace korva

BENCHMARK_MAIN();
