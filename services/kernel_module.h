// What a kernel module file says about itself: its name, version and vermagic (from its
// .modinfo section) and whether a signature is appended to it. The file is unpacked (if
// compressed) and its ELF section and signature trailer read here, within a bound on
// its size; only the signer and key of a signed module are asked of the host's modinfo,
// run on the unpacked copy within bounds of memory and time.
#pragma once

#include <cstddef>
#include <string>

#include "services/host_root.h"

enum ModuleSignature {
    MODULE_SIGNATURE_UNKNOWN = 0,
    MODULE_UNSIGNED = 1,
    MODULE_SIGNED = 2,  // a signature is appended; whether the kernel trusts it is another matter
};

struct ModuleInfo {
    std::string name;  // the .modinfo "name", else the file's name without ".ko..."
    std::string version;
    std::string vermagic;  // as the module holds it, trailing blank included
    std::string srcversion;
    int signature = MODULE_SIGNATURE_UNKNOWN;
    std::string signer;  // the signing certificate's subject, where modinfo tells
    std::string keyId;   // its key identifier as hex pairs "AB:CD:...", where modinfo tells
};

// Why a module was not inspected, or that it was.
enum ModuleInspection {
    MODULE_INSPECTED = 0,
    MODULE_UNPACKS_TOO_LARGE = 1,  // it is, or unpacks to, more than a module may be
    MODULE_UNREADABLE = 2,         // damaged compressed data, or no kernel module
    MODULE_MODINFO_FAILED = 3,     // modinfo failed, or ran past its time or memory
    MODULE_PAST_COUNT = 4,         // its package holds more modules than are inspected
    MODULE_PAST_TOTAL = 5,         // the modules before it took all the bytes inspected
    MODULE_NOT_TAKEN = 6,          // its file could not be taken out of its package
};

// The most a module may unpack to.
const size_t kModuleSizeLimit = 64 * 1024 * 1024;

// Reads the module file `path` (*.ko, *.ko.xz, *.ko.zst, *.ko.gz), unpacking no more than
// `sizeLimit` bytes (their number goes to `unpacked` when given). MODULE_INSPECTED, or
// why not; `info` is cleared when not.
int inspectModule(const HostRoot& host, const std::string& path, ModuleInfo* info,
                  size_t sizeLimit = kModuleSizeLimit, size_t* unpacked = nullptr);

// inspectModule's answer as a yes or no.
bool readModuleInfo(const HostRoot& host, const std::string& path, ModuleInfo* info);

// Reads an uncompressed module's .modinfo section and signature trailer from its bytes.
// False when they are no ELF object with a .modinfo section.
bool parseModuleBytes(const std::string& bytes, ModuleInfo* info);

// The module name a file name stands for ("holvane.ko.xz" gives "holvane"); empty when
// it is no module file name (*.ko, *.ko.xz, *.ko.zst, *.ko.gz).
std::string moduleFileStem(const std::string& fileName);

// A module name as the kernel compares names: '-' and '_' are the same.
std::string canonicalModuleName(const std::string& name);

// The kernel release a vermagic names: its first word.
std::string vermagicRelease(const std::string& vermagic);

// Whether two reads describe one build of a module: same name, version, srcversion and
// vermagic, and the same signature state and key. Two builds of one version from other
// sources differ in srcversion, the checksum of their sources.
bool sameModuleBuild(const ModuleInfo& a, const ModuleInfo& b);
