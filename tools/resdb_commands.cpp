#include "tools/resdb_commands.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <map>

#include "resdb/language.h"
#include "resdb/language_db.h"
#include "resdb/memory_file.h"
#include "resdb/resource.h"
#include "services/files.h"
#include "tools/po_files.h"

namespace {

const char kUsage[] =
    "usage: resdb build [--ids FIRST-LAST]... OUTPUT FILE.po...\n"
    "                                       build a database from PO files named LL_RR.po\n"
    "                                       (only the identifiers in the ranges given)\n"
    "       resdb dump DB DIRECTORY         write one LL_RR.po file per language\n"
    "       resdb list DB                   show each language and its number of resources\n"
    "       resdb get DB LL_RR ID           write one value, with language fallback\n";

std::ostream& fail(std::ostream& err) {
    return err << "resdb: ";
}

std::string systemError() {
    return std::strerror(errno);
}

// Permission bits a newly created file would get from the process umask.
mode_t creationMode() {
    mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

// Replaces `path` with `contents` whole, or leaves it as it was; the file is on the disk
// before it takes the name.
bool writeFileAtomically(const std::string& path, const std::string& contents, std::string& error) {
    PlaceOptions options(creationMode());
    options.durable = true;
    options.error = &error;
    return placeFile(path, contents, options);
}

// The bytes of the file `db` is stored as, written in memory; false when a language of
// it cannot be read. The database is unloaded.
bool storedBytes(LanguageDB_C& db, std::string* bytes) {
    MemoryDisk disk;
    MemoryDiskScope scope(disk);
    const char* const name = "database";
    const bool stored = db.Store(name);
    db.Unload();
    *bytes = disk.files[name];
    return stored;
}

// The last "_" separates language and region; Language_C decides the lengths.
bool parseRequestTag(const std::string& tag, Language_C& language) {
    std::string::size_type underscore = tag.find('_');
    if (underscore == std::string::npos || tag.find('_', underscore + 1) != std::string::npos) {
        return false;
    }
    std::string code = tag.substr(0, underscore);
    std::string region = tag.substr(underscore + 1);
    if (code.find('\0') != std::string::npos || region.find('\0') != std::string::npos) {
        return false;
    }
    return language.SetLang(code.c_str(), region.c_str(), 0, 0);
}

bool keeps(const std::vector<IdRange>& keep, std::uint32_t id) {
    if (keep.empty()) {
        return true;
    }
    for (const IdRange& range : keep) {
        if (id >= range.first && id <= range.last) {
            return true;
        }
    }
    return false;
}

void reportAll(std::ostream& err, const std::vector<std::string>& messages) {
    for (const std::string& message : messages) {
        fail(err) << message << "\n";
    }
}

}  // namespace

bool parseIdRange(const std::string& text, IdRange& range) {
    std::string::size_type dash = text.find('-');
    if (dash == std::string::npos || text.find('\0') != std::string::npos) {
        return false;
    }
    return parseResourceId(text.substr(0, dash).c_str(), range.first) &&
           parseResourceId(text.substr(dash + 1).c_str(), range.last) && range.first <= range.last;
}

std::string languageTag(const Language_C& language) {
    return language.Tag();
}

bool openDatabase(const std::string& path, LanguageDB_C& db, std::vector<Language_C>* fileOrder,
                  std::string& error) {
    if (!db.Load(path.c_str())) {
        error = path + ": " + db.LastLoadError().message;
        return false;
    }
    for (const auto& entry : db.headers) {
        LanguageDB_C::iterator where;
        if (!db.GetResourceDB(entry.first, where)) {
            error = path + ": " + db.LastLoadError().message;
            return false;
        }
    }
    if (fileOrder) {
        *fileOrder = db.LanguagesInFileOrder();
    }
    return true;
}

int buildDatabase(const std::string& output, const std::vector<std::string>& poFiles,
                  std::ostream& err, const std::vector<IdRange>& keep) {
    std::vector<std::string> errors;
    std::vector<std::string> warnings;
    std::vector<PoCatalog> catalogs;
    std::map<std::string, std::string> fileOfTag;
    for (const std::string& path : poFiles) {
        PoCatalog catalog;
        if (!readPoCatalog(path, catalog, errors, &warnings)) {
            continue;
        }
        std::string tag = catalog.language + "_" + catalog.region;
        auto inserted = fileOfTag.emplace(tag, path);
        if (!inserted.second) {
            errors.push_back(path + ": language " + tag + " is given twice (also by " +
                             inserted.first->second + ")");
            continue;
        }
        catalogs.push_back(std::move(catalog));
    }
    for (const std::string& warning : warnings) {
        fail(err) << "warning: " << warning << "\n";
    }
    if (!errors.empty()) {
        reportAll(err, errors);
        fail(err) << output << " not written\n";
        return RESDB_FAILED;
    }

    LanguageDB_C db;
    for (const PoCatalog& catalog : catalogs) {
        // A language without translated entries stays in the file, empty.
        ResourceDB_C& resources =
            db.resources[Language_C(catalog.language.c_str(), catalog.region.c_str(), 0, 0)];
        for (const auto& value : catalog.values) {
            if (keeps(keep, value.first)) {
                resources.entries[value.first] = LangRes_C(value.second);
            }
        }
    }

    std::string bytes, error;
    if (!storedBytes(db, &bytes)) {
        fail(err) << output << " not written: the database cannot be stored\n";
        return RESDB_FAILED;
    }
    if (!writeFileAtomically(output, bytes, error)) {
        fail(err) << error << "\n";
        return RESDB_FAILED;
    }
    return RESDB_OK;
}

int dumpDatabase(const std::string& database, const std::string& directory, std::ostream& err) {
    LanguageDB_C db;
    std::string error;
    if (!openDatabase(database, db, nullptr, error)) {
        fail(err) << error << "\n";
        return RESDB_FAILED;
    }

    std::vector<std::string> problems;
    for (const auto& language : db.resources) {
        std::string tag = languageTag(language.first);
        std::string code, region;
        if (!parseLanguageTag(tag, code, region)) {
            problems.push_back("language " + tag + " cannot be named by a LL_RR.po file");
        }
        for (const auto& entry : language.second.entries) {
            std::string why = poValueProblem(entry.second.Data());
            if (!why.empty()) {
                problems.push_back("language " + tag + ", resource " +
                                   std::to_string(static_cast<unsigned int>(entry.first)) + ": " +
                                   why);
            }
        }
    }
    if (!problems.empty()) {
        reportAll(err, problems);
        fail(err) << "nothing written to " << directory << "\n";
        return RESDB_FAILED;
    }

    if (mkdir(directory.c_str(), 0777) != 0 && errno != EEXIST) {
        fail(err) << "cannot create " << directory << ": " << systemError() << "\n";
        return RESDB_FAILED;
    }
    struct stat info;
    if (stat(directory.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        fail(err) << directory << " is not a directory\n";
        return RESDB_FAILED;
    }

    const Language_C english;
    const ResourceDB_C* source = nullptr;
    auto englishEntry = db.resources.find(english);
    if (englishEntry != db.resources.end()) {
        source = &englishEntry->second;
    }
    for (const auto& language : db.resources) {
        std::vector<PoOutputEntry> entries;
        for (const auto& entry : language.second.entries) {
            PoOutputEntry out{entry.first, entry.second.Data(), entry.second.Data()};
            if (source) {
                auto original = source->entries.find(entry.first);
                if (original != source->entries.end()) {
                    out.msgid = original->second.Data();  // validated with en_US above
                }
            }
            entries.push_back(std::move(out));
        }
        std::string tag = languageTag(language.first);
        std::string path = directory + "/" + tag + ".po";
        if (!writeFileAtomically(path, formatPoCatalog(tag, entries), error)) {
            fail(err) << error << "\n";
            return RESDB_FAILED;
        }
    }
    return RESDB_OK;
}

int listDatabase(const std::string& database, std::ostream& out, std::ostream& err) {
    LanguageDB_C db;
    std::vector<Language_C> order;
    std::string error;
    if (!openDatabase(database, db, &order, error)) {
        fail(err) << error << "\n";
        return RESDB_FAILED;
    }
    for (const Language_C& language : order) {
        out << languageTag(language) << '\t' << db.resources[language].entries.size() << '\n';
    }
    out.flush();
    if (!out) {
        fail(err) << "cannot write to standard output\n";
        return RESDB_FAILED;
    }
    return RESDB_OK;
}

int getResource(const std::string& database, const std::string& tag, const std::string& id,
                std::ostream& out, std::ostream& err) {
    Language_C language;
    if (!parseRequestTag(tag, language)) {
        fail(err) << "language " << tag
                  << " is not LL_RR (a 2-character language and a 2- or 3-character region)\n";
        return RESDB_USAGE;
    }
    std::uint32_t resource;
    if (!parseResourceId(id.c_str(), resource)) {
        fail(err) << "resource identifier " << id
                  << " is not a decimal number from 0 to 4294967295\n";
        return RESDB_USAGE;
    }
    LanguageDB_C db;
    std::string error;
    if (!openDatabase(database, db, nullptr, error)) {
        fail(err) << error << "\n";
        return RESDB_FAILED;
    }
    try {
        const LangRes_C& value = db.GetResource(language, resource);
        out.write(value.Data().data(), static_cast<std::streamsize>(value.Size()));
    } catch (const ResourceError&) {
        fail(err) << "resource " << resource << " not found in " << tag
                  << " or any fallback language\n";
        return RESDB_FAILED;
    }
    out.flush();
    if (!out) {
        fail(err) << "cannot write to standard output\n";
        return RESDB_FAILED;
    }
    return RESDB_OK;
}

namespace {

// build [--ids FIRST-LAST]... OUTPUT FILE.po...
int runBuild(const std::vector<std::string>& args, std::ostream& err) {
    std::vector<IdRange> keep;
    std::size_t next = 1;
    while (next + 1 < args.size() && args[next] == "--ids") {
        IdRange range;
        if (!parseIdRange(args[next + 1], range)) {
            fail(err) << "identifier range " << args[next + 1]
                      << " is not FIRST-LAST (decimal, FIRST not above LAST)\n";
            err << kUsage;
            return RESDB_USAGE;
        }
        keep.push_back(range);
        next += 2;
    }
    if (args.size() < next + 2 || args[next] == "--ids") {
        fail(err) << "wrong number of arguments for build\n";
        err << kUsage;
        return RESDB_USAGE;
    }
    return buildDatabase(args[next], std::vector<std::string>(args.begin() + next + 1, args.end()),
                         err, keep);
}

}  // namespace

int runResdb(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    const std::string command = args.empty() ? "" : args[0];
    const std::size_t operands = args.empty() ? 0 : args.size() - 1;
    if (command == "--help" || command == "-h" || command == "help") {
        out << kUsage;
        return RESDB_OK;
    }
    if (command == "build") {
        return runBuild(args, err);
    }
    if (command == "dump" && operands == 2) {
        return dumpDatabase(args[1], args[2], err);
    }
    if (command == "list" && operands == 1) {
        return listDatabase(args[1], out, err);
    }
    if (command == "get" && operands == 3) {
        return getResource(args[1], args[2], args[3], out, err);
    }
    if (command.empty()) {
        fail(err) << "no command given\n";
    } else if (command != "build" && command != "dump" && command != "list" && command != "get") {
        fail(err) << "unknown command " << command << "\n";
    } else {
        fail(err) << "wrong number of arguments for " << command << "\n";
    }
    err << kUsage;
    return RESDB_USAGE;
}
