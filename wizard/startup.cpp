#include "wizard/startup.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

#include "interface/main_window.h"
#include "services/file_search.h"
#include "services/packages.h"
#include "services/shared_files.h"
#include "services/string_service.h"
#include "services/switches.h"
#include "services/terminal_text.h"
#include "wizard/exit_paths.h"
#include "wizard/navigation.h"
#include "wizard/tables.h"
#include "wizard/text_ids.h"

namespace {

// Writes a text to standard error as one line, without the control characters that
// could command the user's terminal.
void writeLine(const char* text) { fprintf(stderr, "%s\n", terminalSafeText(text).c_str()); }

// Writes two texts of the database, one per line, to standard error.
void refuse(int first, int second) {
    // Each text is written before the next is fetched: they share one buffer.
    writeLine(getString(first));
    writeLine(getString(second));
}

// Refuses a package file that cannot be installed as it is named: the path on a line
// of its own between the two texts.
void refusePackagePath(const std::string& path) {
    writeLine(getString(PackagePathUnusableId));
    writeLine(path.c_str());
    writeLine(getString(57));
}

// The package file that cannot be installed as it is named, or "" when every package
// file the install may use can be.
std::string unusablePackagePath() {
    char path[kPackagePathOutSize];
    if (findAppPackageFile(path) == PACKAGE_FOUND && !isInstallablePackagePath(path)) return path;
    if (driverUpdateCheck() > 3 && findDriverPackageFile(path) == PACKAGE_FOUND &&
        !isInstallablePackagePath(path))
        return path;
    return unusableBrowserPackage();
}

bool pageIncluded(const DialogPageConfig& config, int autoSelect) {
    unsigned title = config.titleId;
    if (title == 59 && !kernelRebuildNeeded()) return false;
    if ((autoSelect == 1 || autoSelect == 2) && (title == 31 || title == 32)) return false;
    if (title == 29 && !getShowLicenseOption()) return false;
    return true;
}

}  // namespace

int checkStartupPreconditions() {
    if (!stringInit()) {
        fputs("Cannot load resource file.\n", stderr);
        fputs("Setup cannot continue.\n", stderr);
        return 1;
    }
    int app = appUpdateCheck();
    if (app < 3 && !packageFileOutOfReach().empty()) {
        refusePackagePath(packageFileOutOfReach());
        return 1;
    }
    if (app == 3) {
        refuse(55, 57);
        return 1;
    }
    if (app < 3) {
        refuse(56, 57);
        return 1;
    }
    char* license = findFile("license.txt");
    if (!license) {
        refuse(54, 57);
        return 1;
    }
    g_free(license);
    // Before anything is installed: a package that rpm cannot be given as it is named
    // would fail the install half way, after the packages before it went in.
    std::string unusable = unusablePackagePath();
    if (!unusable.empty()) {
        refusePackagePath(unusable);
        return 1;
    }
    return 0;
}

HostFacts probeHost() {
    HostFacts host;
    host.driverCheck = driverUpdateCheck();
    host.snmpSupported = snmpIsSupportedOnOS();
    host.webServerAvailable = webServerAvailable();
    host.wantsSnmpUnderTypical = getWantsSnmpUnderTypicalOption();
    return host;
}

void adaptTablesToHost(const HostFacts& host) {
    SetupTypeEntry& typical = SetupTypes[0];
    if (host.driverCheck > 3) {
        typical.presetMask |= COMPONENT_DRIVER;
        typical.keepMask &= ~COMPONENT_DRIVER;
    }
    if (!host.snmpSupported) Components[3].available = 0;
    if (!host.webServerAvailable) Components[0].available = 0;
    if (host.wantsSnmpUnderTypical == 0) {
        typical.presetMask |= COMPONENT_SNMP;
        typical.keepMask &= ~COMPONENT_SNMP;
    }
    for (int i = 0; i < NumberOfComponents; ++i) {
        if (Components[i].available) continue;
        typical.keepMask |= 1 << i;
        typical.presetMask &= ~(1 << i);
    }
}

GtkWidget* buildWizard() {
    readRcFile();
    GtkWidget* window = createMainWindow();
    int autoSelect = getAutoSelectOemConfig();

    NumberOfDialogPages = 0;
    for (const DialogPageConfig& config : DialogPageConfigs) {
        if (!pageIncluded(config, autoSelect)) continue;
        DialogPages[NumberOfDialogPages].widget = config.createMainArea(window);
        DialogPages[NumberOfDialogPages].config = &config;
        ++NumberOfDialogPages;
    }
    if (autoSelect == 1) SetuptypeSelected = 0;
    if (autoSelect == 2) SetuptypeSelected = 1;

    adjustCurrentPage(window, CurrentPage);
    adjustComponentsFromSetuptype();
    return window;
}

void createStartMarker() {
    // A new file of the wizard's own, whatever another user left at the name.
    if (!placeFile(StartMarkerPath, "", 0644, &StartMarkerMade)) writeLine(getString(StartMarkerWarningId));
}
