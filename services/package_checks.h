// rpm's own checks of the packages an install would run, made before anything is
// installed: each package's digests and signature (rpm -Kv), and the install as a test
// transaction (rpm -U --test). rpm runs with this process's environment, so with the
// configuration the install uses (HOME's .rpmmacros: the database and its keyring).
//
// A package is opened here, as a regular file only (never a FIFO or a device), and given
// to rpm as an open descriptor (/dev/fd/N): rpm reads the file that was looked at,
// whatever its path holds, and its lines name the file by its path again.
#pragma once

#include <string>
#include <vector>

enum class SignatureState {
    Ok,            // signed, and the signature verified with a key of rpm's keyring
    Unsigned,      // digests good, no signature
    UnknownKey,    // digests good, signed by a key rpm's keyring does not hold
    BadSignature,  // digests good, a signature that does not verify
    Damaged,       // a digest that does not match, or a package rpm cannot read
    NotRegular,    // no regular file at the path (missing, FIFO, device, directory)
    NotChecked,    // rpm could not be run
};

// A key file RPM-GPG-KEY-* at the medium's root that holds one key, as gpg reads it.
struct SigningKey {
    std::string file;         // its path
    std::string fingerprint;  // hex digits, as gpg writes them
    std::string userId;       // the key's first user id, as gpg writes it
    std::string block;        // the file's bytes, which an import takes
};

struct PackageCheck {
    std::string path;
    // The file rpm read, when it is not `path` itself (a copy of it); lines and results
    // name `path`.
    std::string file;
    SignatureState state = SignatureState::NotChecked;
    // rpm's own lines on what is not OK (in the C locale, as rpm writes them there).
    std::vector<std::string> rpmLines;
    // UnknownKey: the key id rpm names; `key` is the medium's key of that id when
    // `keyOnMedium`.
    std::string keyId;
    bool keyOnMedium = false;
    SigningKey key;
};

// Checks the packages with `rpm -Kv`, all in one rpm run where it can. The key files at the
// root of `mediumDirectory` are read with gpg, in a throwaway home of their own (a file
// holding more than one key is passed over, so that an import never takes a key no one
// was shown); those rpm's keyring lacks (as the run's installedPackages("gpg-pubkey")
// has it) are imported into a keyring of the run's own (checkAgainstKeys) and the
// packages checked there, rpm's keyring neither read nor changed. A package that verifies
// with such a key is UnknownKey with `keyOnMedium`, and known to verify once that key is
// imported; a bad signature with it is BadSignature. Packages signed with any other key
// (all of them, when the medium brings no key rpm lacks) are checked in rpm's own
// keyring; where the keyring of the run's own could not be made, a package of the
// medium's key is NotChecked with rpm's lines. `files`, when given, holds for each path
// the file rpm reads in its place (a copy of it); the results still name the path.
std::vector<PackageCheck> checkPackageSignatures(const std::vector<std::string>& paths,
                                                 const std::string& mediumDirectory,
                                                 const std::vector<std::string>& files = {});

struct ProgramOutput;
// What `rpm -Kv` wrote of one package (in the C locale) and how it ended: the check's
// state, rpm's lines on what is not OK (none when it is Ok or Unsigned) and the key id
// of an unknown key or a bad signature. The check's path is left as it is.
void readRpmVerdicts(const ProgramOutput& output, PackageCheck* check);

// gpg's listing of one key file (--with-colons --with-subkey-fingerprint --show-keys):
// the key's fingerprint and first user id into `key`, the fingerprints of the key and
// its subkeys into `fingerprints`. False when the listing holds no key or more than one.
bool readKeyListing(const ProgramOutput& output, SigningKey* key,
                    std::vector<std::string>* fingerprints);

// Imports `key` (its bytes as read when it was checked, whatever the file holds now) into
// rpm's keyring with `rpm --import`. False, with rpm's lines, when rpm does not take it.
bool importSigningKey(const SigningKey& key, std::vector<std::string>* rpmLines);

// Checks each package with `rpm -Kv` against `keys` alone, in a keyring of this run's
// own: an rpm database in a private directory (0700, made for the check and removed with
// it). What the packages' signatures come to with those keys is known before any of them
// reaches rpm's keyring, which is neither read nor changed. False, with rpm's lines, when
// that keyring could not be made or did not take a key: each package is then NotChecked.
// `files` as for checkPackageSignatures.
bool checkAgainstKeys(const std::vector<std::string>& paths, const std::vector<std::string>& files,
                      const std::vector<SigningKey>& keys, std::vector<PackageCheck>* checks,
                      std::vector<std::string>* rpmLines);

// A package as the install runs it: `options` are rpm's for it ("-Uv", "--nodeps" ...).
// `path` names it in every line and result; `file`, when set, is the file rpm reads and
// installs in its place (the run's copy of it).
struct TransactionPackage {
    std::string path;
    std::vector<std::string> options;
    std::string file = std::string();

    const std::string& source() const { return file.empty() ? path : file; }
};

// One rpm run of the test transaction: the packages that share one set of options.
struct TransactionRun {
    std::vector<std::string> options;
    std::vector<std::string> paths;
    bool started = false;
    bool ok = false;  // rpm ended with status 0: nothing stands against the install
    // What rpm said, in the user's locale: conflicts, missing dependencies, a newer
    // package installed, too little disk space ...
    std::vector<std::string> lines;
};

struct TransactionCheck {
    std::vector<TransactionRun> runs;
    std::vector<std::string> unopened;  // packages that are no regular file; nothing ran
    bool ok() const;
};

// Runs the packages through `rpm <options> --test`, in as few runs as their options
// allow. Sets of options that differ only in --nodeps are tried first as one run of every
// package in their order, with dependencies checked (each package's may be met by the
// others); when that passes it is the one run. Otherwise one run per set of options, in
// the order of each set's first package; conflicts between packages of different runs
// are then beyond it.
TransactionCheck testTransaction(const std::vector<TransactionPackage>& packages);
