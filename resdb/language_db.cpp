#include "resdb/language_db.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <set>
#include <utility>

#include "resdb/coding.h"

// process-wide: the one database of the program's texts, which every layer asks by id
// alone (through the string service).
LanguageDB_C g_ldbResources;

namespace {

const unsigned char kMagic[4] = {0x00, 0x00, 0x00, 0x01};
const unsigned long kFileHeaderSize = 8;      // magic, language count
const unsigned long long kMinRecordSize = 8;  // identifier and length, empty value
// Far above any real database: a name that stands for an endless or huge file is
// refused before anything is read.
const unsigned long long kMaxFileSize = 128 * 1024 * 1024;

// Reads the magic and the language count at the start of the file.
LoadError readFileHeader(File_C* file, std::uint32_t& count) {
    unsigned char bytes[kFileHeaderSize];
    unsigned long got = file->Read(bytes, 4);
    if (got == 4 && std::memcmp(bytes, kMagic, 4) != 0)
        return LoadError(LoadError::WRONG_MAGIC, "wrong magic: not a resource database");
    if (got == 4)
        got += file->Read(bytes + 4, 4);
    if (got != kFileHeaderSize)
        return LoadError(LoadError::TRUNCATED, "truncated file header (" + std::to_string(got) +
                                                   " of " + std::to_string(kFileHeaderSize) +
                                                   " bytes)");
    count = DecodeFixed32(bytes + 4);
    return LoadError();
}

// Follows the chain of `count` headers from the current position into
// `headers`, a later header of a language replacing an earlier one; `order`
// receives the languages in chain order. On failure `headers` keeps the
// headers read before the broken one.
LoadError readHeaderChain(File_C* file, std::uint32_t count, LanguageDB_C::HeaderMap& headers,
                          std::vector<Language_C>& order) {
    // Headers live at distinct offsets inside the file, so refusing an offset
    // read before also bounds the loop by the file's size.
    std::set<unsigned long long> visited;
    std::vector<LanguageHeader_C> chain;
    for (std::uint32_t i = 0; i < count; ++i) {
        const LanguageHeader_C* previous = i == 0 ? nullptr : &chain.back();
        const unsigned long long offset = i == 0 ? kFileHeaderSize : previous->nextHeaderPos;
        auto which = [&] {
            return "language header " + std::to_string(i + 1) + " of " + std::to_string(count) +
                   " at offset " + std::to_string(offset);
        };
        LanguageHeader_C header;
        if (!header.Load(file, previous))
            return LoadError(LoadError::HEADER_DAMAGED, "truncated or damaged " + which() +
                                                            " (file size " +
                                                            std::to_string(file->SeekEnd(0)) + ")");
        if (!visited.insert(header.headerPos).second)
            return LoadError(LoadError::HEADER_CHAIN_LOOPS,
                             "damaged " + which() + ": the header chain loops");
        headers[header.lang] = header;
        chain.push_back(header);
    }
    // A language listed twice keeps the place of its last header.
    for (const LanguageHeader_C& header : chain) {
        if (headers.find(header.lang)->second.headerPos == header.headerPos)
            order.push_back(header.lang);
    }
    return LoadError();
}

// Writes the file header and every language of `resources` as a header and its
// block, recording each header written in `headers`.
bool writeSections(File_C* file, const LanguageDB_C::ResourceMap& resources,
                   LanguageDB_C::HeaderMap& headers) {
    if (file->Write(kMagic, 4) != 4 ||
        !WriteFixed32(file, static_cast<std::uint32_t>(resources.size())))
        return false;

    // Each header is written as a placeholder first and rewritten once the
    // position of the next header is known.
    LanguageHeader_C previous;
    bool first = true;
    for (const auto& language : resources) {
        LanguageHeader_C header;
        header.lang = language.first;
        header.lang.Restore();
        header.headerPos = file->Peek();
        if (header.headerPos == 0)
            return false;
        if (!first) {
            previous.nextHeaderPos = header.headerPos;
            if (file->SeekBegin(previous.headerPos) != previous.headerPos ||
                !previous.Store(file) || file->SeekBegin(header.headerPos) != header.headerPos)
                return false;
            headers[previous.lang] = previous;
        }
        if (!header.Store(file))
            return false;
        header.resourcePos = file->Peek();
        if (header.resourcePos == 0 || !language.second.Store(file))
            return false;
        previous = header;
        first = false;
    }
    if (!first) {
        if (file->SeekBegin(previous.headerPos) != previous.headerPos || !previous.Store(file))
            return false;
        headers[previous.lang] = previous;
    }
    return true;
}

}  // namespace

