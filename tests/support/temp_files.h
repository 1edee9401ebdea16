// Files for tests: a temporary folder of a test's own, and whole-file reads and writes.
#pragma once

#include <string>
#include <vector>

// A fresh temporary folder, removed with its contents when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& text);
// The trace as one JSON object per line.
std::vector<std::string> readLines(const std::string& path);
