// LoadScript on arbitrary text: compiling must fail cleanly, never crash.
// The chunk is compiled only, never run (scripts may reach files and
// processes). The same bytes as a precompiled chunk go through a script's
// load, in each of its forms: always refused.
#include <cstddef>
#include <cstdint>
#include <string>

#include "korvagl/korvagl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace korva;
    static const Ref<ScriptEngine> engine = [] {
        InitScriptEngine();
        Ref<ScriptEngine> made = New<ScriptEngine>();
        made->LoadScript(
            "function refused(s, how) "
            "  local f "
            "  if how == 0 then f = load(s) "
            "  elseif how == 1 then f = load(s, 'chunk', 'b') "
            "  else local given = false f = load(function() if given then return nil end given = true return s end) end "
            "  return f == nil "
            "end");
        made->RunScript();
        return made;
    }();
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    engine->ClearArguments();
    engine->AddStringArgument(String(bytes[0] == '\x1B' ? bytes : "\x1B" + bytes));
    engine->AddNumberArgument(size % 3);
    if (!engine->CallFunction("refused", 1) || engine->ResultType() != SCRIPT_BOOLEAN || !engine->BooleanResult()) {
        __builtin_trap();
    }
    const String text(bytes);
    if (!engine->LoadScript(text)) {
        // A failed load is always the interpreter's failure, with its code.
        if (engine->ErrorCode() < SCRIPT_ERROR_RUN || engine->ErrorCode() > SCRIPT_ERROR_HANDLER) __builtin_trap();
    }
    return 0;
}
