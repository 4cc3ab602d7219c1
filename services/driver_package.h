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
// What is read is bounded: the payload's size and time, the number of modules inspected
// and the bytes they take and unpack to; a module beyond a bound is listed, with the
// reason it was not inspected.
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
    int inspection = MODULE_NOT_TAKEN;  // ModuleInspection: MODULE_INSPECTED when read
};

struct DriverPackageContents {
    int result = DRIVER_PACKAGE_UNREADABLE;
    // In the order rpm lists them; with an unreadable payload too, then not inspected.
    std::vector<PackagedModule> modules;
    bool weakModules = false;  // its scriptlets run weak-modules (asked only with modules)
};

// The bounds of a package's read.
struct DriverPackageBounds {
    size_t modules = 256;                        // modules inspected
    unsigned long long taken = 256ULL << 20;     // bytes of module files taken out
    unsigned long long unpacked = 512ULL << 20;  // bytes those unpack to, in all
    size_t moduleSize = kModuleSizeLimit;        // bytes one module may unpack to
};

// Reads the package file `packageFile` with the host's rpm and rpm2cpio and the module
// files in it with inspectModule, within `bounds`.
DriverPackageContents readDriverPackage(const HostRoot& host, const std::string& packageFile,
                                        const DriverPackageBounds& bounds = DriverPackageBounds());

// The release of a module path that a package may install: "/lib/modules/R/..." or
// "/usr/lib/modules/R/..." ending in a module file name, with no odd part. Empty when
// the path is no such module path; `odd` is set when it would be one but has an odd part.
std::string moduleRelease(const std::string& path, bool* odd);
