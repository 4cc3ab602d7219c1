#include "tools/po_files.h"

#include <gettext-po.h>

#include <cerrno>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <type_traits>

#include "services/files.h"

namespace {

bool isLower(char c) {
    return c >= 'a' && c <= 'z';
}
bool isUpperOrDigit(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

std::string baseName(const std::string& path) {
    std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string located(const std::string& path, std::size_t line, const std::string& text) {
    if (line == 0) {
        return path + ": " + text;
    }
    return path + ":" + std::to_string(line) + ": " + text;
}

// ---------------------------------------------------------------------------
// Positions of entries. libgettextpo hands out messages without the line they
// were read from, so the source is scanned once more with a tokenizer that
// knows comments and strings: every non-obsolete entry has exactly one msgid
// keyword, optionally preceded by msgctxt, in the same order as the messages
// the library returns. The scan also finds \0 escapes, which the library
// silently turns into the end of the string.

struct PoScan {
    std::vector<std::size_t> entryLines;     // msgctxt line, or msgid line without one
    std::vector<std::string> entryContexts;  // raw text of each entry's msgctxt strings
    std::vector<std::size_t> nulLines;       // lines with a string escape that yields NUL
};

bool isOctal(char c) {
    return c >= '0' && c <= '7';
}
bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}
bool isWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '[' || c == ']';
}

PoScan scanPoText(const std::string& text) {
    PoScan scan;
    std::size_t line = 1;
    std::size_t pendingContextLine = 0;
    std::string pendingContext;
    bool inContext = false;
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        char c = text[i];
        if (c == '\n') {
            ++line;
            ++i;
        } else if (c == '#') {
            while (i < n && text[i] != '\n') {
                ++i;
            }
        } else if (c == '"') {
            const std::size_t start = ++i;
            while (i < n && text[i] != '"' && text[i] != '\n') {
                if (text[i] != '\\' || i + 1 >= n) {
                    ++i;
                    continue;
                }
                ++i;  // the backslash
                if (isOctal(text[i])) {
                    bool zero = true;
                    for (int k = 0; k < 3 && i < n && isOctal(text[i]); ++k, ++i) {
                        zero = zero && text[i] == '0';
                    }
                    if (zero) {
                        scan.nulLines.push_back(line);
                    }
                } else if (text[i] == 'x' && i + 1 < n && isHex(text[i + 1])) {
                    bool zero = true;
                    for (++i; i < n && isHex(text[i]); ++i) {
                        zero = zero && text[i] == '0';
                    }
                    if (zero) {
                        scan.nulLines.push_back(line);
                    }
                } else if (text[i] != '\n') {
                    ++i;
                }
            }
            if (inContext) {
                pendingContext += text.substr(start, i - start);
            }
            if (i < n && text[i] == '"') {
                ++i;
            }
        } else if (isWordChar(c)) {
            std::size_t start = i;
            while (i < n && isWordChar(text[i])) {
                ++i;
            }
            std::string word = text.substr(start, i - start);
            inContext = word == "msgctxt";
            if (word == "msgctxt") {
                pendingContextLine = line;
                pendingContext.clear();
            } else if (word == "msgid") {
                scan.entryLines.push_back(pendingContextLine ? pendingContextLine : line);
                scan.entryContexts.push_back(pendingContextLine ? pendingContext : "");
                pendingContextLine = 0;
            }
        } else {
            ++i;
        }
    }
    return scan;
}

// ---------------------------------------------------------------------------
// libgettextpo reports problems through a handler without a user pointer; the
// one read in progress is remembered here (the tool is single-threaded).

struct ReadContext {
    std::vector<std::string>* errors;
    std::vector<std::string>* warnings;
    std::jmp_buf fatal;
};
ReadContext* g_readContext = nullptr;

std::string handlerText(const char* filename, std::size_t lineno, const char* text) {
    std::string message = text ? text : "unknown problem";
    while (!message.empty() && message.back() == '\n') {
        message.pop_back();
    }
    if (!filename) {
        return message;
    }
    std::size_t line = lineno == static_cast<std::size_t>(-1) ? 0 : lineno;
    return located(filename, line, message);
}

void recordProblem(int severity, const std::string& text) {
    if (severity == PO_SEVERITY_WARNING) {
        if (g_readContext->warnings) {
            g_readContext->warnings->push_back(text);
        }
        return;
    }
    g_readContext->errors->push_back(text);
    if (severity == PO_SEVERITY_FATAL_ERROR) {
        // The library requires that a fatal handler does not return. Only C
        // frames of the library lie between here and the setjmp.
        std::longjmp(g_readContext->fatal, 1);
    }
}

