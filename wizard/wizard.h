// One run of the wizard without widgets: the pages shown and the one on screen, the setup
// type and the components chosen, what locks a component, and how the install ended.
// Its verbs are the only way to change any of it; the graphical wizard, the console
// wizard and the unattended mode each hold one and draw it or feed it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "resdb/resource.h"
#include "wizard/command_line.h"
#include "wizard/run_result.h"
#include "wizard/tables.h"

// What the host and the medium's switches say about the offer.
struct HostFacts {
    int driverCheck = 0;            // driverUpdateCheck: above 3, the medium's driver is newer
    int snmpSupported = 1;          // snmpIsSupportedOnOS
    int webServerAvailable = 1;     // webServerAvailable
    int wantsSnmpUnderTypical = 1;  // getWantsSnmpUnderTypicalOption: 0 asks for SNMP
};
HostFacts probeHost();

// What decides which pages are shown.
struct PageRules {
    int autoSelect = 0;     // getAutoSelectOemConfig: the medium sets the setup type
    int showLicense = 1;    // getShowLicenseOption
    int kernelRebuild = 0;  // kernelRebuildNeeded; -1 not known yet (settleKernelRebuild)
};
// With `lookAtDriver` false the kernel rebuild is left unknown: the driver package's file
// list, which it needs, is read only when the wizard's settleKernelRebuild asks.
PageRules readPageRules(bool lookAtDriver = true);

// The choices a run installs: a setup type and a component bit set.
struct Selection {
    int setupType = TypicalSetupType;
    int components = 0;

    bool has(int component) const { return (components & (1 << component)) != 0; }
    // Names as on the command line; the component names joined by `separator`.
    std::string setupTypeName() const;
    std::string componentNames(const char* separator) const;
};

// Why a component's choice cannot be changed by the user.
enum class ComponentLock {
    None,
    NotOffered,     // withdrawn by the host probes
    Required,       // a selected component requires it
    DriverNotNewer  // the driver on the medium is not newer than the installed one
};

// What applyChoices could not do as asked.
struct AppliedChoices {
    bool setupTypeRefused = false;  // the medium sets the setup type
    std::vector<int> notOffered;    // requested components the host does not offer
    std::vector<int> added;         // components added because a selected one requires them
};

struct InstallRun;

class Wizard {
  public:
    // The wizard of `run`, which the caller owns and which outlives the wizard; without
    // one, the wizard has a run of its own (a test, a plan).
    explicit Wizard(InstallRun& run);
    Wizard();
    ~Wizard();
    Wizard(const Wizard&) = delete;
    Wizard& operator=(const Wizard&) = delete;

    // The run this wizard's install belongs to.
    InstallRun& run() const { return *run_; }

    // Adapts the offer to the host, chooses the pages, applies the medium's setup type
    // and presets the components from it. The first page is the current one.
    void start(const HostFacts& host, const PageRules& rules);
    // Decides a kernel rebuild that start left unknown (kernelRebuildNeeded); until then
    // the kernel rebuild page is kept. Returns the index of the page that went because no
    // rebuild is needed, else -1. Called before the wizard leaves its first page.
    int settleKernelRebuild();

    int pageCount() const { return static_cast<int>(pages_.size()); }
    const DialogPageConfig& page(int index) const { return *pages_[index]; }
    int currentPage() const { return current_; }
    // Whether page `index` is the page with that title; false outside.
    bool isPage(int index, const ResourceID_C& titleId) const;
    bool onPage(const ResourceID_C& titleId) const { return isPage(current_, titleId); }
    bool hasPage(const ResourceID_C& titleId) const;

    // Next: the following page, passing over the components page unless the setup type
    // is custom. Leaving the setup type page applies the setup type to the components.
    // False on the last page: Next then ends the wizard, and the page stays.
    bool next();
    // Back, with the same rule; false on the first page.
    bool back();

    // The setup type chosen on its page; it reaches the components when Next leaves
    // the page.
    void chooseSetupType(int type);
    // Selects or clears a component, with what it requires. Returns the lock that
    // refused the change (ComponentLock::None when it was made).
    ComponentLock toggleComponent(int index, bool selected);
    ComponentLock lock(int index) const;
    // The first selected component that requires component `index`; -1 for none.
    int requiredBy(int index) const;
    // The choices of the command line and the answers file, as a user would make them
    // on the pages: a setup type the medium does not set, then for the custom type the
    // components asked for (each one the host offers, with what it requires).
    AppliedChoices applyChoices(const Choices& choices);

    // A repair, modify or remove of the installed version, chosen on the maintenance
    // page, acting on `installed` (the recorded choices): a modify goes on to the
    // components page (custom), the others to the review page. Back from there returns
    // false: the front end shows its maintenance page again.
    void beginMaintenance(Action action, const Selection& installed);
    bool maintaining() const { return maintenanceFirst_ >= 0; }

    // How the install ended, as every face draws it (wizard/run_result.h).
    void finishInstall(const RunResult& result) { result_ = result; }
    const RunResult& result() const { return result_; }
    // False when it failed or could not start.
    bool installed() const { return result_.succeeded; }
    // The exit status the install leaves (not cancelled): installed or nothing to do,
    // another install was running, refused, or it failed.
    int exitStatus() const { return result_.status; }

    // Where the choices shown first came from (the installed version's record, the
    // command line or the answers file), for the setup type page; empty when from none.
    // `recordNote`: the choices `given` are the record's, as upgradeChoices said.
    void notePreselection(const Choices& given, const std::string& recordNote);
    const std::string& preselectionNote() const { return preselectionNote_; }

    const Selection& selection() const { return selection_; }
    const SetupTypeEntry& setupType(int type) const { return setupTypes_[type]; }
    const ComponentEntry& component(int index) const { return components_[index]; }

    // The summary of the review page, in the locale encoding, of any length.
    std::string reviewText() const;

  private:
    int pageAfter(int current) const;
    int pageBefore(int current) const;
    void applySetupType();
    void closeSelection();

    std::vector<const DialogPageConfig*> pages_;
    int current_ = 0;
    HostFacts host_;
    PageRules rules_;
    SetupTypeEntry setupTypes_[NumberOfSetupTypes];
    ComponentEntry components_[NumberOfComponents];
    Selection selection_;
    RunResult result_;
    std::string preselectionNote_;
    int maintenanceFirst_ = -1;  // the first page after the maintenance page
    std::unique_ptr<InstallRun> ownRun_;
    InstallRun* run_;
};
