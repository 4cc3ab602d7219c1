// The install record: what an install, a repair or a modify left on the host, so that a
// later run knows which choices the installed version was made with.
//
// One key file per application package, /var/lib/stage3/<package name>.ini, root's own
// in a directory that is root's own and that no one else can write to: a later run as
// root acts on it, so no other account may have written it.
#pragma once

#include <string>
#include <vector>

struct InstallRecord {
    std::string setupType;                // typical, compact or custom
    std::vector<std::string> components;  // the --components words
    std::string applicationVersion;       // version-release of each package installed
    std::string driverVersion;            // empty when the driver was not installed
    std::string addonVersion;             // empty when the add-on was not installed
    std::string medium;                   // the medium's directory
    std::string manifestDigest;           // SHA-256 of the medium's SHA256SUMS, if any
    std::string time;                     // UTC, 2026-12-07T19:30:00Z
    std::string log;                      // the install log's path, if one was written
};

// The record as the key file it is stored as.
std::string formatInstallRecord(const InstallRecord& record);
// Reads a record's text. False, with the reason, when it is no record.
bool parseInstallRecord(const std::string& text, InstallRecord* record, std::string* error);

// The directory of the records: /var/lib/stage3 beside the system's rpm database,
// "stage3-records" beside a database of its own (rpm's %_dbpath elsewhere); tests may
// name one of their own.
void setInstallRecordDirectory(const std::string& directory);
// Whether the directory was given (tests) rather than found from rpm's database.
bool installRecordDirectoryGiven();
// The record's path for an application package name; empty for a name that cannot be a
// file name (one with a slash, or starting with a dot).
std::string installRecordPath(const std::string& packageName);

// Writes the record (root only): the directory is made, root's own with mode 0755, when
// missing, and refused when it is not root's own or others can write to it; the file is
// written beside its name and renamed over it, so a reader sees the old record or the
// new one whole. False with the reason.
bool writeInstallRecord(const std::string& packageName, const InstallRecord& record,
                        std::string* error);

enum class RecordState { Read, Missing, Refused };
// Reads the record. Refused (with the reason) when it, or its directory, is not root's
// own or others can write to it, or it is no record: its choices are not used then.
RecordState readInstallRecord(const std::string& packageName, InstallRecord* record,
                              std::string* error);

// Removes the record; true when there is none afterwards.
bool removeInstallRecord(const std::string& packageName, std::string* error);
