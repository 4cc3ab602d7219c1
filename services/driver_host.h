// The host a driver package goes to: its kernels, the block devices the system starts
// from, the modules loaded now and the running kernel's initramfs. Each probe reads the
// places below a HostRoot and answers with values and codes.
#pragma once

#include <string>
#include <vector>

#include "services/driver_package.h"
#include "services/host_root.h"
#include "services/kernel_module.h"

// The installed kernels: the directories of /lib/modules that hold a kernel's modules
// ("modules.dep" or "kernel/"; a directory left behind by a removed kernel holds only
// what other packages put there). Sorted.
std::vector<std::string> installedKernels(const HostRoot& host);

enum RunningKernelModule {
    RUNNING_KERNEL_HAS_MODULE = 0,
    RUNNING_KERNEL_WEAK_UPDATES = 1,  // through weak-modules, from a module for a kindred kernel
    RUNNING_KERNEL_NO_MODULE = 2,
};

struct KernelCoverage {
    std::vector<std::string> installed;  // as installedKernels
    std::vector<std::string> covered;    // the installed kernels the package has a module for
    int running = RUNNING_KERNEL_NO_MODULE;
};

// Which kernels the package's modules are for. The package has a module for kernel R when
// it installs one under /lib/modules/R/ whose vermagic names R (or could not be read): a
// module whose vermagic names another kernel does not load. The running kernel without
// a module of its own can use one through weak-updates when all of these hold:
//   - the package's scriptlets run weak-modules (the package says it links its modules
//     into the kernels they are compatible with);
//   - the host has weak-modules (/sbin or /usr/sbin);
//   - the running kernel is installed;
//   - the package has a module for a kernel of the same upstream version and architecture
//     (the release up to its first '-', and after its last '.'), the line within which
//     the target distributions keep their kernel interface stable.
// weak-modules itself checks the symbols when it links; this rule does not.
KernelCoverage kernelCoverage(const HostRoot& host, const DriverPackageContents& package);

enum LoadedState {
    MODULE_NOT_LOADED = 0,
    MODULE_LOADED = 1,    // in /proc/modules, or /sys/module/NAME/initstate exists
    MODULE_BUILT_IN = 2,  // /sys/module/NAME without being loadable: part of the kernel
};

struct LoadedModule {
    int state = MODULE_NOT_LOADED;
    std::string version;     // /sys/module/NAME/version; empty when the module has none
    std::string srcversion;  // /sys/module/NAME/srcversion
};

// Whether the module `name` ('-' and '_' alike) is in the running kernel, and which.
LoadedModule loadedModule(const HostRoot& host, const std::string& name);

// Where a block device serves the start of the system.
enum BootRole {
    BOOT_ROLE_ROOT = 1,  // holds "/"
    BOOT_ROLE_BOOT = 2,  // holds "/boot"
    BOOT_ROLE_SWAP = 4,  // a swap partition
};

// The roles (a bit set, 0 for none) of the block devices that the module `name` drives.
// The devices are those of /proc/mounts for / and /boot and the partitions of
// /proc/swaps; each is followed in /sys/class/block from a partition to its disk and
// from a device-mapper or md device to the devices beneath it (slaves/), and every
// device up the disk's device path counts with its driver's module (driver/module) or,
// for a driver built into the kernel, the driver's name.
int bootDeviceRoles(const HostRoot& host, const std::string& name);

enum InitramfsModule {
    INITRAMFS_NOT_CHECKED = 0,     // no image for the running kernel, or no tool to read it
    INITRAMFS_WITHOUT_MODULE = 1,  // the image holds no module of that name for that kernel
    INITRAMFS_OTHER_BUILD = 2,     // it holds another build of the module (the old one)
    INITRAMFS_NEW_BUILD = 3,       // it holds the same build as `installed`
    INITRAMFS_UNREADABLE = 4,      // it holds the module, but its file could not be read
};

struct InitramfsCheck {
    int state = INITRAMFS_NOT_CHECKED;
    std::string image;  // the image looked into
    std::string path;   // the module's path in it
    ModuleInfo found;
};

// Looks for the module `installed` (its name, for the running kernel) in the running
// kernel's initramfs: /boot/initramfs-<release>.img, read with lsinitrd, or
// /boot/initrd.img-<release>, read with lsinitramfs (each with the other tool when
// its own is missing). Of several files of that name, the one modprobe takes counts:
// updates/ before extra/, the kernel's own tree, weak-updates/, then any other place.
// The file is taken out of the image (lsinitrd -f, or unmkinitramfs) into a private
// directory and read; it is the new module when sameModuleBuild says so.
InitramfsCheck initramfsModule(const HostRoot& host, const ModuleInfo& installed);
