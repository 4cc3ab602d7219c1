#include "services/package_checks.h"

#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>

#include "services/child_process.h"
#include "services/descriptor.h"
#include "services/files.h"
#include "services/packages.h"

extern char** environ;

namespace {

const std::size_t OutputLimit = 256 * 1024;

// How rpm and gpg run here: their messages (standard error too) kept up to OutputLimit,
// with `environment` when given and `passed` as descriptors 3 and up.
ProgramRun checkRun(const std::vector<std::string>* environment = nullptr,
                    std::vector<int> passed = {}) {
    ProgramRun how(OutputLimit);
    how.errorsToo = true;
    how.environment = environment;
    how.passed = std::move(passed);
    return how;
}
const std::size_t KeyFileLimit = 256 * 1024;
const std::size_t KeyFilesLooked = 16;
const char* const KeyFilePrefix = "RPM-GPG-KEY-";

bool endedWell(int waitStatus) {
    return WIFEXITED(waitStatus) && WEXITSTATUS(waitStatus) == 0;
}

// Opens the package for rpm; an invalid descriptor when it is no regular file.
Descriptor openPackage(const std::string& path) {
    Descriptor file(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info;
    if (file.valid() && (fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)))
        file.reset();
    return file;
}

std::string descriptorPath(std::size_t index) {
    return "/dev/fd/" + std::to_string(3 + index);
}

// `line` with each /dev/fd/N that runProgram gave rpm replaced by its package's path.
std::string namePackages(const std::string& line, const std::vector<std::string>& paths) {
    static const std::string prefix = "/dev/fd/";
    std::string named;
    std::size_t from = 0;
    for (std::size_t at; (at = line.find(prefix, from)) != std::string::npos;) {
        std::size_t end = at + prefix.size();
        while (end < line.size() && line[end] >= '0' && line[end] <= '9') ++end;
        const std::string digits = line.substr(at + prefix.size(), end - at - prefix.size());
        const long number = digits.empty() || digits.size() > 6 ? -1 : std::stol(digits);
        named += line.substr(from, at - from);
        if (number >= 3 && static_cast<std::size_t>(number - 3) < paths.size())
            named += paths[static_cast<std::size_t>(number - 3)];
        else
            named += line.substr(at, end - at);
        from = end;
    }
    return named + line.substr(from);
}

// The non-empty lines of rpm's output, without their trailing blanks, packages named.
std::vector<std::string> outputLines(const ProgramOutput& output,
                                     const std::vector<std::string>& paths) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < output.text.size()) {
        std::size_t end = output.text.find('\n', start);
        if (end == std::string::npos)
            end = output.text.size();
        std::string line = output.text.substr(start, end - start);
        start = end + 1;
        line.erase(line.find_last_not_of(" \t\r") + 1);
        if (!line.empty())
            lines.push_back(namePackages(line, paths));
    }
    return lines;
}

// This process's environment in the C locale: rpm's verdicts read the same everywhere.
std::vector<std::string> cLocaleEnvironment() {
    std::vector<std::string> environment;
    for (char** variable = environ; *variable; ++variable) {
        const std::string text = *variable;
        if (text.rfind("LC_ALL=", 0) != 0 && text.rfind("LANGUAGE=", 0) != 0)
            environment.push_back(text);
    }
    environment.push_back("LC_ALL=C");
    return environment;
}

// One line of `rpm -Kv` on a digest or signature: "<what>: <VERDICT>", with "(<detail>)"
// after some. Other lines (a distribution's own notes) are no verdicts.
struct Verdict {
    bool isVerdict = false;
    bool signature = false;  // else a digest
    std::string word;        // OK, BAD, NOKEY, NOTTRUSTED, NOTFOUND ...
    std::string keyId;       // of a signature: the hex word before the verdict
};

Verdict verdictOf(const std::string& line) {
    Verdict verdict;
    const std::size_t colon = line.rfind(": ");
    if (colon == std::string::npos)
        return verdict;
    const std::string rest = line.substr(colon + 2);
    verdict.word = rest.substr(0, rest.find(' '));
    static const char* const words[] = {"OK", "BAD", "NOKEY", "NOTTRUSTED", "NOTFOUND", "UNKNOWN"};
    if (std::none_of(std::begin(words), std::end(words),
                     [&](const char* word) { return verdict.word == word; }))
        return verdict;
    verdict.isVerdict = true;
    const std::string what = line.substr(0, colon);
    verdict.signature = what.find("ignature") != std::string::npos;
    if (verdict.signature)
        verdict.keyId = what.substr(what.find_last_of(" :") + 1);
    return verdict;
}

