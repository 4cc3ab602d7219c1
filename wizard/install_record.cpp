#include "wizard/install_record.h"

#include <fcntl.h>
#include <glib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "services/descriptor.h"
#include "services/files.h"
#include "services/packages.h"

namespace {

const char* const Group = "install";
const std::size_t RecordLimit = 64 * 1024;

// Where the records are: empty until first needed (or set); whether it was given.
struct RecordPlace {
    std::string directory;
    bool given = false;
};

// process-wide: one rpm database per process, whose records these are; a cache of
// rpm's answer, or the place --record-directory gave, for every run of the process.
RecordPlace records;

// The records describe what one rpm database holds: beside the system's database they
// are in /var/lib/stage3; an install into a database of its own (rpm's %_dbpath set
// elsewhere, as for a test or an image being built) keeps them in "stage3-records"
// beside that database, so that one database's record never speaks for another's.
const std::string& currentRecordDirectory() {
    if (!records.directory.empty())
        return records.directory;
    records.directory = "/var/lib/stage3";
    // rpm's answer of the run's one query.
    std::string dbpath = rpmDatabasePath();
    if (dbpath.empty())
        return records.directory;
    while (dbpath.size() > 1 && dbpath.back() == '/') dbpath.pop_back();
    const bool system = dbpath == "/var/lib/rpm" || dbpath == "/usr/lib/sysimage/rpm";
    const size_t slash = dbpath.rfind('/');
    if (!system && dbpath[0] == '/' && slash != std::string::npos && slash > 0)
        records.directory = dbpath.substr(0, slash) + "/stage3-records";
    return records.directory;
}

using KeyFile = std::unique_ptr<GKeyFile, void (*)(GKeyFile*)>;

std::string keyValue(GKeyFile* file, const char* key) {
    gchar* value = g_key_file_get_string(file, Group, key, nullptr);
    std::string result = value ? value : "";
    g_free(value);
    return result;
}

// Whether the file or directory open at `fd` is root's own and no one else can write it.
bool rootsOwn(int fd, std::string* error, const std::string& path) {
    struct stat info;
    if (fstat(fd, &info) != 0) {
        *error = path + ": " + std::strerror(errno);
        return false;
    }
    if (info.st_uid != 0 || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        *error = path + ": not root's own, or others can write to it";
        errno = EACCES;
        return false;
    }
    return true;
}

// The records' directory opened (never through a link) when it is safe to trust.
Descriptor openDirectory(bool make, std::string* error) {
    if (make)
        mkdir(currentRecordDirectory().c_str(), 0755);
    Descriptor fd(
        open(currentRecordDirectory().c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd.valid()) {
        *error = records.directory + ": " + std::strerror(errno);
        return Descriptor();
    }
    if (!rootsOwn(fd.get(), error, records.directory))
        return Descriptor();
    return fd;
}

}  // namespace

std::string formatInstallRecord(const InstallRecord& record) {
    KeyFile file(g_key_file_new(), g_key_file_free);
    auto set = [&](const char* key, const std::string& value) {
        if (!value.empty())
            g_key_file_set_string(file.get(), Group, key, value.c_str());
    };
    set("setup-type", record.setupType);
    std::vector<const gchar*> words;
    for (const std::string& c : record.components) words.push_back(c.c_str());
    g_key_file_set_string_list(file.get(), Group, "components", words.data(), words.size());
    set("application-version", record.applicationVersion);
    set("driver-version", record.driverVersion);
    set("addon-version", record.addonVersion);
    set("medium", record.medium);
    set("manifest-sha256", record.manifestDigest);
    set("time", record.time);
    set("log", record.log);
    gsize length = 0;
    gchar* data = g_key_file_to_data(file.get(), &length, nullptr);
    std::string text(data, length);
    g_free(data);
    return text;
}

bool parseInstallRecord(const std::string& text, InstallRecord* record, std::string* error) {
    KeyFile file(g_key_file_new(), g_key_file_free);
    GError* failure = nullptr;
    if (!g_key_file_load_from_data(file.get(), text.data(), text.size(), G_KEY_FILE_NONE,
                                   &failure)) {
        *error = failure->message;
        g_error_free(failure);
        return false;
    }
    if (!g_key_file_has_group(file.get(), Group)) {
        *error = "no [install] group";
        return false;
    }
    *record = InstallRecord();
    record->setupType = keyValue(file.get(), "setup-type");
    if (record->setupType != "typical" && record->setupType != "compact" &&
        record->setupType != "custom") {
        *error = "setup-type is not typical, compact or custom";
        return false;
    }
    gsize count = 0;
    gchar** words = g_key_file_get_string_list(file.get(), Group, "components", &count, nullptr);
    for (gsize i = 0; i < count; ++i) record->components.push_back(words[i]);
    g_strfreev(words);
    record->applicationVersion = keyValue(file.get(), "application-version");
    record->driverVersion = keyValue(file.get(), "driver-version");
    record->addonVersion = keyValue(file.get(), "addon-version");
    record->medium = keyValue(file.get(), "medium");
    record->manifestDigest = keyValue(file.get(), "manifest-sha256");
    record->time = keyValue(file.get(), "time");
    record->log = keyValue(file.get(), "log");
    return true;
}

void setInstallRecordDirectory(const std::string& directory) {
    records.directory = directory;
    records.given = !directory.empty();
}

bool installRecordDirectoryGiven() {
    return records.given;
}

std::string installRecordPath(const std::string& packageName) {
    if (packageName.empty() || packageName[0] == '.' || packageName.find('/') != std::string::npos)
        return "";
    return currentRecordDirectory() + "/" + packageName + ".ini";
}

bool writeInstallRecord(const std::string& packageName, const InstallRecord& record,
                        std::string* error) {
    const std::string path = installRecordPath(packageName);
    if (path.empty()) {
        *error = packageName + ": not a package name";
        return false;
    }
    if (!openDirectory(true, error).valid())
        return false;
    PlaceOptions options(0644);
    options.durable = true;
    options.error = error;
    return placeFile(path, formatInstallRecord(record), options);
}

RecordState readInstallRecord(const std::string& packageName, InstallRecord* record,
                              std::string* error) {
    const std::string path = installRecordPath(packageName);
    if (path.empty()) {
        *error = packageName + ": not a package name";
        return RecordState::Refused;
    }
    Descriptor directory = openDirectory(false, error);
    if (!directory.valid())
        return errno == ENOENT ? RecordState::Missing : RecordState::Refused;
    const std::string name = path.substr(currentRecordDirectory().size() + 1);
    Descriptor fd(
        openat(directory.get(), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!fd.valid()) {
        if (errno == ENOENT)
            return RecordState::Missing;
        *error = path + ": " + std::strerror(errno);
        return RecordState::Refused;
    }
    struct stat info;
    if (fstat(fd.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        *error = path + ": not a regular file";
        return RecordState::Refused;
    }
    if (!rootsOwn(fd.get(), error, path))
        return RecordState::Refused;
    std::string text;
    bool longer = false;
    if (!readRegularFile("/dev/fd/" + std::to_string(fd.get()), RecordLimit, &text, &longer) ||
        longer) {
        *error = path + ": cannot be read, or larger than a record";
        return RecordState::Refused;
    }
    std::string reason;
    if (!parseInstallRecord(text, record, &reason)) {
        *error = path + ": " + reason;
        return RecordState::Refused;
    }
    return RecordState::Read;
}

bool removeInstallRecord(const std::string& packageName, std::string* error) {
    const std::string path = installRecordPath(packageName);
    if (path.empty()) {
        *error = packageName + ": not a package name";
        return false;
    }
    if (unlink(path.c_str()) == 0 || errno == ENOENT)
        return true;
    *error = path + ": " + std::strerror(errno);
    return false;
}
