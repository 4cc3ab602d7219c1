#include "unattended/support_bundle.h"

#include <dirent.h>
#include <fcntl.h>
#include <glib.h>
#include <json-glib/json-glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include "services/child_process.h"
#include "services/descriptor.h"
#include "services/driver_outlook.h"
#include "services/files.h"
#include "services/kernel_module.h"
#include "services/secure_boot.h"
#include "services/string_service.h"
#include "services/text_format.h"
#include "unattended/run_report.h"
#include "wizard/command_line.h"
#include "wizard/install_log.h"
#include "wizard/maintenance.h"
#include "wizard/run_history.h"
#include "wizard/text_ids.h"

namespace {

const size_t LogsKept = 5;
const size_t FileLimit = 16 * 1024 * 1024;
const size_t OutputLimit = 1024 * 1024;
const char* const Top = "stage3-support";

// A text of the medium's database, else the program's own (no medium loaded).
std::string text(ResourceID_C id) {
    const char* value = getString(id);
    return value && value[0] ? value : getBuiltInString(id);
}

std::string orNone(const std::string& version) {
    return version.empty() ? "none" : version;
}

// A package or module name as a file name of the bundle.
std::string fileWord(std::string name) {
    for (char& c : name)
        if (c == '/' || static_cast<unsigned char>(c) < 0x20)
            c = '_';
    return name.empty() || name[0] == '.' ? "_" + name : name;
}

std::string programText(const std::vector<std::string>& argv) {
    ProgramRun how(OutputLimit);
    how.errorsToo = true;
    how.secondsLimit = 60;
    ProgramOutput output;
    std::string command;
    for (const std::string& word : argv) command += (command.empty() ? "" : " ") + word;
    if (!runProgram(argv, how, &output))
        return "$ " + command + "\n(could not be started)\n";
    std::string s = "$ " + command + "\n" + output.text;
    if (!s.empty() && s.back() != '\n')
        s += "\n";
    if (output.cut)
        s += "(output cut at " + std::to_string(OutputLimit) + " bytes)\n";
    return s + "(exit status " + std::to_string(output.exitStatus()) + ")\n";
}

// A file's bytes as far as the bundle takes them, a line saying where they were cut.
std::string fileText(const std::string& path, Links links, bool* read = nullptr) {
    std::string bytes;
    bool longer = false;
    const bool ok = readRegularFile(path, FileLimit, &bytes, &longer, links);
    if (read)
        *read = ok;
    if (!ok)
        return path + " could not be read: " + std::strerror(errno) + "\n";
    return longer ? bytes + "\n(cut at " + std::to_string(FileLimit) + " bytes)\n" : bytes;
}

std::string signatureWord(int signature) {
    return signature == MODULE_SIGNED     ? "signed"
           : signature == MODULE_UNSIGNED ? "unsigned"
                                          : "unknown";
}

std::string moduleText(const ModuleInfo& info) {
    return "name: " + info.name + "\nversion: " + info.version + "\nvermagic: " + info.vermagic +
           "\nsrcversion: " + info.srcversion + "\nsignature: " + signatureWord(info.signature) +
           "\nsigner: " + info.signer + "\nkey: " + info.keyId + "\n";
}

std::string secureBootWords(int state) {
    switch (state) {
        case SECURE_BOOT_NOT_EFI:
            return "not an EFI start: no Secure Boot";
        case SECURE_BOOT_OFF:
            return "off";
        case SECURE_BOOT_SETUP_MODE:
            return "setup mode: nothing is enforced";
        case SECURE_BOOT_ON:
            return "on: unsigned or untrusted modules do not load";
        default:
            return "unknown: the firmware's variables cannot be read";
    }
}

// The kernel's messages naming the module, or why they cannot be read.
std::string kernelMessages(const std::string& module) {
    ProgramRun how(OutputLimit * 4);
    how.secondsLimit = 30;
    ProgramOutput output;
    if (!runProgram({"dmesg"}, how, &output) || output.exitStatus() != 0)
        return "The kernel's messages could not be read (dmesg refused or failed: exit status " +
               std::to_string(output.exitStatus()) + ").\n";
    std::string other = module;
    std::replace(other.begin(), other.end(), '_', '-');
    std::string alike = module;
    std::replace(alike.begin(), alike.end(), '-', '_');
    std::string s;
    size_t start = 0;
    while (start < output.text.size()) {
        size_t end = output.text.find('\n', start);
        if (end == std::string::npos)
            end = output.text.size();
        std::string line = output.text.substr(start, end - start);
        if (line.find(other) != std::string::npos || line.find(alike) != std::string::npos)
            s += line + "\n";
        start = end + 1;
    }
    return s.empty() ? "No kernel message names " + module + ".\n" : s;
}

// The install logs' directory: root's, or the caller's own.
std::vector<std::string> logNames(const std::string& directory) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(directory.c_str())) {
        while (struct dirent* item = readdir(dir)) {
            std::string name = item->d_name;
            if (name.compare(0, 8, "install-") == 0 && name.size() > 12 &&
                name.compare(name.size() - 4, 4, ".log") == 0)
                names.push_back(name);
        }
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The driver's module files as rpm lists them: one per module name, the running
// kernel's where there are several.
std::map<std::string, std::string> driverModules(const std::string& package,
                                                 const std::string& release) {
    std::map<std::string, std::string> modules;
    if (package.empty())
        return modules;
    ProgramOutput output;
    if (!runProgram({"rpm", "-ql", "--", package}, ProgramRun(OutputLimit), &output) ||
        output.exitStatus() != 0)
        return modules;
    size_t start = 0;
    while (start < output.text.size()) {
        size_t end = output.text.find('\n', start);
        if (end == std::string::npos)
            end = output.text.size();
        const std::string path = output.text.substr(start, end - start);
        start = end + 1;
        const std::string stem = moduleFileStem(path.substr(path.rfind('/') + 1));
        if (stem.empty())
            continue;
        const std::string name = canonicalModuleName(stem);
        if (!modules.count(name) || path.find("/" + release + "/") != std::string::npos)
            modules[name] = path;
    }
    return modules;
}

}  // namespace

