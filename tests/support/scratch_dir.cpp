#include "tests/support/scratch_dir.h"

#include <stdlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <system_error>

namespace fs = std::filesystem;

ScratchDir::ScratchDir(const std::string& prefix) {
    std::error_code error;
    fs::path base = fs::temp_directory_path(error);
    if (error)
        base = "/tmp";
    std::string pattern = (base / (prefix + "-XXXXXX")).string();
    if (mkdtemp(&pattern[0]) == nullptr)
        throw std::runtime_error("cannot make a scratch directory " + pattern + ": " +
                                 std::strerror(errno));
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::vector<std::string> ScratchDir::entries() const {
    return directoryEntries(path_);
}

bool ScratchDir::ok() const {
    std::error_code ignored;
    return fs::is_directory(path_, ignored);
}

std::vector<std::string> directoryEntries(const std::string& path) {
    std::vector<std::string> names;
    for (const fs::directory_entry& entry : fs::directory_iterator(path))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}
