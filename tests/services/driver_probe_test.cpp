// The driver and host probes over prepared host trees, with module files that are real
// ELF objects (gcc -c) with a .modinfo section, signed with openssl cms where needed, read
// by the real modinfo, packed by rpmbuild and read back through the real rpm.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "services/driver_host.h"
#include "services/driver_outlook.h"
#include "services/driver_package.h"
#include "services/kernel_module.h"
#include "services/module_compression.h"
#include "services/secure_boot.h"
#include "tests/services/test_support.h"
#include "tests/support/rpm_sandbox.h"

namespace fs = std::filesystem;

namespace {

const char kRunning[] = "5.14.0-362.el9.x86_64";
const char kOther[] = "5.14.0-427.el9.x86_64";
const char kShimGuid[] = "605dab50-e046-4300-abe6-de71b77de68f";
const char kDbGuid[] = "d719b2cb-3d3a-4596-a3bc-dad00e67656f";
const char kGlobalGuid[] = "8be4df61-93ca-11d2-aa0d-00e098032b8c";

int sh(const std::string& command) {
    return RpmSandbox::run(command);
}

std::string q(const std::string& text) {
    return RpmSandbox::quote(text);
}

// One signing key and certificate for the whole run.
struct SigningKey {
    ScratchDir dir{"stage3-signing"};
    std::string key = dir.file("key.pem");
    std::string cert = dir.file("cert.pem");
    std::string der = dir.file("cert.der");
    SigningKey() {
        sh("openssl req -new -x509 -newkey rsa:2048 -nodes -days 30 -subj '/CN=Holvane signing/' "
           "-keyout " +
           q(key) + " -out " + q(cert) + " 2>/dev/null && openssl x509 -in " + q(cert) +
           " -outform DER -out " + q(der));
    }
};

const SigningKey& signingKey() {
    static SigningKey key;
    return key;
}

struct ModuleFixture {
    std::string name = "holvane";
    std::string version = "2.1.0";
    std::string release = kRunning;
    std::string srcversion = "A1B2C3D4E5F6";
    bool sign = false;
    std::string suffix = ".ko";  // or ".ko.xz", ".ko.zst", ".ko.gz"
};

// A module file NAME+suffix in `dir`, built as the kernel's build does its .modinfo.
std::string makeModule(const std::string& dir, const ModuleFixture& m) {
    const std::string base = dir + "/" + m.name;
    std::string fields = "name=" + m.name + "\\0version=" + m.version +
                         "\\0srcversion=" + m.srcversion + "\\0vermagic=" + m.release +
                         " SMP mod_unload modversions ";
    writeFile(base + ".c",
              "__attribute__((section(\".modinfo\"), used)) static const char i[] = \"" + fields +
                  "\";\n");
    const std::string ko = base + ".ko";
    EXPECT_EQ(sh("gcc -c -o " + q(ko) + " " + q(base + ".c")), 0);
    if (m.sign) {
        EXPECT_EQ(sh("openssl cms -sign -binary -noattr -nosmimecap -nocerts -outform DER -md "
                     "sha256 -signer " +
                     q(signingKey().cert) + " -inkey " + q(signingKey().key) + " -in " + q(ko) +
                     " -out " + q(base + ".sig")),
                  0);
        // The kernel's layout: PKCS#7, the module_signature record (id type 2, the
        // signature's length big-endian), then the magic.
        const std::string sig = readFile(base + ".sig");
        const uint32_t n = static_cast<uint32_t>(sig.size());
        const char record[] = {0,
                               0,
                               2,
                               0,
                               0,
                               0,
                               0,
                               0,
                               char(n >> 24),
                               char(n >> 16 & 255),
                               char(n >> 8 & 255),
                               char(n & 255)};
        writeFile(ko, readFile(ko) + sig + std::string(record, sizeof record) +
                          "~Module signature appended~\n");
    }
    std::string command = "true";
    if (m.suffix == ".ko.xz")
        command += " && xz -f " + q(base + ".ko");
    if (m.suffix == ".ko.zst")
        command += " && zstd -q --rm -f " + q(base + ".ko");
    if (m.suffix == ".ko.gz")
        command += " && gzip -f " + q(base + ".ko");
    EXPECT_EQ(sh(command), 0) << command;
    return base + m.suffix;
}

// Files below `root`: each a copy of a file, or with "->" before it a link to that path.
using Placed = std::vector<std::pair<std::string, std::string>>;
void place(const std::string& root, const Placed& files) {
    for (const auto& file : files) {
        const fs::path at = root + "/" + file.first;
        fs::create_directories(at.parent_path());
        if (file.second.rfind("->", 0) == 0)
            fs::create_symlink(file.second.substr(2), at);
        else
            fs::copy_file(file.second, at);
    }
}

// A prepared host: a root directory standing for /, and the running release.
struct HostTree {
    ScratchDir dir{"stage3-host"};
    HostRoot host;
    HostTree() {
        host.root = dir.path();
        host.release = kRunning;
        host.programPath = std::string(std::getenv("PATH")) + ":/usr/sbin:/sbin";
    }
    void put(const std::string& path, const std::string& content = "") {
        writeFile(dir.path() + path, content);
    }
    // A link at `path` to `target` (both as seen on the host), relative as sysfs makes them.
    void link(const std::string& path, const std::string& target) {
        const fs::path at(dir.path() + path);
        fs::create_directories(at.parent_path());
        fs::create_directories(dir.path() + target);
        const fs::path relative = fs::path(target).lexically_relative(fs::path(path).parent_path());
        ASSERT_EQ(symlink(relative.c_str(), at.c_str()), 0) << path;
    }
    void kernel(const std::string& release) { put("/lib/modules/" + release + "/modules.dep"); }
    // An efivarfs file: four bytes of attributes (non-volatile, boot and run time), then the value.
    void efivar(const std::string& name, const char* guid, const std::string& value) {
        put("/sys/firmware/efi/efivars/" + name + "-" + guid, std::string("\x07\0\0\0", 4) + value);
    }
};

std::string le32(uint32_t v) {
    return std::string{char(v & 255), char(v >> 8 & 255), char(v >> 16 & 255), char(v >> 24)};
}

// An EFI signature list of X.509 entries.
std::string signatureList(const std::vector<std::string>& certificates) {
    const size_t entry = 16 + certificates.front().size();
    std::string list = std::string(16, 'T') + le32(28 + entry * certificates.size()) + le32(0) +
                       le32(static_cast<uint32_t>(entry));
    for (const std::string& c : certificates) list += std::string(16, 'O') + c;
    return list;
}

// The package holvane of `files` (with `post` as its %post script) built by rpmbuild in
// `build`; its file.
std::string buildPackage(const ScratchDir& build, const std::string& name, const Placed& files,
                         const std::string& post = "") {
    const std::string payload = build.file("payload-" + name);
    const std::string recipe = build.file(name + ".spec");
    place(payload, files);
    writeFile(recipe, std::string("Name: holvane\nVersion: 2.1.0\nRelease: 1\nSummary: t\n"
                                  "License: none\n%description\nt\n%install\ncp -a ") +
                          payload + "/. %{buildroot}/\n" +
                          (!post.empty() ? "%post\n" + post + "\n" : "") + "%files\n/*\n");
    EXPECT_EQ(sh("rpmbuild -bb --quiet --define '_topdir " + build.file("top") +
                 "' --define '_rpmdir " + build.file(name) +
                 "' --define '_rpmfilename holvane.rpm' --define 'debug_package %{nil}' " +
                 q(recipe) + " >/dev/null 2>&1"),
              0);
    return build.file(name + "/holvane.rpm");
}

}  // namespace

