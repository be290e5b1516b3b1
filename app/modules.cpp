// The runtime module and the record of started modules.
#include "korvagl/app/modules.h"

namespace korva {
namespace {

std::vector<String>& Started() {
    static auto* started = new std::vector<String>;
    return *started;
}

}  // namespace

int InitRuntime() {
    static int initialised = 0;
    if (initialised) return 0;
    initialised = 1;
    detail::NoteModuleStarted("runtime errors");
    return 0;
}

const std::vector<String>& StartedModules() { return Started(); }

void detail::NoteModuleStarted(const char* name) { Started().emplace_back(name); }

}  // namespace korva
