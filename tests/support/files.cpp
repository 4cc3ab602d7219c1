#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::string contents;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        char buffer[65536];
        size_t got;
        while ((got = std::fread(buffer, 1, sizeof buffer, file)) > 0) contents.append(buffer, got);
        std::fclose(file);
    }
    return contents;
}

bool writeFile(const fs::path& path, const std::string& contents) {
    if (path.has_parent_path()) {
        std::error_code error;
        fs::create_directories(path.parent_path(), error);
        if (error) {
            ADD_FAILURE() << "cannot make " << path.parent_path().string() << ": "
                          << error.message();
            return false;
        }
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        ADD_FAILURE() << "cannot write " << path.string() << ": " << std::strerror(errno);
        return false;
    }
    bool written = std::fwrite(contents.data(), 1, contents.size(), file) == contents.size();
    int writeErrno = errno;
    if (std::fclose(file) != 0 && written) {
        written = false;
        writeErrno = errno;
    }
    if (!written)
        ADD_FAILURE() << "cannot write " << path.string() << ": " << std::strerror(writeErrno);
    return written;
}
