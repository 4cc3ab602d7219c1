#include "services/terminal_text.h"

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
