// Shared helpers of the interface tests: the text database, files in the
// test's working directory, locale switches and widget read-back.
#pragma once

#include <gtk/gtk.h>

#include <map>
#include <string>

// The text every resource has in the test database (UTF-8, plain ASCII).
std::string textOf(unsigned id);

// Writes "setupresDB" into the working directory with textOf for every
// identifier the wizard uses, `overrides` replacing some, and reloads the
// string service from it.
void installTexts(const std::map<unsigned, std::string>& overrides = {});

// Files in the test's working directory, where findFile looks second.
void writeFile(const std::string& name, const std::string& bytes);
void removeFile(const std::string& name);

std::string labelText(GtkWidget* label);
std::string textViewText(GtkWidget* view);

// Runs the toolkit until no event is pending.
void drainEvents();

// Switches LC_ALL for the scope and back to the tests' UTF-8 locale.
class LocaleScope {
public:
    explicit LocaleScope(const char* locale);
    ~LocaleScope();
    bool ok() const { return ok_; }

private:
    bool ok_;
};

// The locale every test runs in.
extern const char* const TestLocale;