bool isProblem(const Verdict& verdict) {
    return verdict.word != "OK" && verdict.word != "NOTFOUND";
}

// What `rpm -Kv` said of one package, taken line by line.
struct Tally {
    bool damaged = false, digestSeen = false;
    bool signedOk = false, unknownKey = false, badSignature = false;
    std::string keyId;                  // of the first signature that is not OK
    std::vector<std::string> problems;  // the lines that are not OK

    void add(std::string line) {
        line.erase(0, line.find_first_not_of(" \t"));
        if (line.rfind("error: ", 0) == 0) {
            damaged = true;
            problems.push_back(line);
            return;
        }
        const Verdict verdict = verdictOf(line);
        if (!verdict.isVerdict)
            return;
        if (isProblem(verdict))
            problems.push_back(line);
        if (!verdict.signature) {
            digestSeen = true;
            damaged = damaged || verdict.word == "BAD";
            return;
        }
        signedOk = signedOk || verdict.word == "OK";
        unknownKey = unknownKey || verdict.word == "NOKEY";
        badSignature = badSignature || (isProblem(verdict) && verdict.word != "NOKEY");
        if (keyId.empty() && isProblem(verdict))
            keyId = verdict.keyId;
    }

    SignatureState state(int waitStatus) const {
        // rpm said nothing readable, or failed without saying why: not a usable package.
        if (damaged || !digestSeen || (!endedWell(waitStatus) && !badSignature && !unknownKey))
            return SignatureState::Damaged;
        if (badSignature)
            return SignatureState::BadSignature;
        if (unknownKey)
            return SignatureState::UnknownKey;
        return signedOk ? SignatureState::Ok : SignatureState::Unsigned;
    }
};

// The key id of the signature that verified in `lines` (rpm -Kv of one package); empty
// when none did.
std::string verifyingKeyId(const std::vector<std::string>& lines) {
    for (const std::string& line : lines) {
        const Verdict verdict = verdictOf(line);
        if (verdict.isVerdict && verdict.signature && verdict.word == "OK")
            return verdict.keyId;
    }
    return "";
}

// Checks the packages `which` of `checks` (each with its path and, for a copy, its file)
// in one `rpm -Kv`; `keyring`: rpm's options that point it at a keyring other than its
// own. rpm writes "<file>:" before the lines of each package; its complaints name the
// file. Each package's verdict is what rpm -Kv of it alone gives.
void checkPackages(std::vector<PackageCheck>& checks, const std::vector<std::size_t>& which,
                   const std::vector<std::string>& keyring = {}) {
    std::vector<Descriptor> files;
    std::vector<std::size_t> opened;
    std::vector<std::string> names;  // the path of each descriptor given to rpm
    for (std::size_t index : which) {
        PackageCheck& check = checks[index];
        Descriptor file = openPackage(check.file.empty() ? check.path : check.file);
        check.state = SignatureState::NotRegular;
        if (!file.valid())
            continue;
        check.state = SignatureState::NotChecked;
        files.push_back(std::move(file));
        opened.push_back(index);
        names.push_back(check.path);
    }
    if (opened.empty())
        return;
    // Taken afresh: HOME, which leads rpm to its configuration, may have changed.
    const std::vector<std::string> environment = cLocaleEnvironment();
    std::vector<std::string> argv{"rpm"};
    argv.insert(argv.end(), keyring.begin(), keyring.end());
    argv.push_back("-Kv");
    std::vector<int> passed;
    for (std::size_t i = 0; i < files.size(); ++i) {
        argv.push_back(descriptorPath(i));
        passed.push_back(files[i].get());
    }
    ProgramOutput output;
    if (!runProgram(argv, checkRun(&environment, passed), &output))
        return;  // NotChecked
    std::vector<ProgramOutput> each(opened.size());
    std::size_t current = opened.size();
    std::size_t start = 0;
    while (start < output.text.size()) {
        std::size_t end = output.text.find('\n', start);
        end = end == std::string::npos ? output.text.size() : end + 1;
        const std::string line = output.text.substr(start, end - start);
        start = end;
        std::size_t owner = current;
        for (std::size_t i = 0; i < opened.size(); ++i) {
            const std::string name = descriptorPath(i) + ":";
            if (line.compare(0, name.size(), name) == 0 &&
                line.find_first_not_of(" \t\r\n", name.size()) == std::string::npos)
                owner = current = i;  // the line that opens a package's part
            else if (line.find(descriptorPath(i) + ": ") != std::string::npos)
                owner = i;
        }
        if (owner < opened.size())
            each[owner].text += line;
    }
    for (std::size_t i = 0; i < opened.size(); ++i) {
        PackageCheck& check = checks[opened[i]];
        // rpm's status is the whole run's: a package none of whose lines is a problem
        // ended well as far as it goes.
        PackageCheck alone;
        each[i].waitStatus = 0;
        readRpmVerdicts(each[i], &alone);
        each[i].waitStatus = alone.rpmLines.empty() ? 0 : output.waitStatus;
        if (endedWell(output.waitStatus))
            each[i].waitStatus = 0;
        readRpmVerdicts(each[i], &check);
        for (std::string& line : check.rpmLines) line = namePackages(line, names);
        if (check.state == SignatureState::Ok)
            check.keyId = verifyingKeyId(outputLines(each[i], {}));
    }
}

