// A program started by the device tests: it opens the audio device the way
// start-up does and tells by its exit code which driver became current
// (0 the silent base driver, 1 the SDL driver). With the argument "time" it
// prints how long opening took.
#include <chrono>
#include <cstdio>
#include <cstring>

#include "korvagl/korvagl.h"

using namespace korva;

int main(int argc, char** argv) {
    const auto start = std::chrono::steady_clock::now();
    InitSDLAudioDriver();
    const auto took = std::chrono::steady_clock::now() - start;
    if (argc > 1 && std::strcmp(argv[1], "time") == 0) {
        std::printf("InitSDLAudioDriver: %.3f ms\n", std::chrono::duration<double, std::milli>(took).count());
    }
    return DownCast<TSDLAudioBackend>(CurrentAudioBackend()) ? 1 : 0;
}
