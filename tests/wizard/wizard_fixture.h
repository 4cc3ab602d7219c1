// A wizard built in this process on a private medium: its own database, license,
// package files and an empty private rpm database.
#pragma once

#include <gtk/gtk.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/guards.h"
#include "tests/support/scratch_dir.h"

struct WizardOptions {
    const char* autoSelect = nullptr;        // resource 5002
    const char* showLicense = nullptr;       // resource 5003
    const char* snmpUnderTypical = nullptr;  // resource 5004
};

class Wizard;

class WizardFixture {
  public:
    WizardFixture();
    ~WizardFixture();

    // Prepares the medium and runs the start-up up to the first page (window shown).
    GtkWidget* start(const WizardOptions& options = WizardOptions());

    GtkWidget* window() const { return window_; }
    const std::string& medium() const { return dir_.path(); }
    GtkWidget* widget(const char* name) const;
    // Name of the page on screen, and of every page in order.
    std::string currentPage() const;
    std::vector<std::string> pageNames() const;
    // The wizard the window draws.
    const Wizard& state() const;
    std::string labelText(const char* name) const;
    std::string viewText(const char* name) const;
    bool sensitive(const char* name) const;
    bool active(const char* name) const;
    void click(const char* name);
    void toggle(const char* name, bool active);
    // The text of a resource as a widget shows it.
    static std::string uiText(unsigned id);

  private:
    ScratchDir dir_;
    // HOME and the working directory point into the medium from start() to the end.
    std::optional<EnvVar> home_;
    std::optional<ChangeDir> cwd_;
    GtkWidget* window_ = nullptr;
};

// Runs the main loop until done() holds or the time runs out; returns done().
bool runUntil(const std::function<bool()>& done, int timeoutMs = 20000);
// Clicks a button of a window named windowName once that window appears (from inside
// a nested main loop).
void clickWhenShown(const char* windowName, const char* buttonName);
