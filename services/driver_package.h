// What a driver package file holds: the kernel modules it installs under
// /lib/modules/<release>/ (or /usr/lib/modules/<release>/), each read from the package's
// own payload, and whether its scripts register them for other kernels through
// weak-modules.
//
// The package file may have been made to harm. Its payload is read from rpm2cpio's
// archive here, never unpacked by a program: only the module files rpm lists are taken
// out, as regular files of bounded size, into a new private directory that is removed
// again before the call returns. A module path that is a link, not a regular file, or an
// odd path (a ".." or "." part, an empty part, control characters) refuses the package.
#pragma once

#include <string>
#include <vector>

#include "services/host_root.h"
#include "services/kernel_module.h"

enum DriverPackageRead {
    DRIVER_PACKAGE_READ = 0,
    DRIVER_PACKAGE_UNREADABLE = 1,  // rpm or rpm2cpio missing or failing, or a damaged payload
    DRIVER_PACKAGE_REFUSED = 2,     // a module path is a link or an odd path
};

struct PackagedModule {
    std::string path;     // where the package installs it: /lib/modules/<release>/...
    std::string release;  // the <release> of that path
    bool read = false;    // whether `info` could be read from the file
    ModuleInfo info;
};

struct DriverPackageContents {
    int result = DRIVER_PACKAGE_UNREADABLE;
    std::vector<PackagedModule> modules;  // in the order rpm lists them
    bool weakModules = false;  // its scriptlets run weak-modules (asked only with modules)
};

// Reads the package file `packageFile` with the host's rpm and rpm2cpio and the module
// files in it with readModuleInfo.
DriverPackageContents readDriverPackage(const HostRoot& host, const std::string& packageFile);

// The release of a module path that a package may install: "/lib/modules/R/..." or
// "/usr/lib/modules/R/..." ending in a module file name, with no odd part. Empty when
// the path is no such module path; `odd` is set when it would be one but has an odd part.
std::string moduleRelease(const std::string& path, bool* odd);