int showRunHistory(bool json) {
    std::string directory;
    const std::vector<std::string> paths = runHistoryPaths(&directory);
    bool any = false;
    for (const std::string& path : paths) {
        std::vector<RunEntry> entries;
        int skipped = 0;
        std::string error;
        if (readRunHistory(path, &entries, &skipped, &error) != RecordState::Read) {
            say(stderr, "stage3: " + error);
            continue;
        }
        if (skipped)
            say(stderr,
                "stage3: " + path + ": " + std::to_string(skipped) + " damaged line(s) skipped");
        for (const RunEntry& run : entries) {
            any = true;
            if (json) {
                jsonLine([&](JsonBuilder* builder) {
                    auto nullable = [&](const char* name, const std::string& value) {
                        json_builder_set_member_name(builder, name);
                        if (value.empty())
                            json_builder_add_null_value(builder);
                        else
                            json_builder_add_string_value(builder, displayName(value).c_str());
                    };
                    jsonInt(builder, "schema_version", JsonSchemaVersion);
                    jsonString(builder, "history", displayName(path));
                    jsonString(builder, "time", displayName(run.time));
                    jsonString(builder, "action", displayName(run.action));
                    nullable("package", run.package);
                    nullable("application_before", run.applicationBefore);
                    nullable("application_after", run.applicationAfter);
                    nullable("driver_before", run.driverBefore);
                    nullable("driver_after", run.driverAfter);
                    nullable("addon_before", run.addonBefore);
                    nullable("addon_after", run.addonAfter);
                    jsonString(builder, "result", displayName(run.result));
                    jsonInt(builder, "exit_status", run.exitStatus);
                    nullable("log", run.log);
                });
                continue;
            }
            say(stdout, run.time + " " + run.action + " " + run.package + ": application " +
                            orNone(run.applicationBefore) + " -> " + orNone(run.applicationAfter) +
                            ", driver " + orNone(run.driverBefore) + " -> " +
                            orNone(run.driverAfter) + ", add-on " + orNone(run.addonBefore) +
                            " -> " + orNone(run.addonAfter) + "; " + run.result + ", exit status " +
                            std::to_string(run.exitStatus) +
                            (run.log.empty() ? "" : ", log " + run.log));
        }
    }
    if (!any)
        say(stderr, fillText(text(HistoryNoneId), {directory}));
    return 0;
}

