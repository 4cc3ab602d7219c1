#include "wizard/install_checks.h"

#include <glob.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include "services/files.h"
#include "services/medium_manifest.h"
#include "services/packages.h"
#include "services/string_service.h"
#include "services/terminal_text.h"
#include "services/text_format.h"
#include "wizard/command_line.h"
#include "wizard/driver_notes.h"
#include "wizard/maintenance.h"
#include "wizard/tables.h"
#include "wizard/text_ids.h"
#include "wizard/transaction.h"

namespace {

// Wrong lines of a digest list named, at most.
const std::size_t LineErrorsNamed = 5;

std::string text(ResourceID_C id, const std::vector<std::string>& values = {}) {
    return fillText(getString(id), values);
}

CheckItem item(const char* kind, const std::string& subject, bool ok, std::string message) {
    CheckItem result;
    result.kind = kind;
    result.subject = subject;
    if (!subject.empty())
        result.subjects = {subject};
    result.ok = ok;
    result.message = std::move(message);
    return result;
}

bool isPackageName(const std::string& path) {
    return path.size() > 4 && path.compare(path.size() - 4, 4, ".rpm") == 0;
}

std::string fileMessage(const FileCheck& file) {
    switch (file.state) {
        case FileState::Ok:
            break;
        case FileState::Differs:
            return text(FileDiffersId, {file.path, file.expected, file.found});
        case FileState::Missing:
            return text(FileMissingId, {file.path});
        case FileState::NotRegular:
            return text(FileNotRegularId, {file.path});
        case FileState::Unreadable:
            return text(FileUnreadableId, {file.path});
        case FileState::Unlisted:
            return text(FileUnlistedId, {file.path});
    }
    return "";
}

// The medium against its list: one item for the list, one for each file that fails.
void addMediumItems(const MediumCheck& medium, ChecksReport* report) {
    auto& items = report->items;
    switch (medium.manifest) {
        case ManifestState::Absent: {
            CheckItem absent = item("manifest", ManifestName, true, text(ManifestAbsentId));
            absent.warning = true;
            items.push_back(absent);
            return;
        }
        case ManifestState::Unreadable:
        case ManifestState::TooLarge:
            items.push_back(item("manifest", ManifestName, false, text(ManifestUnreadableId)));
            return;
        case ManifestState::Malformed:
            for (std::size_t i = 0; i < medium.lineErrors.size() && i < LineErrorsNamed; ++i)
                items.push_back(
                    item("manifest", ManifestName, false,
                         text(ManifestMalformedId, {std::to_string(medium.lineErrors[i].line)})));
            return;
        case ManifestState::Read:
            break;
    }
    bool matches = !medium.walkIncomplete;
    for (const FileCheck& file : medium.files) {
        if (file.state == FileState::Ok)
            continue;
        // A file added beside the listed ones (an answers file, a log) is only noted; a
        // package added there could be installed, and refuses the install.
        bool noted = file.state == FileState::Unlisted && !isPackageName(file.path);
        CheckItem failed = item("file", file.path, noted, fileMessage(file));
        failed.warning = noted;
        items.push_back(failed);
        matches = matches && noted;
    }
    if (medium.walkIncomplete)
        items.push_back(item("manifest", ManifestName, false, text(ManifestUnreadableId)));
    if (matches)
        items.push_back(item("manifest", ManifestName, true, text(ManifestMatchesId)));
}

// What the driver's module comes to on this host, when the install puts the medium's
// driver package in: notes, or a refusal where the policy asks for a driver that loads.
void addDriverItems(const CheckPolicy& policy, const std::vector<TransactionPackage>& packages,
                    ChecksReport* report) {
    char driver[kPackagePathOutSize];
    if (findDriverPackageFile(driver) != PACKAGE_FOUND ||
        std::none_of(packages.begin(), packages.end(),
                     [&](const TransactionPackage& p) { return p.path == driver; }))
        return;
    const DriverNotes notes = driverNotes();
    if (policy.requireLoadableDriver && !notes.loadable) {
        CheckItem refused =
            item("driver", driver, false,
                 text(notes.inspected ? DriverNotLoadableRefusedId : DriverNotInspectedRefusedId));
        refused.details = notes.lines;
        report->items.push_back(refused);
        return;
    }
    for (const std::string& line : notes.lines) {
        CheckItem note = item("driver", driver, true, line);
        note.warning = true;
        report->items.push_back(note);
    }
}

std::string keyLabel(const PackageCheck& check) {
    std::string id = check.keyId;
    std::transform(id.begin(), id.end(), id.begin(), ::toupper);
    return "0x" + id;
}

// `keyTrusted`: signed with a key the medium carries that was trusted but not imported
// (a dry run), so the signature is checked only once the key is.
CheckItem signatureItem(const CheckPolicy& policy, const PackageCheck& check,
                        bool keyTrusted = false) {
    const std::string& path = check.path;
    CheckItem result = item("signature", path, false, "");
    switch (check.state) {
        case SignatureState::Ok:
            result.ok = true;
            result.message = text(PackageVerifiedId, {path});
            break;
        case SignatureState::Unsigned:
            result.ok = !policy.requireSignatures;
            result.warning = result.ok;
            result.message = text(result.ok ? PackageUnsignedId : PackageUnsignedRefusedId, {path});
            break;
        case SignatureState::UnknownKey:
            result.ok = check.keyOnMedium && keyTrusted;
            result.message = text(check.keyOnMedium ? PackageKeyOnMediumId : PackageKeyUnknownId,
                                  {path, keyLabel(check)});
            break;
        case SignatureState::BadSignature:
            result.message = text(PackageBadSignatureId, {path});
            break;
        case SignatureState::Damaged:
            result.message = text(PackageDamagedId, {path});
            break;
        case SignatureState::NotRegular:
            result.message = text(PackageNotRegularId, {path});
            break;
        case SignatureState::NotChecked:
            result.message = text(PackageNotCheckedId, {path});
            break;
    }
    // The key's own check says what is wrong with a key the medium carries.
    if (!result.ok && !(check.state == SignatureState::UnknownKey && check.keyOnMedium))
        result.details = check.rpmLines;
    return result;
}

// Whether the key of `check` may be imported: the policy, else the user's answer.
// Unattended (no one to ask) it may not.
bool keyTrusted(const CheckPolicy& policy, const PackageCheck& check,
                const CheckCallbacks& callbacks) {
    if (policy.trustMediumKey)
        return true;
    return callbacks.trustKey &&
           callbacks.trustKey({check.key, keyLabel(check), keyQuestionText(check)});
}

// The keys of the packages signed with one the medium carries: each asked about once, and
// imported (when `importKeys` and trusted) only now that every other check has passed
// and each of its packages is known to verify with it. Returns whether each key (by its
// fingerprint) was trusted, and imported where that was asked.
std::map<std::string, bool> settleMediumKeys(const CheckPolicy& policy,
                                             std::vector<PackageCheck>& checks,
                                             const CheckCallbacks& callbacks, bool importKeys,
                                             ChecksReport* report) {
    std::map<std::string, bool> answered;  // by fingerprint
    for (const PackageCheck& check : checks) {
        if (check.state != SignatureState::UnknownKey || !check.keyOnMedium)
            continue;
        const std::string label = keyLabel(check);
        auto known = answered.find(check.key.fingerprint);
        if (known == answered.end()) {
            bool trusted = keyTrusted(policy, check, callbacks);
            CheckItem key = item("key", label, trusted, "");
            std::vector<std::string> rpmLines;
            if (!trusted)
                key.message = text(callbacks.trustKey ? KeyDeclinedId : KeyNeedsTrustId, {label});
            else if (!importKeys)
                key.message = text(KeyWouldImportId, {label});
            else if (importSigningKey(check.key, &rpmLines))
                key.message = text(KeyImportedId, {label});
            else {
                key.ok = false;
                key.message = text(KeyImportFailedId, {label});
                key.details = rpmLines;
            }
            report->items.push_back(key);
            answered.emplace(check.key.fingerprint, key.ok);
            if (key.ok)
                report->trustedKeys.push_back(check.key);
        }
    }
    // The packages of a key imported verify with it in rpm's keyring as they did in the
    // run's own.
    for (PackageCheck& check : checks) {
        auto key = answered.find(check.key.fingerprint);
        if (importKeys && check.state == SignatureState::UnknownKey && check.keyOnMedium &&
            key != answered.end() && key->second)
            check.state = SignatureState::Ok;
    }
    return answered;
}

std::string joined(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& word : words) line += (line.empty() ? "" : " ") + word;
    return line;
}

}  // namespace

