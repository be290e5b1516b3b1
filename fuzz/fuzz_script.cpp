// LoadScript on arbitrary text: compiling must fail cleanly, never crash.
// The chunk is compiled only, never run (scripts may reach files and processes).
#include <cstddef>
#include <cstdint>
#include <string>

#include "korvagl/korvagl.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace korva;
    static const Ref<ScriptEngine> engine = [] {
        InitScriptEngine();
        return New<ScriptEngine>();
    }();
    const String text(std::string(reinterpret_cast<const char*>(data), size));
    if (!engine->LoadScript(text)) {
        // A failed load is always the interpreter's failure, with its code.
        if (engine->ErrorCode() < SCRIPT_ERROR_RUN || engine->ErrorCode() > SCRIPT_ERROR_HANDLER) __builtin_trap();
    }
    return 0;
}
