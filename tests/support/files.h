// Whole-file access for tests.
#ifndef STAGE3_TESTS_SUPPORT_FILES_H
#define STAGE3_TESTS_SUPPORT_FILES_H

#include <filesystem>
#include <string>

// The bytes of a file; empty when it cannot be read.
std::string readFile(const std::filesystem::path& path);

// Replaces the file's bytes with `contents`, making missing parent directories
// first. False, with a failure of the running test that says why, when the
// file could not be written in full.
bool writeFile(const std::filesystem::path& path, const std::string& contents);

#endif
