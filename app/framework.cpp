// The framework's own initialisers: the application stub, the stream and
// utility umbrella, and InitKorvaGL, which imports every module in the order
// that makes their top-level work run in the documented sequence.
#include "korvagl/korvagl.h"

namespace korva {

int InitApplicationStub() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    detail::NoteModuleStarted("application stub");
    return 0;
}

// Imports the stream kinds and small utilities every program may use.
int InitStreamUtilities() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    detail::NoteModuleStarted("stream-and-utility umbrella");
    return 0;
}

int InitKorvaGL() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    InitRuntime();
    InitApplicationStub();
    InitStreamUtilities();
    return 0;
}

}  // namespace korva
