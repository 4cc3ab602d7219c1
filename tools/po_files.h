// Reading and writing the gettext PO files from which resource databases are
// built. One PO file holds one language and is named LL_RR.po after it; each
// entry's msgctxt is the decimal resource identifier and its msgstr the UTF-8
// value. msgid is free text for the translator.
#ifndef STAGE3_TOOLS_PO_FILES_H
#define STAGE3_TOOLS_PO_FILES_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The values one PO file contributes to a database.
struct PoCatalog {
    std::string language;                         // "de"
    std::string region;                           // "DE", "419"
    std::map<std::uint32_t, std::string> values;  // identifier -> value bytes
};

// Splits the base name of `path` ("po/de_DE.po") into language and region.
// Accepted: two lower-case ASCII letters, '_', then two or three upper-case
// ASCII letters or digits, then ".po". Returns false with a reason otherwise.
bool parseCatalogFileName(const std::string& path, std::string& language, std::string& region,
                          std::string& error);

// Checks a language tag "LL_RR" by the same rules as the file name.
bool parseLanguageTag(const std::string& tag, std::string& language, std::string& region);

// Parses a resource identifier: decimal digits only, 0 to 4294967295.
bool parseResourceId(const char* text, std::uint32_t& id);

// True when `bytes` is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool isValidUtf8(const std::string& bytes);

// Reads one PO file into `catalog` (language and region from the file name).
// Header, obsolete and fuzzy entries and entries with an empty msgstr are left
// out. Every problem found is appended to `errors` as "path:line: text" (or
// "path: text" when no line applies); the result is true only when there was
// none, and `catalog` is then complete. The library's warnings go to
// `warnings` when given.
bool readPoCatalog(const std::string& path, PoCatalog& catalog, std::vector<std::string>& errors,
                   std::vector<std::string>* warnings = nullptr);

// Why `value` cannot be written as a PO msgstr that reads back to the same
// bytes; empty when it can. A PO string cannot carry a NUL byte nor gettext's
// context separator 0x04, an empty msgstr means "untranslated", and the
// files are declared UTF-8.
std::string poValueProblem(const std::string& value);

// One entry of a PO file to be written.
struct PoOutputEntry {
    std::uint32_t id;
    std::string msgid;
    std::string msgstr;
};

// `keyword` followed by `value` as a PO string, with C escapes; a value with
// line breaks before its end becomes a multi-line string, one line per "\n".
std::string formatPoString(const std::string& keyword, const std::string& value);

// The whole text of a PO file for the language tag `tag` ("de_DE"), with a
// UTF-8 header entry and the entries in the order given.
std::string formatPoCatalog(const std::string& tag, const std::vector<PoOutputEntry>& entries);

#endif