void onPoError(int severity, po_message_t, const char* filename, std::size_t lineno, std::size_t,
               int, const char* text) {
    recordProblem(severity, handlerText(filename, lineno, text));
}

void onPoError2(int severity, po_message_t, const char* filename1, std::size_t lineno1, std::size_t,
                int, const char* text1, po_message_t, const char* filename2, std::size_t lineno2,
                std::size_t, int, const char* text2) {
    std::string text = handlerText(filename1, lineno1, text1);
    if (filename2 && lineno2 != 0 && lineno2 != static_cast<std::size_t>(-1)) {
        text += "; " + handlerText(filename2, lineno2, text2);
    }
    recordProblem(severity, text);
}

const po_xerror_handler kPoHandler = {onPoError, onPoError2};

// Calls po_file_read; null when the library gave up. Kept free of objects
// with destructors because a fatal error leaves it through longjmp.
po_file_t readWithHandler(const char* path, ReadContext* context) {
    g_readContext = context;
    if (setjmp(context->fatal) != 0) {
        g_readContext = nullptr;
        return nullptr;
    }
    po_file_t file = po_file_read(path, &kPoHandler);
    g_readContext = nullptr;
    return file;
}

struct PoFileCloser {
    void operator()(po_file_t file) const { po_file_free(file); }
};
struct PoIteratorCloser {
    void operator()(po_message_iterator_t iterator) const { po_message_iterator_free(iterator); }
};
// The library names a function after its iterator struct, so name the types
// through the handle typedefs.
using PoFilePtr = std::unique_ptr<std::remove_pointer_t<po_file_t>, PoFileCloser>;
using PoIteratorPtr =
    std::unique_ptr<std::remove_pointer_t<po_message_iterator_t>, PoIteratorCloser>;

std::string lowerAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return text;
}

// The charset named by a header entry's Content-Type, or "" when none is named.
// (The header is taken from the message itself: po_file_domain_header hands
// out a copy that its interface does not let the caller free.)
std::string declaredCharset(const char* header) {
    std::unique_ptr<char, decltype(&std::free)> field(po_header_field(header, "Content-Type"),
                                                      &std::free);
    if (!field) {
        return "";
    }
    std::string contentType = field.get();
    std::string::size_type at = lowerAscii(contentType).find("charset=");
    if (at == std::string::npos) {
        return "";
    }
    std::string::size_type start = at + 8;
    std::string::size_type end = contentType.find_first_of(" \t;\n", start);
    return contentType.substr(start, end == std::string::npos ? end : end - start);
}

bool charsetIsUtf8Compatible(const std::string& charset) {
    std::string name = lowerAscii(charset);
    // "CHARSET" is the placeholder of a fresh template.
    return name.empty() || name == "utf-8" || name == "utf8" || name == "ascii" ||
           name == "us-ascii" || name == "charset";
}

// A PO file larger than this makes no database a medium can carry (the database's own
// limit is 128 MiB).
const std::size_t PoFileLimit = 128 * 1024 * 1024;

std::string repeatedIdentifierText(std::uint32_t id, const std::string& path,
                                   std::size_t firstLine) {
    std::string first = firstLine ? path + ":" + std::to_string(firstLine) : "an earlier entry";
    return "resource identifier " + std::to_string(id) + " is defined twice; first definition at " +
           first;
}

void reportRepeatedIdentifiers(const std::string& path, const PoScan& scan,
                               std::vector<std::string>& errors) {
    std::map<std::uint32_t, std::size_t> firstLine;
    for (std::size_t i = 0; i < scan.entryContexts.size(); ++i) {
        std::uint32_t id;
        if (!parseResourceId(scan.entryContexts[i].c_str(), id)) {
            continue;  // escapes or no identifier: the library's own report stands
        }
        auto inserted = firstLine.emplace(id, scan.entryLines[i]);
        if (!inserted.second) {
            errors.push_back(located(path, scan.entryLines[i],
                                     repeatedIdentifierText(id, path, inserted.first->second)));
        }
    }
}

}  // namespace

bool parseLanguageTag(const std::string& tag, std::string& language, std::string& region) {
    if (tag.size() != 5 && tag.size() != 6) {
        return false;
    }
    if (!isLower(tag[0]) || !isLower(tag[1]) || tag[2] != '_') {
        return false;
    }
    for (std::size_t i = 3; i < tag.size(); ++i) {
        if (!isUpperOrDigit(tag[i])) {
            return false;
        }
    }
    language = tag.substr(0, 2);
    region = tag.substr(3);
    return true;
}

