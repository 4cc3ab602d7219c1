// The start-up sequence of the wizard, in the order main runs it.
#pragma once

#include <gtk/gtk.h>

// Loads the texts and checks that there is something to install and a license to show.
// Returns 0 when setup can go on; otherwise the refusal was written to standard error
// and the result is the exit status (1).
int checkStartupPreconditions();

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

// Builds the main window with every included page and shows the first one. The window
// is returned unshown.
GtkWidget* buildWizard();

// Creates the start marker, which exists while the wizard runs.
void createStartMarker();
