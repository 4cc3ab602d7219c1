// The multi-language resource database file: language headers, the resources
// of one language, and the whole database with on-demand loading, closest-
// language lookup and the one global database.
//
// File layout (all numbers little-endian, through resdb/coding.h):
//   0  magic 00 00 00 01
//   4  language count N
//   8  N sections, each a 32-byte header (next header offset, resource block
//      offset, 16-byte language record) followed by its resource block
//      (count M, then M records of identifier, length L, L bytes).
#ifndef STAGE3_RESDB_LANGUAGE_DB_H
#define STAGE3_RESDB_LANGUAGE_DB_H

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "resdb/file.h"
#include "resdb/language.h"
#include "resdb/resource.h"

// Why a database file could not be read. The message names the reason without
// the path, as "wrong magic: not a resource database".
struct LoadError {
    enum Code {
        NONE = 0,
        CANNOT_OPEN,         // missing, unreadable, or not a regular file
        TRUNCATED,           // shorter than the 8-byte file header
        WRONG_MAGIC,         // not a resource database
        HEADER_DAMAGED,      // a language header is cut short or lies outside the file
        HEADER_CHAIN_LOOPS,  // a language header points back to one read before
        BLOCK_DAMAGED,       // the resource block of a listed language cannot be read
        TOO_LARGE            // larger than any database (128 MiB)
    };

    LoadError() = default;
    LoadError(Code code, std::string message) : code(code), message(std::move(message)) {}

    Code code = NONE;
    std::string message;  // empty for NONE
};

class LanguageHeader_C {
  public:
    LanguageHeader_C();

    // Reads one 32-byte header. With a previous header, first seeks to its
    // nextHeaderPos; without, reads at the current position.
    bool Load(File_C* file, const LanguageHeader_C* previous);
    // Writes the 32-byte header at the current position.
    bool Store(File_C* file) const;

    unsigned long long nextHeaderPos;
    unsigned long long resourcePos;
    unsigned long long headerPos;  // where it was read or last written; not stored
    Language_C lang;
};

class ResourceDB_C {
  public:
    typedef std::map<ResourceID_C, LangRes_C> EntryMap;

    // Throws ResourceError(RESOURCE_NOT_FOUND) when the identifier is missing;
    // never inserts.
    LangRes_C& operator[](const ResourceID_C& id);
    const LangRes_C& operator[](const ResourceID_C& id) const;

    bool AddResource(const ResourceID_C& id, const LangRes_C& value);
    // Stores the text up to its first NUL.
    bool AddString(const ResourceID_C& id, const std::string& text);

    // Reads one resource block at the current position. On failure entries is
    // empty. The one-argument form measures the bytes left in the file; a
    // count or length reaching past `remaining` fails without allocating.
    bool Load(File_C* file);
    bool Load(File_C* file, unsigned long long remaining);
    // Writes entries as one block at the current position, ascending identifiers.
    bool Store(File_C* file) const;
    bool Unload();

    EntryMap entries;
};

class LanguageDB_C {
  public:
    typedef std::map<Language_C, ResourceDB_C> ResourceMap;
    typedef std::map<Language_C, LanguageHeader_C> HeaderMap;
    typedef ResourceMap::iterator iterator;

    LanguageDB_C();
    // Frees both maps and releases the file object, if still held.
    ~LanguageDB_C();
    LanguageDB_C(const LanguageDB_C&) = delete;
    LanguageDB_C& operator=(const LanguageDB_C&) = delete;

    // Opens the file and reads its prefix and every header; resource blocks
    // are read on first use. False for a missing file, a wrong magic, a short
    // prefix, a broken header or a header chain that returns to a header read
    // before; LastLoadError then says which.
    bool Load(const char* path);
    // The same for a file opened by the caller (one in memory, say), which the
    // database then owns; false at once when `file` is null or not open.
    bool Load(std::unique_ptr<File_C> file);
    // Why the file could not be read: set by every Load (NONE when it
    // succeeds) and by a resource block that fails to load afterwards
    // (BLOCK_DAMAGED, naming the language), which later successes leave as it is.
    const LoadError& LastLoadError() const { return loadError; }
    // The languages of the file last loaded or stored, in the order of its
    // header chain; a language listed twice stands where its last header is.
    const std::vector<Language_C>& LanguagesInFileOrder() const { return fileOrder; }
    // Writes every language (those of the open file are read first), then
    // reopens the path for reading.
    bool Store(const char* path);
    bool OpenForRead(const char* path);
    bool Unload();
    // Finds the language in memory, or loads its block from the file. No
    // fallback: exact four-field equality.
    bool GetResourceDB(Language_C language, iterator& where);

    // Throws ResourceError(LANGUAGE_NOT_FOUND) when GetResourceDB fails.
    ResourceDB_C& operator[](const Language_C& language);
    // The nearest other language listed in the file, or the request itself.
    Language_C FindClosestLang(const Language_C& request);
    // Lookups with fallback to the closest languages; throw ResourceError of
    // the last language tried.
    LangRes_C& GetResource(const Language_C& language, const ResourceID_C& id);
    LangRes_C& GetFallbackResource(Language_C& language, const ResourceID_C& id);
    // The same lookup without an exception: null when no language on the way
    // holds the identifier, `missing` (when given) then set to the code
    // GetResource throws.
    LangRes_C* FindResource(const Language_C& language, const ResourceID_C& id,
                            int* missing = nullptr);

    bool AddResource(Language_C language, const ResourceID_C& id, const LangRes_C& value);
    bool AddString(Language_C language, const ResourceID_C& id, const std::string& text);

    // The same operations on g_ldbResources.
    static LangRes_C& GetGlobalResource(const Language_C& language, const ResourceID_C& id);
    static bool AddGlobalResource(Language_C language, const ResourceID_C& id,
                                  const LangRes_C& value);
    static bool AddGlobalString(Language_C language, const ResourceID_C& id,
                                const std::string& text);
    static bool LoadGlobalDatabase(const char* path);
    static bool StoreGlobalDatabase(const char* path);
    static bool UnloadGlobalDatabase();

    ResourceMap resources;           // languages in memory
    std::unique_ptr<File_C> file_P;  // null when there is no file
    HeaderMap headers;               // languages listed in the open file

  private:
    void ReleaseFile();
    bool Refuse(LoadError::Code code, const std::string& message);

    std::vector<Language_C> fileOrder;
    LoadError loadError;
};

extern LanguageDB_C g_ldbResources;

#endif