// ---------------------------------------------------------------- LanguageHeader_C

LanguageHeader_C::LanguageHeader_C() : nextHeaderPos(0), resourcePos(0), headerPos(0) {}

bool LanguageHeader_C::Load(File_C* file, const LanguageHeader_C* previous) {
    if (previous != nullptr) {
        headerPos = previous->nextHeaderPos;
        if (file->SeekBegin(headerPos) != headerPos)
            return false;
    } else {
        headerPos = file->Peek();
    }
    std::uint64_t next;
    std::uint64_t block;
    if (!ReadFixed64(file, next) || !ReadFixed64(file, block))
        return false;
    if (!lang.Load(file))
        return false;
    nextHeaderPos = next;
    resourcePos = block;
    return true;
}

bool LanguageHeader_C::Store(File_C* file) const {
    return WriteFixed64(file, nextHeaderPos) && WriteFixed64(file, resourcePos) && lang.Store(file);
}

// ---------------------------------------------------------------- ResourceDB_C

LangRes_C& ResourceDB_C::operator[](const ResourceID_C& id) {
    EntryMap::iterator found = entries.find(id);
    if (found == entries.end())
        throw ResourceError(ResourceError::RESOURCE_NOT_FOUND);
    return found->second;
}

const LangRes_C& ResourceDB_C::operator[](const ResourceID_C& id) const {
    EntryMap::const_iterator found = entries.find(id);
    if (found == entries.end())
        throw ResourceError(ResourceError::RESOURCE_NOT_FOUND);
    return found->second;
}

bool ResourceDB_C::AddResource(const ResourceID_C& id, const LangRes_C& value) {
    entries[id] = value;
    return true;
}

bool ResourceDB_C::AddString(const ResourceID_C& id, const std::string& text) {
    LangRes_C value;
    value = text.c_str();
    entries[id] = value;
    return true;
}

bool ResourceDB_C::Load(File_C* file) {
    unsigned long long here = file->Peek();
    unsigned long long end = file->SeekEnd(0);
    if (file->SeekBegin(here) != here || end < here) {
        entries.clear();
        return false;
    }
    return Load(file, end - here);
}

bool ResourceDB_C::Load(File_C* file, unsigned long long remaining) {
    std::uint32_t count;
    if (remaining < 4 || !ReadFixed32(file, count)) {
        entries.clear();
        return false;
    }
    remaining -= 4;
    // Every record takes at least 8 bytes: a count the file cannot hold is
    // refused before any record is read.
    if (count > remaining / kMinRecordSize) {
        entries.clear();
        return false;
    }
    for (std::uint32_t i = 0; i < count; ++i) {
        ResourceID_C id;
        LangRes_C value;
        if (remaining < kMinRecordSize || !id.Load(file) || !value.Load(file, remaining - 4)) {
            entries.clear();
            return false;
        }
        remaining -= kMinRecordSize + value.Size();
        entries[id] = value;
    }
    return true;
}

bool ResourceDB_C::Store(File_C* file) const {
    if (!WriteFixed32(file, static_cast<std::uint32_t>(entries.size())))
        return false;
    for (const auto& entry : entries) {
        if (!entry.first.Store(file) || !entry.second.Store(file))
            return false;
    }
    return true;
}

bool ResourceDB_C::Unload() {
    entries.clear();
    return true;
}

// ---------------------------------------------------------------- LanguageDB_C: file

LanguageDB_C::LanguageDB_C() = default;

LanguageDB_C::~LanguageDB_C() = default;

void LanguageDB_C::ReleaseFile() {
    file_P.reset();
}