TEST(ModuleFile, ReadsNameVersionVermagicAndSignature) {
    ScratchDir dir;
    struct Case {
        ModuleFixture module;
        bool withModinfo;
        bool read;
        int signature;
        const char* signer;
    };
    ModuleFixture plain, signedXz, signedKo, zst, gz;
    signedXz.sign = signedKo.sign = true;
    signedXz.suffix = ".ko.xz";
    zst.suffix = ".ko.zst";
    zst.name = "pirsel-hba";
    gz.suffix = ".ko.gz";
    const Case cases[] = {
        {plain, true, true, MODULE_UNSIGNED, ""},
        {signedXz, true, true, MODULE_SIGNED, "Holvane signing"},
        {zst, true, true, MODULE_UNSIGNED, ""},
        // Without modinfo: the ELF section and the trailer, read here, unpacked here.
        {plain, false, true, MODULE_UNSIGNED, ""},
        {signedKo, false, true, MODULE_SIGNED, ""},
        {signedXz, false, true, MODULE_SIGNED, ""},
        {gz, false, true, MODULE_UNSIGNED, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.module.name + c.module.suffix +
                     (c.withModinfo ? " modinfo" : " own reader"));
        const std::string file = makeModule(dir.path(), c.module);
        HostRoot host = HostRoot::running();
        if (!c.withModinfo)
            host.programPath = "/nonexistent";
        ModuleInfo info;
        ASSERT_EQ(readModuleInfo(host, file, &info), c.read);
        EXPECT_EQ(info.signature, c.signature);
        EXPECT_EQ(info.signer, c.signer);
        if (!c.read)
            continue;
        EXPECT_EQ(info.name, c.module.name);
        EXPECT_EQ(info.version, c.module.version);
        EXPECT_EQ(info.srcversion, c.module.srcversion);
        EXPECT_EQ(vermagicRelease(info.vermagic), kRunning);
        EXPECT_EQ(info.keyId.empty(), !(c.withModinfo && c.module.sign));
    }
}

