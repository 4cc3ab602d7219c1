// Guards that change a piece of process state for their lifetime and put it
// back afterwards: an environment variable, the working directory, the locale.
#ifndef STAGE3_TESTS_SUPPORT_GUARDS_H
#define STAGE3_TESTS_SUPPORT_GUARDS_H

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

// Sets (or, with nullopt, unsets) an environment variable and restores it.
class EnvVar {
  public:
    EnvVar(const char* name, std::optional<std::string> value);
    ~EnvVar();
    EnvVar(const EnvVar&) = delete;
    EnvVar& operator=(const EnvVar&) = delete;

  private:
    void set(const std::optional<std::string>& value) const;

    std::string name_;
    std::optional<std::string> old_;
};

// Changes the working directory for its lifetime; std::filesystem::filesystem_error
// when it cannot.
class ChangeDir {
  public:
    explicit ChangeDir(const std::filesystem::path& to);
    ~ChangeDir();
    ChangeDir(const ChangeDir&) = delete;
    ChangeDir& operator=(const ChangeDir&) = delete;

  private:
    std::filesystem::path previous_;
};

// Switches the whole process locale (LC_ALL) for its lifetime; ok() is false
// when the locale is not installed.
class LocaleGuard {
  public:
    explicit LocaleGuard(const char* name);
    ~LocaleGuard();
    LocaleGuard(const LocaleGuard&) = delete;
    LocaleGuard& operator=(const LocaleGuard&) = delete;
    bool ok() const { return ok_; }

  private:
    std::string previous_;
    bool ok_ = false;
};

// Skips the current test, with the reason, when the guard's locale is not installed.
#define REQUIRE_LOCALE(guard, name)                                     \
    do {                                                                \
        if (!(guard).ok())                                              \
            GTEST_SKIP() << "locale " << (name) << " is not installed"; \
    } while (0)

#endif
