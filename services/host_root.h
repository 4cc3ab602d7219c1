// Where the host probes look. Every probe of the driver's host (kernels, Secure Boot,
// boot devices, loaded modules, the initramfs) reads the host's places below one root
// and runs its programs from one search path, so that a prepared tree can stand for a
// whole host.
#pragma once

#include <string>

struct HostRoot {
    // Stands for "/": /sys (the firmware variables under /sys/firmware/efi/efivars
    // included), /proc/mounts, /proc/swaps, /proc/modules, /lib/modules and /boot are
    // read below it.
    std::string root = "/";
    // The running kernel's release, as `uname -r` gives it.
    std::string release;
    // Directories, separated by ':', where the probes' programs (rpm, rpm2cpio, modinfo,
    // mokutil, lsinitrd, lsinitramfs, unmkinitramfs) are looked for.
    std::string programPath;

    // The host itself: root "/", the release uname gives, and PATH followed by /usr/sbin
    // and /sbin (where modinfo lives on the target systems, and root's PATH may lack them).
    static HostRoot running();

    // `absolute` (beginning with '/') as found below root.
    std::string place(const std::string& absolute) const;
    // Whether root is the host's own "/". Programs that read the firmware or the kernel
    // themselves, not files below root (mokutil), speak for the host only then.
    bool isRunningHost() const;
    // The absolute path of the program `name` on programPath, or "" when none of its
    // directories holds an executable file of that name.
    std::string program(const char* name) const;
};
