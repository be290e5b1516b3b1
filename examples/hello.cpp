// The smallest KorvaGL program: start the framework, report where it runs.
#include <korvagl/korvagl.h>

#include <cstdio>

using namespace korva;

int main(int argc, char** argv) {
    return RunApplication(argc, argv, [] {
        std::printf("KorvaGL started in %s\n", ProgramDir().ToBytes().c_str());
        std::printf("called from %s with %zu arguments\n", StartDir().ToBytes().c_str(), ProgramArgs().size());
        return 0;
    });
}
