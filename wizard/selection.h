// The wizard's rules without widgets: which pages are shown and in which order, how a
// setup type presets the components, which components require or lock others, and the
// review summary. The graphical, console and unattended front ends all go through them;
// the graphical one then brings its widgets in line.
#pragma once

#include <string>

#include "resdb/resource.h"
#include "wizard/tables.h"

// What the host and the medium's switches say about the offer.
struct HostFacts {
    int driverCheck;            // driverUpdateCheck
    int snmpSupported;          // snmpIsSupportedOnOS
    int webServerAvailable;     // webServerAvailable
    int wantsSnmpUnderTypical;  // getWantsSnmpUnderTypicalOption: 0 asks for SNMP
};
HostFacts probeHost();

// Adapts the typical setup type and the component offer to the host.
void adaptTablesToHost(const HostFacts& host);

// Fills DialogPages with the rows of DialogPageConfigs that are shown, in table order
// (widgets null), and applies the automatic setup type (resource 5002) to
// SetuptypeSelected. Returns the automatic setup type setting (0, 1 or 2).
int includeDialogPages();

// Whether page `index` of DialogPages is the page with that title; false outside.
bool isPage(int index, const ResourceID_C& titleId);

// The page Next leads to from page `current`: the next one, passing over the
// components page unless the setup type is custom. NumberOfDialogPages when `current`
// is the last page (Next then finishes the wizard).
int pageAfter(int current);
// The page Back leads to, with the same rule.
int pageBefore(int current);

// Applies the selected setup type to the selection, then closes it over the
// requirements (closeSelection).
void applySetupType();

// Adds what the selected components require (one ascending pass) and counts, for every
// component, the selected components that require it.
void closeSelection();

// Why a component's choice cannot be changed by the user.
enum class ComponentLock {
    None,
    NotOffered,     // withdrawn by the host probes
    Required,       // a selected component requires it
    DriverNotNewer  // the driver on the medium is not newer than the installed one
};
ComponentLock componentLock(int index);

// Selects or clears component `index` and closes the selection. Returns the lock that
// refused the change (ComponentLock::None when it was made).
ComponentLock setComponent(int index, bool selected);

// The summary shown on the review page for the current selection, in the locale
// encoding, of any length.
std::string composeReviewText();

// Names of the setup types and components on the command line and in answers files,
// in table order.
extern const char* const SetupTypeNames[];
extern const char* const ComponentNames[];

// The setup type and component names of the current selection, for the log, the record
// and the plan of a dry run; the component names joined by `separator`.
std::string selectedSetupTypeName();
std::string selectedComponentNames(const char* separator);