TEST(ModuleFile, EveryCutOfAnObjectIsReadSafely) {
    ScratchDir dir;
    ModuleFixture module;
    module.sign = true;
    const std::string bytes = readFile(makeModule(dir.path(), module));
    ModuleInfo info;
    ASSERT_TRUE(parseModuleBytes(bytes, &info));
    // Cut anywhere, the headers point past the end: nothing is read from outside the
    // bytes (the sanitizers watch), and the section table's loss refuses the object.
    for (size_t size = 0; size < bytes.size(); ++size) {
        ModuleInfo cut;
        if (parseModuleBytes(bytes.substr(0, size), &cut)) {
            EXPECT_EQ(cut.name, "holvane") << size;
        }
    }
    EXPECT_FALSE(parseModuleBytes(bytes.substr(0, 64), &info));
}

TEST(ModuleFile, UnpacksWithinItsBound) {
    ScratchDir dir;
    const size_t bound = 64 * 1024;
    const std::string module = readFile(makeModule(dir.path(), ModuleFixture()));
    writeFile(dir.file("module"), module);
    writeFile(dir.file("exact"), std::string(bound, 'x'));
    writeFile(dir.file("bomb"), std::string(1024 * 1024, '\0'));
    struct Case {
        const char* input;
        const char* compression;
        int result;
        size_t size;
    } cases[] = {
        {"module", "xz", MODULE_UNPACKED, module.size()},
        {"module", "zst", MODULE_UNPACKED, module.size()},
        {"module", "gz", MODULE_UNPACKED, module.size()},
        {"exact", "xz", MODULE_UNPACKED, bound},
        {"exact", "", MODULE_UNPACKED, bound},
        {"bomb", "xz", MODULE_TOO_LARGE, 0},
        {"bomb", "zst", MODULE_TOO_LARGE, 0},
        {"bomb", "gz", MODULE_TOO_LARGE, 0},
        {"bomb", "", MODULE_TOO_LARGE, 0},
        // Damaged: a byte changed in the middle, or the stream cut short; or not the
        // compression the name says.
        {"module", "xz damaged", MODULE_DAMAGED, 0},
        {"module", "zst cut", MODULE_DAMAGED, 0},
        {"module", "gz cut", MODULE_DAMAGED, 0},
        {"module", "xz as zst", MODULE_DAMAGED, 0},
    };
    const std::map<std::string, std::string> tools = {
        {"xz", "xz -c"}, {"zst", "zstd -q -c"}, {"gz", "gzip -c"}};
    for (const Case& c : cases) {
        const std::string how = c.compression;
        SCOPED_TRACE(std::string(c.input) + " " + how);
        const std::string format = how.substr(0, how.find(' '));
        std::string packed = readFile(dir.file(c.input));
        if (!format.empty()) {
            ASSERT_EQ(sh(tools.at(format) + " " + q(dir.file(c.input)) + " > " + q(dir.file("p"))),
                      0);
            packed = readFile(dir.file("p"));
        }
        if (how.find("damaged") != std::string::npos)
            packed[packed.size() / 2] ^= 0x55;
        if (how.find("cut") != std::string::npos)
            packed.resize(packed.size() - 8);
        const std::string named =
            how.find(" as ") != std::string::npos ? how.substr(how.rfind(' ') + 1) : format;
        std::string out = "stale";
        EXPECT_EQ(unpackModule(named, packed, bound, &out), c.result);
        EXPECT_EQ(out.size(), c.size);
        if (c.result == MODULE_UNPACKED && std::string(c.input) == "module") {
            EXPECT_EQ(out, module);
        }
    }
}

