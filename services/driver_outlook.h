// What the medium's driver package means for this host, before and after it is
// installed: for which kernels it has a module, whether Secure Boot lets its modules
// load, whether the system starts from a device its module drives, and whether a
// restart is needed to use it. Made of the probes of driver_package, driver_host and
// secure_boot, each reading the host's places below one HostRoot.
#pragma once

#include <string>
#include <vector>

#include "services/driver_host.h"
#include "services/driver_package.h"
#include "services/host_root.h"

// What the probes found about one driver package on one host.
struct DriverOutlook {
    DriverPackageContents package;
    KernelCoverage coverage;
    int secureBoot = 0;  // SecureBootState
    // The certificate the medium carries for its modules (the first *.der at its root),
    // and whether the machine trusts it (CertificateTrust); none: unknown.
    std::string certificate;
    int certificateTrust = 0;
    // Of the package's modules for the running kernel (else its first), the one judged.
    ModuleInfo module;
    int bootRoles = 0;    // BootRole bits of the devices the module drives
    LoadedModule loaded;  // the module of that name in the running kernel
};

// What it comes to.
struct DriverFindings {
    bool hasModules = false;            // the package installs kernel modules at all
    bool runningKernelCovered = false;  // a module for the running kernel, or weak-updates
    bool throughWeakUpdates = false;
    // Secure Boot is on and the module is unsigned, or signed by a certificate the machine
    // does not trust (yet: enrolmentPending when it is imported, enrolled at the next start).
    bool blockedBySecureBoot = false;
    bool enrolmentPending = false;
    bool neededAtBoot = false;      // the module drives a device holding /, /boot or swap
    bool loadedOtherBuild = false;  // another build of the module is loaded now
};

DriverFindings judgeDriver(const DriverOutlook& outlook);

// Whether, after the package was installed, the new driver is used only after a restart:
// another build of its module is loaded now, or the system needs it to start.
bool restartNeededAfterInstall(const DriverFindings& findings);

// Runs the probes for the package file `packageFile` on `host`, with the certificate
// (if any) at the root of `mediumDirectory`.
DriverOutlook lookAtDriver(const HostRoot& host, const std::string& packageFile,
                           const std::string& mediumDirectory);

// The outlook of the medium's driver package (in the working directory) on driverHost(),
// probed once; an empty one when the medium has no driver package.
const DriverOutlook& mediumDriverOutlook();

// After the driver was installed: whether its new module is used only after a restart,
// and what the running kernel's start-up image holds of it.
struct DriverAfterInstall {
    bool restartNeeded = false;
    int initramfs = INITRAMFS_NOT_CHECKED;  // InitramfsModule
};
DriverAfterInstall checkDriverAfterInstall(const HostRoot& host, const DriverOutlook& outlook);

// The host the wizard's probes read: the running one, unless a test gave a prepared tree.
void setDriverHost(const HostRoot& host);
const HostRoot& driverHost();
