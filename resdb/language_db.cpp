#include "resdb/language_db.h"

#include <cstring>
#include <set>
#include <utility>

LanguageDB_C g_ldbResources;

namespace {

const unsigned char kMagic[4] = {0x00, 0x00, 0x00, 0x01};
const unsigned long long kMinRecordSize = 8;  // identifier and length, empty value

bool readOffset(File_C* file, unsigned long long& value) {
    unsigned long long raw;
    if (file->Read(&raw, 8) != 8)
        return false;
    value = ToHostByteOrder(raw);
    return true;
}

bool writeOffset(File_C* file, unsigned long long value) {
    unsigned long long raw = ToHostByteOrder(value);
    return file->Write(&raw, 8) == 8;
}

bool writeCount(File_C* file, std::size_t count) {
    unsigned int raw = ToHostByteOrder(static_cast<unsigned int>(count));
    return file->Write(&raw, 4) == 4;
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
    unsigned long long next;
    unsigned long long block;
    if (!readOffset(file, next) || !readOffset(file, block))
        return false;
    if (!lang.Load(file))
        return false;
    nextHeaderPos = next;
    resourcePos = block;
    return true;
}

bool LanguageHeader_C::Store(File_C* file) const {
    return writeOffset(file, nextHeaderPos) && writeOffset(file, resourcePos) && lang.Store(file);
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
    unsigned int raw;
    if (remaining < 4 || file->Read(&raw, 4) != 4) {
        entries.clear();
        return false;
    }
    remaining -= 4;
    unsigned int count = ToHostByteOrder(raw);
    // Every record takes at least 8 bytes: a count the file cannot hold is
    // refused before any record is read.
    if (count > remaining / kMinRecordSize) {
        entries.clear();
        return false;
    }
    for (unsigned int i = 0; i < count; ++i) {
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
    if (!writeCount(file, entries.size()))
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

LanguageDB_C::LanguageDB_C() : file_P(nullptr) {}

LanguageDB_C::~LanguageDB_C() { ReleaseFile(); }

void LanguageDB_C::ReleaseFile() {
    delete file_P;
    file_P = nullptr;
}

bool LanguageDB_C::OpenForRead(const char* path) {
    ReleaseFile();
    file_P = File_C::Alloc();
    if (file_P == nullptr)
        return false;
    return file_P->Open(path, File_C::DOESNT_EXIST_FAIL, File_C::EXISTS_OPEN, File_C::ACCESS_READ,
                        File_C::SHARE_READ);
}

bool LanguageDB_C::Load(const char* path) {
    headers.clear();
    resources.clear();
    if (!OpenForRead(path))
        return false;

    unsigned char magic[4];
    unsigned int rawCount;
    if (file_P->Read(magic, 4) != 4 || std::memcmp(magic, kMagic, 4) != 0 ||
        file_P->Read(&rawCount, 4) != 4) {
        ReleaseFile();
        return false;
    }
    const unsigned int count = ToHostByteOrder(rawCount);

    // Headers live at distinct offsets inside the file, so refusing an offset
    // read before also bounds the loop by the file's size.
    std::set<unsigned long long> visited;
    LanguageHeader_C previous;
    for (unsigned int i = 0; i < count; ++i) {
        LanguageHeader_C header;
        if (!header.Load(file_P, i == 0 ? nullptr : &previous) ||
            !visited.insert(header.headerPos).second) {
            ReleaseFile();
            return false;
        }
        headers[header.lang] = header;
        previous = header;
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
    if (file_P->SeekBegin(blockPos) != blockPos || end < blockPos)
        return false;
    ResourceDB_C loaded;
    if (!loaded.Load(file_P, end - blockPos))
        return false;
    where = resources.emplace(header->first, std::move(loaded)).first;
    return true;
}

bool LanguageDB_C::Store(const char* path) {
    if (file_P != nullptr) {
        for (const auto& header : headers) {
            iterator where;
            if (!GetResourceDB(header.first, where)) {
                ReleaseFile();
                return false;
            }
        }
        file_P->Close();
    } else {
        file_P = File_C::Alloc();
        if (file_P == nullptr)
            return false;
    }

    if (!file_P->Open(path, File_C::DOESNT_EXIST_CREATE, File_C::EXISTS_TRUNCATE,
                      File_C::ACCESS_READ_WRITE, File_C::SHARE_NONE) ||
        file_P->Write(kMagic, 4) != 4 || !writeCount(file_P, resources.size())) {
        ReleaseFile();
        return false;
    }

    // Each header is written as a placeholder first and rewritten once the
    // position of the next header is known.
    LanguageHeader_C previous;
    bool first = true;
    for (const auto& language : resources) {
        LanguageHeader_C header;
        header.lang = language.first;
        header.lang.Restore();
        header.headerPos = file_P->Peek();
        if (header.headerPos == 0) {
            ReleaseFile();
            return false;
        }
        if (!first) {
            previous.nextHeaderPos = header.headerPos;
            if (file_P->SeekBegin(previous.headerPos) != previous.headerPos ||
                !previous.Store(file_P) ||
                file_P->SeekBegin(header.headerPos) != header.headerPos) {
                ReleaseFile();
                return false;
            }
            headers[previous.lang] = previous;
        }
        if (!header.Store(file_P)) {
            ReleaseFile();
            return false;
        }
        header.resourcePos = file_P->Peek();
        if (header.resourcePos == 0 || !language.second.Store(file_P)) {
            ReleaseFile();
            return false;
        }
        previous = header;
        first = false;
    }
    if (!first) {
        if (file_P->SeekBegin(previous.headerPos) != previous.headerPos ||
            !previous.Store(file_P)) {
            ReleaseFile();
            return false;
        }
        headers[previous.lang] = previous;
    }
    ReleaseFile();
    return OpenForRead(path);
}

bool LanguageDB_C::Unload() {
    ReleaseFile();
    for (auto& language : resources)
        language.second.Unload();
    headers.clear();
    resources.clear();
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

namespace {

bool fallsBack(const ResourceError& error) {
    return error.code == ResourceError::RESOURCE_NOT_FOUND ||
           error.code == ResourceError::LANGUAGE_NOT_FOUND;
}

}  // namespace

LangRes_C& LanguageDB_C::GetResource(const Language_C& language, const ResourceID_C& id) {
    try {
        return (*this)[language][id];
    } catch (const ResourceError& error) {
        if (!fallsBack(error))
            throw;
    }
    Language_C copy = language;
    return GetFallbackResource(copy, id);
}

// Walks from the language to its closest language until one holds the
// identifier. Ends with the error of the last language tried: at the default
// language, when no closer language exists, or when the walk comes back to a
// language already tried (two languages that are each other's closest).
LangRes_C& LanguageDB_C::GetFallbackResource(Language_C& language, const ResourceID_C& id) {
    const Language_C defaultLanguage;
    std::set<Language_C> tried;
    Language_C current = language;
    for (;;) {
        ResourceError error(0);
        try {
            return (*this)[current][id];
        } catch (const ResourceError& caught) {
            if (!fallsBack(caught))
                throw;
            error = caught;
        }
        if (current == defaultLanguage)
            throw error;
        tried.insert(current);
        Language_C closest = FindClosestLang(current);
        if (closest == current || tried.count(closest) != 0)
            throw error;
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

bool LanguageDB_C::AddString(Language_C language, const ResourceID_C& id,
                             const std::string& text) {
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

bool LanguageDB_C::LoadGlobalDatabase(const char* path) { return g_ldbResources.Load(path); }

bool LanguageDB_C::StoreGlobalDatabase(const char* path) { return g_ldbResources.Store(path); }

bool LanguageDB_C::UnloadGlobalDatabase() { return g_ldbResources.Unload(); }
