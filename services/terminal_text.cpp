#include "services/terminal_text.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <cwctype>

namespace {

bool isControlByte(unsigned char c) {
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0);
}

}  // namespace

std::string terminalSafeText(const char* text) {
    std::string safe;
    if (!text)
        return safe;
    size_t length = std::strlen(text);
    std::mbstate_t state{};
    size_t at = 0;
    while (at < length) {
        wchar_t wide = 0;
        size_t n = std::mbrtowc(&wide, text + at, length - at, &state);
        if (n == static_cast<size_t>(-1) || n == static_cast<size_t>(-2) || n == 0) {
            // Not a character of this locale: judged byte by byte.
            state = std::mbstate_t{};
            unsigned char c = static_cast<unsigned char>(text[at]);
            if (c == '\t' || c == '\n' || !isControlByte(c))
                safe += static_cast<char>(c);
            ++at;
            continue;
        }
        bool keep = wide == L'\t' || wide == L'\n' ||
                    !(std::iswcntrl(static_cast<wint_t>(wide)) || (wide >= 0x80 && wide < 0xA0));
        if (keep)
            safe.append(text + at, n);
        at += n;
    }
    return safe;
}

std::string terminalSafeLine(const std::string& text) {
    std::string line;
    // A NUL would end the text early: what follows it is shown too.
    for (size_t at = 0; at <= text.size();) {
        size_t nul = std::min(text.find('\0', at), text.size());
        if (at > 0)
            line += '?';
        line += terminalSafeText(text.substr(at, nul - at).c_str());
        at = nul + 1;
    }
    std::replace_if(
        line.begin(), line.end(), [](char c) { return c == '\n' || c == '\t'; }, '?');
    return line;
}
