#include "services/string_service.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "resdb/language_db.h"
#include "services/conversion.h"

namespace {

Language_C runLang;
const Language_C defaultLang;
int stringsInited = 0;

// Capacity kept by the result buffer, so that the pointer handed out stays
// the same from one call to the next for every text up to this size.
constexpr std::size_t kResultCapacity = 8192;

// Sets runLang from LANG of the form ll_R... (at least five characters, '_'
// third): language ll, region the next two or three characters as they stand.
void chooseRunLanguage() {
    const char* lang = std::getenv("LANG");
    if (lang != nullptr && std::strlen(lang) >= 5 && lang[2] == '_') {
        char language[3] = {0, 0, 0};
        char region[4] = {0, 0, 0, 0};
        std::sscanf(lang, "%c%c_%c%c%c", &language[0], &language[1], &region[0], &region[1],
                    &region[2]);
        runLang.SetLang(language, region, 0, 0);
    } else {
        runLang = defaultLang;
    }
}

}  // namespace

int stringInit() {
    try {
        if (!LanguageDB_C::LoadGlobalDatabase("setupresDB"))
            return 0;
        chooseRunLanguage();
    } catch (...) {
        return 0;
    }
    stringsInited = 1;
    return 1;
}

void stringUnInit() {
    LanguageDB_C::UnloadGlobalDatabase();
}

const char* getString(const ResourceID_C& id) {
    static const char emptyText[] = "";
    try {
        static std::string retVal = [] {
            std::string buffer;
            buffer.reserve(kResultCapacity);
            return buffer;
        }();
        if (stringsInited == 0)
            stringInit();

        std::string text = LanguageDB_C::GetGlobalResource(runLang, id).Data();
        if (UTF8toMbcs(text, retVal) != 0) {
            text = LanguageDB_C::GetGlobalResource(defaultLang, id).Data();
            UTF8toMbcs(text, retVal);
        }
        if (!retVal.empty())
            return retVal.c_str();
    } catch (...) {
    }
    return emptyText;
}

const Language_C& stringRunLanguage() {
    return runLang;
}
