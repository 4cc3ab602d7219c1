// What support asks for when the driver misbehaves, gathered in one place: the run
// history (--history) and the support bundle (--support-bundle FILE).
#pragma once

#include <string>
#include <vector>

// Every run in the history beside the install records, one line each (or one JSON
// object a line), oldest first; where there is none, says where it was looked for.
// Needs no medium: only the records' directory is read. Returns 0.
int showRunHistory(bool json);

// What the host holds for a bundle, as found.
struct BundleHost {
    std::vector<std::string> logs;      // the install logs' file names
    std::string application;            // the application package (the record's name)
    bool record = false;                // its install record is there
    bool history = false;               // its run history is there and used
    std::vector<std::string> packages;  // the product's installed packages
    std::vector<std::string> modules;   // the installed driver's module names
};

// One file of the bundle: its name in the archive (below "stage3-support/") and what it
// holds, as its MANIFEST line says.
struct BundleItem {
    std::string name;
    std::string what;
};

// The files of a bundle for `host`, MANIFEST first: the last five logs by name, the
// record and the history where there are, rpm -qi and rpm -V of each package, for each
// module its modinfo, whether and which build is loaded and the kernel's messages
// naming it, the Secure Boot state, the kernel release, /etc/os-release and the medium's
// list digest.
std::vector<BundleItem> bundleItems(const BundleHost& host);
// The MANIFEST's text: "name<TAB>what" a line.
std::string bundleManifest(const std::vector<BundleItem>& items);

// Writes the bundle to the new file `path` (absolute): made exclusively, never through a
// link, mode 0600, and refused in a directory that others can write to without the
// sticky bit, or that is neither root's nor the caller's. Returns the exit status.
int writeSupportBundle(const std::string& path);
