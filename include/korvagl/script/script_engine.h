// KorvaGL: ScriptEngine, one embedded Lua interpreter.
//
// An engine opens a Lua 5.4 interpreter with the base (with coroutines),
// table, io, os, string and math libraries (no debug or package library, so
// no require and no package.loadlib), loads and runs script text or script
// files, calls a global script function with a list of typed arguments and
// takes back one typed result, and lets the host register its own functions
// under global names.
//
// Untrusted scripts (mods, downloaded levels) get an engine of their own
// made with fewer powers and a memory ceiling:
//   New<ScriptEngine>(SCRIPT_POWERS_NONE, 64 << 20)
// Without SCRIPT_POWER_IO there is no io library; without SCRIPT_POWER_OS,
// os keeps only clock, date, difftime and time; without SCRIPT_POWER_FILES
// there is no loadfile or dofile (scripts cannot read files by name); without
// SCRIPT_POWER_GC, setmetatable refuses a metatable with a __gc field (a
// finalizer runs where no hook can stop it, and again when the engine stops)
// and collectgarbage takes only "collect", "count", "step" and "isrunning".
// Everything else (print, load of source text, string, table, math,
// coroutine) stays. Start keeps the powers and the ceiling.
//
// Memory ceiling: with a limit, the interpreter holds at most that many
// bytes for what scripts do. A script that allocates past it fails with
// SCRIPT_ERROR_MEMORY ("not enough memory"), like any other failure; the
// engine stays started and usable, but what the script kept (in globals,
// say) still counts, so Start gives a fresh interpreter when calls keep
// failing. The host's own steps (loading script text, queued arguments,
// registering, what host functions push with Push...) are always taken, even
// past the limit. A limit too small for the libraries leaves the engine not
// started. In an engine with SCRIPT_POWER_GC, a finalizer that the collector
// runs during one of the host's own steps is not held to the ceiling.
//
// Failures never raise. Every operation that can fail returns 0 and records
// the failure: ErrorText() gives its text and ErrorCode() its kind, 1 to 5
// (SCRIPT_ERROR_...) for a failure inside the interpreter, 0 for the engine's
// own failures "ScriptEngine: Engine is not started" and "ScriptEngine: No
// script text to execute". A failure leaves earlier results untouched.
// LoadScript and RunFile also give their failure text to LastErrorText()
// (last_error.h), and clear it when they succeed.
//
// Text is 8-bit towards Lua: each code unit's low byte goes in, each byte
// comes back widened to one unit. Scripts and script files are source text;
// precompiled chunks are refused (a crafted one can take the process over),
// by LoadScript and RunFile and by every loader a script has: load,
// loadfile and dofile take source text only, whatever mode they are given.
//
// Host functions (LuaCFunction, see lua_binding.h) receive the calling state;
// they read their arguments with ArgString/ArgNumber/ArgInt and push results
// with PushString/PushNumber/PushBoolean on that state, and return the number
// of results. They run behind the binding's guard, so a C++ exception or a
// failed argument check inside one becomes an error of the call that ran the
// script, recorded like any other. ScriptEngineOf(L) finds the engine.
//
// Lifetime: the constructor starts the engine. Stop() closes the interpreter;
// Start() replaces it with a fresh one (everything registered in the old one
// is gone). Stop or Start from inside a host function takes effect at once for
// the engine, while the old interpreter is closed only when the outermost
// running call has returned. Destroying the engine closes its interpreter.
//
// Single-threaded: one engine and its host functions run on one thread.
#pragma once

#include <string>
#include <vector>

#include "korvagl/app/object.h"
#include "korvagl/script/lua_binding.h"
#include "korvagl/util/linked_list.h"

struct lua_State;

namespace korva {

// Kinds of a queued argument and of a call's result.
constexpr int SCRIPT_NONE = -1;  // no result taken yet
constexpr int SCRIPT_NUMBER = 0;
constexpr int SCRIPT_STRING = 1;
constexpr int SCRIPT_BOOLEAN = 2;

// The powers of an engine's scripts beyond computing (ScriptEngine(powers)).
constexpr int32_t SCRIPT_POWER_IO = 1;     // the io library: files, pipes, standard streams
constexpr int32_t SCRIPT_POWER_OS = 2;     // os.execute, exit, getenv, remove, rename, tmpname, setlocale
constexpr int32_t SCRIPT_POWER_FILES = 4;  // loadfile and dofile: script files by name
constexpr int32_t SCRIPT_POWER_GC = 8;     // finalizers and every collectgarbage option
constexpr int32_t SCRIPT_POWERS_NONE = 0;
constexpr int32_t SCRIPT_POWERS_ALL = 15;  // the default engine's

// ErrorCode() of a failure inside the interpreter (0 marks the engine's own).
constexpr int SCRIPT_ERROR_RUN = 1;      // run-time error
constexpr int SCRIPT_ERROR_FILE = 2;     // a script file could not be opened or read
constexpr int SCRIPT_ERROR_SYNTAX = 3;   // the text does not compile
constexpr int SCRIPT_ERROR_MEMORY = 4;   // out of memory
constexpr int SCRIPT_ERROR_HANDLER = 5;  // error while handling an error

// One queued argument of CallFunction.
class ScriptArgument : public Object {
public:
    int kind = SCRIPT_NUMBER;  // SCRIPT_NUMBER, SCRIPT_STRING or SCRIPT_BOOLEAN
    double number = 0.0;       // the value of a number
    String text;               // the value of a string
    int flag = 0;              // the value of a boolean
};

class ScriptEngine : public Object {
public:
    // Starts at once; IsStarted() tells whether an interpreter could be opened.
    // Scripts get every power and no memory ceiling.
    ScriptEngine();
    // An engine whose scripts get only `powers` (SCRIPT_POWER_... or'ed) and
    // whose interpreter holds at most `memoryLimit` bytes (0: no ceiling).
    explicit ScriptEngine(int32_t powers, int64_t memoryLimit = 0);
    ~ScriptEngine() override;
    ScriptEngine(const ScriptEngine&) = delete;
    ScriptEngine& operator=(const ScriptEngine&) = delete;

