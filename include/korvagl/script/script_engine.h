// KorvaGL: ScriptEngine, one embedded Lua interpreter.
//
// An engine opens a Lua 5.4 interpreter with the base (with coroutines),
// table, io, os, string and math libraries (no debug or package library),
// loads and runs script text or script files, calls a global script function
// with a list of typed arguments and takes back one typed result, and lets the
// host register its own functions under global names.
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
// precompiled chunks are refused (they can crash the interpreter).
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
    ScriptEngine();
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
    // A failure is recorded and its text also written to standard error.
    virtual int RunFile(const String& path);
    // Runs the loaded script; each call runs it again from the start.
    virtual int RunScript();

    virtual String ErrorText();
    virtual int ErrorCode();

    // Closes the interpreter; the engine is not started afterwards.
    virtual void Stop();
    virtual int IsStarted();

    // The interpreter, for direct use of the Lua API; null when not started.
    lua_State* State() const noexcept { return state_; }

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
