#include "wizard/maintenance_copy.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <glib.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <memory>

#include "services/files.h"
#include "services/packages.h"
#include "services/shell_quote.h"
#include "services/string_service.h"
#include "services/text_format.h"
#include "wizard/install_script.h"
#include "wizard/maintenance.h"
#include "wizard/text_ids.h"
#include "wizard/transaction.h"

const char* const PreviousDirectoryName = "previous";

namespace {

struct DirectoryCloser {
    void operator()(DIR* directory) const { closedir(directory); }
};
using DirectoryHandle = std::unique_ptr<DIR, DirectoryCloser>;

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string baseName(const std::string& path) {
    return path.substr(path.rfind('/') + 1);
}

// The names of the regular files (not links) in `directory`, without those starting with
// a dot.
std::vector<std::string> regularFiles(const std::string& directory) {
    std::vector<std::string> names;
    DirectoryHandle handle(opendir(directory.c_str()));
    if (!handle)
        return names;
    while (const dirent* entry = readdir(handle.get())) {
        std::string name = entry->d_name;
        struct stat info;
        if (name[0] != '.' && lstat((directory + "/" + name).c_str(), &info) == 0 &&
            S_ISREG(info.st_mode))
            names.push_back(name);
    }
    return names;
}

bool isLocaleName(const std::string& name) {
    return name.size() == 2 && g_ascii_islower(name[0]) && g_ascii_islower(name[1]);
}

int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
    return remove(path) == 0 || errno == ENOENT ? 0 : -1;
}

// Removes a tree without following a link in it.
bool removeTree(const std::string& path) {
    struct stat info;
    if (lstat(path.c_str(), &info) != 0)
        return errno == ENOENT;
    if (!S_ISDIR(info.st_mode))
        return unlink(path.c_str()) == 0;
    return nftw(path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS) == 0;
}

