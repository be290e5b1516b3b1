// KorvaGL: program start-up.
//
// A program hands its entry to RunApplication, which
//   1. installs the fault handlers: a processor fault (SIGSEGV, SIGBUS,
//      SIGFPE, SIGILL raised by the kernel) reports
//      "Unhandled Memory Exception Error"; a signal sent by a process
//      (SIGTERM, SIGABRT, kill, raise) reports "Received Signal". With
//      KORVAGL_NATIVE_FAULTS=1 in the environment none is installed: those
//      signals and std::terminate keep their default actions, so core dumps,
//      debuggers and sanitizer reports work;
//   2. records StartDir, ProgramDir, ProgramPath and ProgramArgs;
//   3. makes ProgramDir the current directory, so relative paths resolve
//      against the program's own directory;
//   4. runs every module initialiser in the documented order (InitKorvaGL);
//   5. runs `app` and returns its result as the exit code.
// A fault that `app` does not catch ends the process with exit code -1 (255
// to the shell) after writing to standard error its text and, on the next
// line, the reason the last failed call recorded (LastErrorText(), when
// there is one), each line ended:
//   Unable to set graphics mode
//   cannot open a window of 640 x 480: no display (DISPLAY and WAYLAND_DISPLAY are unset)
// The reason is the latest of this thread, so it may come from an earlier
// failure the program handled; KORVAGL_LOG=1 shows every reason as it comes.
#pragma once

#include <functional>

#include "korvagl/app/object.h"

namespace korva {

using Application = std::function<int()>;

int RunApplication(int argc, char** argv, const Application& app);

// Start-up records, set once before any module runs.
const String& StartDir();     // the current directory at process start
const String& ProgramDir();   // the directory of the program file, no trailing "/"
const String& ProgramPath();  // the full path of the program file
const StringArray& ProgramArgs();  // the arguments, the program name first

// The uncaught-fault path: writes `text` and the last recorded reason to
// standard error as above, flushes it and ends the process with exit code -1
// (exit handlers run).
[[noreturn]] void EndWithFault(const String& text);

}  // namespace korva
