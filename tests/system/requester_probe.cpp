// Runs one console requester; its prompt goes to standard output, its result
// to standard error as "result=<value>".
#include <cstdio>
#include <cstring>

#include "korvagl/korvagl.h"

using namespace korva;

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    InitKorvaGL();
    // The base driver asks on the console; "sdl-filename" asks the SDL driver,
    // which falls back to the console when zenity cannot run.
    Ref<TPlatformDriver> console = New<TPlatformDriver>();
    const char* what = argv[1];
    std::string result;
    if (!std::strcmp(what, "notice")) {
        console->ShowNotice("Saved.", 1);
        result = "none";
    } else if (!std::strcmp(what, "yesno")) {
        result = std::to_string(console->AskYesNo("Delete it", 0));
    } else if (!std::strcmp(what, "yesnocancel")) {
        result = std::to_string(console->AskYesNoCancel("Quit", 1));
    } else if (!std::strcmp(what, "filename")) {
        result = console->AskFileName("Open", "png", 0, "x.png").ToBytes();
    } else if (!std::strcmp(what, "sdl-filename")) {
        result = AskFileName("Open", "png", 1, "x.png").ToBytes();
    } else {
        return 2;
    }
    std::fprintf(stderr, "result=%s", result.c_str());
    return 0;
}
