// Keeps Mesa's driver libraries loaded until the process ends.
//
// Mesa unloads its driver when the display closes (at exit, after SDL shuts
// down); LeakSanitizer then finds the driver's own allocations with nothing
// left to name them by, "<unknown module>", which no suppression can match.
// Holding one reference to each library keeps them mapped, so their globals
// are still scanned and anything reported names its library. Linked into the
// graphics tests, and built as a preload library for programs the tests start.
#include <dlfcn.h>

namespace {

__attribute__((constructor)) void KeepMesaLoaded() {
    static const char* const kLibraries[] = {
        "libGLX_mesa.so.0",
        "libEGL_mesa.so.0",
        "libglapi.so.0",
        "/usr/lib/x86_64-linux-gnu/dri/swrast_dri.so",
        "/usr/lib/x86_64-linux-gnu/dri/kms_swrast_dri.so",
    };
    for (const char* name : kLibraries) dlopen(name, RTLD_LAZY | RTLD_LOCAL);  // never closed
}

}  // namespace
