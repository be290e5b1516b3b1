// ScriptEngine: one Lua interpreter, its argument list and its last result.
//
// The engine keeps the interpreter's stack as it found it: every operation
// notes the top on entry and returns to it, so results that are not taken
// never pile up. The loaded chunk lives in the registry, not on the stack, so
// that RunScript can run it again and no failure can leave the stack without
// it. Everything that may run Lua code (a metamethod of the global table
// included) runs inside a protected call.
#include "korvagl/script/script_engine.h"

#include <lua.hpp>

#include <algorithm>
#include <cstdio>
#include <string>
#include <string_view>

#include "korvagl/app/last_error.h"
#include "korvagl/app/modules.h"
#include "korvagl/stream/file_stream.h"
#include "korvagl/stream/file_system.h"
#include "korvagl/stream/tcp_stream.h"
#include "script/script_libraries.h"

namespace korva {
namespace {

constexpr const char* kNotStarted = "ScriptEngine: Engine is not started";
constexpr const char* kNoScript = "ScriptEngine: No script text to execute";

// Registry keys: the loaded chunk, and the engine that owns the interpreter.
const char kChunkKey = 0;
const char kEngineKey = 0;

// The one place where Lua 5.4's status codes become the engine's error codes.
int ErrorCodeOf(int status) {
    switch (status) {
    case LUA_ERRRUN: return SCRIPT_ERROR_RUN;
    case LUA_ERRFILE: return SCRIPT_ERROR_FILE;
    case LUA_ERRSYNTAX: return SCRIPT_ERROR_SYNTAX;
    case LUA_ERRMEM: return SCRIPT_ERROR_MEMORY;
    case LUA_ERRERR: return SCRIPT_ERROR_HANDLER;
    default: return SCRIPT_ERROR_RUN;  // a yield cannot leave a protected call here
    }
}

String ToText(const char* bytes, size_t length) { return bytes ? String(std::string_view(bytes, length)) : String(); }

// The text of the value on top of L; empty when it is neither string nor number.
String TopText(lua_State* L, int base) {
    if (lua_gettop(L) <= base) return String();
    size_t length = 0;
    const char* bytes = lua_tolstring(L, -1, &length);
    return ToText(bytes, length);
}

// The libraries a script sees. Argument 1 is the engine, 2 its powers.
int OpenLibraries(lua_State* L) {
    const auto powers = static_cast<int32_t>(lua_tointeger(L, 2));
    lua_settop(L, 1);
    detail::OpenScriptLibraries(L, powers);
    lua_rawsetp(L, LUA_REGISTRYINDEX, &kEngineKey);
    return 0;
}

// lua_pcall with the memory ceiling in force: the engine's way of running
// script code.
int ProtectedCall(lua_State* L, int arguments, int results) {
    detail::TCeilingScope armed(L, true);
    return lua_pcall(L, arguments, results, 0);
}

// Stack: the function's name, then its arguments. Looks the global up (its
// metamethods may run, hence inside the protected call) and calls it.
int CallGlobal(lua_State* L) {
    const int arguments = lua_gettop(L) - 1;
    lua_pushglobaltable(L);
    lua_pushvalue(L, 1);
    lua_gettable(L, -2);
    lua_replace(L, 1);
    lua_pop(L, 1);
    lua_call(L, arguments, LUA_MULTRET);
    return lua_gettop(L);
}

// Stack: a name, a value. Makes the value that global.
int SetGlobal(lua_State* L) {
    lua_pushglobaltable(L);
    lua_insert(L, 1);
    lua_settable(L, 1);
    return 0;
}

void Close(lua_State* L) {
    // Finalisers that run while closing must not find the engine any more.
    lua_pushnil(L);
    lua_rawsetp(L, LUA_REGISTRYINDEX, &kEngineKey);
    detail::TMemoryCeiling* ceiling = detail::TMemoryCeiling::Of(L);
    lua_close(L);
    delete ceiling;
}

// Pushes the low byte of each unit; short texts skip the heap.
void PushBytes(lua_State* L, const String& text) {
    const int32_t length = text.Length();
    if (length > 64) {
        const std::string bytes = text.ToBytes();
        lua_pushlstring(L, bytes.data(), bytes.size());
        return;
    }
    char bytes[64];
    const char16_t* units = text.Units();
    for (int32_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(units[i]);
    lua_pushlstring(L, bytes, static_cast<size_t>(length));
}

}  // namespace

// Marks an interpreter call in progress. The engine stays alive through it
// even if a host function drops the last reference, and interpreters that a
// host function stopped meanwhile are closed when the outermost call ends.
// The engine's own steps are not held to the memory ceiling, only the script
// code it runs (ProtectedCall).
class ScriptEngine::Running {
public:
    // An engine made by New is kept alive; one made otherwise is never
    // deleted by a Ref, so holding one is harmless.
    explicit Running(ScriptEngine& engine)
        : engine_(engine), keep_(&engine), unlimited_(engine.state_, false) {
        ++engine_.depth_;
    }
    ~Running() {
        unlimited_.Restore();  // while the interpreter is still open
        if (--engine_.depth_ == 0) engine_.CloseRetired();
    }
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;

private:
    ScriptEngine& engine_;
    Ref<ScriptEngine> keep_;
    detail::TCeilingScope unlimited_;
};

ScriptEngine::ScriptEngine() : arguments_(NewList()) { ScriptEngine::Start(); }

ScriptEngine::ScriptEngine(int32_t powers, int64_t memoryLimit)
    : powers_(powers & SCRIPT_POWERS_ALL), memoryLimit_(memoryLimit < 0 ? 0 : memoryLimit), arguments_(NewList()) {
    ScriptEngine::Start();
}

ScriptEngine::~ScriptEngine() {
    CloseState();
    CloseRetired();
}

void ScriptEngine::Start() {
    CloseState();
    lua_State* L = luaL_newstate();
    if (!L) return;
    if (memoryLimit_ > 0) detail::TMemoryCeiling::Install(L, memoryLimit_);
    lua_pushcfunction(L, OpenLibraries);
    lua_pushlightuserdata(L, this);
    lua_pushinteger(L, powers_);
    if (ProtectedCall(L, 2, 0) != LUA_OK) {
        Close(L);
        return;
    }
    state_ = L;
    started_ = 1;
}

// What host functions push and read is the host's, never refused for memory.
void ScriptEngine::PushString(lua_State* L, const String& text) {
    if (!started_ || !L) return;
    detail::TCeilingScope unlimited(L, false);
    luaL_checkstack(L, 1, nullptr);
    PushBytes(L, text);
}

void ScriptEngine::PushNumber(lua_State* L, double value) {
    if (!started_ || !L) return;
    detail::TCeilingScope unlimited(L, false);
    luaL_checkstack(L, 1, nullptr);
    lua_pushnumber(L, value);
}

void ScriptEngine::PushBoolean(lua_State* L, int value) {
    if (!started_ || !L) return;
    detail::TCeilingScope unlimited(L, false);
    luaL_checkstack(L, 1, nullptr);
    lua_pushboolean(L, value);
}

void ScriptEngine::RegisterFunction(LuaCFunction function, const String& name) {
    if (!started_) return;
    lua_State* L = state_;
    Running running(*this);
    const int base = lua_gettop(L);
    if (!lua_checkstack(L, 4)) {
        StackFailure();
        return;
    }
    lua_pushcfunction(L, SetGlobal);
    PushBytes(L, name);
    LuaPushFunction(L, function);
    const int status = ProtectedCall(L, 2, 0);
    if (status != LUA_OK) InterpreterFailure(L, base, status);
}

void ScriptEngine::ClearArguments() {
    arguments_->Clear();
    pushedStale_ = true;
    resultType_ = SCRIPT_NONE;
    stringResult_ = String();
    numberResult_ = 0.0;
    booleanResult_ = 0;
}

String ScriptEngine::ArgString(lua_State* L, int index) {
    detail::TCeilingScope unlimited(L, false);  // a number becomes a string in place
    LuaCheckString(L, index);
    // The value is a string now; take all its bytes, zeros included.
    size_t length = 0;
    const char* bytes = lua_tolstring(L, index, &length);
    return ToText(bytes, length);
}

double ScriptEngine::ArgNumber(lua_State* L, int index) { return LuaCheckNumber(L, index); }

int ScriptEngine::ArgInt(lua_State* L, int index) { return LuaCheckInt(L, index); }

void ScriptEngine::AddStringArgument(const String& text) {
    const Ref<ScriptArgument> argument = New<ScriptArgument>();
    argument->kind = SCRIPT_STRING;
    argument->text = text;
    arguments_->AddLast(argument);
    pushedStale_ = true;
}

void ScriptEngine::AddNumberArgument(double value) {
    const Ref<ScriptArgument> argument = New<ScriptArgument>();
    argument->kind = SCRIPT_NUMBER;
    argument->number = value;
    arguments_->AddLast(argument);
    pushedStale_ = true;
}

void ScriptEngine::AddBooleanArgument(int value) {
    const Ref<ScriptArgument> argument = New<ScriptArgument>();
    argument->kind = SCRIPT_BOOLEAN;
    argument->flag = value;
    arguments_->AddLast(argument);
    pushedStale_ = true;
}

// Walks the argument list once after it changed and keeps each argument in
// the form it is pushed in, so that repeated calls convert nothing.
void ScriptEngine::PrepareArguments() {
    pushed_.clear();
    for (const Ref<TListCursor> cursor = arguments_->Enumerate(); cursor->HasMore();) {
        const Ref<ScriptArgument> argument = DownCast<ScriptArgument>(cursor->NextValue());
        if (!argument) continue;
        switch (argument->kind) {
        case SCRIPT_NUMBER:
        case SCRIPT_BOOLEAN: pushed_.push_back({argument->kind, argument->number, {}, argument->flag}); break;
        case SCRIPT_STRING: pushed_.push_back({argument->kind, 0.0, argument->text.ToBytes(), 0}); break;
        default: break;  // no value to push
        }
    }
    pushedStale_ = false;
}

int ScriptEngine::CallFunction(const String& name, int wantResult) {
    if (!started_) return OwnFailure(kNotStarted);
    lua_State* L = state_;
    Running running(*this);
    if (pushedStale_) PrepareArguments();
    const int base = lua_gettop(L);
    const int arguments = static_cast<int>(pushed_.size());
    if (!lua_checkstack(L, arguments + 3)) return StackFailure();

    // Without a metatable on the global table the lookup is a plain read that
    // cannot fail; otherwise its metamethods run inside the protected call.
    int called = 0;  // the values below the arguments that the call consumes
    lua_pushglobaltable(L);
    if (!lua_getmetatable(L, -1)) {
        PushBytes(L, name);
        lua_rawget(L, -2);
        lua_remove(L, -2);
    } else {
        lua_settop(L, base);
        lua_pushcfunction(L, CallGlobal);
        PushBytes(L, name);
        called = 1;
    }
    for (const PushedArgument& argument : pushed_) {
        switch (argument.kind) {
        case SCRIPT_NUMBER: lua_pushnumber(L, argument.number); break;
        case SCRIPT_STRING: lua_pushlstring(L, argument.bytes.data(), argument.bytes.size()); break;
        default: lua_pushboolean(L, argument.flag); break;
        }
    }

    // All results are kept and the wanted one is picked out: Lua keeps a
    // wanted count in 16 bits, so a large one would be cut. A result past the
    // returned ones would be nil, which is no result.
    const int status = ProtectedCall(L, arguments + called, wantResult != 0 ? LUA_MULTRET : 0);
    if (status != LUA_OK) return InterpreterFailure(L, base, status);
    const int returned = lua_gettop(L) - base;
    const int wanted = wantResult < 0 ? returned : wantResult;
    if (wanted > 0 && wanted <= returned) TakeResult(L, base + wanted);
    lua_settop(L, base);
    return 1;
}

// Numbers first, so a string that reads as a number comes back as one.
void ScriptEngine::TakeResult(lua_State* L, int index) {
    int isNumber = 0;
    const lua_Number number = lua_tonumberx(L, index, &isNumber);
    if (isNumber) {
        resultType_ = SCRIPT_NUMBER;
        numberResult_ = number;
    } else if (lua_type(L, index) == LUA_TBOOLEAN) {
        resultType_ = SCRIPT_BOOLEAN;
        booleanResult_ = lua_toboolean(L, index);
    } else if (lua_isstring(L, index)) {
        size_t length = 0;
        const char* bytes = lua_tolstring(L, index, &length);
        resultType_ = SCRIPT_STRING;
        stringResult_ = ToText(bytes, length);
    }
}

int ScriptEngine::ResultType() { return resultType_; }

double ScriptEngine::NumberResult() { return numberResult_; }

int ScriptEngine::BooleanResult() { return booleanResult_; }

String ScriptEngine::StringResult() { return stringResult_; }

void ScriptEngine::SetError(int code) {
    errorText_ = state_ ? TopText(state_, 0) : String();
    errorCode_ = code;
    if (state_) lua_settop(state_, 0);
}

// LoadScript and RunFile are loading calls: a failure is also this thread's
// LastErrorText, a success clears it.
int ScriptEngine::LoadFailed() {
    detail::SetLastErrorText(errorText_);
    return 0;
}

int ScriptEngine::LoadScript(const String& text) {
    scriptText_ = String();
    detail::ClearLastErrorText();
    if (!started_) {
        OwnFailure(kNotStarted);
        return LoadFailed();
    }
    lua_State* L = state_;
    Running running(*this);  // finalisers may run while the compiler allocates
    const int base = lua_gettop(L);
    if (!lua_checkstack(L, 2)) {
        StackFailure();
        return LoadFailed();
    }
    const std::string bytes = text.ToBytes();
    const int status = luaL_loadbufferx(L, bytes.data(), bytes.size(), bytes.c_str(), "t");
    if (status != LUA_OK) {
        InterpreterFailure(L, base, status);
        lua_pushnil(L);
        lua_rawsetp(L, LUA_REGISTRYINDEX, &kChunkKey);
        return LoadFailed();
    }
    lua_rawsetp(L, LUA_REGISTRYINDEX, &kChunkKey);
    scriptText_ = text;
    return 1;
}

namespace {

// Compiles the text of a script file as the stand-alone interpreter does: a
// byte-order mark and a first line starting with "#" are skipped, the line
// count kept.
int LoadChunkText(lua_State* L, std::string text, const std::string& name) {
    size_t from = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
    if (from < text.size() && text[from] == '#') {
        const size_t end = text.find('\n', from);
        from = end == std::string::npos ? text.size() : end;
    }
    const std::string chunkName = "@" + name;
    return luaL_loadbufferx(L, text.data() + from, text.size() - from, chunkName.c_str(), "t");
}

// Compiles the script at `path` (a file name or any URL) onto the stack, or
// pushes the reason it cannot be read. A file is opened without waiting (a
// FIFO is refused); a URL is read whole under the load limit.
int LoadChunkFrom(lua_State* L, const String& path) {
    const std::string shown = path.ToUtf8();
    if (path.Find("::") >= 0) {
        Ref<TByteStream> stream = OpenForLoading(path);
        ByteArray bytes;
        try {
            if (stream) bytes = detail::ReadAllAndClose(stream);
        } catch (const TFault& fault) {
            detail::SetLastErrorTextIfNone("cannot read " + detail::Quoted(path) + ": " + fault.ToString());
            stream = nullptr;
        }
        if (!stream) {
            const std::string reason = LastErrorText().ToUtf8();
            lua_pushlstring(L, reason.data(), reason.size());
            return LUA_ERRFILE;
        }
        return LoadChunkText(L, std::string(bytes.begin(), bytes.end()), shown);
    }
    // A unit above 0xFF or a NUL would narrow into the name of another file.
    const std::string name = detail::NativePath(path);
    const char* cause = "not a valid file name";
    std::FILE* file = name.empty() ? nullptr : detail::OpenFileForLoading(name, cause);
    if (!file) {
        lua_pushfstring(L, "cannot open %s: %s", shown.c_str(), cause);
        return LUA_ERRFILE;
    }
    std::string text;
    char buffer[65536];
    size_t n = 0;
    // A device that never ends (/dev/zero) stops at the load limit.
    const size_t limit = NetworkLoadLimit() > 0 ? size_t(NetworkLoadLimit()) : SIZE_MAX;
    while (text.size() <= limit && (n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed || text.size() > limit) {
        lua_pushfstring(L, failed ? "cannot read %s" : "cannot read %s: more than %d bytes", shown.c_str(),
                        NetworkLoadLimit());
        return LUA_ERRFILE;
    }
    return LoadChunkText(L, std::move(text), name);
}

}  // namespace

int ScriptEngine::RunFile(const String& path) {
    detail::ClearLastErrorText();
    if (!started_) {
        OwnFailure(kNotStarted);
        return LoadFailed();
    }
    lua_State* L = state_;
    Running running(*this);
    const int base = lua_gettop(L);
    if (!lua_checkstack(L, 2)) {
        StackFailure();
        return LoadFailed();
    }
    int status = LoadChunkFrom(L, path);
    if (status == LUA_OK) status = ProtectedCall(L, 0, LUA_MULTRET);
    if (status != LUA_OK) {
        InterpreterFailure(L, base, status);
        // One line, in the form LastErrorText and the log give it.
        const std::string message = detail::Escaped(errorText_).ToUtf8();
        std::fprintf(stderr, "%s\n", message.c_str());
        return LoadFailed();
    }
    lua_settop(L, base);
    return 1;
}

int ScriptEngine::RunScript() {
    if (!started_) return OwnFailure(kNotStarted);
    if (scriptText_.IsEmpty()) return OwnFailure(kNoScript);
    lua_State* L = state_;
    Running running(*this);
    const int base = lua_gettop(L);
    if (!lua_checkstack(L, 1)) return StackFailure();
    lua_rawgetp(L, LUA_REGISTRYINDEX, &kChunkKey);
    const int status = ProtectedCall(L, 0, 0);
    if (status != LUA_OK) return InterpreterFailure(L, base, status);
    lua_settop(L, base);
    return 1;
}

String ScriptEngine::ErrorText() { return errorText_; }

int ScriptEngine::ErrorCode() { return errorCode_; }

void ScriptEngine::Stop() { CloseState(); }

int ScriptEngine::IsStarted() { return started_; }

int64_t ScriptEngine::MemoryInUse() const {
    if (!state_) return 0;
    return int64_t{lua_gc(state_, LUA_GCCOUNT, 0)} * 1024 + lua_gc(state_, LUA_GCCOUNTB, 0);
}

int ScriptEngine::OwnFailure(const char* text) {
    errorText_ = text;
    errorCode_ = 0;
    return 0;
}

int ScriptEngine::InterpreterFailure(lua_State* L, int base, int status) {
    errorText_ = TopText(L, base);
    errorCode_ = ErrorCodeOf(status);
    lua_settop(L, base);
    return 0;
}

// The stack cannot grow by what an operation needs (only near Lua's own
// limit of a million slots); reported as Lua reports its stack overflow.
int ScriptEngine::StackFailure() {
    errorText_ = "stack overflow";
    errorCode_ = SCRIPT_ERROR_RUN;
    return 0;
}

// Forgets the interpreter at once; closes it now, or when the running call
// that may still be inside it has returned.
void ScriptEngine::CloseState() {
    lua_State* L = state_;
    state_ = nullptr;
    started_ = 0;
    scriptText_ = String();
    if (!L) return;
    if (depth_ > 0) {
        retired_.push_back(L);
    } else {
        Close(L);
    }
}

void ScriptEngine::CloseRetired() {
    while (!retired_.empty()) {
        lua_State* L = retired_.back();
        retired_.pop_back();
        Close(L);
    }
}

Ref<ScriptEngine> ScriptEngineOf(lua_State* L) {
    if (!L || !lua_checkstack(L, 1)) return nullptr;
    lua_rawgetp(L, LUA_REGISTRYINDEX, &kEngineKey);
    auto* engine = static_cast<ScriptEngine*>(lua_touserdata(L, -1));
    lua_pop(L, 1);
    return Ref<ScriptEngine>(engine);
}

int InitScriptEngine() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitLinkedList();
    InitLuaBinding();
    detail::NoteModuleStarted("script engine");
    return 0;
}

}  // namespace korva
