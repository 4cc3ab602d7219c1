// Helpers of the services tests: the test databases built from data/*/ PO files
// and bytes shown as hex. Scratch directories, whole-file access and the
// environment, working directory and locale guards come from tests/support.
#pragma once

#include <filesystem>
#include <string>

#include "tests/support/files.h"
#include "tests/support/guards.h"
#include "tests/support/scratch_dir.h"

namespace svctest {

// Path of a test database built from data/<name>/*.po.
inline std::filesystem::path testDatabase(const char* name) {
    return std::filesystem::path(TEST_BUILD_DIR) / name / "setupresDB";
}

// Bytes shown as hex pairs, for readable failure messages.
inline std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char c : bytes) {
        if (!text.empty())
            text += ' ';
        text += digits[c >> 4];
        text += digits[c & 0xF];
    }
    return text;
}

}  // namespace svctest
