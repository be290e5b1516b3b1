// A program built against the installed KorvaGL package.
#include <korvagl/korvagl.h>

#include <cstdio>

int main(int argc, char** argv) {
    return korva::RunApplication(argc, argv, [] {
        std::printf("consumer ran with %zu arguments\n", korva::ProgramArgs().size());
        return 0;
    });
}
