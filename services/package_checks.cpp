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

// `source`: the file checked, when it is not at `path` (a copy of it); `keyring`: rpm's
// options that point it at a keyring other than its own.
PackageCheck checkOnePackage(const std::string& path, const std::string& source,
                             const std::vector<std::string>& keyring = {}) {
    PackageCheck check;
    check.path = path;
    if (source != path)
        check.file = source;
    Descriptor file = openPackage(source);
    if (!file.valid()) {
        check.state = SignatureState::NotRegular;
        return check;
    }
    // Taken afresh: HOME, which leads rpm to its configuration, may have changed.
    const std::vector<std::string> environment = cLocaleEnvironment();
    std::vector<std::string> argv{"rpm"};
    argv.insert(argv.end(), keyring.begin(), keyring.end());
    argv.insert(argv.end(), {"-Kv", descriptorPath(0)});
    ProgramOutput output;
    if (!runProgram(argv, checkRun(&environment, {file.get()}), &output))
        return check;  // NotChecked
    readRpmVerdicts(output, &check);
    for (std::string& line : check.rpmLines) line = namePackages(line, {path});
    return check;
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

std::vector<PackageCheck> checkPackageSignatures(const std::vector<std::string>& paths,
                                                 const std::string& mediumDirectory,
                                                 const std::vector<std::string>& files) {
    std::vector<PackageCheck> checks;
    std::vector<MediumKey> keys;
    bool keysRead = false;
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::string& path = paths[i];
        checks.push_back(
            checkOnePackage(path, i < files.size() && !files[i].empty() ? files[i] : path));
        PackageCheck& check = checks.back();
        if (check.state != SignatureState::UnknownKey)
            continue;
        if (!keysRead) {
            keys = readMediumKeys(mediumDirectory);
            keysRead = true;
        }
        findKeyOnMedium(keys, &check);
    }
    return checks;
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
    return importInto(&directory, {}, key, rpmLines);
}

bool checkAgainstKeys(const std::vector<std::string>& paths, const std::vector<std::string>& files,
                      const std::vector<SigningKey>& keys, std::vector<PackageCheck>* checks,
                      std::vector<std::string>* rpmLines) {
    checks->clear();
    rpmLines->clear();
    KeyDirectory directory;
    bool taken = !directory.path().empty();
    // The database of its own (rpm makes it on the first import) holds the keys; the
    // keyring's path is named too, so that no configuration (HOME's .rpmmacros) leads a
    // keyring kept in files back to rpm's own.
    const std::string database = directory.path() + "/rpmdb";
    const std::vector<std::string> keyring{"--dbpath", database, "--define",
                                           "_keyringpath " + database + "/pubkeys/"};
    for (const SigningKey& key : keys)
        taken = taken && importInto(&directory, keyring, key, rpmLines);
    for (std::size_t i = 0; i < paths.size(); ++i) {
        const std::string& path = paths[i];
        if (taken) {
            checks->push_back(checkOnePackage(
                path, i < files.size() && !files[i].empty() ? files[i] : path, keyring));
        } else {
            checks->emplace_back();
            checks->back().path = path;  // NotChecked
        }
    }
    return taken;
}

bool TransactionCheck::ok() const {
    return unopened.empty() &&
           std::all_of(runs.begin(), runs.end(), [](const TransactionRun& run) { return run.ok; });
}

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
    for (std::size_t r = 0; r < runs.size(); ++r) {
        TransactionRun& run = runs[r];
        std::vector<std::string> argv{"rpm"};
        argv.insert(argv.end(), run.options.begin(), run.options.end());
        argv.insert(argv.end(), {"--test", "--"});
        std::vector<int> passed;
        for (std::size_t i = 0; i < files[r].size(); ++i) {
            argv.push_back(descriptorPath(i));
            passed.push_back(files[r][i].get());
        }
        ProgramOutput output;
        run.started = runProgram(argv, checkRun(nullptr, passed), &output);
        run.ok = run.started && endedWell(output.waitStatus);
        run.lines = outputLines(output, run.paths);
    }
    check.runs = std::move(runs);
    return check;
}
