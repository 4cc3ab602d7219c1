// Helpers of the interface tests: the text database, files in the test's
// working directory and widget read-back. Whole-file access and the locale
// guard come from tests/support.
#pragma once

#include <gtk/gtk.h>

#include <map>
#include <string>

#include "tests/support/files.h"
#include "tests/support/guards.h"

// The text every resource has in the test database (UTF-8, plain ASCII).
std::string textOf(unsigned id);

// Writes "setupresDB" into the working directory with textOf for every
// identifier the wizard uses, `overrides` replacing some, and reloads the
// string service from it.
void installTexts(const std::map<unsigned, std::string>& overrides = {});

// Files in the test's working directory, where findFile looks second, are
// written with writeFile(name, bytes) and removed with removeFile(name).
void removeFile(const std::string& name);

std::string labelText(GtkWidget* label);
std::string textViewText(GtkWidget* view);

// Runs the toolkit until no event is pending.
void drainEvents();

// The locale every test runs in.
extern const char* const TestLocale;