ErrorKind ChecksReport::refusalKind() const {
    for (const CheckItem& check : items)
        if (check.kind == "key" && !check.ok)
            return ErrorKind::KeyNotTrusted;
    return refused() ? ErrorKind::CheckRefused : ErrorKind::None;
}

bool ChecksReport::refused() const {
    return std::any_of(items.begin(), items.end(), [](const CheckItem& i) { return !i.ok; });
}

std::vector<std::string> ChecksReport::refusalLines() const {
    std::vector<std::string> lines;
    for (const CheckItem& check : items) {
        if (check.ok)
            continue;
        lines.push_back(check.message);
        for (const std::string& detail : check.details) lines.push_back("  " + detail);
    }
    return lines;
}

std::vector<std::string> ChecksReport::notes() const {
    std::vector<std::string> lines;
    for (const CheckItem& check : items)
        if (check.warning || (check.ok && check.kind == "key"))
            lines.push_back(check.message);
    return lines;
}

std::vector<TransactionPackage> plannedInstall(InstallRun& run, const Selection& selection) {
    return runTransaction(run, selection).packagesToInstall();
}

std::string keyQuestionText(const PackageCheck& check) {
    return text(KeyImportingId,
                {keyLabel(check), check.key.userId, check.key.fingerprint, check.key.file});
}

