// The commands of the resdb tool, which builds resource databases from gettext
// PO files and shows or unpacks existing ones. Every command writes its
// messages, prefixed "resdb: ", to `err` and returns the process exit status.
#ifndef STAGE3_TOOLS_RESDB_COMMANDS_H
#define STAGE3_TOOLS_RESDB_COMMANDS_H

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

class Language_C;
class LanguageDB_C;

enum ResdbExitStatus { RESDB_OK = 0, RESDB_FAILED = 1, RESDB_USAGE = 2 };

// Dispatches `args` (without the program name) to a command; wrong arguments
// print the usage text and give RESDB_USAGE.
int runResdb(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Resource identifiers from `first` to `last`, both included.
struct IdRange {
    std::uint32_t first;
    std::uint32_t last;
};

// Parses "FIRST-LAST": two identifiers as parseResourceId takes them, the
// first not above the second.
bool parseIdRange(const std::string& text, IdRange& range);

// Builds `output` from the PO files. Nothing is written unless every file is
// sound; the database is written under a temporary name next to `output` and
// renamed into place only when complete. With ranges in `keep`, only the
// resources inside one of them are written; every language stays, empty if
// none of its resources is kept.
int buildDatabase(const std::string& output, const std::vector<std::string>& poFiles,
                  std::ostream& err, const std::vector<IdRange>& keep = {});

// Writes one LL_RR.po file per language of `database` into `directory`
// (created if missing). msgid is the en_US value of the same identifier when
// en_US has one that PO can hold, else the value itself. When any value or
// language cannot be expressed in PO, every such case is reported and no file
// is written.
int dumpDatabase(const std::string& database, const std::string& directory, std::ostream& err);

// One line per language in file order: the tag, a tab, the number of resources.
int listDatabase(const std::string& database, std::ostream& out, std::ostream& err);

// Writes the bytes of resource `id` for language `tag` ("fr_CA") to `out`,
// falling back to the closest language that has it.
int getResource(const std::string& database, const std::string& tag, const std::string& id,
                std::ostream& out, std::ostream& err);

// Loads `path` and every resource block in it. On failure `error` is the path
// and the reason the database gives (LanguageDB_C::LastLoadError): the file
// cannot be opened, its magic is wrong, its header or a language header is
// truncated or damaged, or the resource block of a named language is damaged.
// `fileOrder`, when given, receives the languages in the order of the file's
// header chain.
bool openDatabase(const std::string& path, LanguageDB_C& db, std::vector<Language_C>* fileOrder,
                  std::string& error);

// "de_DE" for a language, as Language_C::Tag names it: unusual bytes are shown
// as \xHH, and non-zero variant numbers are appended as "@variant.subVariant".
std::string languageTag(const Language_C& language);

#endif