bool parseCatalogFileName(const std::string& path, std::string& language, std::string& region,
                          std::string& error) {
    std::string name = baseName(path);
    const std::string suffix = ".po";
    if (name.size() <= suffix.size() ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0 ||
        !parseLanguageTag(name.substr(0, name.size() - suffix.size()), language, region)) {
        error = path +
                ": file name must be LL_RR.po (two lower-case letters for the language, two or "
                "three upper-case letters or digits for the region, e.g. de_DE.po, es_419.po)";
        return false;
    }
    return true;
}

bool parseResourceId(const char* text, std::uint32_t& id) {
    if (!text || !*text) {
        return false;
    }
    std::uint64_t value = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') {
            return false;
        }
        value = value * 10 + static_cast<std::uint64_t>(*p - '0');
        if (value > 0xFFFFFFFFull) {
            return false;
        }
    }
    id = static_cast<std::uint32_t>(value);
    return true;
}

bool isValidUtf8(const std::string& bytes) {
    std::size_t i = 0;
    const std::size_t n = bytes.size();
    while (i < n) {
        unsigned char c = static_cast<unsigned char>(bytes[i]);
        std::size_t length;
        std::uint32_t point;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            length = 2;
            point = c & 0x1F;
        } else if (c >= 0xE0 && c <= 0xEF) {
            length = 3;
            point = c & 0x0F;
        } else if (c >= 0xF0 && c <= 0xF4) {
            length = 4;
            point = c & 0x07;
        } else {
            return false;
        }
        if (n - i < length) {
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            unsigned char next = static_cast<unsigned char>(bytes[i + k]);
            if ((next & 0xC0) != 0x80) {
                return false;
            }
            point = (point << 6) | (next & 0x3F);
        }
        if ((length == 3 && (point < 0x800 || (point >= 0xD800 && point <= 0xDFFF))) ||
            (length == 4 && (point < 0x10000 || point > 0x10FFFF))) {
            return false;
        }
        i += length;
    }
    return true;
}

bool readPoCatalog(const std::string& path, PoCatalog& catalog, std::vector<std::string>& errors,
                   std::vector<std::string>* warnings) {
    const std::size_t errorsBefore = errors.size();
    std::string nameError;
    if (!parseCatalogFileName(path, catalog.language, catalog.region, nameError)) {
        errors.push_back(nameError);
        return false;
    }
    catalog.values.clear();

    std::string text;
    bool longer = false;
    if (!readRegularFile(path, PoFileLimit, &text, &longer)) {
        errors.push_back(path + ": cannot read: " +
                         (errno == EINVAL ? "not a regular file" : std::strerror(errno)));
        return false;
    }
    if (longer) {
        errors.push_back(path + ": cannot read: larger than 128 MiB");
        return false;
    }

    ReadContext context{&errors, warnings, {}};
    PoFilePtr file(readWithHandler(path.c_str(), &context));
    if (!file) {
        if (errors.size() == errorsBefore) {
            errors.push_back(path + ": cannot read as a PO file");
        }
        return false;
    }
    if (errors.size() != errorsBefore) {
        // The library's recovery may have dropped entries (a second definition
        // of the same msgctxt and msgid among them), so name repeated
        // identifiers from the source itself.
        reportRepeatedIdentifiers(path, scanPoText(text), errors);
        return false;
    }

    const char* const* domains = po_file_domains(file.get());
    for (; domains && *domains; ++domains) {
        if (std::strcmp(*domains, "messages") != 0) {
            errors.push_back(path + ": domain \"" + *domains +
                             "\": domain directives are not supported; use one file per language");
        }
    }
    PoScan scan = scanPoText(text);
    for (std::size_t line : scan.nulLines) {
        errors.push_back(located(path, line, "a \\0 escape: PO strings cannot hold a NUL byte"));
    }

    std::vector<po_message_t> messages;
    PoIteratorPtr iterator(po_message_iterator(file.get(), nullptr));
    while (po_message_t message = po_next_message(iterator.get())) {
        if (!po_message_is_obsolete(message)) {
            messages.push_back(message);
        }
    }
    // Without a one-to-one match the lines are unknown rather than wrong.
    const bool linesKnown = scan.entryLines.size() == messages.size();

    std::map<std::uint32_t, std::size_t> firstLine;  // identifier -> line of its entry
    for (std::size_t index = 0; index < messages.size(); ++index) {
        po_message_t message = messages[index];
        const std::size_t line = linesKnown ? scan.entryLines[index] : 0;
        const char* context = po_message_msgctxt(message);
        const char* msgid = po_message_msgid(message);
        if (!context) {
            if (msgid && *msgid) {
                errors.push_back(
                    located(path, line,
                            "entry without msgctxt; msgctxt must hold the resource identifier"));
                continue;
            }
            std::string charset = declaredCharset(po_message_msgstr(message));
            if (!charsetIsUtf8Compatible(charset)) {
                errors.push_back(located(
                    path, line,
                    "charset " + charset + " is not supported; PO files must be written in UTF-8"));
            }
            continue;  // the header entry
        }
        std::uint32_t id;
        if (!parseResourceId(context, id)) {
            errors.push_back(located(path, line,
                                     std::string("msgctxt \"") + context +
                                         "\" is not a resource identifier (a decimal number from "
                                         "0 to 4294967295)"));
            continue;
        }
        auto inserted = firstLine.emplace(id, line);
        if (!inserted.second) {
            errors.push_back(
                located(path, line, repeatedIdentifierText(id, path, inserted.first->second)));
            continue;
        }
        if (po_message_msgid_plural(message)) {
            errors.push_back(located(path, line, "plural forms are not supported"));
            continue;
        }
        const char* msgstr = po_message_msgstr(message);
        if (po_message_is_fuzzy(message) || !msgstr || !*msgstr) {
            continue;  // not translated yet, as msgfmt treats it
        }
        std::string value = msgstr;
        if (!isValidUtf8(value)) {
            errors.push_back(located(path, line, "msgstr is not valid UTF-8"));
            continue;
        }
        catalog.values[id] = value;
    }
    return errors.size() == errorsBefore;
}

