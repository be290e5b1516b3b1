// A program started by the console tests with piped standard input and
// output: argv[1] says what it does with them.
#include <cstdio>
#include <string>

#include "korvagl/korvagl.h"

using namespace korva;

namespace {

void Report(const std::string& text) { WriteStdout(String(text)); }

int Probe(const std::string& what) {
    if (what == "printline") {
        PrintLine("");
        PrintLine(String(u"ab\u0143"));
        return 0;
    }
    if (what == "input") {
        const String first = InputLine("Name? ");
        const String second = InputLine("Again? ");
        Report("[" + first.ToBytes() + "][" + second.ToBytes() + "]");
        return 0;
    }
    if (what == "stdinline") {
        for (int i = 0; i < 4; ++i) {
            const String line = ReadStdinLine();
            Report(std::to_string(line.Length()) + ":" + line.ToBytes().substr(0, 5) + "\n");
        }
        return 0;
    }
    if (what == "close") {
        ConsoleStream()->Close();
        PrintLine("still here");
        return 0;
    }
    if (what == "readend") {
        // The console never knows its end: a short read fails, a line comes
        // back partial, and reading everything stops at the end of input.
        try {
            ConsoleStream()->ReadInt();
            Report("no error\n");
        } catch (const TStreamReadError& e) {
            Report(e.ToString().ToBytes() + "\n");
        }
        return 0;
    }
    if (what == "partial") {
        Report("[" + ConsoleStream()->ReadLine().ToBytes() + "]");
        Report("[" + ConsoleStream()->ReadLine().ToBytes() + "]");
        return 0;
    }
    if (what == "all") {
        const ByteArray bytes = LoadBytes(Ref<Object>(ConsoleStream()));
        Report(std::to_string(bytes.size()) + " bytes\n");
        return 0;
    }
    if (what == "both") {
        WriteStdout("out");
        WriteStderr(String(u"e\u0000r", 3));
        ConsoleStream()->WriteText("stream");
        return 0;
    }
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    InitStandardIO();
    return Probe(argc > 1 ? argv[1] : "");
}