int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
    remove(path);
    return 0;
}

// A directory of this process's own for a key handed to gpg or rpm; removed with
// everything in it when it goes.
class KeyDirectory {
  public:
    KeyDirectory() : path_(makePrivateDirectory("/tmp/stage3-key.XXXXXX")) {}
    ~KeyDirectory() {
        if (!path_.empty())
            nftw(path_.c_str(), removeEntry, 8, FTW_DEPTH | FTW_PHYS | FTW_MOUNT);
    }
    KeyDirectory(const KeyDirectory&) = delete;
    KeyDirectory& operator=(const KeyDirectory&) = delete;

    // Writes `block` as a new file of the directory; its path, or "" when it failed.
    std::string place(const std::string& block) {
        const std::string file = path_ + "/key" + std::to_string(++count_) + ".asc";
        return !path_.empty() && writeNewFile(file, block, 0600) ? file : std::string();
    }
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    int count_ = 0;
};

// gpg's "\xHH" escapes in a colon listing, undone where they stand for a printable
// character.
std::string unescapeColonField(const std::string& text) {
    std::string plain;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 2, "\\x") == 0 && i + 3 < text.size() &&
            std::isxdigit(static_cast<unsigned char>(text[i + 2])) &&
            std::isxdigit(static_cast<unsigned char>(text[i + 3]))) {
            const int value = std::stoi(text.substr(i + 2, 2), nullptr, 16);
            if (value >= 0x20 && value != 0x7f) {
                plain += static_cast<char>(value);
                i += 3;
                continue;
            }
        }
        plain += text[i];
    }
    return plain;
}

std::vector<std::string> colonFields(const std::string& line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t colon; (colon = line.find(':', start)) != std::string::npos;) {
        fields.push_back(line.substr(start, colon - start));
        start = colon + 1;
    }
    fields.push_back(line.substr(start));
    return fields;
}

// A key file of the medium as gpg reads it, with the fingerprints of its key and subkeys.
struct MediumKey {
    SigningKey key;
    std::vector<std::string> fingerprints;
};

// Reads the one key of `block` with gpg; false when gpg cannot, or the block holds no
// key or more than one.
bool describeKey(KeyDirectory* directory, const std::string& block, MediumKey* key) {
    const std::string file = directory->place(block);
    ProgramOutput output;
    if (file.empty() ||
        !runProgram({"gpg", "--homedir", directory->path(), "--batch", "--no-tty", "--no-keyring",
                     "--trust-model", "always", "--with-colons", "--with-subkey-fingerprint",
                     "--show-keys", file},
                    checkRun(), &output) ||
        !endedWell(output.waitStatus))
        return false;
    key->key.block = block;
    return readKeyListing(output, &key->key, &key->fingerprints);
}

