#include "services/text_format.h"

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