std::vector<BundleItem> bundleItems(const BundleHost& host) {
    std::vector<BundleItem> items = {{"MANIFEST", "this list"}};
    const size_t first = host.logs.size() > LogsKept ? host.logs.size() - LogsKept : 0;
    for (size_t i = first; i < host.logs.size(); ++i)
        items.push_back({"logs/" + fileWord(host.logs[i]), "install log"});
    if (host.record)
        items.push_back({"record/" + fileWord(host.application) + ".ini", "install record"});
    if (host.history)
        items.push_back({"record/" + fileWord(host.application) + ".history", "run history"});
    for (const std::string& package : host.packages) {
        items.push_back({"packages/" + fileWord(package) + ".rpm-qi", "rpm -qi " + package});
        items.push_back({"packages/" + fileWord(package) + ".rpm-V", "rpm -V " + package});
    }
    for (const std::string& module : host.modules) {
        const std::string word = fileWord(module);
        items.push_back({"modules/" + word + ".modinfo", "the installed module's details"});
        items.push_back({"modules/" + word + ".loaded", "whether and which build is loaded"});
        items.push_back({"modules/" + word + ".dmesg", "the kernel's messages naming it"});
    }
    items.push_back({"system/secure-boot", "Secure Boot state"});
    items.push_back({"system/kernel-release", "the running kernel's release"});
    items.push_back({"system/os-release", "/etc/os-release"});
    items.push_back({"system/medium", "the medium and its list's SHA-256, from the record"});
    return items;
}

std::string bundleManifest(const std::vector<BundleItem>& items) {
    std::string s;
    for (const BundleItem& item : items) s += item.name + "\t" + item.what + "\n";
    return s;
}

