// Small helpers shared by the wizard tests.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>

// A temporary directory, removed with its content at the end of the scope.
class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/stage3-test-XXXXXX";
        path_ = mkdtemp(pattern);
    }
    ~TempDir() { system(("rm -rf '" + path_ + "'").c_str()); }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

inline std::string readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream content;
    content << in.rdbuf();
    return content.str();
}

inline void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}
