#include "services/string_service.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "resdb/language_db.h"
#include "resdb/memory_file.h"
#include "services/conversion.h"

namespace {

const Language_C defaultLang;

// The built-in texts once read. The database's file lives on the disk beside it,
// which therefore goes last.
struct BuiltInTexts {
    MemoryDisk disk;
    LanguageDB_C db;
    bool readable = false;
};

// Capacity kept by the result buffer, so that the pointer handed out stays
// the same from one call to the next for every text up to this size.
constexpr std::size_t kResultCapacity = 8192;

// The texts of the run: the database's language, whether it is loaded, the built-in
// texts, and the one result buffer of getString and getBuiltInString.
struct TextService {
    TextService() { result.reserve(kResultCapacity); }

    Language_C runLang;
    int stringsInited = 0;
    bool databaseLoaded = false;
    const unsigned char* builtInImage = nullptr;
    std::size_t builtInSize = 0;
    std::unique_ptr<BuiltInTexts> builtIn;
    std::string result;
};

// process-wide: every layer asks for its texts by id alone (getString), as the
// resource database's global database answers them, without a handle to pass down.
TextService service;

// Sets service.runLang from LANG of the form ll_R... (at least five characters, '_'
// third): language ll, region the next two or three characters as they stand.
void chooseRunLanguage() {
    const char* lang = std::getenv("LANG");
    if (lang != nullptr && std::strlen(lang) >= 5 && lang[2] == '_') {
        char language[3] = {0, 0, 0};
        char region[4] = {0, 0, 0, 0};
        std::sscanf(lang, "%c%c_%c%c%c", &language[0], &language[1], &region[0], &region[1],
                    &region[2]);
        service.runLang.SetLang(language, region, 0, 0);
    } else {
        service.runLang = defaultLang;
    }
}

// The built-in texts, read from their image on first use; null without an
// image or when it cannot be read.
LanguageDB_C* builtInDatabase() {
    if (service.builtInImage == nullptr)
        return nullptr;
    if (!service.builtIn) {
        service.builtIn = std::make_unique<BuiltInTexts>();
        const char* const name = "built-in texts";
        service.builtIn->disk.files[name].assign(
            reinterpret_cast<const char*>(service.builtInImage), service.builtInSize);
        std::unique_ptr<File_C> file = std::make_unique<MemoryFile_C>(service.builtIn->disk);
        service.builtIn->readable =
            file->OpenRead(name) && service.builtIn->db.Load(std::move(file));
    }
    return service.builtIn->readable ? &service.builtIn->db : nullptr;
}

// Puts the text of `id` from `db` into `result` in the locale encoding: that of
// the run language or its closest relative, or the default language's when the
// locale cannot represent it. False when `db` has no text of `id` for the run
// language; throws ResourceError when only the default language's is missing.
bool findText(LanguageDB_C& db, const ResourceID_C& id, std::string& result) {
    std::string text;
    try {
        text = db.GetResource(service.runLang, id).Data();
    } catch (const ResourceError&) {
        return false;
    }
    if (UTF8toMbcs(text, result) != 0) {
        text = db.GetResource(defaultLang, id).Data();
        UTF8toMbcs(text, result);
    }
    return true;
}

}  // namespace

void stringUseBuiltInTexts(const unsigned char* image, std::size_t size) {
    service.builtInImage = image;
    service.builtInSize = size;
    service.builtIn.reset();
}

int stringInit() {
    service.databaseLoaded = false;
    try {
        if (!LanguageDB_C::LoadGlobalDatabase("setupresDB"))
            return 0;
        chooseRunLanguage();
    } catch (...) {
        return 0;
    }
    service.stringsInited = 1;
    service.databaseLoaded = true;
    return 1;
}

void stringUnInit() {
    service.databaseLoaded = false;
    LanguageDB_C::UnloadGlobalDatabase();
}

// The one result buffer of getString and getBuiltInString.
static std::string& resultBuffer() {
    return service.result;
}

const char* getString(const ResourceID_C& id) {
    static const char emptyText[] = "";
    try {
        std::string& retVal = resultBuffer();
        if (service.stringsInited == 0)
            stringInit();

        bool found = findText(g_ldbResources, id, retVal);
        if (!found && service.databaseLoaded) {
            LanguageDB_C* builtInTexts = builtInDatabase();
            found = builtInTexts != nullptr && findText(*builtInTexts, id, retVal);
        }
        if (found && !retVal.empty())
            return retVal.c_str();
    } catch (...) {
    }
    return emptyText;
}

const char* getBuiltInString(const ResourceID_C& id) {
    static const char emptyText[] = "";
    try {
        if (service.stringsInited == 0)
            chooseRunLanguage();
        std::string& retVal = resultBuffer();
        LanguageDB_C* builtInTexts = builtInDatabase();
        if (builtInTexts != nullptr && findText(*builtInTexts, id, retVal) && !retVal.empty())
            return retVal.c_str();
    } catch (...) {
    }
    return emptyText;
}

const Language_C& stringRunLanguage() {
    return service.runLang;
}
