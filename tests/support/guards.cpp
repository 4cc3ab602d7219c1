#include "tests/support/guards.h"

#include <stdlib.h>

#include <clocale>
#include <cstdlib>
#include <system_error>

namespace fs = std::filesystem;

EnvVar::EnvVar(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = std::getenv(name))
        old_ = old;
    set(value);
}

EnvVar::~EnvVar() {
    set(old_);
}

void EnvVar::set(const std::optional<std::string>& value) const {
    if (value)
        setenv(name_.c_str(), value->c_str(), 1);
    else
        unsetenv(name_.c_str());
}

ChangeDir::ChangeDir(const fs::path& to) : previous_(fs::current_path()) {
    fs::current_path(to);
}

ChangeDir::~ChangeDir() {
    std::error_code ignored;
    fs::current_path(previous_, ignored);
}

LocaleGuard::LocaleGuard(const char* name) {
    const char* current = std::setlocale(LC_ALL, nullptr);
    previous_ = current ? current : "C";
    ok_ = std::setlocale(LC_ALL, name) != nullptr;
}

LocaleGuard::~LocaleGuard() {
    std::setlocale(LC_ALL, previous_.c_str());
}