bool LanguageDB_C::Refuse(LoadError::Code code, const std::string& message) {
    loadError = LoadError(code, message);
    return false;
}

bool LanguageDB_C::OpenForRead(const char* path) {
    ReleaseFile();
    file_P.reset(File_C::Alloc());
    if (file_P == nullptr)
        return false;
    return file_P->Open(path, File_C::DOESNT_EXIST_FAIL, File_C::EXISTS_OPEN, File_C::ACCESS_READ,
                        File_C::SHARE_READ);
}

bool LanguageDB_C::Load(const char* path) {
    ReleaseFile();
    errno = 0;
    std::unique_ptr<File_C> file(File_C::Alloc());
    if (file != nullptr && file->OpenRead(path))
        return Load(std::move(file));
    const int openErrno = errno;
    Load(std::unique_ptr<File_C>());  // forgets the database read before
    const std::string why = File_C::WhyNotOpened(path, openErrno);
    return Refuse(LoadError::CANNOT_OPEN, why.empty() ? "cannot open" : "cannot open: " + why);
}

bool LanguageDB_C::Load(std::unique_ptr<File_C> file) {
    headers.clear();
    resources.clear();
    fileOrder.clear();
    loadError = LoadError();
    file_P = std::move(file);
    if (file_P == nullptr || !file_P->IsOpen()) {
        ReleaseFile();
        return Refuse(LoadError::CANNOT_OPEN, "cannot open");
    }
    // Files that report no size (/proc/kmsg and its kind) are never read: reading some
    // of them takes what they hold away from others.
    const unsigned long long size = file_P->SeekEnd(0);
    if (size > kMaxFileSize) {
        ReleaseFile();
        return Refuse(LoadError::TOO_LARGE, "larger than " + std::to_string(kMaxFileSize) +
                                                " bytes (file size " + std::to_string(size) + ")");
    }
    if (size == 0) {
        ReleaseFile();
        return Refuse(LoadError::TRUNCATED,
                      "truncated file header (0 of " + std::to_string(kFileHeaderSize) + " bytes)");
    }
    file_P->SeekBegin(0);
    std::uint32_t count = 0;
    loadError = readFileHeader(file_P.get(), count);
    if (loadError.code == LoadError::NONE)
        loadError = readHeaderChain(file_P.get(), count, headers, fileOrder);
    if (loadError.code != LoadError::NONE) {
        ReleaseFile();
        return false;
    }
    return true;
}

bool LanguageDB_C::GetResourceDB(Language_C language, iterator& where) {
    where = resources.find(language);
    if (where != resources.end())
        return true;
    HeaderMap::const_iterator header = headers.find(language);
    if (header == headers.end() || file_P == nullptr)
        return false;

    const unsigned long long blockPos = header->second.resourcePos;
    const unsigned long long end = file_P->SeekEnd(0);
    ResourceDB_C loaded;
    if (file_P->SeekBegin(blockPos) != blockPos || end < blockPos ||
        !loaded.Load(file_P.get(), end - blockPos))
        return Refuse(LoadError::BLOCK_DAMAGED,
                      "damaged resource block of language " + header->first.Tag());
    where = resources.emplace(header->first, std::move(loaded)).first;
    return true;
}

bool LanguageDB_C::Store(const char* path) {
    // The languages still only in the open file are read in before anything
    // is written, since the path may name that same file.
    bool complete = true;
    if (file_P != nullptr) {
        for (const auto& header : headers) {
            iterator where;
            if (!GetResourceDB(header.first, where)) {
                complete = false;
                break;
            }
        }
    }
    ReleaseFile();
    fileOrder.clear();
    if (!complete)
        return false;

    {
        // Closed when it goes, whichever write fails.
        std::unique_ptr<File_C> file(File_C::Alloc());
        if (file == nullptr ||
            !file->Open(path, File_C::DOESNT_EXIST_CREATE, File_C::EXISTS_TRUNCATE,
                        File_C::ACCESS_READ_WRITE, File_C::SHARE_NONE) ||
            !writeSections(file.get(), resources, headers))
            return false;
    }
    for (const auto& language : resources) {
        fileOrder.push_back(language.first);
        fileOrder.back().Restore();
    }
    return OpenForRead(path);
}