std::vector<MediumKey> readMediumKeys(const std::string& mediumDirectory) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(mediumDirectory.c_str())) {
        while (struct dirent* item = readdir(dir))
            if (std::strncmp(item->d_name, KeyFilePrefix, std::strlen(KeyFilePrefix)) == 0)
                names.push_back(item->d_name);
        closedir(dir);
    }
    std::sort(names.begin(), names.end());
    names.resize(std::min(names.size(), KeyFilesLooked));
    std::vector<MediumKey> keys;
    if (names.empty())
        return keys;
    KeyDirectory directory;
    for (const std::string& name : names) {
        MediumKey key;
        key.key.file = mediumDirectory + "/" + name;
        std::string block;
        if (readRegularFile(key.key.file, KeyFileLimit, &block, nullptr, Links::Refuse) &&
            describeKey(&directory, block, &key))
            keys.push_back(std::move(key));
    }
    return keys;
}

// Whether `fingerprint` ends with `keyId` (rpm names a key by the last 8 or 16 hex
// digits of its fingerprint, or by all of it).
bool fingerprintHasId(const std::string& fingerprint, const std::string& keyId) {
    if (keyId.size() < 8 || keyId.size() > fingerprint.size())
        return false;
    return std::equal(keyId.begin(), keyId.end(), fingerprint.end() - keyId.size(),
                      [](char a, char b) {
                          return std::tolower(static_cast<unsigned char>(a)) ==
                                 std::tolower(static_cast<unsigned char>(b));
                      });
}

void findKeyOnMedium(const std::vector<MediumKey>& keys, PackageCheck* check) {
    for (const MediumKey& key : keys)
        for (const std::string& fingerprint : key.fingerprints)
            if (fingerprintHasId(fingerprint, check->keyId)) {
                check->keyOnMedium = true;
                check->key = key.key;
                return;
            }
}

// The packages grouped by their options, each group in the order of its first package.
std::vector<TransactionRun> groupByOptions(const std::vector<TransactionPackage>& packages) {
    std::vector<TransactionRun> runs;
    for (const TransactionPackage& package : packages) {
        auto run = std::find_if(runs.begin(), runs.end(), [&](const TransactionRun& r) {
            return r.options == package.options;
        });
        if (run == runs.end())
            run = runs.insert(runs.end(), TransactionRun{package.options, {}, false, false, {}});
        run->paths.push_back(package.path);
    }
    return runs;
}

}  // namespace

void readRpmVerdicts(const ProgramOutput& output, PackageCheck* check) {
    const std::vector<std::string> lines = outputLines(output, {});
    Tally tally;
    for (const std::string& line : lines) tally.add(line);
    check->state = tally.state(output.waitStatus);
    check->rpmLines = tally.problems.empty() ? lines : tally.problems;
    if (check->state == SignatureState::Ok || check->state == SignatureState::Unsigned)
        check->rpmLines.clear();
    check->keyId.clear();
    if (check->state == SignatureState::UnknownKey || check->state == SignatureState::BadSignature)
        check->keyId = tally.keyId;
}

bool readKeyListing(const ProgramOutput& output, SigningKey* key,
                    std::vector<std::string>* fingerprints) {
    int primaries = 0;
    for (const std::string& line : outputLines(output, {})) {
        const std::vector<std::string> fields = colonFields(line);
        if (fields[0] == "pub")
            ++primaries;
        else if (fields[0] == "fpr" && fields.size() > 9 && !fields[9].empty())
            fingerprints->push_back(fields[9]);
        else if (fields[0] == "uid" && fields.size() > 9 && key->userId.empty())
            key->userId = unescapeColonField(fields[9]);
        if (primaries == 1 && key->fingerprint.empty() && !fingerprints->empty())
            key->fingerprint = fingerprints->front();
    }
    return primaries == 1 && !key->fingerprint.empty();
}

namespace {

// `rpm <keyring> --import` of `key`, written to a file of `directory`; rpm's lines are
// added to `rpmLines`.
bool importInto(KeyDirectory* directory, const std::vector<std::string>& keyring,
                const SigningKey& key, std::vector<std::string>* rpmLines) {
    const std::string file = directory->place(key.block);
    if (file.empty())
        return false;
    std::vector<std::string> argv{"rpm"};
    argv.insert(argv.end(), keyring.begin(), keyring.end());
    argv.insert(argv.end(), {"--import", file});
    ProgramOutput output;
    if (!runProgram(argv, checkRun(), &output))
        return false;
    const std::vector<std::string> lines = outputLines(output, {});
    rpmLines->insert(rpmLines->end(), lines.begin(), lines.end());
    return endedWell(output.waitStatus);
}

}  // namespace

