// What a kernel module file says about itself: its name, version and vermagic (from its
// .modinfo section) and whether a signature is appended to it. modinfo reads it where
// the host has modinfo; without it, an uncompressed module's ELF section and signature
// trailer are read here (a compressed one then stays unread).
#pragma once

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

// Reads the module file `path` (*.ko, *.ko.xz, *.ko.zst) with the host's modinfo, else
// from the file itself. False when neither could read it; `info` is then cleared.
bool readModuleInfo(const HostRoot& host, const std::string& path, ModuleInfo* info);

// Reads an uncompressed module's .modinfo section and signature trailer from its bytes.
// False when they are no ELF object with a .modinfo section.
bool parseModuleBytes(const std::string& bytes, ModuleInfo* info);

// The module name a file name stands for ("holvane.ko.xz" gives "holvane"); empty when
// it is no module file name (*.ko, *.ko.xz, *.ko.zst).
std::string moduleFileStem(const std::string& fileName);

// A module name as the kernel compares names: '-' and '_' are the same.
std::string canonicalModuleName(const std::string& name);

// The kernel release a vermagic names: its first word.
std::string vermagicRelease(const std::string& vermagic);

// Whether two reads describe one build of a module: same name, version, srcversion and
// vermagic, and the same signature state and key. Two builds of one version from other
// sources differ in srcversion, the checksum of their sources.
bool sameModuleBuild(const ModuleInfo& a, const ModuleInfo& b);