bool LanguageDB_C::Unload() {
    ReleaseFile();
    for (auto& language : resources) language.second.Unload();
    headers.clear();
    resources.clear();
    fileOrder.clear();
    return true;
}

// ---------------------------------------------------------------- LanguageDB_C: lookups

ResourceDB_C& LanguageDB_C::operator[](const Language_C& language) {
    iterator where;
    if (!GetResourceDB(language, where))
        throw ResourceError(ResourceError::LANGUAGE_NOT_FOUND);
    return where->second;
}

Language_C LanguageDB_C::FindClosestLang(const Language_C& request) {
    Language_C working = request;
    while (working.Fallback()) {
        for (const auto& header : headers) {
            Language_C candidate = header.second.lang;
            candidate.Restore();
            if (working.DegradedMatch(candidate) && !(working == candidate))
                return candidate;
        }
    }
    return request;
}

LangRes_C& LanguageDB_C::GetResource(const Language_C& language, const ResourceID_C& id) {
    int missing = 0;
    if (LangRes_C* found = FindResource(language, id, &missing))
        return *found;
    throw ResourceError(missing);
}

LangRes_C& LanguageDB_C::GetFallbackResource(Language_C& language, const ResourceID_C& id) {
    return GetResource(language, id);
}

// Walks from the language to its closest language until one holds the
// identifier. Ends with the error of the last language tried: at the default
// language, when no closer language exists, or when the walk comes back to a
// language already tried (two languages that are each other's closest). No
// exception on the way: a missing text is an everyday answer (the built-in
// texts stand in for a medium's database that lacks them).
LangRes_C* LanguageDB_C::FindResource(const Language_C& language, const ResourceID_C& id,
                                      int* missing) {
    const Language_C defaultLanguage;
    std::set<Language_C> tried;
    Language_C current = language;
    for (;;) {
        int code = ResourceError::LANGUAGE_NOT_FOUND;
        iterator where;
        if (GetResourceDB(current, where)) {
            ResourceDB_C::EntryMap::iterator found = where->second.entries.find(id);
            if (found != where->second.entries.end())
                return &found->second;
            code = ResourceError::RESOURCE_NOT_FOUND;
        }
        Language_C closest = current;
        if (!(current == defaultLanguage)) {
            tried.insert(current);
            closest = FindClosestLang(current);
        }
        if (closest == current || tried.count(closest) != 0) {
            if (missing)
                *missing = code;
            return nullptr;
        }
        current = closest;
    }
}

bool LanguageDB_C::AddResource(Language_C language, const ResourceID_C& id,
                               const LangRes_C& value) {
    iterator where;
    if (!GetResourceDB(language, where)) {
        language.Restore();
        where = resources.emplace(language, ResourceDB_C()).first;
    }
    return where->second.AddResource(id, value);
}

bool LanguageDB_C::AddString(Language_C language, const ResourceID_C& id, const std::string& text) {
    iterator where;
    if (!GetResourceDB(language, where)) {
        language.Restore();
        where = resources.emplace(language, ResourceDB_C()).first;
    }
    return where->second.AddString(id, text);
}

// ---------------------------------------------------------------- the global database

LangRes_C& LanguageDB_C::GetGlobalResource(const Language_C& language, const ResourceID_C& id) {
    return g_ldbResources.GetResource(language, id);
}

bool LanguageDB_C::AddGlobalResource(Language_C language, const ResourceID_C& id,
                                     const LangRes_C& value) {
    return g_ldbResources.AddResource(language, id, value);
}

bool LanguageDB_C::AddGlobalString(Language_C language, const ResourceID_C& id,
                                   const std::string& text) {
    return g_ldbResources.AddString(language, id, text);
}

bool LanguageDB_C::LoadGlobalDatabase(const char* path) {
    return g_ldbResources.Load(path);
}

bool LanguageDB_C::StoreGlobalDatabase(const char* path) {
    return g_ldbResources.Store(path);
}

bool LanguageDB_C::UnloadGlobalDatabase() {
    return g_ldbResources.Unload();
}
