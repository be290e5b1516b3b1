// ScriptEngine: calls and their results, loaded scripts, script files, host
// functions, failures and the interpreter's lifetime.
#include <gtest/gtest.h>

#include <lua.hpp>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "korvagl/korvagl.h"
#include "support/temp_dir.h"

namespace korva {
namespace {

using test::TempDir;

class ScriptEngineTest : public testing::Test {
protected:
    void SetUp() override {
        InitScriptEngine();
        engine = New<ScriptEngine>();
        ASSERT_EQ(engine->IsStarted(), 1);
    }
    void TearDown() override {
        // No operation leaves anything behind on the interpreter's stack.
        if (engine && engine->State()) {
            EXPECT_EQ(lua_gettop(engine->State()), 0);
        }
    }

    // Loads and runs `code`, expecting success.
    void Run(const char* code) {
        ASSERT_EQ(engine->LoadScript(code), 1) << engine->ErrorText().ToBytes();
        ASSERT_EQ(engine->RunScript(), 1) << engine->ErrorText().ToBytes();
    }
    std::string Error() { return engine->ErrorText().ToBytes(); }

    Ref<ScriptEngine> engine;
};

TEST_F(ScriptEngineTest, OperationsOfAStoppedEngineFailWithCodeZero) {
    engine->Stop();
    EXPECT_EQ(engine->IsStarted(), 0);
    EXPECT_EQ(engine->State(), nullptr);
    EXPECT_EQ(engine->CallFunction("f", 1), 0);
    EXPECT_EQ(Error(), "ScriptEngine: Engine is not started");
    EXPECT_EQ(engine->ErrorCode(), 0);
    for (int (*operation)(ScriptEngine&) : {
             +[](ScriptEngine& e) { return e.LoadScript("x = 1"); },
             +[](ScriptEngine& e) { return e.RunScript(); },
             +[](ScriptEngine& e) { return e.RunFile("none.lua"); },
         }) {
        EXPECT_EQ(operation(*engine), 0);
        EXPECT_EQ(Error(), "ScriptEngine: Engine is not started");
        EXPECT_EQ(engine->ErrorCode(), 0);
    }
    // Pushing and registering do nothing and report nothing.
    engine->PushNumber(nullptr, 1);
    engine->RegisterFunction(nullptr, "f");
    engine->Stop();
    EXPECT_EQ(engine->ErrorCode(), 0);
}

TEST_F(ScriptEngineTest, RunScriptWithoutAScript) {
    EXPECT_EQ(engine->RunScript(), 0);
    EXPECT_EQ(Error(), "ScriptEngine: No script text to execute");
    EXPECT_EQ(engine->ErrorCode(), 0);
}

TEST_F(ScriptEngineTest, ResultsAreInspectedNumberFirst) {
    Run("function num() return '3.5' end "
        "function yes() return true end "
        "function text() return 'abc' end "
        "function answer() return '42' end "
        "function two() return 'first', false end");
    ASSERT_EQ(engine->CallFunction("num", 1), 1);
    EXPECT_EQ(engine->ResultType(), SCRIPT_NUMBER);
    EXPECT_DOUBLE_EQ(engine->NumberResult(), 3.5);
    ASSERT_EQ(engine->CallFunction("yes", 1), 1);
    EXPECT_EQ(engine->ResultType(), SCRIPT_BOOLEAN);
    EXPECT_EQ(engine->BooleanResult(), 1);
    ASSERT_EQ(engine->CallFunction("text", 1), 1);
    EXPECT_EQ(engine->ResultType(), SCRIPT_STRING);
    EXPECT_EQ(engine->StringResult(), String("abc"));
    ASSERT_EQ(engine->CallFunction("answer", 1), 1);
    EXPECT_EQ(engine->ResultType(), SCRIPT_NUMBER);
    EXPECT_DOUBLE_EQ(engine->NumberResult(), 42);
    // With more results wanted, the last of them counts.
    ASSERT_EQ(engine->CallFunction("two", 2), 1);
    EXPECT_EQ(engine->ResultType(), SCRIPT_BOOLEAN);
    EXPECT_EQ(engine->BooleanResult(), 0);
    // The other results are kept apart and stay until ClearArguments.
    EXPECT_DOUBLE_EQ(engine->NumberResult(), 42);
    EXPECT_EQ(engine->StringResult(), String("abc"));
    engine->ClearArguments();
    EXPECT_EQ(engine->ResultType(), SCRIPT_NONE);
    EXPECT_EQ(engine->NumberResult(), 0.0);
    EXPECT_EQ(engine->StringResult(), String());
}

TEST_F(ScriptEngineTest, ValuesThatAreNoResultLeaveTheLastOne) {
    Run("function nothing() end function tbl() return {} end function yes() return true end");
    engine->ClearArguments();
    ASSERT_EQ(engine->CallFunction("nothing", 1), 1);
    EXPECT_EQ(engine->ResultType(), SCRIPT_NONE);
    ASSERT_EQ(engine->CallFunction("yes", 1), 1);
    for (int i = 0; i < 100; ++i) ASSERT_EQ(engine->CallFunction("tbl", 1), 1);
    EXPECT_EQ(engine->ResultType(), SCRIPT_BOOLEAN);
    // Without a result wanted, nothing is taken.
    engine->ClearArguments();
    ASSERT_EQ(engine->CallFunction("yes", 0), 1);
    EXPECT_EQ(engine->ResultType(), SCRIPT_NONE);
}

TEST_F(ScriptEngineTest, WantingMoreResultsThanReturnedTakesNone) {
    Run("function seven() return 7 end function three() return 1, 2, 3 end");
    for (int want : {4, 40000, 65537, 65539, INT_MAX}) {
        engine->ClearArguments();
        ASSERT_EQ(engine->CallFunction("seven", want), 1) << want;
        EXPECT_EQ(engine->ResultType(), SCRIPT_NONE) << want;
        ASSERT_EQ(engine->CallFunction("three", want), 1) << want;
        EXPECT_EQ(engine->ResultType(), SCRIPT_NONE) << want;
    }
    ASSERT_EQ(engine->CallFunction("three", 3), 1);
    EXPECT_DOUBLE_EQ(engine->NumberResult(), 3);
    ASSERT_EQ(engine->CallFunction("three", -1), 1);  // all of them: the last
    EXPECT_DOUBLE_EQ(engine->NumberResult(), 3);
    engine->ClearArguments();
}

TEST_F(ScriptEngineTest, MissingGlobalIsARunTimeError) {
    Run("function one() return 1 end");
    ASSERT_EQ(engine->CallFunction("one", 1), 1);
    EXPECT_EQ(engine->CallFunction("nowhere", 1), 0);
    EXPECT_EQ(engine->ErrorCode(), SCRIPT_ERROR_RUN);
    EXPECT_NE(Error().find("attempt to call a nil value"), std::string::npos) << Error();
    EXPECT_EQ(engine->ResultType(), SCRIPT_NUMBER);
    EXPECT_DOUBLE_EQ(engine->NumberResult(), 1);
    // Clearing the arguments keeps the failure.
    engine->ClearArguments();
    EXPECT_EQ(engine->ErrorCode(), SCRIPT_ERROR_RUN);
    EXPECT_NE(Error().find("attempt to call a nil value"), std::string::npos);
}

TEST_F(ScriptEngineTest, ArgumentsStayQueuedUntilCleared) {
    Run("calls = 0 "
        "function describe(...) "
        "  calls = calls + 1 "
        "  local out = '' "
        "  for i = 1, select('#', ...) do out = out .. type((select(i, ...))) .. '=' .. tostring((select(i, ...))) .. ';' end "
        "  return out "
        "end");
    engine->AddNumberArgument(2.5);
    engine->AddStringArgument("hi");
    engine->AddBooleanArgument(1);
    engine->AddBooleanArgument(0);
    for (int call = 0; call < 2; ++call) {
        ASSERT_EQ(engine->CallFunction("describe", 1), 1);
        EXPECT_EQ(engine->StringResult(), String("number=2.5;string=hi;boolean=true;boolean=false;"));
    }
    engine->ClearArguments();
    ASSERT_EQ(engine->CallFunction("describe", 1), 1);
    EXPECT_EQ(engine->StringResult(), String());
    ASSERT_EQ(engine->CallFunction("calls", 0), 0);  // a number is not callable
    engine->ClearArguments();
}

TEST_F(ScriptEngineTest, TextIsEightBitBothWays) {
    Run("function bytes(s) return #s .. ':' .. table.concat({s:byte(1, -1)}, ',') end "
        "function high() return '\\128\\255' end");
    const char16_t units[] = {0x141, 0x41, 0xE9, 0x100};
    engine->AddStringArgument(String(units, 4));
    ASSERT_EQ(engine->CallFunction("bytes", 1), 1);
    EXPECT_EQ(engine->StringResult(), String("4:65,65,233,0"));
    // Bytes come back widened one by one, not decoded.
    ASSERT_EQ(engine->CallFunction("high", 1), 1);
    ASSERT_EQ(engine->StringResult().Length(), 2);
    EXPECT_EQ(engine->StringResult()[0], 0x80);
    EXPECT_EQ(engine->StringResult()[1], 0xFF);
    engine->ClearArguments();
}

TEST_F(ScriptEngineTest, SyntaxErrorNamesTheChunkByItsText) {
    EXPECT_EQ(engine->LoadScript("x = = 1"), 0);
    EXPECT_EQ(engine->ErrorCode(), SCRIPT_ERROR_SYNTAX);
    EXPECT_EQ(Error().rfind("[string \"x = = 1\"]:1:", 0), 0u) << Error();
    EXPECT_EQ(LastErrorText(), engine->ErrorText());  // a loading call's reason
    // The failed load leaves no script to run.
    EXPECT_EQ(engine->RunScript(), 0);
    EXPECT_EQ(Error(), "ScriptEngine: No script text to execute");
}

TEST_F(ScriptEngineTest, RunScriptRunsTheSameScriptAgain) {
    Run("count = (count or 0) + 1");
    ASSERT_EQ(engine->RunScript(), 1);
    Run("function get() return count end");
    ASSERT_EQ(engine->CallFunction("get", 1), 1);
    EXPECT_DOUBLE_EQ(engine->NumberResult(), 2);
    // A failing call in between does not take the loaded script away.
    ASSERT_EQ(engine->LoadScript("count = count + 10"), 1);
    EXPECT_EQ(engine->CallFunction("nowhere", 0), 0);
    ASSERT_EQ(engine->RunScript(), 1);
    ASSERT_EQ(engine->RunScript(), 1);
    ASSERT_EQ(engine->CallFunction("get", 1), 1);
    EXPECT_DOUBLE_EQ(engine->NumberResult(), 22);
}

TEST_F(ScriptEngineTest, RunTimeErrorOfAScript) {
    ASSERT_EQ(engine->LoadScript("error('stop here')"), 1);
    EXPECT_EQ(engine->RunScript(), 0);
    EXPECT_EQ(engine->ErrorCode(), SCRIPT_ERROR_RUN);
    EXPECT_EQ(Error(), "[string \"error('stop here')\"]:1: stop here");
    // An error object that is no text leaves the text empty.
    ASSERT_EQ(engine->LoadScript("error({})"), 1);
    EXPECT_EQ(engine->RunScript(), 0);
    EXPECT_EQ(engine->ErrorCode(), SCRIPT_ERROR_RUN);
    EXPECT_EQ(Error(), "");
}

TEST_F(ScriptEngineTest, PrecompiledChunksAreRefused) {
    Run("function dumped() return string.dump(function() return 1 end) end");
    ASSERT_EQ(engine->CallFunction("dumped", 1), 1);
    ASSERT_EQ(engine->ResultType(), SCRIPT_STRING);
    EXPECT_EQ(engine->LoadScript(engine->StringResult()), 0);
    EXPECT_EQ(engine->ErrorCode(), SCRIPT_ERROR_SYNTAX);
    EXPECT_NE(Error().find("binary chunk"), std::string::npos) << Error();
}

// Every way a script has of loading code takes source text only, whatever
// mode it asks for; the host goes on, and source text still loads.
TEST_F(ScriptEngineTest, ScriptsLoadSourceTextOnly) {
    TempDir dir;
    Run("function dumped() return string.dump(function() return 1 end) end");
    ASSERT_EQ(engine->CallFunction("dumped", 1), 1);
    const std::string binary = dir.Write("chunk.luac", engine->StringResult().ToBytes());
    const std::string text = dir.Write("text.lua", "return 10");
    Run("function probe(path, chunk) "
        "  local out = {} "
        "  local function add(f, err) "
        "    out[#out + 1] = (f == nil and tostring(err):find('binary chunk', 1, true)) and 'refused' or 'LOADED' "
        "  end "
        "  add(load(chunk)) "
        "  add(load(chunk, 'c', 'b')) "
        "  add(load(chunk, 'c', 'bt', {})) "
        "  local given = false "
        "  add(load(function() if given then return nil end given = true return chunk end)) "
        "  add(loadfile(path)) "
        "  add(loadfile(path, 'b')) "
        "  local ok, err = pcall(dofile, path) "
        "  add(ok or nil, err) "
        "  return table.concat(out, ' ') "
        "end "
        "function texts(path) "
        "  return load('return 1')() + load('return x', 'c', 't', {x = 2})() + loadfile(path)() + dofile(path) "
        "end");
    engine->AddStringArgument(binary);
    engine->AddStringArgument(engine->StringResult());
    ASSERT_EQ(engine->CallFunction("probe", 1), 1) << Error();
    EXPECT_EQ(engine->StringResult(), String("refused refused refused refused refused refused refused"));
    engine->ClearArguments();
    engine->AddStringArgument(text);
    ASSERT_EQ(engine->CallFunction("texts", 1), 1) << Error();
    EXPECT_DOUBLE_EQ(engine->NumberResult(), 23);
    engine->ClearArguments();
}

TEST_F(ScriptEngineTest, LibrariesOfTheInterpreter) {
    Run("function libs() "
        "  return type(table.insert) .. type(io.open) .. type(os.time) .. type(string.rep) .. "
        "    type(math.floor) .. type(coroutine.wrap) .. type(print) .. "
        "    type(debug) .. type(package) .. type(require) .. type(utf8) "
        "end");
    ASSERT_EQ(engine->CallFunction("libs", 1), 1);
    EXPECT_EQ(engine->StringResult(), String("functionfunctionfunctionfunctionfunctionfunctionfunctionnilnilnilnil"));
}

TEST_F(ScriptEngineTest, SetErrorTakesTheTextOnTop) {
    lua_State* L = engine->State();
    lua_pushinteger(L, 1);
    lua_pushstring(L, "custom failure");
    engine->SetError(7);
    EXPECT_EQ(Error(), "custom failure");
    EXPECT_EQ(engine->ErrorCode(), 7);
    EXPECT_EQ(lua_gettop(L), 0);
    engine->SetError(1);
    EXPECT_EQ(Error(), "");
}

TEST_F(ScriptEngineTest, ScriptEngineOfFindsTheOwner) {
    EXPECT_EQ(ScriptEngineOf(engine->State()), engine);
    EXPECT_FALSE(ScriptEngineOf(nullptr));
    lua_State* foreign = luaL_newstate();
    EXPECT_FALSE(ScriptEngineOf(foreign));
    lua_close(foreign);
}

// ---------------------------------------------------------------------------
// Host functions

// describe(text, number, int) -> "text/number/int", number * 2, number > 0
int Describe(lua_State* L) {
    const Ref<ScriptEngine> engine = ScriptEngineOf(L);
    const String text = engine->ArgString(L, 1);
    const double number = engine->ArgNumber(L, 2);
    const int whole = engine->ArgInt(L, 3);
    engine->PushString(L, text + "/" + IntToString(static_cast<int64_t>(number * 10)) + "/" + IntToString(whole));
    engine->PushNumber(L, number * 2);
    engine->PushBoolean(L, number > 0);
    return 3;
}

TEST_F(ScriptEngineTest, HostFunctionsReadArgumentsAndPushResults) {
    engine->RegisterFunction(Describe, "describe");
    Run("function use(a, b, c) "
        "  local s, n, f = describe(a, b, c) "
        "  return s .. '|' .. n .. '|' .. tostring(f) "
        "end");
    engine->AddStringArgument("box");
    engine->AddNumberArgument(-1.5);
    engine->AddStringArgument("-7.9");
    ASSERT_EQ(engine->CallFunction("use", 1), 1) << Error();
    EXPECT_EQ(engine->StringResult(), String("box/-15/-7|-3.0|false"));
    // Called directly, the wanted results are taken from the first on.
    ASSERT_EQ(engine->CallFunction("describe", 1), 1);
    EXPECT_EQ(engine->StringResult(), String("box/-15/-7"));
    ASSERT_EQ(engine->CallFunction("describe", 3), 1);
    EXPECT_EQ(engine->ResultType(), SCRIPT_BOOLEAN);
    engine->ClearArguments();
}

// An engine on the stack (or anywhere else New did not put it): the
// temporary Ref a host function takes through ScriptEngineOf must not delete it.
TEST(ScriptEngineOnStackTest, HostFunctionsUseAStackEngine) {
    InitScriptEngine();
    ScriptEngine engine;
    engine.RegisterFunction(Describe, "describe");
    engine.AddStringArgument("stack");
    engine.AddNumberArgument(2);
    engine.AddNumberArgument(3);
    ASSERT_EQ(engine.CallFunction("describe", 1), 1) << engine.ErrorText().ToBytes();
    EXPECT_EQ(engine.StringResult(), String("stack/20/3"));
    EXPECT_EQ(ScriptEngineOf(engine.State()).Get(), &engine);
}

TEST_F(ScriptEngineTest, BadArgumentOfAHostFunctionIsRecorded) {
    engine->RegisterFunction(Describe, "describe");
    engine->AddStringArgument("box");
    engine->AddStringArgument("many");
    EXPECT_EQ(engine->CallFunction("describe", 1), 0);
    EXPECT_EQ(engine->ErrorCode(), SCRIPT_ERROR_RUN);
    EXPECT_EQ(Error(), "bad argument #2 to 'describe' (number expected, got string)");
    engine->ClearArguments();
}

int ThrowsFault(lua_State* L) {
    const String held = ScriptEngineOf(L)->ArgString(L, 1);
    RaiseRuntimeError(String("Fault in host: ") + held);
}
int ThrowsStd(lua_State*) { throw std::logic_error("logic failure"); }
int RaisesLuaError(lua_State* L) { return luaL_error(L, "raised by host"); }

TEST_F(ScriptEngineTest, FailuresOfHostFunctionsAreRecorded) {
    engine->RegisterFunction(ThrowsFault, "fault");
    engine->RegisterFunction(ThrowsStd, "stdfail");
    engine->RegisterFunction(RaisesLuaError, "luafail");
    engine->AddStringArgument("text");
    EXPECT_EQ(engine->CallFunction("fault", 0), 0);
    EXPECT_EQ(engine->ErrorCode(), SCRIPT_ERROR_RUN);
    EXPECT_EQ(Error(), "Fault in host: text");
    ASSERT_EQ(engine->LoadScript("stdfail()"), 1);
    EXPECT_EQ(engine->RunScript(), 0);
    EXPECT_EQ(Error(), "[string \"stdfail()\"]:1: logic failure");
    ASSERT_EQ(engine->LoadScript("luafail()"), 1);
    EXPECT_EQ(engine->RunScript(), 0);
    EXPECT_EQ(Error(), "[string \"luafail()\"]:1: raised by host");
    EXPECT_EQ(engine->ErrorCode(), SCRIPT_ERROR_RUN);
    engine->ClearArguments();
}

// Calls back into the engine from inside a call.
int Reenter(lua_State* L) {
    const Ref<ScriptEngine> engine = ScriptEngineOf(L);
    const double value = engine->ArgNumber(L, 1);
    const int ok = engine->CallFunction("nowhere", 1);  // fails, must not disturb this frame
    engine->PushNumber(L, value + ok + engine->ArgNumber(L, 1));
    return 1;
}

TEST_F(ScriptEngineTest, HostFunctionsMayCallBackIntoTheEngine) {
    engine->RegisterFunction(Reenter, "reenter");
    engine->AddNumberArgument(20);
    ASSERT_EQ(engine->CallFunction("reenter", 1), 1) << Error();
    EXPECT_DOUBLE_EQ(engine->NumberResult(), 40);
    engine->ClearArguments();
}

int StopEngine(lua_State* L) {
    ScriptEngineOf(L)->Stop();
    lua_pushinteger(L, 5);
    return 1;
}
int RestartEngine(lua_State* L) {
    ScriptEngineOf(L)->Start();
    return 0;
}

TEST_F(ScriptEngineTest, StopOrStartInsideACallIsSafe) {
    engine->RegisterFunction(StopEngine, "halt");
    Run("function work() local n = halt() return n * 2 end");
    // The running script finishes in the old interpreter, which then closes.
    ASSERT_EQ(engine->CallFunction("work", 1), 1);
    EXPECT_DOUBLE_EQ(engine->NumberResult(), 10);
    EXPECT_EQ(engine->IsStarted(), 0);
    EXPECT_EQ(engine->CallFunction("work", 1), 0);
    EXPECT_EQ(Error(), "ScriptEngine: Engine is not started");

    engine->Start();
    engine->RegisterFunction(RestartEngine, "restart");
    Run("marker = 1 restart() marker = 2");
    ASSERT_EQ(engine->IsStarted(), 1);
    EXPECT_EQ(engine->CallFunction("restart", 0), 0);  // the fresh one knows nothing
}

Ref<ScriptEngine> gOwned;
int DropEngine(lua_State*) {
    gOwned = nullptr;
    return 0;
}

TEST_F(ScriptEngineTest, DroppingTheEngineInsideACallIsSafe) {
    gOwned = New<ScriptEngine>();
    gOwned->RegisterFunction(DropEngine, "drop");
    ScriptEngine* raw = gOwned.Get();
    EXPECT_EQ(raw->CallFunction("drop", 0), 1);  // the engine goes when the call returns
    EXPECT_FALSE(gOwned);
}

TEST_F(ScriptEngineTest, StopAndStartGiveAFreshInterpreter) {
    engine->RegisterFunction(Describe, "describe");
    Run("value = 1");
    lua_State* before = engine->State();
    engine->Stop();
    engine->Start();
    ASSERT_EQ(engine->IsStarted(), 1);
    ASSERT_NE(engine->State(), nullptr);
    Run("function probe() return type(value) .. type(describe) end");
    ASSERT_EQ(engine->CallFunction("probe", 1), 1);
    EXPECT_EQ(engine->StringResult(), String("nilnil"));
    // Start alone replaces a running interpreter as well, and forgets the script.
    engine->Start();
    EXPECT_EQ(engine->CallFunction("probe", 1), 0);
    EXPECT_EQ(engine->RunScript(), 0);
    EXPECT_EQ(Error(), "ScriptEngine: No script text to execute");
    (void)before;
}

TEST_F(ScriptEngineTest, StrictGlobalsCannotBreakTheEngine) {
    Run("setmetatable(_G, { "
        "  __index = function(_, k) error('undeclared ' .. k, 2) end, "
        "  __newindex = function(_, k) error('no new global ' .. k, 2) end })");
    EXPECT_EQ(engine->CallFunction("missing", 1), 0);
    EXPECT_EQ(engine->ErrorCode(), SCRIPT_ERROR_RUN);
    EXPECT_NE(Error().find("undeclared missing"), std::string::npos) << Error();
    engine->RegisterFunction(Describe, "describe");
    EXPECT_EQ(engine->ErrorCode(), SCRIPT_ERROR_RUN);
    EXPECT_NE(Error().find("no new global describe"), std::string::npos) << Error();
}

TEST_F(ScriptEngineTest, ManyArgumentsFitOnTheStack) {
    Run("function count(...) return select('#', ...) end");
    for (int i = 0; i < 5000; ++i) engine->AddNumberArgument(i);
    ASSERT_EQ(engine->CallFunction("count", 1), 1) << Error();
    EXPECT_DOUBLE_EQ(engine->NumberResult(), 5000);
    engine->ClearArguments();
}

// ---------------------------------------------------------------------------
// Restricted engines

// What `expression` gives in `engine`, as text (whole numbers as such).
std::string Evaluate(ScriptEngine& engine, const std::string& expression) {
    if (!engine.LoadScript(String("function probe() return " + expression + " end")) || !engine.RunScript() ||
        !engine.CallFunction("probe", 1)) {
        return "failed: " + engine.ErrorText().ToBytes();
    }
    if (engine.ResultType() == SCRIPT_NUMBER) return std::to_string(static_cast<int64_t>(engine.NumberResult()));
    return engine.StringResult().ToBytes();
}

TEST(RestrictedScriptEngineTest, PowersAreWithheldAndKeptByStart) {
    InitScriptEngine();
    const Ref<ScriptEngine> engine = New<ScriptEngine>(SCRIPT_POWERS_NONE);
    ASSERT_EQ(engine->IsStarted(), 1);
    EXPECT_EQ(engine->Powers(), SCRIPT_POWERS_NONE);
    const std::string powers =
        "table.concat({type(io), type(os.execute), type(os.remove), type(os.rename), type(os.exit), type(os.getenv), "
        "type(os.tmpname), type(os.setlocale), type(loadfile), type(dofile), type(require), type(debug), "
        "type(os.time), type(os.clock), type(os.date), type(load), type(print)}, ' ')";
    const std::string withheld = "nil nil nil nil nil nil nil nil nil nil nil nil function function function function function";
    EXPECT_EQ(Evaluate(*engine, powers), withheld);
    // No finalizers, and the collector keeps running.
    EXPECT_EQ(Evaluate(*engine,
                       "tostring(select(2, pcall(setmetatable, {}, {__gc = print}))):match('__gc') .. "
                       "type(setmetatable({}, {__index = {}})) .. tostring(pcall(collectgarbage, 'stop')) .. "
                       "type(collectgarbage('count')) .. collectgarbage()"),
              "__gctablefalsenumber0");
    engine->Start();
    EXPECT_EQ(Evaluate(*engine, powers), withheld);
    // Powers come one by one.
    const Ref<ScriptEngine> some = New<ScriptEngine>(SCRIPT_POWER_IO | SCRIPT_POWER_FILES);
    EXPECT_EQ(Evaluate(*some, "type(io.open) .. type(os.execute) .. type(loadfile)"), "functionnilfunction");
}

int PushBig(lua_State* L) {
    ScriptEngineOf(L)->PushString(L, String::Repeat(u'x', 8 << 20));
    return 1;
}

TEST(RestrictedScriptEngineTest, TheMemoryCeilingFailsTheScriptNotTheHost) {
    InitScriptEngine();
    constexpr int64_t kLimit = 4 << 20;
    const Ref<ScriptEngine> engine = New<ScriptEngine>(SCRIPT_POWERS_NONE, kLimit);
    ASSERT_EQ(engine->IsStarted(), 1);
    EXPECT_EQ(engine->MemoryLimit(), kLimit);
    for (const char* hog : {"local s = 'x' while true do s = s .. s end", "local s = string.rep('x', 1 << 30)",
                            "kept = {} for i = 1, 1e9 do kept[i] = {i} end"}) {
        ASSERT_EQ(engine->LoadScript(hog), 1);
        EXPECT_EQ(engine->RunScript(), 0) << hog;
        EXPECT_EQ(engine->ErrorCode(), SCRIPT_ERROR_MEMORY) << hog;
        EXPECT_EQ(engine->ErrorText(), String("not enough memory"));
        EXPECT_LE(engine->MemoryInUse(), kLimit);
    }
    // Usable again once the script's state lets go of what it kept.
    ASSERT_EQ(engine->LoadScript("kept = nil"), 1);
    ASSERT_EQ(engine->RunScript(), 1) << engine->ErrorText().ToBytes();
    EXPECT_EQ(Evaluate(*engine, "#string.rep('y', 1 << 20)"), "1048576");
    // What the host pushes is taken even past the ceiling.
    engine->RegisterFunction(PushBig, "big");
    EXPECT_EQ(Evaluate(*engine, "#big()"), std::to_string(8 << 20));
    // A ceiling too small for the libraries leaves the engine not started.
    EXPECT_EQ(New<ScriptEngine>(SCRIPT_POWERS_NONE, 4096)->IsStarted(), 0);
}

// ---------------------------------------------------------------------------
// Script files

// Collects what the code under test writes to standard error.
class StderrCapture {
public:
    explicit StderrCapture(const std::string& path) : path_(path) {
        std::fflush(stderr);
        saved_ = dup(2);
        FILE* file = std::fopen(path.c_str(), "w");
        dup2(fileno(file), 2);
        std::fclose(file);
    }
    std::string Finish() {
        std::fflush(stderr);
        dup2(saved_, 2);
        close(saved_);
        return TempDir::Read(path_);
    }

private:
    std::string path_;
    int saved_;
};

TEST_F(ScriptEngineTest, RunFileRunsAndDropsItsResults) {
    TempDir dir;
    dir.Write("ok.lua", "#!/usr/bin/env lua\nloaded = (loaded or 0) + 1\nreturn 1, 2, 3\n");
    ASSERT_EQ(engine->RunFile(dir.File("ok.lua")), 1) << Error();
    EXPECT_EQ(lua_gettop(engine->State()), 0);
    EXPECT_TRUE(LastErrorText().IsEmpty());
    // Backslashes are path separators too.
    std::string windowsPath = dir.File("ok.lua");
    windowsPath[windowsPath.rfind('/')] = '\\';
    ASSERT_EQ(engine->RunFile(windowsPath), 1) << Error();
    Run("function get() return loaded end");
    ASSERT_EQ(engine->CallFunction("get", 1), 1);
    EXPECT_DOUBLE_EQ(engine->NumberResult(), 2);
}

TEST_F(ScriptEngineTest, RunFileFailuresAreRecordedAndWrittenToStandardError) {
    TempDir dir;
    dir.Write("bad.lua", "x = = 2\n");
    dir.Write("fails.lua", "local t = nil\nreturn t.field\n");
    struct Case {
        std::string path;
        int code;
        std::string start;
    } cases[] = {
        {dir.File("missing.lua"), SCRIPT_ERROR_FILE, "cannot open " + dir.File("missing.lua")},
        {dir.File("bad.lua"), SCRIPT_ERROR_SYNTAX, dir.File("bad.lua") + ":1:"},
        {dir.File("fails.lua"), SCRIPT_ERROR_RUN, dir.File("fails.lua") + ":2: attempt to index a nil value"},
    };
    for (const Case& c : cases) {
        StderrCapture capture(dir.File("stderr.txt"));
        const int ok = engine->RunFile(c.path);
        const std::string written = capture.Finish();
        EXPECT_EQ(ok, 0);
        EXPECT_EQ(engine->ErrorCode(), c.code) << c.path;
        EXPECT_EQ(Error().rfind(c.start, 0), 0u) << Error();
        EXPECT_EQ(written, Error() + "\n");
        EXPECT_EQ(LastErrorText(), engine->ErrorText());
    }
    // A message with a line break is one line, escaped, on standard error
    // and in LastErrorText; ErrorText keeps the script's own text.
    dir.Write("forge.lua", "error('one\\nKorvaGL: two', 0)");
    StderrCapture forged(dir.File("stderr.txt"));
    EXPECT_EQ(engine->RunFile(dir.File("forge.lua")), 0);
    EXPECT_EQ(forged.Finish(), "one\\nKorvaGL: two\n");
    EXPECT_EQ(Error(), "one\nKorvaGL: two");
    EXPECT_EQ(LastErrorText(), String("one\\nKorvaGL: two"));
    // A unit above 0xFF names no file (U+012F would narrow to "/bad.lua").
    StderrCapture refusal(dir.File("stderr.txt"));
    EXPECT_EQ(engine->RunFile(String(dir.Path()) + String(u"\u012Fbad.lua")), 0);
    refusal.Finish();
    EXPECT_EQ(engine->ErrorCode(), SCRIPT_ERROR_FILE) << Error();
    // The engine's own failure is not written.
    engine->Stop();
    StderrCapture capture(dir.File("stderr.txt"));
    EXPECT_EQ(engine->RunFile(dir.File("bad.lua")), 0);
    EXPECT_EQ(capture.Finish(), "");
}

}  // namespace
}  // namespace korva
