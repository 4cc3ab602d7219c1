// What is checked before the first package is installed, in every mode: the medium's
// files against its digest list, every package the install would run through rpm's own
// digest and signature check, and the install as rpm's test transaction. Nothing changes
// on the host until all of it has passed. Packages signed with a key the medium carries
// are checked against it in a keyring of the run's own first; rpm's keyring takes the key
// only when every check passed and the user (or --trust-medium-key) trusted it.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "services/package_checks.h"
#include "wizard/run_error.h"
#include "wizard/wizard.h"

// How strict the checks are, from the command line and the answers file.
struct CheckPolicy {
    bool requireSignatures = false;  // an unsigned package refuses the install
    bool trustMediumKey = false;     // the medium's key is trusted without a question
    // A driver whose module will not load here (no module for the running kernel, Secure
    // Boot) refuses the install.
    bool requireLoadableDriver = false;
};

// One check's result, for the plan of a dry run and the reasons of a refusal.
struct CheckItem {
    std::string kind;  // "manifest", "file", "signature", "key", "transaction" or "driver"
    std::string subject;
    // What the check looked at, one entry each: the subject's file, or the files of an
    // rpm run (which `subject` names joined by blanks).
    std::vector<std::string> subjects;
    bool ok = true;
    bool warning = false;              // ok, but something could not be checked (said in the notes)
    std::string message;               // one line, in the user's language
    std::vector<std::string> details;  // rpm's own lines
};

struct ChecksReport {
    std::vector<CheckItem> items;
    // The medium's keys trusted for this install (imported, or left for the import).
    std::vector<SigningKey> trustedKeys;
    bool refused() const;
    // The kind of the refusal: the medium's key not trusted, or another check.
    ErrorKind refusalKind() const;
    // The failed checks' messages, each followed by its details.
    std::vector<std::string> refusalLines() const;
    // The lines shown before an install: what could not be checked, and a key trusted.
    std::vector<std::string> notes() const;
};

// The medium's key a question is about, and the console's question naming it.
struct KeyQuestion {
    SigningKey key;
    std::string keyId;  // as rpm's lines name it: "0x" and the id in upper case
    std::string text;   // keyQuestionText
};

// The command that takes `key` out of rpm's keyring again: rpm names the key's package
// after its short id, the fingerprint's last eight digits in lower case.
std::string keyRemoveCommand(const SigningKey& key);

struct CheckCallbacks {
    // After each file, package or rpm run checked.
    std::function<void(std::size_t done, std::size_t total)> progress;
    // Asked whether a key the medium carries may be imported, with the question's text
    // (without the answer hint); not asked when the policy trusts the medium's key.
    std::function<bool(const KeyQuestion& question)> trustKey;
};

// The packages the run's transaction installs, in its order, with rpm's options for each:
// a package kept as it is installed is neither checked nor tested.
struct InstallRun;
std::vector<TransactionPackage> plannedInstall(InstallRun& run, const Selection& selection);

// Runs every check on the medium in the working directory and `packages` (on the file
// each will be installed from: its copy, when it has one, named by its path). With
// `importKeys` false (a dry run, or a normal user's install whose root side imports the
// key) a trusted key is reported, not imported, and nothing on the host changes.
ChecksReport runInstallChecks(const std::vector<TransactionPackage>& packages,
                              const CheckCallbacks& callbacks, bool importKeys,
                              const CheckPolicy& policy);

// The question for a key: rpm's key id, the user id, the fingerprint and the file.
std::string keyQuestionText(const PackageCheck& check);

// --verify: the medium alone (its list and every package at its root), one line per file
// on standard output. Returns the exit status: 0 when nothing would refuse an install.
int verifyMedium(const CheckPolicy& policy);
