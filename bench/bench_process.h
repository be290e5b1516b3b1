// Small helpers of the benchmarks that compare against other programs:
// writing an input file, running a program to completion, running a Python
// script for a number.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace korva::bench {

inline void WriteFile(const std::string& path, const void* data, size_t size) {
    std::ofstream out(path, std::ios::binary);
    out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// Runs a program to completion, its standard output going to `outputPath`;
// its exit code, or -1 when it did not start or did not exit.
inline int Run(const std::vector<std::string>& args, const std::string& outputPath = "/dev/null") {
    std::vector<char*> argv;
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    const int failed = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failed) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Runs `script` (written to dir/name.py) with the system's Python, where
// Debian's python3-pil belongs, and reads the one number it prints; -1 when
// it fails (Pillow missing, say).
inline double RunPythonForNumber(const std::string& dir, const std::string& name, const std::string& script,
                                 const std::vector<std::string>& args) {
    const std::string scriptPath = dir + "/" + name + ".py", resultPath = dir + "/" + name + ".txt";
    WriteFile(scriptPath, script.data(), script.size());
    std::vector<std::string> command = {access("/usr/bin/python3", X_OK) == 0 ? "/usr/bin/python3" : "python3",
                                        scriptPath};
    command.insert(command.end(), args.begin(), args.end());
    if (Run(command, resultPath) != 0) return -1;
    std::ifstream in(resultPath);
    double number = -1;
    in >> number;
    return number;
}

}  // namespace korva::bench