int writeSupportBundle(const std::string& path) {
    auto refuse = [](ResourceID_C id, const std::string& value) {
        say(stderr, "stage3: " + fillText(text(id), {value}));
        return ExitRefused;
    };
    // The bundle's file first: nothing is gathered for a file that cannot be made.
    const size_t slash = path.rfind('/');
    const std::string directory = slash == 0 ? "/" : path.substr(0, slash);
    const std::string name = path.substr(slash + 1);
    Descriptor dir(open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    struct stat info;
    if (name.empty() || name == "." || name == ".." || !dir.valid() || fstat(dir.get(), &info) != 0)
        return refuse(BundleFailedId, path + ": " + std::strerror(errno ? errno : EINVAL));
    if ((info.st_uid != 0 && info.st_uid != geteuid()) ||
        ((info.st_mode & (S_IWGRP | S_IWOTH)) && !(info.st_mode & S_ISVTX)))
        return refuse(BundleDirectoryUnsafeId, directory);
    Descriptor out(openat(dir.get(), name.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!out.valid())
        return errno == EEXIST ? refuse(BundleExistsId, path)
                               : refuse(BundleFailedId, path + ": " + std::strerror(errno));
    fchmod(out.get(), 0600);

    // What the host holds.
    const bool medium = stringInit();
    const InstalledState state = medium ? readInstalledState() : InstalledState();
    const HostRoot& host = driverHost();
    BundleHost found;
    std::map<std::string, std::string> contents;
    const std::string logDirectory = installLogDirectory();
    found.logs = logNames(logDirectory);
    for (const std::string& log : found.logs) {
        contents["logs/" + fileWord(log)] = fileText(logDirectory + "/" + log, Links::Refuse);
    }
    found.application = state.applicationPackage;
    if (!found.application.empty()) {
        std::string error;
        contents["record/" + fileWord(found.application) + ".ini"] =
            fileText(installRecordPath(found.application), Links::Refuse, &found.record);
        std::vector<RunEntry> runs;
        int skipped = 0;
        const std::string history = runHistoryPath(found.application);
        bool read = false;
        contents["record/" + fileWord(found.application) + ".history"] =
            fileText(history, Links::Refuse, &read);
        found.history =
            read && readRunHistory(history, &runs, &skipped, &error) == RecordState::Read;
    }
    for (const auto& [package, version] : {std::pair{state.applicationPackage, state.application},
                                           std::pair{state.driverPackage, state.driver},
                                           std::pair{state.addonPackage, state.addon}}) {
        if (version.empty())
            continue;
        found.packages.push_back(package);
        contents["packages/" + fileWord(package) + ".rpm-qi"] =
            programText({"rpm", "-qi", "--", package});
        contents["packages/" + fileWord(package) + ".rpm-V"] =
            programText({"rpm", "-V", "--", package});
    }
    if (!state.driver.empty()) {
        for (const auto& [module, file] : driverModules(state.driverPackage, host.release)) {
            found.modules.push_back(module);
            const std::string word = "modules/" + fileWord(module);
            ModuleInfo info;
            const int inspection = inspectModule(host, file, &info);
            contents[word + ".modinfo"] =
                file + "\n" +
                (inspection == MODULE_INSPECTED
                     ? moduleText(info)
                     : "not inspected (reason " + std::to_string(inspection) + ")\n");
            const LoadedModule loaded = loadedModule(host, module);
            contents[word + ".loaded"] =
                loaded.state == MODULE_NOT_LOADED
                    ? "not loaded\n"
                    : std::string(loaded.state == MODULE_BUILT_IN ? "built in" : "loaded") +
                          "\nversion: " + loaded.version + "\nsrcversion: " + loaded.srcversion +
                          "\n" +
                          (inspection != MODULE_INSPECTED ? ""
                           : loaded.srcversion == info.srcversion
                               ? "the installed build\n"
                               : "another build than the installed one\n");
            contents[word + ".dmesg"] = kernelMessages(module);
        }
    }
    contents["system/secure-boot"] = secureBootWords(secureBootState(host)) + "\n";
    contents["system/kernel-release"] = host.release + "\n";
    contents["system/os-release"] = fileText(host.place("/etc/os-release"), Links::Follow);
    contents["system/medium"] = state.recordState == RecordState::Read
                                    ? "medium: " + state.record.medium + "\nSHA256SUMS sha256: " +
                                          orNone(state.record.manifestDigest) + "\n"
                                    : "no install record in use\n";
    const std::vector<BundleItem> items = bundleItems(found);
    contents["MANIFEST"] = bundleManifest(items);

    // Staged in a directory of this process's own, archived by tar from an explicit list.
    const std::string staging = makePrivateDirectory("/tmp/stage3-bundle-XXXXXX");
    if (staging.empty()) {
        unlinkat(dir.get(), name.c_str(), 0);
        return refuse(BundleFailedId, "/tmp: " + std::string(std::strerror(errno)));
    }
    std::vector<std::string> made = {staging + "/" + Top};
    bool ok = mkdir(made.back().c_str(), 0700) == 0;
    for (const char* sub : {"/logs", "/record", "/packages", "/modules", "/system"}) {
        made.push_back(staging + "/" + Top + sub);
        ok = ok && mkdir(made.back().c_str(), 0700) == 0;
    }
    std::vector<std::string> argv = {"tar",
                                     "-czf",
                                     staging + "/bundle.tar.gz",
                                     "-C",
                                     staging,
                                     "--owner=0",
                                     "--group=0",
                                     "--numeric-owner",
                                     "--no-recursion",
                                     "--"};
    std::vector<std::string> files;
    for (const BundleItem& item : items) {
        files.push_back(staging + "/" + Top + "/" + item.name);
        ok = ok && writeNewFile(files.back(), contents[item.name], 0600);
        argv.push_back(std::string(Top) + "/" + item.name);
    }
    ProgramOutput tarOutput;
    std::string archive;
    ok = ok && runProgram(argv, ProgramRun(4096), &tarOutput) && tarOutput.exitStatus() == 0 &&
         readRegularFile(staging + "/bundle.tar.gz", SIZE_MAX, &archive, nullptr, Links::Refuse) &&
         writeAll(out.get(), archive) && fsync(out.get()) == 0;
    for (const std::string& file : files) unlink(file.c_str());
    unlink((staging + "/bundle.tar.gz").c_str());
    for (auto it = made.rbegin(); it != made.rend(); ++it) rmdir(it->c_str());
    rmdir(staging.c_str());
    if (!ok) {
        unlinkat(dir.get(), name.c_str(), 0);
        return refuse(BundleFailedId, "tar: " + tarOutput.text);
    }
    say(stdout, fillText(text(BundleWrittenId), {path}));
    return 0;
}
