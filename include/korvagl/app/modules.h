// KorvaGL: module start-up.
//
// Every module has a run-once initialiser `int InitXxx()`. It sets its flag
// first (so import cycles end), runs InitRuntime(), then the initialisers of
// the modules it imports in their listed order, then its own top-level work
// (registering openers and decoders, creating default drivers), and returns 0.
// Registries fill only through initialisers, never through static
// constructors, so the order of registration is always the documented one.
#pragma once

#include <vector>

#include "korvagl/app/string.h"

namespace korva {

// The runtime module: sets its flag, nothing else.
int InitRuntime();
// The application stub: the first module start-up runs.
int InitApplicationStub();
// The stream kinds and small utilities every program may use.
int InitStreamUtilities();
// Every module of the framework, in the documented order. RunApplication
// calls it; programs that do not start through RunApplication call it once
// before using the framework.
int InitKorvaGL();

// The names of the modules whose top-level work has run, in the order it ran.
const std::vector<String>& StartedModules();

namespace detail {
// Called by each initialiser right before its own top-level work.
void NoteModuleStarted(const char* name);
}  // namespace detail

}  // namespace korva
