// Driving a small Lua script: register a host function, load a script, call
// script functions with arguments, read their results and their failures.
#include <korvagl/korvagl.h>

#include <cstdio>

using namespace korva;

// repeat_text(text, times) -> the text repeated; a host function for the script.
int RepeatText(lua_State* L) {
    const Ref<ScriptEngine> engine = ScriptEngineOf(L);
    const String text = engine->ArgString(L, 1);
    const int times = engine->ArgInt(L, 2);  // a bad argument fails the script call
    String out;
    for (int i = 0; i < times; ++i) out += text;
    engine->PushString(L, out);
    return 1;
}

const char* const kScript = R"(
function area(width, height)
    return width * height
end

function banner(word, loud)
    local line = repeat_text(word .. " ", 3)
    if loud then line = string.upper(line) end
    return line
end

function check(speed)
    if speed < 0 then error("speed must not be negative, got " .. speed) end
    return speed > 100
end
)";

void PrintFailure(const Ref<ScriptEngine>& engine) {
    std::printf("failed (code %d): %s\n", engine->ErrorCode(), engine->ErrorText().ToBytes().c_str());
}

int RunScriptDemo() {
    const Ref<ScriptEngine> engine = New<ScriptEngine>();
    if (!engine->IsStarted()) {
        std::printf("no interpreter could be opened\n");
        return 1;
    }
    engine->RegisterFunction(RepeatText, "repeat_text");
    if (!engine->LoadScript(kScript) || !engine->RunScript()) {
        PrintFailure(engine);
        return 1;
    }

    // Arguments stay queued until ClearArguments.
    engine->AddNumberArgument(6);
    engine->AddNumberArgument(7);
    if (engine->CallFunction("area", 1)) std::printf("area(6, 7) = %g\n", engine->NumberResult());

    engine->ClearArguments();
    engine->AddStringArgument("hey");
    engine->AddBooleanArgument(1);
    if (engine->CallFunction("banner", 1)) std::printf("banner: %s\n", engine->StringResult().ToBytes().c_str());

    for (double speed : {120.0, 30.0, -5.0}) {
        engine->ClearArguments();
        engine->AddNumberArgument(speed);
        if (engine->CallFunction("check", 1)) {
            std::printf("check(%g) = %s\n", speed, engine->BooleanResult() ? "too fast" : "fine");
        } else {
            PrintFailure(engine);
        }
    }

    // A function that does not exist is a failure too, never a crash.
    if (!engine->CallFunction("missing", 1)) PrintFailure(engine);

    engine->Stop();
    return 0;
}

int main(int argc, char** argv) { return RunApplication(argc, argv, RunScriptDemo); }