std::string poValueProblem(const std::string& value) {
    if (value.empty()) {
        return "the value is empty, and an empty msgstr means \"not translated\"";
    }
    if (value.find('\0') != std::string::npos) {
        return "the value contains a NUL byte, which a PO string cannot hold";
    }
    if (value.find('\x04') != std::string::npos) {
        return "the value contains the byte 0x04, which gettext reserves as its context separator";
    }
    if (!isValidUtf8(value)) {
        return "the value is not valid UTF-8";
    }
    return "";
}

namespace {

void appendEscaped(std::string& out, const std::string& text) {
    static const char kOctal[] = "01234567";
    for (char c : text) {
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\t':
                out += "\\t";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\a':
                out += "\\a";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\v':
                out += "\\v";
                break;
            default: {
                unsigned char byte = static_cast<unsigned char>(c);
                if (byte < 0x20 || byte == 0x7F) {
                    // Always three digits, so a following digit cannot join the escape.
                    out += '\\';
                    out += kOctal[(byte >> 6) & 7];
                    out += kOctal[(byte >> 3) & 7];
                    out += kOctal[byte & 7];
                } else {
                    out += c;
                }
            }
        }
    }
}

}  // namespace

std::string formatPoString(const std::string& keyword, const std::string& value) {
    std::string out = keyword + " ";
    std::string::size_type newline = value.find('\n');
    if (newline == std::string::npos || newline + 1 == value.size()) {
        out += '"';
        appendEscaped(out, value);
        out += "\"\n";
        return out;
    }
    out += "\"\"\n";
    std::string::size_type start = 0;
    while (start < value.size()) {
        std::string::size_type end = value.find('\n', start);
        end = end == std::string::npos ? value.size() : end + 1;
        out += '"';
        appendEscaped(out, value.substr(start, end - start));
        out += "\"\n";
        start = end;
    }
    return out;
}

std::string formatPoCatalog(const std::string& tag, const std::vector<PoOutputEntry>& entries) {
    std::string out;
    out += "# Resources of " + tag + ". msgctxt is the resource identifier, msgstr its value.\n";
    out += "msgid \"\"\n";
    out += "msgstr \"\"\n";
    out += "\"Content-Type: text/plain; charset=UTF-8\\n\"\n";
    out += "\"Content-Transfer-Encoding: 8bit\\n\"\n";
    out += "\"Language: " + tag + "\\n\"\n";
    for (const PoOutputEntry& entry : entries) {
        out += "\n";
        out += "msgctxt \"" + std::to_string(entry.id) + "\"\n";
        out += formatPoString("msgid", entry.msgid);
        out += formatPoString("msgstr", entry.msgstr);
    }
    return out;
}
