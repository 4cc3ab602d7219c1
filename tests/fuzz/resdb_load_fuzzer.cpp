// Feeds arbitrary bytes to the database reader as a file, looks up resources
// in every language it lists, and checks that a database that can be written
// reads back the same. The files are in memory (MemoryFile_C): the reader sees
// the same File_C calls as on disk, without a system call per run.
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "resdb/language_db.h"
#include "resdb/memory_file.h"

namespace {

const char InputPath[] = "input.resdb";
const char OutputPath[] = "output.resdb";

MemoryDisk& disk() {
    static MemoryDisk memory;
    return memory;
}

typedef std::map<Language_C, std::map<unsigned int, std::string>> Contents;

// Every listed language's values; false when a block cannot be read.
bool readAll(LanguageDB_C& db, Contents& contents) {
    std::vector<Language_C> languages;
    for (const auto& header : db.headers) languages.push_back(header.first);
    bool complete = true;
    for (const Language_C& language : languages) {
        LanguageDB_C::iterator where;
        if (!db.GetResourceDB(language, where)) {
            complete = false;
            continue;
        }
        for (const auto& entry : where->second.entries)
            contents[language][entry.first] = entry.second.Data();
    }
    return complete;
}

// The lookup without exceptions (they cost the sanitizers a stack walk each, and most
// lookups of a damaged database miss).
size_t lookUp(LanguageDB_C& db, const Language_C& language, unsigned int id) {
    int missing = 0;
    if (const LangRes_C* found = db.FindResource(language, id, &missing))
        return found->Data().size();
    if (missing != ResourceError::RESOURCE_NOT_FOUND &&
        missing != ResourceError::LANGUAGE_NOT_FOUND)
        std::abort();
    return 0;
}

// The throwing lookup finds what the other finds, and throws what the other reports.
void lookUpThrowing(LanguageDB_C& db, const Language_C& language, unsigned int id) {
    int missing = 0;
    const LangRes_C* found = db.FindResource(language, id, &missing);
    try {
        if (&db.GetResource(language, id) != found)
            std::abort();
    } catch (const ResourceError& error) {
        if (found || error.code != missing)
            std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // For the whole run: every File_C the reader and writer make is a memory file.
    static MemoryDiskScope scope(disk());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    disk().files.clear();
    disk().files[InputPath].assign(reinterpret_cast<const char*>(data), size);
    LanguageDB_C db;
    if (!db.Load(InputPath)) {
        if (db.LastLoadError().code == LoadError::NONE || db.LastLoadError().message.empty())
            std::abort();  // every refusal names its reason
        return 0;
    }

    std::vector<Language_C> languages = {Language_C(), Language_C("fr", "CA", 0, 0),
                                         Language_C("pt", "BR", 0, 0)};
    // A hostile header chain can list thousands of languages; a sample keeps
    // each run short.
    for (const auto& header : db.headers) {
        if (languages.size() >= 64)
            break;
        languages.push_back(header.first);
    }
    const unsigned int ids[] = {0, 1, 2, 1001, 5001, 0xFFFFFFFFu};
    size_t total = 0;
    lookUpThrowing(db, languages.back(), size > 0 ? data[size - 1] : 0);
    for (const Language_C& language : languages) {
        for (unsigned int id : ids) total += lookUp(db, language, id);
        Language_C closest = db.FindClosestLang(language);
        if (!(closest == language) && db.headers.count(closest) == 0)
            std::abort();  // only listed languages are proposed
    }

    // A database whose every block reads writes out and reads back unchanged.
    Contents before;
    const bool complete = readAll(db, before);
    if (complete != (db.LastLoadError().code == LoadError::NONE))
        std::abort();  // a block is named damaged exactly when one cannot be read
    if (complete) {
        if (!db.Store(OutputPath))
            std::abort();
        LanguageDB_C again;
        Contents after;
        if (!again.Load(OutputPath) || !readAll(again, after) || before != after)
            std::abort();
        again.Unload();
    }
    db.Unload();
    return total == static_cast<size_t>(-1);
}
