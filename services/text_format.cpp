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

std::string formatUtcTime(std::time_t when, const char* format) {
    struct tm utc;
    char text[64];
    if (!gmtime_r(&when, &utc) || strftime(text, sizeof text, format, &utc) == 0)
        return std::string();
    return text;
}
