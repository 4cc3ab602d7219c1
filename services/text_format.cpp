#include "services/text_format.h"

#include <glib.h>

#include <algorithm>
#include <cwchar>

std::string fillText(const std::string& text, const std::vector<std::string>& values) {
    std::string filled;
    size_t at = 0, next = 0;
    for (size_t found; next < values.size() && (found = text.find("%s", at)) != std::string::npos;
         ++next) {
        filled.append(text, at, found - at);
        filled += values[next];
        at = found + 2;
    }
    filled.append(text, at, std::string::npos);
    return filled;
}

std::string formatUtcTime(std::time_t when, const char* format) {
    struct tm utc;
    char text[64];
    if (!gmtime_r(&when, &utc) || strftime(text, sizeof text, format, &utc) == 0)
        return std::string();
    return text;
}

std::size_t charactersLength(const char* text, std::size_t size, std::size_t maxCharacters,
                             TextEncoding encoding) {
    std::mbstate_t state{};
    std::size_t at = 0;
    for (std::size_t count = 0; at < size && count < maxCharacters; ++count) {
        std::size_t n = 0;
        if (encoding == TextEncoding::Utf8) {
            n = g_utf8_skip[static_cast<unsigned char>(text[at])];
        } else {
            n = std::mbrtowc(nullptr, text + at, size - at, &state);
            if (n == static_cast<std::size_t>(-1) || n == static_cast<std::size_t>(-2) || n == 0) {
                state = std::mbstate_t{};
                n = 1;
            }
        }
        at += std::min(n, size - at);
    }
    return at;
}

std::string cutToCharacters(const std::string& text, std::size_t maxCharacters,
                            TextEncoding encoding) {
    return text.substr(0, charactersLength(text.data(), text.size(), maxCharacters, encoding));
}
