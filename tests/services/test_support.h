// Helpers shared by the services tests: temporary directories, environment
// and locale guards, and the test databases built from data/*/ PO files.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>

namespace svctest {

namespace fs = std::filesystem;

// A fresh directory under the system temp dir, removed with its content.
class TempDir {
public:
    TempDir() {
        std::string pattern = (fs::temp_directory_path() / "stage3-svc-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const fs::path& path() const { return path_; }
    std::string str() const { return path_.string(); }

private:
    fs::path path_;
};

// Changes the working directory for its lifetime.
class ChangeDir {
public:
    explicit ChangeDir(const fs::path& to) : previous_(fs::current_path()) { fs::current_path(to); }
    ~ChangeDir() {
        std::error_code ignored;
        fs::current_path(previous_, ignored);
    }
    ChangeDir(const ChangeDir&) = delete;
    ChangeDir& operator=(const ChangeDir&) = delete;

private:
    fs::path previous_;
};

// Sets (or, with nullopt, unsets) an environment variable and restores it.
class EnvVar {
public:
    EnvVar(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        set(value);
    }
    ~EnvVar() { set(old_); }
    EnvVar(const EnvVar&) = delete;
    EnvVar& operator=(const EnvVar&) = delete;

private:
    void set(const std::optional<std::string>& value) {
        if (value) setenv(name_.c_str(), value->c_str(), 1);
        else unsetenv(name_.c_str());
    }
    std::string name_;
    std::optional<std::string> old_;
};

// Switches the whole process locale for its lifetime; ok() is false when the
// locale is not installed.
class LocaleGuard {
public:
    explicit LocaleGuard(const char* name) {
        const char* current = std::setlocale(LC_ALL, nullptr);
        previous_ = current ? current : "C";
        ok_ = std::setlocale(LC_ALL, name) != nullptr;
    }
    ~LocaleGuard() { std::setlocale(LC_ALL, previous_.c_str()); }
    LocaleGuard(const LocaleGuard&) = delete;
    LocaleGuard& operator=(const LocaleGuard&) = delete;
    bool ok() const { return ok_; }

private:
    std::string previous_;
    bool ok_ = false;
};

// Path of a test database built from data/<name>/*.po.
inline fs::path testDatabase(const char* name) {
    return fs::path(TEST_BUILD_DIR) / name / "setupresDB";
}

inline void writeFile(const fs::path& path, const std::string& content) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary);
    out << content;
}

// Bytes shown as hex pairs, for readable failure messages.
inline std::string hex(const std::string& bytes) {
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (unsigned char c : bytes) {
        if (!text.empty()) text += ' ';
        text += digits[c >> 4];
        text += digits[c & 0xF];
    }
    return text;
}

}  // namespace svctest

// Skips the current test, with the reason, when a locale is not installed.
#define SVC_REQUIRE_LOCALE(guard, name)                                         \
    do {                                                                        \
        if (!(guard).ok()) GTEST_SKIP() << "locale " << (name) << " is not installed"; \
    } while (0)