bool importSigningKey(const SigningKey& key, std::vector<std::string>* rpmLines) {
    rpmLines->clear();
    KeyDirectory directory;
    const bool imported = importInto(&directory, {}, key, rpmLines);
    forgetInstalledPackages("gpg-pubkey");  // rpm's keyring is asked again when it matters
    return imported;
}

namespace {

std::vector<PackageCheck> uncheckedPackages(const std::vector<std::string>& paths,
                                            const std::vector<std::string>& files) {
    std::vector<PackageCheck> checks(paths.size());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        checks[i].path = paths[i];
        if (i < files.size() && files[i] != paths[i])
            checks[i].file = files[i];
    }
    return checks;
}

// A keyring of the run's own: an rpm database in a private directory (0700, made for it
// and removed with it) holding `keys`. The keyring's path is named too, so that no
// configuration (HOME's .rpmmacros) leads a keyring kept in files back to rpm's own.
class OwnKeyring {
  public:
    // False, with rpm's lines, when the keyring could not be made or did not take a key.
    bool make(const std::vector<SigningKey>& keys, std::vector<std::string>* rpmLines) {
        const std::string database = directory_.path() + "/rpmdb";
        options_ = {"--dbpath", database, "--define", "_keyringpath " + database + "/pubkeys/"};
        bool taken = !directory_.path().empty();
        for (const SigningKey& key : keys)
            taken = taken && importInto(&directory_, options_, key, rpmLines);
        return taken;
    }
    const std::vector<std::string>& options() const { return options_; }

  private:
    KeyDirectory directory_;
    std::vector<std::string> options_;
};

// Whether rpm's keyring holds a key of `fingerprint`, by the short id rpm names its
// package after (gpg-pubkey-<last eight digits>), as the run's query found it.
bool keyringHolds(const std::string& fingerprint) {
    if (fingerprint.size() < 8)
        return false;
    std::string id = fingerprint.substr(fingerprint.size() - 8);
    std::transform(id.begin(), id.end(), id.begin(), ::tolower);
    for (const InstalledPackage& key : installedPackages("gpg-pubkey"))
        if (key.version.compare(0, id.size() + 1, id + "-") == 0)
            return true;
    return false;
}

}  // namespace

std::vector<PackageCheck> checkPackageSignatures(const std::vector<std::string>& paths,
                                                 const std::string& mediumDirectory,
                                                 const std::vector<std::string>& files) {
    std::vector<PackageCheck> checks = uncheckedPackages(paths, files);
    if (paths.empty())
        return checks;
    // The medium's keys that rpm's keyring lacks go into a keyring of the run's own, and
    // every package is checked there in one rpm run: a package that verifies with one of
    // them is known to verify once it is imported; rpm's keyring is neither read nor
    // changed. A package signed with another key (or all, when the medium brings no key
    // rpm lacks) is checked in rpm's own keyring.
    std::vector<MediumKey> keys = readMediumKeys(mediumDirectory);
    std::vector<MediumKey> lacking;
    std::vector<SigningKey> lackingKeys;
    for (const MediumKey& key : keys) {
        if (!keyringHolds(key.key.fingerprint)) {
            lacking.push_back(key);
            lackingKeys.push_back(key.key);
        }
    }
    std::vector<std::size_t> all(paths.size()), inRpmKeyring;
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
    OwnKeyring own;
    std::vector<std::string> ownLines;
    const bool ownKeyring = !lacking.empty() && own.make(lackingKeys, &ownLines);
    if (ownKeyring) {
        checkPackages(checks, all, own.options());
        for (std::size_t i : all) {
            PackageCheck& check = checks[i];
            if (check.state == SignatureState::UnknownKey) {
                inRpmKeyring.push_back(i);  // not signed with a key of the medium rpm lacks
            } else if (check.state == SignatureState::Ok) {
                // Verified with a key rpm's keyring does not hold yet: the medium's.
                check.state = SignatureState::UnknownKey;
                findKeyOnMedium(lacking, &check);
            } else if (check.state == SignatureState::BadSignature) {
                check.rpmLines.insert(check.rpmLines.begin(), ownLines.begin(), ownLines.end());
            }
        }
    } else {
        inRpmKeyring = all;
    }
    if (!inRpmKeyring.empty())
        checkPackages(checks, inRpmKeyring);
    for (std::size_t i : inRpmKeyring) {
        PackageCheck& check = checks[i];
        if (check.state != SignatureState::UnknownKey || ownKeyring)
            continue;
        // A key the medium carries that could not be tried in a keyring of the run's own:
        // nothing is known of its packages until it is.
        findKeyOnMedium(lacking, &check);
        if (check.keyOnMedium) {
            check.state = SignatureState::NotChecked;
            check.rpmLines = ownLines;
            check.keyOnMedium = false;
        }
    }
    for (PackageCheck& check : checks)
        if (check.state != SignatureState::UnknownKey &&
            check.state != SignatureState::BadSignature)
            check.keyId.clear();
    return checks;
}