std::string keyRemoveCommand(const SigningKey& key) {
    std::string id = key.fingerprint.size() > 8 ? key.fingerprint.substr(key.fingerprint.size() - 8)
                                                : key.fingerprint;
    std::transform(id.begin(), id.end(), id.begin(), ::tolower);
    return "rpm -e gpg-pubkey-" + id;
}

ChecksReport runInstallChecks(const std::vector<TransactionPackage>& packages,
                              const CheckCallbacks& callbacks, bool importKeys,
                              const CheckPolicy& policy) {
    ChecksReport report;
    std::size_t listed = 0;
    auto progress = [&](std::size_t done) {
        if (callbacks.progress)
            callbacks.progress(done, listed + packages.size() + 1);
    };
    MediumCheck medium = checkMedium(".", [&](std::size_t done, std::size_t total) {
        listed = total;
        progress(done);
    });
    listed = std::max(listed, medium.files.size());
    addMediumItems(medium, &report);

    std::vector<std::string> paths, files;
    for (const TransactionPackage& package : packages) {
        paths.push_back(package.path);
        files.push_back(package.file);
    }
    std::vector<PackageCheck> checks = checkPackageSignatures(paths, currentDirectory(), files);
    progress(listed + packages.size());
    // Packages signed with a key the medium carries wait for the question about the key.
    std::vector<bool> waiting;
    for (const PackageCheck& check : checks) {
        waiting.push_back(check.state == SignatureState::UnknownKey && check.keyOnMedium);
        if (!waiting.back())
            report.items.push_back(signatureItem(policy, check));
    }

    // rpm's test takes packages whose key it lacks as they are (with a warning).
    TransactionCheck transaction = testTransaction(packages);
    for (const std::string& path : transaction.unopened)
        report.items.push_back(item("transaction", path, false, text(PackageNotRegularId, {path})));
    for (const TransactionRun& run : transaction.runs) {
        const std::string subject = joined(run.paths);
        CheckItem result = item("transaction", subject, run.ok,
                                text(run.ok ? TransactionPassesId : TransactionFailsId, {subject}));
        result.subjects = run.paths;
        if (!run.ok)
            result.details = run.lines;
        report.items.push_back(result);
    }
    progress(listed + packages.size() + 1);
    addDriverItems(policy, packages, &report);

    // The medium's key is asked about, and imported, only for an install that nothing
    // refuses, its own packages' signatures included: a refused install changes nothing,
    // rpm's keyring included.
    std::map<std::string, bool> trusted;
    if (!report.refused())
        trusted = settleMediumKeys(policy, checks, callbacks, importKeys, &report);
    for (std::size_t i = 0; i < checks.size(); ++i) {
        if (!waiting[i])
            continue;
        // Verified once its key was imported; else as it was, a key not asked about (the
        // install is refused for other reasons) being no reason of its own.
        auto key = trusted.find(checks[i].key.fingerprint);
        bool passed = checks[i].state == SignatureState::Ok ||
                      (checks[i].state == SignatureState::UnknownKey &&
                       (key == trusted.end() || key->second));
        report.items.push_back(signatureItem(policy, checks[i], passed));
    }
    return report;
}

int verifyMedium(const CheckPolicy& policy) {
    MediumCheck medium = checkMedium(".");
    ChecksReport report;
    addMediumItems(medium, &report);

    std::vector<std::string> packages;
    glob_t matches;
    if (glob("*.rpm", 0, nullptr, &matches) == 0)
        packages.assign(matches.gl_pathv, matches.gl_pathv + matches.gl_pathc);
    globfree(&matches);
    std::vector<PackageCheck> checks = checkPackageSignatures(packages, currentDirectory());

    // One line per file: a package's line says what its digest and its signature are.
    // Each line is shown terminal-safe: a file's name is the medium's, and neither its
    // control characters nor a newline in it may reach the terminal or start a line.
    auto line = [](const std::string& text) { printf("%s\n", terminalSafeLine(text).c_str()); };
    std::map<std::string, std::string> failures;
    bool failed = false;
    for (const CheckItem& check : report.items) {
        if (check.kind == "file")
            failures[check.subject] = check.message;
        else
            line(check.subject + ": " + check.message);
        failed = failed || !check.ok;
    }
    for (const FileCheck& file : medium.files) {
        if (std::find(packages.begin(), packages.end(), file.path) != packages.end())
            continue;
        auto failure = failures.find(file.path);
        line(file.path + ": " + (failure == failures.end() ? "OK" : failure->second));
    }
    for (const PackageCheck& check : checks) {
        // A key the medium carries is the install's question, not the medium's fault.
        CheckItem signature = signatureItem(policy, check, true);
        auto failure = failures.find(check.path);
        bool ok = signature.ok && failure == failures.end();
        failed = failed || !ok;
        // The message names the package.
        line(failure != failures.end() ? failure->second : signature.message);
        for (const std::string& detail : signature.details) line("  " + detail);
    }
    fflush(stdout);
    return failed ? ExitRefused : ExitInstalled;
}
