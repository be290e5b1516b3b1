// The Lua binding: stack helpers, argument checks, and the guard around host
// functions, on a bare interpreter.
#include <gtest/gtest.h>

#include <lua.hpp>

#include <climits>
#include <cmath>
#include <stdexcept>
#include <string>

#include "korvagl/app/faults.h"
#include "korvagl/script/lua_binding.h"

namespace korva {
namespace {

class LuaBindingTest : public testing::Test {
protected:
    void SetUp() override {
        InitLuaBinding();
        L = luaL_newstate();
        luaL_openlibs(L);
    }
    void TearDown() override { lua_close(L); }

    // Runs `code`; "" when it succeeds, else the error message.
    std::string Run(const char* code) {
        if (luaL_dostring(L, code) == LUA_OK) return "";
        std::string message = lua_tostring(L, -1);
        lua_pop(L, 1);
        return message;
    }

    lua_State* L = nullptr;
};

TEST_F(LuaBindingTest, PopRemovesFromTheTop) {
    for (int i = 1; i <= 5; ++i) lua_pushinteger(L, i);
    LuaPop(L, 2);
    ASSERT_EQ(lua_gettop(L), 3);
    EXPECT_EQ(lua_tointeger(L, -1), 3);
    LuaPop(L, 0);
    EXPECT_EQ(lua_gettop(L), 3);
    LuaPop(L, -1);
    EXPECT_EQ(lua_gettop(L), 0);
    // More than the stack holds empties it instead of running off its base.
    lua_pushinteger(L, 1);
    LuaPop(L, 10);
    EXPECT_EQ(lua_gettop(L), 0);
}

TEST_F(LuaBindingTest, KindTests) {
    lua_pushboolean(L, 0);
    lua_newtable(L);
    lua_pushinteger(L, 1);
    EXPECT_EQ(LuaIsBoolean(L, 1), 1);
    EXPECT_EQ(LuaIsBoolean(L, 3), 0);
    EXPECT_EQ(LuaIsTable(L, 2), 1);
    EXPECT_EQ(LuaIsTable(L, -1), 0);
    EXPECT_EQ(LuaIsTable(L, 9), 0);  // no value there
}

TEST_F(LuaBindingTest, GlobalsRoundTrip) {
    lua_pushinteger(L, 7);
    lua_pushstring(L, "seven");
    LuaSetGlobal(L, "answer");
    EXPECT_EQ(lua_gettop(L), 1);  // only the value on top went
    LuaGetGlobal(L, "answer");
    EXPECT_STREQ(lua_tostring(L, -1), "seven");
    LuaGetGlobal(L, "missing");
    EXPECT_TRUE(lua_isnil(L, -1));
    EXPECT_EQ(lua_gettop(L), 3);
}

int Twice(lua_State* L) {
    lua_pushinteger(L, 2 * LuaCheckInt(L, 1));
    return 1;
}

TEST_F(LuaBindingTest, RegisteredFunctionIsCallableFromScripts) {
    LuaRegister(L, "twice", Twice);
    EXPECT_EQ(lua_gettop(L), 0);
    EXPECT_EQ(Run("assert(twice(21) == 42) assert(twice('5') == 10)"), "");
    LuaPushFunction(L, Twice);
    lua_pushinteger(L, 4);
    ASSERT_EQ(lua_pcall(L, 1, 1, 0), LUA_OK);
    EXPECT_EQ(lua_tointeger(L, -1), 8);
}

TEST_F(LuaBindingTest, CheckIntTruncatesTowardZeroAndClamps) {
    const double values[] = {2.7, -2.7, 0.5, -0.5, 1e20, -1e20, NAN};
    const int expected[] = {2, -2, 0, 0, INT_MAX, INT_MIN, 0};
    for (int i = 0; i < 7; ++i) {
        lua_pushnumber(L, values[i]);
        EXPECT_EQ(LuaCheckInt(L, -1), expected[i]) << values[i];
    }
    lua_pushstring(L, " -3.9 ");
    EXPECT_EQ(LuaCheckInt(L, -1), -3);
    lua_pushstring(L, "0x10");
    EXPECT_EQ(LuaCheckInt(L, -1), 16);
}

TEST_F(LuaBindingTest, CheckStringConvertsNumbers) {
    lua_pushinteger(L, 12);
    EXPECT_STREQ(LuaCheckString(L, 1), "12");
    EXPECT_EQ(lua_type(L, 1), LUA_TSTRING);
    lua_pushnumber(L, 1.5);
    EXPECT_DOUBLE_EQ(LuaCheckNumber(L, 2), 1.5);
}

// An unguarded C function: the checks fail the way Lua's own checks do.
int RawCheck(lua_State* L) {
    LuaCheckInt(L, 1);
    return 0;
}

// A guarded one that holds C++ objects while a check fails.
int GuardedCheck(lua_State* L) {
    const std::string held(100, 'x');  // would leak if a longjmp skipped it
    const char* text = LuaCheckString(L, 1);
    LuaCheckNumber(L, 2);
    lua_pushfstring(L, "%s%s", held.c_str(), text);
    return 1;
}

TEST_F(LuaBindingTest, FailedChecksNameTheArgument) {
    lua_pushcfunction(L, RawCheck);
    lua_setglobal(L, "raw");
    LuaRegister(L, "guarded", GuardedCheck);
    EXPECT_EQ(Run("raw({})"), "[string \"raw({})\"]:1: bad argument #1 to 'raw' (number expected, got table)");
    EXPECT_EQ(Run("guarded('a',\n'b')"),
              "[string \"guarded('a',...\"]:1: bad argument #2 to 'guarded' (number expected, got string)");
    EXPECT_EQ(Run("x=1 guarded(nil, 1)"),
              "[string \"x=1 guarded(nil, 1)\"]:1: bad argument #1 to 'guarded' (string expected, got nil)");
    EXPECT_EQ(Run("guarded('a')"),
              "[string \"guarded('a')\"]:1: bad argument #2 to 'guarded' (number expected, got no value)");
    EXPECT_EQ(Run("guarded(io.stdout, 1)"),
              "[string \"guarded(io.stdout, 1)\"]:1: bad argument #1 to 'guarded' (string expected, got FILE*)");
    EXPECT_EQ(Run("local s = guarded('a', 1) assert(#s == 101)"), "");
}

int ThrowsFault(lua_State*) {
    const std::string held(100, 'y');
    RaiseRuntimeError("Stream is not readable");
}
int ThrowsStd(lua_State*) { throw std::runtime_error("out of range"); }
int ThrowsInt(lua_State*) { throw 42; }
int RaisesLuaError(lua_State* L) { return luaL_error(L, "plain %s", "lua error"); }

TEST_F(LuaBindingTest, ExceptionsBecomeLuaErrors) {
    LuaRegister(L, "fault", ThrowsFault);
    LuaRegister(L, "stdfail", ThrowsStd);
    LuaRegister(L, "intfail", ThrowsInt);
    LuaRegister(L, "luafail", RaisesLuaError);
    LuaRegister(L, "unset", nullptr);
    // Each error names where the script called from, as Lua's own errors do.
    EXPECT_EQ(Run("fault()"), "[string \"fault()\"]:1: Stream is not readable");
    EXPECT_EQ(Run("\nstdfail()"), "[string \"...\"]:2: out of range");
    EXPECT_EQ(Run("intfail()"), "[string \"intfail()\"]:1: Unknown C++ exception");
    EXPECT_EQ(Run("luafail()"), "[string \"luafail()\"]:1: plain lua error");
    EXPECT_EQ(Run("unset()"), "[string \"unset()\"]:1: Attempt to call uninitialized function pointer");
    // The error is an ordinary Lua error: scripts can catch it.
    EXPECT_EQ(Run("local ok, e = pcall(fault) assert(not ok and e == 'Stream is not readable', e)"), "");
}

// A guarded function that calls another one through a protected call.
int CallsInner(lua_State* L) {
    LuaPushFunction(L, ThrowsStd);
    const int status = lua_pcall(L, 0, 0, 0);
    lua_pushinteger(L, status);
    lua_insert(L, -2);
    return 2;
}

TEST_F(LuaBindingTest, GuardsNest) {
    LuaRegister(L, "outer", CallsInner);
    EXPECT_EQ(Run("local status, message = outer() "
                  "assert(status == 2 and message == 'out of range', message)"),
              "");
}

}  // namespace
}  // namespace korva
