#include "services/driver_outlook.h"

#include <algorithm>
#include <filesystem>

#include "services/packages.h"
#include "services/secure_boot.h"

namespace fs = std::filesystem;

namespace {

// The host whose driver is judged (the running system unless a test or --host-root
// chose a tree standing for it), and the medium's driver as looked at on it, once.
struct DriverView {
    HostRoot chosenHost;
    bool hostChosen = false;
    DriverOutlook outlook;
    bool looked = false;
};

// process-wide: a cache of what the host and the medium are, the same for the whole
// process, asked for by the checks, the pages and the install's end alike.
DriverView view;

// The first file *.der at the medium's root, in sorted order; "" when there is none.
std::string mediumCertificate(const std::string& mediumDirectory) {
    std::vector<std::string> found;
    std::error_code error;
    for (const fs::directory_entry& entry : fs::directory_iterator(mediumDirectory, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > 4 && name.compare(name.size() - 4, 4, ".der") == 0 &&
            entry.is_regular_file(error))
            found.push_back(entry.path().string());
    }
    std::sort(found.begin(), found.end());
    return found.empty() ? "" : found.front();
}

}  // namespace

DriverFindings judgeDriver(const DriverOutlook& outlook) {
    DriverFindings f;
    f.hasModules = !outlook.package.modules.empty();
    if (!f.hasModules)
        return f;
    f.runningKernelCovered = outlook.coverage.running != RUNNING_KERNEL_NO_MODULE;
    f.throughWeakUpdates = outlook.coverage.running == RUNNING_KERNEL_WEAK_UPDATES;
    if (outlook.secureBoot == SECURE_BOOT_ON) {
        const bool unsignedModule = outlook.module.signature != MODULE_SIGNED;
        f.enrolmentPending =
            !unsignedModule && outlook.certificateTrust == CERTIFICATE_ENROLMENT_PENDING;
        f.blockedBySecureBoot = unsignedModule || f.enrolmentPending ||
                                outlook.certificateTrust == CERTIFICATE_NOT_TRUSTED;
    }
    f.neededAtBoot = outlook.bootRoles != 0;
    f.loadedOtherBuild = outlook.loaded.state == MODULE_LOADED &&
                         (outlook.loaded.srcversion != outlook.module.srcversion ||
                          outlook.loaded.version != outlook.module.version);
    return f;
}

bool restartNeededAfterInstall(const DriverFindings& findings) {
    return findings.hasModules && (findings.loadedOtherBuild || findings.neededAtBoot);
}

DriverOutlook lookAtDriver(const HostRoot& host, const std::string& packageFile,
                           const std::string& mediumDirectory) {
    DriverOutlook o;
    o.package = readDriverPackage(host, packageFile);
    if (o.package.modules.empty())
        return o;
    o.coverage = kernelCoverage(host, o.package);
    const PackagedModule* judged = &o.package.modules.front();
    for (const PackagedModule& m : o.package.modules)
        if (m.release == host.release) {
            judged = &m;
            break;
        }
    o.module = judged->info;
    if (o.module.name.empty())
        o.module.name = moduleFileStem(fs::path(judged->path).filename().string());
    o.secureBoot = secureBootState(host);
    o.certificate = mediumCertificate(mediumDirectory);
    if (!o.certificate.empty())
        o.certificateTrust = certificateTrust(host, o.certificate);
    o.bootRoles = bootDeviceRoles(host, o.module.name);
    o.loaded = loadedModule(host, o.module.name);
    return o;
}

const DriverOutlook& mediumDriverOutlook() {
    if (!view.looked) {
        view.looked = true;
        char file[kPackagePathOutSize];
        if (findDriverPackageFile(file, sizeof file) == PACKAGE_FOUND)
            view.outlook = lookAtDriver(driverHost(), file, ".");
    }
    return view.outlook;
}

DriverAfterInstall checkDriverAfterInstall(const HostRoot& host, const DriverOutlook& outlook) {
    DriverAfterInstall after;
    const DriverFindings findings = judgeDriver(outlook);
    after.restartNeeded = restartNeededAfterInstall(findings);
    // Only a module built for the running kernel can be in its image.
    if (outlook.coverage.running == RUNNING_KERNEL_HAS_MODULE)
        after.initramfs = initramfsModule(host, outlook.module).state;
    return after;
}

void setDriverHost(const HostRoot& host) {
    view.chosenHost = host;
    view.hostChosen = true;
}

const HostRoot& driverHost() {
    if (!view.hostChosen) {
        view.chosenHost = HostRoot::running();
        view.hostChosen = true;
    }
    return view.chosenHost;
}