// Whether `path` is a directory of root's that no one else can write to: an old copy
// whose packages may be carried into the new one.
bool rootsDirectory(const std::string& path) {
    struct stat info;
    return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == 0 &&
           (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// The packages (*.rpm) of `directory`, as paths.
std::vector<std::string> packageFiles(const std::string& directory) {
    std::vector<std::string> paths;
    for (const std::string& name : regularFiles(directory))
        if (endsWith(name, ".rpm"))
            paths.push_back(directory + "/" + name);
    return paths;
}

// The run's checked copy of the medium's package at `path`, else the path itself.
std::string checkedSource(const RunFiles& files, const std::string& path) {
    const PackageCopy* copy = packageCopy(files, path);
    if (copy && !copy->digest.empty())
        return std::string(files.installDirectory) + "/packages/" + copy->name;
    return geteuid() == 0 ? path : "";
}

// The steps that install the packages of `directory` whose versions rpm does not have, in
// the install's order: the driver, the add-on, the application.
std::vector<TransactionStep> stepsBack(const std::string& directory, const InstalledState& state) {
    std::vector<TransactionStep> steps;
    const std::vector<std::string> files = packageFiles(directory);
    const std::pair<const std::string*, const std::string*> order[] = {
        {&state.driverPackage, &state.driver},
        {&state.addonPackage, &state.addon},
        {&state.applicationPackage, &state.application}};
    for (const auto& [name, version] : order) {
        for (const std::string& file : files) {
            const std::string kept = packageFileVersion(file, *name);
            if (name->empty() || kept.empty() || kept == *version)
                continue;
            TransactionStep step;
            step.package = *name;
            step.path = file;
            step.installed = *version;
            step.version = kept;
            step.action = StepAction::Downgrade;
            step.options = {"-U", "--oldpackage"};
            if (name == &state.addonPackage)
                step.options.push_back("--nodeps");
            steps.push_back(step);
        }
    }
    return steps;
}

}  // namespace

std::string maintenanceCopyPath(const std::string& applicationPackage) {
    const std::string record = installRecordPath(applicationPackage);
    return record.empty() ? "" : record.substr(0, record.size() - strlen(".ini"));
}

MaintenanceCopyInfo maintenanceCopyInfo(const std::string& applicationPackage) {
    MaintenanceCopyInfo info;
    const std::string path = maintenanceCopyPath(applicationPackage);
    struct stat status;
    if (path.empty() || lstat(path.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
        return info;
    info.path = path;
    for (const std::string& directory : {path, path + "/" + PreviousDirectoryName}) {
        for (const std::string& name : regularFiles(directory))
            if (lstat((directory + "/" + name).c_str(), &status) == 0)
                info.size += static_cast<std::uint64_t>(status.st_size);
    }
    return info;
}

std::string maintenanceCopyApplication() {
    const std::string name = getString(AppPackageNameId);
    const std::string path = maintenanceCopyPath(name);
    return !path.empty() && currentDirectory() == path ? name : std::string();
}

std::vector<std::string> keptMediumFiles(const std::string& medium) {
    std::vector<std::string> names;
    for (const std::string& name : regularFiles(medium))
        if (!endsWith(name, ".rpm") && name != "SHA256SUMS")
            names.push_back(name);
    DirectoryHandle handle(opendir(medium.c_str()));
    while (const dirent* entry = handle ? readdir(handle.get()) : nullptr) {
        const std::string name = entry->d_name;
        struct stat info;
        if (!isLocaleName(name) || lstat((medium + "/" + name).c_str(), &info) != 0 ||
            !S_ISDIR(info.st_mode))
            continue;
        for (const std::string& file : regularFiles(medium + "/" + name))
            names.push_back(name + "/" + file);
    }
    return names;
}

bool makeMaintenanceCopy(const std::string& applicationPackage, const std::string& medium,
                         const std::vector<KeptPackage>& packages,
                         const std::string& applicationFile, bool keepPackages,
                         std::string* error) {
    const std::string path = maintenanceCopyPath(applicationPackage);
    if (path.empty()) {
        *error = applicationPackage + ": not a package name";
        return false;
    }
    const std::string records = path.substr(0, path.rfind('/'));
    std::string made = makePrivateDirectory(records + "/." + applicationPackage + ".new-XXXXXX");
    if (made.empty()) {
        *error = records + ": " + std::strerror(errno);
        return false;
    }
    std::map<std::string, std::string> digests;  // name in the copy: SHA-256, in byte order
    auto copy = [&](const std::string& from, const std::string& name) {
        struct stat info;
        const mode_t mode =
            lstat(from.c_str(), &info) == 0 && (info.st_mode & S_IXUSR) ? 0755 : 0644;
        std::string digest;
        if (!copyRegularFile(from, made + "/" + name, mode, &digest)) {
            *error = from + ": " + std::strerror(errno ? errno : EIO);
            return false;
        }
        digests[name] = digest;
        return true;
    };
    bool done = true;
    for (const std::string& name : keptMediumFiles(medium)) {
        const size_t slash = name.find('/');
        if (slash != std::string::npos)
            mkdir((made + "/" + name.substr(0, slash)).c_str(), 0755);
        done = done && copy(medium + "/" + name, name);
    }
    if (keepPackages) {
        for (const KeptPackage& package : packages)
            done = done && (digests.count(package.name) || copy(package.source, package.name));
        // The packages of the version before: those of an old copy of another version,
        // or what the old copy kept from before when it is of this version.
        const bool sameVersion =
            !applicationFile.empty() && access((path + "/" + applicationFile).c_str(), F_OK) == 0;
        const std::string previous = std::string(PreviousDirectoryName) + "/";
        std::vector<std::string> before = !rootsDirectory(path) ? std::vector<std::string>()
                                          : sameVersion
                                              ? packageFiles(path + "/" + PreviousDirectoryName)
                                              : packageFiles(path);
        if (!before.empty())
            mkdir((made + "/" + PreviousDirectoryName).c_str(), 0700);
        for (const std::string& file : before) done = done && copy(file, previous + baseName(file));
    }
    std::string list;
    for (const auto& entry : digests) list += entry.second + "  " + entry.first + "\n";
    done = done && writeNewFile(made + "/SHA256SUMS", list, 0644);
    if (!done) {
        removeTree(made);
        return false;
    }
    // The new copy takes the old one's place in one step; the old one goes afterwards.
    if (renameat2(AT_FDCWD, made.c_str(), AT_FDCWD, path.c_str(), RENAME_EXCHANGE) == 0) {
        removeTree(made);
        return true;
    }
    if (errno == ENOENT && rename(made.c_str(), path.c_str()) == 0)
        return true;
    *error = path + ": " + std::strerror(errno);
    removeTree(made);
    return false;
}

bool removeMaintenanceCopy(const std::string& applicationPackage, std::string* error) {
    const std::string path = maintenanceCopyPath(applicationPackage);
    if (path.empty() || removeTree(path))
        return true;
    *error = path + ": " + std::strerror(errno);
    return false;
}

std::vector<KeptPackage> packagesToKeep(const RunFiles& files) {
    const InstalledState state = readInstalledState();
    std::vector<KeptPackage> kept;
    auto keep = [&kept](const std::string& source, const std::string& name) {
        for (const KeptPackage& package : kept)
            if (package.name == name)
                return;
        if (!source.empty())
            kept.push_back({source, name});
    };
    char path[kPackagePathOutSize];
    if (findAppPackageFile(path) == PACKAGE_FOUND && !state.application.empty() &&
        state.application == appCheckDetails().fileVersion)
        keep(checkedSource(files, path), baseName(path));
    if (findDriverPackageFile(path) == PACKAGE_FOUND && !state.driver.empty() &&
        state.driver == driverCheckDetails().fileVersion)
        keep(checkedSource(files, path), baseName(path));
    for (const std::string& file : browserPackageFiles())
        if (!state.addon.empty() && packageFileVersion(file, state.addonPackage) == state.addon)
            keep(checkedSource(files, file), baseName(file));
    // What this medium does not have (a driver of before, or after a rollback the versions
    // returned to), as the old copy kept it.
    const std::string old = maintenanceCopyPath(state.applicationPackage);
    if (old.empty() || !rootsDirectory(old))
        return kept;
    const std::pair<const std::string*, const std::string*> installed[] = {
        {&state.applicationPackage, &state.application},
        {&state.driverPackage, &state.driver},
        {&state.addonPackage, &state.addon}};
    for (const std::string& directory : {old, old + "/" + PreviousDirectoryName})
        for (const std::string& file : packageFiles(directory))
            for (const auto& [name, version] : installed) {
                bool have = false;
                for (const KeptPackage& package : kept)
                    have = have || !packageFileVersion(package.name, *name).empty();
                if (!have && !version->empty() && packageFileVersion(file, *name) == *version)
                    keep(file, baseName(file));
            }
    return kept;
}

std::string settleMaintenanceCopy(Action action, bool succeeded, const std::string& package,
                                  bool keepPackages, const RunFiles& files) {
    if (geteuid() != 0 || package.empty())
        return "";
    std::string error;
    if (action == Action::Remove) {
        if (installedPackageVersion(package).empty() && !removeMaintenanceCopy(package, &error))
            return fillText(getString(MaintenanceCopyNotMadeId), {error});
        return "";
    }
    if (!succeeded) {
        // A failed upgrade that changed what is installed: the way back is named.
        const InstalledState state = readInstalledState();
        const std::string copy = maintenanceCopyPath(package);
        if (action != Action::Install || !rootsDirectory(copy))
            return "";
        std::string versions;
        for (const TransactionStep& step : stepsBack(copy, state))
            versions += (versions.empty() ? "" : ", ") + baseName(step.path);
        return versions.empty() ? "" : fillText(getString(RollbackAvailableId), {versions});
    }
    // The application package kept names the version the old copy is compared with.
    const std::vector<KeptPackage> packages = packagesToKeep(files);
    std::string applicationFile;
    for (const KeptPackage& kept : packages)
        if (!packageFileVersion(kept.name, package).empty())
            applicationFile = kept.name;
    if (!makeMaintenanceCopy(package, currentDirectory(), packages, applicationFile, keepPackages,
                             &error))
        return fillText(getString(MaintenanceCopyNotMadeId), {error});
    return "";
}

std::vector<TransactionStep> rollbackSteps(const InstalledState& state) {
    const std::string copy = maintenanceCopyPath(state.applicationPackage);
    if (copy.empty() || !rootsDirectory(copy))
        return {};
    std::vector<TransactionStep> steps = stepsBack(copy, state);
    return !steps.empty() ? steps : stepsBack(copy + "/" + PreviousDirectoryName, state);
}

void recordInstalledVersions(InstallRecord* record) {
    const InstalledState now = readInstalledState();
    record->applicationVersion = now.application;
    record->driverVersion = now.driver;
    record->addonVersion = now.addon;
}

bool stageMediumFiles(const std::string& staged, std::vector<StagedFile>* files) {
    files->clear();
    if (mkdir(staged.c_str(), 0700) != 0)
        return false;
    int number = 0;
    for (const std::string& name : keptMediumFiles(".")) {
        // Each staged under a plain name of its own; the root side gives it its name.
        StagedFile file{name, ""};
        if (!copyRegularFile(name, staged + "/file-" + std::to_string(++number), 0600,
                             &file.digest))
            return false;
        files->push_back(file);
    }
    return true;
}

std::string rootSideCopyText(Action action, const std::string& applicationPackage,
                             const std::string& staged, const std::vector<StagedFile>& files,
                             const std::vector<KeptPackage>& packages,
                             const std::string& applicationFile, bool keepPackages) {
    const std::string copyName = baseName(maintenanceCopyPath(applicationPackage));
    if (copyName.empty())
        return "";
    std::string s;
    s += "# The maintenance copy beside the record: root's alone, built under a new name and\n";
    s += "# exchanged with the old one, whose packages of another version go to previous/.\n";
    s += "copy=\"$records\"/" + shellQuote(copyName) + "\n";
    if (action == Action::Remove) {
        s += "if ! rpm -q -- " + shellQuote(applicationPackage) + " > /dev/null 2>&1; then\n";
        s += "\trm -rf -- \"$copy\"\n";
        s += "fi\n";
        return s;
    }
    s += "if [ $status -eq 0 ] && [ -f \"$record\" ] && [ ! -L \"$records\" ] &&\n";
    s += "\tnew=$(mktemp -d \"$records\"/." + copyName + ".new-XXXXXX); then\n";
    s += "\tok=yes\n";
    s += "\told=no\n";
    s += "\tcase \"$(stat -c %u%A \"$copy\" 2> /dev/null)\" in 0d????\"-\"??\"-\"?) old=yes ;; "
         "esac\n";
    s += "\t# keep FROM NAME [DIGEST]: FROM at NAME in the copy, as DIGEST says when given.\n";
    s += "\tkeep() {\n";
    s += "\t\tif [ ! -f \"$1\" ] || [ -L \"$1\" ] || ! cat -- \"$1\" > \"$new/$2\"; then\n";
    s += "\t\t\tok=no\n";
    s += "\t\telif [ -n \"$3\" ] && [ \"$(sha256sum < \"$new/$2\")\" != \"$3  -\" ]; then\n";
    s += "\t\t\tok=no\n";
    s += "\t\tfi\n";
    s += "\t}\n";
    s += "\t(umask 022\n";
    for (const StagedFile& file : files) {
        const size_t slash = file.name.find('/');
        if (slash != std::string::npos)
            s += "\tmkdir -p \"$new\"/" + shellQuote(file.name.substr(0, slash)) + "\n";
    }
    s += "\t)\n";
    for (size_t i = 0; i < files.size(); ++i)
        s += "\tkeep " + shellQuote(staged + "/file-" + std::to_string(i + 1)) + " " +
             shellQuote(files[i].name) + " " + shellQuote(files[i].digest) + "\n";
    s += "\tchmod 755 \"$new\"/stage3 \"$new\"/stage3-gtk 2> /dev/null\n";
    if (keepPackages) {
        // The root side's own checked copies of this run's packages.
        for (const KeptPackage& package : packages)
            s += "\tkeep \"$packages\"/" + shellQuote(baseName(package.source)) + " " +
                 shellQuote(package.name) + "\n";
        // What this run did not install and the old copy kept, where rpm has that version.
        s += "\tif [ $old = yes ]; then\n";
        s += "\t\tfor file in \"$copy\"/*.rpm; do\n";
        s += "\t\t\t[ -f \"$file\" ] && [ ! -L \"$file\" ] && [ ! -e \"$new/${file##*/}\" ] || "
             "continue\n";
        s += "\t\t\tnevr=$(rpm -qp --qf '%{NAME}-%{VERSION}-%{RELEASE}' -- \"$file\" 2> "
             "/dev/null) &&\n";
        s += "\t\t\t\trpm -q -- \"$nevr\" > /dev/null 2>&1 && keep \"$file\" \"${file##*/}\"\n";
        s += "\t\tdone\n";
        s += "\tfi\n";
        s += "\tif [ $old = yes ]; then\n";
        s += "\t\tbefore=\"$copy\"\n";
        if (!applicationFile.empty())
            s += "\t\t[ -f \"$copy\"/" + shellQuote(applicationFile) + " ] && before=\"$copy\"/" +
                 PreviousDirectoryName + "\n";
        s += "\t\tfor file in \"$before\"/*.rpm; do\n";
        s += "\t\t\t[ -f \"$file\" ] && [ ! -L \"$file\" ] || continue\n";
        s += std::string("\t\t\tmkdir -p \"$new\"/") + PreviousDirectoryName + "\n";
        s += std::string("\t\t\tkeep \"$file\" ") + PreviousDirectoryName + "/\"${file##*/}\"\n";
        s += "\t\tdone\n";
        s += "\tfi\n";
    }
    s += "\tif [ $ok = yes ] && (cd \"$new\" && find . -type f ! -path ./.SHA256SUMS -print0 | "
         "LC_ALL=C sort -z |\n";
    s += "\t\tsed -z 's|^\\./||' | xargs -0 -r sha256sum -- > .SHA256SUMS &&\n";
    s += "\t\tmv -f .SHA256SUMS SHA256SUMS && chmod 644 SHA256SUMS); then\n";
    s += "\t\tif [ -e \"$copy\" ] || [ -L \"$copy\" ]; then\n";
    s += "\t\t\taside=$(mktemp -d \"$records\"/." + copyName + ".old-XXXXXX) &&\n";
    s += "\t\t\t\tmv -f -T \"$copy\" \"$aside\" && rm -rf -- \"$aside\"\n";
    s += "\t\tfi\n";
    s += "\t\tmv -f -T \"$new\" \"$copy\" || rm -rf -- \"$new\"\n";
    s += "\telse\n";
    s += "\t\trm -rf -- \"$new\"\n";
    s += "\tfi\n";
    s += "fi\n";
    return s;
}
