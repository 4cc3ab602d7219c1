// What the user is told before the install about the driver it puts in: a module that
// the running kernel will not use, Secure Boot keeping it from loading (and how to enrol
// its key), another build loaded now. Said on the review page, in the plan and before an
// unattended install; with --require-loadable-driver a driver that will not load refuses
// the install (one of the checks before the first package).
#pragma once

#include <string>
#include <vector>

struct Selection;

// Whether the run installs the medium's driver package: the driver is selected (which
// the wizard allows only when the medium's driver is newer than the installed one).
bool installsDriver(const Selection& selection);

struct DriverNotes {
    std::vector<std::string> lines;  // texts in the locale's encoding, one per finding
    // Whether the new module can be used without more than a restart: the running kernel
    // has a module (or one through weak-updates), and Secure Boot lets it load (or its
    // key is waiting to be enrolled at the next start); and every module was inspected.
    bool loadable = true;
    // Whether every module of the package was inspected; the lines name those that were
    // not (the first few, then how many more).
    bool inspected = true;
};

// The notes about the medium's driver package on this host; none when the package holds
// no kernel module.
DriverNotes driverNotes();

// Whether an install of `selection` that succeeds will need a restart to use the new
// driver (status 5).
bool restartExpected(const Selection& selection);
