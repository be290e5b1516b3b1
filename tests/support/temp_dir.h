// Test support: a fresh directory under /tmp, removed with its contents.
#pragma once

#include <string>

namespace korva::test {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& Path() const { return path_; }
    // Path() + "/" + name.
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    // Writes `bytes` to File(name) and returns that path.
    std::string Write(const std::string& name, const std::string& bytes) const;
    // The whole content of a file, or "" when it cannot be read.
    static std::string Read(const std::string& path);

private:
    std::string path_;
};

}  // namespace korva::test
