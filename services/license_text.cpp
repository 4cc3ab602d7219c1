#include "services/license_text.h"

#include <glib.h>

#include "services/file_search.h"
#include "services/files.h"
#include "services/glib_memory.h"

namespace {

// The length of `text` without a last UTF-8 character that lacks bytes, as
// where a file was cut at a size limit. Text in another encoding loses at
// most its last few bytes.
std::size_t completeUtf8Length(const std::string& text) {
    std::size_t lead = text.size();
    while (lead > 0 && text.size() - lead < 3 &&
           (static_cast<unsigned char>(text[lead - 1]) & 0xC0) == 0x80) {
        --lead;
    }
    if (lead == 0)
        return text.size();
    const auto first = static_cast<unsigned char>(text[lead - 1]);
    const std::size_t needed = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
    return text.size() - (lead - 1) < needed ? lead - 1 : text.size();
}

// Carriage returns stay.
void foldLicenseLines(std::string* text) {
    while (!text->empty() && text->back() == '\n') text->pop_back();
    for (std::size_t at = 0; (at = text->find('\n', at)) != std::string::npos;) {
        if (at + 1 < text->size() && (*text)[at + 1] == '\n') {
            at += 2;
        } else {
            (*text)[at] = ' ';
            at += 1;
        }
    }
}

}  // namespace

bool readLicenseFile(std::string* text, bool* cut) {
    text->clear();
    *cut = false;
    GCharPtr path(findFile("license.txt"));
    bool longer = false;
    if (!path || !readRegularFile(path.get(), LicenseFileLimit, text, &longer))
        return false;
    // A NUL ends the text before any limit does.
    std::size_t nul = text->find('\0');
    *cut = longer && nul == std::string::npos;
    if (nul != std::string::npos)
        text->resize(nul);
    if (*cut)
        text->resize(completeUtf8Length(*text));
    foldLicenseLines(text);
    return true;
}
