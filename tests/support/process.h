// Test support: run a program as a child process and collect what it did.
#pragma once

#include <string>
#include <vector>

namespace korva::test {

struct ChildResult {
    int exitCode = -1;     // 0..255 when the child exited
    int signal = 0;        // the signal that ended it, or 0
    bool timedOut = false;  // killed after the time limit
    std::string out;       // everything written to standard output
    std::string err;       // everything written to standard error
};

struct ChildOptions {
    std::string workingDirectory;       // empty: the current one
    std::string input;                  // written to standard input, which is then closed
    std::vector<std::string> environment;  // NAME=value entries added to the environment
    int timeoutMs = 20000;
};

// Runs `program` with `args` (args[0] is passed as the program name).
ChildResult RunChild(const std::string& program, const std::vector<std::string>& args,
                     const ChildOptions& options = {});

}  // namespace korva::test