TEST(DriverPackage, ListsAndReadsItsModulesThroughRpm) {
    RpmSandbox box;
    ScratchDir build;
    ModuleFixture forRunning, forOther;
    forRunning.sign = true;
    forRunning.suffix = ".ko.xz";
    forOther.release = kOther;
    const std::string running = std::string("lib/modules/") + kRunning + "/extra/";
    const std::string doc = build.file("README");
    writeFile(doc, "x");
    struct Case {
        const char* name;
        Placed files;
        const char* post;
        int result;
        size_t modules;
    } cases[] = {
        {"two-kernels",
         {{running + "holvane/holvane.ko.xz", makeModule(build.file("a"), forRunning)},
          {std::string("lib/modules/") + kOther + "/extra/holvane.ko",
           makeModule(build.file("b"), forOther)},
          {"usr/share/doc/holvane.ko", doc}},
         "weak-modules --add-modules < /dev/null || :",
         DRIVER_PACKAGE_READ,
         2},
        {"no-modules", {{"usr/bin/holvanectl", doc}}, "", DRIVER_PACKAGE_READ, 0},
        {"link-to-shadow",
         {{running + "holvane.ko", "->/etc/shadow"}},
         "",
         DRIVER_PACKAGE_REFUSED,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string package = buildPackage(build, c.name, c.files, c.post);
        DriverPackageContents contents = readDriverPackage(HostRoot::running(), package);
        EXPECT_EQ(contents.result, c.result);
        EXPECT_EQ(contents.weakModules, *c.post != '\0');
        ASSERT_EQ(contents.modules.size(), c.modules);
        for (const PackagedModule& module : contents.modules) {
            EXPECT_TRUE(module.read) << module.path;
            EXPECT_EQ(vermagicRelease(module.info.vermagic), module.release);
            EXPECT_EQ(module.info.signature,
                      module.release == kRunning ? MODULE_SIGNED : MODULE_UNSIGNED);
        }
        if (c.modules == 2) {
            EXPECT_EQ(contents.modules[0].path, "/" + running + "holvane/holvane.ko.xz");
        }
    }
}

TEST(DriverPackage, ModulesPastItsBoundsAreListedNotInspected) {
    ScratchDir build;
    ModuleFixture one, two, three;
    two.name = "pirsel";
    three.name = "tarnow";
    three.suffix = ".ko.xz";
    const std::string tree = std::string("lib/modules/") + kRunning + "/extra/";
    const std::string package =
        buildPackage(build, "three",
                     {{tree + "holvane.ko", makeModule(build.file("1"), one)},
                      {tree + "pirsel.ko", makeModule(build.file("2"), two)},
                      {tree + "tarnow.ko.xz", makeModule(build.file("3"), three)}});
    const size_t size = fs::file_size(build.file("1/holvane.ko"));
    DriverPackageBounds count, taken, unpacked, moduleSize;
    count.modules = 2;
    taken.taken = size;
    unpacked.unpacked = size + size / 2;
    moduleSize.moduleSize = 64;
    struct Case {
        const char* name;
        DriverPackageBounds bounds;
        int pirsel, tarnow;  // holvane, the first, is inspected except for its size
    } cases[] = {
        {"within", DriverPackageBounds(), MODULE_INSPECTED, MODULE_INSPECTED},
        {"count", count, MODULE_INSPECTED, MODULE_PAST_COUNT},
        {"bytes taken", taken, MODULE_PAST_TOTAL, MODULE_PAST_TOTAL},
        {"bytes unpacked", unpacked, MODULE_PAST_TOTAL, MODULE_PAST_TOTAL},
        {"module size", moduleSize, MODULE_UNPACKS_TOO_LARGE, MODULE_UNPACKS_TOO_LARGE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DriverPackageContents contents = readDriverPackage(HostRoot::running(), package, c.bounds);
        EXPECT_EQ(contents.result, DRIVER_PACKAGE_READ);
        ASSERT_EQ(contents.modules.size(), 3u);
        // In the payload's order, which the bounds go by.
        const int first = c.bounds.moduleSize < size ? MODULE_UNPACKS_TOO_LARGE : MODULE_INSPECTED;
        const int expected[] = {first, c.pirsel, c.tarnow};
        for (size_t i = 0; i < 3; ++i) {
            const PackagedModule& m = contents.modules[i];
            EXPECT_EQ(m.inspection, expected[i]) << m.path;
            EXPECT_EQ(m.read, m.inspection == MODULE_INSPECTED) << m.path;
        }
    }
}

TEST(DriverPackage, ModulePathsAndTheirReleases) {
    struct Case {
        const char* path;
        const char* release;
        bool odd;
    } cases[] = {
        {"/lib/modules/5.14.0-1.el9.x86_64/extra/holvane.ko", "5.14.0-1.el9.x86_64", false},
        {"/usr/lib/modules/6.1/updates/pirsel.ko.zst", "6.1", false},
        {"/lib/modules/6.1/holvane.ko.xz", "6.1", false},
        {"/lib/modules/holvane.ko", "", false},  // no release directory
        {"/usr/share/doc/holvane.ko", "", false},
        {"/lib/modules/6.1/extra/README", "", false},
        {"/lib/modules/../../etc/holvane.ko", "", true},
        {"/lib/modules/6.1/./holvane.ko", "", true},
        {"/lib/modules//6.1/holvane.ko", "", true},
        {"/lib/modules/6.1/\nx/holvane.ko", "", true},
    };
    for (const Case& c : cases) {
        bool odd = false;
        EXPECT_EQ(moduleRelease(c.path, &odd), c.release) << c.path;
        EXPECT_EQ(odd, c.odd) << c.path;
    }
}

TEST(KernelCoverage, RunningKernelHasAModuleOrCanLinkOne) {
    const std::string stranger = "6.1.0-13-amd64";
    struct Case {
        const char* name;
        std::string under;     // the module's /lib/modules directory
        std::string builtFor;  // the release its vermagic names
        bool packageLinks;     // the package runs weak-modules
        bool hostLinks;        // the host has weak-modules
        bool runningInstalled;
        int running;
        size_t covered;
    } cases[] = {
        {"own module", kRunning, kRunning, false, false, true, RUNNING_KERNEL_HAS_MODULE, 1},
        {"kindred kernel", kOther, kOther, true, true, true, RUNNING_KERNEL_WEAK_UPDATES, 1},
        {"host cannot link", kOther, kOther, true, false, true, RUNNING_KERNEL_NO_MODULE, 1},
        {"package does not link", kOther, kOther, false, true, true, RUNNING_KERNEL_NO_MODULE, 1},
        {"other upstream version", stranger, stranger, true, true, true, RUNNING_KERNEL_NO_MODULE,
         0},
        {"built for another kernel", kRunning, kOther, true, true, true, RUNNING_KERNEL_NO_MODULE,
         0},
        {"running not installed", kOther, kOther, true, true, false, RUNNING_KERNEL_NO_MODULE, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostTree tree;
        tree.kernel(kOther);
        if (c.runningInstalled)
            tree.kernel(kRunning);
        tree.put("/lib/modules/4.18.0-1.el8.x86_64/extra/leftover.ko");  // a removed kernel
        if (c.hostLinks)
            tree.put("/usr/sbin/weak-modules");
        DriverPackageContents package;
        package.result = DRIVER_PACKAGE_READ;
        package.modules.push_back(
            {"/lib/modules/" + c.under + "/extra/holvane.ko", c.under, true, {}});
        package.modules[0].info.vermagic = c.builtFor + " SMP mod_unload ";
        package.weakModules = c.packageLinks;
        KernelCoverage coverage = kernelCoverage(tree.host, package);
        EXPECT_EQ(coverage.running, c.running);
        EXPECT_EQ(coverage.covered.size(), c.covered);
        EXPECT_EQ(coverage.installed.size(), c.runningInstalled ? 2u : 1u);
    }
}

TEST(SecureBoot, StateFromTheFirmwareVariables) {
    struct Case {
        const char* name;
        bool efi;
        const char* secureBoot;  // null: no variable
        const char* setupMode;
        int state;
    } cases[] = {
        {"legacy start", false, nullptr, nullptr, SECURE_BOOT_NOT_EFI},
        {"variables unreadable", true, nullptr, nullptr, SECURE_BOOT_UNKNOWN},
        {"enforcing", true, "\x01", "\x00", SECURE_BOOT_ON},
        {"no setup variable", true, "\x01", nullptr, SECURE_BOOT_ON},
        {"setup mode", true, "\x01", "\x01", SECURE_BOOT_SETUP_MODE},
        {"off", true, "\x00", "\x00", SECURE_BOOT_OFF},
    };
    for (const Case& c : cases) {
        HostTree tree;
        if (c.efi)
            fs::create_directories(tree.dir.file("sys/firmware/efi"));
        if (c.secureBoot)
            tree.efivar("SecureBoot", kGlobalGuid, std::string(c.secureBoot, 1));
        if (c.setupMode)
            tree.efivar("SetupMode", kGlobalGuid, std::string(c.setupMode, 1));
        EXPECT_EQ(secureBootState(tree.host), c.state) << c.name;
    }
}

TEST(SecureBoot, CertificateTrustFromTheKeyLists) {
    const std::string der = readFile(signingKey().der);
    ASSERT_FALSE(der.empty());
    const std::string stranger = std::string(der.size() - 1, 'x') + "y";
    struct Case {
        const char* name;
        const char* variable;
        const char* guid;
        std::vector<std::string> entries;
        int trust;
    } cases[] = {
        {"enrolled machine owner key",
         "MokListRT",
         kShimGuid,
         {stranger, der},
         CERTIFICATE_TRUSTED},
        {"in the firmware's db", "db", kDbGuid, {der}, CERTIFICATE_TRUSTED},
        {"import pending", "MokNew", kShimGuid, {der}, CERTIFICATE_ENROLMENT_PENDING},
        {"not among the keys", "MokListRT", kShimGuid, {stranger}, CERTIFICATE_NOT_TRUSTED},
        {"no key list", nullptr, nullptr, {}, CERTIFICATE_TRUST_UNKNOWN},
    };
    for (const Case& c : cases) {
        HostTree tree;
        if (c.variable)
            tree.efivar(c.variable, c.guid, signatureList(c.entries));
        // The medium's certificate as PEM and as DER.
        EXPECT_EQ(certificateTrust(tree.host, signingKey().cert), c.trust) << c.name;
        EXPECT_EQ(certificateTrust(tree.host, signingKey().der), c.trust) << c.name;
    }
    // A list whose sizes run past the value is not read past it.
    std::string list = signatureList({der});
    EXPECT_FALSE(signatureListHolds(list.substr(0, list.size() - 1), der));
}

TEST(BootDevices, ModulesBeneathRootBootAndSwap) {
    HostTree tree;
    // / on LVM (dm-0) over an md mirror of sda2 and sdb2, /boot on sda1, swap on nvme0n1p3.
    // sda and sdb are SCSI disks (sd_mod) behind the holvane controller; nvme is built in.
    const std::string hba = "/sys/devices/pci0000:00/0000:00:01.0/0000:01:00.0";
    const std::string nvme = "/sys/devices/pci0000:00/0000:00:02.0";
    const std::string md = "/sys/devices/virtual/block/md127";
    const std::string dm = "/sys/devices/virtual/block/dm-0";
    for (std::string disk : {"sda", "sdb"}) {
        const std::string scsi = hba + "/host0/target0:0:0/0:0:0:" + (disk == "sda" ? "0" : "1");
        tree.link(scsi + "/driver", "/sys/bus/scsi/drivers/sd");
        tree.link(scsi + "/block/" + disk + "/device", scsi);
        for (const char* part : {"1", "2"}) {
            tree.put(scsi + "/block/" + disk + "/" + disk + part + "/partition", part);
            tree.link("/sys/class/block/" + disk + part,
                      scsi + "/block/" + disk + "/" + disk + part);
        }
        tree.link(md + "/slaves/" + disk + "2", scsi + "/block/" + disk + "/" + disk + "2");
    }
    tree.link("/sys/bus/scsi/drivers/sd/module", "/sys/module/sd_mod");
    tree.link(hba + "/driver", "/sys/bus/pci/drivers/holvane");
    tree.link("/sys/bus/pci/drivers/holvane/module", "/sys/module/holvane");
    tree.link(nvme + "/driver", "/sys/bus/pci/drivers/nvme");  // no module: built in
    tree.put(nvme + "/nvme/nvme0/nvme0n1/nvme0n1p3/partition", "3");
    tree.link(nvme + "/nvme/nvme0/nvme0n1/device", nvme + "/nvme/nvme0");
    tree.link("/sys/class/block/nvme0n1p3", nvme + "/nvme/nvme0/nvme0n1/nvme0n1p3");
    tree.link(dm + "/slaves/md127", md);
    tree.put(dm + "/dm/name", "rhel-root\n");
    tree.link("/sys/class/block/md127", md);
    tree.link("/sys/class/block/dm-0", dm);
    tree.put("/proc/mounts",
             "proc /proc proc rw 0 0\n/dev/mapper/rhel-root / xfs rw 0 0\n"
             "/dev/sda1 /boot xfs rw 0 0\n/dev/sdb1 /srv\\040data xfs rw 0 0\n");
    tree.put("/proc/swaps",
             "Filename\tType\tSize\tUsed\tPriority\n/dev/nvme0n1p3 partition 8388604 0 -2\n"
             "/swapfile file 1024 0 -3\n");
    struct Case {
        const char* module;
        int roles;
    } cases[] = {
        {"holvane", BOOT_ROLE_ROOT | BOOT_ROLE_BOOT},
        {"sd-mod", BOOT_ROLE_ROOT | BOOT_ROLE_BOOT},
        {"nvme", BOOT_ROLE_SWAP},
        {"pirsel", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(bootDeviceRoles(tree.host, c.module), c.roles) << c.module;
}

TEST(LoadedModules, StateAndVersion) {
    HostTree tree;
    tree.put("/proc/modules",
             "sd_mod 69632 3 - Live 0x0000000000000000\n"
             "holvane_hba 176128 2 - Live 0x0000000000000000\n");
    tree.put("/sys/module/holvane_hba/version", "2.0.1\n");
    tree.put("/sys/module/holvane_hba/srcversion", "OLDSRC\n");
    tree.put("/sys/module/pirsel/initstate", "live\n");
    tree.put("/sys/module/nvme_core/parameters/io_timeout", "30\n");
    struct Case {
        const char* name;
        int state;
        const char* version;
        const char* srcversion;
    } cases[] = {
        {"holvane-hba", MODULE_LOADED, "2.0.1", "OLDSRC"},
        {"pirsel", MODULE_LOADED, "", ""},
        {"nvme_core", MODULE_BUILT_IN, "", ""},
        {"dumaro", MODULE_NOT_LOADED, "", ""},
    };
    for (const Case& c : cases) {
        LoadedModule loaded = loadedModule(tree.host, c.name);
        EXPECT_EQ(loaded.state, c.state) << c.name;
        EXPECT_EQ(loaded.version, c.version) << c.name;
        EXPECT_EQ(loaded.srcversion, c.srcversion) << c.name;
    }
}

TEST(Initramfs, TellsTheNewModuleFromTheOld) {
    ScratchDir build;
    ModuleFixture fresh, old;
    fresh.suffix = ".ko.xz";
    old.version = "2.0.1";
    old.srcversion = "OLDSRC";
    const std::string newFile = makeModule(build.file("new"), fresh);
    const std::string oldFile = makeModule(build.file("old"), old);
    ModuleInfo installed;
    ASSERT_TRUE(readModuleInfo(HostRoot::running(), newFile, &installed));
    const std::string tree = std::string("lib/modules/") + kRunning + "/";
    struct Case {
        const char* name;
        const char* image;  // below /boot, with the running release for '%'
        Placed files;
        int state;
    } cases[] = {
        {"new module",
         "initramfs-%.img",
         {{"usr/" + tree + "extra/holvane.ko.xz", newFile}},
         INITRAMFS_NEW_BUILD},
        {"old module ahead of the new",
         "initramfs-%.img",
         {{tree + "updates/holvane.ko", oldFile}, {tree + "extra/holvane.ko.xz", newFile}},
         INITRAMFS_OTHER_BUILD},
        {"module for another kernel only",
         "initramfs-%.img",
         {{std::string("lib/modules/") + kOther + "/holvane.ko.xz", newFile}},
         INITRAMFS_WITHOUT_MODULE},
        {"initramfs-tools image",
         "initrd.img-%",
         {{tree + "updates/holvane.ko.xz", newFile}},
         INITRAMFS_NEW_BUILD},
        {"no image", nullptr, {}, INITRAMFS_NOT_CHECKED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        HostTree host;
        if (c.image) {
            std::string image = host.dir.file("boot/") + c.image;
            image.replace(image.find('%'), 1, kRunning);
            const std::string root = build.file(std::string("root-") + c.name);
            place(root, c.files);
            ASSERT_EQ(sh("mkdir -p " + q(host.dir.file("boot")) + " && cd " + q(root) +
                         " && find . | cpio -o -H newc --quiet | gzip > " + q(image)),
                      0);
        }
        InitramfsCheck check = initramfsModule(host.host, installed);
        EXPECT_EQ(check.state, c.state) << check.path;
    }
}

// The probes put together for one package on one host, then what other findings come to.
TEST(DriverOutlook, WhatThePackageMeansForTheHost) {
    RpmSandbox box;
    ScratchDir build;
    const std::string payload = build.file("payload");
    place(payload, {{std::string("lib/modules/") + kRunning + "/extra/holvane.ko",
                     makeModule(build.file("m"), ModuleFixture())}});
    const std::string recipe = build.file("holvane.spec");
    writeFile(recipe,
              "Name: holvane\nVersion: 2.1.0\nRelease: 1\nSummary: t\nLicense: none\n"
              "%description\nt\n%install\ncp -a " +
                  payload + "/. %{buildroot}/\n%files\n/*\n");
    ASSERT_EQ(sh("rpmbuild -bb --quiet --define '_topdir " + build.file("top") +
                 "' --define '_rpmdir " + build.file("out") +
                 "' --define '_rpmfilename holvane.rpm' --define 'debug_package %{nil}' " +
                 q(recipe) + " >/dev/null 2>&1"),
              0);
    // Secure Boot on; / on sda1 behind the holvane controller; an older holvane loaded.
    HostTree tree;
    tree.kernel(kRunning);
    tree.efivar("SecureBoot", kGlobalGuid, std::string(1, '\1'));
    tree.efivar("SetupMode", kGlobalGuid, std::string(1, '\0'));
    const std::string hba = "/sys/devices/pci0000:00/0000:00:01.0/0000:01:00.0";
    const std::string disk = hba + "/host0/target0:0:0/0:0:0:0/block/sda";
    tree.link(disk + "/device", hba + "/host0/target0:0:0/0:0:0:0");
    tree.put(disk + "/sda1/partition", "1");
    tree.link("/sys/class/block/sda1", disk + "/sda1");
    tree.link(hba + "/driver", "/sys/bus/pci/drivers/holvane");
    tree.link("/sys/bus/pci/drivers/holvane/module", "/sys/module/holvane");
    tree.put("/proc/mounts", "/dev/sda1 / xfs rw 0 0\n");
    tree.put("/proc/modules", "holvane 176128 2 - Live 0x0000000000000000\n");
    tree.put("/sys/module/holvane/version", "2.0.1\n");
    tree.put("/sys/module/holvane/srcversion", "OLDSRC\n");

    const DriverOutlook outlook =
        lookAtDriver(tree.host, build.file("out/holvane.rpm"), build.path());
    const DriverFindings found = judgeDriver(outlook);
    EXPECT_TRUE(found.hasModules);
    EXPECT_TRUE(found.runningKernelCovered);
    EXPECT_TRUE(found.blockedBySecureBoot);  // unsigned
    EXPECT_TRUE(found.neededAtBoot);
    EXPECT_TRUE(found.loadedOtherBuild);
    EXPECT_TRUE(restartNeededAfterInstall(found));

    struct Case {
        const char* what;
        std::function<void(DriverOutlook*)> change;
        bool blocked, pending, restart;
    };
    const Case cases[] = {
        {"signed, certificate trusted",
         [](DriverOutlook* o) {
             o->module.signature = MODULE_SIGNED;
             o->certificateTrust = CERTIFICATE_TRUSTED;
         },
         false, false, true},
        {"signed, enrolment pending",
         [](DriverOutlook* o) {
             o->module.signature = MODULE_SIGNED;
             o->certificateTrust = CERTIFICATE_ENROLMENT_PENDING;
         },
         true, true, true},
        {"Secure Boot off", [](DriverOutlook* o) { o->secureBoot = SECURE_BOOT_OFF; }, false, false,
         true},
        {"same build loaded, not needed at boot",
         [](DriverOutlook* o) {
             o->loaded.version = o->module.version;
             o->loaded.srcversion = o->module.srcversion;
             o->bootRoles = 0;
         },
         true, false, false},
        {"no modules at all", [](DriverOutlook* o) { o->package.modules.clear(); }, false, false,
         false},
    };
    for (const Case& c : cases) {
        DriverOutlook changed = outlook;
        c.change(&changed);
        const DriverFindings f = judgeDriver(changed);
        EXPECT_EQ(f.blockedBySecureBoot, c.blocked) << c.what;
        EXPECT_EQ(f.enrolmentPending, c.pending) << c.what;
        EXPECT_EQ(restartNeededAfterInstall(f), c.restart) << c.what;
    }
}
