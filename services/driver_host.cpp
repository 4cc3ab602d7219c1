#include "services/driver_host.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "services/child_process.h"
#include "services/files.h"

namespace fs = std::filesystem;

namespace {

const size_t kProcFileLimit = 1024 * 1024;
const size_t kListingLimit = 16 * 1024 * 1024;
const size_t kModuleLimit = 64 * 1024 * 1024;
// Deeper than any real stack of partitions, device-mapper and md devices.
const int kStackDepth = 16;

bool exists(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0;
}

bool isDirectory(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

std::string readText(const std::string& path) {
    std::string text;
    bool longer = false;
    readRegularFile(path, kProcFileLimit, &text, &longer);
    return text;
}

std::string firstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> result;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        result.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return result;
}

std::vector<std::string> words(const std::string& line) {
    std::vector<std::string> result;
    size_t start = line.find_first_not_of(" \t");
    while (start != std::string::npos) {
        size_t end = line.find_first_of(" \t", start);
        result.push_back(line.substr(start, end - start));
        start = line.find_first_not_of(" \t", end);
    }
    return result;
}

std::string baseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

// The real path of `path`, or "" when it does not resolve.
std::string resolved(const std::string& path) {
    char real[PATH_MAX];
    return realpath(path.c_str(), real) ? std::string(real) : std::string();
}

std::vector<std::string> entries(const std::string& directory) {
    std::vector<std::string> names;
    std::error_code error;
    for (fs::directory_iterator it(directory, error), end; !error && it != end; it.increment(error))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The kernel interface line a release belongs to: its upstream version and its
// architecture; empty when the release has no '-' to tell them apart.
std::string interfaceLine(const std::string& release) {
    size_t dash = release.find('-');
    size_t dot = release.rfind('.');
    if (dash == std::string::npos || dot == std::string::npos || dot < dash)
        return std::string();
    return release.substr(0, dash) + " " + release.substr(dot + 1);
}

bool loadsOn(const PackagedModule& module, const std::string& release) {
    return module.release == release && (!module.read || module.info.vermagic.empty() ||
                                         vermagicRelease(module.info.vermagic) == release);
}

// /proc/mounts writes blanks and the like in octal ("\040").
std::string unescapeMountField(const std::string& field) {
    std::string text;
    for (size_t i = 0; i < field.size(); ++i) {
        const bool octal = field[i] == '\\' && i + 3 < field.size() &&
                           field.find_first_not_of("01234567", i + 1) >= i + 4;
        if (octal) {
            text += static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

// The block devices (/dev paths) holding / and /boot, each with its role; of several
// mounts on one place the last, which hides the others, counts.
std::vector<std::pair<std::string, int>> bootDevices(const HostRoot& host) {
    std::string root, boot;
    for (const std::string& line : lines(readText(host.place("/proc/mounts")))) {
        std::vector<std::string> fields = words(line);
        if (fields.size() < 2)
            continue;
        const std::string place = unescapeMountField(fields[1]);
        if (place == "/")
            root = unescapeMountField(fields[0]);
        else if (place == "/boot")
            boot = unescapeMountField(fields[0]);
    }
    std::vector<std::pair<std::string, int>> devices;
    if (!root.empty())
        devices.emplace_back(root, BOOT_ROLE_ROOT);
    if (!boot.empty())
        devices.emplace_back(boot, BOOT_ROLE_BOOT);
    std::vector<std::string> swaps = lines(readText(host.place("/proc/swaps")));
    for (size_t i = 1; i < swaps.size(); ++i) {
        std::vector<std::string> fields = words(swaps[i]);
        // A swap file lives on a file system whose device is a mount of its own.
        if (fields.size() >= 2 && fields[1] == "partition")
            devices.emplace_back(unescapeMountField(fields[0]), BOOT_ROLE_SWAP);
    }
    return devices;
}

// The /sys/class/block directory of a mounted device: /dev/NAME, a device-mapper name
// (/dev/mapper/NAME), or on the running host any other node (/dev/root, a link of
// /dev/disk/) by its device number. "" when none is found.
std::string blockDirectory(const HostRoot& host, const std::string& device,
                           const std::string& mountPoint) {
    const std::string classBlock = host.place("/sys/class/block");
    if (device.compare(0, 5, "/dev/") == 0 && device.find('/', 5) == std::string::npos &&
        exists(classBlock + "/" + device.substr(5)))
        return resolved(classBlock + "/" + device.substr(5));
    if (device.compare(0, 12, "/dev/mapper/") == 0) {
        for (const std::string& name : entries(classBlock)) {
            if (firstLine(readText(classBlock + "/" + name + "/dm/name")) == device.substr(12))
                return resolved(classBlock + "/" + name);
        }
    }
    struct stat info;
    if (!host.isRunningHost() || mountPoint.empty() || stat(mountPoint.c_str(), &info) != 0)
        return std::string();
    const std::string number =
        std::to_string(major(info.st_dev)) + ":" + std::to_string(minor(info.st_dev));
    return resolved("/sys/dev/block/" + number);
}

// Adds the drivers of the devices beneath the block device at `directory` (its
// /sys/devices path) to `drivers`.
void collectDrivers(const HostRoot& host, const std::string& directory, int depth,
                    std::set<std::string>* drivers) {
    if (directory.empty() || depth > kStackDepth)
        return;
    if (exists(directory + "/partition")) {
        collectDrivers(host, directory.substr(0, directory.rfind('/')), depth + 1, drivers);
        return;
    }
    for (const std::string& slave : entries(directory + "/slaves"))
        collectDrivers(host, resolved(directory + "/slaves/" + slave), depth + 1, drivers);
    const std::string devices = resolved(host.place("/sys/devices"));
    std::string device = resolved(directory + "/device");
    while (!devices.empty() && device.size() > devices.size() &&
           device.compare(0, devices.size() + 1, devices + "/") == 0) {
        const std::string module = resolved(device + "/driver/module");
        const std::string driver = resolved(device + "/driver");
        if (!module.empty())
            drivers->insert(canonicalModuleName(baseName(module)));
        else if (!driver.empty())
            drivers->insert(canonicalModuleName(baseName(driver)));
        device = device.substr(0, device.rfind('/'));
    }
}

// The file of an initramfs listing line: the line itself (lsinitramfs), or its last
// word (lsinitrd's "ls -l" lines; a link's target after " -> " left out).
std::string listedPath(std::string line) {
    size_t arrow = line.find(" -> ");
    if (arrow != std::string::npos)
        line.resize(arrow);
    std::vector<std::string> fields = words(line);
    return fields.empty() ? std::string() : fields.back();
}

// Where modprobe looks first: a lower rank wins.
int searchRank(const std::string& within) {
    const std::string top = within.substr(0, within.find('/'));
    const char* const order[] = {"updates", "extra", "kernel", "weak-updates"};
    for (int rank = 0; rank < 4; ++rank) {
        if (top == order[rank])
            return rank;
    }
    return 4;
}

// The path in the image of the module `name` for `release` that modprobe would take;
// "" when the listing has none.
std::string moduleInListing(const std::string& listing, const std::string& name,
                            const std::string& release) {
    const std::string wanted = canonicalModuleName(name);
    const std::string tree = "lib/modules/" + release + "/";
    std::string best;
    int bestRank = 5;
    for (const std::string& line : lines(listing)) {
        std::string path = listedPath(line);
        if (path.compare(0, 2, "./") == 0)
            path.erase(0, 2);
        size_t at = path.compare(0, tree.size(), tree) == 0                ? 0
                    : path.compare(0, 4 + tree.size(), "usr/" + tree) == 0 ? 4
                                                                           : std::string::npos;
        if (at == std::string::npos ||
            canonicalModuleName(moduleFileStem(baseName(path))) != wanted)
            continue;
        int rank = searchRank(path.substr(at + tree.size()));
        if (rank < bestRank) {
            best = path;
            bestRank = rank;
        }
    }
    return best;
}

// Takes the file `path` out of `image` into `directory`; its path there, or "".
std::string takeFromImage(const std::string& tool, const std::string& image,
                          const std::string& path, const std::string& directory) {
    if (baseName(tool) == "lsinitrd") {
        ProgramOutput content;
        const std::string file = directory + "/" + baseName(path);
        if (!runProgram({tool, "-f", path, image}, ProgramRun(kModuleLimit), &content) ||
            content.exitStatus() != 0 || content.text.empty() ||
            !writeNewFile(file, content.text, 0600))
            return std::string();
        return file;
    }
    const std::string unpacker = tool.substr(0, tool.rfind('/') + 1) + "unmkinitramfs";
    ProgramOutput unpacked;
    if (!runProgram({unpacker, image, directory + "/image"}, ProgramRun(0), &unpacked) ||
        unpacked.exitStatus() != 0)
        return std::string();
    // With an early part (microcode) before it, the main archive goes to main/.
    for (const char* part : {"/image/", "/image/main/"}) {
        struct stat info;
        const std::string file = directory + part + path;
        if (lstat(file.c_str(), &info) == 0 && S_ISREG(info.st_mode))
            return file;
    }
    return std::string();
}

}  // namespace

std::vector<std::string> installedKernels(const HostRoot& host) {
    std::vector<std::string> kernels;
    const std::string modules = host.place("/lib/modules");
    for (const std::string& name : entries(modules)) {
        const std::string directory = modules + "/" + name;
        if (name[0] != '.' &&
            (exists(directory + "/modules.dep") || isDirectory(directory + "/kernel")))
            kernels.push_back(name);
    }
    return kernels;
}

KernelCoverage kernelCoverage(const HostRoot& host, const DriverPackageContents& package) {
    KernelCoverage coverage;
    coverage.installed = installedKernels(host);
    for (const std::string& release : coverage.installed) {
        for (const PackagedModule& module : package.modules) {
            if (loadsOn(module, release)) {
                coverage.covered.push_back(release);
                break;
            }
        }
    }
    const std::string& running = host.release;
    const auto& installed = coverage.installed;
    if (std::find(coverage.covered.begin(), coverage.covered.end(), running) !=
        coverage.covered.end()) {
        coverage.running = RUNNING_KERNEL_HAS_MODULE;
        return coverage;
    }
    const bool linkable =
        package.weakModules &&
        (exists(host.place("/sbin/weak-modules")) ||
         exists(host.place("/usr/sbin/weak-modules"))) &&
        std::find(installed.begin(), installed.end(), running) != installed.end() &&
        !interfaceLine(running).empty();
    for (const PackagedModule& module : package.modules) {
        if (linkable && loadsOn(module, module.release) &&
            interfaceLine(module.release) == interfaceLine(running))
            coverage.running = RUNNING_KERNEL_WEAK_UPDATES;
    }
    return coverage;
}

LoadedModule loadedModule(const HostRoot& host, const std::string& name) {
    LoadedModule loaded;
    const std::string canonical = canonicalModuleName(name);
    const std::string directory = host.place("/sys/module/" + canonical);
    for (const std::string& line : lines(readText(host.place("/proc/modules")))) {
        std::vector<std::string> fields = words(line);
        if (!fields.empty() && canonicalModuleName(fields[0]) == canonical)
            loaded.state = MODULE_LOADED;
    }
    if (loaded.state == MODULE_NOT_LOADED && isDirectory(directory))
        loaded.state = exists(directory + "/initstate") ? MODULE_LOADED : MODULE_BUILT_IN;
    if (loaded.state != MODULE_NOT_LOADED) {
        loaded.version = firstLine(readText(directory + "/version"));
        loaded.srcversion = firstLine(readText(directory + "/srcversion"));
    }
    return loaded;
}

int bootDeviceRoles(const HostRoot& host, const std::string& name) {
    const std::string wanted = canonicalModuleName(name);
    int roles = 0;
    for (const auto& device : bootDevices(host)) {
        const std::string mountPoint = device.second == BOOT_ROLE_ROOT   ? "/"
                                       : device.second == BOOT_ROLE_BOOT ? "/boot"
                                                                         : "";
        std::set<std::string> drivers;
        collectDrivers(host, blockDirectory(host, device.first, mountPoint), 0, &drivers);
        if (drivers.count(wanted))
            roles |= device.second;
    }
    return roles;
}

InitramfsCheck initramfsModule(const HostRoot& host, const ModuleInfo& installed) {
    InitramfsCheck check;
    const std::string lsinitrd = host.program("lsinitrd");
    const std::string lsinitramfs = host.program("lsinitramfs");
    const std::string dracutImage = host.place("/boot/initramfs-" + host.release + ".img");
    const std::string debianImage = host.place("/boot/initrd.img-" + host.release);
    std::string tool;
    if (exists(dracutImage)) {
        check.image = dracutImage;
        tool = lsinitrd.empty() ? lsinitramfs : lsinitrd;
    } else if (exists(debianImage)) {
        check.image = debianImage;
        tool = lsinitramfs.empty() ? lsinitrd : lsinitramfs;
    }
    ProgramOutput listing;
    if (host.release.empty() || tool.empty() ||
        !runProgram({tool, check.image}, ProgramRun(kListingLimit), &listing) ||
        listing.exitStatus() != 0)
        return check;
    check.path = moduleInListing(listing.text, installed.name, host.release);
    if (check.path.empty()) {
        check.state = INITRAMFS_WITHOUT_MODULE;
        return check;
    }
    check.state = INITRAMFS_UNREADABLE;
    const std::string directory = makePrivateDirectory("/tmp/stage3-initramfs.XXXXXX");
    if (directory.empty())
        return check;
    const std::string file = takeFromImage(tool, check.image, check.path, directory);
    if (!file.empty() && readModuleInfo(host, file, &check.found))
        check.state =
            sameModuleBuild(check.found, installed) ? INITRAMFS_NEW_BUILD : INITRAMFS_OTHER_BUILD;
    std::error_code ignored;
    fs::remove_all(directory, ignored);
    return check;
}