    // Closes the interpreter if one is open, then opens a fresh one.
    virtual void Start();

    // Push onto L (the state a host function received); nothing happens when
    // the engine is not started. The stack grows as needed.
    virtual void PushString(lua_State* L, const String& text);
    virtual void PushNumber(lua_State* L, double value);
    virtual void PushBoolean(lua_State* L, int value);

    // Makes `function` the global `name`. Nothing happens when not started.
    virtual void RegisterFunction(LuaCFunction function, const String& name);

    // Empties the argument list and forgets the last result. The error text
    // and code stay.
    virtual void ClearArguments();

    // The argument at `index` of L; a value of the wrong kind fails the call
    // with Lua's "bad argument" error. These work whether started or not.
    virtual String ArgString(lua_State* L, int index);
    virtual double ArgNumber(lua_State* L, int index);
    // The number truncated toward zero (clamped to the int range).
    virtual int ArgInt(lua_State* L, int index);

    // Append one argument for the following calls. Arguments stay queued
    // across calls until ClearArguments.
    virtual void AddStringArgument(const String& text);
    virtual void AddNumberArgument(double value);
    virtual void AddBooleanArgument(int value);

    // Calls the global function `name` with the queued arguments, asking for
    // wantResult results (-1: all of them). With wantResult non-zero the last
    // of those (the first result for 1) is taken: a number, or a string that
    // reads as one, gives SCRIPT_NUMBER; a boolean SCRIPT_BOOLEAN; another
    // string SCRIPT_STRING; anything else (nil, no value, a table ...) leaves
    // the result as it was. Nothing is left on the interpreter's stack.
    // Returns 1, or 0 after recording the failure (a missing global is a
    // run-time error).
    virtual int CallFunction(const String& name, int wantResult);
    virtual int ResultType();
    virtual double NumberResult();
    virtual int BooleanResult();
    virtual String StringResult();

    // Records the text on top of the interpreter's stack (empty when it is no
    // string) with `code`, then empties the stack.
    virtual void SetError(int code);

    // Compiles `text` (the chunk is named after its own text) and keeps it
    // for RunScript. Returns 1, or 0 with the failure recorded; a failure
    // forgets any script loaded before.
    virtual int LoadScript(const String& text);
    // Loads and runs a script file (backslashes in the path read as "/").
    // A failure is recorded and its text also written to standard error, as
    // one line in the escaped form of LastErrorText (last_error.h).
    virtual int RunFile(const String& path);
    // Runs the loaded script; each call runs it again from the start.
    virtual int RunScript();

    virtual String ErrorText();
    virtual int ErrorCode();

    // Closes the interpreter; the engine is not started afterwards.
    virtual void Stop();
    virtual int IsStarted();

    // The interpreter, for direct use of the Lua API; null when not started.
    // Host functions that call the Lua API themselves get its memory errors
    // as Lua raises them (Push... never fails for memory).
    lua_State* State() const noexcept { return state_; }

    int32_t Powers() const noexcept { return powers_; }
    // The ceiling in bytes, 0 for none.
    int64_t MemoryLimit() const noexcept { return memoryLimit_; }
    // The bytes the interpreter holds now; 0 when not started.
    int64_t MemoryInUse() const;

private:
    class Running;

    int OwnFailure(const char* text);
    int LoadFailed();
    int InterpreterFailure(lua_State* L, int base, int status);
    int StackFailure();
    void TakeResult(lua_State* L, int index);
    void CloseState();
    void CloseRetired();

    // An argument in the form it is pushed in, made once from the list.
    struct PushedArgument {
        int kind;
        double number;
        std::string bytes;
        int flag;
    };
    void PrepareArguments();

    int32_t powers_ = SCRIPT_POWERS_ALL;
    int64_t memoryLimit_ = 0;
    int started_ = 0;
    String scriptText_;
    String errorText_;
    int errorCode_ = 0;
    lua_State* state_ = nullptr;
    Ref<TLinkedList> arguments_;
    String stringResult_;
    double numberResult_ = 0.0;
    int booleanResult_ = 0;
    int resultType_ = SCRIPT_NONE;

    std::vector<PushedArgument> pushed_;  // the arguments, ready to push
    bool pushedStale_ = false;            // the list changed since pushed_ was made
    int depth_ = 0;                       // interpreter calls in progress
    std::vector<lua_State*> retired_;     // closed when the outermost call returns
};

// The engine whose interpreter L belongs to (coroutines included), or the
// null object.
Ref<ScriptEngine> ScriptEngineOf(lua_State* L);

// The module's initialiser ("script engine").
int InitScriptEngine();

}  // namespace korva