bool checkAgainstKeys(const std::vector<std::string>& paths, const std::vector<std::string>& files,
                      const std::vector<SigningKey>& keys, std::vector<PackageCheck>* checks,
                      std::vector<std::string>* rpmLines) {
    *checks = uncheckedPackages(paths, files);
    rpmLines->clear();
    OwnKeyring own;
    if (!own.make(keys, rpmLines))
        return false;
    std::vector<std::size_t> all(paths.size());
    for (std::size_t i = 0; i < all.size(); ++i) all[i] = i;
    checkPackages(*checks, all, own.options());
    for (PackageCheck& check : *checks)
        if (check.state == SignatureState::Ok)
            check.keyId.clear();
    return true;
}

bool TransactionCheck::ok() const {
    return unopened.empty() &&
           std::all_of(runs.begin(), runs.end(), [](const TransactionRun& run) { return run.ok; });
}

namespace {

// `options` without --nodeps.
std::vector<std::string> withDependencies(std::vector<std::string> options) {
    options.erase(std::remove(options.begin(), options.end(), "--nodeps"), options.end());
    return options;
}

// One `rpm <options> --test` of the run's packages, open at `passed`.
void testRun(TransactionRun* run, const std::vector<int>& passed) {
    std::vector<std::string> argv{"rpm"};
    argv.insert(argv.end(), run->options.begin(), run->options.end());
    argv.insert(argv.end(), {"--test", "--"});
    for (std::size_t i = 0; i < passed.size(); ++i) argv.push_back(descriptorPath(i));
    ProgramOutput output;
    run->started = runProgram(argv, checkRun(nullptr, passed), &output);
    run->ok = run->started && endedWell(output.waitStatus);
    run->lines = outputLines(output, run->paths);
}

}  // namespace

TransactionCheck testTransaction(const std::vector<TransactionPackage>& packages) {
    TransactionCheck check;
    std::vector<TransactionRun> runs = groupByOptions(packages);
    std::vector<std::vector<Descriptor>> files(runs.size());
    for (std::size_t r = 0; r < runs.size(); ++r)
        for (const std::string& path : runs[r].paths) {
            auto package =
                std::find_if(packages.begin(), packages.end(),
                             [&](const TransactionPackage& p) { return p.path == path; });
            files[r].push_back(openPackage(package->source()));
            if (!files[r].back().valid())
                check.unopened.push_back(path);
        }
    if (!check.unopened.empty())
        return check;
    // Sets of options that differ only in --nodeps: all the packages in one run with their
    // dependencies checked, each one's met by the others too, as they are once all are
    // installed. Where that run fails, each set runs on its own, to say which set fails.
    const bool oneRun =
        runs.size() > 1 && std::all_of(runs.begin(), runs.end(), [&](const TransactionRun& run) {
            return withDependencies(run.options) == withDependencies(runs.front().options);
        });
    if (oneRun) {
        TransactionRun whole{withDependencies(runs.front().options), {}, false, false, {}};
        std::vector<int> passed;
        for (const TransactionPackage& package : packages)
            for (std::size_t r = 0; r < runs.size(); ++r)
                for (std::size_t i = 0; i < runs[r].paths.size(); ++i)
                    if (runs[r].paths[i] == package.path &&
                        std::find(passed.begin(), passed.end(), files[r][i].get()) ==
                            passed.end()) {
                        whole.paths.push_back(package.path);
                        passed.push_back(files[r][i].get());
                    }
        testRun(&whole, passed);
        if (whole.ok) {
            check.runs = {std::move(whole)};
            return check;
        }
    }
    for (std::size_t r = 0; r < runs.size(); ++r) {
        std::vector<int> passed;
        for (const Descriptor& file : files[r]) passed.push_back(file.get());
        testRun(&runs[r], passed);
    }
    check.runs = std::move(runs);
    return check;
}
